// Exporting a trade grid of 10,000 rows by 20 columns of the texts the grid shows (codes with leading
// zeros, names, dates, grouped amounts, "-" for zero) to a CSV file and to a workbook: the whole wait
// of the user, progress steps included.
#include <benchmark/benchmark.h>

#include <random>

#include <QFileInfo>
#include <QTemporaryDir>

#include "exchange/export.h"

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 20;

QString Amount(std::mt19937 &random)
{
    const double v = static_cast<double>(random() % 100000000) / 100;
    return QLocale(QLocale::C).toString(v, 'f', 2);
}

FlexGrid &TheGrid()
{
    static FlexGrid grid = [] {
        static const char *captions[kCols] = {"",         "序号",     "代码",     "名称",       "买入日期",
                                              "卖出日期", "数量",     "买入价",   "成本价",     "卖出价",
                                              "当前价",   "买入金额", "卖出金额", "收益额(元)", "收益率%",
                                              "持有天数", "市值",     "仓位%",    "交易次数",   "备注"};
        static const char *names[] = {"浦发银行", "平安银行", "贵州茅台", "中国平安", "招商银行"};
        std::mt19937 random(20240310);
        FlexGrid g;
        g.SetCols(kCols);
        g.SetRows(kRows + 2);
        g.SetFixedRows(2);
        g.SetFixedCols(2);
        g.SetRowHeight(0, 0);
        g.SetColWidth(0, 0);
        for (int c = 1; c < kCols; ++c) {
            g.SetTextMatrix(1, c, QString::fromUtf8(captions[c]));
            g.SetColWidth(c, 600 + 60 * c);
        }
        for (int r = 2; r < g.Rows(); ++r) {
            const int k = static_cast<int>(random() % 5);
            const bool sold = random() % 2;
            const QStringList row = {
                QString::number(r), QString::number(r - 1), QStringLiteral("%1").arg(random() % 1000000, 6, 10, QChar(u'0')),
                QString::fromUtf8(names[k]), QStringLiteral("2023-%1-15").arg(1 + random() % 12, 2, 10, QChar(u'0')),
                sold ? QStringLiteral("2024-03-04") : QString(), QString::number(100 * (1 + random() % 50)),
                QString::number(1 + random() % 100) + ".25", "10.03", sold ? "12.5" : "-", "11.80",
                Amount(random), sold ? Amount(random) : "-", sold ? Amount(random) : "-", sold ? "-3.25" : "-",
                QString::number(random() % 400), Amount(random), "12.5", QString::number(1 + random() % 5),
                k == 0 ? QStringLiteral("补仓, 分两次") : QString()};
            for (int c = 0; c < kCols; ++c)
                g.SetTextMatrix(r, c, row[c]);
        }
        return g;
    }();
    return grid;
}

void Export(benchmark::State &state, bool workbook)
{
    const FlexGrid &grid = TheGrid();
    QTemporaryDir dir;
    const QString path = dir.filePath(workbook ? "trades.xlsx" : "trades.csv");
    for (auto _ : state) {
        const bool ok = workbook ? ExportGridToExcel(grid, path, QStringLiteral("Kelvaro股票交易数据"), QString())
                                 : ExportGridToCsv(grid, path, QString());
        if (!ok)
            state.SkipWithError("the export failed");
    }
    state.counters["rows"] = kRows;
    state.counters["KB"] = static_cast<double>(QFileInfo(path).size()) / 1024;
}

void BM_ExportCsv(benchmark::State &state)
{
    Export(state, false);
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

void BM_ExportWorkbook(benchmark::State &state)
{
    Export(state, true);
}
BENCHMARK(BM_ExportWorkbook)->Unit(benchmark::kMillisecond);

}  // namespace
