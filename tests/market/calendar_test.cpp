// The trading calendar: trading hours, today decided from the index quote, past days from the price
// tables, and the day list of the asset table, against the fake quote service.
#include <gtest/gtest.h>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/calendar.h"
#include "market/history.h"
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
    void At(const QDate &d, const QTime &t = QTime(10, 0))
    {
        const QDateTime now(d, t);
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
    EXPECT_EQ(QuoteRequests().size(), 3u);
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
}

}  // namespace
