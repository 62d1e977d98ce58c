// The K-line chart's data: bars and the window, today's bar, trades, cost price and the two series,
// and when ShowKLine loads and draws, on a fresh ACC.MDB with the fake services and a fixed clock.
#include <gtest/gtest.h>

#include <memory>

#include <QTimeZone>

#include "charts/kline.h"
#include "charts/kline_draw.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "fixtures/recording_canvas.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

const QDate kToday(2024, 5, 20);  // a Monday

QString Lit(double day)
{
    return QStringLiteral("#") + DateText(day) + QStringLiteral("#");
}

// One more than each element: the 1-based arrays compared without their unused element 0.
template <typename T>
std::vector<T> Tail(const std::vector<T> &a)
{
    return a.empty() ? a : std::vector<T>(a.begin() + 1, a.end());
}

class KLineTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        At(QTime(20, 0));
        ResetQuoteCache();
        ResetCalendar();
        ResetFormParamSets();
        ResetKLineData();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        services.Install();
        // The data service has nothing newer than what the tests store.
        services.SetSqlAnswer(QStringLiteral("sp_"), FakeServices::SqlRowsBody({"trdat", "opprice", "clprice", "mxprice",
                                                                                "mnprice", "num", "sm"},
                                                                               {}, 0));
        services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 2990,
                                                                                3010, 3020, 2980, "2024-05-20"));
        auto canvas = std::make_unique<RecordingCanvas>();
        dc = canvas.get();
        pic = std::make_unique<Picture>(std::move(canvas));
        pic->SetPixelSize(600, 400);
        SetKLinePicture(pic.get());
    }
    void TearDown() override
    {
        SetKLinePicture(nullptr);
        ResetKLineData();
        ResetQuoteCache();
        ResetCalendar();
        ResetFormParamSets();
        LoadSysParams();
        DbFixture::TearDown();
    }
    void At(const QTime &t)
    {
        // Trading hours are the market's (UTC+8) whatever the machine's zone.
        const QDateTime now(kToday, t, QTimeZone(kMarketUtcOffsetSeconds));
        SetClock([now] { return now; });
    }
    static double DaysBack(int n) { return DayNumberOf(kToday) - n; }
    // n daily rows of the code, the newest `newest` days before today (0: dated today), highs 10.00
    // and lows 8.00 (the oldest row's high 9.00 and low 8.50).
    void StoreBars(const QString &code, int n, int newest = 1)
    {
        ASSERT_TRUE(EnsureHistoryTable(code));
        QString sql = QStringLiteral("INSERT INTO H_") + code +
                      QStringLiteral("(trdat,opprice,clprice,mxprice,mnprice,num,sm) VALUES ");
        for (int i = 0; i < n; ++i) {
            const bool oldest = i == n - 1;
            sql += QStringLiteral("%1(%2,9.5,9.8,%3,%4,1000,9800)")
                       .arg(i == 0 ? "" : ",", Lit(DaysBack(newest + i)), oldest ? "9" : "10", oldest ? "8.5" : "8");
        }
        if (n > 0)
            Exec(sql);
    }
    void AddRecord(const QString &code, double bdate, double bprice, int num, double sdate = kEmptyDate,
                   double sprice = 0)
    {
        Exec(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) "
                            "VALUES ('%1','名称',%2,%3,%4,%4,%5,%6)")
                 .arg(code, Lit(bdate))
                 .arg(bprice)
                 .arg(num)
                 .arg(Lit(sdate))
                 .arg(sprice));
    }
    // How many times a stock was loaded: each load asks the data service for its newer rows.
    int Loads() const
    {
        int n = 0;
        for (const FakeRequest &r : services.Requests())
            n += r.sql.contains(QStringLiteral("sp_")) ? 1 : 0;
        return n;
    }
    void SetQuote(const QString &code, double open, double price, double high, double low)
    {
        QuoteRow row;
        row.code = code;
        row.open = open;
        row.price = price;
        row.high = high;
        row.low = low;
        Quotes().rows = {QuoteRow{QStringLiteral("1A0001")}, row};
    }

    FakeServices services;
    RecordingCanvas *dc = nullptr;
    std::unique_ptr<Picture> pic;
};

}  // namespace

TEST_F(KLineTest, CostPricePerShareHeld)
{
    struct Rec {
        double b;
        int32_t q;
        double s;
    };
    struct Case {
        const char *what;
        std::vector<Rec> records;
        double cost;
    };
    const Case cases[] = {
        // (10000 + 20 + 9000 − 11000 + 21) / 1000: the sold record's result lowers the held cost.
        {"one held, one sold", {{10.00, 1000, 0}, {9.00, 1000, 11.00}}, 8.041},
        {"sold out: fee-inclusive buy price", {{10.00, 1000, 11.00}}, 10.021},
        {"no records", {}, 0},
        {"no shares", {{10.00, 0, 0}}, 0},
    };
    for (const Case &c : cases) {
        KLineRecord k;
        k.BuyPrice = {0};
        k.BuyNum = {0};
        k.SellPrice = {0};
        for (const Rec &r : c.records) {
            k.BuyPrice.push_back(r.b);
            k.BuyNum.push_back(r.q);
            k.SellPrice.push_back(r.s);
        }
        k.BuyDate.assign(k.BuyPrice.size(), DaysBack(10));
        k.SellDate.assign(k.BuyPrice.size(), 0);
        EXPECT_DOUBLE_EQ(CalcPositionCostPrice(k), c.cost) << c.what;
    }
}

TEST_F(KLineTest, StockSeriesFollowBuysAndSellsDayByDay)
{
    // A: 1000 @ 10.00 bought d1, sold d3 @ 11.00; B: 1000 @ 12.00 bought d2, held; C: another stock.
    const double d1 = DaysBack(5);
    AddRecord("600000", d1, 10.00, 1000, d1 + 2, 11.00);
    AddRecord("600000", d1 + 1, 12.00, 1000);
    AddRecord("000002", d1, 5.00, 700);
    KLineRecord &k = KLineData();
    k.Code = "600000";
    k.BarDate = {0, d1, d1 + 1, d1 + 2, d1 + 3, d1 + 4};
    LoadStockPositionSeries("600000");
    EXPECT_EQ(Tail(PositionSeries()), (std::vector<double>{1000, 2000, 1000, 1000, 1000}));
    EXPECT_EQ(Tail(CostSeries()), (std::vector<double>{10.02, 11.021, 11.042, 11.042, 11.042}));

    LoadTradeMarks(k, true);
    EXPECT_EQ(Tail(k.BuyDate), (std::vector<double>{d1, d1 + 1}));
    EXPECT_EQ(Tail(k.SellDate), (std::vector<double>{d1 + 2, 0}));  // held: the zero date, not 1900-01-01
    EXPECT_EQ(Tail(k.SellPrice), (std::vector<double>{11.00, 0}));
    EXPECT_EQ(Tail(k.BuyNum), (std::vector<int32_t>{1000, 1000}));
    // The two cost definitions differ on purpose: the sold record's fees at its sell price.
    EXPECT_DOUBLE_EQ(CalcPositionCostPrice(k), 11.043);

    // Sold out on d4: nothing held gives 0 in both series. Totals beyond 32 bits keep counting.
    Exec("UPDATE account SET sdate=" + Lit(d1 + 3) + ",sprice=12.5 WHERE bprice=12");
    AddRecord("600001", d1, 3000.00, 1000000);
    LoadStockPositionSeries("600000");
    EXPECT_EQ(Tail(PositionSeries()), (std::vector<double>{1000, 2000, 1000, 0, 0}));
    EXPECT_EQ(Tail(CostSeries()), (std::vector<double>{10.02, 11.021, 11.042, 0, 0}));
    LoadStockPositionSeries("600001");
    EXPECT_EQ(Tail(PositionSeries()), (std::vector<double>(5, 1000000)));
    EXPECT_EQ(Tail(CostSeries()), (std::vector<double>(5, 3004.8)));  // (3e9 + 4.8e6 fees) / 1e6
}

TEST_F(KLineTest, AccountPositionOfAnIndexKeepsItsLastValue)
{
    const double d1 = DaysBack(5);
    Exec("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (" + Lit(d1) + ",150000,50000,200000)");
    Exec("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (" + Lit(d1 + 1) + ",200000,0,200000)");
    Exec("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (" + Lit(d1 + 2) + ",0,5000,0)");  // no total: no share
    Exec("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (" + Lit(d1 + 3) + ",100000,100000,300000)");
    KLineData().BarDate = {0, d1 - 1, d1, d1 + 1, d1 + 2, d1 + 3};
    LoadAccountPositionSeries();
    EXPECT_EQ(Tail(PositionSeries()), (std::vector<double>{0, 25.00, 25.00, 25.00, 33.33}));
}

TEST_F(KLineTest, PriceRangeOfTheWindow)
{
    // Every case's scale holds every bar of its window (but zeros passed over) with a span above zero.
    const std::vector<double> highs = {9.5, 10.00, 0, 9.7};
    const std::vector<double> lows = {8.2, 8.00, 0, 8.9};
    struct Case {
        std::vector<double> highs, lows;  // bars 1..n
        int first, last;
        bool skipZero;
        double max, min;
    };
    const Case cases[] = {
        {highs, lows, 1, 4, false, 10.5, 0},  // the zero bar counts
        {highs, lows, 1, 4, true, 10.5, 7.6},
        {highs, lows, 2, 2, false, 10.5, 7.6},
        {highs, lows, 4, 1, true, 10.5, 7.6},  // either order
        // Under one yuan an end the tenth of a yuan would round past its bar, or onto the other end,
        // is rounded outward at the cent.
        {{0.20, 0.19, 0.20}, {0.18, 0.18, 0.19}, 1, 3, false, 0.21, 0.17},
        {{0.02, 0.01, 0.02}, {0.01, 0.01, 0.01}, 1, 3, false, 0.03, 0},
        {{0.65, 0.62, 0.61}, {0.59, 0.60, 0.60}, 1, 3, false, 0.7, 0.56},
        {{0.20}, {0.20}, 1, 1, false, 0.21, 0.2},
        {{0.99}, {0.98}, 1, 1, false, 1, 0.9},    // the tenth holds both
        {{1.02}, {0.95}, 1, 1, false, 1.1, 0.9},  // the tenth holds both
        {{0}, {0}, 1, 1, false, 0.01, 0},         // no prices at all
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.highs[0] << "-" << c.lows[0] << " " << c.first << ".." << c.last);
        KLineRecord k;
        k.BarHigh = c.highs;
        k.BarLow = c.lows;
        k.BarHigh.insert(k.BarHigh.begin(), 0);
        k.BarLow.insert(k.BarLow.begin(), 0);
        double max = -1, min = -1;
        GetPriceRange(k, max, min, c.first, c.last, c.skipZero);
        EXPECT_DOUBLE_EQ(max, c.max);
        EXPECT_DOUBLE_EQ(min, c.min);
        EXPECT_GT(max, min);
        for (int i = std::min(c.first, c.last); i <= std::max(c.first, c.last); ++i) {
            if (c.skipZero && k.BarHigh[i] == 0)
                continue;
            EXPECT_GE(max, k.BarHigh[i]) << i;
            EXPECT_LE(min, k.BarLow[i]) << i;
        }
    }
    // A negative end: all loaded bars, as loaded.
    KLineRecord k;
    k.BarHigh = {0, 9.5};
    k.BarLow = {0, 8.2};
    k.MaxPrice = 11;
    k.MinPrice = 7;
    double max = -1, min = -1;
    GetPriceRange(k, max, min, -1, 3, false);
    EXPECT_DOUBLE_EQ(max, 11);
    EXPECT_DOUBLE_EQ(min, 7);
}

TEST_F(KLineTest, BarsSinceTheFirstBuyAtLeast200AndTheNewest61Shown)
{
    struct Case {
        const char *what;
        int stored;
        int boughtBack;  // bars back of the first buy; 0: no records
        const char *start;
        int bars, first, last;
    };
    const Case cases[] = {
        {"bought 30 bars back", 600, 30, nullptr, 200, 140, 200},
        {"bought 500 bars back", 600, 500, nullptr, 500, 440, 500},
        {"30 bars, no records", 30, 0, nullptr, 30, 1, 30},
        {"a start of 10.5 bars back rounds to even", 600, 0, "10.5", 200, 190, 200},
    };
    for (const Case &c : cases) {
        ResetKLineData();
        pic->Tag.clear();
        Exec("DELETE FROM account");
        DropTablesLike("H_600000");
        StoreBars("600000", c.stored);
        if (c.boughtBack > 0)
            AddRecord("600000", DaysBack(c.boughtBack), 9.6, 100);
        SaveParam("KLineStart", c.start ? c.start : "");
        ShowKLine("[600000]浦发银行");
        const KLineRecord &k = KLineData();
        EXPECT_EQ(k.BarCount(), c.bars) << c.what;
        EXPECT_EQ(k.FirstBar, c.first) << c.what;
        EXPECT_EQ(k.LastBar, c.last) << c.what;
        EXPECT_EQ(k.BarDate.back(), DaysBack(1)) << c.what;
        EXPECT_EQ(k.BarNum.back(), 1000) << c.what;
        EXPECT_EQ(PositionSeries().size(), static_cast<size_t>(c.bars) + 1) << c.what;
    }
    // Only the newer rows from a date on, without volume.
    KLineRecord k;
    EXPECT_EQ(QueryHistoryBars(k, "600000", 0, DaysBack(3), true), 3);
    EXPECT_EQ(Tail(k.BarDate), (std::vector<double>{DaysBack(3), DaysBack(2), DaysBack(1)}));
    EXPECT_EQ(Tail(k.BarNum), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(QueryHistoryBars(k, "60000'", 10, -1, false), 0);
    EXPECT_EQ(k.BarCount(), 0);
}

TEST_F(KLineTest, ScaleTakesInTheCostPrice)
{
    StoreBars("600000", 100);
    // Held at a cost of (11978 + 5 + 5 + 11.98) / 1000 = 12.000, above every high.
    AddRecord("600000", DaysBack(20), 11.978, 1000);
    ShowKLine("600000");
    EXPECT_DOUBLE_EQ(PositionCost(), 12.0);
    EXPECT_DOUBLE_EQ(KLineData().MaxPrice, 12.0);
    EXPECT_DOUBLE_EQ(KLineData().MinPrice, 7.6);
    // Bought below every low the cost lowers the bottom.
    Exec("UPDATE account SET bprice=5");
    ResetKLineChart();
    ShowKLine("600000");
    EXPECT_DOUBLE_EQ(KLineData().MaxPrice, 10.5);
    EXPECT_DOUBLE_EQ(KLineData().MinPrice, PositionCost());
}

TEST_F(KLineTest, ShowKLineLoadsOncePerStockAndDrawsOncePerText)
{
    StoreBars("600000", 100);
    StoreBars("000002", 50);
    struct Step {
        const char *text;  // nullptr: the record's code emptied instead
        int loads, clears;
        const char *tag;
    };
    const Step steps[] = {
        {"[600000]浦发银行", 1, 1, "[600000]浦发银行"},
        {"[600000]浦发银行", 1, 1, "[600000]浦发银行"},     // the same text: nothing
        {"[600000] 浦发银行", 1, 2, "[600000] 浦发银行"},   // the tree's text: the same stock, redrawn
        {"", 1, 3, "[600000] 浦发银行"},                     // redraw of the Tag
        {nullptr, 1, 3, "[600000] 浦发银行"},
        {"", 2, 4, "[600000] 浦发银行"},                     // reloaded after the code was emptied
        {"000002", 3, 5, "000002"},
        {"[1A0001]上证指数", 3, 5, "[1A0001]上证指数"},      // not a number: the Tag only
        {"", 3, 5, "[1A0001]上证指数"},
        {"[600000]浦发银行", 4, 6, "[600000]浦发银行"},
    };
    for (const Step &s : steps) {
        if (s.text)
            ShowKLine(QString::fromUtf8(s.text));
        else
            KLineData().Code.clear();
        EXPECT_EQ(Loads(), s.loads) << (s.text ? s.text : "code emptied");
        EXPECT_EQ(dc->Count("Clear"), s.clears) << (s.text ? s.text : "code emptied");
        EXPECT_EQ(pic->Tag, QString::fromUtf8(s.tag)) << (s.text ? s.text : "code emptied");
    }
    // A picture of 4 pixels (60 twips) either way, or none, shows nothing.
    pic->SetPixelSize(4, 400);
    ShowKLine("000002");
    SetKLinePicture(nullptr);
    ShowKLine("000002");
    EXPECT_EQ(dc->Count("Clear"), 6);
    EXPECT_EQ(pic->Tag, "[600000]浦发银行");
    // A stock without bars (outside trading time): its title over an empty chart, and the read-out
    // of the stock before emptied.
    SetKLinePicture(pic.get());
    pic->SetPixelSize(600, 400);
    LabelControl readout;
    readout.SetCaption("2024-05-17");
    SetKLineCrosshair(nullptr, nullptr, &readout);
    dc->ops.clear();
    ShowKLine("[600004]白云机场");
    EXPECT_EQ(dc->Lines({"Clear", "Text"}), (std::vector<std::string>{
                                                "Clear 000000",
                                                "Text 4,4 \"[600004]白云机场 交易分布图示\" h18 a0 w0 FFFFFF"}));
    EXPECT_EQ(dc->Count("Rectangle"), 0);
    EXPECT_EQ(KLineData().BarCount(), 0);
    EXPECT_EQ(readout.Caption(), "");
    SetKLineCrosshair(nullptr, nullptr, nullptr);
}

TEST_F(KLineTest, SeriesOfTheShownStockEvenWhileHidden)
{
    // Both curve colours equal the background (0): the series are not drawn, yet the read-out reads
    // them, so they must be the shown stock's.
    KTradeDispSetParams().tt = {"0", "", "", "", "", "", "", "", "", "", "", "", "0", "0"};
    StoreBars("600000", 100);
    StoreBars("000002", 100);
    StoreBars("399001", 100);
    AddRecord("600000", DaysBack(10), 10.0, 1000);
    Exec("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (" + Lit(DaysBack(30)) + ",150000,50000,200000)");
    ShowKLine("600000");
    EXPECT_EQ(PositionSeries().back(), 1000);
    EXPECT_EQ(CostSeries().back(), 10.02);
    ShowKLine("000002");
    EXPECT_EQ(Tail(PositionSeries()), std::vector<double>(100, 0));
    // An index shows the account's position and no cost.
    ShowKLine("600000");
    ShowKLine("399001");
    EXPECT_EQ(PositionSeries().back(), 25.00);
    EXPECT_EQ(Tail(CostSeries()), std::vector<double>(100, 0));
    // Records changed and the code emptied: the series are built anew for the same bars.
    ShowKLine("600000");
    AddRecord("600000", DaysBack(5), 10.0, 500);
    ResetKLineChart();
    ShowKLine("600000");
    EXPECT_EQ(PositionSeries().back(), 1500);
}

TEST_F(KLineTest, TodaysBarFollowsTheQuoteDuringTradingTime)
{
    At(QTime(10, 0));
    const double today = DayNumberOf(kToday);
    StoreBars("600000", 30);
    SetQuote("600000", 10.1, 10.3, 10.5, 10.0);
    ShowKLine("600000");
    const KLineRecord &k = KLineData();
    ASSERT_EQ(k.BarCount(), 31);
    EXPECT_EQ(k.BarDate[31], today);
    EXPECT_EQ((std::vector<double>{k.BarOpen[31], k.BarClose[31], k.BarHigh[31], k.BarLow[31]}),
              (std::vector<double>{10.1, 10.3, 10.5, 10.0}));
    EXPECT_EQ(k.LastBar, 31);
    // In New York's evening before (22:00 on the 19th there, summer time, is 10:00 on the 20th in
    // China) today's bar is the market's, and yesterday's stored bar stays as it is.
    SetClock([] { return QDateTime(kToday.addDays(-1), QTime(22, 0), QTimeZone(-4 * 3600)); });
    ResetKLineChart();
    ShowKLine("600000");
    ASSERT_EQ(k.BarCount(), 31);
    EXPECT_EQ(k.BarDate[31], today);
    EXPECT_EQ(k.BarClose[30], 9.8);
    EXPECT_EQ(k.BarClose[31], 10.3);
    At(QTime(10, 0));

    // No quote yet (high and low 0): the bar goes, and the window with it.
    SetQuote("600000", 0, 0, 0, 0);
    KLineData().CurBar = 31;
    ShowKLine("");
    EXPECT_EQ(k.BarCount(), 30);
    EXPECT_EQ(k.BarDate.back(), DaysBack(1));
    EXPECT_EQ(k.LastBar, 30);
    EXPECT_EQ(k.CurBar, 30);
    EXPECT_EQ(k.BarNum.size(), 32u);  // volume and turnover keep their length

    // A stock not in the quote cache gets no bar of today: at 0 it would stretch the scale to 0.
    ResetQuoteCache();
    ResetKLineChart();
    ShowKLine("600000");
    EXPECT_EQ(k.BarCount(), 30);
    EXPECT_EQ(k.BarDate.back(), DaysBack(1));
    EXPECT_DOUBLE_EQ(k.MinPrice, 7.6);

    // A table holding today's row gets no second bar of today.
    Exec("INSERT INTO H_600000 (trdat,opprice,clprice,mxprice,mnprice,num,sm) VALUES (" + Lit(today) +
         ",9.9,10.2,10.4,9.8,500,5000)");
    SetQuote("600000", 10.1, 10.3, 10.5, 10.0);
    ResetKLineChart();
    ShowKLine("600000");
    ASSERT_EQ(k.BarCount(), 31);
    EXPECT_EQ(k.BarDate[30], DaysBack(1));
    EXPECT_EQ(k.BarClose[31], 10.3);

    // No history and a quote without a price: no bar at all, the empty chart.
    const int clears = dc->Count("Clear");
    SetQuote("000002", 0, 0, 0, 0);
    ShowKLine("000002");
    EXPECT_EQ(k.BarCount(), 0);
    EXPECT_EQ(dc->Count("Clear"), clears + 1);

    // After 15:01 no bar is appended.
    At(QTime(15, 2));
    Exec("DELETE FROM H_600000 WHERE trdat=" + Lit(today));
    ResetKLineChart();
    ShowKLine("[600000] 浦发银行");
    EXPECT_EQ(k.BarCount(), 30);
}
