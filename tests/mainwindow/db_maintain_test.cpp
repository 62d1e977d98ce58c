// Database maintenance: backup to a .dbk file, restore of one with the book kept aside, clearing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "charts/forms/ktrade_disp_set.h"
#include "fixtures/db_fixture.h"
#include "mainwindow/db_maintain.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/main_sub.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/recordset.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "storage/db_operate.h"
#include "storage/dialogs.h"
#include "storage/params.h"

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

// The rows of a query on the database at path; -1 when it cannot be read.
int Rows(const QString &path, const QString &sql)
{
    DbConnection conn;
    RecordSet rs;
    if (!conn.Open(path) || !rs.Open(conn, sql))
        return -1;
    return static_cast<int>(rs.RecordCount());
}

// The owner, group and other permission bits.
constexpr QFile::Permissions kModeBits = QFile::Permissions::fromInt(0x7077);

class MaintainTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        // The compaction's temporary file goes into this test's own folder: tests run in parallel.
        savedTmp = qgetenv("TMPDIR");
        ASSERT_TRUE(QDir().mkpath(Folder() + "/tmp"));
        qputenv("TMPDIR", (Folder() + "/tmp").toUtf8());
        ResetFormParamSets();
        MainWindowHooks() = MFHooks{};
        MainWindowHooks().endProgram = [] {};
        StartupSteps counting;
        counting.upgradeDatabase = [this] { ++restarts; };
        CurrentStartupSteps() = counting;
        Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2021-03-04#,10,100,100)");
    }
    void TearDown() override
    {
        delete LoadedAccEdit();
        delete LoadedStockBuy();
        delete LoadedKTradeDispSet();
        delete LoadedMF();
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        CurrentStartupSteps() = DefaultStartupSteps();
        if (savedTmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", savedTmp);
        DbFixture::TearDown();
    }
    QString Db() const { return ProgramFilePath(kAccDb); }
    // The byte image of the book with its log folded in.
    QByteArray FoldedBytes() const
    {
        IdleConnectionPause pause;
        { DbConnection c; c.Open(Db()); }
        return Bytes(Db());
    }
    // Makes a backup at path through the handler; returns the messages.
    QStringList Backup(const std::optional<QString> &path)
    {
        prompter.shown.clear();
        prompter.fileAnswers = {path};
        BackupDatabase();
        return prompter.Messages();
    }
    // The record editor, the quick-buy form and the K-line colours, open.
    static void OpenRecordWindows()
    {
        AccEdit()->show();
        StockBuy()->show();
        KTradeDispSet()->show();
    }
    // The files of the program folder but SQLite's log files, sorted.
    QStringList Names() const
    {
        QStringList names = QDir(Folder()).entryList(QDir::Files, QDir::Name);
        names.removeIf([](const QString &n) { return n.endsWith("-wal") || n.endsWith("-shm"); });
        return names;
    }
    static bool RecordWindowsOpen()
    {
        return LoadedAccEdit() && LoadedStockBuy() && LoadedKTradeDispSet();
    }

    QByteArray savedTmp;
    int restarts = 0;
};

TEST_F(MaintainTest, BackupIsTheWholeBookOrAVisibleFailure)
{
    // A row still in the write-ahead log, which the idle connection keeps alive.
    Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',#2021-03-05#,9,100,100)");
    const QString target = PathOf("out/book.dbk");
    ASSERT_TRUE(QDir().mkpath(PathOf("out")));
    ASSERT_TRUE(QDir().mkpath(PathOf("out/folder.dbk")));
    WriteFile(PathOf("out/old.dbk"), "older backup");

    struct Case {
        const char *what;
        std::optional<QString> path;
        bool hideDatabase;  // the book is gone: nothing can be copied
        QStringList messages;
    };
    const Case cases[] = {
        {"cancelled", std::nullopt, false, {}},
        {"new file", target, false, {kBackupDoneText + target}},
        {"over an older backup", PathOf("out/old.dbk"), false, {kBackupDoneText + PathOf("out/old.dbk")}},
        {"a folder", PathOf("out/folder.dbk"), false, {kBackupFailedText}},
        {"under a file", PathOf("out/book.dbk/x.dbk"), false, {kBackupFailedText}},
        {"no book", PathOf("out/old.dbk"), true, {kBackupFailedText}},
    };
    for (const Case &c : cases) {
        const QByteArray oldBytes = Bytes(PathOf("out/old.dbk"));
        if (c.hideDatabase) {
            ASSERT_TRUE(QFile::rename(Db(), PathOf("hidden.mdb")));
        }
        EXPECT_EQ(Backup(c.path), c.messages) << c.what;
        if (c.hideDatabase) {
            ASSERT_TRUE(QFile::rename(PathOf("hidden.mdb"), PathOf("ACC.MDB")));
        }
        ASSERT_FALSE(prompter.shown.empty());
        EXPECT_EQ(prompter.shown[0].text, ConvertFileFilter(kBackupFilter)) << c.what;
        EXPECT_EQ(prompter.shown[0].style, 1) << c.what << ": a save dialog";
        const bool done = !c.messages.isEmpty() && c.messages[0] != kBackupFailedText;
        if (done) {
            EXPECT_EQ(Rows(*c.path, "SELECT * FROM account"), 2) << c.what;
            EXPECT_EQ(Bytes(*c.path), FoldedBytes()) << c.what;
        } else if (c.path && c.path->endsWith("old.dbk")) {
            EXPECT_EQ(Bytes(PathOf("out/old.dbk")), oldBytes) << c.what << ": the older backup stays";
        }
        EXPECT_TRUE(QFileInfo(PathOf("out/folder.dbk")).isDir());
        EXPECT_TRUE(QDir(PathOf("out/folder.dbk")).isEmpty());
        // Nothing half-written is left beside the backups.
        QStringList left = QDir(PathOf("out")).entryList(QDir::Files);
        left.removeAll("book.dbk");
        left.removeAll("old.dbk");
        EXPECT_TRUE(left.isEmpty()) << c.what << ": " << left.join(' ').toStdString();
    }
    EXPECT_EQ(restarts, 0);
}

TEST_F(MaintainTest, FreeKeepNameSkipsTakenNamesInAnyCase)
{
    EXPECT_EQ(FreeKeepName(Folder()), "acc0001.mdb");
    WriteFile(PathOf("acc0001.mdb"), "x");
    WriteFile(PathOf("ACC0002.MDB"), "x");
    WriteFile(PathOf("acc0004.mdb"), "x");
    EXPECT_EQ(FreeKeepName(Folder()), "acc0003.mdb");
    for (int n = 1; n <= 1000; ++n)
        WriteFile(PathOf(QStringLiteral("acc%1.mdb").arg(n, 4, 10, QLatin1Char('0'))), "x");
    EXPECT_EQ(FreeKeepName(Folder()), "");
}

TEST_F(MaintainTest, RestoreKeepsTheBookAsideOrChangesNothing)
{
    // The backup holds one record; the book gets a second one after it.
    const QString dbk = PathOf("save/book.dbk");
    ASSERT_TRUE(QDir().mkpath(PathOf("save")));
    ASSERT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    const QByteArray backupBytes = Bytes(dbk);
    Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',#2021-03-05#,9,100,100)");
    WriteFile(PathOf("save/text.dbk"), "Standard Jet DB\nnot a book");
    // An SQLite file that is not a book: created by copying the book and dropping account.
    ASSERT_TRUE(QFile::copy(dbk, PathOf("save/other.dbk")));
    {
        DbConnection c;
        ASSERT_TRUE(c.Open(PathOf("save/other.dbk")));
        ASSERT_TRUE(c.Execute("DROP TABLE account"));
    }
    QFile::setPermissions(Db(), QFile::ReadOwner | QFile::WriteOwner);

    enum Setup { Plain, TwoKept, AllKept, NoBook };
    struct Case {
        const char *what;
        std::optional<QString> chosen;
        Setup setup;
        QString message;   // "" for none
        QString keptAs;    // the old book's new name, "" when none
    };
    const Case cases[] = {
        {"cancelled", std::nullopt, Plain, "", ""},
        {"text file", PathOf("save/text.dbk"), Plain, kNotABackupText, ""},
        {"SQLite without account", PathOf("save/other.dbk"), Plain, kNotABackupText, ""},
        {"all names taken", dbk, AllKept, kRestoreFailedText, ""},
        {"two kept", dbk, TwoKept, "", "acc0003.mdb"},
        {"no book", dbk, NoBook, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        restarts = 0;
        prompter.shown.clear();
        for (const QString &f : QDir(Folder()).entryList({"acc????.mdb"}, QDir::Files))
            QFile::remove(PathOf(f));
        if (c.setup == TwoKept) {
            WriteFile(PathOf("acc0001.mdb"), "1");
            WriteFile(PathOf("ACC0002.MDB"), "2");
        } else if (c.setup == AllKept) {
            for (int n = 1; n <= 1000; ++n)
                WriteFile(PathOf(QStringLiteral("acc%1.mdb").arg(n, 4, 10, QLatin1Char('0'))), "x");
        }
        MF();
        OpenRecordWindows();
        const QByteArray bookBytes = FoldedBytes();
        if (c.setup == NoBook) {
            IdleConnectionPause pause;
            ASSERT_TRUE(QFile::remove(Db()));
            WriteFile(PathOf("ACC.MDB-wal"), "a stale log");
        }
        const QStringList before = Names();

        prompter.fileAnswers = {c.chosen};
        MF()->mRestore_Click();

        EXPECT_EQ(prompter.Messages(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        const bool restored = c.chosen && c.message.isEmpty();
        EXPECT_EQ(restarts, restored ? 1 : 0);
        EXPECT_EQ(RecordWindowsOpen(), !restored) << "the windows close only for a restore";
        if (restored) {
            EXPECT_EQ(Bytes(PathOf("ACC.MDB")), backupBytes);
            EXPECT_EQ(Rows(Db(), "SELECT * FROM account"), 1);
            if (c.setup != NoBook) {
                EXPECT_EQ(QFileInfo(Db()).permissions() & kModeBits, QFile::ReadOwner | QFile::WriteOwner);
            }
            if (!c.keptAs.isEmpty()) {
                EXPECT_EQ(Bytes(PathOf(c.keptAs)), bookBytes);
            }
            QStringList expected = before;
            expected << (c.setup == NoBook ? QStringLiteral("ACC.MDB") : c.keptAs);
            expected.sort();
            EXPECT_EQ(Names(), expected);
            EXPECT_NE(Bytes(PathOf("ACC.MDB-wal")), "a stale log");
        } else {
            EXPECT_EQ(FoldedBytes(), bookBytes);
            EXPECT_EQ(Names(), before) << "nothing renamed or left";
        }
        // Back to the two-record book for the next case.
        delete LoadedMF();
        {
            IdleConnectionPause pause;
            QFile::remove(Db());
            QFile::remove(Db() + "-wal");
            QFile::remove(Db() + "-shm");
            WriteFile(PathOf("ACC.MDB"), bookBytes);
            QFile::setPermissions(Db(), QFile::ReadOwner | QFile::WriteOwner);
        }
    }
}

TEST_F(MaintainTest, ClearKeepsWindowSettingsStocksAndLastCloses)
{
    for (const char *key : {"FPAR_MF_chk", "FPAR_SysSet_tt", "当前结点", "MSFOrder_0", "FN_account", "上次下载日期"})
        SaveParam(QString::fromUtf8(key), "1");
    for (const char *code : {"1A0001", "600000"})
        Exec(QStringLiteral("CREATE TABLE H_%1(id AUTOINCREMENT,trdat DATE,clprice SINGLE)").arg(code));
    Exec("INSERT INTO H_600000(trdat,clprice) VALUES(#2024-01-05#,10.5)");
    Exec("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#2024-01-03#,199000,1000,200000)");
    Exec("INSERT INTO LastClprice(code,clprice) VALUES('600000',10.5)");
    Exec("INSERT INTO LastPrice(code,price) VALUES('600000',10.5)");
    const int stocks = Rows(Db(), "SELECT * FROM companyinfo");
    ASSERT_GT(stocks, 0);
    MF();

    // No: nothing changes, not even the file.
    OpenRecordWindows();
    const QByteArray before = FoldedBytes();
    prompter.messageAnswers = {Msg::No};
    MF()->mClearDB_Click();
    EXPECT_EQ(prompter.Messages(), QStringList{kClearQuestion});
    EXPECT_EQ(prompter.shown[0].style & 7, Msg::YesNo);
    EXPECT_EQ(FoldedBytes(), before);
    EXPECT_TRUE(RecordWindowsOpen());
    EXPECT_EQ(restarts, 0);

    prompter.messageAnswers = {Msg::Yes};
    MF()->mClearDB_Click();
    EXPECT_EQ(restarts, 1);
    EXPECT_FALSE(LoadedAccEdit() || LoadedStockBuy() || LoadedKTradeDispSet());
    QStringList keys;
    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(conn.Open(Db()) && rs.Open(conn, "SELECT var FROM 参数 ORDER BY var"));
    for (; !rs.AtEOF(); rs.MoveNext())
        keys << rs.Field("var").ToText();
    EXPECT_EQ(keys, (QStringList{"FPAR_MF_chk", "FPAR_SysSet_tt"}));
    EXPECT_EQ(ListTablesLike("H_"), QStringList{""});
    for (const char *table : {"account", "DeelRes", "LastPrice"})
        EXPECT_EQ(Rows(Db(), QStringLiteral("SELECT * FROM %1").arg(table)), 0) << table;
    EXPECT_EQ(Rows(Db(), "SELECT * FROM companyinfo"), stocks);
    EXPECT_EQ(Rows(Db(), "SELECT * FROM LastClprice WHERE code='600000'"), 1);
    EXPECT_TRUE(QFileInfo::exists(PathOf("backup"))) << "the compaction's copy of the book before it";
}

}  // namespace
