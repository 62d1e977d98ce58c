// The daily history download and the last-close table, against the fake data service answering
// from a generated history (weekday holidays, suspended days) and a fresh ACC.MDB.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <utility>

#include <QTimeZone>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/calendar.h"
#include "market/http.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

// Stock ids of companyinfo.
constexpr long kIndexSid = 1;    // 1A0001
constexpr long kPufaSid = 148;   // 600000
constexpr long kVankeSid = 5;    // 000002

const QString kDownloadKey = QStringLiteral("上次下载日期");
const QString kCloseKey = QStringLiteral("生成收盘价日期");

QString RemoteSql(int year, long sid, const QString &since)
{
    return QStringLiteral("SELECT `trdat`,`opprice`,`clprice`,`mxprice`,`mnprice`,`num`,`sm` FROM `sp_%1_00` "
                          "WHERE `sid`=%2 AND `trdat`>'%3'")
        .arg(year)
        .arg(sid)
        .arg(since);
}

double Day(int y, int m, int d)
{
    return DayNumberOf(y, m, d);
}

QDateTime Cst(const QDate &d, const QTime &t)
{
    return QDateTime(d, t, QTimeZone(kMarketUtcOffsetSeconds));
}

QString Iso(const QDate &d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

// One stored row of a price table.
struct StoredRow {
    QDate date;
    double open, close, high, low, num, sm;
};

class HistoryTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetNow(QDateTime(QDate(2025, 3, 14), QTime(17, 0)));
        ResetQuoteCache();
        ResetCalendar();
        services.Install();
        Serve(QDate(2025, 3, 14));
    }
    void TearDown() override
    {
        HideIndicator();
        ResetQuoteCache();
        ResetCalendar();
        DbFixture::TearDown();
    }

    // The clock at t read as the market's time (China Standard Time).
    void SetNow(const QDateTime &t)
    {
        now = Cst(t.date(), t.time());
        SetClock([this] { return now; });
    }
    // The data service answers from a history of three stocks and the index, 2023-01-02 to last.
    void Serve(const QDate &last)
    {
        history = std::make_shared<FakeHistory>(QDate(2023, 1, 2), last, std::vector<long>{kPufaSid, 4, kVankeSid});
        services.ServeHistory(history);
    }
    // The SQL texts of the data service requests, in order.
    QStringList RemoteQueries() const
    {
        QStringList sqls;
        for (const FakeRequest &r : services.Requests()) {
            if (r.path == "/gupiao/Disp/ExeSQL.php")
                sqls << r.sql;
        }
        return sqls;
    }
    std::vector<StoredRow> Stored(const QString &code) const
    {
        std::vector<StoredRow> rows;
        DbConnection conn;
        RecordSet rs;
        if (OpenRs(conn, rs, QStringLiteral("SELECT * FROM H_") + code + QStringLiteral(" ORDER BY trdat"))) {
            for (; !rs.AtEOF(); rs.MoveNext()) {
                rows.push_back({DateOfDayNumber(rs.Field("trdat").ToDouble()), rs.Field("opprice").ToDouble(),
                                rs.Field("clprice").ToDouble(), rs.Field("mxprice").ToDouble(),
                                rs.Field("mnprice").ToDouble(), rs.Field("num").ToDouble(), rs.Field("sm").ToDouble()});
            }
        }
        CloseRs(conn, rs);
        return rows;
    }
    // The stored rows must be exactly the history's rows of sid dated after `after`, as the service
    // wrote them (prices at the single precision of the price table).
    void ExpectStoredHistory(const QString &code, long sid, const QDate &after) const
    {
        std::vector<FakeHistory::Day> expected;
        for (const FakeHistory::Day &d : history->Days(sid)) {
            if (d.date > after && d.date <= history->Last())
                expected.push_back(d);
        }
        const std::vector<StoredRow> stored = Stored(code);
        ASSERT_EQ(stored.size(), expected.size()) << code.toStdString();
        for (size_t i = 0; i < stored.size(); ++i) {
            const QStringList f = FakeHistory::Fields(expected[i]);
            ASSERT_EQ(stored[i].date, expected[i].date) << i;
            EXPECT_EQ(stored[i].open, static_cast<float>(f[1].toDouble())) << i;
            EXPECT_EQ(stored[i].close, static_cast<float>(f[2].toDouble())) << i;
            EXPECT_EQ(stored[i].high, static_cast<float>(f[3].toDouble())) << i;
            EXPECT_EQ(stored[i].low, static_cast<float>(f[4].toDouble())) << i;
            EXPECT_EQ(stored[i].num, f[5].toDouble()) << i;
            EXPECT_EQ(stored[i].sm, f[6].toDouble()) << i;
        }
    }
    double StoredClose(const QString &code) const
    {
        const Value v = GetFieldValue(QStringLiteral("LastClprice"), QStringLiteral("code=") + SqlQuote(code),
                                      QStringLiteral("clprice"), MakeNull());
        return v.IsNull() || v.IsEmpty() ? -1 : v.ToDouble();
    }
    // The close of the history's newest row of sid before day.
    double HistoryCloseBefore(long sid, const QDate &day) const
    {
        double close = -1;
        for (const FakeHistory::Day &d : history->Days(sid)) {
            if (d.date < day)
                close = static_cast<float>(FakeHistory::Fields(d)[2].toDouble());
        }
        return close;
    }
    void AddLot(const QString &code, long sid, bool sold)
    {
        Exec(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,sdate,sprice,sid) "
                            "VALUES('%1','x',#2024-05-06#,10,100,%2,%3,%4)")
                 .arg(code, sold ? QStringLiteral("#2024-06-03#") : QStringLiteral("#1900-1-1#"),
                      sold ? QStringLiteral("11") : QStringLiteral("0"))
                 .arg(sid));
    }

    FakeServices services;
    std::shared_ptr<FakeHistory> history;
    QDateTime now;
};

TEST_F(HistoryTest, GeneratedHistoryHasHolidaysAndSuspensions)
{
    // The cases below rely on these properties of the fake service's history.
    const auto &index = history->Days(kIndexSid);
    const auto &pufa = history->Days(kPufaSid);
    ASSERT_FALSE(index.empty());
    EXPECT_LT(pufa.size(), index.size());
    std::set<QDate> days;
    for (const auto &d : index)
        days.insert(d.date);
    EXPECT_EQ(days.count(QDate(2024, 2, 13)), 0u);  // spring festival, a Tuesday
    EXPECT_EQ(days.count(QDate(2024, 10, 1)), 0u);  // a Tuesday
    EXPECT_EQ(days.count(QDate(2024, 3, 9)), 0u);   // a Saturday
    EXPECT_EQ(days.count(QDate(2024, 3, 11)), 1u);
}

TEST_F(HistoryTest, FirstDownloadAsksPerYearFromFirstJanuaryOfLastYear)
{
    EXPECT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2024, kPufaSid, "2024-01-01"),
                                            RemoteSql(2025, kPufaSid, "2024-01-01")}));
    ExpectStoredHistory(QStringLiteral("600000"), kPufaSid, QDate(2024, 1, 1));
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

TEST_F(HistoryTest, SecondDownloadAsksOnlyForNewerRows)
{
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    const QDate newest = Stored(QStringLiteral("600000")).back().date;

    // A week later the service has five more days.
    SetNow(QDateTime(QDate(2025, 3, 21), QTime(17, 0)));
    Serve(QDate(2025, 3, 21));
    services.ClearRequests();
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2025, kPufaSid, Iso(newest))}));
    ExpectStoredHistory(QStringLiteral("600000"), kPufaSid, QDate(2024, 1, 1));

    // Nothing new: the same request, no row added.
    services.ClearRequests();
    const size_t count = Stored(QStringLiteral("600000")).size();
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    EXPECT_EQ(RemoteQueries().size(), 1u);
    EXPECT_EQ(Stored(QStringLiteral("600000")).size(), count);
}

TEST_F(HistoryTest, DownloadAcrossTheNewYearAsksBothYears)
{
    SetNow(QDateTime(QDate(2024, 12, 20), QTime(17, 0)));
    Serve(QDate(2024, 12, 20));
    ASSERT_TRUE(DownloadStockHistory(kIndexSid, QStringLiteral("1A0001")));
    SetNow(QDateTime(QDate(2025, 1, 8), QTime(17, 0)));
    Serve(QDate(2025, 1, 8));
    services.ClearRequests();
    ASSERT_TRUE(DownloadStockHistory(kIndexSid, QStringLiteral("1A0001")));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2024, kIndexSid, "2024-12-20"),
                                            RemoteSql(2025, kIndexSid, "2024-12-20")}));
    ExpectStoredHistory(QStringLiteral("1A0001"), kIndexSid, QDate(2023, 1, 1));
}

TEST_F(HistoryTest, FailedYearStopsTheStockAndIsAskedAgainNextTime)
{
    // A first download whose first year fails must not store the second year: its rows would make
    // the failed year look done.
    services.AddFault(QStringLiteral("sp_2024_00"), FakeFault{FakeFault::Status500});
    EXPECT_FALSE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));  // reported
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2024, kPufaSid, "2024-01-01")}));
    EXPECT_TRUE(Stored(QStringLiteral("600000")).empty());

    services.ClearRequests();
    EXPECT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2024, kPufaSid, "2024-01-01"),
                                            RemoteSql(2025, kPufaSid, "2024-01-01")}));
    ExpectStoredHistory(QStringLiteral("600000"), kPufaSid, QDate(2024, 1, 1));
}

// Whether a past day was a trading day needs the stock's rows around it: years before the stored
// ones are fetched newest first, stopping at a failure (no gap) or at a year without rows; days after
// the newest stored row are fetched as by a download. The result tells whether the service answered.
TEST_F(HistoryTest, DayOutsideTheStoredRowsFetchesWhatIsMissing)
{
    history = std::make_shared<FakeHistory>(QDate(2021, 1, 4), QDate(2025, 3, 14), std::vector<long>{kPufaSid});
    services.ServeHistory(history);
    struct Case {
        QDate day;
        QDate today;        // null: 2025-03-14
        const char *fault;  // a query that fails, "" none
        QStringList queries;
        bool answered;
        QDate storedAfter;  // the rows stored afterwards are the history's rows after this day
    } cases[] = {
        {{2024, 6, 3}, {}, "", {}, true, {2024, 1, 1}},
        {{2022, 3, 5}, {}, "", {}, true, {2024, 1, 1}},  // a Saturday
        {{2025, 3, 14}, {}, "", {}, true, {2024, 1, 1}},  // today
        {{2022, 3, 1}, {}, "", {RemoteSql(2023, kPufaSid, "2022-12-31"), RemoteSql(2022, kPufaSid, "2021-12-31")},
         true, {2021, 12, 31}},
        {{2022, 3, 1}, {}, "sp_2022_00", {RemoteSql(2023, kPufaSid, "2022-12-31"), RemoteSql(2022, kPufaSid, "2021-12-31")},
         false, {2022, 12, 31}},
        {{2022, 3, 1}, {}, "sp_2023_00", {RemoteSql(2023, kPufaSid, "2022-12-31")}, false, {2024, 1, 1}},
        {{2025, 3, 18}, {2025, 3, 19}, "", {RemoteSql(2025, kPufaSid, "2025-03-14")}, true, {2024, 1, 1}},
        {{2025, 3, 18}, {2025, 3, 19}, "sp_2025_00", {RemoteSql(2025, kPufaSid, "2025-03-14")}, false, {2024, 1, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << Iso(c.day).toStdString() << " " << c.fault);
        Exec(QStringLiteral("DROP TABLE IF EXISTS H_600000"));
        SetNow(QDateTime(QDate(2025, 3, 14), QTime(17, 0)));
        ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
        SetNow(QDateTime(c.today.isValid() ? c.today : QDate(2025, 3, 14), QTime(17, 0)));
        services.ClearRequests();
        if (*c.fault)
            services.AddFault(QString::fromLatin1(c.fault), FakeFault{FakeFault::ErrorReply});
        EXPECT_EQ(DownloadHistoryForDay(kPufaSid, QStringLiteral("600000"), Day(c.day.year(), c.day.month(), c.day.day())),
                  c.answered);
        EXPECT_EQ(RemoteQueries(), c.queries);
        ExpectStoredHistory(QStringLiteral("600000"), kPufaSid, c.storedAfter);
    }
    // A year without a row of the stock (not listed yet) ends the search: no older year is asked.
    services.SetSqlAnswer(QStringLiteral("sp_2022_00"), FakeServices::SqlRowsBody({"trdat"}, {}, 0));
    services.ClearRequests();
    EXPECT_TRUE(DownloadHistoryForDay(kPufaSid, QStringLiteral("600000"), Day(2020, 6, 1)));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2023, kPufaSid, "2022-12-31"), RemoteSql(2022, kPufaSid, "2021-12-31")}));
    // No stock id, nothing to ask.
    services.ClearRequests();
    EXPECT_TRUE(DownloadHistoryForDay(0, QStringLiteral("600000"), Day(2020, 6, 1)));
    EXPECT_TRUE(RemoteQueries().isEmpty());
}

TEST_F(HistoryTest, FailedMiddleYearLeavesNoGap)
{
    // Stored up to the end of June 2023; 2023 succeeds, 2024 fails with an error reply.
    ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("600000")));
    {
        DbConnection conn;
        ASSERT_TRUE(OpenConn(conn) && conn.Begin());
        for (const auto &d : history->Days(kPufaSid)) {
            if (d.date > QDate(2023, 6, 30))
                break;
            // Prices at the single precision the download stores.
            QStringList f = FakeHistory::Fields(d);
            for (int i = 1; i <= 4; ++i)
                f[i] = QString::number(static_cast<double>(static_cast<float>(f[i].toDouble())), 'g', 17);
            ASSERT_TRUE(conn.Execute(QStringLiteral("INSERT INTO H_600000(trdat,opprice,clprice,mxprice,mnprice,num,"
                                                    "sm) VALUES(#%1#,%2,%3,%4,%5,%6,%7)")
                                         .arg(f[0], f[1], f[2], f[3], f[4], f[5], f[6])));
        }
        ASSERT_TRUE(conn.Commit());
    }
    const QDate storedUpTo = Stored(QStringLiteral("600000")).back().date;
    services.AddFault(QStringLiteral("sp_2024_00"), FakeFault{FakeFault::ErrorReply});
    DownloadStockHistory(kPufaSid, QStringLiteral("600000"));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2023, kPufaSid, Iso(storedUpTo)),
                                            RemoteSql(2024, kPufaSid, Iso(storedUpTo))}));
    EXPECT_EQ(Stored(QStringLiteral("600000")).back().date.year(), 2023);

    services.ClearRequests();
    DownloadStockHistory(kPufaSid, QStringLiteral("600000"));
    EXPECT_EQ(RemoteQueries().size(), 3u);
    ExpectStoredHistory(QStringLiteral("600000"), kPufaSid, QDate(2023, 1, 1));
}

TEST_F(HistoryTest, MalformedRowsAreSkippedAndLogged)
{
    const auto &days = history->Days(kPufaSid);
    const QString repeated = FakeHistory::Fields(days.back()).join(QStringLiteral("⊙")) + QStringLiteral("⊙");
    services.AddHistoryRows(QStringLiteral("sp_2025_00"),
                            {
                                QStringLiteral("2025-13-40⊙1⊙2⊙3⊙4⊙5⊙6⊙"),     // no such day
                                QStringLiteral("yesterday⊙1⊙2⊙3⊙4⊙5⊙6⊙"),      // no date at all
                                QStringLiteral("2025-03-10⊙1⊙2⊙"),              // fields missing
                                QString(),                                      // an empty row
                                QStringLiteral("2023-05-05⊙1⊙2⊙3⊙4⊙5⊙6⊙"),     // before the day asked from
                                repeated,                                       // a day delivered twice
                                QStringLiteral("2025-03-08 00:00:00⊙9.5⊙9.75⊙10⊙9⊙100⊙950⊙"),  // date and time
                            });
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));

    const std::vector<StoredRow> stored = Stored(QStringLiteral("600000"));
    size_t expected = 0;
    for (const auto &d : days)
        expected += d.date > QDate(2024, 1, 1) ? 1 : 0;
    EXPECT_EQ(stored.size(), expected + 1);
    std::set<QDate> seen;
    for (const StoredRow &r : stored)
        EXPECT_TRUE(seen.insert(r.date).second) << "twice: " << Iso(r.date).toStdString();
    const auto withTime = std::find_if(stored.begin(), stored.end(),
                                       [](const StoredRow &r) { return r.date == QDate(2025, 3, 8); });
    ASSERT_NE(withTime, stored.end());
    EXPECT_DOUBLE_EQ(withTime->close, 9.75);
    EXPECT_DOUBLE_EQ(withTime->sm, 950);

    // One entry per bad row, one for the repeated days, each with the remote SQL.
    EXPECT_EQ(LogEntryCount(), 6) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(QStringLiteral("2025-13-40⊙1⊙2⊙3⊙4⊙5⊙6")));
    EXPECT_TRUE(LogText().contains(RemoteSql(2025, kPufaSid, "2024-01-01")));
}

TEST_F(HistoryTest, RowWithAPriceThePriceTableCannotHoldIsSkipped)
{
    // Prices are single precision in the price table. A row beyond that range is a malformed row:
    // it must not take the whole year with it, or every later run would fail on it again.
    services.AddHistoryRows(QStringLiteral("sp_2025_00"),
                            {
                                QStringLiteral("2025-03-08⊙1e39⊙2⊙3⊙4⊙5⊙6⊙"),
                                QStringLiteral("2025-03-09⊙1⊙2⊙3⊙-4e38⊙5⊙6⊙"),
                                QStringLiteral("2025-03-01⊙1⊙2⊙3⊙4⊙1e300⊙1e300⊙"),  // volume and amount are doubles
                            });
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));

    const std::vector<StoredRow> stored = Stored(QStringLiteral("600000"));
    size_t expected = 0;
    for (const auto &d : history->Days(kPufaSid))
        expected += d.date > QDate(2024, 1, 1) ? 1 : 0;
    EXPECT_EQ(stored.size(), expected + 1);
    EXPECT_EQ(stored.back().date, history->Days(kPufaSid).back().date);
    const auto big = std::find_if(stored.begin(), stored.end(),
                                  [](const StoredRow &r) { return r.date == QDate(2025, 3, 1); });
    ASSERT_NE(big, stored.end());
    EXPECT_EQ(big->sm, 1e300);
    EXPECT_EQ(LogEntryCount(), 2) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(QStringLiteral("2025-03-08⊙1e39")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("2025-03-09⊙1⊙2⊙3⊙-4e38")));
}

TEST_F(HistoryTest, OnlyRowsOfTheYearUpToTodayWithUsableValuesAreStoredOncePerDay)
{
    // Today is Friday 14 March 2025; the index has a row on every trading day.
    struct Case {
        const char *row;  // as the service writes it, added to every 2025 reply
        QDate day;
        bool stored;      // a row of that day with this close is stored afterwards
    };
    const Case cases[] = {
        {"2099-01-05⊙1⊙7.01⊙3⊙0.5⊙5⊙6⊙", QDate(2099, 1, 5), false},   // far future, another year
        {"2025-12-31⊙1⊙7.02⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 12, 31), false},  // this year, after today
        {"2025-03-15⊙1⊙7.03⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 3, 15), false},   // tomorrow
        {"2024-06-03⊙1⊙7.04⊙3⊙0.5⊙5⊙6⊙", QDate(2024, 6, 3), false},    // last year in this year's table
        {"2025-03-03⊙-1⊙7.05⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 3, 3), false},   // a negative open
        {"2025-03-04⊙1⊙abc⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 3, 4), false},     // a close that is no number
        {"2025-03-05⊙1⊙7.06⊙3⊙0⊙5⊙6⊙", QDate(2025, 3, 5), false},      // a low of 0
        {"2025-03-06⊙1⊙7.07⊙1e999⊙0.5⊙5⊙6⊙", QDate(2025, 3, 6), false}, // an infinite high
        {"2025-03-10⊙1⊙7.08⊙3⊙0.5⊙-5⊙6⊙", QDate(2025, 3, 10), false},  // a negative volume
        {"2025-03-11⊙1⊙7.09⊙3⊙0.5⊙5⊙nan⊙", QDate(2025, 3, 11), false}, // an amount that is not finite
        {"2025-03-07⊙1⊙1e30⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 3, 7), false},    // a close no index reaches
        {"2025-02-28⊙1⊙7.14⊙1000000⊙0.5⊙5⊙6⊙", QDate(2025, 2, 28), false}, // a high at kPriceBound
        {"2025-02-27⊙1⊙999999⊙999999.5⊙0.5⊙5⊙6⊙", QDate(2025, 2, 27), true}, // just below it
        {"2025-03-12⊙1⊙7.1⊙3⊙0.5⊙0⊙0⊙", QDate(2025, 3, 12), true},     // a day twice: the last row counts
        {"2025-01-02⊙1⊙7.11⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 1, 2), false},    // a stored day, then once more:
        {"2025-01-02⊙1⊙7.12⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 1, 2), true},     // the later row replaces it
        {"2025-03-14⊙1⊙7.13⊙3⊙0.5⊙5⊙6⊙", QDate(2025, 3, 14), true},    // today
    };
    // A first download, then one with nothing new: the 2025 rows up to the newest stored day come
    // again and replace the stored rows of their days.
    QStringList extra;
    for (const Case &c : cases)
        extra << QString::fromUtf8(c.row);
    services.AddHistoryRows(QStringLiteral("sp_2025_00"), extra);
    for (int run = 1; run <= 2; ++run) {
        ASSERT_TRUE(DownloadStockHistory(kIndexSid, QStringLiteral("1A0001")));
        const std::vector<StoredRow> stored = Stored(QStringLiteral("1A0001"));
        std::map<QDate, std::vector<double>> closes;
        for (const StoredRow &r : stored)
            closes[r.date].push_back(r.close);
        for (const auto &[day, list] : closes)
            EXPECT_EQ(list.size(), 1u) << "run " << run << ": " << Iso(day).toStdString() << " stored twice";
        for (const Case &c : cases) {
            const double close = static_cast<float>(QString::fromUtf8(c.row).section(u'⊙', 2, 2).toDouble());
            const auto it = closes.find(c.day);
            EXPECT_EQ(it != closes.end() && it->second.front() == close, c.stored)
                << "run " << run << ": " << c.row;
        }
        // The days of the history, each once; the far-future and out-of-year days never.
        size_t expected = 0;
        for (const auto &d : history->Days(kIndexSid))
            expected += d.date > QDate(2024, 1, 1) ? 1 : 0;
        EXPECT_EQ(stored.size(), expected) << "run " << run;
        EXPECT_LE(stored.back().date, QDate(2025, 3, 14));
        // One entry per skipped row and one for the repeated days, each with the remote SQL.
        EXPECT_EQ(LogEntryCount(), 13 * run) << LogText().toStdString();
    }
    EXPECT_TRUE(LogText().contains(QStringLiteral("2099-01-05⊙1⊙7.01")));
    EXPECT_TRUE(LogText().contains(RemoteSql(2025, kIndexSid, "2025-03-14")));
}

TEST_F(HistoryTest, StoredRowsAfterTodayAreRemovedAtTheNextDownload)
{
    // Stored up to Friday 7 March, then a far-future row and one for the coming Saturday.
    SetNow(QDateTime(QDate(2025, 3, 7), QTime(17, 0)));
    ASSERT_TRUE(DownloadStockHistory(kIndexSid, QStringLiteral("1A0001")));
    Exec(QStringLiteral("INSERT INTO H_1A0001(trdat,opprice,clprice,mxprice,mnprice,num,sm) "
                        "VALUES(#2099-12-31#,1,1,1,1,1,1)"));
    Exec(QStringLiteral("INSERT INTO H_1A0001(trdat,opprice,clprice,mxprice,mnprice,num,sm) "
                        "VALUES(#2025-03-15#,1,1,1,1,1,1)"));
    SetNow(QDateTime(QDate(2025, 3, 14), QTime(17, 0)));
    services.ClearRequests();
    ASSERT_TRUE(DownloadStockHistory(kIndexSid, QStringLiteral("1A0001")));
    EXPECT_EQ(RemoteQueries(), QStringList({RemoteSql(2025, kIndexSid, "2025-03-07")}));
    ExpectStoredHistory(QStringLiteral("1A0001"), kIndexSid, QDate(2024, 1, 1));
}

TEST_F(HistoryTest, DownloadAllReportsTheEarliestDayItStored)
{
    AddLot(QStringLiteral("600000"), kPufaSid, false);
    const auto firstIndexDay = [this](const QDate &after) {
        for (const auto &d : history->Days(kIndexSid)) {
            if (d.date > after)
                return DayNumberOf(d.date);
        }
        return 0.0;
    };
    struct Step {
        const char *what;
        QDateTime now;
        QDate servedTo;
        const char *fault;    // requests whose SQL holds this fail; nullptr for none
        const char *oldRow;   // a row the 2025 replies bring again; nullptr for none
        double earliest;
    };
    const Step steps[] = {
        {"first download", QDateTime(QDate(2025, 3, 14), QTime(17, 0)), QDate(2025, 3, 14), nullptr, nullptr,
         firstIndexDay(QDate(2024, 1, 1))},
        {"again the same day", QDateTime(QDate(2025, 3, 14), QTime(18, 0)), QDate(2025, 3, 14), nullptr, nullptr, 0},
        {"Monday evening", QDateTime(QDate(2025, 3, 17), QTime(17, 0)), QDate(2025, 3, 17), nullptr, nullptr,
         Day(2025, 3, 17)},
        {"every request fails", QDateTime(QDate(2025, 3, 18), QTime(17, 0)), QDate(2025, 3, 18), "sp_", nullptr, 0},
        {"an older day again", QDateTime(QDate(2025, 3, 19), QTime(17, 0)), QDate(2025, 3, 19), nullptr,
         "2025-03-05⊙1⊙2⊙3⊙0.5⊙5⊙6⊙", Day(2025, 3, 5)},
    };
    for (const Step &step : steps) {
        SetNow(step.now);
        Serve(step.servedTo);
        if (step.fault)  // the first year of each stock, then each stops
            services.AddFault(QString::fromLatin1(step.fault), FakeFault{FakeFault::Status500}, 2);
        if (step.oldRow)
            services.AddHistoryRows(QStringLiteral("sp_2025_00"), {QString::fromUtf8(step.oldRow)});
        EXPECT_EQ(DownloadAllHistory(), step.earliest) << step.what;
    }
}

TEST_F(HistoryTest, ReplyWithMoreOrFewerRowsThanItsCount)
{
    // The service says 3 rows and sends 1; then it says 1 and sends 3: only real rows, at most the count.
    services.SetSqlAnswer(QStringLiteral("sp_2024_00"),
                          FakeServices::SqlRowsBody({"trdat"}, {{"2024-03-04", "1", "2", "3", "4", "5", "6"}}, 3));
    services.SetSqlAnswer(QStringLiteral("sp_2025_00"),
                          FakeServices::SqlRowsBody({"trdat"},
                                                    {{"2025-03-04", "1", "2", "3", "4", "5", "6"},
                                                     {"2025-03-05", "1", "2", "3", "4", "5", "6"},
                                                     {"2025-03-06", "1", "2", "3", "4", "5", "6"}},
                                                    1));
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    const std::vector<StoredRow> stored = Stored(QStringLiteral("600000"));
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].date, QDate(2024, 3, 4));
    EXPECT_EQ(stored[1].date, QDate(2025, 3, 4));
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

TEST_F(HistoryTest, CodesThatCannotNameATable)
{
    const QStringList before = ListTablesLike(QStringLiteral("H_"));
    const char *const codes[] = {"60000", "6000000", "60000'", "6000 0", "60-000", "中国平安银行", "",
                                 "1'OR'1", "a(b)cd"};
    int entries = 0;
    for (const char *c : codes) {
        const QString code = QString::fromUtf8(c);
        EXPECT_FALSE(EnsureHistoryTable(code)) << c;
        EXPECT_FALSE(DownloadStockHistory(kPufaSid, code)) << c;
        UpdateLastClosePrice(code, 0);
        EXPECT_GT(LogEntryCount(), entries) << "refused without a log entry: " << c;
        entries = LogEntryCount();
    }
    EXPECT_TRUE(RemoteQueries().isEmpty());
    EXPECT_EQ(ListTablesLike(QStringLiteral("H_")), before);
    EXPECT_EQ(CountRecords(QStringLiteral("LastClprice"), QString()), 0);
}

TEST_F(HistoryTest, PriceTableHasAnIndexOnItsDay)
{
    const auto indexesOf = [](const QString &table) {
        QStringList names;
        DbConnection conn;
        RecordSet rs;
        if (OpenRs(conn, rs, QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='") +
                                 table + QStringLiteral("'"))) {
            for (; !rs.AtEOF(); rs.MoveNext())
                names << rs.Field("name").ToText();
        }
        CloseRs(conn, rs);
        return names;
    };
    ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("600000")));
    ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("600000")));
    EXPECT_EQ(indexesOf(QStringLiteral("H_600000")), QStringList({"H_600000_trdat"}));

    // A table made before the index was gets it on its next download.
    Exec(QStringLiteral("CREATE TABLE H_000002(id AUTOINCREMENT,trdat DATE,opprice SINGLE,clprice SINGLE,"
                        "mxprice SINGLE,mnprice SINGLE,num DOUBLE,sm DOUBLE)"));
    ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("000002")));
    EXPECT_EQ(indexesOf(QStringLiteral("H_000002")), QStringList({"H_000002_trdat"}));
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

struct GateCase {
    const char *name;
    QDateTime now;
    const char *stored;  // nullptr: the parameter is missing
    bool downloads;
    const char *saved;
};

TEST_F(HistoryTest, DownloadAllRunsOnceADayWithTheFourOClockRule)
{
    AddLot(QStringLiteral("600000"), kPufaSid, false);
    AddLot(QStringLiteral("600000"), kPufaSid, true);
    AddLot(QStringLiteral("000002"), kVankeSid, true);  // sold long ago, still kept up to date

    const QDate fri(2025, 3, 14);
    const GateCase cases[] = {
        {"never downloaded", QDateTime(fri, QTime(9, 0)), nullptr, true, "2025-03-13"},
        {"today", QDateTime(fri, QTime(17, 0)), "2025-03-14", false, "2025-03-14"},
        {"yesterday, now 15:00", QDateTime(fri, QTime(15, 0)), "2025-03-13", false, "2025-03-13"},
        {"yesterday, now 15:59:59", QDateTime(fri, QTime(15, 59, 59)), "2025-03-13", false, "2025-03-13"},
        {"yesterday, now 16:00", QDateTime(fri, QTime(16, 0)), "2025-03-13", true, "2025-03-14"},
        {"yesterday, now 16:30", QDateTime(fri, QTime(16, 30)), "2025-03-13", true, "2025-03-14"},
        {"three days ago, now 10:00", QDateTime(fri, QTime(10, 0)), "2025-03-11", true, "2025-03-13"},
        {"three days ago, now 16:30", QDateTime(fri, QTime(16, 30)), "2025-03-11", true, "2025-03-14"},
        {"in the future", QDateTime(fri, QTime(17, 0)), "2025-03-20", false, "2025-03-20"},
    };
    for (const GateCase &c : cases) {
        if (c.stored)
            SaveParam(kDownloadKey, QString::fromUtf8(c.stored));
        services.ClearRequests();
        SetNow(c.now);
        DownloadAllHistory();
        const QStringList sqls = RemoteQueries();
        EXPECT_EQ(!sqls.isEmpty(), c.downloads) << c.name;
        EXPECT_EQ(GetParam(kDownloadKey), QString::fromUtf8(c.saved)) << c.name;
        if (c.downloads && !sqls.isEmpty()) {
            // Every stock of the book, then the index; one step per stock of the book.
            std::set<QString> sids;
            for (const QString &sql : sqls)
                sids.insert(sql.section(QStringLiteral("`sid`="), 1).section(u' ', 0, 0));
            EXPECT_EQ(sids, std::set<QString>({"148", "5", "1"})) << c.name;
            EXPECT_TRUE(sqls.last().contains(QStringLiteral("`sid`=1 "))) << c.name;
            const IndicatorState ind = CurrentIndicator();
            EXPECT_EQ(ind.message, QStringLiteral("正在补充下载历史交易数据...")) << c.name;
            EXPECT_EQ(ind.max, 3) << c.name;
            EXPECT_EQ(ind.value, 2) << c.name;
            EXPECT_FALSE(ind.shown) << c.name;
        }
    }
    ExpectStoredHistory(QStringLiteral("000002"), kVankeSid, QDate(2024, 1, 1));
    ExpectStoredHistory(QStringLiteral("1A0001"), kIndexSid, QDate(2024, 1, 1));
}

TEST_F(HistoryTest, DownloadAllSavesTheDayOnlyWhenEveryQueryWasAnswered)
{
    AddLot(QStringLiteral("600000"), kPufaSid, false);
    SaveParam(kDownloadKey, QStringLiteral("2025-03-07"));
    // One year of 600000 fails; the index is had whole.
    services.AddFault(QStringLiteral("`sid`=148 AND"), FakeFault{FakeFault::Status500});
    DownloadAllHistory();
    EXPECT_EQ(GetParam(kDownloadKey), QStringLiteral("2025-03-07"));
    EXPECT_TRUE(Stored(QStringLiteral("600000")).empty());
    ExpectStoredHistory(QStringLiteral("1A0001"), kIndexSid, QDate(2024, 1, 1));

    // The next run, the same evening, fetches what is missing and saves the day.
    services.ClearRequests();
    DownloadAllHistory();
    EXPECT_EQ(GetParam(kDownloadKey), QStringLiteral("2025-03-14"));
    ExpectStoredHistory(QStringLiteral("600000"), kPufaSid, QDate(2024, 1, 1));
    EXPECT_EQ(RemoteQueries().filter(QStringLiteral("`sid`=148 ")).size(), 2);
    // The index is asked once more from its newest day, today: no rows, which counts as answered.
    EXPECT_EQ(RemoteQueries().filter(QStringLiteral("`sid`=1 ")),
              QStringList(RemoteSql(2025, kIndexSid, QStringLiteral("2025-03-14"))));
    services.ClearRequests();
    DownloadAllHistory();
    EXPECT_TRUE(RemoteQueries().isEmpty());

    // The next day, the first query waits and the user closes the progress window: the run ends there,
    // as every query after it would wait a second and show the window again; the day is not done.
    AddLot(QStringLiteral("000002"), kVankeSid, false);
    SetNow(QDateTime(QDate(2025, 3, 17), QTime(17, 0)));
    Serve(QDate(2025, 3, 17));
    services.ClearRequests();
    services.AddFault(QString(), FakeFault{FakeFault::None, 60000}, 10);
    SetHttpWaitHook([](const HttpWait &wait) {
        if (wait.waitedMs > 1000 && !wait.finished)
            SetIndicatorShown(false);
    });
    DownloadAllHistory();
    SetHttpWaitHook(nullptr);
    services.ReleaseDelayedAnswers();
    EXPECT_EQ(RemoteQueries().size(), 1);
    EXPECT_EQ(DataService().last, HttpOutcome::GivenUp);
    EXPECT_EQ(GetParam(kDownloadKey), QStringLiteral("2025-03-14"));
}

TEST_F(HistoryTest, DownloadAcrossMidnightSavesTheDayItRanOn)
{
    // The download starts on Monday at 23:59:50 and its first request returns after midnight. Monday
    // is complete either way: the day saved must not be Sunday, which mixes Monday's date with
    // Tuesday's time.
    class ClockMovingTransport : public HttpTransport {
    public:
        explicit ClockMovingTransport(std::function<void()> move) : m_move(std::move(move)) { SetHttpTransport(this); }
        ~ClockMovingTransport() override { SetHttpTransport(nullptr); }
        HttpResponse Post(const HttpRequest &request) override
        {
            if (m_move)
                std::exchange(m_move, nullptr)();
            return CurlTransport().Post(request);
        }

    private:
        std::function<void()> m_move;
    };
    AddLot(QStringLiteral("600000"), kPufaSid, false);
    SaveParam(kDownloadKey, QStringLiteral("2025-03-07"));
    SetNow(QDateTime(QDate(2025, 3, 10), QTime(23, 59, 50)));
    ClockMovingTransport transport([this] { now = Cst(QDate(2025, 3, 11), QTime(0, 0, 10)); });
    DownloadAllHistory();
    EXPECT_FALSE(RemoteQueries().isEmpty());
    EXPECT_EQ(GetParam(kDownloadKey), QStringLiteral("2025-03-10"));
}

TEST_F(HistoryTest, GateReadsTheClockOnce)
{
    // Monday 23:59:59.999 with Sunday saved: Sunday is yesterday and it is after 16:00, so the
    // download runs. A second reading of the clock, a moment later on Tuesday before 16:00, must not
    // turn that into "yesterday before 16:00".
    AddLot(QStringLiteral("600000"), kPufaSid, false);
    SaveParam(kDownloadKey, QStringLiteral("2025-03-09"));
    auto reads = std::make_shared<int>(0);
    SetClock([reads] {
        return (*reads)++ == 0 ? Cst(QDate(2025, 3, 10), QTime(23, 59, 59, 999)) : Cst(QDate(2025, 3, 11), QTime(0, 0, 0));
    });
    DownloadAllHistory();
    EXPECT_FALSE(RemoteQueries().isEmpty());
    EXPECT_EQ(GetParam(kDownloadKey), QStringLiteral("2025-03-10"));
}

TEST_F(HistoryTest, LastCloseIsTheNewestCloseBeforeTheLatestTradingDay)
{
    ASSERT_TRUE(DownloadStockHistory(kPufaSid, QStringLiteral("600000")));
    // The latest trading day is not known yet: no close is defined, nothing is written.
    EXPECT_EQ(StoredClose(QStringLiteral("600000")), -1);
    UpdateLastClosePrice(QStringLiteral("600000"), 0);
    EXPECT_EQ(StoredClose(QStringLiteral("600000")), -1);

    // A given price is stored as it is, in a new row.
    UpdateLastClosePrice(QStringLiteral("600000"), 12.345);
    EXPECT_DOUBLE_EQ(StoredClose(QStringLiteral("600000")), 12.345);

    services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 3000,
                                                                             3010, 3020, 2990,
                                                                             QStringLiteral("2025-03-14")));
    ASSERT_EQ(GetLastQuoteDate(), DayNumberOf(QDate(2025, 3, 14)));
    Quotes().rows = {QuoteRow{QStringLiteral("1A0001")}, QuoteRow{QStringLiteral("600000")}};
    UpdateLastClosePrice(QStringLiteral("600000"), 0);
    // 14 March has a row; the close is that of the day before it.
    const double expected = HistoryCloseBefore(kPufaSid, QDate(2025, 3, 14));
    ASSERT_NE(expected, HistoryCloseBefore(kPufaSid, QDate(2025, 3, 15)));
    EXPECT_DOUBLE_EQ(StoredClose(QStringLiteral("600000")), expected);
    EXPECT_EQ(CountRecords(QStringLiteral("LastClprice"), QStringLiteral("code='600000'")), 1);
    EXPECT_DOUBLE_EQ(QuoteLastClose(1), expected);
    EXPECT_DOUBLE_EQ(QuoteLastClose(0), 0);

    // A stock without a price table keeps what it has.
    UpdateLastClosePrice(QStringLiteral("600036"), 0);
    EXPECT_EQ(StoredClose(QStringLiteral("600036")), -1);
}

struct RebuildCase {
    const char *name;
    const char *downloaded;
    const char *rebuilt;
    bool runs;
};

TEST_F(HistoryTest, RebuildLastClosesOnceADay)
{
    SetNow(QDateTime(QDate(2025, 3, 14), QTime(10, 0)));
    AddLot(QStringLiteral("600000"), kPufaSid, false);
    AddLot(QStringLiteral("000002"), kVankeSid, true);
    services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 3000,
                                                                             3010, 3020, 2990,
                                                                             QStringLiteral("2025-03-14")));
    GetLastQuoteDate();
    DownloadAllHistory();
    ASSERT_EQ(GetParam(kDownloadKey), QStringLiteral("2025-03-13"));

    const RebuildCase cases[] = {
        {"downloaded today", "2025-03-14", "2025-03-13", false},
        {"rebuilt today", "2025-03-13", "2025-03-14", false},
        {"both before today", "2025-03-13", "2025-03-13", true},
        {"never rebuilt", "2025-03-13", nullptr, true},
    };
    for (const RebuildCase &c : cases) {
        Exec(QStringLiteral("DELETE * FROM LastClprice"));
        Exec(QStringLiteral("DELETE * FROM 参数 WHERE Var='生成收盘价日期'"));
        SaveParam(kDownloadKey, QString::fromUtf8(c.downloaded));
        if (c.rebuilt)
            SaveParam(kCloseKey, QString::fromUtf8(c.rebuilt));
        RebuildLastClosePrices();
        EXPECT_EQ(CountRecords(QStringLiteral("LastClprice"), QString()), c.runs ? 3 : 0) << c.name;
        EXPECT_EQ(GetParam(kCloseKey, QStringLiteral("none")),
                  c.runs ? QStringLiteral("2025-03-14") : QString::fromUtf8(c.rebuilt ? c.rebuilt : "none"))
            << c.name;
        if (c.runs) {
            EXPECT_DOUBLE_EQ(StoredClose(QStringLiteral("1A0001")), HistoryCloseBefore(kIndexSid, QDate(2025, 3, 14)));
            EXPECT_DOUBLE_EQ(StoredClose(QStringLiteral("600000")), HistoryCloseBefore(kPufaSid, QDate(2025, 3, 14)));
            EXPECT_DOUBLE_EQ(StoredClose(QStringLiteral("000002")), HistoryCloseBefore(kVankeSid, QDate(2025, 3, 14)));
            const IndicatorState ind = CurrentIndicator();
            EXPECT_EQ(ind.message, QStringLiteral("正在更新最近收盘价表...")) << c.name;
            EXPECT_EQ(ind.max, 3) << c.name;
            EXPECT_EQ(ind.value, 3) << c.name;
        }
    }
}

}  // namespace
