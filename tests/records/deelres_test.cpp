// The per-day asset table: cash, market value and total assets per trading day, worked out by hand
// for small books, including suspended days, trades dated on days without trading, today's live
// prices, incremental recomputation, a failed write and a recomputation asked for while one runs.
#include <gtest/gtest.h>

#include <QFile>
#include <QTimeZone>
#include <QTimer>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/http.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "storage/indicator.h"
#include "storage/sys_params.h"

namespace {

double Day(int y, int m, int d)
{
    return DayNumberOf(y, m, d);
}

QString Lit(double day)
{
    return QStringLiteral("#") + DateText(day) + QStringLiteral("#");
}

struct Row {
    QString dat;
    double cash;
    double scash;
    double sm;
};

// Records what the procedures show in the progress window.
class RecordingIndicator : public IndicatorView {
public:
    void ShowWindow(bool) override { ++shows; }
    void HideWindow() override { ++hides; }
    void SetBar(int, int max, int value) override
    {
        barMax = max;
        barValue = value;
    }
    void SetMessage(const QString &text) override
    {
        messages << text;
        busyWhileShown = busyWhileShown && IsBusy();
    }
    void SetTimeText(const QString &) override {}

    int shows = 0;
    int hides = 0;
    int barMax = 0;
    int barValue = 0;
    QStringList messages;
    bool busyWhileShown = true;
};

class DeelResTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        ResetCalendar();
        ResetQuoteCache();
        services.Install();
        At(QDate(2024, 3, 9));  // a Saturday: no row for today, no quote asked for
    }
    void TearDown() override
    {
        SetIndicatorView(nullptr);
        SetIndicatorShown(false);
        SetStatusHook(nullptr);
        ShowStatusText(QString());
        ResetCalendar();
        ResetQuoteCache();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        DbFixture::TearDown();
    }
    // The clock at the market's time t of day d (China Standard Time), whatever the machine's zone.
    void At(const QDate &d, const QTime &t = QTime(10, 0))
    {
        const QDateTime now(d, t, QTimeZone(kMarketUtcOffsetSeconds));
        SetClock([now] { return now; });
    }
    void Prices(const QString &code, const std::vector<std::pair<double, double>> &closes)
    {
        ASSERT_TRUE(EnsureHistoryTable(code));
        for (const auto &[day, close] : closes)
            Exec(QStringLiteral("INSERT INTO H_%1(trdat,opprice,clprice,mxprice,mnprice) VALUES(%2,%3,%3,%3,%3)")
                     .arg(code, Lit(day))
                     .arg(close));
    }
    void Calendar(const std::vector<double> &days)
    {
        std::vector<std::pair<double, double>> rows;
        for (double d : days)
            rows.push_back({d, 3000});
        Prices(QStringLiteral("1A0001"), rows);
    }
    // A record with its amounts worked out by the fee rules; sdate/sprice 0 for an open one.
    int Record(const QString &code, double bdate, int num, double bprice, double sdate = kEmptyDate,
               double sprice = 0)
    {
        Exec(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice) "
                            "VALUES('%1','x',%2,%3,%4,%4,%5,%6)")
                 .arg(code, Lit(bdate))
                 .arg(bprice)
                 .arg(num)
                 .arg(Lit(sdate))
                 .arg(sprice));
        const int id = static_cast<int>(
            GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE ORDER BY id DESC"), QStringLiteral("id"),
                          MakeLong(0))
                .ToDouble());
        EXPECT_TRUE(RecalcTradeAmounts(MakeLong(id)));
        return id;
    }
    double Field(int id, const QString &field)
    {
        return GetFieldValue(QStringLiteral("account"), QStringLiteral("id=%1").arg(id), field, MakeEmpty()).ToDouble();
    }
    std::vector<Row> Rows()
    {
        std::vector<Row> rows;
        DbConnection conn;
        RecordSet rs;
        EXPECT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT * FROM DeelRes ORDER BY dat")));
        for (; !rs.AtEOF(); rs.MoveNext())
            rows.push_back({DateText(rs.Field(QStringLiteral("dat")).ToDouble()),
                            rs.Field(QStringLiteral("cash")).ToDouble(), rs.Field(QStringLiteral("scash")).ToDouble(),
                            rs.Field(QStringLiteral("sm")).ToDouble()});
        CloseRs(conn, rs);
        return rows;
    }
    void ExpectRows(const std::vector<Row> &expected)
    {
        const std::vector<Row> rows = Rows();
        ASSERT_EQ(rows.size(), expected.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(expected[i].dat.toStdString());
            EXPECT_EQ(rows[i].dat, expected[i].dat);
            EXPECT_NEAR(rows[i].cash, expected[i].cash, 0.001);
            EXPECT_NEAR(rows[i].scash, expected[i].scash, 0.001);
            EXPECT_NEAR(rows[i].sm, expected[i].sm, 0.001);
        }
    }

    // Three stocks over the week of 4 to 8 March 2024; 000002 is suspended on the 6th.
    void WeekBook()
    {
        Calendar({Day(2024, 2, 29), Day(2024, 3, 1), Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 6),
                  Day(2024, 3, 7), Day(2024, 3, 8)});
        Prices(QStringLiteral("600000"), {{Day(2024, 3, 1), 9.90},
                                          {Day(2024, 3, 4), 10.10},
                                          {Day(2024, 3, 5), 10.20},
                                          {Day(2024, 3, 6), 10.05},
                                          {Day(2024, 3, 7), 10.30},
                                          {Day(2024, 3, 8), 10.40}});
        Prices(QStringLiteral("000001"), {{Day(2024, 3, 1), 19.50},
                                          {Day(2024, 3, 4), 19.80},
                                          {Day(2024, 3, 5), 20.10},
                                          {Day(2024, 3, 6), 20.50},
                                          {Day(2024, 3, 7), 21.20},
                                          {Day(2024, 3, 8), 21.00}});
        Prices(QStringLiteral("000002"), {{Day(2024, 3, 1), 49.00},
                                          {Day(2024, 3, 4), 50.20},
                                          {Day(2024, 3, 5), 50.80},
                                          {Day(2024, 3, 7), 51.30},
                                          {Day(2024, 3, 8), 51.10}});
        // bcash 10000.0 + 5.00 (3.00 raised to the minimum)
        r1 = Record(QStringLiteral("600000"), Day(2024, 3, 4), 1000, 10.00);
        // bcash 10000.0 + 5.00; scash 10500.0 - 5.00 (3.15 raised) - 10.50 stamp duty = 10484.50
        r2 = Record(QStringLiteral("000001"), Day(2024, 3, 5), 500, 20.00, Day(2024, 3, 7), 21.00);
        // bcash 15000.0 + 5.00 (4.50 raised)
        r3 = Record(QStringLiteral("000002"), Day(2024, 3, 4), 300, 50.00);
        // bcash 20100.0 + 6.03; scash 20800.0 - 6.24 - 20.80 = 20772.96
        r4 = Record(QStringLiteral("600000"), Day(2024, 3, 6), 2000, 10.05, Day(2024, 3, 8), 10.40);
    }
    // The rows of the week book from the initial capital of 200000:
    // cash   4th -10005.00 -15005.00; 5th -10005.00; 6th -20106.03; 7th +10484.50; 8th +20772.96
    // 600000 1000 × 10.10, 1000 × 10.20, 3000 × 10.05, 3000 × 10.30, 1000 × 10.40
    // 000001 -, 500 × 20.10, 500 × 20.50 (sold on the 7th)
    // 000002 300 × 50.20, 300 × 50.80, 300 × 50.80 (suspended), 300 × 51.30, 300 × 51.10
    const std::vector<Row> weekRows = {
        {"2024-03-04", 174990.00, 25160.00, 200150.00}, {"2024-03-05", 164985.00, 35490.00, 200475.00},
        {"2024-03-06", 144878.97, 55640.00, 200518.97}, {"2024-03-07", 155363.47, 46290.00, 201653.47},
        {"2024-03-08", 176136.43, 25730.00, 201866.43},
    };

    FakeServices services;
    RecordingIndicator indicator;
    int r1 = 0, r2 = 0, r3 = 0, r4 = 0;
};

TEST_F(DeelResTest, WeekOfThreeStocksFromTheFirstBuy)
{
    WeekBook();
    EXPECT_DOUBLE_EQ(Field(r1, "bcash"), 10005.00);
    EXPECT_DOUBLE_EQ(Field(r2, "scash"), 10484.50);
    EXPECT_DOUBLE_EQ(Field(r3, "bcash"), 15005.00);
    EXPECT_DOUBLE_EQ(Field(r4, "bcash"), 20106.03);
    EXPECT_DOUBLE_EQ(Field(r4, "scash"), 20772.96);

    SetIndicatorView(&indicator);
    RecalcDeelRes(kEmptyDate, true);
    ExpectRows(weekRows);

    EXPECT_EQ(indicator.messages,
              QStringList({QStringLiteral("正在重新统计资产......"), QStringLiteral("正在重新计算股票市值/资产表......")}));
    EXPECT_EQ(indicator.barMax, 4);  // three stocks and the cash
    EXPECT_EQ(indicator.barValue, 4);
    EXPECT_TRUE(indicator.busyWhileShown);
    EXPECT_EQ(indicator.hides, 1);
    EXPECT_FALSE(IndicatorShown());
    EXPECT_EQ(StatusText(), QString()) << "the saving's text ends with it";
    EXPECT_FALSE(IsBusy());
    EXPECT_TRUE(services.Requests().empty());
    EXPECT_EQ(LogEntryCount(), 0);

    // Again from the first buy: the same rows, not a second set.
    RecalcDeelRes(kEmptyDate, false);
    ExpectRows(weekRows);
}

TEST_F(DeelResTest, FromAMiddleDayTheEarlierRowsStay)
{
    WeekBook();
    RecalcDeelRes(kEmptyDate, false);
    // Rows before the range are not recomputed: their values, changed here, stay as they are, and
    // the cash goes on from the row of the 5th.
    Exec(QStringLiteral("UPDATE DeelRes SET scash=1,sm=2 WHERE dat=#2024-03-04#"));
    Exec(QStringLiteral("UPDATE DeelRes SET cash=100000,scash=3,sm=4 WHERE dat=#2024-03-05#"));
    EXPECT_DOUBLE_EQ(GetCashBefore(Day(2024, 3, 1)), 200000);  // before the first row: the initial capital
    EXPECT_DOUBLE_EQ(GetCashBefore(Day(2024, 3, 5)), 100000);

    // 000001 was bought on the 5th, before the range, and is sold on the 7th inside it: held on the
    // 6th only. 600000's second lot is bought on the first day of the range.
    RecalcDeelRes(Day(2024, 3, 6), false);
    ExpectRows({
        {"2024-03-04", 174990.00, 1, 2},
        {"2024-03-05", 100000.00, 3, 4},
        {"2024-03-06", 79893.97, 55640.00, 135533.97},
        {"2024-03-07", 90378.47, 46290.00, 136668.47},
        {"2024-03-08", 111151.43, 25730.00, 136881.43},
    });
    EXPECT_DOUBLE_EQ(GetCashBefore(Day(2024, 3, 9)), 111151.43);
}

TEST_F(DeelResTest, StartAfterTheNewestRowMovesBackToIt)
{
    WeekBook();
    RecalcDeelRes(kEmptyDate, false);
    Exec(QStringLiteral("DELETE FROM DeelRes WHERE dat>#2024-03-05#"));
    Exec(QStringLiteral("UPDATE DeelRes SET cash=1000 WHERE dat=#2024-03-04#"));
    RecalcDeelRes(Day(2024, 3, 8), false);  // from the 5th, the newest stored row
    ExpectRows({
        {"2024-03-04", 1000.00, 25160.00, 200150.00},
        {"2024-03-05", -9005.00, 35490.00, 26485.00},
        {"2024-03-06", -29111.03, 55640.00, 26528.97},
        {"2024-03-07", -18626.53, 46290.00, 27663.47},
        {"2024-03-08", 2146.43, 25730.00, 27876.43},
    });
}

TEST_F(DeelResTest, TodayIsValuedAtTheLivePriceOrTheNewestClose)
{
    WeekBook();
    Exec(QStringLiteral("DELETE FROM account WHERE id IN(%1,%2)").arg(r2).arg(r4));
    services.SetQuote(QStringLiteral("sh000001"),
                      FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 2990, 3010, 3020, 2980, "2024-03-11"));
    services.SetQuote(QStringLiteral("sh600000"),
                      FakeServices::QuoteFields(QStringLiteral("浦发银行"), 10.45, 10.40, 10.55, 10.60, 10.40,
                                                "2024-03-11"));
    // 000002 has not traded today: price 0.
    services.SetQuote(QStringLiteral("sz000002"),
                      FakeServices::QuoteFields(QStringLiteral("万科A"), 0, 51.10, 0, 0, 0, "2024-03-11"));

    // Monday the 11th, trading, not downloaded yet; also in New York's evening before (22:00 on the
    // 10th there, summer time, is 10:00 on the 11th in China): today is the market's day.
    for (const QDateTime &now : {QDateTime(QDate(2024, 3, 11), QTime(14, 0), QTimeZone(kMarketUtcOffsetSeconds)),
                                 QDateTime(QDate(2024, 3, 10), QTime(22, 0), QTimeZone(-4 * 3600))}) {
        SCOPED_TRACE(now.toString(Qt::ISODate).toStdString());
        SetClock([now] { return now; });
        ResetCalendar();
        ResetQuoteCache();
        RecalcDeelRes(kEmptyDate, true);
        // 600000: 1000 × the day's close, today 1000 × 10.55; 000002: 300 × the close, today 300 × 51.10.
        ExpectRows({
            {"2024-03-04", 174990.00, 25160.00, 200150.00},
            {"2024-03-05", 174990.00, 25440.00, 200430.00},
            {"2024-03-06", 174990.00, 25290.00, 200280.00},
            {"2024-03-07", 174990.00, 25690.00, 200680.00},
            {"2024-03-08", 174990.00, 25730.00, 200720.00},
            {"2024-03-11", 174990.00, 25880.00, 200870.00},
        });
    }
}

TEST_F(DeelResTest, EmptyBookOnADayWithoutTradingWritesNothing)
{
    Calendar({Day(2024, 3, 7), Day(2024, 3, 8)});
    SetIndicatorView(&indicator);
    RecalcDeelRes(kEmptyDate, true);
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(indicator.messages, QStringList{QStringLiteral("正在重新统计资产......")});
    EXPECT_EQ(indicator.hides, 1);
    EXPECT_FALSE(IndicatorShown());
    EXPECT_FALSE(IsBusy());
    EXPECT_TRUE(services.Requests().empty());
    EXPECT_EQ(LogEntryCount(), 0);
}

TEST_F(DeelResTest, TradesOnDaysWithoutTradingCountOnTheNextTradingDay)
{
    // Wednesday the 6th is a holiday; the 2nd and 3rd are a weekend.
    Calendar({Day(2024, 3, 1), Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 7), Day(2024, 3, 8)});
    Prices(QStringLiteral("000001"), {{Day(2024, 3, 1), 19.50},
                                      {Day(2024, 3, 4), 19.80},
                                      {Day(2024, 3, 5), 20.10},
                                      {Day(2024, 3, 7), 21.20},
                                      {Day(2024, 3, 8), 21.00}});
    // Bought on Saturday, sold on the holiday: bcash 19600.0 + 5.88; scash 20800.0 - 6.24 - 20.80.
    const int weekend = Record(QStringLiteral("000001"), Day(2024, 3, 2), 1000, 19.60, Day(2024, 3, 6), 20.80);
    EXPECT_DOUBLE_EQ(Field(weekend, "bcash"), 19605.88);
    EXPECT_DOUBLE_EQ(Field(weekend, "scash"), 20772.96);
    RecalcDeelRes(kEmptyDate, false);
    // Paid and held from Monday the 4th; held up to the 5th, paid out on the 7th.
    const std::vector<Row> before = {
        {"2024-03-04", 180394.12, 19800.00, 200194.12},
        {"2024-03-05", 180394.12, 20100.00, 200494.12},
        {"2024-03-07", 201167.08, 0, 201167.08},
        {"2024-03-08", 201167.08, 0, 201167.08},
    };
    ExpectRows(before);

    // A buy on the holiday, added later and recomputed from its date: the range starts on the 7th,
    // after the buy, and the buy still counts there. bcash 10250.0 + 5.00 (3.08 raised).
    Record(QStringLiteral("000001"), Day(2024, 3, 6), 500, 20.50);
    RecalcDeelRes(Day(2024, 3, 6), false);
    const std::vector<Row> after = {
        before[0],
        before[1],
        {"2024-03-07", 190912.08, 10600.00, 201512.08},
        {"2024-03-08", 190912.08, 10500.00, 201412.08},
    };
    ExpectRows(after);
    RecalcDeelRes(kEmptyDate, false);
    ExpectRows(after);
}

TEST_F(DeelResTest, HistoryBeginningInsideTheRangeIsValuedFromItsFirstRow)
{
    At(QDate(2018, 1, 6));
    Calendar({Day(2017, 12, 27), Day(2017, 12, 28), Day(2017, 12, 29), Day(2018, 1, 2), Day(2018, 1, 3)});
    // Listed on the 28th: no close on the 27th.
    Prices(QStringLiteral("300750"), {{Day(2017, 12, 28), 12.3445},
                                      {Day(2017, 12, 29), 13.00},
                                      {Day(2018, 1, 2), 13.50},
                                      {Day(2018, 1, 3), 14.00}});
    Record(QStringLiteral("300750"), Day(2017, 12, 27), 10, 12.00);  // bcash 120.0 + 5.00
    RecalcDeelRes(kEmptyDate, false);
    // Without a close on the 27th the lot is worth its cost, 10 × 12.00; 10 × 12.3445 = 123.445: a
    // tie, rounded to the even cent.
    ExpectRows({
        {"2017-12-27", 199875.00, 120.00, 199995.00},
        {"2017-12-28", 199875.00, 123.44, 199998.44},
        {"2017-12-29", 199875.00, 130.00, 200005.00},
        {"2018-01-02", 199875.00, 135.00, 200010.00},
        {"2018-01-03", 199875.00, 140.00, 200015.00},
    });
}

// A stock with no price at all (no history the data service knows, no quote) is worth what its lots
// cost, bprice × num each, day by day: the book shows the fees as its only loss. Today's live price,
// once there is one, values it as it does any stock.
TEST_F(DeelResTest, StockWithoutAnyPriceIsWorthItsCost)
{
    At(QDate(2024, 3, 11), QTime(14, 0));
    Calendar({Day(2024, 3, 7), Day(2024, 3, 8), Day(2024, 3, 11)});
    // bcash 11200.0 + 5.00 (3.36 raised) and 10012.5 + 5.00 (3.00 raised)
    Record(QStringLiteral("000001"), Day(2024, 3, 7), 1000, 11.20);
    Record(QStringLiteral("000001"), Day(2024, 3, 8), 500, 20.025);
    // the data service knows no rows of it
    services.SetSqlAnswer(QStringLiteral("` WHERE `sid`="),
                          FakeServices::SqlRowsBody({"trdat", "opprice", "clprice", "mxprice", "mnprice", "num", "sm"},
                                                    {}));
    struct Case {
        const char *what;
        double livePrice;  // 0: no quote
        double today;      // the value of the 11th
    };
    const Case cases[] = {
        {"no quote", 0, 21212.50},
        {"a live price today", 12.00, 18000.00},
        {"a code no price table can be named after (an import's)", 0, 21212.50},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ResetQuoteCache();
        if (&c == &cases[2])
            Exec(QStringLiteral("UPDATE account SET code='00001'"));
        if (c.livePrice > 0)
            services.SetQuote(QStringLiteral("sz000001"),
                              FakeServices::QuoteFields(QStringLiteral("平安银行"), c.livePrice, 11, c.livePrice,
                                                        c.livePrice, c.livePrice, "2024-03-11"));
        RecalcDeelRes(kEmptyDate, false);
        // 11200.00 + 10012.50 on the 8th (a cost with half a cent, rounded to the even cent).
        ExpectRows({
            {"2024-03-07", 188795.00, 11200.00, 199995.00},
            {"2024-03-08", 178777.50, 21212.50, 199990.00},
            {"2024-03-11", 178777.50, c.today, 178777.50 + c.today},
        });
    }
    Exec(QStringLiteral("UPDATE account SET code='000001'"));
    // The steps on their own: the value at cost, as the records count the shares.
    const std::vector<double> days = {kEmptyDate, Day(2024, 3, 7), Day(2024, 3, 8)};
    const std::vector<double> held = CalcHoldingsByDay(QStringLiteral("000001"), days);
    EXPECT_EQ(held, (std::vector<double>{0, 1000, 1500}));
    EXPECT_EQ(CalcMarketValueByDay(QStringLiteral("000001"), days, held, 0), (std::vector<double>{0, 11200.00, 21212.50}));
}

TEST_F(DeelResTest, MissingPriceTableIsDownloadedFirst)
{
    Calendar({Day(2024, 3, 1), Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 6), Day(2024, 3, 7), Day(2024, 3, 8)});
    Record(QStringLiteral("000009"), Day(2024, 3, 5), 1000, 8.00);  // bcash 8000.0 + 5.00 (2.40 raised)
    // 000009 is stock 6 of the data service; no trading on the 6th.
    services.SetSqlAnswer(QStringLiteral("sp_2024_00` WHERE `sid`=6 "),
                          FakeServices::SqlRowsBody({"trdat", "opprice", "clprice", "mxprice", "mnprice", "num", "sm"},
                                                    {{"2024-03-04", "7.9", "7.9", "7.9", "7.9", "1", "1"},
                                                     {"2024-03-05", "8.1", "8.1", "8.1", "8.1", "1", "1"},
                                                     {"2024-03-07", "8.3", "8.3", "8.3", "8.3", "1", "1"},
                                                     {"2024-03-08", "8.2", "8.2", "8.2", "8.2", "1", "1"}}));
    // the other years the download asks for hold no rows of it
    services.SetSqlAnswer(QStringLiteral("` WHERE `sid`=6 "),
                          FakeServices::SqlRowsBody({"trdat", "opprice", "clprice", "mxprice", "mnprice", "num", "sm"}, {}));
    RecalcDeelRes(kEmptyDate, false);
    ExpectRows({
        {"2024-03-05", 191995.00, 8100.00, 200095.00},
        {"2024-03-06", 191995.00, 8100.00, 200095.00},
        {"2024-03-07", 191995.00, 8300.00, 200295.00},
        {"2024-03-08", 191995.00, 8200.00, 200195.00},
    });
    EXPECT_TRUE(TableExists(QStringLiteral("H_000009")));

    // Two more stocks without tables while the data service keeps the queries waiting: the user closes
    // the progress window on the first, which ends the asking, as each query after it would wait a
    // second and show the window again. Both are worth their cost meanwhile.
    Record(QStringLiteral("000021"), Day(2024, 3, 7), 100, 10.00);
    Record(QStringLiteral("000027"), Day(2024, 3, 7), 100, 10.00);
    services.ClearRequests();
    services.AddFault(QString(), FakeFault{FakeFault::None, 60000}, 10);
    SetHttpWaitHook([](const HttpWait &wait) {
        if (wait.waitedMs > 1000 && !wait.finished)
            SetIndicatorShown(false);
    });
    RecalcDeelRes(kEmptyDate, false);
    SetHttpWaitHook(nullptr);
    services.ReleaseDelayedAnswers();
    EXPECT_EQ(services.Requests().size(), 1u);
    EXPECT_FALSE(TableExists(QStringLiteral("H_000027")));
}

TEST_F(DeelResTest, FailedWriteLeavesTheTableAsItWas)
{
    WeekBook();
    RecalcDeelRes(kEmptyDate, false);
    {
        DbConnection conn;
        ASSERT_TRUE(conn.Open(PathOf(QStringLiteral("ACC.MDB"))));
        ASSERT_TRUE(conn.ExecuteNative(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON DeelRes WHEN NEW.dat=%1 "
                                                      "BEGIN SELECT RAISE(ABORT,'disk full'); END")
                                           .arg(Day(2024, 3, 7))));
    }
    Exec(QStringLiteral("DELETE FROM account WHERE id=%1").arg(r2));
    RecalcDeelRes(Day(2024, 3, 6), false);
    ExpectRows(weekRows);
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("disk full")));
}

TEST_F(DeelResTest, SecondRecalcWhileOneRunsIsFoldedIntoIt)
{
    WeekBook();
    RecalcDeelRes(kEmptyDate, false);
    // While the rows are about to be saved, the status line lets events through, and a record saved
    // in another window asks for a recomputation from its buy day.
    int nested = 0;
    bool busyInside = false;
    SetStatusHook([&](const QString &text) {
        if (text.isEmpty() || nested++ > 0)  // the empty text ends a saving
            return;
        QTimer::singleShot(0, [&] {
            busyInside = IsBusy();
            // bcash 10300.0 + 5.00 (3.09 raised)
            Record(QStringLiteral("600000"), Day(2024, 3, 7), 1000, 10.30);
            RecalcDeelRes(Day(2024, 3, 7), true);
            EXPECT_EQ(Rows().size(), weekRows.size());  // returned without writing
        });
    });
    RecalcDeelRes(Day(2024, 3, 6), true);
    EXPECT_EQ(nested, 2);  // the running one went again
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(IsBusy());
    ExpectRows({
        weekRows[0],
        weekRows[1],
        weekRows[2],
        {"2024-03-07", 145058.47, 56590.00, 201648.47},
        {"2024-03-08", 165831.43, 36130.00, 201961.43},
    });
}

TEST_F(DeelResTest, QuotesAreNotAskedForAgainAfterTodaysRefreshFailed)
{
    // The quote service answers nothing. The quote list was rebuilt today and its refresh failed: the
    // recomputation that follows at start-up must not make the user wait for a second one. A list
    // stamped before today is refreshed.
    WeekBook();
    At(QDate(2024, 3, 11), QTime(14, 0));
    services.AddFault(QStringLiteral("/hq/"), FakeFault{FakeFault::Status500}, 100);
    ASSERT_TRUE(IsTradeDay(kEmptyDate, QStringLiteral("1A0001")));  // decided: a weekday without an answer
    struct Case {
        const char *what;
        double stamp;  // QuoteListDate before the recomputation; 0: rebuilt now
        size_t requests;
        bool newYork = false;  // 22:00 on the 10th in New York (summer time): 10:00 on the 11th in China
    };
    const Case cases[] = {
        {"rebuilt today", 0, 0},
        {"refreshed yesterday", Day(2024, 3, 8) + 0.6, 1},
        {"never built", -1, 1},
        {"rebuilt today, New York's evening before", 0, 0, true},
    };
    for (const Case &c : cases) {
        if (c.newYork)
            SetClock([] { return QDateTime(QDate(2024, 3, 10), QTime(22, 0), QTimeZone(-4 * 3600)); });
        if (c.stamp == 0) {
            RebuildQuoteList();
            ASSERT_EQ(QuoteListDate(), Day(2024, 3, 11)) << c.what;
        } else {
            Quotes().listDate = c.stamp < 0 ? 0 : c.stamp;
        }
        services.ClearRequests();
        RecalcDeelRes(kEmptyDate, false);
        EXPECT_EQ(services.Requests().size(), c.requests) << c.what;
        EXPECT_EQ(Rows().back().dat, QStringLiteral("2024-03-11")) << c.what;
    }
}

TEST_F(DeelResTest, StepsOnTheirOwn)
{
    WeekBook();
    const std::vector<double> days = {kEmptyDate, Day(2024, 3, 5), Day(2024, 3, 6), Day(2024, 3, 7), Day(2024, 3, 8)};
    EXPECT_EQ(CalcHoldingsByDay(QStringLiteral("600000"), days), (std::vector<double>{0, 1000, 3000, 3000, 1000}));
    EXPECT_EQ(CalcHoldingsByDay(QStringLiteral("000001"), days), (std::vector<double>{0, 500, 500, 0, 0}));
    EXPECT_EQ(CalcHoldingsByDay(QStringLiteral("000009"), days), (std::vector<double>{0, 0, 0, 0, 0}));
    const std::vector<double> held = {0, 0, 300, 300, 0};
    EXPECT_EQ(CalcMarketValueByDay(QStringLiteral("000002"), days, held, 0),
              (std::vector<double>{0, 0, 15240.00, 15390.00, 0}));
    // The cash counts the trades from the first day on: R2's buy on the 5th, not R1's and R3's.
    double cash = 1000;
    EXPECT_EQ(CalcCashByDay(cash, days), (std::vector<double>{0, -9005.00, -29111.03, -18626.53, 2146.43}));
    EXPECT_NEAR(cash, 2146.43, 1e-9);
}

}  // namespace

// A stock whose prices cannot be read (a damaged page in its table) ends the recomputation: its value
// is not taken as 0, and the rows stay as they were.
TEST_F(DeelResTest, DamagedPriceTableLeavesTheRowsAsTheyWere)
{
    WeekBook();
    RecalcDeelRes(kEmptyDate, false);
    Exec(QStringLiteral("DELETE FROM account WHERE id=%1").arg(r2));  // a recomputation would change the rows
    const int root = static_cast<int>(GetFieldValue(QStringLiteral("sqlite_master"), QStringLiteral("name='H_600000'"),
                                                    QStringLiteral("rootpage"), MakeLong(0))
                                          .ToDouble());
    ASSERT_GT(root, 1);
    {
        // Every connection is closed, so the table's pages are in the file itself; the idle one is
        // let go, as around every change made to the file from outside the database layer.
        IdleConnectionPause pause;
        QFile file(PathOf(QStringLiteral("ACC.MDB")));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QByteArray header = file.read(18);
        const int pageSize = (static_cast<uchar>(header[16]) << 8) | static_cast<uchar>(header[17]);
        ASSERT_GE(pageSize, 512);
        ASSERT_TRUE(file.seek(static_cast<qint64>(root - 1) * pageSize));
        file.write(QByteArray(pageSize, '\xa5'));
    }
    RecalcDeelRes(Day(2024, 3, 6), false);
    ExpectRows(weekRows);
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("FROM \"H_600000\""))) << LogText().toStdString();
}

// Share counts near the 64-bit limit are summed without overflow; a record whose num or prices are
// no finite numbers counts nowhere (neither in the holdings nor in the cash) and is logged once.
TEST_F(DeelResTest, HugeAndNonFiniteRecords)
{
    Calendar({Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 6)});
    Prices(QStringLiteral("600000"), {{Day(2024, 3, 4), 10.00}, {Day(2024, 3, 5), 10.50}, {Day(2024, 3, 6), 11.00}});
    const QString insert = QStringLiteral(
        "INSERT INTO account(id,code,sname,bdate,bprice,num,tnum,sdate,sprice,bcash,scash) "
        "VALUES(%1,'600000','x',%2,%3,%4,%4,%5,%6,%7,%8)");
    struct Rec {
        int id;
        const char *num, *bprice, *sprice, *bcash, *scash;
        bool sold;  // on the 5th
    };
    const std::vector<Rec> records = {
        {1, "9000000000000000000", "10", "0", "1000", "0", false},  // counts
        {2, "9000000000000000000", "10", "0", "1000", "0", false},  // counts
        {3, "1e999", "10", "0", "500", "0", false},                 // num infinite
        {4, "-1e999", "10", "0", "500", "0", false},                // num infinite
        {5, "1e30", "10", "0", "500", "0", false},                  // num beyond the whole numbers
        {6, "100", "1e999", "0", "700", "0", false},                // buy price infinite
        {7, "100", "10", "0", "-1e999", "0", false},                // buy amount infinite
        {8, "100", "10", "1e999", "1000", "900", true},             // sell price infinite
        {9, "100", "10", "11", "1000", "1e999", true},              // sell amount infinite
    };
    {
        DbConnection conn;
        ASSERT_TRUE(conn.Open(PathOf(QStringLiteral("ACC.MDB"))));
        for (const Rec &r : records)
            ASSERT_TRUE(conn.ExecuteNative(insert.arg(r.id)
                                               .arg(Day(2024, 3, 4))
                                               .arg(QLatin1String(r.bprice), QLatin1String(r.num))
                                               .arg(r.sold ? Day(2024, 3, 5) : kEmptyDate)
                                               .arg(QLatin1String(r.sprice), QLatin1String(r.bcash),
                                                    QLatin1String(r.scash))))
                << r.id;
    }
    const std::vector<double> days = {kEmptyDate, Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 6)};
    EXPECT_EQ(CalcHoldingsByDay(QStringLiteral("600000"), days), (std::vector<double>{0, 1.8e19, 1.8e19, 1.8e19}));
    double cash = 0;
    EXPECT_EQ(CalcCashByDay(cash, days), (std::vector<double>{0, -2000, -2000, -2000}));

    const int logged = LogEntryCount();
    EXPECT_EQ(logged, 7 + 7);  // each procedure on its own logs every one it leaves out
    for (int id = 3; id <= 9; ++id)
        EXPECT_TRUE(LogText().contains(QStringLiteral("record id=%1 left out").arg(id))) << id;

    RecalcDeelRes(kEmptyDate, false);
    EXPECT_EQ(LogEntryCount(), logged + 7);  // once each in one recomputation
    const std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    const double closes[] = {10.00, 10.50, 11.00};
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(rows[i].cash, 198000);
        EXPECT_DOUBLE_EQ(rows[i].scash, 1.8e19 * closes[i]);
        EXPECT_DOUBLE_EQ(rows[i].sm, 1.8e19 * closes[i] + 198000);
    }
}
