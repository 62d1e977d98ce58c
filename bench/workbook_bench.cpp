// What the user waits for when a workbook of 10,000 trades in 13 columns is chosen for an import: the
// list of its worksheets, then the mapping dialog's preview of its first 200 rows; and the reading of
// its 10,000 trades as the import's OK reads them; once for an .xlsx and once for an .xls file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <numeric>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include "exchange/import_data.h"
#include "exchange/import_map.h"
#include "fixtures/biff_writer.h"
#include "platform/prompter.h"

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 13;

// The text of cell (r, c) from 0 of the generated sheet: a header, then codes, names, dates as text,
// numbers and remarks.
QString CellText(int r, int c)
{
    static const char *head[kCols] = {"证券代码", "证券名称", "买入日期", "卖出日期", "买入数量", "买入价格", "卖出数量",
                                      "卖出价格", "备注", "成交编号", "股东代码", "交易所", "币种"};
    if (r == 0)
        return QString::fromUtf8(head[c]);
    const int k = r % 100;
    switch (c) {
    case 0:
        return QStringLiteral("%1").arg(600000 + k, 6, 10, QChar(u'0'));
    case 1:
        return QStringLiteral("股票%1").arg(k);
    case 2:
    case 3:
        return QStringLiteral("2024-%1-%2").arg(1 + r % 12, 2, 10, QChar(u'0')).arg(1 + r % 28, 2, 10, QChar(u'0'));
    case 8:
        return r % 2 ? QStringLiteral("买入") : QStringLiteral("卖出");
    case 11:
        return k < 50 ? QStringLiteral("上海") : QStringLiteral("深圳");
    case 12:
        return QStringLiteral("人民币");
    default:
        return QString();
    }
}

double CellNumber(int r, int c)
{
    return c == 9 ? 100000 + r : c % 2 ? 5 + (r % 300) * 0.13 : 100 * (1 + r % 50);
}

struct Files {
    QTemporaryDir dir;
    QString xlsx;
    QString xls;
};

Files &TheFiles()
{
    static Files *f = [] {
        auto *files = new Files;
        files->xlsx = files->dir.filePath(QStringLiteral("trades.xlsx"));
        lxw_workbook *wb = workbook_new(QFile::encodeName(files->xlsx).constData());
        lxw_worksheet *ws = workbook_add_worksheet(wb, "交易记录");
        workbook_add_worksheet(wb, "汇总");
        BiffSheet sheet{QStringLiteral("交易记录"), 0, {}};
        for (int r = 0; r <= kRows; ++r)
            for (int c = 0; c < kCols; ++c) {
                const QString text = CellText(r, c);
                if (r == 0 || !text.isEmpty()) {
                    worksheet_write_string(ws, r, c, text.toUtf8().constData(), nullptr);
                    sheet.cells.push_back(BiffText(r, c, text));
                } else {
                    worksheet_write_number(ws, r, c, CellNumber(r, c), nullptr);
                    sheet.cells.push_back(BiffNumber(r, c, CellNumber(r, c)));
                }
            }
        workbook_close(wb);
        files->xls = files->dir.filePath(QStringLiteral("trades.xls"));
        QFile out(files->xls);
        out.open(QIODevice::WriteOnly);
        out.write(BiffWorkbook({sheet, {QStringLiteral("汇总"), 0, {BiffNumber(0, 0, 1)}}}));
        return files;
    }();
    return *f;
}

void BM_SheetListAndPreview(benchmark::State &state)
{
    Files &files = TheFiles();
    const QString path = state.range(0) ? files.xls : files.xlsx;
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    double listMs = 0, previewMs = 0;
    for (auto _ : state) {
        using Clock = std::chrono::steady_clock;
        const auto t0 = Clock::now();
        FlexGrid list;
        LoadSheetList(list, path);
        const auto t1 = Clock::now();
        ImportFilePath() = path;
        ImportSheets() = list.TextMatrix(1, 2);
        FlexGrid preview;
        LoadPreview(preview);
        const auto t2 = Clock::now();
        listMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        previewMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
        if (!prompter.Messages().isEmpty() || preview.Rows() != 1 + kPreviewSheetRows)
            state.SkipWithError("the preview did not show 200 rows");
    }
    SetPrompter(nullptr);
    state.counters["list_ms"] = listMs / state.iterations();
    state.counters["preview_ms"] = previewMs / state.iterations();
}
BENCHMARK(BM_SheetListAndPreview)->Arg(0)->Arg(1)->ArgNames({"xls"})->Unit(benchmark::kMillisecond)->Iterations(5);

// The rows of the trades, every column, read into records as the import's OK reads them. A reader
// that takes no window reads the whole sheet, header included.
template <typename Records>
bool ReadTradeRows(const QString &path, const QString &sheet, Records &records)
{
    if constexpr (requires { ReadSheetRecords(path, sheet, 2, kRows + 1, std::vector<int>(), records); }) {
        std::vector<int> columns(kCols);
        std::iota(columns.begin(), columns.end(), 1);
        return ReadSheetRecords(path, sheet, 2, kRows + 1, columns, records);
    } else {
        return ReadSheetRecords(path, sheet, records);
    }
}

void BM_ReadSheetRows(benchmark::State &state)
{
    Files &files = TheFiles();
    const QString path = state.range(0) ? files.xls : files.xlsx;
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    for (auto _ : state) {
        QStringList records;
        if (!ReadTradeRows(path, QStringLiteral("交易记录"), records) || !prompter.Messages().isEmpty() ||
            records.size() != 1 + kRows || records.back().isEmpty())
            state.SkipWithError("the sheet's 10,000 rows were not read");
    }
    SetPrompter(nullptr);
}
BENCHMARK(BM_ReadSheetRows)->Arg(0)->Arg(1)->ArgNames({"xls"})->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
