// Remote SQL through the data service: the request address with its validation number, the reply
// parser, and whole queries against the fake data service.
#include <gtest/gtest.h>

#include <chrono>

#include "canned_transport.h"
#include "fixtures/closed_port.h"
#include "fixtures/fake_services.h"
#include "market/http.h"
#include "market/web.h"
#include "platform/clock.h"
#include "storage/indicator.h"

namespace {

QDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

class ClockFixed : public ::testing::Test {
protected:
    void TearDown() override { SetClock(nullptr); }
};

TEST(BuildValidateParam, NumberTable)
{
    const std::pair<QDateTime, QString> cases[] = {
        {At(2024, 1, 5, 10, 20, 30), "&validate=2629"},
        {At(2025, 12, 31, 23, 59, 59), "&validate=2510"},
        {At(2000, 1, 1, 0, 0, 0), "&validate=2717"},
    };
    for (const auto &[t, tail] : cases)
        EXPECT_EQ(BuildValidateParam(QStringLiteral("a?"), t), QStringLiteral("a?") + tail) << t.toString().toStdString();
}

TEST_F(ClockFixed, ServiceUrlAtAFixedInstant)
{
    SetClock([] { return At(2024, 1, 5, 10, 20, 30); });
    const QString base = DataServiceBase();
    EXPECT_EQ(BuildServiceUrl(kExeSqlPage), base + "Disp/ExeSQL.php?&vtime=2024-01-05 10:20:30&validate=2629");
    EXPECT_EQ(BuildServiceUrl(QStringLiteral("p.php?x=1"), QStringLiteral("q")),
              base + "p.php?x=1&vtime=2024-01-05 10:20:30&validate=2629&sql=q");
}

TEST_F(ClockFixed, VtimeAndValidateComeFromOneInstant)
{
    // A clock that moves on by a second each time it is read: both values must still agree.
    int reads = 0;
    SetClock([&reads] { return At(2024, 1, 5, 10, 20, 59).addSecs(reads++); });
    const QString url = BuildServiceUrl(kExeSqlPage);
    EXPECT_TRUE(url.endsWith(QStringLiteral("&vtime=2024-01-05 10:20:59&validate=2600"))) << url.toStdString();
}

struct ParseCase {
    const char *name;
    QString reply;
    QStringList rows;
};

TEST(ParseSqlReply, Table)
{
    const ParseCase cases[] = {
        {"two rows", "操作成功 返回条数:2§§<BR>hdr⊙§§<BR>a⊙b⊙§§<BR>c⊙d⊙§§<BR>", {"2", "hdr", "a⊙b", "c⊙d"}},
        {"count 0 keeps the first row whole", "操作成功 返回条数:0§§<BR>hdr⊙§§<BR>", {"0", "hdr⊙"}},
        {"more rows than the count", "操作成功返回条数:1§§<BR>h⊙§§<BR>a⊙§§<BR>b⊙§§<BR>", {"1", "h", "a"}},
        // The original counted the empty piece after the last separator as a row.
        {"fewer rows than the count", "操作成功返回条数:5§§<BR>h⊙§§<BR>a⊙§§<BR>b⊙§§<BR>", {"5", "h", "a", "b"}},
        {"only rows that end with the mark are cut", "操作成功返回条数:3§§<BR>h⊙§§<BR>a⊙§§<BR>b§§<BR>", {"3", "h", "a", "b"}},
        {"first row without the mark: nothing cut", "操作成功返回条数:1§§<BR>h§§<BR>a⊙§§<BR>", {"1", "h", "a⊙"}},
        {"count with trailing text", "操作成功返回条数:2条§§<BR>h⊙§§<BR>a⊙§§<BR>b⊙§§<BR>", {"2", "h", "a", "b"}},
        {"negative count", "操作成功返回条数:-3§§<BR>h⊙§§<BR>a⊙§§<BR>", {"0", "h⊙"}},
        {"no success word", "返回条数:1§§<BR>h⊙§§<BR>a⊙§§<BR>", {""}},
        {"error", "操作成功 ERROR:bad§§<BR>x", {"操作成功 ", "x"}},
        {"empty", "", {""}},
    };
    for (const ParseCase &c : cases)
        EXPECT_EQ(ParseSqlReply(c.reply), c.rows) << c.name;
}

class RemoteSql : public ClockFixed {
protected:
    void SetUp() override
    {
        SetClock([] { return At(2024, 1, 5, 10, 20, 30); });
        services.Install();
    }
    FakeServices services;
};

TEST_F(RemoteSql, RowsOfAQuery)
{
    const QString sql = QStringLiteral("SELECT `trdat`,`opprice` FROM `sp_2024_00` WHERE `sid`=5 AND `trdat`>'2024-01-01'");
    services.SetSqlAnswer(QStringLiteral("`sid`=5"), FakeServices::SqlRowsBody({"trdat", "opprice"},
                                                                                {{"2024-01-02", "10.5"},
                                                                                 {"2024-01-03", "10.7"}}));
    QStringList rows;
    EXPECT_EQ(ExecRemoteSql(sql, rows), 2);
    EXPECT_EQ(rows, QStringList({"2", "trdat⊙opprice", "2024-01-02⊙10.5", "2024-01-03⊙10.7"}));

    const auto requests = services.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].sql, sql);
    EXPECT_EQ(requests[0].params.find("vtime")->second, "2024-01-05 10:20:30");
    EXPECT_EQ(requests[0].params.find("validate")->second, "2629");
}

TEST_F(RemoteSql, CountZeroAndShortReplies)
{
    services.SetSqlAnswer(QStringLiteral("`sid`=1 "), FakeServices::SqlRowsBody({"h"}, {}));
    services.SetSqlAnswer(QStringLiteral("`sid`=2 "), FakeServices::SqlRowsBody({"h"}, {{"d", "1"}}, 4));
    services.SetSqlAnswer(QStringLiteral("`sid`=3 "), FakeServices::SqlRowsBody({"h"}, {{"a"}, {"b"}, {"c"}}, 2));
    services.SetSqlAnswer(QStringLiteral("`sid`=4 "), QStringLiteral("操作成功 返回条数:0§§<BR>"));
    QStringList rows;
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("SELECT x WHERE `sid`=1 "), rows), 0);
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("SELECT x WHERE `sid`=2 "), rows), 1);
    EXPECT_EQ(rows, QStringList({"4", "h", "d⊙1"}));
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("SELECT x WHERE `sid`=3 "), rows), 2);
    EXPECT_EQ(rows, QStringList({"2", "h", "a", "b"}));
    // Success without even the first row: no rows, but no failure either.
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("SELECT x WHERE `sid`=4 "), rows), 0);
}

TEST_F(RemoteSql, FailuresGiveMinusOneAndOneEmptyRow)
{
    services.SetSqlAnswer(QStringLiteral("nosuccess"), QStringLiteral("返回条数:1§§<BR>h⊙§§<BR>a⊙§§<BR>"));
    services.SetSqlAnswer(QStringLiteral("failing"), QStringLiteral("操作成功 ERROR:syntax<BR>"));
    for (const char *sql : {"nosuccess", "failing", "unknown table"}) {
        QStringList rows = {"old", "rows"};
        EXPECT_EQ(ExecRemoteSql(QString::fromUtf8(sql), rows), -1) << sql;
        EXPECT_EQ(rows, QStringList({""})) << sql;
    }
}

TEST_F(RemoteSql, MalformedRepliesGiveMinusOne)
{
    const QString body = FakeServices::SqlRowsBody({"h"}, {{"a"}});
    services.SetSqlAnswer(QStringLiteral("q"), body);
    const FakeFault::Kind faults[] = {FakeFault::ErrorReply, FakeFault::ErrorNoLineEnd, FakeFault::NoSuccessWord,
                                      FakeFault::NoEndMarker, FakeFault::Status500};
    for (const FakeFault::Kind kind : faults) {
        services.AddFault(QStringLiteral("q"), FakeFault{kind});
        QStringList rows = {"old"};
        EXPECT_EQ(ExecRemoteSql(QStringLiteral("q"), rows), -1) << kind;
        EXPECT_EQ(rows, QStringList({""})) << kind;
        EXPECT_EQ(DataService().last, HttpOutcome::ErrorReply) << kind;  // answered, with no result
    }
    // The faults are used up: the same query succeeds again.
    QStringList rows;
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("q"), rows), 1);
    EXPECT_EQ(DataService().last, HttpOutcome::Answered);

    // An error mark with nothing after it but the end marker still fails.
    services.SetSqlReply(QStringLiteral("bare"), QByteArray("[=START=]<BR>操作成功 ERROR:[=END=]"));
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("bare"), rows), -1);
}

class RemoteSqlWaits : public RemoteSql {
protected:
    void TearDown() override
    {
        HttpLimits() = HttpTimeLimits();
        SetHttpWaitHook(nullptr);
        SetIndicatorShown(false);
        RemoteSql::TearDown();
    }
    // The bounds on a query's time are at least 20 times what it takes on an idle machine (one given
    // up at a time-out of 1 s takes 1.01 s in the sanitizer build), and below the 30 s after which a
    // query times out and the minute the answers they guard against come late (the server cuts the
    // wait short when it stops).
    static constexpr int kLateMs = 60000;
    static constexpr long long kBoundMs = 25000;
    // Runs the query and returns how long it took, in ms.
    long long TimedQuery(long &result)
    {
        QStringList rows = {"old"};
        const auto start = std::chrono::steady_clock::now();
        result = ExecRemoteSql(QStringLiteral("slow"), rows);
        EXPECT_EQ(rows, QStringList({""}));
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(RemoteSqlWaits, TimeOutGivesMinusOne)
{
    HttpLimits().defaultSeconds = 1;
    services.SetSqlAnswer(QStringLiteral("slow"), FakeServices::SqlRowsBody({"h"}, {{"a"}}));
    services.AddFault(QStringLiteral("slow"), FakeFault{FakeFault::None, kLateMs});
    long result = 0;
    const long long ms = TimedQuery(result);
    EXPECT_EQ(result, -1);
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, kBoundMs);
}

TEST_F(RemoteSqlWaits, ClosingTheProgressWindowGivesMinusOne)
{
    services.SetSqlAnswer(QStringLiteral("slow"), FakeServices::SqlRowsBody({"h"}, {{"a"}}));
    services.AddFault(QStringLiteral("slow"), FakeFault{FakeFault::None, kLateMs});
    SetIndicatorShown(true);
    const auto start = std::chrono::steady_clock::now();
    SetHttpWaitHook([start](const HttpWait &) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(200))
            SetIndicatorShown(false);
    });
    long result = 0;
    const long long ms = TimedQuery(result);
    EXPECT_EQ(result, -1);
    EXPECT_LT(ms, kBoundMs);
}

class DataServiceAddress : public ::testing::Test {
protected:
    void SetUp() override { SetDataServiceBase(QString()); }
    void TearDown() override
    {
        PointServicesAtClosedPort();
        SetDataServiceBase(QString());
        SetClock(nullptr);
    }
};

TEST_F(DataServiceAddress, DefaultEnvironmentAndSetAddress)
{
    EXPECT_EQ(DataServiceBase(), ClosedServiceBase() + QStringLiteral("/gupiao/"));
    qunsetenv("KELVARO_DATA_URL");
    EXPECT_EQ(DataServiceBase(), QStringLiteral("http://127.0.0.1:8088/gupiao/"));
    qputenv("KELVARO_DATA_URL", "  ");
    EXPECT_EQ(DataServiceBase(), QStringLiteral("http://127.0.0.1:8088/gupiao/"));
    qputenv("KELVARO_DATA_URL", "http://10.1.2.3:9000/gupiao");
    EXPECT_EQ(DataServiceBase(), QStringLiteral("http://10.1.2.3:9000/gupiao/"));
    SetDataServiceBase(QStringLiteral("http://127.0.0.1:1/x/"));
    EXPECT_EQ(DataServiceBase(), QStringLiteral("http://127.0.0.1:1/x/"));
    SetDataServiceBase(QString());
    EXPECT_EQ(DataServiceBase(), QStringLiteral("http://10.1.2.3:9000/gupiao/"));
}

TEST_F(DataServiceAddress, QueriesGoWhereTheEnvironmentSays)
{
    FakeServices services;
    services.SetSqlAnswer(QStringLiteral("q"), FakeServices::SqlRowsBody({"h"}, {{"a"}}));
    qputenv("KELVARO_DATA_URL", services.DataBase().toUtf8());
    QStringList rows;
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("q"), rows), 1);
    ASSERT_EQ(services.Requests().size(), 1u);
    EXPECT_EQ(services.Requests()[0].path, "/gupiao/Disp/ExeSQL.php");
}

TEST(RemoteSqlTransport, NoReplyGivesMinusOne)
{
    CannedTransport transport;
    transport.Fail();
    QStringList rows = {"old"};
    EXPECT_EQ(ExecRemoteSql(QStringLiteral("SELECT 1"), rows), -1);
    EXPECT_EQ(rows, QStringList({""}));
    ASSERT_EQ(transport.requests.size(), 1u);
    EXPECT_EQ(transport.requests[0].body, QByteArray("sql=SELECT 1"));
}

}  // namespace
