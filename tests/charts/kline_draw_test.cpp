// The K-line picture: colour table, geometry, candles, curves, cost line, trade marks and the crosshair
// read-out, as recorded on a canvas, and one render into an image.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <QTimeZone>

#include "charts/api_draw.h"
#include "charts/kline_draw.h"
#include "fixtures/recording_canvas.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

using Lines = std::vector<std::string>;

const QDate kToday(2024, 5, 20);

struct Bar {
    double date, open, close, high, low;
};

class KLineDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ReleasePenBrush();
        ResetKLineData();
        ResetFormParamSets();
        ResetQuoteCache();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        const QDateTime now(kToday, QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds));
        SetClock([now] { return now; });
        NewPicture(600, 400);
    }
    void TearDown() override
    {
        ReleasePenBrush();
        SetKLineCrosshair(nullptr, nullptr, nullptr);
        SetKLinePicture(nullptr);
        ResetKLineData();
        ResetFormParamSets();
        ResetQuoteCache();
        LoadSysParams();
        SetClock({});
    }
    void NewPicture(int width, int height)
    {
        ReleasePenBrush();
        auto canvas = std::make_unique<RecordingCanvas>();
        dc = canvas.get();
        pic = std::make_unique<Picture>(std::move(canvas));
        pic->SetPixelSize(width, height);
    }
    // The chart's bars, all visible, on the scale max..min.
    static void SetBars(const std::vector<Bar> &bars, double max, double min)
    {
        KLineRecord &k = KLineData();
        k.BarDate = k.BarOpen = k.BarClose = k.BarHigh = k.BarLow = {0};
        for (const Bar &b : bars) {
            k.BarDate.push_back(b.date);
            k.BarOpen.push_back(b.open);
            k.BarClose.push_back(b.close);
            k.BarHigh.push_back(b.high);
            k.BarLow.push_back(b.low);
        }
        k.FirstBar = 1;
        k.LastBar = static_cast<int>(bars.size());
        k.MaxPrice = max;
        k.MinPrice = min;
    }
    static void AddTrade(double bdate, double bprice, int num, double sdate = 0, double sprice = 0)
    {
        KLineRecord &k = KLineData();
        if (k.BuyDate.empty())
            k.BuyDate = k.BuyPrice = k.SellDate = k.SellPrice = {0}, k.BuyNum = {0};
        k.BuyDate.push_back(bdate);
        k.BuyPrice.push_back(bprice);
        k.BuyNum.push_back(num);
        k.SellDate.push_back(sdate);
        k.SellPrice.push_back(sprice);
    }
    static void SetColor(int i, const QString &text)
    {
        std::vector<QString> &tt = KTradeDispSetParams().tt;
        if (tt.size() < 16)
            tt.resize(16);
        tt[static_cast<size_t>(i)] = text;
    }
    // The texts drawn, one after the other.
    std::string Letters() const
    {
        std::string s;
        for (const RecordingCanvas::Op &op : dc->ops)
            if (op.kind == "Text")
                s += op.text.toStdString();
        return s;
    }

    RecordingCanvas *dc = nullptr;
    std::unique_ptr<Picture> pic;
};

// 2024-03-04, 03-05 and 03-06 as day numbers.
constexpr double kD1 = 45355, kD2 = 45356, kD3 = 45357;

}  // namespace

TEST(KLineGeometry, MarginsWidthsAndPricePlaces)
{
    // A quarter of the height, halves to even, at most 60.
    const std::pair<int, int> margins[] = {{6000, 60}, {3000, 50}, {450, 8}, {510, 8}, {9000, 60}, {0, 0}};
    for (const auto &[height, m] : margins)
        EXPECT_EQ(KLineMargin(height), m) << height;

    const ChartGeometry g = ChartGeometryOf(9000, 6000, 0, 0, 60, 60, 10, 70, 11, 9);
    EXPECT_EQ(g.W, 600);
    EXPECT_EQ(g.H, 280);
    EXPECT_EQ(g.n, 61);
    EXPECT_DOUBLE_EQ(g.w, 600.0 / 61);
    EXPECT_DOUBLE_EQ(g.Y(10.0), 200);
    EXPECT_DOUBLE_EQ(g.Y(11.0), 60);
    EXPECT_DOUBLE_EQ(g.Y(9.0), 340);
    EXPECT_DOUBLE_EQ(g.Centre(16), 6.5 * 600 / 61);

    // Every window shares out the width, two bars included; an empty window keeps the whole width.
    const std::pair<int, double> widths[] = {{0, 600}, {1, 300}, {2, 200}, {-1, 600}};
    for (const auto &[span, w] : widths)
        EXPECT_DOUBLE_EQ(ChartGeometryOf(9000, 6000, 0, 0, 0, 0, 5, 5 + span, 11, 9).w, w) << span;
    // Side margins narrow the plot.
    EXPECT_EQ(ChartGeometryOf(9000, 6000, 100, 50, 0, 0, 1, 3, 11, 9).W, 450);

    EXPECT_TRUE(g.HasScale());
    EXPECT_FALSE(ChartGeometryOf(9000, 6000, 0, 0, 60, 60, 1, 1, 10, 10).HasScale());
    EXPECT_FALSE(ChartGeometryOf(9000, 6000, 0, 0, 60, 60, 1, 1, std::nan(""), 10).HasScale());
}

TEST_F(KLineDrawTest, ColourTableFallsBackToTheFormsColours)
{
    // Nothing stored: every entry is the colour the form shows.
    const ColorRef defaults[16] = {0,        192,      32768,    16777215, 128,      16744576, 12632319, 12648384,
                                   12632256, 255,      49152,    255,      16777215, 12632319, 8421504,  16777215};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(GetKLineColor(i), defaults[i]) << i;
    EXPECT_EQ(GetKLineColorText(13), "12632319");

    KTradeDispSetParams().tt = {"255", "", "abc", "-1", " 12ab"};
    const std::pair<int, ColorRef> stored[] = {
        {0, 255}, {1, 192}, {2, 0}, {3, 0xFFFFFFFF}, {4, 12}, {5, 16744576}, {15, 16777215}, {16, 0}, {-1, 0}};
    for (const auto &[i, c] : stored)
        EXPECT_EQ(GetKLineColor(i), c) << i;
    EXPECT_EQ(GetKLineColorText(16), "");
    EXPECT_EQ(PickUpDownColor(10.5, 10), 0u);  // entry 2, "abc"
    EXPECT_EQ(PickUpDownColor(10, 10.5), 192u);
    EXPECT_EQ(PickUpDownColor(10, 10), 0xFFFFFFFF);
}

TEST_F(KLineDrawTest, CandlesOneBodyAndTwoWicksPerBarInTheirColour)
{
    struct Case {
        const char *what;
        std::vector<Bar> bars;
        int first, last;
        double max, min;
        bool filled;
        Lines ops;
    };
    const Case cases[] = {
        {"rising", {{kD1, 10.0, 10.5, 10.8, 9.8}}, 1, 1, 11, 9, false,
         {"Rectangle 1,200,599,130 pen 0000C0/0/1 brush hollow", "Segment 300,130,300,88 pen 0000C0/0/1 brush hollow",
          "Segment 300,200,300,228 pen 0000C0/0/1 brush hollow"}},
        {"level", {{kD1, 10.0, 10.0, 10.8, 9.8}}, 1, 1, 11, 9, false,
         {"Segment 1,200,599,200 pen FFFFFF/0/1 brush hollow", "Segment 300,200,300,88 pen FFFFFF/0/1 brush hollow",
          "Segment 300,200,300,228 pen FFFFFF/0/1 brush hollow"}},
        {"falling, filled", {{kD1, 10.5, 10.0, 10.8, 9.8}}, 1, 1, 11, 9, true,
         {"Rectangle 1,130,599,200 pen 008000/0/1 brush 008000", "Segment 300,130,300,88 pen 008000/0/1 brush 008000",
          "Segment 300,200,300,228 pen 008000/0/1 brush 008000"}},
        // A window of two bars of three: each half the width, the second bar inside the picture.
        {"two of three",
         {{kD1, 10, 10.5, 10.5, 10}, {kD2, 10, 10.5, 10.5, 10}, {kD3, 10.5, 10, 10.5, 10}},
         2, 3, 11, 9, false,
         {"Rectangle 1,200,299,130 pen 0000C0/0/1 brush hollow", "Segment 150,130,150,130 pen 0000C0/0/1 brush hollow",
          "Segment 150,200,150,200 pen 0000C0/0/1 brush hollow", "Rectangle 301,130,599,200 pen 008000/0/1 brush hollow",
          "Segment 450,130,450,130 pen 008000/0/1 brush hollow", "Segment 450,200,450,200 pen 008000/0/1 brush hollow"}},
        {"no scale", {{kD1, 10, 10.5, 10.8, 9.8}}, 1, 1, 10, 10, false, {}},
        {"window past the bars", {{kD1, 10, 10.5, 10.8, 9.8}}, 2, 2, 11, 9, false, {}},
    };
    for (const Case &c : cases) {
        NewPicture(600, 400);
        SetBars(c.bars, c.max, c.min);
        KLineData().FirstBar = c.first;
        KLineData().LastBar = c.last;
        DrawCandles(*pic, KLineData(), 0, 0, 60, 60, c.max, c.min, c.filled);
        EXPECT_EQ(dc->Lines({"Segment", "Rectangle"}), c.ops) << c.what;
    }
    // Seven visible bars: the second body runs from x + 1 = 86.71 to x2 − 1 = 170.43.
    NewPicture(600, 400);
    SetBars(std::vector<Bar>(7, {kD1, 10, 10.5, 10.5, 10}), 11, 9);
    DrawCandles(*pic, KLineData(), 0, 0, 60, 60, 11, 9, false);
    EXPECT_EQ(dc->Lines({"Rectangle"})[1], "Rectangle 87,200,170,130 pen 0000C0/0/1 brush hollow");
}

TEST_F(KLineDrawTest, CurveJoinsItsPointsAndLeavesGapsOverZeros)
{
    const std::vector<double> values = {0, 0, 0, 100, 100, 0};  // element 0 unused
    Matrix<double> rows(6, 2);
    for (long i = 0; i < 6; ++i) {
        rows(i, 0) = -50;  // another column widens the scale of a 2-D array
        rows(i, 1) = values[static_cast<size_t>(i)];
    }
    const Lines gap = {"Segment 250,0,250,100 pen 0000FF/0/1 brush hollow",
                       "Segment 250,0,350,0 pen 0000FF/0/1 brush hollow",
                       "Segment 350,0,350,100 pen 0000FF/0/1 brush hollow"};
    const Lines joined = {
        "Segment 50,100,150,100 pen 0000FF/0/1 brush hollow", "Segment 150,100,250,0 pen 0000FF/0/1 brush hollow",
        "Segment 250,0,350,0 pen 0000FF/0/1 brush hollow", "Segment 350,0,450,100 pen 0000FF/0/1 brush hollow"};
    const std::vector<double> guide = {0, 5, 5, 6, 4, 4};
    struct Case {
        const char *what;
        const CurveValues values;
        int column;
        double top, bottom, max, min, left, right;
        std::vector<double> guide;
        bool middle, zeroGap;
        ColorRef colour;
        Lines ops;
    };
    Lines middle = {"Segment 500,50,0,50 pen 333333/2/1 brush hollow"};
    middle.insert(middle.end(), gap.begin(), gap.end());
    const Case cases[] = {
        {"zero gap", values, -1, 0, 0, 100, 0, 0, 0, {}, false, true, 0xFF, gap},
        {"scale of the points", values, -1, 0, 0, 0, 0, 0, 0, {}, false, true, 0xFF, gap},
        {"joined", values, -1, 0, 0, 100, 0, 0, 0, {}, false, false, 0xFF, joined},
        {"middle line", values, -1, 0, 0, 100, 0, 0, 0, {}, true, true, 0xFF, middle},
        {"column of a 2-D array", rows, 1, 0, 0, 100, 0, 0, 0, {}, false, false, 0xFF, joined},
        {"2-D scale over all columns", rows, 1, 0, 0, 0, 0, 0, 0, {}, false, false, 0xFF,
         {"Segment 50,67,150,67 pen 0000FF/0/1 brush hollow", "Segment 150,67,250,0 pen 0000FF/0/1 brush hollow",
          "Segment 250,0,350,0 pen 0000FF/0/1 brush hollow", "Segment 350,0,450,67 pen 0000FF/0/1 brush hollow"}},
        {"margins", values, -1, 10, 10, 100, 0, 100, -50, {}, false, false, 0xFF,
         {"Segment 140,90,220,90 pen 0000FF/0/1 brush hollow", "Segment 220,90,300,10 pen 0000FF/0/1 brush hollow",
          "Segment 300,10,380,10 pen 0000FF/0/1 brush hollow", "Segment 380,10,460,90 pen 0000FF/0/1 brush hollow"}},
        {"colour guide", values, -1, 0, 0, 100, 0, 0, 0, guide, false, false, 0xFF,
         {"Segment 50,100,150,100 pen 0000FF/0/1 brush hollow", "Segment 150,100,250,0 pen 0000FF/0/1 brush hollow",
          "Segment 250,0,350,0 pen 00FF00/0/1 brush hollow", "Segment 350,0,450,100 pen 0000FF/0/1 brush hollow"}},
        {"background colour", values, -1, 0, 0, 100, 0, 0, 0, {}, true, true, 0x000000, {}},
        {"no scale: the middle line only", values, -1, 0, 0, 100, 100, 0, 0, {}, true, true, 0xFF,
         {"Segment 500,50,0,50 pen 333333/2/1 brush hollow"}},
        {"a column of a 1-D array has no values", values, 0, 0, 0, 100, 0, 0, 0, {}, false, false, 0xFF, {}},
    };
    for (const Case &c : cases) {
        NewPicture(500, 100);
        DrawChartCurve(*pic, c.values, c.column, c.top, c.bottom, c.colour, c.max, c.min, 0, 1, 5, c.left, c.right,
                       c.guide, c.middle, c.zeroGap);
        EXPECT_EQ(dc->Lines({"Segment"}), c.ops) << c.what;
    }
}

TEST_F(KLineDrawTest, PictureWithTitleLegendCostLineAndCrosshair)
{
    LineControl vertical, horizontal;
    LabelControl readout;
    readout.SetWidth(1500);
    SetKLineCrosshair(&vertical, &horizontal, &readout);
    int refreshes = 0;
    struct Case {
        const char *what;
        const char *code;
        double max, min;
        int color11;  // entry 11 stored as entry 0's text when 0
        Lines texts;
        Lines dashed;
        int rectangles;
    };
    const Lines legend = {"Text 4,4 \"[600000]浦发银行 交易分布图示\" h18 a0 w0 FFFFFF", "Text 4,28 \"仓位：\" h12 a0 w0 FFFFFF",
                          "Text 4,44 \"成本：\" h12 a0 w0 C0C0FF"};
    Lines withCost = legend;
    withCost.push_back("Text 0,187 \"成本价： 12.5 [10.00%]\" h12 a0 w0 0000FF");
    const Case cases[] = {
        {"stock", "600000", 15, 10, 255, withCost, {"Segment 0,200,600,200 pen 0000FF/1/1 brush hollow"}, 1},
        {"cost coloured as the background", "600000", 15, 10, 0, legend, {}, 1},
        {"index", "399001", 15, 10, 255, legend, {}, 1},
        {"no scale", "600000", 12, 12, 255, legend, {}, 0},
    };
    for (const Case &c : cases) {
        NewPicture(600, 400);
        pic->SetRefreshHook([&] { ++refreshes; });
        pic->Tag = QStringLiteral("[600000]浦发银行");
        ResetFormParamSets();
        if (c.color11 == 0)
            SetColor(11, "0");
        SetBars({{kD1, 13.0, 13.75, 14, 12}}, c.max, c.min);
        KLineData().Code = c.code;
        PositionCost() = 12.5;
        refreshes = 0;
        readout.SetCaption("");
        DrawTradeKLine(*pic);
        EXPECT_EQ(dc->Lines({"Clear"}), Lines{"Clear 000000"}) << c.what;
        EXPECT_EQ(dc->Lines({"Text"}), c.texts) << c.what;
        Lines dashed;
        for (const std::string &s : dc->Lines({"Segment"}))
            if (s.find("/1/1") != std::string::npos)
                dashed.push_back(s);
        EXPECT_EQ(dashed, c.dashed) << c.what;
        EXPECT_EQ(dc->Count("Rectangle"), c.rectangles) << c.what;
        // The legend's line samples in the curves' colours.
        const Lines segments = dc->Lines({"Segment"});
        ASSERT_GE(segments.size(), 2u);
        EXPECT_EQ(segments[0], "Segment 40,35,80,35 pen FFFFFF/0/1 brush hollow");
        EXPECT_EQ(segments[1], "Segment 40,50,80,50 pen C0C0FF/0/1 brush hollow");
        // The crosshair takes entry 14 and the read-out its bar, also without a scale.
        EXPECT_EQ(vertical.BorderColor(), 0x808080u) << c.what;
        EXPECT_EQ(horizontal.BorderColor(), 0x808080u) << c.what;
        EXPECT_EQ(readout.Caption(), "2024-03-04") << c.what;
        EXPECT_GE(refreshes, 1) << c.what;
    }
}

TEST_F(KLineDrawTest, TradeMarksByKindOfRecord)
{
    struct Trade {
        double bdate, bprice, sdate, sprice;
    };
    struct Case {
        const char *what;
        std::vector<Trade> trades;
        int first;
        std::vector<std::pair<int, const char *>> colours;  // entries stored
        std::string letters;
        Lines shapes;  // checked when not empty
        int segments;
    };
    const Lines buyHeld = {"Segment 100,200,100,246 pen 000080/2/1 brush hollow",
                           "Rectangle 94,250,106,263 pen 000080/0/1 brush 000080",
                           "Polygon 98,250,100,246,102,250 pen 000080/0/1 brush 000080",
                           "Text 96,250 \"B\" h12 a0 w0 FFFFFF",
                           "Ellipse 97,197,103,203 pen 000080/0/1 brush 000080"};
    const Lines soldHigher = {"Segment 100,200,100,246 pen C0C0C0/2/1 brush hollow",
                              "Rectangle 94,250,106,263 pen C0C0C0/0/1 brush C0C0C0",
                              "Polygon 98,250,100,246,102,250 pen C0C0C0/0/1 brush C0C0C0",
                              "Text 96,250 \"B\" h12 a0 w0 FFFFFF",
                              "Ellipse 97,197,103,203 pen C0C0C0/0/1 brush C0C0C0",
                              "Segment 500,130,500,84 pen FF8080/2/1 brush hollow",
                              "Rectangle 494,80,506,67 pen FF8080/0/1 brush FF8080",
                              "Polygon 498,80,500,84,502,80 pen FF8080/0/1 brush FF8080",
                              "Text 496,68 \"S\" h12 a0 w0 FFFFFF",
                              "Ellipse 497,127,503,133 pen FF8080/0/1 brush FF8080",
                              "Segment 493,135,500,130 pen 0000FF/0/1 brush hollow",
                              "Segment 491,127,500,130 pen 0000FF/0/1 brush hollow",
                              "Segment 100,200,500,130 pen 0000FF/2/1 brush hollow"};
    const Lines roundTrip = {"Segment 300,130,300,84 pen C0C0FF/2/1 brush hollow",
                             "Rectangle 294,80,306,67 pen C0C0FF/0/1 brush C0C0FF",
                             "Polygon 298,80,300,84,302,80 pen C0C0FF/0/1 brush C0C0FF",
                             "Text 297,68 \"T\" h12 a0 w0 FFFFFF",
                             "Ellipse 297,127,303,133 pen C0C0FF/0/1 brush C0C0FF",
                             "Ellipse 297,197,303,203 pen C0C0FF/2/1 brush C0C0FF"};
    const Case cases[] = {
        {"bought and held", {{kD1, 10, 0, 0}}, 1, {}, "B", buyHeld, 1},
        {"sold higher later", {{kD1, 10, kD3, 10.5}}, 1, {}, "BS", soldHigher, 5},
        {"sold at the buy price later: loss arrow", {{kD1, 10, kD3, 10}}, 1, {}, "BS", {}, 5},
        {"round trip with a gain", {{kD2, 10, kD2, 10.5}}, 1, {}, "T", roundTrip, 1},
        {"round trip at the buy price", {{kD2, 10, kD2, 10}}, 1, {}, "T", {}, 1},
        {"bought before the window, sold in it", {{kD1, 10, kD3, 10.5}}, 2, {}, "", {}, 0},
        {"bought on a day without a bar", {{kD1 + 0.5, 10, 0, 0}}, 1, {}, "", {}, 0},
        {"held mark coloured as the background", {{kD1, 10, 0, 0}, {kD2, 10, kD2, 10.5}}, 1, {{4, "0"}}, "T", {}, 1},
        {"arrow coloured as the background", {{kD1, 10, kD3, 10.5}}, 1, {{9, "0"}}, "BS", {}, 2},
        {"sell mark coloured as the background", {{kD1, 10, kD3, 10.5}}, 1, {{5, "0"}}, "B", {}, 4},
        {"sold before its buy", {{kD2, 10, kD1, 10.5}}, 1, {}, "B", {}, 1},
    };
    for (const Case &c : cases) {
        NewPicture(600, 400);
        ResetFormParamSets();
        for (const auto &[i, text] : c.colours)
            SetColor(i, text);
        ResetKLineData();
        SetBars({{kD1, 10, 10, 10, 10}, {kD2, 10, 10, 10, 10}, {kD3, 10, 10, 10, 10}}, 11, 9);
        KLineData().FirstBar = c.first;
        for (const Trade &t : c.trades)
            AddTrade(t.bdate, t.bprice, 1000, t.sdate, t.sprice);
        DrawTradeMarks(*pic, KLineData(), 0, 0, 60, 60, 11, 9);
        EXPECT_EQ(Letters(), c.letters) << c.what;
        EXPECT_EQ(dc->Count("Segment"), c.segments) << c.what;
        if (!c.shapes.empty()) {
            EXPECT_EQ(dc->Lines({"Segment", "Rectangle", "Polygon", "Text", "Ellipse"}), c.shapes) << c.what;
        }
    }
    // A sale at or below the buy price draws its arrow in entry 10; no marks at all without a scale.
    NewPicture(600, 400);
    ResetFormParamSets();
    ResetKLineData();
    SetBars({{kD1, 10, 10, 10, 10}, {kD2, 10, 10, 10, 10}, {kD3, 10, 10, 10, 10}}, 11, 9);
    AddTrade(kD1, 10, 1000, kD3, 10);
    DrawTradeMarks(*pic, KLineData(), 0, 0, 60, 60, 11, 9);
    EXPECT_EQ(dc->Lines({"Segment"}).back(), "Segment 100,200,500,200 pen 00C000/2/1 brush hollow");
    NewPicture(600, 400);
    DrawTradeMarks(*pic, KLineData(), 0, 0, 60, 60, 10, 10);
    EXPECT_EQ(dc->ops.size(), 0u);
}

TEST_F(KLineDrawTest, ArrowHeadPointsBackTowardsTheStart)
{
    struct Case {
        double x1, y1, x2, y2, length;
        bool drawn;
        float hx1, hy1, hx2, hy2;
    };
    const Case cases[] = {
        {0, 0, 100, 0, 8, true, 92, 4, 92, -4},
        {100, 0, 0, 0, 8, true, 8, -4, 8, 4},
        {0, 0, 0, 100, 16, true, -8, 84, 8, 84},
        {100, 200, 500, 130, 8, true, 492.8093f, 135.3192f, 491.4302f, 127.4389f},
        {5, 5, 5, 5, 8, false, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        const std::optional<ArrowHead> h = TradeArrowHead(c.x1, c.y1, c.x2, c.y2, c.length);
        ASSERT_EQ(h.has_value(), c.drawn) << c.x1 << "," << c.y1;
        if (!h)
            continue;
        EXPECT_NEAR(h->x1, c.hx1, 1e-3);
        EXPECT_NEAR(h->y1, c.hy1, 1e-3);
        EXPECT_NEAR(h->x2, c.hx2, 1e-3);
        EXPECT_NEAR(h->y2, c.hy2, 1e-3);
    }
    // The head length follows the pen width; two solid strokes, then the dotted shaft.
    double length = 99;
    DrawTradeArrow(*pic, 0, 0, 100, 0, length, 0xFF, 2);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(dc->Lines({"Segment"}), (Lines{"Segment 84,8,100,0 pen 0000FF/0/2 brush hollow",
                                              "Segment 84,-8,100,0 pen 0000FF/0/2 brush hollow",
                                              "Segment 0,0,100,0 pen 0000FF/2/2 brush hollow"}));
    NewPicture(600, 400);
    DrawTradeArrow(*pic, 5, 5, 5, 5, length, 0xFF, 1);
    EXPECT_EQ(dc->ops.size(), 0u);
}

TEST_F(KLineDrawTest, ReadOutOfADay)
{
    SetBars({{kD1, 10, 10, 10, 10}, {kD2, 10, 10, 10, 10}, {kD3, 10.5, 11, 11, 10.5}}, 11, 9);
    KLineData().Code = "600000";
    AddTrade(kD1, 9.5, 500, kD2, 11.0);
    AddTrade(kD2, 10.0, 1000);
    PositionSeries() = {0, 500, 1000, 0};
    CostSeries() = {0, 9.52, 10.02, 0};
    struct Case {
        const char *what;
        int bar;
        const char *text;
    };
    const Case cases[] = {
        {"buy held and sell", 2,
         "2024-03-05\n买入：1,000股，价格：10.00 涨幅：9.97%\n卖出：500股，价格：11.00\n仓位： 1000\n成本： 10.02"},
        {"buy sold later", 1, "2024-03-04\n买入：500股，价格：9.50\n仓位： 500\n成本： 9.52"},
        {"nothing", 3, "2024-03-06"},
        {"no such bar", 4, ""},
        {"no bar 0", 0, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KLineBarInfoText(c.bar), QString::fromUtf8(c.text)) << c.what;

    // An index lists no trades; a sell alone shows the position even when none is left.
    KLineData().Code = "399001";
    EXPECT_EQ(KLineBarInfoText(2), QString::fromUtf8("2024-03-05\n仓位： 1000\n成本： 10.02"));
    KLineData().Code = "600000";
    PositionSeries() = {0, 500, 0, 0};
    EXPECT_EQ(KLineBarInfoText(2).section('\n', 3), QString::fromUtf8("仓位： 0\n成本： 10.02"));
    PositionSeries().clear();  // series not built: read as 0
    EXPECT_EQ(KLineBarInfoText(1), QString::fromUtf8("2024-03-04\n买入：500股，价格：9.50"));

    // Today's bar: the quote's prices, fetched once, also for the gain of a buy held.
    const double today = DayNumberOf(kToday);
    KLineData().BarDate[3] = today;
    AddTrade(today, 10.0, 100);
    QuoteRow row;
    row.code = "600000";
    row.open = 10.1;
    row.price = 10.3;
    row.high = 10.5;
    row.low = 10.0;
    Quotes().rows = {QuoteRow{"1A0001"}, row};
    EXPECT_EQ(KLineBarInfoText(3), QString::fromUtf8("2024-05-20\n买入：100股，价格：10.00 涨幅：2.97%\n开盘价：10.1 "
                                                     "最新价：10.3"));
    // In New York's evening before (22:00 on the 19th, summer time, is 10:00 on the 20th in China).
    SetClock([] { return QDateTime(kToday.addDays(-1), QTime(22, 0), QTimeZone(-4 * 3600)); });
    EXPECT_TRUE(KLineBarInfoText(3).endsWith(QString::fromUtf8("\n开盘价：10.1 最新价：10.3")));
    // A quote without prices takes today's bar away: nothing to show.
    Quotes().rows[1].high = Quotes().rows[1].low = 0;
    EXPECT_EQ(KLineBarInfoText(3), "");
    EXPECT_EQ(KLineData().BarCount(), 2);
}

TEST_F(KLineDrawTest, CrosshairPicksTheBarUnderTheMouseAndTheLabelFlips)
{
    std::vector<Bar> bars;
    for (int i = 1; i <= 70; ++i)
        bars.push_back({kD1 + i, 10, 10, 10, 10});
    SetBars(bars, 11, 9);
    KLineData().FirstBar = 10;
    NewPicture(600, 400);  // 9000 twips: 61 bars of 147.54 twips
    LineControl v, h;
    LabelControl label;
    label.SetWidth(2000);
    struct Case {
        double X;
        int bar;
        double lineX, left;
    };
    const double wt = 9000.0 / 61;
    const Case cases[] = {
        {1000, 16, 959.016393, 959.016393},
        {0, 10, wt / 2, wt / 2},
        {-100, 10, wt / 2, wt / 2},  // truncated towards zero
        {-200, 9, -wt / 2, -wt / 2},
        {8000, 64, 54.5 * wt, 54.5 * wt - 2000},  // near the right edge: left of the line
        {8999, 70, 60.5 * wt, 60.5 * wt - 2000},
        {9000, 70, 60.5 * wt, 60.5 * wt - 2000},  // bar 71 does not exist: nothing changes
        {-1500, 70, 60.5 * wt, 60.5 * wt - 2000},  // nor bar 0
        {std::nan(""), 70, 60.5 * wt, 60.5 * wt - 2000},
    };
    for (const Case &c : cases) {
        ShowKLineBarInfo(*pic, v, h, label, c.X, 1234);
        EXPECT_EQ(KLineData().CurBar, c.bar) << c.X;
        EXPECT_NEAR(v.X1(), c.lineX, 1e-6) << c.X;
        EXPECT_NEAR(v.X2(), c.lineX, 1e-6) << c.X;
        EXPECT_EQ(h.Y1(), 1234);
        EXPECT_EQ(h.Y2(), 1234);
        EXPECT_NEAR(label.Left(), c.left, 1e-6) << c.X;
        EXPECT_EQ(label.Caption(), QString(DateText(kD1 + c.bar))) << c.X;
    }
}

TEST_F(KLineDrawTest, RenderedCandleIsHollowAndItsWicksStopShortOfTheirEnds)
{
    Picture image;
    image.SetPixelSize(600, 400);
    SetBars({{kD1, 10.5, 10.0, 10.8, 9.8}}, 11, 9);
    KLineData().Code = "600000";
    DrawTradeKLine(image);
    const QImage im = image.Image();
    const QRgb black = qRgb(0, 0, 0), green = qRgb(0, 0x80, 0);
    struct Probe {
        int x, y;
        QRgb colour;
    };
    const Probe probes[] = {
        {0, 399, black},   {1, 130, green},   {598, 199, green}, {599, 199, black}, {1, 200, black},
        {300, 160, black}, {300, 129, green}, {300, 89, green},  {300, 88, black},  {300, 227, green},
        {300, 228, black}, {60, 35, qRgb(255, 255, 255)},
    };
    for (const Probe &p : probes)
        EXPECT_EQ(im.pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}
