// The asset-versus-index chart on the book of 100 stocks and 1,000 records over ten years (its
// asset table rebuilt, about 2,450 days, and the index quote in the cache), drawn in a 1,600 × 600
// pixel chart picture: the whole load with its drawing as the window opens, and the drawing alone
// as an arrow key asks for it.
#include <benchmark/benchmark.h>

#include "bench/common/book.h"
#include "charts/invest_compare.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/forms/picture_box.h"
#include "records/deelres.h"
#include "storage/db_operate.h"

namespace {

struct Chart {
    PictureBox box;
    InvestCompareState state;

    Chart()
    {
        box.resize(1600, 600);
        box.show();
    }
};

Chart &TheChart()
{
    static Chart *chart = [] {
        Book &book = MakeBook(BookPlan{});
        SetUpBookRun();
        RestoreBook(book);
        RecalcDeelRes(kEmptyDate, true);
        QuoteRow index{kCompareIndexCode};
        index.price = 3100;
        Quotes().rows = {index};
        return new Chart;
    }();
    return *chart;
}

void BM_ReadDeelRes(benchmark::State &state)
{
    Chart &chart = TheChart();
    for (auto _ : state)
        ReadDeelRes(chart.state, chart.box.picture());
    state.counters["days"] = chart.state.N();
    // 1 when the curves were drawn (the first day has assets and an index close).
    state.counters["drawn"] = ComputeComparePercents(chart.state) ? 1 : 0;
}
BENCHMARK(BM_ReadDeelRes)->Unit(benchmark::kMillisecond);

void BM_DrawLine(benchmark::State &state)
{
    Chart &chart = TheChart();
    ReadDeelRes(chart.state, chart.box.picture());
    for (auto _ : state)
        DrawLine(chart.state, chart.box.picture());
}
BENCHMARK(BM_DrawLine)->Unit(benchmark::kMillisecond);

}  // namespace
