// Compaction: the backup copy, the replaced database, leftovers and failures.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "fixtures/db_fixture.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "storage/compact.h"
#include "storage/db_operate.h"

namespace {

QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

TEST_F(CompactTest, BackupHoldsTheOldBytesAndRowsSurvive)
{
    Churn();
    // Fold the log into the file first, so the bytes compared are the ones the backup copies.
    { DbConnection c; c.Open(Db()); }
    const QByteArray before = Bytes(Db());
    CompactAccDb();
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    EXPECT_EQ(Bytes(ProgramFilePath("backup")), before);
    EXPECT_FALSE(QFileInfo::exists(ProgramFilePath("backup.mdb")));
    EXPECT_FALSE(QFileInfo::exists(GetTempDir() + "zCompactTempFile.mdb"));
    EXPECT_LT(QFileInfo(Db()).size(), before.size());
    EXPECT_EQ(CountRecords("DeelRes", ""), 10);
    EXPECT_GT(CountRecords("companyinfo", ""), 300);

    // A second run replaces the backup with the state after the first one.
    { DbConnection c; c.Open(Db()); }
    const QByteArray afterFirst = Bytes(Db());
    CompactAccDb();
    EXPECT_EQ(Bytes(ProgramFilePath("backup")), afterFirst);
}

TEST_F(CompactTest, LeftoverTemporaryFileIsReplaced)
{
    QFile leftover(GetTempDir() + "zCompactTempFile.mdb");
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("left from an interrupted run");
    leftover.close();
    CompactAccDb();
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    EXPECT_FALSE(QFileInfo::exists(GetTempDir() + "zCompactTempFile.mdb"));
    EXPECT_GT(CountRecords("companyinfo", ""), 300);
}

TEST_F(CompactTest, FailureLeavesTheDatabaseUntouched)
{
    { DbConnection c; c.Open(Db()); }
    const QByteArray before = Bytes(Db());
    // A folder where the compacted copy goes beside the database makes the compaction fail.
    ASSERT_TRUE(QDir().mkpath(Db() + ".new/blocker"));
    EXPECT_FALSE(CompactDatabase(Db(), QString(), false));
    QDir(Db() + ".new").removeRecursively();
    ASSERT_EQ(prompter.Messages().size(), 1);
    EXPECT_TRUE(prompter.Messages()[0].startsWith("数据库压缩失败（"));
    EXPECT_TRUE(prompter.Messages()[0].endsWith("）！"));
    EXPECT_EQ(Bytes(Db()), before);
    EXPECT_FALSE(QFileInfo::exists(GetTempDir() + "zCompactTempFile.mdb"));
}

// In a shared temporary folder the name may be held by another user's file, which cannot be
// removed (here a folder that is not empty stands for it): the copy is made in a private folder.
TEST_F(CompactTest, TemporaryNameHeldElsewhereFallsBackToAPrivateFolder)
{
    Churn();
    const QString held = GetTempDir() + "zCompactTempFile.mdb";
    ASSERT_TRUE(QDir().mkpath(held + "/someone-else"));
    const qint64 before = QFileInfo(Db()).size();
    EXPECT_TRUE(CompactDatabase(Db(), QString(), false));
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    EXPECT_TRUE(QFileInfo::exists(held + "/someone-else"));
    EXPECT_LT(QFileInfo(Db()).size(), before);
    EXPECT_EQ(CountRecords("DeelRes", ""), 10);
    // The private folder is gone again.
    EXPECT_EQ(QDir(Folder()).entryList({"zCompact*"}, QDir::AllEntries | QDir::Hidden), QStringList());
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
    EXPECT_EQ(QDir(ProgramFilePath("real")).entryList({"*.new"}, QDir::Files), QStringList());
    EXPECT_EQ(CountRecords("DeelRes", ""), 10);
    EXPECT_GT(CountRecords("companyinfo", ""), 300);
}

// The temporary folder may be shared: a link left at the temporary file's name is removed, not
// followed, so the compacted copy never lands elsewhere.
TEST_F(CompactTest, LinkAtTheTemporaryNameIsNotFollowed)
{
    const QString elsewhere = ProgramFilePath("elsewhere.mdb");
    ASSERT_TRUE(QFile::link(elsewhere, GetTempDir() + "zCompactTempFile.mdb"));
    CompactAccDb();
    EXPECT_TRUE(prompter.Messages().isEmpty()) << prompter.Messages().join(';').toStdString();
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
    EXPECT_FALSE(QFileInfo(GetTempDir() + "zCompactTempFile.mdb").isSymLink());
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
