// The trading calendar: trading hours, today decided from the index quote, past days from the price
// tables, and the day list of the asset table, against the fake quote service.
#include <gtest/gtest.h>

#include <QTimeZone>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"

namespace {

double Day(int y, int m, int d)
{
    return DayNumberOf(y, m, d);
}

QString Lit(double day)
{
    return QStringLiteral("#") + DateText(day) + QStringLiteral("#");
}

class CalendarTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ResetCalendar();
        ResetQuoteCache();
        services.Install();
    }
    void TearDown() override
    {
        ResetCalendar();
        ResetQuoteCache();
        DbFixture::TearDown();
    }
    // The clock at a time of the market's day (China Standard Time).
    void At(const QDate &d, const QTime &t = QTime(10, 0))
    {
        AtInstant(QDateTime(d, t, QTimeZone(kMarketUtcOffsetSeconds)));
    }
    void AtInstant(const QDateTime &now)
    {
        SetClock([now] { return now; });
    }
    // The index quote carries this date (the last trading day as the service sees it).
    void IndexQuoteDated(const QString &date)
    {
        services.SetQuote(QStringLiteral("sh000001"),
                          FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 2990, 3010, 3020, 2980, date));
    }
    void History(const QString &code, const std::vector<double> &days)
    {
        ASSERT_TRUE(EnsureHistoryTable(code));
        for (double d : days)
            Exec(QStringLiteral("INSERT INTO H_%1(trdat,clprice) VALUES(%2,10)").arg(code, Lit(d)));
    }
    std::vector<QStringList> QuoteRequests() const
    {
        std::vector<QStringList> symbols;
        for (const FakeRequest &r : services.Requests())
            if (r.path.rfind("/hq/", 0) == 0)
                symbols.push_back(r.symbols);
        return symbols;
    }
    bool Today() const { return IsTradeDay(kEmptyDate, QStringLiteral("1A0001")); }

    FakeServices services;
};

TEST_F(CalendarTest, TradingTimeWindowOnATradingDay)
{
    IndexQuoteDated(QStringLiteral("2024-03-08"));
    struct Case {
        QTime time;
        bool lunchBreak;
        bool open;
    };
    const Case cases[] = {
        {QTime(9, 19, 59), false, false}, {QTime(9, 19, 59), true, false}, {QTime(9, 20), false, true},
        {QTime(9, 20), true, true},       {QTime(11, 31), true, true},      {QTime(11, 31, 1), true, false},
        {QTime(11, 32), true, false},     {QTime(11, 32), false, true},     {QTime(12, 59, 59), true, false},
        {QTime(13, 0), true, true},       {QTime(15, 1), false, true},      {QTime(15, 1), true, true},
        {QTime(15, 1, 1), false, false},  {QTime(15, 2), false, false},     {QTime(23, 59), false, false},
        {QTime(0, 0), false, false},
    };
    for (const Case &c : cases) {
        At(QDate(2024, 3, 8), c.time);  // a Friday
        EXPECT_EQ(IsTradingTime(c.lunchBreak), c.open)
            << c.time.toString().toStdString() << (c.lunchBreak ? " with" : " without") << " the lunch break";
    }
    // The day is decided by the first question and answered from memory afterwards.
    EXPECT_EQ(QuoteRequests(), std::vector<QStringList>{{"sh000001"}});
    EXPECT_EQ(TodayTradeFlag(), 1);
}

TEST_F(CalendarTest, MarketHoursAndTodayAreChinaStandardTimeWhateverTheClocksZone)
{
    // The clock's instant, given in other zones; the market's Friday 8 March 2024 is a trading day,
    // stored up to the day before.
    IndexQuoteDated(QStringLiteral("2024-03-08"));
    History(QStringLiteral("1A0001"), {Day(2024, 3, 6), Day(2024, 3, 7)});
    const QTimeZone utc(0), newYork(-5 * 3600), berlin(3600);
    struct Case {
        QDateTime instant;
        bool lunchBreak;
        bool open;
        double today;  // the market's day: the last day of GetTradeDates
    };
    const Case cases[] = {
        {QDateTime(QDate(2024, 3, 8), QTime(1, 19, 59), utc), false, false, Day(2024, 3, 8)},  // 09:19:59
        {QDateTime(QDate(2024, 3, 8), QTime(1, 20), utc), false, true, Day(2024, 3, 8)},       // 09:20
        {QDateTime(QDate(2024, 3, 7), QTime(20, 20), newYork), false, true, Day(2024, 3, 8)},  // 09:20
        {QDateTime(QDate(2024, 3, 7), QTime(17, 0), utc), false, false, Day(2024, 3, 8)},      // 01:00
        {QDateTime(QDate(2024, 3, 8), QTime(4, 31, 30), berlin), true, false, Day(2024, 3, 8)},  // 11:31:30
        {QDateTime(QDate(2024, 3, 8), QTime(4, 31, 30), berlin), false, true, Day(2024, 3, 8)},
        {QDateTime(QDate(2024, 3, 8), QTime(7, 1), utc), false, true, Day(2024, 3, 8)},       // 15:01
        {QDateTime(QDate(2024, 3, 8), QTime(7, 1, 1), utc), false, false, Day(2024, 3, 8)},   // 15:01:01
        {QDateTime(QDate(2024, 3, 8), QTime(2, 0), newYork), false, true, Day(2024, 3, 8)},   // 15:00
        {QDateTime(QDate(2024, 3, 8), QTime(16, 0), utc), false, false, Day(2024, 3, 7)},     // Saturday 00:00
        {QDateTime(QDate(2024, 3, 9), QTime(1, 30), utc), false, false, Day(2024, 3, 7)},     // Saturday 09:30
    };
    for (const Case &c : cases) {
        const std::string what = c.instant.toString(Qt::ISODate).toStdString();
        ResetCalendar();
        AtInstant(c.instant);
        EXPECT_EQ(IsTradingTime(c.lunchBreak), c.open) << what;
        EXPECT_EQ(GetTradeDates(Day(2024, 3, 1)).back(), c.today) << what;
    }
}

TEST_F(CalendarTest, NoBeforeHalfPastNineIsAskedAgain)
{
    // Before the opening the index quote still carries the last trading day, on a trading day too.
    struct Step {
        QDate day;
        QTime time;
        const char *quoteDate;
        bool today;
        int flag;
        size_t requests;  // in all
    };
    const Step steps[] = {
        {QDate(2024, 3, 11), QTime(9, 0), "2024-03-08", false, 0, 1},  // a Monday
        {QDate(2024, 3, 11), QTime(9, 15), "2024-03-08", false, 0, 2},
        {QDate(2024, 3, 11), QTime(9, 25), "2024-03-11", true, 1, 3},
        {QDate(2024, 3, 11), QTime(9, 40), "2024-03-08", true, 1, 3},  // a yes is kept
        {QDate(2024, 4, 4), QTime(9, 29, 59), "2024-04-03", false, 0, 4},  // a holiday Thursday
        {QDate(2024, 4, 4), QTime(9, 30), "2024-04-03", false, -1, 5},     // kept from now on
        {QDate(2024, 4, 4), QTime(10, 0), "2024-04-04", false, -1, 5},
        {QDate(2024, 4, 6), QTime(8, 0), "2024-04-03", false, -1, 5},      // Saturday: no request
    };
    for (const Step &s : steps) {
        const std::string what = QDateTime(s.day, s.time).toString(Qt::ISODate).toStdString();
        At(s.day, s.time);
        IndexQuoteDated(QString::fromLatin1(s.quoteDate));
        EXPECT_EQ(Today(), s.today) << what;
        EXPECT_EQ(TodayTradeFlag(), s.flag) << what;
        EXPECT_EQ(QuoteRequests().size(), s.requests) << what;
    }
}

TEST_F(CalendarTest, RowsAfterTodayAreNoTradingDays)
{
    // A far-future row and one for tomorrow, stored by a service's error.
    At(QDate(2024, 3, 11));
    IndexQuoteDated(QStringLiteral("2024-03-11"));
    History(QStringLiteral("1A0001"), {Day(2024, 3, 7), Day(2024, 3, 8), Day(2024, 3, 12), Day(2099, 6, 1)});
    History(QStringLiteral("600000"), {Day(2024, 3, 8), Day(2024, 3, 12)});
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 7)),
              (std::vector<double>{kEmptyDate, Day(2024, 3, 7), Day(2024, 3, 8), Day(2024, 3, 11)}));
    EXPECT_TRUE(IsTradeDay(Day(2024, 3, 8), QStringLiteral("600000")));
    EXPECT_FALSE(IsTradeDay(Day(2024, 3, 12), QStringLiteral("600000")));
    EXPECT_FALSE(IsTradeDay(Day(2099, 6, 1), QStringLiteral("1A0001")));
}

TEST_F(CalendarTest, WeekendIsClosedWithoutAskingTheService)
{
    IndexQuoteDated(QStringLiteral("2024-03-09"));  // even a quote dated today must not be asked for
    for (const QDate &d : {QDate(2024, 3, 9), QDate(2024, 3, 10)}) {
        At(d);
        EXPECT_EQ(TodayTradeFlag(), 0);
        EXPECT_FALSE(Today());
        EXPECT_FALSE(IsTradeDay(DayNumberOf(d), QStringLiteral("600000")));  // today's date asks about today
        EXPECT_FALSE(IsTradingTime(false));
        EXPECT_EQ(TodayTradeFlag(), -1);
    }
    EXPECT_TRUE(QuoteRequests().empty());
}

TEST_F(CalendarTest, WeekdayHolidayIsToldByTheQuoteDate)
{
    At(QDate(2024, 4, 4));  // a Thursday on which the exchanges are closed
    IndexQuoteDated(QStringLiteral("2024-04-03"));
    EXPECT_FALSE(Today());
    EXPECT_EQ(TodayTradeFlag(), -1);
    EXPECT_FALSE(IsTradingTime(true));
    EXPECT_EQ(QuoteRequests().size(), 1u);
}

TEST_F(CalendarTest, TodayIsDecidedByTheIndexWhicheverStockAsks)
{
    At(QDate(2024, 3, 8));
    IndexQuoteDated(QStringLiteral("2024-03-08"));
    // A suspended stock's quote still carries its last trading day.
    services.SetQuote(QStringLiteral("sz000001"), FakeServices::QuoteFields(QStringLiteral("平安银行"), 0, 10, 0, 0, 0,
                                                                            QStringLiteral("2024-03-07")));
    EXPECT_TRUE(IsTradeDay(Day(2024, 3, 8), QStringLiteral("000001")));
    EXPECT_TRUE(Today());
    EXPECT_EQ(QuoteRequests(), std::vector<QStringList>{{"sh000001"}});
}

TEST_F(CalendarTest, UnansweredQuoteCountsAWeekdayAsTradingDay)
{
    // The request fails.
    At(QDate(2024, 3, 11));
    services.FailQuoteRequest(1);
    EXPECT_TRUE(Today());
    EXPECT_EQ(TodayTradeFlag(), 1);
    // The service answers with an empty quote: no date to compare.
    At(QDate(2024, 3, 12));
    EXPECT_TRUE(Today());
    // A quote of fewer than 31 fields.
    At(QDate(2024, 3, 13));
    services.SetQuote(QStringLiteral("sh000001"), {"上证指数", "3000", "2990", "3010"});
    EXPECT_TRUE(Today());
    // A quote dated after today.
    At(QDate(2024, 3, 14));
    IndexQuoteDated(QStringLiteral("2999-12-31"));
    EXPECT_TRUE(Today());
    EXPECT_EQ(QuoteRequests().size(), 4u);
}

TEST_F(CalendarTest, RunAcrossMidnightDecidesAgain)
{
    IndexQuoteDated(QStringLiteral("2024-03-08"));
    At(QDate(2024, 3, 8), QTime(23, 59, 59));
    EXPECT_TRUE(Today());
    At(QDate(2024, 3, 9), QTime(0, 0, 1));
    EXPECT_EQ(TodayTradeFlag(), 0);
    EXPECT_FALSE(Today());
    EXPECT_EQ(QuoteRequests().size(), 1u);  // Saturday: decided without a request

    At(QDate(2024, 3, 11), QTime(9, 30));
    EXPECT_FALSE(Today());  // the service still reports Friday: a holiday
    IndexQuoteDated(QStringLiteral("2024-03-11"));
    EXPECT_FALSE(Today());  // remembered for the rest of the day
    At(QDate(2024, 3, 12), QTime(9, 30));
    IndexQuoteDated(QStringLiteral("2024-03-12"));
    EXPECT_TRUE(Today());
    EXPECT_EQ(QuoteRequests().size(), 3u);
}

TEST_F(CalendarTest, PastDaysComeFromThePriceTable)
{
    At(QDate(2024, 3, 11));
    History(QStringLiteral("600000"), {Day(2024, 3, 6), Day(2024, 3, 8)});
    EXPECT_TRUE(IsTradeDay(Day(2024, 3, 6), QStringLiteral("600000")));
    EXPECT_TRUE(IsTradeDay(Day(2024, 3, 6) + 0.75, QStringLiteral(" 600000 ")));  // time and blanks ignored
    EXPECT_FALSE(IsTradeDay(Day(2024, 3, 7), QStringLiteral("600000")));         // suspended, or not downloaded
    EXPECT_EQ(LogEntryCount(), 0);
    EXPECT_FALSE(IsTradeDay(Day(2024, 3, 6), QStringLiteral("000002")));  // no price table at all
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_FALSE(IsTradeDay(Day(2024, 3, 6), QStringLiteral("60'000")));  // no table name can be made
    EXPECT_TRUE(QuoteRequests().empty());
}

TEST_F(CalendarTest, TradeDatesOfAnEmptyBook)
{
    At(QDate(2024, 3, 9));
    EXPECT_EQ(GetTradeDates(kEmptyDate), std::vector<double>{kEmptyDate});
    ResetCalendar();
    At(QDate(2024, 3, 8));
    IndexQuoteDated(QStringLiteral("2024-03-08"));
    EXPECT_EQ(GetTradeDates(kEmptyDate), (std::vector<double>{kEmptyDate, Day(2024, 3, 8)}));
}

TEST_F(CalendarTest, TradeDatesFromTheFirstBuy)
{
    At(QDate(2024, 3, 9));
    History(QStringLiteral("1A0001"), {Day(2024, 3, 8), Day(2024, 2, 29), Day(2024, 3, 1), Day(2024, 3, 4),
                                       Day(2024, 3, 5), Day(2024, 3, 6), Day(2024, 3, 7)});
    Exec(QStringLiteral("INSERT INTO account(code,bdate,bprice,num) VALUES('600000',#2024-03-06#,10,100)"));
    Exec(QStringLiteral("INSERT INTO account(code,bdate,bprice,num) VALUES('600000',#2024-03-03#,10,100)"));
    // Sunday 3 March: the first trading day after it.
    EXPECT_EQ(GetTradeDates(kEmptyDate), (std::vector<double>{kEmptyDate, Day(2024, 3, 4), Day(2024, 3, 5),
                                                              Day(2024, 3, 6), Day(2024, 3, 7), Day(2024, 3, 8)}));
}

TEST_F(CalendarTest, TradeDatesStartNoLaterThanTheNewestStoredRow)
{
    At(QDate(2024, 3, 9));
    History(QStringLiteral("1A0001"),
            {Day(2024, 3, 1), Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 6), Day(2024, 3, 7), Day(2024, 3, 8)});
    const std::vector<double> fromFifth = {kEmptyDate, Day(2024, 3, 5), Day(2024, 3, 6), Day(2024, 3, 7),
                                           Day(2024, 3, 8)};
    // No stored row: the default is today, which is later than the start.
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 5)), fromFifth);
    Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash) VALUES(#2024-03-04#,1)"));
    Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash) VALUES(#2024-03-05#,1)"));
    // Stored up to three days before the start: the start moves back to that row's day.
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 8)), fromFifth);
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 6)), fromFifth);
    // A start before the newest row stays.
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 4)),
              (std::vector<double>{kEmptyDate, Day(2024, 3, 4), Day(2024, 3, 5), Day(2024, 3, 6), Day(2024, 3, 7),
                                   Day(2024, 3, 8)}));
    EXPECT_TRUE(QuoteRequests().empty());
}

TEST_F(CalendarTest, TodayIsAppendedOnlyOnATradingDay)
{
    History(QStringLiteral("1A0001"), {Day(2024, 3, 7), Day(2024, 3, 8)});
    const std::vector<double> stored = {kEmptyDate, Day(2024, 3, 7), Day(2024, 3, 8)};

    At(QDate(2024, 3, 11), QTime(10, 0));
    IndexQuoteDated(QStringLiteral("2024-03-11"));
    std::vector<double> withToday = stored;
    withToday.push_back(Day(2024, 3, 11));
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 7)), withToday);

    ResetCalendar();
    IndexQuoteDated(QStringLiteral("2024-03-08"));  // a holiday Monday
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 7)), stored);

    // Today already downloaded (after the close): not twice, and not asked about.
    ResetCalendar();
    services.ClearRequests();
    History(QStringLiteral("1A0001"), {Day(2024, 3, 11)});
    EXPECT_EQ(GetTradeDates(Day(2024, 3, 7)), withToday);
    EXPECT_TRUE(QuoteRequests().empty());
}

TEST_F(CalendarTest, LastQuoteDateIsOnlyRaised)
{
    At(QDate(2024, 3, 11));
    services.FailQuoteRequest(1);
    EXPECT_EQ(GetLastQuoteDate(), 0.0);  // unknown until the service answers
    IndexQuoteDated(QStringLiteral("2024-03-08"));
    EXPECT_EQ(GetLastQuoteDate(), Day(2024, 3, 8));
    IndexQuoteDated(QStringLiteral("2024-03-07"));
    EXPECT_EQ(GetLastQuoteDate(), Day(2024, 3, 8));
    services.FailQuoteRequest(1);
    EXPECT_EQ(GetLastQuoteDate(), Day(2024, 3, 8));
    EXPECT_EQ(LastQuoteDate(), Day(2024, 3, 8));
    // A date after the market's today is not taken, however it comes.
    for (const char *future : {"2999-12-31", "2024-03-12"}) {
        IndexQuoteDated(QString::fromLatin1(future));
        EXPECT_EQ(GetLastQuoteDate(), Day(2024, 3, 8)) << future;
    }
    // In China it is 12 March already while the clock's own zone still has the 11th.
    AtInstant(QDateTime(QDate(2024, 3, 11), QTime(17, 0), QTimeZone::utc()));
    EXPECT_EQ(GetLastQuoteDate(), Day(2024, 3, 12));
}

}  // namespace
