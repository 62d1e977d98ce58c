// The capital-structure pie: the slices of a day from the book, the colour blend, the layout of
// sectors and labels in twips (including the slice that crosses 3 o'clock), the recorded drawing,
// and the window's day slider.
#include <gtest/gtest.h>

#include <memory>

#include <QCoreApplication>
#include <QLabel>
#include <QSlider>
#include <QTimeZone>

#include "charts/cap_structure.h"
#include "charts/forms/cap_structure_form.h"
#include "fixtures/db_fixture.h"
#include "fixtures/recording_canvas.h"
#include "market/market_clock.h"
#include "platform/clock.h"
#include "platform/daynum.h"

namespace {

using Lines = std::vector<std::string>;

CapSlice Slice(const char *code, const char *sname, double amount, float share)
{
    return CapSlice{QString::fromUtf8(code), QString::fromUtf8(sname), amount, share};
}

// Cash 40000 and one stock at 60000.
std::vector<CapSlice> CashAndOneStock()
{
    return {Slice("", "余额", 40000, 0.4f), Slice("600000", "股票A", 60000, 0.6f)};
}

class CapStructureDbTest : public DbFixture {
protected:
    void TearDown() override
    {
        delete LoadedCapStructure();
        DbFixture::TearDown();
    }
    void Buy(const char *code, const char *sname, const char *bdate, double bprice, int num,
             const char *sdate = "1900-01-01", double sprice = 0)
    {
        Exec(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,sdate,sprice) "
                            "VALUES ('%1','%2',#%3#,%4,%5,#%6#,%7)")
                 .arg(QString::fromUtf8(code), QString::fromUtf8(sname), QString::fromUtf8(bdate))
                 .arg(bprice)
                 .arg(num)
                 .arg(QString::fromUtf8(sdate))
                 .arg(sprice));
    }
    void Cash(const char *dat, double cash)
    {
        Exec(QStringLiteral("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#%1#,%2,0,0)")
                 .arg(QString::fromUtf8(dat))
                 .arg(cash));
    }
    // The clock at 14:00 of the market's day (China Standard Time), whatever the machine's zone.
    void Today(int y, int m, int d)
    {
        SetClock([=] { return QDateTime(QDate(y, m, d), QTime(14, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
    }
};

}  // namespace

TEST(CapStructure, CalColorBlendsTheColourNumbersAsPlainIntegers)
{
    struct Case {
        int32_t a, b, n, i, colour;
    };
    const Case cases[] = {
        {0xFF0000, 255, 2, 1, 8355968},  // 8355967.5 goes to the even neighbour
        {0xFF0000, 255, 2, 0, 255},
        {0xFF0000, 255, 2, 2, 0xFF0000},
        {0xFF0000, 255, 3, 1, 5570730},
        {0xFF0000, 255, 4, 3, 12533824},  // 63.75 + 12533760
        {0xFF0000, 255, 0, 0, 255},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CalColor(c.a, c.b, c.n, c.i), c.colour) << c.n << "," << c.i;
}

TEST(CapStructure, LayoutOfCashAndOneStock)
{
    const PieLayout pie = LayoutStructureGraph(CashAndOneStock(), 9000, 6000, 2000, 2000);
    EXPECT_EQ(pie.r, 1000);
    EXPECT_EQ(pie.cx, 4500);
    EXPECT_EQ(pie.cy, 3000);
    EXPECT_EQ(pie.spacing, 5000);
    // The walk starts at the top with the stock; the cash sector ends a full turn later, drawn at the top.
    struct Sector {
        int index;
        ColorRef color;
        double start, end, drawEnd;
    };
    const Sector sectors[] = {{1, 8355968, 1.5707963, 5.3407074, 5.3407074}, {0, 255, 5.3407074, 7.8539815, 1.5707963}};
    ASSERT_EQ(pie.sectors.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const PieSector &got = pie.sectors[i];
        EXPECT_EQ(got.index, sectors[i].index);
        EXPECT_EQ(got.color, sectors[i].color);
        EXPECT_NEAR(got.start, sectors[i].start, 1e-6) << i;
        EXPECT_NEAR(got.end, sectors[i].end, 1e-6) << i;
        EXPECT_NEAR(got.drawEnd, sectors[i].drawEnd, 1e-6) << i;
    }
    // The cash slice crosses 3 o'clock; its middle is taken before the angle goes back a full turn,
    // so its label stays on the right at the top with its anchor on its own slice.
    struct Label {
        bool left;
        int y, anchorX, anchorY;
        double bendX;
        int textX;
        const char *heading, *amount;
    };
    const Label labels[] = {{true, 500, 3573, 3301, 772, 120, "1. 600000[股票A] 60%", "    金额: 60,000.00"},
                            {false, 500, 5427, 2699, 5927, 8880, "0. [余额] 40%", "金额: 40,000.00"}};
    ASSERT_EQ(pie.labels.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const PieLabel &got = pie.labels[i];
        const Label &want = labels[i];
        EXPECT_EQ(got.left, want.left) << i;
        EXPECT_EQ(std::vector<double>({double(got.y), double(got.anchorX), double(got.anchorY), got.bendX,
                                       double(got.textX)}),
                  std::vector<double>({double(want.y), double(want.anchorX), double(want.anchorY), want.bendX,
                                       double(want.textX)}))
            << i;
        EXPECT_EQ(got.heading, QString::fromUtf8(want.heading));
        EXPECT_EQ(got.amountText, QString::fromUtf8(want.amount));
    }

    // A picture too low for the margins still gets a radius of 500; odd sizes round the centre to even.
    const PieLayout low = LayoutStructureGraph(CashAndOneStock(), 9015, 4515, 2000, 2000);
    EXPECT_EQ(low.r, 500);
    EXPECT_EQ(low.cx, 4508);
    EXPECT_EQ(low.cy, 2258);
}

TEST(CapStructure, LabelColumnsAndLinesFollowTheSlicesRoundThePie)
{
    struct Expected {
        int index;
        bool left;
        int y;
    };
    struct Case {
        std::vector<float> shares;  // cash first, then the stocks largest first
        int spacing;
        std::vector<Expected> labels;  // in the order of the walk, last slice first
    };
    const Case cases[] = {
        // Slice 1 crosses 3 o'clock: it starts the right column at its bottom line, which then climbs.
        {{0.1f, 0.4f, 0.3f, 0.2f}, 5000, {{3, true, 500}, {2, true, 5500}, {1, false, 5500}, {0, false, 500}}},
        // Half the pie is only reached at the second slice from the end: two steps in the left column.
        {{0.5f, 0.2f, 0.2f, 0.1f}, 2500, {{3, true, 500}, {2, true, 3000}, {1, true, 5500}, {0, false, 500}}},
        // Half is reached only at slice 0: four steps. Never reached: k is the number of slices.
        {{0.1f, 0.1f, 0.1f, 0.1f, 0.1f}, 1250, {{4, true, 500}, {3, true, 1750}, {2, true, 3000},
                                                  {1, true, 4250}, {0, true, 5500}}},
        {{0.09f, 0.09f, 0.09f, 0.09f, 0.09f}, 1000, {{4, true, 500}, {3, true, 1500}, {2, true, 2500},
                                                       {1, true, 3500}, {0, true, 4500}}},
        // Nothing to share (total below 1): every label on the right, one line apart.
        {{0, 0, 0}, 1667, {{2, false, 500}, {1, false, 2167}, {0, false, 3834}}},
        // Cash alone: the slice's middle is the bottom of the circle.
        {{1}, 5000, {{0, false, 500}}},
    };
    for (const Case &c : cases) {
        std::vector<CapSlice> slices;
        for (float s : c.shares)
            slices.push_back(Slice("1", "x", s * 1000, s));
        const PieLayout pie = LayoutStructureGraph(slices, 9000, 6000, 2000, 2000);
        EXPECT_EQ(pie.spacing, c.spacing) << c.shares.size();
        ASSERT_EQ(pie.labels.size(), c.labels.size());
        for (size_t i = 0; i < c.labels.size(); ++i) {
            const PieLabel &l = pie.labels[i];
            EXPECT_EQ(l.index, c.labels[i].index);
            EXPECT_EQ(l.left, c.labels[i].left) << c.shares.size() << " slice " << l.index;
            EXPECT_EQ(l.y, c.labels[i].y) << c.shares.size() << " slice " << l.index;
            // The anchor lies on the slice's own side of the circle.
            EXPECT_EQ(l.anchorX < pie.cx, l.left) << c.shares.size() << " slice " << l.index;
        }
    }
}

TEST(CapStructure, DrawingRecordsSectorsLeaderLinesAndTexts)
{
    auto recording = std::make_unique<RecordingCanvas>();
    RecordingCanvas &dc = *recording;
    Picture pic(std::move(recording));
    pic.SetPixelSize(600, 400);
    pic.ForeColor = 0xFFFFFF;
    DrawStructureGraph(pic, CashAndOneStock(), 2000, 2000, 2000, 2000);
    EXPECT_EQ(dc.Lines({"Clear", "Pie", "Segment", "Text"}),
              (Lines{"Clear 000000",
                     "Pie 233,133,367,267,1440,3456 pen FFFFFF/0/1 brush 7F8080",
                     "Pie 233,133,367,267,4896,2304 pen FFFFFF/0/1 brush 0000FF",
                     "Pie 237,219,239,221,0,5760 pen AAAAAA/0/1 brush AAAAAA",
                     "Segment 238,220,51,33 pen AAAAAA/0/1 brush hollow",
                     "Segment 51,33,8,33 pen AAAAAA/0/1 brush hollow",
                     "Text 8,17 \"1. 600000[股票A] 60%\" h15 a0 w0 FFFFFF",
                     "Text 8,33 \"    金额: 60,000.00\" h15 a0 w0 FFFFFF",
                     "Pie 361,179,363,181,0,5760 pen AAAAAA/0/1 brush AAAAAA",
                     "Segment 362,180,395,33 pen AAAAAA/0/1 brush hollow",
                     "Segment 395,33,592,33 pen AAAAAA/0/1 brush hollow",
                     "Text 510,17 \"0. [余额] 40%\" h15 a0 w0 FFFFFF",
                     "Text 495,33 \"金额: 40,000.00\" h15 a0 w0 FFFFFF"}));
    // The picture's own pen and brush are back afterwards.
    EXPECT_EQ(dc.Brush(), CanvasBrush{});

    // A share of 1 is a whole disc, a share of 0 no sector; an overdrawn cash balance (a negative
    // share) draws no sector either, while its label still shows the amount.
    struct Case {
        std::vector<CapSlice> slices;
        Lines pies;
        QString cashAmount;
    };
    const Case cases[] = {
        {{Slice("", "余额", 5000, 1)}, {"Pie 233,133,367,267,0,5760 pen FFFFFF/0/1 brush 0000FF"}, "金额: 5,000.00"},
        {{Slice("", "余额", 0, 0), Slice("600000", "股票A", 0.4, 0)}, {}, "金额: "},
        {{Slice("", "余额", -10000, -0.2f), Slice("600000", "股票A", 60000, 1.2f)},
         {"Pie 233,133,367,267,0,5760 pen FFFFFF/0/1 brush 7F8080"},
         "金额: -10,000.00"},
    };
    for (const Case &c : cases) {
        dc.ops.clear();
        DrawStructureGraph(pic, c.slices, 2000, 2000, 2000, 2000);
        Lines pies;
        for (const std::string &line : dc.Lines({"Pie"}))
            if (line.find("pen FFFFFF") != std::string::npos)
                pies.push_back(line);
        EXPECT_EQ(pies, c.pies) << c.slices.size();
        bool shown = false;
        for (const RecordingCanvas::Op &op : dc.ops)
            shown = shown || op.text == c.cashAmount;
        EXPECT_TRUE(shown) << c.cashAmount.toStdString();
    }
}

TEST_F(CapStructureDbTest, SlicesOfADayFromTheBookAndTheAssetTable)
{
    Buy("600000", "股票A", "2024-03-01", 10, 1000);                        // bought on the day
    Buy("600000", "股票A", "2024-01-10", 11.5, 500, "2024-03-02", 12);     // sold after the day
    Buy("000001", "平安", "2024-02-01", 9, 300, "2024-03-01", 12);         // sold on the day
    Buy("000002", "万科", "2024-02-01", 20.125, 100);                     // a fraction of a yuan
    Buy("000003", "后买", "2024-03-02", 5, 100);                          // bought after the day
    Cash("2024-01-01", 5000);
    Cash("2024-02-29", 1234.5);
    Cash("2024-03-04", 9999);

    const std::vector<CapSlice> slices = StatisticsCap(DayNumberOf(2024, 3, 1));
    ASSERT_EQ(slices.size(), 3u);
    EXPECT_EQ(slices[0].code, "");
    EXPECT_EQ(slices[0].sname, "余额");
    EXPECT_EQ(slices[0].amount, 1234);  // 1234.5 goes to even
    EXPECT_EQ(slices[1].code, "600000");
    EXPECT_EQ(slices[1].sname, "股票A");
    EXPECT_EQ(slices[1].amount, 15750);
    EXPECT_EQ(slices[2].code, "000002");
    EXPECT_EQ(slices[2].amount, 2012.5);
    // The total is rounded after each addition: 1234 + 15750 = 16984, + 2012.5 gives 18996, not 18996.5.
    EXPECT_EQ(slices[0].share, static_cast<float>(1234 / 18996.0));
    EXPECT_EQ(slices[1].share, static_cast<float>(15750 / 18996.0));
    EXPECT_EQ(slices[2].share, static_cast<float>(2012.5 / 18996.0));

    // The day the second lot of 600000 was sold: only the lot bought on 03-01 is held.
    const std::vector<CapSlice> later = StatisticsCap(DayNumberOf(2024, 3, 2));
    ASSERT_EQ(later.size(), 4u);
    EXPECT_EQ(later[1].amount, 10000);
    EXPECT_EQ(later[3].code, "000003");

    // An overdrawn balance (-5000.5 goes to even) stays out of the total, so the holdings fill the
    // pie: 10000 + 2012.5 gives 12012, + 500 gives 12512.
    Cash("2024-03-05", -5000.5);
    const std::vector<CapSlice> overdrawn = StatisticsCap(DayNumberOf(2024, 3, 5));
    ASSERT_EQ(overdrawn.size(), 4u);
    EXPECT_EQ(overdrawn[0].amount, -5000);
    EXPECT_EQ(overdrawn[0].share, static_cast<float>(-5000 / 12512.0));
    EXPECT_EQ(overdrawn[1].share, static_cast<float>(10000 / 12512.0));
    EXPECT_EQ(overdrawn[3].share, static_cast<float>(500 / 12512.0));

    // Before any holding and any asset row: only the cash slice, 0 and no share, and no sector drawn.
    const std::vector<CapSlice> before = StatisticsCap(DayNumberOf(2023, 12, 1));
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].amount, 0);
    EXPECT_EQ(before[0].share, 0);
    auto recording = std::make_unique<RecordingCanvas>();
    RecordingCanvas &dc = *recording;
    Picture pic(std::move(recording));
    pic.SetPixelSize(600, 400);
    DrawStructureGraph(pic, before, 2000, 2000, 2000, 2000);
    EXPECT_EQ(dc.Count("Pie"), 1);  // the anchor's dot only
    EXPECT_EQ(dc.Lines({"Text"})[0], "Text 517,17 \"0. [余额] 0%\" h15 a0 w0 000000");
}

TEST_F(CapStructureDbTest, TheSliderRunsFromTheFirstBuyToTodayAndDrawsOnlyOnceLoaded)
{
    Today(2024, 3, 1);
    // An empty book: ten days before today.
    {
        CapStructureForm form;
        double first = 0;
        double today = 0;
        CalDateRange(form.Sld, first, today);
        EXPECT_EQ(form.Sld->minimum(), 0);
        EXPECT_EQ(form.Sld->maximum(), 10);
        EXPECT_EQ(first, DayNumberOf(2024, 2, 20));
        EXPECT_EQ(today, DayNumberOf(2024, 3, 1));
        EXPECT_EQ(form.Sld->property("Tag").toString(), "2024-02-20");
        // In New York's evening before (22:00 on 29 February there, UTC-5) the market's day is 1 March.
        SetClock([] { return QDateTime(QDate(2024, 2, 29), QTime(22, 0), QTimeZone(-5 * 3600)); });
        CalDateRange(form.Sld, first, today);
        EXPECT_EQ(today, DayNumberOf(2024, 3, 1));
        Today(2024, 3, 1);
    }

    Buy("600000", "股票A", "2024-01-01", 10, 1000);
    Buy("000002", "万科", "2024-02-10", 20, 100);
    Cash("2024-01-02", 5000);
    CapStructureForm form;
    // Before the load the slider's handler does nothing: no date, no slices, nothing drawn.
    form.Sld->setValue(5);
    form.Form_Resize();
    EXPECT_EQ(form.LBL[0]->text(), "");
    EXPECT_TRUE(form.Cap().empty());
    const QPoint centre(form.Pic->width() / 2, form.Pic->height() / 2);
    EXPECT_EQ(form.Pic->picture().Image().pixel(centre) & 0xFFFFFF, 0u);

    form.Form_Load();
    EXPECT_EQ(form.Sld->maximum(), 60);
    EXPECT_EQ(form.Sld->value(), 60);
    EXPECT_EQ(form.LBL[0]->text(), "2024-03-01");
    ASSERT_EQ(form.Cap().size(), 3u);
    EXPECT_NE(form.Pic->picture().Image().pixel(centre) & 0xFFFFFF, 0u);

    // Moving the slider shows and reads that day.
    form.Sld->setValue(20);
    EXPECT_EQ(form.LBL[0]->text(), "2024-01-21");
    EXPECT_EQ(form.Cap().size(), 2u);

    // The window follows its size: the slider to the right edge, the picture below its top.
    form.resize(900, 500);
    form.Form_Resize();
    EXPECT_EQ(form.Sld->geometry().right(), 899);
    EXPECT_EQ(form.Pic->geometry(), QRect(0, 40, 900, 460));

    // The program's window is one, loaded on today, and gone once closed.
    CapStructureForm *shown = CapStructure();
    EXPECT_EQ(CapStructure(), shown);
    EXPECT_EQ(shown->LBL[0]->text(), "2024-03-01");
    shown->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LoadedCapStructure(), nullptr);
}
