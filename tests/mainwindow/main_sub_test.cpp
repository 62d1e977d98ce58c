// Start-up, restart, the schema upgrade and the single-instance lock.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <memory>
#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QLockFile>
#include <QStringList>
#include <QSysInfo>
#include <QTimeZone>

#include "fixtures/closed_port.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "mainwindow/main_sub.h"
#include "market/calendar.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "records/calc.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
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
        SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
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
    // The running instance's compaction, and what a restore of it may be copying.
    ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral("zCompactTemp"))));
    QFile(PathOf(QStringLiteral("zCompactTemp/zCompactTempFile.mdb"))).open(QIODevice::WriteOnly);
    QFile(PathOf(QStringLiteral("accRestoreAbCdEf.tmp"))).open(QIODevice::WriteOnly);

    EXPECT_EQ(Main(), 1);
    EXPECT_EQ(prompter.Messages(), QStringList{kAlreadyRunningText});
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].style, Msg::OkOnly);
    EXPECT_TRUE(steps.calls.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(PathOf(QStringLiteral("zCompactTemp/zCompactTempFile.mdb"))));
    EXPECT_TRUE(QFileInfo::exists(PathOf(QStringLiteral("accRestoreAbCdEf.tmp"))));
}

// A lock file left by another machine (a home folder shared over the network) names it by host name
// and machine id; Qt never takes it for stale. Start-up names the lock file and that machine, warns,
// and asks, No the default: No ends with the lock as it was, Yes removes it and starts.
TEST_F(MainSubTest, LockLeftOnAnotherMachineIsTakenOverOnlyWhenTheUserSaysSo)
{
    const QString path = InstanceLockPath();
    // What this process writes into a lock file: its id and name, host name, machine id and boot id.
    QList<QByteArray> ours;
    {
        QLockFile probe(PathOf(QStringLiteral("probe.lock")));
        ASSERT_TRUE(probe.tryLock(0));
        QFile f(PathOf(QStringLiteral("probe.lock")));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        ours = f.readAll().split('\n');
        ASSERT_GE(ours.size(), 5);
    }
    // A process id that runs here, with its name: on another machine they say nothing.
    const QByteArray pid = ours[0] + "\n" + ours[1], host = ours[2], id = ours[3];
    ASSERT_FALSE(host.isEmpty());
    const QByteArray otherId = "0123456789abcdef0123456789abcdef";
    struct Case {
        const char *what;
        QByteArray lock;
        int answer;      // 0: no question
        QString named;   // the machine the question names
        bool byId = false;  // only this machine's id tells the lock's machine apart
    };
    const std::vector<Case> cases = {
        {"another host and machine id, No", pid + "\nother-pc\n" + otherId + "\nboot\n", Msg::No, "other-pc"},
        {"another host and machine id, Yes", pid + "\nother-pc\n" + otherId + "\nboot\n", Msg::Yes,
         "other-pc"},
        {"this host's name, another machine id", pid + "\n" + host + "\n" + otherId + "\nboot\n", Msg::Yes,
         QString::fromUtf8(host), true},
        {"another host, no machine id (an older lock)", pid + "\nother-pc\n", Msg::Yes, "other-pc"},
        {"another machine id, no host name", pid + "\n\n" + otherId + "\n", Msg::Yes, otherId, true},
        // A process of this machine that runs: no question.
        {"this machine, its name in capitals", pid + "\n" + host.toUpper() + "\n" + id + "\n" + ours[4] + "\n", 0, ""},
        // A lock file that names nobody, as a power cut right after a start may leave it: asked too.
        {"an empty lock file, No", "", Msg::No, ""},
        {"an empty lock file, Yes", "", Msg::Yes, ""},
        {"a garbled lock file", "\x01\xfe" + pid + "\nother-pc\n", Msg::Yes, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // A machine without a machine id (a container may have none) cannot tell these locks from its own.
        if (c.byId && id.isEmpty())
            continue;
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(c.lock);
        }
        prompter.shown.clear();
        prompter.messageAnswers = {c.answer};
        StepRecorder steps;
        const int rc = Main();
        const bool started = c.answer == Msg::Yes;
        EXPECT_EQ(rc, started ? 0 : 1);
        EXPECT_EQ(steps.calls.size(), started ? 10 : 0);
        ASSERT_EQ(prompter.shown.size(), 1u);
        const PromptRecord &asked = prompter.shown[0];
        if (c.answer) {
            EXPECT_EQ(asked.style, Msg::YesNo + Msg::Exclamation + Msg::DefaultButton2);
            const QString warning = c.named.isEmpty() ? QStringLiteral("是空的或者已经损坏")
                                                      : QStringLiteral("如果程序仍在那台电脑上运行，同时使用会损坏账本");
            for (const QString &part : {path, c.named, warning})
                EXPECT_TRUE(asked.text.contains(part)) << part.toStdString() << "\n" << asked.text.toStdString();
        } else {
            EXPECT_EQ(asked.text, kAlreadyRunningText);
        }
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        if (started) {
            EXPECT_TRUE(f.readAll().startsWith(pid + "\n")) << "the lock is this process's now";
            QLockFile second(path);
            EXPECT_FALSE(second.tryLock(0));
        } else {
            EXPECT_EQ(f.readAll(), c.lock) << "the lock stays as it was";
        }
        ReleaseInstanceLock();
    }
}

// Start-up looks at the book before anything else. A zero-byte or missing file is made anew when
// there is a data folder to make it from, after a question naming the whole copies of the book that
// lie beside it (the compaction's too; files that are no whole book ask nothing); anything else that
// is wrong is said, naming the file (and the newest kept copy of a damaged one), and the program ends
// with the file as it was and no step run.
TEST_F(MainSubTest, StartUpChecksTheBookFirst)
{
    const QString book = PathOf(QStringLiteral("ACC.MDB"));
    const QString data = QStringLiteral(KELVARO_DATA_DIR);
    const QString pristine = PathOf(QStringLiteral("pristine"));
    ASSERT_TRUE(QFile::copy(book, pristine));
    auto write = [&](const QByteArray &bytes) {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    auto withoutTable = [&](const char *table) {
        ASSERT_TRUE(QFile::copy(pristine, book));
        DbConnection conn;
        ASSERT_TRUE(conn.Open(book));
        ASSERT_TRUE(conn.ExecuteNative(QStringLiteral("DROP TABLE ") + QString::fromUtf8(table)));
    };
    QByteArray noise(4096, 0);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 131 + 7) % 256);
    struct Case {
        const char *name;
        std::function<void()> make;
        QString dataFolder;
        QString said;             // "" = starts
        QStringList beside = {};  // copies of the book made beside it, all named by the question
        int answer = 0;           // to the question, when there is one
        bool whole = true;        // the copies are whole books, else empty files
        int junk = 0;             // empty files "junk<n>.dbk" newer than the copies
        bool readOnly = false;    // the copies cannot be written
    };
    std::vector<Case> cases = {
        {"zero bytes", [&] { write(QByteArray()); }, data, QString()},
        {"missing", [] {}, data, QString()},
        {"missing, no data folder", [] {}, QString(), QStringLiteral("文件不存在")},
        {"missing, data folder without the schema", [] {}, PathOf(QStringLiteral("nodata")),
         QStringLiteral("文件不存在")},
        {"zero bytes, no data folder", [&] { write(QByteArray()); }, QString(), QStringLiteral("0 字节")},
        {"random bytes", [&] { write(noise); }, data, QStringLiteral("不是 SQLite 数据库")},
        {"a text file", [&] { write("账本\r\n"); }, data, QStringLiteral("不是 SQLite 数据库")},
        {"damaged", [&] { write(QByteArray("SQLite format 3", 16) + noise); }, data,
         QStringLiteral("不是 SQLite 数据库")},
        {"no account", [&] { withoutTable("account"); }, data, QStringLiteral("不是本软件的账本")},
        {"no 参数", [&] { withoutTable("参数"); }, data, QStringLiteral("不是本软件的账本")},
        {"a folder", [&] { ASSERT_TRUE(QDir().mkdir(book)); }, data, QStringLiteral("是一个文件夹")},
        {"damaged, a backup beside", [&] { write(QByteArray("SQLite format 3", 16) + noise); }, data,
         QStringLiteral("x.dbk"), {"x.dbk"}, 0, false},
        {"missing, a kept book beside, No", [] {}, data, QStringLiteral("acc0001.mdb"), {"acc0001.mdb"}, Msg::No},
        {"zero bytes, a restore's copy beside, No", [&] { write(QByteArray()); }, data,
         QStringLiteral("accRestoreAbCdEf.tmp"), {"accRestoreAbCdEf.tmp"}, Msg::No},
        {"missing, a kept book beside, Yes", [] {}, data, QStringLiteral("acc0001.mdb"), {"acc0001.mdb"}, Msg::Yes},
        {"missing, the compaction's backup and compacted copy beside, No", [] {}, data, QStringLiteral("backup"),
         {"backup", "ACC.MDB.new"}, Msg::No},
        {"missing, a copy in the compaction's folder, No", [] {}, data, QStringLiteral("zCompactTemp"),
         {"zcompacttemp/zCompactTempFile.mdb"}, Msg::No},
        {"missing, only empty files by the names of copies", [] {}, data, QString(),
         {"acc0001.mdb", "ACC.MDB.new", "backup"}, 0, false},
        // What is no database is told at a glance and does not count among the copies looked at.
        {"missing, a kept book behind many newer empty backups, No", [] {}, data, QStringLiteral("acc0001.mdb"),
         {"acc0001.mdb"}, Msg::No, true, 30},
    };
    if (geteuid() != 0) {  // permission bits do not stop root
        cases.push_back({"read-only file",
                         [&] {
                             ASSERT_TRUE(QFile::copy(pristine, book));
                             QFile::setPermissions(book, QFileDevice::ReadOwner);
                         },
                         data, QStringLiteral("文件不能写入")});
        cases.push_back({"read-only folder",
                         [&] {
                             ASSERT_TRUE(QFile::copy(pristine, book));
                             QFile::setPermissions(Folder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
                         },
                         data, QStringLiteral("不能写入，账本无法保存")});
        cases.push_back({"missing, a read-only kept book beside, No", [] {}, data, QStringLiteral("acc0001.mdb"),
                         {"acc0001.mdb"}, Msg::No, true, 0, true});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::setPermissions(Folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(book).removeRecursively();
        QFile::remove(book);
        for (const char *name : {"x.dbk", "acc0001.mdb", "accRestoreAbCdEf.tmp", "backup", "ACC.MDB.new"})
            QFile::remove(PathOf(QString::fromLatin1(name)));
        for (const QString &name : QDir(Folder()).entryList({QStringLiteral("junk*.dbk")}))
            QFile::remove(PathOf(name));
        QDir(PathOf(QStringLiteral("zcompacttemp"))).removeRecursively();
        c.make();
        for (const QString &name : c.beside) {
            QDir().mkpath(QFileInfo(PathOf(name)).absolutePath());
            QFile copy(PathOf(name));
            if (c.whole) {
                ASSERT_TRUE(QFile::copy(pristine, PathOf(name)));
                ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
            } else {
                ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
            }
            copy.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
            if (c.readOnly)
                copy.setPermissions(QFileDevice::ReadOwner);
        }
        for (int n = 0; n < c.junk; ++n) {
            QFile junk(PathOf(QStringLiteral("junk%1.dbk").arg(n)));
            ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        }
        const QFileInfo before(book);
        QByteArray bytes;
        if (before.isFile()) {
            QFile f(book);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            bytes = f.readAll();
        }
        prompter.shown.clear();
        prompter.messageAnswers.clear();
        if (c.answer)
            prompter.messageAnswers = {c.answer};
        StepRecorder steps;
        const int rc = Main(c.dataFolder);
        ReleaseInstanceLock();
        QFile::setPermissions(Folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (c.answer) {
            ASSERT_EQ(prompter.shown.size(), 1u);
            EXPECT_EQ(prompter.shown[0].style, Msg::YesNo + Msg::Question + Msg::DefaultButton2);
            for (const QString &name : c.beside)
                EXPECT_TRUE(prompter.shown[0].text.contains(PathOf(name))) << name.toStdString();
        }
        if (c.said.isEmpty() || c.answer == Msg::Yes) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(prompter.Messages().size(), c.said.isEmpty() ? 0 : 1)
                << prompter.Messages().join(u'\n').toStdString();
            EXPECT_TRUE(prompter.Messages().join(u'\n').contains(c.said));
            EXPECT_EQ(steps.calls.size(), 10);
            EXPECT_EQ(InspectAccDb(book), AccDbState::Ok);
            EXPECT_GT(CountRecords(QStringLiteral("companyinfo"), QString()), 300);
            continue;
        }
        EXPECT_EQ(rc, 1);
        EXPECT_TRUE(steps.calls.isEmpty());
        ASSERT_EQ(prompter.Messages().size(), 1);
        const QString text = prompter.Messages()[0];
        EXPECT_TRUE(text.contains(book)) << text.toStdString();
        EXPECT_TRUE(text.contains(c.said)) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("程序将退出"))) << text.toStdString();
        // nothing touched: the same bytes, or still nothing, or still a folder
        const QFileInfo after(book);
        EXPECT_EQ(after.exists(), before.exists());
        EXPECT_EQ(after.isDir(), before.isDir());
        if (before.isFile()) {
            QFile f(book);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), bytes);
        }
        // nor beside the copies the question looked at
        for (const QString &name : c.beside)
            for (const char *log : {"-wal", "-shm"})
                EXPECT_FALSE(QFile::exists(PathOf(name + QLatin1String(log)))) << name.toStdString() << log;
        EXPECT_FALSE(QFile::exists(InstanceLockPath()));
    }
}

// A book whose pages are damaged under a whole header and schema opens like any other. The first
// read that meets the damage says so, naming the book and its newest kept copy, before anything is
// written; going on brings no second message, ending leaves the file as it was.
TEST_F(MainSubTest, DamagedBookIsSaidBeforeAnythingIsWritten)
{
    class Watching : public ScriptedPrompter {
    public:
        QString book;
        QByteArray bytesAsked;
        qint64 logAsked = -1;
        int ShowMessage(const QString &text, int style, const QString &title) override
        {
            QFile f(book);
            bytesAsked = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            logAsked = QFileInfo(book + QStringLiteral("-wal")).size();
            return ScriptedPrompter::ShowMessage(text, style, title);
        }
    } watching;
    const QString book = PathOf(QStringLiteral("ACC.MDB"));
    watching.book = book;
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2024-01-10#,10,100,100)");
    ZeroTablePage(book, QStringLiteral("account"));
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto &[name, age] : {std::pair{"acc0001.mdb", 3}, {"上月.dbk", 2}, {"older.dbk", 5}}) {
        QFile f(PathOf(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setFileTime(now.addDays(-age), QFileDevice::FileModificationTime);
    }
    QFile f(book);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray damaged = f.readAll();
    SetPrompter(&watching);

    StepRecorder steps;
    CurrentStartupSteps().upgradeDatabase = [&steps] {
        steps.calls << QStringLiteral("upgrade");
        UpgradeDatabase();
    };
    CurrentStartupSteps().loadFormParams = [&steps] {
        steps.calls << QStringLiteral("formParams");
        LoadFormParams();
    };
    watching.messageAnswers = {Msg::Yes};
    EXPECT_EQ(Main(), 0);
    ReleaseInstanceLock();
    ASSERT_EQ(watching.Messages().size(), 1);
    const QString text = watching.Messages()[0];
    EXPECT_TRUE(text.contains(book) && text.contains(PathOf(QStringLiteral("上月.dbk"))) && text.contains("损坏"))
        << text.toStdString();
    EXPECT_EQ(watching.shown[0].style, Msg::YesNo + Msg::Critical);
    EXPECT_EQ(watching.bytesAsked, damaged);
    EXPECT_LE(watching.logAsked, 0);
    EXPECT_EQ(steps.calls.size(), 10) << "going on runs the start-up to its end";
    // A restart is on another file as a rule (a restored backup): damage to it is told again, once.
    watching.shown.clear();
    watching.messageAnswers = {Msg::Yes};
    RestartData();
    EXPECT_EQ(watching.Messages().size(), 1);

    // Ending: the process ends there, and the book is as it was.
    {
        IdleConnectionPause pause;
        QFile::remove(book + QStringLiteral("-wal"));
        QFile out(book);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(damaged);
    }
    WatchDbFailures(false);
    EXPECT_EXIT(
        {
            watching.messageAnswers = {Msg::No};
            Main();
            _exit(0);
        },
        ::testing::ExitedWithCode(1), "");
    QFile after(book);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), damaged);
    EXPECT_LE(QFileInfo(book + QStringLiteral("-wal")).size(), 0);
}

// A lock file that cannot be made is not taken for another instance running.
TEST_F(MainSubTest, LockFileThatCannotBeMadeIsToldApartFromAnotherInstance)
{
    QFile plain(PathOf(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString folder = PathOf(QStringLiteral("plain/program"));  // under a regular file: nothing can be made
    SetProgramFolder(folder);
    EXPECT_EQ(AcquireInstanceLock(), InstanceLock::CannotCreate);
    StepRecorder steps;
    EXPECT_EQ(Main(QStringLiteral(KELVARO_DATA_DIR)), 1);
    ASSERT_EQ(prompter.Messages().size(), 1);
    EXPECT_NE(prompter.Messages()[0], kAlreadyRunningText);
    EXPECT_TRUE(prompter.Messages()[0].contains(QStringLiteral("无法创建运行锁文件")));
    EXPECT_TRUE(prompter.Messages()[0].contains(folder + QStringLiteral("/kelvaro.lock")));
    EXPECT_TRUE(steps.calls.isEmpty());
    SetProgramFolder(Folder());
}

// The executable's folder is the program folder when it can be written or holds a book; else the
// application data folder stands in, and the first start there says where the new book is, once.
TEST_F(MainSubTest, FallbackFolderIsChosenOnlyWithoutABookAndSaidOnce)
{
    QFile plain(PathOf(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString appData = PathOf(QStringLiteral("appdata/kelvaro"));
    struct Case {
        QString exe;
        bool fallback;
    };
    std::vector<Case> cases = {{Folder(), false}, {PathOf(QStringLiteral("plain/bin")), true}};
    if (geteuid() != 0) {
        ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral("ro"))));
        ASSERT_TRUE(QFile::copy(PathOf(QStringLiteral("ACC.MDB")), PathOf(QStringLiteral("ro/acc.mdb"))));
        QFile::setPermissions(PathOf(QStringLiteral("ro")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        cases.push_back({PathOf(QStringLiteral("ro")), false});  // holds a book: never passed over
        ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral("ro2"))));
        QFile::setPermissions(PathOf(QStringLiteral("ro2")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        cases.push_back({PathOf(QStringLiteral("ro2")), true});
    }
    for (const Case &c : cases) {
        const ProgramFolderChoice choice = ChooseProgramFolder(c.exe, appData);
        EXPECT_EQ(choice.fallback, c.fallback) << c.exe.toStdString();
        EXPECT_EQ(choice.folder, c.fallback ? appData : c.exe) << c.exe.toStdString();
    }
    EXPECT_TRUE(QFileInfo(appData).isDir());
    QFile::setPermissions(PathOf(QStringLiteral("ro")), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner);

    SetProgramFolder(appData, true);
    StepRecorder steps;
    EXPECT_EQ(Main(QStringLiteral(KELVARO_DATA_DIR)), 0);
    const QString book = appData + QStringLiteral("/ACC.MDB");
    EXPECT_EQ(prompter.Messages(), QStringList{QStringLiteral("程序所在的文件夹不能写入，账本文件建在：\r\n") + book});
    EXPECT_EQ(InspectAccDb(book), AccDbState::Ok);
    ReleaseInstanceLock();
    EXPECT_EQ(Main(QStringLiteral(KELVARO_DATA_DIR)), 0);
    EXPECT_EQ(prompter.Messages().size(), 1);  // not again
    ReleaseInstanceLock();
    SetProgramFolder(Folder());
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

    EXPECT_EQ(AcquireInstanceLock(), InstanceLock::Taken);
    QLockFile second(InstanceLockPath());
    EXPECT_FALSE(second.tryLock(0));
}

// What a restore or a compaction cut short left beside a whole book goes at the next start, except a
// whole copy holding an account row the book lacks (compared on the columns both have): that is kept
// aside as the next acc####.mdb, as the book may have lost the row, or been made anew while the copy
// was all that was left of it.
TEST_F(MainSubTest, LeftoverCopiesHoldingRowsTheBookLacksAreKeptAside)
{
    const QString book = PathOf(QStringLiteral("ACC.MDB"));
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2024-01-10#,10,100,100)");
    auto bytes = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // A copy of the book at name, then changed by the statements.
    auto copyOf = [&](const QString &name, const char *sql) {
        const QString path = PathOf(name);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        {
            DbConnection conn;
            ASSERT_TRUE(OpenConn(conn));
            ASSERT_TRUE(conn.ExecuteNative(QStringLiteral("VACUUM INTO '%1'").arg(path)));
        }
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
        char *err = nullptr;
        EXPECT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
        sqlite3_free(err);
        sqlite3_close(raw);
    };
    const std::string more =
        "INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',45301,9,100,100);";
    const std::string noSid = "ALTER TABLE account DROP COLUMN sid;";
    struct Case {
        const char *what;
        QString name;
        std::string change;
        bool kept;
        bool damaged = false;
        bool namesTaken = false;  // acc0001.mdb to acc1000.mdb all there: it stays where it is
    };
    const Case cases[] = {
        {"the same rows", "ACC.MDB.new", "", false},
        {"fewer rows", "accRestoreAbCdEf.tmp", "DELETE FROM account", false},
        {"a row more", "acc.mdb.NEW", more, true},
        {"a row changed", "accRestoreAbCdEf.tmp", "UPDATE account SET bprice=11", true},
        {"a row more, in the compaction's folder", "zCompactTemp/zCompactTempFile.mdb", more, true},
        {"a row more, in that folder in capitals", "ZCOMPACTTEMP/copy", more, true},
        {"the same rows, without account.sid", "ACC.MDB.new", noSid, false},
        {"a row more, without account.sid", "ACC.MDB.new", noSid + more, true},
        {"a row more, damaged", "ACC.MDB.new", more, false, true},
        {"a row more, no name free", "zCompactTemp/zCompactTempFile.mdb", more, false, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        copyOf(c.name, c.change.c_str());
        if (c.damaged)
            ZeroTablePage(PathOf(c.name), QStringLiteral("companyinfo"));
        for (int n = 1; c.namesTaken && n <= 1000; ++n) {
            QFile f(PathOf(QStringLiteral("acc%1.mdb").arg(n, 4, 10, QLatin1Char('0'))));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        const QByteArray copy = bytes(PathOf(c.name));
        StepRecorder steps;
        EXPECT_EQ(Main(), 0);
        ReleaseInstanceLock();
        if (c.namesTaken) {
            EXPECT_EQ(bytes(PathOf(c.name)), copy) << "it stays as it was";
        } else {
            // Nothing else is left, the compaction's folder included.
            QStringList left = QDir(Folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
            left.removeIf([](const QString &n) { return n.endsWith("-wal") || n.endsWith("-shm"); });
            EXPECT_EQ(left, c.kept ? QStringList({"ACC.MDB", "acc0001.mdb"}) : QStringList{"ACC.MDB"});
        }
        if (c.kept) {
            EXPECT_EQ(bytes(PathOf(QStringLiteral("acc0001.mdb"))), copy);
        }
        for (const QString &name : QDir(Folder()).entryList({"acc0*", "zcompact*"}, QDir::AllEntries))
            QFileInfo(PathOf(name)).isDir() ? QDir(PathOf(name)).removeRecursively() : QFile::remove(PathOf(name));
    }

    // The book lost, its compacted copy beside it: the question names the copy, a new book is made, and
    // the next start keeps the copy, which the new book is whole without.
    copyOf(QStringLiteral("ACC.MDB.new"), "");
    const QByteArray copy = bytes(PathOf(QStringLiteral("ACC.MDB.new")));
    ASSERT_TRUE(QFile::remove(book));
    StepRecorder steps;
    prompter.messageAnswers = {Msg::Yes};
    EXPECT_EQ(Main(QStringLiteral(KELVARO_DATA_DIR)), 0);
    ReleaseInstanceLock();
    ASSERT_EQ(prompter.Messages().size(), 1);
    EXPECT_TRUE(prompter.Messages()[0].contains(PathOf(QStringLiteral("ACC.MDB.new"))));
    EXPECT_EQ(Main(QStringLiteral(KELVARO_DATA_DIR)), 0);
    ReleaseInstanceLock();
    EXPECT_EQ(bytes(PathOf(QStringLiteral("acc0001.mdb"))), copy);
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("ACC.MDB.new"))));
}

TEST_F(MainSubTest, StartUpRunsItsStepsInOrder)
{
    StepRecorder steps;
    EXPECT_EQ(Main(), 0);
    EXPECT_EQ(steps.calls, (QStringList{"upgrade", "lastQuoteDate", "download", "lastClose", "formParams", "windowLoad",
                                        "sysParams", "quotes", "recalc", "windowShow"}));
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2024, 5, 20));  // empty DeelRes: today
}

// From the start on, the days a record is held in the trade grid are the market's: at 22:00 in New
// York (summer time) it is 10:00 the next day in China, and a lot bought the day before there is held
// one day.
TEST_F(MainSubTest, DaysHeldCountTheMarketsDaysFromTheStartOn)
{
    SetClock([] { return QDateTime(QDate(2024, 5, 19), QTime(22, 0), QTimeZone(-4 * 3600)); });
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2024-05-19#,10,100,100)");
    StepRecorder steps;
    EXPECT_EQ(Main(), 0);
    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(OpenRs(conn, rs, kAccountGridSelect));
    EXPECT_EQ(rs.Field(QStringLiteral("days")).ToDouble(), 1);
    CloseRs(conn, rs);
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
    // Without asset rows an empty book is valued from today, a book with records from its first buy.
    ExecSql("DELETE * FROM DeelRes");
    StepRecorder steps;
    steps.downloadedFrom = DayNumberOf(2024, 5, 10);
    RestartData();
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2024, 5, 20));
    // Today is the market's day, also in New York's evening before (22:00 there is 10:00 in China).
    SetClock([] { return QDateTime(QDate(2024, 5, 19), QTime(22, 0), QTimeZone(-4 * 3600)); });
    RestartData();
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2024, 5, 20));
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2023-02-01#,10,100,100)");
    RestartData();
    EXPECT_EQ(steps.recalcFrom, DayNumberOf(2023, 2, 1));
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
    // Both services on a port where nothing listens.
    const QString base = ClosedServiceBase();
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

// Nothing else is on screen while start-up waits for the index quote: after a second the progress
// window says what is awaited, cycling, and goes when the answer comes; a quick answer shows nothing.
TEST_F(MainSubTest, StartUpShowsWhatItWaitsForWhileAServiceIsSlow)
{
    FakeServices services;
    // What the progress window is told, and when. The index quote is answered once the window has said
    // what it waits for (a minute at the latest), so the order does not hang on how busy the machine is.
    class WaitView : public IndicatorView {
    public:
        explicit WaitView(FakeServices &services) : m_services(services) {}
        QElapsedTimer clock;
        std::vector<std::pair<QString, qint64>> seen;
        void ShowWindow(bool busy) override { SetMessage(busy ? "busy" : "counted"); }
        void HideWindow() override { SetMessage("hidden"); }
        void SetBar(int, int, int) override {}
        void SetMessage(const QString &text) override
        {
            seen.emplace_back(text, clock.elapsed());
            if (text.contains(QStringLiteral("实时行情服务")))
                m_services.ReleaseDelayedAnswers();
        }
        void SetTimeText(const QString &) override {}

    private:
        FakeServices &m_services;
    } view(services);
    services.Install();
    services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 3000, 3010,
                                                                            3020, 2990, QStringLiteral("2024-05-20")));
    services.AddFault(QStringLiteral("/hq/"), FakeFault{FakeFault::None, 60000});
    ResetCalendar();
    StepRecorder steps;
    CurrentStartupSteps().getLastQuoteDate = DefaultStartupSteps().getLastQuoteDate;
    CurrentStartupSteps().rebuildQuoteList = DefaultStartupSteps().rebuildQuoteList;
    SetIndicatorView(&view);
    view.clock.start();

    EXPECT_EQ(Main(), 0);
    SetIndicatorView(nullptr);
    EXPECT_EQ(LastQuoteDate(), DayNumberOf(2024, 5, 20));  // the slow answer was waited for
    ASSERT_EQ(view.seen.size(), 3u);
    EXPECT_EQ(view.seen[0].first, QStringLiteral("busy"));
    EXPECT_TRUE(view.seen[1].first.contains(QStringLiteral("实时行情服务"))) << view.seen[1].first.toStdString();
    EXPECT_EQ(view.seen[2].first, QStringLiteral("hidden"));
    EXPECT_GE(view.seen[0].second, 1000);
    EXPECT_FALSE(IndicatorShown());
    EXPECT_EQ(services.Requests().size(), 2u);  // the quote list's quick request showed nothing
    ResetCalendar();
    ResetQuoteCache();
}

// The real steps against the fake services: a start after the close of a trading day downloads the
// book's history, fills the last closes and the quote cache, and values today's row of the asset
// table at the live price.
TEST_F(MainSubTest, StartUpWithFakedServicesFetchesPricesAndValuesTheBook)
{
    const QDate today(2025, 3, 14);  // a Friday
    SetClock([today] { return QDateTime(today, QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
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
