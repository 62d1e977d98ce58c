// Importing a broker's CSV file of 10,000 trades (GBK, 13 columns, in date order over ten years:
// 5,000 buys and 5,000 sells, each sell closing one to three older lots of its stock, the last one in
// part) into an empty book of 100 stocks with ten years of prices, then recomputing the asset table
// from the date the import returns: the whole wait of the user, progress steps included. The same
// trades as a worksheet of an .xlsx workbook (quantities and prices as numbers) likewise.
#include <benchmark/benchmark.h>

#include <chrono>
#include <deque>
#include <functional>
#include <random>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include "bench/common/book.h"
#include "exchange/csv_import.h"
#include "exchange/import_map.h"
#include "platform/daynum.h"
#include "platform/gbk.h"
#include "platform/prompter.h"
#include "records/deelres.h"
#include "storage/db_operate.h"
#include "storage/params.h"

namespace {

constexpr int kBenchStocks = 100;

constexpr int kRows = 10000;

struct ImportBook {
    Book *book = nullptr;
    QString csv;
    QString xlsx;
};

// The rows in date order. A sell picks a stock with open lots and sells its oldest one to three lots,
// the last of them in part when it holds more than 100 shares, as the import will close them.
QString WriteTrades(const Book &book)
{
    std::mt19937 random(20240310);
    std::vector<std::deque<int>> open(kBenchStocks);
    int buys = kRows / 2, sells = kRows / 2;
    QString text = QStringLiteral("证券代码,证券名称,买入日期,卖出日期,买入数量,买入价格,卖出数量,卖出价格,备注,"
                                  "成交编号,股东代码,交易所,币种\r\n");
    const size_t n = book.days.size();
    for (int i = 0; i < kRows; ++i) {
        const QString day = DateText(book.days[i * (n - 1) / kRows]);
        std::vector<int> held;
        for (int k = 0; k < kBenchStocks; ++k) {
            if (!open[k].empty())
                held.push_back(k);
        }
        const bool sell = sells > 0 && !held.empty() && (buys == 0 || random() % (buys + sells) < unsigned(sells));
        int k = 0;
        int bought = 0, sold = 0;
        if (sell) {
            k = held[random() % held.size()];
            const int lots = std::min<int>(1 + random() % 3, static_cast<int>(open[k].size()));
            for (int l = 0; l < lots; ++l) {
                int &lot = open[k].front();
                if (l == lots - 1 && lot > 100) {
                    const int part = 100 * (1 + static_cast<int>(random() % (lot / 100 - 1)));
                    sold += part;
                    lot -= part;
                } else {
                    sold += lot;
                    open[k].pop_front();
                }
            }
            --sells;
        } else {
            k = static_cast<int>(random() % kBenchStocks);
            bought = 100 * (1 + static_cast<int>(random() % 50));
            open[k].push_back(bought);
            --buys;
        }
        const double price = 5 + (i % 300) * 0.13;
        text += QStringLiteral("%1,股票%2,%3,%3,%4,%5,%6,%7,%8,%9,A123456789,%10,人民币\r\n")
                    .arg(BookStockCode(k, kBenchStocks))
                    .arg(k)
                    .arg(day)
                    .arg(bought)
                    .arg(bought > 0 ? price : 0, 0, 'f', 2)
                    .arg(sold)
                    .arg(sold > 0 ? price * 1.05 : 0, 0, 'f', 2)
                    .arg(sell ? QStringLiteral("卖出") : QStringLiteral("买入"))
                    .arg(100000 + i)
                    .arg(k < kBenchStocks / 2 ? QStringLiteral("上海") : QStringLiteral("深圳"));
    }
    const QString path = QDir(book.dir.path()).filePath(QStringLiteral("trades.csv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(EncodeGbk(text));
    return path;
}

// The CSV file's rows as the worksheet "交易记录" of an .xlsx workbook, the quantities and prices (E to
// H) as numbers, the other cells as texts.
QString WriteWorkbook(const QString &csv)
{
    QFile in(csv);
    in.open(QIODevice::ReadOnly);
    const QStringList lines = DecodeGbk(in.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const QString path = QFileInfo(csv).dir().filePath(QStringLiteral("trades.xlsx"));
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "交易记录");
    for (int r = 0; r < lines.size(); ++r) {
        const QStringList cells = lines[r].split(u',');
        for (int c = 0; c < cells.size(); ++c) {
            if (r > 0 && c >= 4 && c <= 7)
                worksheet_write_number(ws, r, c, cells[c].toDouble(), nullptr);
            else
                worksheet_write_string(ws, r, c, cells[c].toUtf8().constData(), nullptr);
        }
    }
    workbook_close(wb);
    return path;
}

ImportBook &TheBook()
{
    static ImportBook *b = [] {
        auto *ib = new ImportBook;
        ib->book = &MakeBook(BookPlan{.records = 0});
        ib->csv = WriteTrades(*ib->book);
        ib->xlsx = WriteWorkbook(ib->csv);
        // The mapping saved by the dialog: code A, dates C and D, quantities and prices E to H, memo I.
        SaveParam(QStringLiteral("导入列号"), QStringLiteral("A〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H〗★〖I"));
        QFile::remove(ib->book->pristine);
        QFile::copy(QDir(ib->book->dir.path()).filePath(QStringLiteral("ACC.MDB")), ib->book->pristine);
        return ib;
    }();
    return *b;
}

// Each iteration imports the rows into a fresh copy of the book, then recomputes the asset table from
// the date the import returns; the two are counted apart.
void MeasureImport(benchmark::State &state, const std::function<double(const ImportBook &)> &import)
{
    ImportBook &b = TheBook();
    SetUpBookRun();
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    double importMs = 0, recalcMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RestoreBook(*b.book);
        prompter.shown.clear();
        state.ResumeTiming();
        using Clock = std::chrono::steady_clock;
        const auto t0 = Clock::now();
        const double from = import(b);
        const auto t1 = Clock::now();
        RecalcDeelRes(from, true);
        const auto t2 = Clock::now();
        importMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        recalcMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
        if (prompter.Messages() != QStringList{QStringLiteral("数据导入完成！")})
            state.SkipWithError(prompter.Messages().join(u' ').toStdString().c_str());
    }
    SetPrompter(nullptr);
    state.counters["import_ms"] = importMs / state.iterations();
    state.counters["recalc_ms"] = recalcMs / state.iterations();
    state.counters["records"] = CountRecords(QStringLiteral("account"), QString());
}

void BM_ImportCsvThenRecalcDeelRes(benchmark::State &state)
{
    MeasureImport(state, [](const ImportBook &b) {
        int start = 2, end = kRows + 1;
        return ImportCsvRows(b.csv, start, end);
    });
}
BENCHMARK(BM_ImportCsvThenRecalcDeelRes)->Unit(benchmark::kMillisecond)->Iterations(3);

// The worksheet read as the mapping dialog's OK reads it, then imported.
void BM_ImportWorkbookThenRecalcDeelRes(benchmark::State &state)
{
    MeasureImport(state, [](const ImportBook &b) {
        int start = 2, end = kRows + 1;
        QStringList records;
        if (!ReadSheetRecords(b.xlsx, QStringLiteral("交易记录"), start, end, MappedColumns(), records))
            return kEmptyDate;
        return ImportRecordRows(records, start, end);
    });
}
BENCHMARK(BM_ImportWorkbookThenRecalcDeelRes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
