// The main window's menu bar and the database maintenance it reaches: backup to a .dbk file, restore
// of one with the book kept aside, clearing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include <QAction>
#include <QDateTime>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QThread>
#include <QUrl>

#include "charts/forms/cap_structure_form.h"
#include "fixtures/bounded_run.h"
#include "charts/forms/invest_compare_form.h"
#include "charts/forms/ktrade_disp_set.h"
#include "fixtures/db_fixture.h"
#include "mainwindow/db_maintain.h"
#include "mainwindow/forms/col_set.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/forms/rightform.h"
#include "mainwindow/forms/sys_set.h"
#include "mainwindow/main_sub.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "platform/recordset.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "storage/book_hold.h"
#include "storage/compact.h"
#include "storage/db_create.h"
#include "storage/dialogs.h"
#include "storage/indicator.h"
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

// The values of the first column of a query on the database at path, joined by ","; "?" when it
// cannot be read.
QString Column(const QString &path, const QString &sql)
{
    DbConnection conn;
    RecordSet rs;
    if (!conn.Open(path) || !rs.Open(conn, sql))
        return "?";
    QStringList values;
    for (; !rs.AtEOF(); rs.MoveNext())
        values << rs.Get(0)->ToText();
    return values.join(',');
}

// Another program that has the book open and reads from it, as an sqlite3 shell does after "BEGIN;
// SELECT COUNT(*) FROM account;": a child process that keeps that read transaction open until Stop,
// then ends it and closes the book as a program does.
class ReaderProcess {
public:
    explicit ReaderProcess(const QString &book)
    {
        const QByteArray path = QFile::encodeName(book);
        int ready[2], stop[2];
        if (::pipe(ready) != 0 || ::pipe(stop) != 0)
            return;
        {
            // The child starts with no connection of this process on the book, whose locks it would
            // count as its own.
            IdleConnectionPause pause;
            m_pid = ::fork();
        }
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(stop[1]);
            sqlite3 *db = nullptr;
            const bool ok = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
                            sqlite3_exec(db, "BEGIN; SELECT COUNT(*) FROM account;", nullptr, nullptr, nullptr) ==
                                SQLITE_OK;
            (void)!::write(ready[1], ok ? "1" : "0", 1);
            char c;
            (void)!::read(stop[0], &c, 1);  // the end of the pipe: Stop, or the test process gone
            const bool closed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK &&
                                sqlite3_close(db) == SQLITE_OK;
            ::_exit(closed ? 0 : 1);
        }
        ::close(ready[1]);
        ::close(stop[0]);
        m_stop = stop[1];
        char c = 0;
        m_reading = m_pid > 0 && ::read(ready[0], &c, 1) == 1 && c == '1';
        ::close(ready[0]);
    }
    ~ReaderProcess() { Stop(); }
    ReaderProcess(const ReaderProcess &) = delete;
    ReaderProcess &operator=(const ReaderProcess &) = delete;

    bool Reading() const { return m_reading; }
    // Ends the read, closes the book and waits for the child (20 s at most); true when it closed the
    // book without an error.
    bool Stop()
    {
        if (m_pid <= 0)
            return false;
        ::close(m_stop);
        int status = 0;
        for (int waited = 0; ::waitpid(m_pid, &status, WNOHANG) == 0; waited += 10) {
            if (waited > 20000) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            ::usleep(10000);
        }
        m_pid = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t m_pid = -1;
    int m_stop = -1;
    bool m_reading = false;
};

class MaintainTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        // The compaction's temporary file goes into this test's own folder: tests run in parallel.
        ASSERT_TRUE(QDir().mkpath(PathOf("tmp")));
        savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", PathOf("tmp").toUtf8());
        ResetFormParamSets();
        // A Saturday: the refresh that ends a restart values no trading day.
        SetClock([] { return QDateTime(QDate(2024, 5, 18), QTime(10, 0)); });
        MainWindowHooks().endProgram = [] {};
        CurrentStartupSteps() = StartupSteps{};
        CurrentStartupSteps().upgradeDatabase = [this] {
            ++restarts;
            bytesAtRestart = Bytes(Db());
        };
        Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2021-03-04#,10,100,100)");
    }
    void TearDown() override
    {
        delete LoadedAccEdit();
        delete LoadedStockBuy();
        delete LoadedKTradeDispSet();
        delete LoadedInvestCompare();
        delete LoadedCapStructure();
        delete LoadedMF();
        SetClock(nullptr);
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        CurrentStartupSteps() = DefaultStartupSteps();
        qputenv("TMPDIR", savedTmp);
        DbFixture::TearDown();
    }
    QString Db() const { return PathOf("ACC.MDB"); }
    // The bytes of the book with its log folded in.
    QByteArray FoldedBytes() const
    {
        IdleConnectionPause pause;
        { DbConnection c; c.Open(Db()); }
        return Bytes(Db());
    }
    QStringList Backup(const QString &path)
    {
        prompter.shown.clear();
        prompter.fileRequests.clear();
        prompter.fileAnswers = {path};
        BackupDatabase();
        return prompter.Messages();
    }
    // Opens the windows a restore or a clear closes: the record editor, the quick-buy form, the K-line
    // colours, the system and column settings and the two analysis windows; true when all are open.
    static void OpenRecordWindows()
    {
        AccEdit()->show();
        StockBuy()->show();
        KTradeDispSet()->show();
        SysSet()->show();
        ColSet()->show();
        InvestCompare()->show();
        CapStructure()->show();
    }
    static bool RecordWindowsOpen()
    {
        return LoadedAccEdit() && LoadedStockBuy() && LoadedKTradeDispSet() && LoadedSysSet() && LoadedColSet() &&
               LoadedInvestCompare() && LoadedCapStructure();
    }
    static QAction *Item(const char *name) { return MF()->findChild<QAction *>(name); }
    // The program folder's files, SQLite's log files left out.
    QStringList Names() const
    {
        QStringList names = QDir(Folder()).entryList(QDir::Files, QDir::Name);
        names.removeIf([](const QString &n) { return n.endsWith("-wal") || n.endsWith("-shm"); });
        return names;
    }

    QByteArray savedTmp;
    int restarts = 0;
    // The book's file as the restart found it (the refresh that ends the restart writes to it).
    QByteArray bytesAtRestart;
};

TEST_F(MaintainTest, MenuBarItemsAndWhatTheyRun)
{
    // Each menu: name, caption, then its items; a command item ends in "=" and its index.
    const QStringList expected = {
        "mSys 系统: mSet 设置 | mEnd 退出",
        "mEdit 编辑: mAddTradeRec 添加交易记录=0 | mEditTradeRec 编辑交易记录=1 | mAddBuyRec 添加买入记录=10 | "
        "mSaleStock 卖出当前股票=3 | - | mJoinSale 合并卖出股票=8 | mDividSale 分拆卖出股票=9",
        "mAnalyse 分析: mAnaProfit 收益情况分析=4 | mAnaStructure 资产构成分析=5",
        "mSet1 设置: mMSFViewSet 表格外观设置=21 | mColSet 表格列设置=22 | mKSet K线外观设置",
        "mTools 工具: mDividRec 拆分交易记录=12 | mJoinRec 合并交易记录=20",
        "mDB 数据库: mCompact 整理数据库=19 | - | mInputData 导入数据=6 | mOutputData 导出数据=7 | - | "
        "mBackup 备份数据 | mRestore 恢复备份 | - | mClearDB 清空数据",
        "mHelp 帮助: mIntrudation 使用说明 | mAbout 关于软件",
    };
    QStringList menus;
    for (const QAction *m : MF()->menuBar()->actions()) {
        QStringList items;
        for (const QAction *a : m->menu()->actions())
            items << (a->isSeparator() ? "-" : a->objectName() + ' ' + a->text() +
                                               (a->data().isValid() ? '=' + a->data().toString() : ""));
        menus << m->menu()->objectName() + ' ' + m->menu()->title() + ": " + items.join(" | ");
    }
    EXPECT_EQ(menus, expected);
    EXPECT_EQ(MF()->mDB->menuAction(), MF()->menuBar()->actions().value(5));

    // While a long operation runs no item does anything.
    QStringList opened;
    bool opens = true;  // whether the desktop has a program for the page
    SetShellOpenHook([&opened, &opens](const QUrl &url) {
        opened << url.toLocalFile();
        return opens;
    });
    WriteFile(PathOf("help.HTML"), "");
    {
        BusyGuard busy;
        for (QAction *a : MF()->findChildren<QAction *>())
            a->trigger();
    }
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(LoadedKTradeDispSet(), nullptr);
    EXPECT_EQ(LoadedSysSet(), nullptr);
    EXPECT_EQ(LoadedRightform(), nullptr);
    EXPECT_EQ(restarts, 0);

    // The help page of the program folder (any letter case), else the one beside the executable; a
    // page that cannot be opened, or is missing, is named to the user.
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/HELP.html";
    ASSERT_FALSE(QFileInfo::exists(besideProgram)) << "the test writes and removes it";
    struct Help {
        const char *what;
        bool inFolder, besideProgram, opens;
        QString opened, message;
    };
    const Help helps[] = {
        {"in the program folder", true, false, true, PathOf("help.HTML"), ""},
        {"no browser", true, false, false, PathOf("help.HTML"),
         "无法打开使用说明，请用浏览器打开这个网页文件：\r\n" + QDir::toNativeSeparators(PathOf("help.HTML"))},
        {"beside the program", false, true, true, besideProgram, ""},
        {"nowhere", false, false, true, "", "找不到使用说明的网页文件：\r\n" + QDir::toNativeSeparators(besideProgram)},
    };
    for (const Help &h : helps) {
        QFile::remove(PathOf("help.HTML"));
        QFile::remove(besideProgram);
        if (h.inFolder)
            WriteFile(PathOf("help.HTML"), "");
        if (h.besideProgram)
            WriteFile(besideProgram, "");
        opens = h.opens;
        opened.clear();
        prompter.shown.clear();
        Item("mIntrudation")->trigger();
        EXPECT_EQ(opened.join(""), h.opened) << h.what;
        EXPECT_EQ(prompter.Messages(), h.message.isEmpty() ? QStringList() : QStringList{h.message}) << h.what;
    }
    QFile::remove(PathOf("help.HTML"));
    QFile::remove(besideProgram);
    SetShellOpenHook({});
    prompter.shown.clear();
    Item("mKSet")->trigger();
    EXPECT_TRUE(LoadedKTradeDispSet() && LoadedKTradeDispSet()->isVisible());
    Item("mSet")->trigger();
    EXPECT_TRUE(LoadedSysSet() && LoadedSysSet()->isVisible());
    Item("mAbout")->trigger();
    EXPECT_TRUE(LoadedRightform() && LoadedRightform()->isVisible());
    Item("mInputData")->trigger();
    EXPECT_EQ(prompter.shown.size(), 1u) << "the import asks for its file";
}

TEST_F(MaintainTest, BackupIsTheWholeBookOrAVisibleFailure)
{
    // A row that only the write-ahead log holds: the idle connection keeps the log from being folded
    // when this connection closes.
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open(Db().toUtf8().constData(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "PRAGMA wal_autocheckpoint=0; INSERT INTO account(code,sname) VALUES('000001','x')",
                           nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    ASSERT_GT(QFileInfo(Db() + "-wal").size(), 0);
    ASSERT_TRUE(QDir().mkpath(PathOf("out/folder.dbk")));
    const QString old = PathOf("out/old.dbk");
    // The file chosen last was a workbook: the backup proposes a name of its own beside it, not that.
    SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(9, 30)); });
    SharedDialog().fileName = PathOf("out/trades.xlsx");

    const QString ownName = PathOf("out/ACC20240520.dbk");
    struct Case {
        const char *what;
        QString path;
        bool hideBook;
        QString message;
        QString proposed;  // the name the dialog opens on
        bool damage = false;  // a page of the book zeroed first
    };
    const Case cases[] = {
        {"cancelled", "", false, "", ownName},
        {"over an older backup", old, false, kBackupDoneText + old, ownName},
        {"a folder", PathOf("out/folder.dbk"), false, kBackupFailedText, old},
        {"no book to copy", old, true, kBackupFailedText, PathOf("out/folder.dbk")},
        {"onto the book itself", Db(), false, kBackupOntoBookText, old},
        // The book is no backup: the dialog proposes a backup's name beside it.
        {"a damaged book over an older backup", old, false, kBackupOfDamagedText, PathOf("ACC20240520.dbk"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(old, c.what);
        if (c.hideBook) {
            ASSERT_TRUE(QFile::rename(Db(), PathOf("hidden")));
        }
        if (c.damage)
            ZeroTablePage(Db(), "companyinfo");
        const QByteArray book = FoldedBytes();
        EXPECT_EQ(Backup(c.path), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(FoldedBytes(), book);
        if (c.hideBook) {
            ASSERT_TRUE(QFile::rename(PathOf("hidden"), Db()));
        }
        EXPECT_EQ(prompter.shown[0].text, ConvertFileFilter(kBackupFilter));
        EXPECT_EQ(prompter.shown[0].style, 1) << "a save dialog";
        ASSERT_EQ(prompter.fileRequests.size(), 1u);
        EXPECT_EQ(prompter.fileRequests[0].fileName, c.proposed);
        EXPECT_TRUE(prompter.fileRequests[0].confirmOverwrite);
        if (c.message.startsWith(kBackupDoneText)) {
            EXPECT_EQ(Column(old, "SELECT code FROM account ORDER BY code"), "000001,600000");
            FoldedBytes();
            EXPECT_EQ(PageBytes(old), PageBytes(Db()));
        } else {
            EXPECT_EQ(Bytes(old), QByteArray(c.what)) << "the older file stays";
        }
        EXPECT_TRUE(QDir(PathOf("out/folder.dbk")).isEmpty());
        EXPECT_EQ(QDir(PathOf("out")).entryList(QDir::Files), QStringList{"old.dbk"}) << "nothing half-written left";
    }
}

// Bytes past the book's last page (a file system's slack, a cut-short truncation) are no part of it:
// the backup holds the pages only, so that a restore, which refuses a file longer than its pages,
// takes it.
TEST_F(MaintainTest, BackupHoldsTheBooksPagesOnly)
{
    const QByteArray pages = FoldedBytes();
    {
        IdleConnectionPause pause;
        QFile book(Db());
        ASSERT_TRUE(book.open(QIODevice::Append));
        book.write(QByteArray(3000, 'x'));
    }
    ASSERT_TRUE(IsWholeBook(Db()));
    const QString dbk = PathOf("book.dbk");
    ASSERT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    WriteFile(PathOf("pages"), pages);
    EXPECT_EQ(PageBytes(dbk), PageBytes(PathOf("pages")));
    prompter.fileAnswers = {dbk};
    EXPECT_TRUE(RestoreDatabase({}));
    EXPECT_EQ(prompter.Messages(), QStringList{kBackupDoneText + dbk});
}

// Another program holds a read transaction open on the book (an sqlite3 shell after "BEGIN; SELECT
// COUNT(*) FROM account;"), so the records saved after it began cannot be folded out of the
// write-ahead log: the backup holds every one of them all the same, and no log file is left beside
// it. The compaction waits until the other program has closed the book; then the compaction's
// "backup" and the compacted book hold them too.
TEST_F(MaintainTest, CopiesHoldEveryRecordWhileAnotherProgramReads)
{
    sqlite3 *reader = nullptr;
    ASSERT_EQ(sqlite3_open(Db().toUtf8().constData(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM account;", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        DbConnection conn;
        ASSERT_TRUE(conn.Open(Db()) && conn.Begin());
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(conn.Execute(QString("INSERT INTO account(code,sname) VALUES('%1','x')").arg(i + 1)));
        ASSERT_TRUE(conn.Commit());
    }
    ASSERT_GT(QFileInfo(Db() + "-wal").size(), 0);
    const QString dbk = PathOf("all.dbk");
    EXPECT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    CompactAccDb();
    EXPECT_EQ(prompter.Messages(),
              (QStringList{kBackupDoneText + dbk, BookInUseText(Db()) + "\r\n\r\n" + kCompactNotDoneText}));
    sqlite3_close(reader);
    CompactAccDb();
    EXPECT_EQ(prompter.Messages().size(), 2);
    EXPECT_EQ(QDir(Folder()).entryList({"all.dbk*", "backup*"}, QDir::Files), (QStringList{"all.dbk", "backup"}));
    for (const QString &copy : {dbk, PathOf("backup"), Db()})
        EXPECT_EQ(Column(copy, "SELECT COUNT(*) FROM account").toStdString(), "201") << copy.toStdString();
}

// Another program that has the book open and has read from it goes on using the file it opened, with
// the log and index files beside it: a compacted or restored file renamed over the book would leave it
// on the old file, and the book could be read with its log. The compaction and the restore refuse
// while it is there, changing nothing, and work once it has closed the book; the backup works while
// it is there.
TEST_F(MaintainTest, CompactionAndRestoreWaitUntilAnotherProgramClosesTheBook)
{
    const QString dbk = PathOf("book.dbk");
    ASSERT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',#2021-03-05#,9,100,100)");
    struct Case {
        const char *what;
        std::function<bool()> run;
        QString refusal;
        const char *codes;  // of the book once it has worked
    };
    const Case cases[] = {
        {"compaction", [] { return CompactDatabase(ProgramFilePath(kAccDb), QString(), true); },
         BookInUseText(Db()) + "\r\n\r\n" + kCompactNotDoneText, "000001,600000"},
        {"restore",
         [&] {
             prompter.fileAnswers = {dbk};
             return RestoreDatabase({});
         },
         BookInUseText(Db()) + "\r\n\r\n" + kRestoreFailedText, "600000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray before = FoldedBytes();
        const QStringList names = Names();
        {
            ReaderProcess reader(Db());
            ASSERT_TRUE(reader.Reading());
            prompter.shown.clear();
            EXPECT_FALSE(c.run());
            EXPECT_EQ(prompter.Messages(), QStringList{c.refusal});
            // The backup only reads the book: it works meanwhile.
            const QString meanwhile = PathOf("out/meanwhile.dbk");
            ASSERT_TRUE(QDir().mkpath(PathOf("out")));
            EXPECT_EQ(Backup(meanwhile), QStringList{kBackupDoneText + meanwhile});
            EXPECT_EQ(Column(meanwhile, "SELECT code FROM account ORDER BY code"), "000001,600000");
            EXPECT_TRUE(reader.Stop());
        }
        EXPECT_TRUE(IsWholeBook(Db()));
        EXPECT_EQ(FoldedBytes(), before);
        EXPECT_EQ(Names(), names);
        prompter.shown.clear();
        EXPECT_TRUE(c.run());
        EXPECT_EQ(prompter.Messages(), QStringList());
        EXPECT_TRUE(IsWholeBook(Db()));
        EXPECT_EQ(Column(Db(), "SELECT code FROM account ORDER BY code"), c.codes);
    }
}

TEST_F(MaintainTest, RestoreKeepsTheBookAsideOrChangesNothing)
{
    // The backup holds one record, the book two. No backup: an SQLite file without account, one with
    // a page of the stock list zeroed, one whose account and 参数 have other columns.
    const QString dbk = PathOf("book.dbk"), other = PathOf("other.dbk"), text = PathOf("text.dbk");
    const QString damaged = PathOf("damaged.dbk"), shape = PathOf("shape.dbk");
    ASSERT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    // The backup with a page count in its header that SQLite does not trust (its version-valid-for
    // number differs from the change counter) and that says one page: SQLite counts the file's pages.
    const QString uncounted = PathOf("uncounted.dbk");
    {
        QByteArray bytes = Bytes(dbk);
        ASSERT_GT(bytes.size(), 4096);
        bytes[31] = 1;
        bytes[28] = bytes[29] = bytes[30] = 0;
        bytes[95] = static_cast<char>(bytes[27] + 1);
        WriteFile(uncounted, bytes);
    }
    Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',#2021-03-05#,9,100,100)");
    WriteFile(text, "Standard Jet DB");
    ASSERT_TRUE(QFile::copy(dbk, other));
    ASSERT_TRUE(QFile::copy(dbk, damaged));
    ZeroTablePage(damaged, "companyinfo");
    {
        DbConnection c;
        ASSERT_TRUE(c.Open(other) && c.Execute("DROP TABLE account"));
    }
    {
        WriteFile(shape, "");
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open(shape.toUtf8().constData(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw, "CREATE TABLE account(id, code, note); CREATE TABLE 参数(Var, Con)", nullptr, nullptr,
                               nullptr), SQLITE_OK);
        sqlite3_close(raw);
    }
    QFile::setPermissions(Db(), QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray bookBytes = FoldedBytes();

    enum Setup { Plain, TwoKept, AllKept, NoBook, Linked, Damaged };
    // A book whose header is whole and the rest noise: what a restore is there for.
    QByteArray damagedBook("SQLite format 3", 16);
    for (int i = 0; i < 8192; ++i)
        damagedBook += static_cast<char>((i * 131 + 7) % 256);
    struct Case {
        const char *what;
        QString chosen;
        Setup setup;
        QString message;
        QString keptAs;  // the old book's new name
        bool slow = false;  // the copy takes longer than a second
    };
    const Case cases[] = {
        {"cancelled", "", Plain, "", ""},
        {"text file", text, Plain, kNotABackupText, ""},
        {"SQLite without account", other, Plain, kNotABackupText, ""},
        {"a page zeroed", damaged, Plain, kNotABackupText, ""},
        {"account of another shape", shape, Plain, kNotABackupText, ""},
        {"all names taken", dbk, AllKept, kRestoreFailedText, ""},
        {"two kept, one in capitals", dbk, TwoKept, "", "acc0003.mdb"},
        {"no book", dbk, NoBook, "", "ACC.MDB"},
        {"a damaged book", dbk, Damaged, "", "acc0001.mdb"},
        {"the book a link to a file elsewhere", dbk, Linked, "", "acc0001.mdb"},
        {"a page count SQLite does not trust", uncounted, Plain, "", "acc0001.mdb"},
        {"a copy that takes long", dbk, Plain, "", "acc0001.mdb", true},
    };
    const QString copyCaption = "正在复制备份文件……";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        restarts = 0;
        prompter.shown.clear();
        for (int n = 1; n <= (c.setup == AllKept ? 1000 : c.setup == TwoKept ? 2 : 0); ++n)
            WriteFile(PathOf(QString(n == 2 ? "ACC%1.MDB" : "acc%1.mdb").arg(n, 4, 10, QLatin1Char('0'))), "x");
        MF();
        OpenRecordWindows();
        if (c.setup == NoBook) {
            IdleConnectionPause pause;
            ASSERT_TRUE(QFile::remove(Db()));
            WriteFile(Db() + "-wal", "a stale log");
        }
        if (c.setup == Damaged) {
            IdleConnectionPause pause;
            WriteFile(Db(), damagedBook);
        }
        if (c.setup == Linked) {
            IdleConnectionPause pause;
            ASSERT_TRUE(QDir().mkpath(PathOf("real")));
            ASSERT_TRUE(QFile::rename(Db(), PathOf("real/ACC.MDB")));
            ASSERT_TRUE(QFile::link(PathOf("real/ACC.MDB"), Db()));
        }
        const QStringList before = Names();
        ShowIndicator("", 0);
        HideIndicator();
        bool slowed = false;
        SetRestoreStepHook([&](const char *step) {
            if (c.slow && !slowed && std::string(step) == "copying") {
                QThread::msleep(1100);
                slowed = true;
            }
        });

        prompter.fileAnswers = {c.chosen};
        MF()->mRestore_Click();
        SetRestoreStepHook({});
        EXPECT_EQ(CurrentIndicator().message == copyCaption, c.slow) << "the progress window shows a long copy";
        EXPECT_FALSE(CurrentIndicator().shown);

        EXPECT_EQ(prompter.Messages(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        const bool restored = !c.keptAs.isEmpty();
        EXPECT_EQ(restarts, restored ? 1 : 0);
        EXPECT_EQ(RecordWindowsOpen(), !restored);
        if (restored) {
            EXPECT_EQ(bytesAtRestart, Bytes(c.chosen)) << "the restart starts on the backup as it was";
            EXPECT_EQ(Column(Db(), "SELECT code FROM account"), "600000");
            EXPECT_NE(Bytes(Db() + "-wal"), "a stale log");
            QStringList expected = before;
            expected << c.keptAs;
            expected.sort();
            EXPECT_EQ(Names(), expected) << "no other file came or went";
            EXPECT_EQ(QFileInfo(Db()).isSymLink(), c.setup == Linked) << "a link stays a link";
            EXPECT_EQ(QDir(PathOf("real")).entryList({"accRestore*"}, QDir::Files), QStringList());
            if (c.setup != NoBook) {
                EXPECT_EQ(Bytes(PathOf(c.keptAs)), c.setup == Damaged ? damagedBook : bookBytes);
                EXPECT_EQ(QFileInfo(Db()).permissions() & QFile::Permissions::fromInt(0x7077),
                          QFile::ReadOwner | QFile::WriteOwner);
            }
        } else {
            EXPECT_EQ(FoldedBytes(), bookBytes);
            EXPECT_EQ(Names(), before);
        }
        // The two-record book again for the next case.
        delete LoadedMF();
        IdleConnectionPause pause;
        for (const QString &f : QDir(Folder()).entryList({"acc*"}, QDir::Files))
            QFile::remove(PathOf(f));
        QDir(PathOf("real")).removeRecursively();
        WriteFile(Db(), bookBytes);
        QFile::setPermissions(Db(), QFile::ReadOwner | QFile::WriteOwner);
    }
}

// What a file dialog may hand over that is no backup is refused at once, before anything of it is
// copied: a named pipe (whose open would wait for a writer for good), a device without end, a folder,
// and a file of 3 GiB (sparse) beginning with a backup, whose header says the database ends far sooner.
// Each restore runs in a bounded child that may write 16 MiB at most, so that one that waits or copies
// fails by the bound.
TEST_F(MaintainTest, RestoreRefusesWhatIsNoBackupBeforeCopyingIt)
{
    const QString dbk = PathOf("book.dbk"), pipe = PathOf("pipe.dbk"), huge = PathOf("huge.dbk");
    ASSERT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(QFile::copy(dbk, huge));
    ASSERT_TRUE(QFile(huge).resize(3LL << 30));
    ASSERT_TRUE(QDir().mkpath(PathOf("folder.dbk")));
    const QByteArray book = FoldedBytes();
    const QStringList before = Names();
    for (const QString &chosen : {pipe, QString("/dev/zero"), PathOf("folder.dbk"), huge}) {
        SCOPED_TRACE(chosen.toStdString());
        const BoundedRun run = RunBounded(
            [&] {
                const rlimit cap{16 << 20, 16 << 20};
                setrlimit(RLIMIT_FSIZE, &cap);
                signal(SIGXFSZ, SIG_IGN);  // a write past the cap fails instead of ending the process
                prompter.shown.clear();
                prompter.fileAnswers = {chosen};
                RestoreDatabase({});
                return prompter.Messages().join('|').toStdString();
            },
            10, 256 << 20);
        EXPECT_TRUE(run.finished) << (run.overTime ? "over time" : "over memory");
        EXPECT_EQ(QString::fromStdString(run.output), kNotABackupText);
        EXPECT_EQ(FoldedBytes(), book);
        EXPECT_EQ(Names(), before) << "nothing copied is left";
    }
}

// A restore killed after any of its steps leaves a whole ACC.MDB, the old book or the backup. The
// next start removes what the restore and a compaction left, once the book is whole, and nothing else.
TEST_F(MaintainTest, RestoreKilledAtAnyStepLeavesAWholeBookAndTheNextStartTidiesUp)
{
    const QString dbk = PathOf("book.dbk");
    ASSERT_EQ(Backup(dbk), QStringList{kBackupDoneText + dbk});
    Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',#2021-03-05#,9,100,100)");
    const QByteArray bookBytes = FoldedBytes();
    const QStringList others = {"accRestore.txt", "other.tmp", "ACC.MDB.bak", "book.dbk"};
    for (const QString &name : others.mid(0, 3))
        WriteFile(PathOf(name), "not the program's");
    auto leftovers = [this] { return QDir(Folder()).entryList({"accRestore*.tmp*", "ACC.MDB.new*"}, QDir::Files); };

    struct Case {
        std::string step;
        const char *codes;  // of the book after the kill
        bool kept;          // acc0001.mdb holds the old book
    };
    const Case cases[] = {
        {"checked", "000001,600000", false},
        {"kept", "000001,600000", true},
        {"replaced", "600000", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.step);
        {
            // The book is the child's alone, as it is the program's: a connection of this process on
            // it would be another program's.
            IdleConnectionPause idle;
            EXPECT_EXIT(
                {
                    SetRestoreStepHook([&c](const char *step) {
                        if (c.step == step)
                            _exit(0);
                    });
                    prompter.fileAnswers = {dbk};
                    RestoreDatabase({});
                    _exit(1);
                },
                ::testing::ExitedWithCode(0), "");
        }
        EXPECT_TRUE(IsWholeBook(Db()));
        EXPECT_EQ(Column(Db(), "SELECT code FROM account ORDER BY code"), c.codes);
        EXPECT_EQ(QFileInfo::exists(PathOf("acc0001.mdb")), c.kept);
        if (c.kept) {
            EXPECT_EQ(Bytes(PathOf("acc0001.mdb")), bookBytes);
        }
        WriteFile(PathOf("ACC.MDB.new"), "a compaction cut short");
        EXPECT_EQ(leftovers().size(), c.step == "replaced" ? 1 : 2) << leftovers().join(' ').toStdString();

        EXPECT_EQ(Main(), 0);
        ReleaseInstanceLock();
        EXPECT_EQ(leftovers(), QStringList());
        for (const QString &name : others)
            EXPECT_TRUE(QFileInfo::exists(PathOf(name))) << name.toStdString();

        IdleConnectionPause pause;
        QFile::remove(PathOf("acc0001.mdb"));
        WriteFile(Db(), bookBytes);
    }
    // A book reached through a link: what was left beside the file it leads to goes too.
    {
        IdleConnectionPause pause;
        ASSERT_TRUE(QDir().mkpath(PathOf("real")));
        ASSERT_TRUE(QFile::rename(Db(), PathOf("real/ACC.MDB")));
        ASSERT_TRUE(QFile::link(PathOf("real/ACC.MDB"), Db()));
    }
    for (const char *name : {"real/ACC.MDB.new", "real/accRestoreAbCdEf.tmp", "real/notes.txt"})
        WriteFile(PathOf(name), "left");
    EXPECT_EQ(Main(), 0);
    ReleaseInstanceLock();
    EXPECT_EQ(QDir(PathOf("real")).entryList({"ACC.MDB.*", "acc*.tmp", "*.txt"}, QDir::Files),
              QStringList{"notes.txt"});
    // Beside a damaged book they stay: one of them may be all that is left of it.
    ZeroTablePage(Db(), "companyinfo");
    WriteFile(PathOf("accRestoreAbCdEf.tmp"), "a copy");
    EXPECT_EQ(Main(), 0);
    ReleaseInstanceLock();
    EXPECT_EQ(leftovers(), QStringList{"accRestoreAbCdEf.tmp"});
}

TEST_F(MaintainTest, ClearKeepsWindowSettingsStocksAndLastCloses)
{
    for (const char *key : {"FPAR_MF_chk", "FPAR_SysSet_tt", "当前结点", "MSFOrder_0", "FN_account", "上次下载日期"})
        SaveParam(QString::fromUtf8(key), "1");
    for (const char *sql : {"CREATE TABLE H_1A0001(trdat DATE)", "CREATE TABLE H_600000(trdat DATE)",
                            "INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-03#,1000)",
                            "INSERT INTO LastClprice(code,clprice) VALUES('600000',10.5)",
                            "INSERT INTO LastPrice(code,price) VALUES('600000',10.5)"})
        Exec(sql);
    const QString stocks = Column(Db(), "SELECT COUNT(*) FROM companyinfo");
    MF();
    OpenRecordWindows();
    const QByteArray before = FoldedBytes();

    prompter.messageAnswers = {Msg::No};
    MF()->mClearDB_Click();
    EXPECT_EQ(prompter.Messages(), QStringList{kClearQuestion});
    EXPECT_EQ(prompter.shown[0].style, Msg::YesNo + Msg::Question + Msg::DefaultButton2) << "No the default";
    EXPECT_EQ(FoldedBytes(), before);
    EXPECT_TRUE(RecordWindowsOpen());
    EXPECT_EQ(restarts, 0);

    // The chart shows a stock of the book, its read-out a bar of it.
    Picture &chart = MF()->Pic[0]->picture();
    chart.Tag = QStringLiteral("[600000]浦发银行");
    chart.hDC();
    chart.Line(0, 0, 3000, 3000);
    ASSERT_NE(chart.Image().pixel(50, 50), chart.Image().pixel(50, 10));
    MF()->LBL[2]->setText(QStringLiteral("2021-03-04\n仓位：100"));

    prompter.messageAnswers = {Msg::Yes};
    MF()->mClearDB_Click();
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(chart.Image().pixel(50, 50), chart.Image().pixel(50, 10)) << "no stock of the old book on the chart";
    EXPECT_EQ(MF()->LBL[2]->text(), QString()) << "nor a bar of it in the read-out";
    EXPECT_FALSE(LoadedAccEdit() || LoadedStockBuy() || LoadedKTradeDispSet() || LoadedInvestCompare() ||
                 LoadedCapStructure());
    EXPECT_EQ(Column(Db(), "SELECT var FROM 参数 ORDER BY var"), "FPAR_MF_chk,FPAR_SysSet_tt");
    EXPECT_EQ(Column(Db(), "SELECT name FROM sqlite_master WHERE name LIKE 'H%'"), "");
    EXPECT_EQ(Column(Db(), "SELECT (SELECT COUNT(*) FROM account)+(SELECT COUNT(*) FROM DeelRes)+"
                           "(SELECT COUNT(*) FROM LastPrice)"), "0");
    EXPECT_EQ(Column(Db(), "SELECT COUNT(*) FROM companyinfo"), stocks);
    EXPECT_EQ(Column(Db(), "SELECT code FROM LastClprice"), "600000");
    EXPECT_TRUE(QFileInfo::exists(PathOf("backup"))) << "the compaction's copy of the book before it";
}

}  // namespace
