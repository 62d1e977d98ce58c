// The main window's trade grid and stock tree on a book of 100 stocks and 10,000 records (a third of
// them open), every stock quoted, on a Saturday: the timer's refill of the whole book (columns
// unchanged, both lines included), the first fill (columns fitted) and the tree's rebuild.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "bench/common/book.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/forms/stock_tree_form.h"
#include "mainwindow/forms/trade_grid_form.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "storage/db_operate.h"

namespace {

constexpr int kStocks = 100;

// The main window on the book, showing every record of the root.
MFWindow &TheWindow()
{
    static MFWindow *mf = [] {
        MakeBook(BookPlan{kStocks, 10000, false, false});
        SetUpBookRun();
        Quotes().rows.push_back({QStringLiteral("1A0001"), 2990, 3010, 2980, 3000.5, 2990});
        for (int k = 0; k < kStocks; ++k) {
            const double close = 5 + k % 40;
            Quotes().rows.push_back({BookStockCode(k, kStocks), close, close * 1.02, close * 0.98,
                                     close * (k % 3 == 0 ? 0.99 : 1.01), close});
        }
        Quotes().listDate = ClockNowDayNumber();
        ExecSql(QStringLiteral("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2023-12-28#,400000,700000,1100000)"));
        ExecSql(QStringLiteral("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2023-12-29#,410000,700000,1110000)"));
        MFWindow *w = MF();
        w->resize(1280, 800);
        w->show();
        QCoreApplication::processEvents();
        w->Chk[0]->setChecked(true);
        w->Chk[1]->setChecked(true);
        w->SetDtpRange();
        w->DTP[0]->setDate(w->DTP[0]->minimumDate());
        w->DTP[1]->setDate(w->DTP[1]->maximumDate());
        w->CurrentNode = TreeNodeRef{QString(), QStringLiteral("我的股票"), 1};
        LoadTradeGrid(w->MSF[0]);
        return w;
    }();
    return *mf;
}

void BM_TradeGridRefill(benchmark::State &state)
{
    MFWindow &mf = TheWindow();
    for (auto _ : state)
        LoadTradeGrid(mf.MSF[0]);
    const FlexGrid &grid = mf.MSF[0]->Grid();
    state.counters["rows"] = grid.Rows() - grid.FixedRows();
    state.counters["cols"] = grid.Cols();
}
BENCHMARK(BM_TradeGridRefill)->Unit(benchmark::kMillisecond);

// The columns changed (the first fill): the rows are fitted as well.
void BM_TradeGridFirstFill(benchmark::State &state)
{
    MFWindow &mf = TheWindow();
    FlexGrid &grid = mf.MSF[0]->Grid();
    for (auto _ : state) {
        state.PauseTiming();
        grid.SetRows(grid.FixedRows());
        grid.SetCols(3);
        state.ResumeTiming();
        LoadTradeGrid(mf.MSF[0]);
    }
}
BENCHMARK(BM_TradeGridFirstFill)->Unit(benchmark::kMillisecond);

void BM_LoadStockTree(benchmark::State &state)
{
    MFWindow &mf = TheWindow();
    for (auto _ : state)
        LoadStockTree(mf.TV);
    int nodes = 0;
    for (QTreeWidgetItemIterator it(mf.TV); *it; ++it)
        ++nodes;
    state.counters["nodes"] = nodes;
}
BENCHMARK(BM_LoadStockTree)->Unit(benchmark::kMillisecond);

}  // namespace
