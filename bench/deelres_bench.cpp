// Rebuilding the per-day asset table of a book of 100 stocks and 1,000 records over ten years of
// trading days (about 2,450 days of index history and of each stock's history): in full, and from
// five trading days back as at every start-up.
#include <benchmark/benchmark.h>

#include "common/book_gen.h"
#include "platform/daynum.h"
#include "records/deelres.h"
#include "storage/db_operate.h"

namespace {

void BM_RecalcDeelResFull(benchmark::State &state)
{
    BenchBook &book = TheBook();
    SetUpBookRun();
    RestoreBook(book);
    RecalcDeelRes(kEmptyDate, true);  // the first run after a download also indexes the price tables
    for (auto _ : state)
        RecalcDeelRes(kEmptyDate, true);
    state.counters["rows"] = CountRecords(QStringLiteral("DeelRes"), QString());
}
BENCHMARK(BM_RecalcDeelResFull)->Unit(benchmark::kMillisecond);

void BM_RecalcDeelResFiveDaysBack(benchmark::State &state)
{
    BenchBook &book = TheBook();
    SetUpBookRun();
    RestoreBook(book);
    RecalcDeelRes(kEmptyDate, true);
    const double start = book.days[book.days.size() - 5];
    for (auto _ : state)
        RecalcDeelRes(start, true);
}
BENCHMARK(BM_RecalcDeelResFiveDaysBack)->Unit(benchmark::kMillisecond);

// The first full run on a database whose price tables have no index yet.
void BM_RecalcDeelResFullFirstRun(benchmark::State &state)
{
    BenchBook &book = TheBook();
    SetUpBookRun();
    for (auto _ : state) {
        state.PauseTiming();
        RestoreBook(book);
        state.ResumeTiming();
        RecalcDeelRes(kEmptyDate, true);
    }
}
BENCHMARK(BM_RecalcDeelResFullFirstRun)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
