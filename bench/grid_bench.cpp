// The grid on a book of 100 stocks and 10,000 sold records: the comparison window's list of closed
// trades filled from its query with a view attached, sorted by a click on a column of grouped
// amounts and on the names, and its columns fitted to their texts.
#include <benchmark/benchmark.h>

#include "bench/common/book.h"
#include "platform/forms/flex_grid_view.h"
#include "platform/numeric.h"
#include "platform/numformat.h"
#include "storage/grid_ops.h"

namespace {

const std::vector<QString> kFields = {"",      "",      "code",  "sname", "bdate", "sdate",  "num",
                                      "bprice", "aprice", "sprice", "bcash", "scash", "profit", "pper"};
const std::vector<QString> kCaptions = {"",       "序号",   "代码",     "名称",     "买入日期",   "卖出日期", "数量",
                                        "买入价", "成本价", "卖出价", "买入金额", "卖出金额", "收益额(元)", "收益率%"};
const QString kSql = QStringLiteral("SELECT *,(scash-bcash) as profit,(scash/bcash*100-100) as pper FROM account "
                                    "WHERE sprice>0 ORDER BY code,bdate");

Book &TheBook()
{
    static Book &book = MakeBook(BookPlan{100, 10000, true, false});
    return book;
}

// The comparison window's steps: the layout, two fixed columns, the rows appended to the empty grid.
QString FillComparisonGrid(FlexGrid &grid)
{
    SetupGridColumns(grid, kFields, kCaptions);
    grid.SetFixedCols(2);
    return FillGridFromQuery(grid, kSql, true, true);
}

FlexGridView &TheView()
{
    static FlexGridView *view = [] {
        auto *v = new FlexGridView;
        v->resize(1000, 600);
        v->show();
        return v;
    }();
    return *view;
}

void BM_FillComparisonGrid(benchmark::State &state)
{
    TheBook();
    FlexGrid &grid = TheView().Grid();
    QString shown;
    for (auto _ : state)
        shown = FillComparisonGrid(grid);
    state.counters["rows"] = grid.Rows() - grid.FixedRows();
    state.SetLabel(shown.toStdString());
}
BENCHMARK(BM_FillComparisonGrid)->Unit(benchmark::kMillisecond);

// Each click sorts the other way. The amounts are grouped ("12,345.60"), as the trade grid shows them.
void BM_SortGroupedAmounts(benchmark::State &state)
{
    TheBook();
    FlexGrid &grid = TheView().Grid();
    FillComparisonGrid(grid);
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        grid.SetTextMatrix(r, 10, FormatGrouped(LeadingNumber(grid.TextMatrix(r, 10)), 2));
    grid.SetColAlignment(10, 7);
    for (auto _ : state) {
        int col = 10, order = 0;
        SortGridByColumn(grid, col, order);
    }
}
BENCHMARK(BM_SortGroupedAmounts)->Unit(benchmark::kMillisecond);

void BM_SortNames(benchmark::State &state)
{
    TheBook();
    FlexGrid &grid = TheView().Grid();
    FillComparisonGrid(grid);
    grid.SetColAlignment(3, 1);
    for (auto _ : state) {
        int col = 3, order = 0;
        SortGridByColumn(grid, col, order);
    }
}
BENCHMARK(BM_SortNames)->Unit(benchmark::kMillisecond);

void BM_AutoFitGridColumns(benchmark::State &state)
{
    TheBook();
    FlexGrid &grid = TheView().Grid();
    FillComparisonGrid(grid);
    for (auto _ : state)
        AutoFitGridColumns(grid, grid.FixedRows() - 1, true);
}
BENCHMARK(BM_AutoFitGridColumns)->Unit(benchmark::kMillisecond);

}  // namespace
