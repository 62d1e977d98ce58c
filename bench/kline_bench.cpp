// The K-line chart of a stock with 50 records in its last 250 bars, on the book of 100 stocks and
// 1,000 records over ten years, showing 250 bars in a 1,600 × 600 pixel chart picture: a redraw as
// the window's resize and the colour form ask for it (today's bar, scale, cost price and both series
// from ACC.MDB, then the drawing), the drawing alone, and a move of the crosshair over the bars with
// its lines and read-out label repainted.
#include <benchmark/benchmark.h>

#include <algorithm>

#include <QApplication>
#include <QFrame>
#include <QLabel>

#include "bench/common/book.h"
#include "charts/kline.h"
#include "charts/kline_draw.h"
#include "platform/daynum.h"
#include "platform/forms/overlay_controls.h"
#include "platform/forms/picture_box.h"
#include "storage/db_operate.h"
#include "storage/params.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 600;
const QString kStock = QStringLiteral("600000");

// The chart picture with its crosshair and read-out, as the main window lays them out.
struct Chart {
    PictureBox box;
    QFrame *vertical = new QFrame(&box);
    QFrame *horizontal = new QFrame(&box);
    QLabel *label = new QLabel(QStringLiteral("买卖"), &box);
    LineOverlay v{vertical, 0, 0, 0, 60000};
    LineOverlay h{horizontal, 0, 0, 60000, 0};
    LabelOverlay readout{label};

    Chart()
    {
        box.resize(kWidth, kHeight);
        label->move(4, 4);
        box.show();
        SetKLinePicture(&box.picture());
        SetKLineCrosshair(&v, &h, &readout);
    }
};

// The book with 50 more records of one stock bought over its last 250 trading days (two in three
// sold some days later), and that stock shown over its newest 250 bars.
Chart &TheChart()
{
    static Chart *chart = [] {
        Book &book = MakeBook(BookPlan{});
        SetUpBookRun();
        const size_t n = book.days.size();
        for (int r = 0; r < 50; ++r) {
            const size_t b = n - 250 + static_cast<size_t>(r) * 5;
            const bool sold = r % 3 != 0;
            const size_t s = std::min(n - 1, b + static_cast<size_t>(r % 7));
            ExecSql(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) VALUES "
                                      "('%1','浦发',%2,%3,%4,%4,%5,%6)")
                           .arg(kStock)
                           .arg(book.days[b])
                           .arg(20 + r * 0.1)
                           .arg(100 * (1 + r % 9))
                           .arg(sold ? book.days[s] : kEmptyDate)
                           .arg(sold ? 20.5 + r * 0.1 : 0));
        }
        SaveParam(QStringLiteral("KLineStart"), QStringLiteral("249"));
        auto *c = new Chart;
        ShowKLine(QStringLiteral("[") + kStock + QStringLiteral("]浦发"));
        c->v.SetVisible(true);
        c->h.SetVisible(true);
        QApplication::processEvents();
        return c;
    }();
    return *chart;
}

void BM_ShowKLineRedraw(benchmark::State &state)
{
    Chart &chart = TheChart();
    for (auto _ : state) {
        ShowKLine(QString());
        chart.box.picture().Image();  // the drawing finished, as the screen would take it
    }
    const KLineRecord &k = KLineData();
    state.counters["bars"] = k.LastBar - k.FirstBar + 1;
    state.counters["records"] = k.TradeCount();
}
BENCHMARK(BM_ShowKLineRedraw)->Unit(benchmark::kMillisecond);

void BM_DrawTradeKLine(benchmark::State &state)
{
    Chart &chart = TheChart();
    for (auto _ : state) {
        DrawTradeKLine(chart.box.picture());
        chart.box.picture().Image();
    }
}
BENCHMARK(BM_DrawTradeKLine)->Unit(benchmark::kMillisecond);

// One mouse move to the next bar: the read-out, then the window repaints what moved.
void BM_CrosshairMove(benchmark::State &state)
{
    Chart &chart = TheChart();
    const KLineRecord &k = KLineData();
    const double barWidth = static_cast<double>(chart.box.picture().Width()) / (k.LastBar - k.FirstBar + 1);
    int i = 0;
    for (auto _ : state) {
        const double x = (i % (k.LastBar - k.FirstBar + 1) + 0.5) * barWidth;
        ShowKLineBarInfo(chart.box.picture(), chart.v, chart.h, chart.readout, x, 4500 + (i % 100) * 15);
        QApplication::processEvents();
        ++i;
    }
}
BENCHMARK(BM_CrosshairMove)->Unit(benchmark::kMicrosecond);

}  // namespace
