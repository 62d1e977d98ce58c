// Compaction: the backup copy, the replaced database, leftovers and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "fixtures/db_fixture.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "storage/compact.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"

namespace {

QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The codes of the rows of account of the database at path, in order; {"?"} when it cannot be read.
QStringList Codes(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    QStringList codes;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT code FROM account ORDER BY code", -1, &stmt, nullptr) != SQLITE_OK)
        codes << "?";
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        codes << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return codes;
}

class CompactTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        // A temporary folder of this test's own: tests run in parallel processes.
        savedTmp = qgetenv("TMPDIR");
        ASSERT_TRUE(QDir().mkpath(ProgramFolder() + "/tmp"));
        qputenv("TMPDIR", (ProgramFolder() + "/tmp").toUtf8());
    }
    void TearDown() override
    {
        if (savedTmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", savedTmp);
        DbFixture::TearDown();
    }
    QString Db() const { return ProgramFilePath("ACC.MDB"); }

    // Fills and then empties DeelRes, so the file has many free pages.
    void Churn()
    {
        DbConnection conn;
        ASSERT_TRUE(OpenConn(conn));
        conn.Begin();
        for (int i = 0; i < 5000; ++i)
            ExecSql(QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(%1,100000.5,0,100000.5)")
                        .arg(40000 + i),
                    &conn);
        conn.Commit();
        ExecSql("DELETE * FROM DeelRes WHERE dat>=40010", &conn);
    }

    QByteArray savedTmp;
};

}  // namespace

TEST_F(CompactTest, MissingDatabaseIsReported)
{
    EXPECT_FALSE(CompactDatabase(ProgramFilePath("NONE.MDB"), QString(), true));
    EXPECT_EQ(prompter.Messages(), QStringList{"没有找到要压缩的数据库文件！"});
    EXPECT_FALSE(QFileInfo::exists(ProgramFilePath("backup")));
}

TEST_F(CompactTest, BackupHoldsTheOldPagesAndRowsSurvive)
{
    Churn();
    // Fold the log into the file first, so the pages compared are the ones the backup copies.
    { DbConnection c; c.Open(Db()); }
    const QByteArray before = PageBytes(Db());
    CompactAccDb();
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    EXPECT_EQ(PageBytes(ProgramFilePath("backup")), before);
    EXPECT_EQ(QDir(Folder()).entryList({"backup*", "zCompact*"}, QDir::AllEntries | QDir::Hidden),
              QStringList{"backup"});
    EXPECT_LT(QFileInfo(Db()).size(), before.size());
    EXPECT_EQ(CountRecords("DeelRes", ""), 10);
    EXPECT_GT(CountRecords("companyinfo", ""), 300);

    // A second run replaces the backup with the state after the first one.
    { DbConnection c; c.Open(Db()); }
    const QByteArray afterFirst = PageBytes(Db());
    CompactAccDb();
    EXPECT_EQ(PageBytes(ProgramFilePath("backup")), afterFirst);
}

// What an interrupted compaction left in the book's folder goes (a link there is removed, not
// followed); the shared temporary folder's "zCompactTempFile.mdb", which may be another program's,
// is neither written nor removed, whatever it is.
TEST_F(CompactTest, LeftoversGoAndTheSharedTemporaryFileIsLeftAlone)
{
    const QString shared = GetTempDir() + "zCompactTempFile.mdb";
    const QString leftover = PathOf(kCompactFolder);
    ASSERT_TRUE(QDir().mkpath(PathOf("elsewhere")));
    WriteFile(PathOf("elsewhere/keep.txt"), "not the compaction's");
    struct Case {
        const char *what;
        std::function<void()> shared, leftover;
    };
    const Case cases[] = {
        {"a file and a half-made copy", [&] { WriteFile(shared, "another program's copy"); },
         [&] {
             ASSERT_TRUE(QDir().mkpath(leftover));
             WriteFile(leftover + "/ACC.MDB", "cut short");
             WriteFile(leftover + "/ACC.MDB-wal", "cut short");
         }},
        {"a folder and a file", [&] { ASSERT_TRUE(QDir().mkpath(shared + "/someone-else")); },
         [&] { WriteFile(leftover, "a file"); }},
        {"links", [&] { ASSERT_TRUE(QFile::link(PathOf("elsewhere/keep.txt"), shared)); },
         [&] { ASSERT_TRUE(QFile::link(PathOf("elsewhere"), leftover)); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        QDir(shared).removeRecursively();
        QFile::remove(shared);
        c.shared();
        c.leftover();
        const QFileInfo sharedBefore(shared);
        const QByteArray sharedBytes = Bytes(shared);
        EXPECT_TRUE(CompactDatabase(Db(), QString(), true));
        EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
        EXPECT_GT(CountRecords("companyinfo", ""), 300);
        EXPECT_EQ(QDir(Folder()).entryList({"zCompact*"}, QDir::AllEntries | QDir::Hidden | QDir::System),
                  QStringList());
        const QFileInfo sharedAfter(shared);
        EXPECT_TRUE(sharedAfter.exists() || sharedAfter.isSymLink());
        EXPECT_EQ(sharedAfter.isSymLink(), sharedBefore.isSymLink());
        EXPECT_EQ(sharedAfter.isDir(), sharedBefore.isDir());
        EXPECT_EQ(Bytes(shared), sharedBytes);
        EXPECT_EQ(Bytes(PathOf("elsewhere/keep.txt")), "not the compaction's");
    }
}

// A compacted copy that is no whole book, or misses records of the book it was made from (changed or
// swapped under the compaction), never replaces the database; nothing of it is left.
TEST_F(CompactTest, CopyChangedUnderTheCompactionIsRefused)
{
    for (int i = 0; i < 3; ++i)
        Exec(QString("INSERT INTO account(code,sname) VALUES('60000%1','x')").arg(i));
    Churn();
    const QString other = PathOf("other.mdb");  // another book, with one record
    {
        IdleConnectionPause pause;
        { DbConnection c; c.Open(Db()); }
        ASSERT_TRUE(QFile::copy(Db(), other));
        DbConnection c;
        ASSERT_TRUE(c.Open(other) && c.Execute("DELETE * FROM account WHERE code<>'600000'"));
    }
    auto run = [](const char *sql) {
        return [sql](const QString &copy) {
            sqlite3 *db = nullptr;
            ASSERT_EQ(sqlite3_open(copy.toUtf8().constData(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        };
    };
    struct Case {
        const char *what;
        std::function<void(const QString &copy)> change;
    };
    const Case cases[] = {
        {"without account", run("DROP TABLE account")},
        {"a record fewer", run("DELETE FROM account WHERE code='600002'")},
        {"a record more", run("INSERT INTO account(code,sname) VALUES('000001','y')")},
        {"cut short",
         [](const QString &copy) {
             QFile f(copy);
             ASSERT_TRUE(f.resize(f.size() / 2));
         }},
        {"another book's copy",
         [&](const QString &copy) {
             ASSERT_TRUE(QFile::remove(copy));
             ASSERT_TRUE(QFile::copy(other, copy));
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        { DbConnection conn; conn.Open(Db()); }
        const QByteArray before = Bytes(Db());
        int calls = 0;
        SetCompactStepHook([&](const char *step, const QString &copy) {
            ++calls;
            EXPECT_STREQ(step, "compacted");
            c.change(copy);
        });
        EXPECT_FALSE(CompactDatabase(Db(), QString(), false));
        SetCompactStepHook({});
        EXPECT_EQ(calls, 1);
        const QStringList shown = prompter.Messages();
        EXPECT_TRUE(shown.size() == 1 && shown[0].startsWith("数据库压缩失败（") && shown[0].endsWith("）！"))
            << shown.join(';').toStdString();
        EXPECT_EQ(Bytes(Db()), before);
        EXPECT_EQ(QDir(Folder()).entryList({"zCompact*", "*.new"}, QDir::AllEntries | QDir::Hidden), QStringList());
    }
    EXPECT_EQ(CountRecords("account", ""), 3);
}

// Two copies of the program, each in its own folder with its own book, compact at the same time
// round after round, sharing the temporary folder: every compaction succeeds and each book (and its
// backup) holds exactly its own records.
TEST_F(CompactTest, TwoBooksCompactedAtOnceKeepTheirOwnRecords)
{
    constexpr int kRounds = 25;
    const QString folders[2] = {PathOf("one"), PathOf("two")};
    {
        IdleConnectionPause pause;
        { DbConnection c; c.Open(Db()); }
        for (const QString &f : folders) {
            ASSERT_TRUE(QDir().mkpath(f));
            ASSERT_TRUE(QFile::copy(Db(), f + "/ACC.MDB"));
        }
    }
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
        children[i] = ::fork();
        if (children[i] == 0) {
            ::close(start[1]);
            char go;
            (void)!::read(start[0], &go, 1);  // both start together once the parent lets go
            SetProgramFolder(folders[i]);
            int failures = 0;
            for (int r = 0; r < kRounds; ++r) {
                const QString code = QString("%1%2").arg(i).arg(r, 5, 10, QChar('0'));
                DbConnection c;
                if (!c.Open(folders[i] + "/ACC.MDB") ||
                    !c.Execute(QString("INSERT INTO account(code,sname) VALUES('%1','x')").arg(code)))
                    ++failures;
                c.Close();
                if (!CompactDatabase(ProgramFilePath("ACC.MDB"), QString(), true))
                    ++failures;
            }
            ::_exit(std::min(failures, 100));
        }
    }
    ::close(start[0]);
    ::close(start[1]);
    // Bounded by the rounds; the wait only ends children that hang.
    for (int i = 0; i < 2; ++i) {
        ASSERT_GT(children[i], 0) << "fork";
        int status = 0;
        for (int waited = 0; ::waitpid(children[i], &status, WNOHANG) == 0; waited += 10) {
            if (waited > 300000) {
                ::kill(children[i], SIGKILL);
                ::waitpid(children[i], &status, 0);
                break;
            }
            ::usleep(10000);
        }
        EXPECT_TRUE(WIFEXITED(status)) << i;
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed compactions of book " << i;
    }
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        QStringList own;
        for (int r = 0; r < kRounds; ++r)
            own << QString("%1%2").arg(i).arg(r, 5, 10, QChar('0'));
        for (const QString name : {"ACC.MDB", "backup"}) {
            const QString book = folders[i] + '/' + name;
            EXPECT_TRUE(IsWholeBook(book)) << name.toStdString();
            EXPECT_EQ(Codes(book).join(' ').toStdString(), own.join(' ').toStdString()) << name.toStdString();
        }
    }
}

// Events let through while the compaction runs may save records (a timer, a queued click): every
// record saved before the call returns is in the compacted database.
TEST_F(CompactTest, RecordsSavedWhileEventsGetThroughAreKept)
{
    int saved = 0;
    QTimer writer;
    writer.setInterval(0);
    QObject::connect(&writer, &QTimer::timeout, [&saved] {
        if (ExecSql(QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(%1,1,0,1)").arg(50000 + saved)))
            ++saved;
    });
    writer.start();
    EXPECT_TRUE(CompactDatabase(Db(), QString(), true));
    writer.stop();
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    ASSERT_GT(saved, 0);
    EXPECT_EQ(CountRecords("DeelRes", "dat>=50000"), saved);
}

// The database keeps who may read it, and where it lives: a link at its name stays a link to the
// compacted file, which is made beside the file the link leads to.
TEST_F(CompactTest, DatabaseKeepsWhoMayReadItAndWhereItLives)
{
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    const QString real = ProgramFilePath("real") + "/ACC.MDB";
    {
        IdleConnectionPause pause;
        ASSERT_TRUE(QDir().mkpath(ProgramFilePath("real")));
        ASSERT_TRUE(QFile::rename(Db(), real));
        ASSERT_TRUE(QFile::link(real, Db()));
    }
    ASSERT_TRUE(QFile::setPermissions(real, ownerOnly));
    Churn();
    { DbConnection c; c.Open(Db()); }
    const qint64 before = QFileInfo(real).size();
    CompactAccDb();
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    EXPECT_TRUE(QFileInfo(Db()).isSymLink());
    EXPECT_LT(QFileInfo(real).size(), before);
    EXPECT_EQ(QFileInfo(real).permissions(), ownerOnly);
    EXPECT_EQ(QFileInfo(ProgramFilePath("backup")).permissions(), ownerOnly);
    EXPECT_EQ(QDir(ProgramFilePath("real")).entryList({"*.new", "zCompact*"}, QDir::AllEntries), QStringList());
    EXPECT_EQ(CountRecords("DeelRes", ""), 10);
    EXPECT_GT(CountRecords("companyinfo", ""), 300);
}

TEST_F(CompactTest, FailureNamesWhatCouldNotBeDone)
{
    { DbConnection c; c.Open(Db()); }
    const QByteArray before = Bytes(Db());
    // A folder in the way of the backup copy cannot be removed as a file.
    ASSERT_TRUE(QDir().mkpath(ProgramFilePath("backup.mdb") + "/blocker"));
    EXPECT_FALSE(CompactDatabase(Db(), QString(), true));
    ASSERT_EQ(prompter.Messages().size(), 1);
    EXPECT_TRUE(prompter.Messages()[0].contains("backup.mdb")) << prompter.Messages()[0].toStdString();
    EXPECT_EQ(Bytes(Db()), before);
}
