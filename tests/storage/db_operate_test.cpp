// The database procedures: their results with and without rows, on missing tables, the error log
// and the text files.
#include <thread>

#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "fixtures/db_fixture.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "storage/compact.h"
#include "storage/db_operate.h"

namespace {

class DbOperateTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 3, 5), QTime(9, 8, 7)); });
    }
    void AddTrades()
    {
        Exec(QStringLiteral("INSERT INTO account(code,sname,num,bdate) VALUES('600000','浦发银行',100,#2024-01-05#)"));
        Exec(QStringLiteral("INSERT INTO account(code,sname,num,bdate) VALUES('000001','平安银行',200,#2024-01-03#)"));
        Exec(QStringLiteral("INSERT INTO account(code,sname,num,bdate) VALUES('600000','浦发银行',300,#2024-01-05#)"));
    }
};

TEST_F(DbOperateTest, ResultsWithoutRows)
{
    QString sql;
    EXPECT_EQ(GetFieldValue(QStringLiteral("account"), QStringLiteral("id=99"), QStringLiteral("num"), kAccDb, sql,
                            MakeLong(-1)),
              MakeLong(-1));
    EXPECT_EQ(sql, QStringLiteral("SELECT TOP 1 num FROM account WHERE id=99"));
    EXPECT_EQ(LookupField(QStringLiteral("参数"), MakeString(QStringLiteral("none")), QStringLiteral("Var"),
                          QStringLiteral("Con")),
              QString());
    EXPECT_EQ(CountRecords(QStringLiteral("account"), QString()), 0);
    EXPECT_EQ(CountGroups(QStringLiteral("account"), QStringLiteral("code"), QString()), 0);
    EXPECT_EQ(GetGroupList(QStringLiteral("account"), QStringLiteral("code"), QString()), QStringList{QString()});
    EXPECT_EQ(GetRecordFields(QStringLiteral("account"), QStringLiteral("id=1"), QStringLiteral("num,,bprice")),
              (QStringList{QStringLiteral("num"), QString(), QStringLiteral("bprice")}));
    std::vector<Value> values;
    LoadGroupValues(values, QStringLiteral("account"), QStringLiteral("code"), QString(), kAccDb,
                    QStringLiteral("1A0001"));
    EXPECT_EQ(values, std::vector<Value>{MakeString(QStringLiteral("1A0001"))});
    EXPECT_EQ(LogBytes(), QByteArray());
}

TEST_F(DbOperateTest, ResultsOnAMissingTableAreLoggedAndEmpty)
{
    const QString t = QStringLiteral("nosuch");
    QString sql;
    std::vector<Value> values;
    std::vector<long> seconds;
    // every procedure: its result, and one log entry with the statement
    EXPECT_TRUE(GetFieldValue(t, QStringLiteral("id=1"), QStringLiteral("x"), kAccDb, sql, MakeLong(5)).IsEmpty());
    EXPECT_EQ(LookupField(t, MakeLong(1), QStringLiteral("id"), QStringLiteral("x")), QString());
    EXPECT_EQ(CountRecords(t, QStringLiteral("x=1")), 0);
    EXPECT_EQ(CountGroups(t, QStringLiteral("x"), QString()), 0);
    EXPECT_EQ(GetGroupList(t, QStringLiteral("x"), QString(), QStringLiteral("y"), &seconds), QStringList{QString()});
    EXPECT_EQ(seconds, std::vector<long>{0});
    EXPECT_EQ(GetRecordFields(t, QStringLiteral("id=1"), QStringLiteral("a,b")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    LoadGroupValues(values, t, QStringLiteral("x"), QString());
    EXPECT_EQ(values, std::vector<Value>{MakeEmpty()});
    EXPECT_FALSE(FieldExists(t, QStringLiteral("x")));
    EXPECT_EQ(LogEntryCount(), 8);
    const QString log = LogText();
    for (const char *stmt : {"SELECT TOP 1 x FROM nosuch WHERE id=1", "SELECT * FROM nosuch WHERE id=1",
                             "SELECT * FROM nosuch WHERE x=1", "select x,y FROM nosuch GROUP BY x,y ORDER BY x",
                             "SELECT TOP 1 * FROM nosuch"})
        EXPECT_TRUE(log.contains(QString::fromUtf8(stmt))) << stmt;
}

TEST_F(DbOperateTest, QueriesWithRows)
{
    AddTrades();
    QString sql = QStringLiteral("SELECT MAX(num) AS m FROM account");
    EXPECT_EQ(GetFieldValue(QStringLiteral("ignored"), QString(), QStringLiteral("m"), kAccDb, sql, MakeLong(0)),
              MakeLong(300));
    EXPECT_EQ(GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE ORDER BY bdate"), QStringLiteral("bdate"),
                            MakeString(QString())),
              MakeDate(45294));
    EXPECT_EQ(GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code=\"000001\""), QStringLiteral("name"),
                            MakeString(QString())),
              MakeString(QStringLiteral("平安银行")));
    EXPECT_EQ(GetRecordFields(QStringLiteral("account"), QStringLiteral("id=2"), QStringLiteral("num,,bdate,code")),
              (QStringList{QStringLiteral("200"), QString(), QStringLiteral("2024-01-03"), QStringLiteral("000001")}));
    EXPECT_EQ(CountRecords(QStringLiteral("account"), QStringLiteral("code='600000'"), QStringLiteral("id")), 2);
    EXPECT_EQ(CountGroups(QStringLiteral("account"), QStringLiteral("code"), QString()), 2);
    EXPECT_EQ(LookupField(QStringLiteral("account"), MakeLong(3), QStringLiteral("id"), QStringLiteral("num")),
              QStringLiteral("300"));
    EXPECT_EQ(LookupField(QStringLiteral("companyinfo"), MakeString(QStringLiteral("1a0001")), QStringLiteral("code"),
                          QStringLiteral("name")),
              QStringLiteral("上证指数"));

    std::vector<long> nums;
    EXPECT_EQ(GetGroupList(QStringLiteral("account"), QStringLiteral("bdate"), QStringLiteral("num>100"),
                           QStringLiteral("num"), &nums),
              (QStringList{QString(), QStringLiteral("2024-01-03"), QStringLiteral("2024-01-05")}));
    EXPECT_EQ(nums, (std::vector<long>{0, 200, 300}));
    std::vector<Value> values;
    LoadGroupValues(values, QStringLiteral("account"), QStringLiteral("code"), QString(), kAccDb,
                    QStringLiteral("1A0001"));
    EXPECT_EQ(values, (std::vector<Value>{MakeString(QStringLiteral("1A0001")), MakeString(QStringLiteral("000001")),
                                          MakeString(QStringLiteral("600000"))}));
    EXPECT_EQ(LogBytes(), QByteArray());
}

TEST_F(DbOperateTest, GroupListSecondValuesAreRoundedWholeNumbers)
{
    Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-02#,2.5)"));
    Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-03#,3.5)"));
    Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-04#,-2.7)"));
    std::vector<long> cash;
    EXPECT_EQ(GetGroupList(QStringLiteral("DeelRes"), QStringLiteral("dat"), QString(), QStringLiteral("cash"), &cash),
              (QStringList{QString(), QStringLiteral("2024-01-02"), QStringLiteral("2024-01-03"),
                           QStringLiteral("2024-01-04")}));
    EXPECT_EQ(cash, (std::vector<long>{0, 2, 4, -3}));
    EXPECT_EQ(LogBytes(), QByteArray());

    // a number no whole-number element holds fails the list, with one entry in the log
    Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-05#,3e9)"));
    EXPECT_EQ(GetGroupList(QStringLiteral("DeelRes"), QStringLiteral("dat"), QString(), QStringLiteral("cash"), &cash),
              QStringList{QString()});
    EXPECT_EQ(cash, std::vector<long>{0});
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Overflow\r\nselect dat,cash FROM DeelRes GROUP BY dat,cash")));
}

TEST_F(DbOperateTest, LookupFieldQuotesATextKey)
{
    Exec(QStringLiteral("INSERT INTO 参数(Var,Con) VALUES('it''s','yes')"));
    EXPECT_EQ(LookupField(QStringLiteral("参数"), MakeString(QStringLiteral("it's")), QStringLiteral("Var"),
                          QStringLiteral("Con")),
              QStringLiteral("yes"));
    EXPECT_EQ(LookupField(QStringLiteral("参数"), MakeString(QStringLiteral("x' OR ''='")), QStringLiteral("Var"),
                          QStringLiteral("Con")),
              QString());
}

TEST_F(DbOperateTest, AddWhereCondition)
{
    const struct {
        const char *sql, *cond, *out;
    } cases[] = {
        {"SELECT * FROM a", " x=1 ", "SELECT * FROM a WHERE x=1"},
        {"SELECT * FROM a where y=2", "x=1", "SELECT * FROM a where y=2 AND x=1"},
        {"SELECT * FROM a WHERE code IN('1')", "(b OR c)", "SELECT * FROM a WHERE code IN('1') AND (b OR c)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AddWhereCondition(QString::fromUtf8(c.sql), QString::fromUtf8(c.cond)), QString::fromUtf8(c.out));
}

TEST_F(DbOperateTest, SchemaQuestionsAreCaseSensitive)
{
    Exec(QStringLiteral("CREATE TABLE H_1A0001(id AUTOINCREMENT,trdat DATE,clprice SINGLE)"));
    Exec(QStringLiteral("CREATE INDEX H_1A0001_trdat ON H_1A0001(trdat)"));
    Exec(QStringLiteral("CREATE TABLE H_600000(id AUTOINCREMENT,trdat DATE)"));
    EXPECT_TRUE(TableExists(QStringLiteral("H_1A0001")));
    EXPECT_FALSE(TableExists(QStringLiteral("h_1A0001")));
    EXPECT_TRUE(TableExists(QStringLiteral("参数")));
    EXPECT_FALSE(TableExists(QStringLiteral("sqlite_sequence")));
    EXPECT_EQ(ListTablesLike(QStringLiteral("H_")),
              (QStringList{QString(), QStringLiteral("H_1A0001"), QStringLiteral("H_600000")}));
    EXPECT_EQ(ListTablesLike(QStringLiteral("h_")), QStringList{QString()});
    EXPECT_TRUE(FieldExists(QStringLiteral("account"), QStringLiteral("sid")));
    EXPECT_FALSE(FieldExists(QStringLiteral("account"), QStringLiteral("SID")));
    EXPECT_TRUE(FieldExists(QStringLiteral("ACCOUNT"), QStringLiteral("code")));

    DropTablesLike(QStringLiteral("H_"));
    EXPECT_EQ(ListTablesLike(QStringLiteral("H_")), QStringList{QString()});
    EXPECT_TRUE(TableExists(QStringLiteral("account")));
    EXPECT_EQ(LogBytes(), QByteArray());
}

TEST_F(DbOperateTest, SchemaQuestionsOnAMissingFile)
{
    QFile::remove(PathOf(QStringLiteral("ACC.MDB")));
    EXPECT_FALSE(TableExists(QStringLiteral("account")));
    EXPECT_EQ(ListTablesLike(QStringLiteral("a")), QStringList{QString()});
    EXPECT_FALSE(FieldExists(QStringLiteral("account"), QStringLiteral("id")));
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("ACC.MDB"))));  // never created by opening
    EXPECT_EQ(LogEntryCount(), 3);
    // a statement lost with its connection is logged too, after the connection's own entry
    EXPECT_FALSE(ExecSql(QStringLiteral("DELETE * FROM LastPrice")));
    EXPECT_EQ(LogEntryCount(), 5);
    EXPECT_TRUE(LogText().endsWith(QStringLiteral("unable to open database file\r\nDELETE * FROM LastPrice\r\n")));
}

TEST_F(DbOperateTest, AddFieldIfMissing)
{
    AddTrades();
    AddFieldIfMissing(QStringLiteral("account"), QStringLiteral("code"), QStringLiteral("STRING"));
    AddFieldIfMissing(QStringLiteral("account"), QStringLiteral("closed"), QStringLiteral("DATE"));
    AddFieldIfMissing(QStringLiteral("account"), QStringLiteral("note"), QStringLiteral("STRING"));
    AddFieldIfMissing(QStringLiteral("account"), QStringLiteral("lots"), QStringLiteral("LONG"));
    AddFieldIfMissing(QStringLiteral("nosuch"), QStringLiteral("x"), QStringLiteral("LONG"));
    EXPECT_EQ(LogEntryCount(), 1);  // only the probe of the missing table

    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT * FROM account ORDER BY id")));
    ASSERT_EQ(rs.FieldCount(), 17);
    EXPECT_EQ(rs.FieldInfo(14).name, QStringLiteral("closed"));
    for (; !rs.AtEOF(); rs.MoveNext()) {
        EXPECT_EQ(rs.Field(QStringLiteral("closed")), MakeDate(2));
        EXPECT_EQ(rs.Field(QStringLiteral("note")), MakeString(QString()));
        EXPECT_EQ(rs.Field(QStringLiteral("lots")), MakeLong(0));
    }
    EXPECT_EQ(rs.RecordCount(), 3);
    CloseRs(conn, rs);
    EXPECT_EQ(CountRecords(QStringLiteral("account"), QStringLiteral("code='600000' AND bdate>=#2024-1-5#")), 2);
}

TEST_F(DbOperateTest, ExecSqlReportsAndRefusesASecondStatement)
{
    AddTrades();
    EXPECT_TRUE(ExecSql(QStringLiteral("UPDATE account SET sdate=#1900-1-1# WHERE sprice=0")));
    EXPECT_FALSE(ExecSql(QStringLiteral("DELETE * FROM account; DROP TABLE 参数")));
    EXPECT_FALSE(ExecSql(QStringLiteral("UPDATE account SET memo=code & sname")));
    EXPECT_EQ(CountRecords(QStringLiteral("account"), QString()), 3);
    EXPECT_TRUE(TableExists(QStringLiteral("参数")));
    EXPECT_EQ(LogEntryCount(), 2);
    EXPECT_TRUE(LogText().contains(QStringLiteral("DELETE * FROM account; DROP TABLE 参数")));

    // on a connection of the caller
    DbConnection conn;
    ASSERT_TRUE(OpenConn(conn));
    EXPECT_TRUE(ExecSql(QStringLiteral("DELETE * FROM account WHERE id=1"), &conn));
    EXPECT_EQ(CountRecords(QStringLiteral("account"), QString()), 2);
}

TEST_F(DbOperateTest, LogEntryOfAFailedStatement)
{
    EXPECT_FALSE(ExecSql(QStringLiteral("DELETE * FROM 不存在 WHERE x=1")));
    const QString expected = QStringLiteral("\r\n\r\n2024-03-05 09:08:07\r\n1:no such table: 不存在\r\n"
                                            "DELETE * FROM 不存在 WHERE x=1\r\n");
    EXPECT_EQ(LogBytes(), EncodeGbk(expected));
    EXPECT_EQ(LogBytes().mid(0, 4), QByteArray("\r\n\r\n"));
    // a second entry is appended after the first
    EXPECT_FALSE(ExecSql(QStringLiteral("DELETE * FROM 不存在 WHERE x=1")));
    EXPECT_EQ(LogBytes(), EncodeGbk(expected + expected));
}

TEST_F(DbOperateTest, LogEntryOfAFailedConnection)
{
    DbConnection conn;
    EXPECT_FALSE(OpenConn(conn, QStringLiteral("missing.mdb")));
    EXPECT_FALSE(conn.IsOpen());
    EXPECT_EQ(LogBytes(), QByteArray("\r\n\r\n2024-03-05 09:08:07\r\n14:unable to open database file\r\n"));
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("missing.mdb"))));
}

// Damage, a disk I/O error and a full disk reach the user once per run each, besides the log, naming
// the book; the damage message names the newest kept copy and ending is the user's choice. Other
// failures are only logged.
TEST_F(DbOperateTest, DamageAndDiskFailuresAreToldOncePerRun)
{
    int ends = 0;
    SetDbDamageEnd([&ends] { ++ends; });
    WatchDbFailures();
    QFile kept(PathOf("acc0001.mdb"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    const DbError ioError{SQLITE_IOERR_WRITE, "disk I/O error", false};
    // The idle handle, lent to every operation, may not grow the file by a page (the limit cannot go
    // below the pages in use).
    auto fillTheDisk = [] {
        DbConnection conn;
        ASSERT_TRUE(conn.Open(ProgramFilePath(kAccDb), true));
        ASSERT_TRUE(conn.ExecuteNative("PRAGMA max_page_count=1"));
    };
    auto bigRow = [] { return ExecSql("INSERT INTO 参数 (Var,Con) VALUES ('x','" + QString(20000, u'x') + "')"); };
    struct Case {
        const char *what;
        std::function<void()> fail;
        const char *said;  // "": nothing shown
        int answer;
    };
    const Case cases[] = {
        {"missing table", [] { ExecSql("DELETE * FROM 不存在"); }, "", 0},
        {"disk full", [&] { fillTheDisk(); EXPECT_FALSE(bigRow()); }, "磁盘已满", 0},
        {"disk full again", [&] { EXPECT_FALSE(bigRow()); }, "", 0},
        {"disk I/O error", [&] { LogDbError(ioError, "UPDATE x"); }, "磁盘出错", 0},
        {"disk I/O error again", [&] { LogDbError(ioError); }, "", 0},
        {"damaged page, go on", [this] {
             ZeroTablePage(PathOf("ACC.MDB"), "companyinfo");
             EXPECT_EQ(CountRecords("companyinfo", ""), 0);
         }, "已经损坏", Msg::Yes},
        {"damaged page again", [] { CountRecords("companyinfo", ""); }, "", 0},
        {"a new run, end", [] {
             WatchDbFailures();
             CountRecords("companyinfo", "");
         }, "已经损坏", Msg::No},
    };
    const int entriesBefore = LogEntryCount();
    int failures = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        prompter.messageAnswers = {c.answer};
        c.fail();
        ++failures;
        if (!*c.said) {
            EXPECT_TRUE(prompter.shown.empty()) << prompter.Messages().join('\n').toStdString();
            continue;
        }
        ASSERT_EQ(prompter.Messages().size(), 1);
        const QString text = prompter.Messages()[0];
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.said))) << text.toStdString();
        EXPECT_TRUE(text.contains(PathOf("ACC.MDB"))) << text.toStdString();
        if (c.answer) {
            EXPECT_TRUE(text.contains(PathOf("acc0001.mdb"))) << text.toStdString();
            EXPECT_EQ(prompter.shown[0].style, Msg::YesNo + Msg::Critical);
        }
    }
    EXPECT_EQ(ends, 1);
    EXPECT_GE(LogEntryCount() - entriesBefore, failures) << "every failure is logged as before";
}

TEST_F(DbOperateTest, OpenRsWaitsForAFileInUse)
{
    SetDbRetryTiming(DbRetryTiming{10, 0, 0, 0});
    SetDbBusyTimeoutMs(1);
    // The lock is taken as another process would take it, which the idle connection would refuse.
    IdleConnectionPause pause;
    auto locker = std::make_unique<DbConnection>();
    ASSERT_TRUE(locker->Open(PathOf(QStringLiteral("ACC.MDB"))));
    ASSERT_TRUE(locker->ExecuteNative(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
    ASSERT_TRUE(locker->Execute(QStringLiteral("UPDATE companyinfo SET py=py")));

    // held throughout: ten retries, then one entry with the SQL
    DbConnection conn;
    RecordSet rs;
    EXPECT_FALSE(OpenRs(conn, rs, QStringLiteral("SELECT * FROM companyinfo")));
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().endsWith(QStringLiteral("\r\nSELECT * FROM companyinfo\r\n")));
    EXPECT_EQ(CountRecords(QStringLiteral("companyinfo"), QString()), 0);

    // released during the waits (the ten last 20 times as long as the lock is held): the query succeeds
    // without a log entry
    SetDbRetryTiming(DbRetryTiming{200, 0, 0, 0});
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        locker.reset();
    });
    EXPECT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT * FROM companyinfo")));
    release.join();
    EXPECT_GT(rs.RecordCount(), 300);
    EXPECT_EQ(LogEntryCount(), 2);
}

// Waiting helps only a file in use: a file that is no database, a folder, a missing file, one under a
// regular file or a read-only one fails at once, without letting a single event through; a file held
// by another connection is waited for.
TEST_F(DbOperateTest, OnlyAFileInUseIsWaitedFor)
{
    SetDbRetryTiming(DbRetryTiming{10, 1, 0, 0});
    SetDbBusyTimeoutMs(1);
    const QString random = PathOf(QStringLiteral("random.mdb"));
    {
        QFile f(random);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(8192, 0);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
        f.write(bytes);
    }
    ASSERT_TRUE(QDir(Folder()).mkdir(QStringLiteral("folder.mdb")));
    ASSERT_TRUE(QFile::copy(PathOf(QStringLiteral("ACC.MDB")), PathOf(QStringLiteral("plain"))));
    struct Case {
        QString file;
        bool opens;  // reads work, only writes fail
    };
    std::vector<Case> cases = {
        {QStringLiteral("random.mdb"), false},
        {QStringLiteral("folder.mdb"), false},
        {QStringLiteral("missing.mdb"), false},
        {QStringLiteral("plain/ACC.MDB"), false},
    };
    if (geteuid() != 0) {  // permission bits do not stop root
        ASSERT_TRUE(QFile::copy(PathOf(QStringLiteral("ACC.MDB")), PathOf(QStringLiteral("ro.mdb"))));
        ASSERT_TRUE(QFile::setPermissions(PathOf(QStringLiteral("ro.mdb")), QFileDevice::ReadOwner));
        cases.push_back({QStringLiteral("ro.mdb"), true});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        bool eventsRan = false;
        QTimer::singleShot(0, [&] { eventsRan = true; });
        const int before = LogEntryCount();
        DbConnection conn;
        EXPECT_EQ(OpenConn(conn, c.file), c.opens);
        EXPECT_FALSE(ExecSql(QStringLiteral("DELETE * FROM DeelRes"), nullptr, c.file));
        EXPECT_EQ(LogEntryCount(), before + (c.opens ? 1 : 3));  // ExecSql logs its open and its statement
        EXPECT_FALSE(eventsRan);
        QCoreApplication::processEvents();
    }

    // Held by another connection: the first wait lets events through, one of which releases it.
    IdleConnectionPause pause;
    auto locker = std::make_unique<DbConnection>();
    ASSERT_TRUE(locker->Open(PathOf(QStringLiteral("ACC.MDB"))));
    ASSERT_TRUE(locker->ExecuteNative(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
    ASSERT_TRUE(locker->Execute(QStringLiteral("UPDATE companyinfo SET py=py")));
    QTimer::singleShot(0, [&] { locker.reset(); });
    const int before = LogEntryCount();
    DbConnection conn;
    EXPECT_TRUE(OpenConn(conn));
    EXPECT_EQ(locker, nullptr);
    EXPECT_EQ(LogEntryCount(), before);
}

// While the idle connection is held the log files stay between operations, yet each closed
// connection leaves the file itself whole (a byte copy of it is the complete database); it is lent to
// one connection at a time; a compaction that puts a new file in its place and a file overwritten in
// place are followed; a pause lets go of it, so the log files go.
TEST_F(DbOperateTest, IdleConnectionKeepsTheLogFilesAndTheFileWhole)
{
    const QByteArray savedTmp = qgetenv("TMPDIR");
    ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral("tmp"))));
    qputenv("TMPDIR", PathOf(QStringLiteral("tmp")).toUtf8());
    const QString book = PathOf(QStringLiteral("ACC.MDB"));
    auto copyHolds = [&](int rows) {
        QFile::remove(PathOf(QStringLiteral("copy.mdb")));
        ASSERT_TRUE(QFile::copy(book, PathOf(QStringLiteral("copy.mdb"))));
        EXPECT_EQ(CountRecords(QStringLiteral("DeelRes"), QString(), QStringLiteral("*"), QStringLiteral("copy.mdb")),
                  rows);
    };
    HoldIdleConnection(book);
    EXPECT_EQ(IdleConnectionPath(), book);
    for (int day = 1; day <= 2; ++day) {
        SCOPED_TRACE(day);
        EXPECT_TRUE(
            ExecSql(QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#2024-03-0%1#,1,2,3)").arg(day)));
        EXPECT_TRUE(QFile::exists(book + QStringLiteral("-shm")));
        EXPECT_EQ(QFileInfo(book + QStringLiteral("-wal")).size(), 0);
        copyHolds(day);
        if (day == 1) {
            // compaction replaces the file; the next connection takes the idle one onto the new file
            CompactAccDb(kAccDb);
            EXPECT_EQ(CountRecords(QStringLiteral("DeelRes"), QString(), QStringLiteral("*"), QStringLiteral("backup")),
                      1);
        }
    }
    EXPECT_EQ(IdleConnectionPath(), book);

    // Lent to one connection at a time: one opened meanwhile has a handle of its own, and a
    // transaction left open goes back rolled back.
    {
        DbConnection outer;
        ASSERT_TRUE(OpenConn(outer));
        ASSERT_TRUE(outer.Begin());
        ASSERT_TRUE(outer.Execute(QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#2024-03-09#,1,2,3)")));
        DbConnection inner;
        ASSERT_TRUE(OpenConn(inner));
        EXPECT_NE(inner.Handle(), outer.Handle());
        EXPECT_EQ(CountRecords(QStringLiteral("DeelRes"), QString()), 2);  // not the pending row
    }
    EXPECT_EQ(CountRecords(QStringLiteral("DeelRes"), QString()), 2);

    // A file overwritten in place (another size) is read afresh, not from the handle's cache.
    {
        const QString other = PathOf(QStringLiteral("other.mdb"));
        ASSERT_TRUE(QFile::copy(book, other));
        DbConnection conn;
        ASSERT_TRUE(conn.Open(other));
        ASSERT_TRUE(conn.Begin());
        for (int i = 0; i < 500; ++i)
            ASSERT_TRUE(
                conn.Execute(QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(%1,1,2,3)").arg(40000 + i)));
        ASSERT_TRUE(conn.Commit());
        conn.Close();
        QFile from(other), to(book);
        ASSERT_TRUE(from.open(QIODevice::ReadOnly));
        ASSERT_TRUE(to.open(QIODevice::ReadWrite));
        ASSERT_TRUE(to.resize(0));
        to.write(from.readAll());
    }
    EXPECT_EQ(CountRecords(QStringLiteral("DeelRes"), QString()), 502);
    EXPECT_EQ(IdleConnectionPath(), book);
    {
        IdleConnectionPause pause;
        EXPECT_EQ(IdleConnectionPath(), QString());
        EXPECT_EQ(CountRecords(QStringLiteral("DeelRes"), QString()), 502);
        EXPECT_FALSE(QFile::exists(book + QStringLiteral("-wal")));
        EXPECT_FALSE(QFile::exists(book + QStringLiteral("-shm")));
    }
    EXPECT_EQ(IdleConnectionPath(), book);
    EXPECT_EQ(LogEntryCount(), 0);
    if (savedTmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);
}

TEST_F(DbOperateTest, ReadTextFileOfAGbkFile)
{
    const QString path = PathOf(QStringLiteral("下载.csv"));
    const QString text = QStringLiteral("代码,名称\r\n600000,浦发银行\r\n");
    for (bool deleteAfter : {false, true}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(EncodeGbk(text));
        f.close();
        bool flag = deleteAfter;
        EXPECT_EQ(ReadTextFile(path, flag), text);
        EXPECT_EQ(QFile::exists(path), !deleteAfter);
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(DbOperateTest, ReadTextFileGivesUpAfterAHundredAttempts)
{
    const QString empty = PathOf(QStringLiteral("empty.txt"));
    QFile f(empty);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const QString &path : {empty, PathOf(QStringLiteral("missing.txt"))}) {
        prompter.shown.clear();
        bool flag = true;
        EXPECT_EQ(ReadTextFile(path, flag), QString());
        EXPECT_EQ(prompter.Messages(), QStringList{QStringLiteral("无法打开下载文档：\r\n") + path});
    }
    EXPECT_TRUE(QFile::exists(empty));
}

TEST_F(DbOperateTest, AppendTextWritesGbkLines)
{
    const QString path = PathOf(QStringLiteral("out.txt"));
    AppendText(path, QStringLiteral("上证"));
    AppendText(path, QStringLiteral("a"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), EncodeGbk(QStringLiteral("上证\r\na\r\n")));
}

}  // namespace
