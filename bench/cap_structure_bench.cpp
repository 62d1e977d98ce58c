// The capital-structure window on a book of 100 stocks and 1,000 records over ten years: one step of
// its day slider (the two queries, the layout and the drawing) on a day with about 50 holdings, in a
// 1,200 × 800 pixel picture.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include <QLabel>
#include <QSlider>

#include "bench/common/book.h"
#include "charts/cap_structure.h"
#include "charts/forms/cap_structure_form.h"
#include "platform/daynum.h"
#include "records/deelres.h"

namespace {

// The book with its asset table built, so that every day has its cash.
Book &TheBook()
{
    static Book &book = []() -> Book & {
        Book &b = MakeBook(BookPlan{});
        SetUpBookRun();
        RestoreBook(b);
        RecalcDeelRes(kEmptyDate, false);
        return b;
    }();
    return book;
}

// The trading day whose holdings come nearest to 50, looked at every 20th day.
double DayOfFiftyHoldings(const Book &book)
{
    double best = book.days.front();
    size_t bestGap = SIZE_MAX;
    for (size_t i = 0; i < book.days.size(); i += 20) {
        const size_t held = StatisticsCap(book.days[i]).size() - 1;
        const size_t gap = held > 50 ? held - 50 : 50 - held;
        if (gap < bestGap) {
            bestGap = gap;
            best = book.days[i];
        }
    }
    return best;
}

void BM_SliderStep(benchmark::State &state)
{
    const double day = DayOfFiftyHoldings(TheBook());
    CapStructureForm *form = CapStructure();
    form->resize(1200, 800 + form->Pic->y());
    form->show();
    form->Form_Resize();
    const double first = *ReadDateText(form->Sld->property("Tag").toString());
    form->Sld->setValue(static_cast<int>(day - first));
    for (auto _ : state)
        form->Sld_Change();
    state.counters["holdings"] = static_cast<double>(form->Cap().size() - 1);
    state.SetLabel(form->LBL[0]->text().toStdString() + " " + std::to_string(form->Pic->width()) + "x" +
                   std::to_string(form->Pic->height()));
}
BENCHMARK(BM_SliderStep)->Unit(benchmark::kMillisecond);

}  // namespace
