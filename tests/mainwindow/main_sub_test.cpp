// Start-up, restart, the schema upgrade and the single-instance lock.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <memory>

#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QStringList>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "mainwindow/main_sub.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/prompter.h"
#include "storage/db_operate.h"
#include "storage/params.h"

namespace {

// Runs raw SQLite statements on ACC.MDB (schema changes the Jet dialect has no words for).
void RawSql(const char *sql)
{
    DbConnection conn;
    ASSERT_TRUE(OpenConn(conn));
    char *err = nullptr;
    ASSERT_EQ(sqlite3_exec(conn.Handle(), sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

QString SidOf(const QString &code)
{
    return LookupField(QStringLiteral("account"), MakeString(code), QStringLiteral("code"), QStringLiteral("sid"));
}

// Replaces every start-up step and both window hooks by recorders.
class StepRecorder {
public:
    QStringList calls;
    double recalcFrom = -1;
    double downloadedFrom = 0;  // what the download step reports

    StepRecorder()
    {
        StartupSteps s;
        s.upgradeDatabase = Record("upgrade");
        s.getLastQuoteDate = Record("lastQuoteDate");
        s.downloadAllHistory = [this] {
            calls << QStringLiteral("download");
            return downloadedFrom;
        };
        s.rebuildLastClosePrices = Record("lastClose");
        s.loadFormParams = Record("formParams");
        s.loadSysParams = Record("sysParams");
        s.rebuildQuoteList = Record("quotes");
        s.recalcDeelRes = [this](double d) {
            calls << QStringLiteral("recalc");
            recalcFrom = d;
        };
        CurrentStartupSteps() = s;
        SetMainWindowStartupHooks(Record("windowLoad"), Record("windowShow"));
    }
    ~StepRecorder()
    {
        CurrentStartupSteps() = DefaultStartupSteps();
        SetMainWindowStartupHooks(nullptr, nullptr);
    }
    std::function<void()> Record(const char *name)
    {
        return [this, name] { calls << QString::fromLatin1(name); };
    }
};

class MainSubTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(20, 0)); });
    }
    void TearDown() override
    {
        ReleaseInstanceLock();
        DbFixture::TearDown();
    }
};

TEST_F(MainSubTest, UpgradeAddsSidFromCompanyInfoOnceAndOnlyOnce)
{
    RawSql("ALTER TABLE account DROP COLUMN sid");
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2024-01-10#,10,100,100)");
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('999999','无此股',#2024-01-11#,5,100,100)");
    ASSERT_FALSE(FieldExists("account", "sid"));

    UpgradeDatabase();
    EXPECT_TRUE(FieldExists("account", "sid"));
    EXPECT_EQ(SidOf("600000"), "148");
    EXPECT_EQ(SidOf("999999"), "0");

    // The field exists now: a second start leaves every value alone, even a 0 it would have filled.
    ExecSql("UPDATE account SET sid=0 WHERE code='600000'");
    UpgradeDatabase();
    EXPECT_EQ(SidOf("600000"), "0");
}

TEST_F(MainSubTest, FailedUpgradeLeavesTheFieldMissingSoTheNextStartRetries)
{
    RawSql("ALTER TABLE account DROP COLUMN sid");
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2024-01-10#,10,100,100)");
    RawSql("ALTER TABLE companyinfo RENAME TO companyinfo_away");

    UpgradeDatabase();  // the fill cannot join: the column goes with it
    EXPECT_FALSE(FieldExists("account", "sid"));

    RawSql("ALTER TABLE companyinfo_away RENAME TO companyinfo");
    UpgradeDatabase();
    EXPECT_EQ(SidOf("600000"), "148");
}

TEST_F(MainSubTest, SecondInstanceIsRefusedBeforeAnythingRuns)
{
    QLockFile other(InstanceLockPath());
    ASSERT_TRUE(other.tryLock(0));
    StepRecorder steps;

    EXPECT_EQ(Main(), 1);
    EXPECT_EQ(prompter.Messages(), QStringList{kAlreadyRunningText});
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].style, Msg::OkOnly);
    EXPECT_TRUE(steps.calls.isEmpty());
}

TEST_F(MainSubTest, LockLeftByADeadProcessIsTakenOver)
{
    // A child process takes the lock and ends without releasing it.
    const QString path = InstanceLockPath();
    EXPECT_EXIT(
        {
            QLockFile held(path);
            _exit(held.tryLock(0) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    ASSERT_TRUE(QFile::exists(path));

    EXPECT_TRUE(AcquireInstanceLock());
    QLockFile second(InstanceLockPath());
    EXPECT_FALSE(second.tryLock(0));
}

TEST_F(MainSubTest, StartUpRunsItsStepsInOrder)
{
    StepRecorder steps;
    EXPECT_EQ(Main(), 0);
    EXPECT_EQ(steps.calls, (QStringList{"upgrade", "lastQuoteDate", "download", "lastClose", "formParams", "windowLoad",
                                        "sysParams", "quotes", "recalc", "windowShow"}));
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2024, 5, 20));  // empty DeelRes: today
}

TEST_F(MainSubTest, RestartSkipsTheLockTheQuoteDateAndTheLastClosesButUpgrades)
{
    StepRecorder steps;
    ExecSql("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-16#,1,0,1)");
    ExecSql("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-17#,1,0,1)");
    RestartData();
    EXPECT_EQ(steps.calls, (QStringList{"upgrade", "download", "formParams", "sysParams", "quotes", "recalc"}));
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2024, 5, 17));
}

// Days valued before their prices were downloaded are valued again: the recomputation starts at the
// earliest day the download stored when that precedes the newest asset row.
TEST_F(MainSubTest, RecalcStartsNoLaterThanTheEarliestDayDownloaded)
{
    ExecSql("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-16#,1,0,1)");
    ExecSql("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-17#,1,0,1)");
    struct Case {
        double downloaded;  // 0: nothing stored
        double from;
    };
    const Case cases[] = {
        {0, DayNumberOf(2024, 5, 17)},
        {DayNumberOf(2024, 5, 10), DayNumberOf(2024, 5, 10)},
        {DayNumberOf(2024, 5, 17), DayNumberOf(2024, 5, 17)},
        {DayNumberOf(2024, 5, 20), DayNumberOf(2024, 5, 17)},
    };
    for (const bool restart : {false, true}) {
        for (const Case &c : cases) {
            StepRecorder steps;
            steps.downloadedFrom = c.downloaded;
            if (restart)
                RestartData();
            else
                EXPECT_EQ(Main(), 0);
            EXPECT_EQ(steps.recalcFrom, c.from) << (restart ? "restart " : "start ") << c.downloaded;
            ReleaseInstanceLock();
        }
    }
    // Without asset rows there is nothing to value again: from today.
    ExecSql("DELETE * FROM DeelRes");
    StepRecorder steps;
    steps.downloadedFrom = DayNumberOf(2024, 5, 10);
    RestartData();
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2024, 5, 20));
}

// A restored file without saved settings must not be recomputed with the settings of the file it
// replaced: the restart reads the settings afresh, as a start does.
TEST_F(MainSubTest, RestartForgetsTheSettingsTheNewFileLacks)
{
    StepRecorder steps;
    CurrentStartupSteps().loadFormParams = [] { LoadFormParams(); };
    SaveParam("FPAR_SysSet_tt", "500000【⊙】0.25【⊙】2【⊙】0【⊙】10");
    SaveParam("FPAR_MSFViewSet_tt", "1【⊙】2");
    ResetFormParamSets();
    LoadFormParams();
    ASSERT_EQ(SysSetParams().tt.size(), 5u);
    // the restored file has grid settings only
    ExecSql("DELETE * FROM 参数 WHERE Var='FPAR_SysSet_tt'");
    RestartData();
    EXPECT_TRUE(SysSetParams().tt.empty());
    EXPECT_EQ(MSFViewSetParams().tt, (std::vector<QString>{"1", "2"}));
}

TEST_F(MainSubTest, LoadFormParamsFillsTheFourRecordsFromOneQuery)
{
    SaveParam("FPAR_SysSet_tt", "100000【⊙】0.25【⊙】2【⊙】0【⊙】10");
    SaveParam("FPAR_MF_chk", "1【⊙】0【⊙】1【⊙】0");
    SaveParam("FPAR_KTradeDispSet_tt", "255");
    SaveParam("FPAR_MSFViewSet_tt", "1【⊙】2");
    SaveParam("other", "x");
    ResetFormParamSets();
    LoadFormParams();
    EXPECT_EQ(SysSetParams().tt.size(), 5u);
    EXPECT_EQ(MFParams().chk, (std::vector<QString>{"1", "0", "1", "0"}));
    EXPECT_EQ(KTradeDispSetParams().tt, std::vector<QString>{"255"});
    EXPECT_EQ(MSFViewSetParams().tt, (std::vector<QString>{"1", "2"}));
}

// The real steps against services that do not answer: start-up still comes through, in order and
// well inside the network time limits.
TEST_F(MainSubTest, StartUpWithUnreachableServicesDoesNotHang)
{
    QStringList calls;
    const StartupSteps real = DefaultStartupSteps();
    auto wrap = [&calls](const char *name, std::function<void()> step) {
        return std::function<void()>([&calls, name, step] {
            calls << QString::fromLatin1(name);
            if (step)
                step();
        });
    };
    // Both services on a port where nothing listens any more.
    QString base;
    {
        FakeServices gone;
        base = gone.BaseUrl();
    }
    const QString oldQuoteBase = QuoteServiceBase();
    const QString oldDataBase = DataServiceBase();
    SetQuoteServiceBase(base + QStringLiteral("/hq"));
    SetDataServiceBase(base + QStringLiteral("/gupiao/"));
    StartupSteps s = real;
    s.getLastQuoteDate = wrap("lastQuoteDate", real.getLastQuoteDate);
    s.downloadAllHistory = [&calls, step = real.downloadAllHistory] {
        calls << QStringLiteral("download");
        return step();
    };
    s.rebuildLastClosePrices = wrap("lastClose", real.rebuildLastClosePrices);
    s.rebuildQuoteList = wrap("quotes", real.rebuildQuoteList);
    CurrentStartupSteps() = s;
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2024-01-10#,10,100,100)");

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Main(), 0);
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_EQ(calls, (QStringList{"lastQuoteDate", "download", "lastClose", "quotes"}));
    CurrentStartupSteps() = DefaultStartupSteps();
    SetQuoteServiceBase(oldQuoteBase);
    SetDataServiceBase(oldDataBase);
}

// The real steps against the fake services: a start after the close of a trading day downloads the
// book's history, fills the last closes and the quote cache, and values today's row of the asset
// table at the live price.
TEST_F(MainSubTest, StartUpWithFakedServicesFetchesPricesAndValuesTheBook)
{
    const QDate today(2025, 3, 14);  // a Friday
    SetClock([today] { return QDateTime(today, QTime(20, 0)); });
    FakeServices services;
    services.Install();
    auto history = std::make_shared<FakeHistory>(QDate(2024, 1, 2), today, std::vector<long>{148});
    services.ServeHistory(history);
    services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 3000,
                                                                            3010, 3020, 2990, QStringLiteral("2025-03-14")));
    services.SetQuote(QStringLiteral("sh600000"), FakeServices::QuoteFields(QStringLiteral("浦发银行"), 10, 10, 10.5,
                                                                            10.6, 9.9, QStringLiteral("2025-03-14")));
    ResetQuoteCache();
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2025-03-03#,10,1000,1000)");

    EXPECT_EQ(Main(), 0);

    // history of the stock and the index, today's close included after four o'clock
    DbConnection conn;
    ASSERT_TRUE(OpenConn(conn));
    for (const char *table : {"H_600000", "H_1A0001"}) {
        RecordSet rs;
        ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT MAX(trdat) AS d, COUNT(*) AS n FROM ") +
                                      QString::fromLatin1(table)))
            << table;
        EXPECT_GT(rs.Field("n").ToDouble(), 200) << table;
        EXPECT_EQ(rs.Field("d").ToDouble(), DayNumberOf(2025, 3, 14)) << table;
    }
    EXPECT_GT(LookupField(QStringLiteral("LastClprice"), MakeString(QStringLiteral("600000")), QStringLiteral("code"),
                          QStringLiteral("clprice"))
                  .toDouble(),
              0);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("600000")), 10.5);
    // today's asset row: the shares at the live price
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT dat, cash, scash, sm FROM DeelRes ORDER BY dat DESC")));
    ASSERT_FALSE(rs.AtEOF());
    EXPECT_EQ(rs.Field("dat").ToDouble(), DayNumberOf(2025, 3, 14));
    EXPECT_DOUBLE_EQ(rs.Field("scash").ToDouble(), 10500);
    EXPECT_DOUBLE_EQ(rs.Field("sm").ToDouble(), rs.Field("cash").ToDouble() + 10500);
    ResetQuoteCache();
}

}  // namespace
