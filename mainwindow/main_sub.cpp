// Main_sub: start-up, the data part of a restart, the schema upgrade and the settings records.
#include "main_sub.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include "market/calendar.h"
#include "market/history.h"
#include "market/http.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "records/deelres.h"
#include "storage/common.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

std::unique_ptr<QLockFile> &HeldLock()
{
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

struct MainWindowStartupHooks {
    std::function<void()> load;
    std::function<void()> show;
};

MainWindowStartupHooks &WindowHooks()
{
    static MainWindowStartupHooks hooks;
    return hooks;
}

// The caption of the progress window while start-up waits for a service: the service's name and the
// request's time-out.
QString StartupWaitCaption(const HttpWait &wait)
{
    const QString what =
        wait.service && !wait.service->name.isEmpty() ? wait.service->name : QStringLiteral("网络服务");
    return QStringLiteral("正在连接%1，等待应答（最长%2秒）……").arg(what).arg(wait.timeoutSeconds);
}

// While start-up waits for a service: once a request has waited longer than a second, the progress
// window shows, cycling, what is awaited, and goes when the request ends. The main window is not shown
// yet, so nothing else tells the user that the program runs. A progress window another step shows
// already (the history download's) stays as it is. Either window paints, and can be closed, only
// while window events run: they run behind the busy guard, so no refresh starts meanwhile.
class StartupWaitIndicator {
public:
    StartupWaitIndicator()
    {
        SetHttpWaitHook([this](const HttpWait &wait) { OnWait(wait); });
    }
    ~StartupWaitIndicator()
    {
        SetHttpWaitHook(nullptr);
        if (m_shown)
            HideIndicator();
    }
    StartupWaitIndicator(const StartupWaitIndicator &) = delete;
    StartupWaitIndicator &operator=(const StartupWaitIndicator &) = delete;

private:
    void OnWait(const HttpWait &wait)
    {
        if (wait.finished) {
            if (m_shown)
                HideIndicator();
            m_shown = false;
            return;
        }
        if (wait.waitedMs <= 1000)
            return;
        if (!m_shown && !IndicatorShown()) {
            ShowIndicator(StartupWaitCaption(wait), 0);
            m_shown = true;
        }
        if (IndicatorShown()) {
            BusyGuard busy;
            DoEventsN(20);
        }
    }
    bool m_shown = false;
};

void RunIfSet(const std::function<void()> &step)
{
    if (step)
        step();
}

// The message on a book start-up cannot use: the file, what is wrong, and that the program ends.
// With createFailed, a new book could not be made from dataFolder.
QString BookProblemText(AccDbState state, const QString &path, const QString &dataFolder, bool createFailed = false)
{
    const QString data = dataFolder.isEmpty() ? QStringLiteral("未找到") : QDir::toNativeSeparators(dataFolder);
    QString what;
    switch (state) {
    case AccDbState::Ok:
    case AccDbState::Missing:
        what = QStringLiteral("文件不存在，也没有可用来新建账本的 data 文件夹（%1）。如果移动过程序，请把原来的 "
                              "ACC.MDB 一起移过来。")
                   .arg(data);
        break;
    case AccDbState::Empty:
        what = QStringLiteral("文件是空的（0 字节），也没有可用来新建账本的 data 文件夹（%1）。").arg(data);
        break;
    case AccDbState::Folder:
        what = QStringLiteral("这是一个文件夹，不是账本文件。");
        break;
    case AccDbState::NotDatabase:
        what = QStringLiteral("这不是 SQLite 数据库文件，或者文件已经损坏。");
        if (const QStringList copies = KeptBookCopies(QFileInfo(path).absolutePath()); !copies.isEmpty())
            what += QStringLiteral("\r\n旁边最新的账本副本：\r\n") + KeptCopyText(copies.front());
        break;
    case AccDbState::NotOurs:
        what = QStringLiteral("这是一个 SQLite 数据库，但不是本软件的账本（缺少 account 表或 参数 表）。");
        break;
    case AccDbState::ReadOnly:
        what = QStringLiteral("文件不能写入（只读，或者没有写入权限）。");
        break;
    case AccDbState::FolderReadOnly:
        what = QStringLiteral("文件所在的文件夹（%1）不能写入，账本无法保存。")
                   .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
        break;
    }
    if (createFailed)
        what = QStringLiteral("无法用 data 文件夹（%1）新建账本文件。").arg(data);
    const bool untouched = state != AccDbState::Missing && !createFailed;
    const QString end = untouched ? QStringLiteral("文件没有被改动，程序将退出。") : QStringLiteral("程序将退出。");
    return QStringLiteral("账本文件：\r\n") + QDir::toNativeSeparators(path) + QStringLiteral("\r\n\r\n") + what +
           QStringLiteral("\r\n\r\n") + end;
}

// A missing book beside kept copies of it (a restore or a move that went wrong): asks before a new,
// empty book takes its place. True when a new book may be made.
bool MissingBookMayBeMade(const QString &book)
{
    const QStringList copies = KeptBookCopies(QFileInfo(book).absolutePath(), true);
    if (copies.isEmpty())
        return true;
    const QString text =
        QStringLiteral("账本文件不存在：\r\n") + QDir::toNativeSeparators(book) +
        QStringLiteral("\r\n\r\n程序文件夹中有账本的副本，最新的是：\r\n") + KeptCopyText(copies.front()) +
        QStringLiteral("\r\n\r\n选“是”新建一个空账本（之后可以用菜单“数据库”中的“恢复备份”换回备份）；"
                       "\r\n选“否”则程序将退出，什么也不改动：可以把该副本改名为 ACC.MDB 后再启动。");
    return MsgBox(text, Msg::YesNo + Msg::Question + Msg::DefaultButton2) == Msg::Yes;
}

// Removes what an interrupted restore or compaction left beside the book, once the book is certain
// to be whole; with a book that is not, they stay (one of them may be all that is left).
void RemoveLeftovers(const QString &book)
{
    const QString folder = QFileInfo(book).absolutePath();
    QStringList leftovers = BookLeftovers(folder);
    // Those of a book reached through a link lie beside the file it leads to.
    if (const QString behind = QFileInfo(FileBehindLink(book)).absolutePath(); behind != folder)
        leftovers += BookLeftovers(behind);
    if (leftovers.isEmpty() || !IsWholeBook(book))
        return;
    for (const QString &path : leftovers)
        QFile::remove(path);
}

}  // namespace

QString InstanceLockPath()
{
    return ProgramFilePath(QStringLiteral("kelvaro.lock"));
}

InstanceLock AcquireInstanceLock()
{
    auto &lock = HeldLock();
    if (lock && lock->isLocked())
        return InstanceLock::Taken;
    lock = std::make_unique<QLockFile>(InstanceLockPath());
    // Only a lock whose process has died counts as stale, never one that is merely old.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return InstanceLock::Taken;
    const bool held = lock->error() == QLockFile::LockFailedError;
    lock.reset();
    return held ? InstanceLock::HeldElsewhere : InstanceLock::CannotCreate;
}

void ReleaseInstanceLock()
{
    HeldLock().reset();
}

void UpgradeDatabase()
{
    if (FieldExists(QStringLiteral("account"), QStringLiteral("sid")))
        return;
    DbConnection conn;
    if (!OpenConn(conn))
        return;
    // The column and its first fill belong together: when the fill fails the column is rolled back
    // too, so the next start sees the field missing and tries again.
    if (!conn.Begin()) {
        LogDbError(conn.lastError, QStringLiteral("BEGIN"));
        return;
    }
    const bool done =
        ExecSql(QStringLiteral("ALTER TABLE account ADD sid LONG"), &conn) &&
        ExecSql(QStringLiteral("UPDATE account SET sid=0"), &conn) &&
        ExecSql(QStringLiteral("UPDATE account INNER JOIN companyinfo ON account.code=companyinfo.code "
                               "SET account.sid=companyinfo.id WHERE account.sid=0 OR account.sid IS NULL"),
                &conn);
    if (!done) {
        conn.Rollback();
        return;
    }
    if (!conn.Commit()) {
        LogDbError(conn.lastError, QStringLiteral("COMMIT"));
        conn.Rollback();
    }
}

void LoadFormParams()
{
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT * FROM 参数 WHERE var LIKE 'FPAR_%'"))) {
        RestoreFormParams(nullptr, QStringLiteral("SysSet"), SysSetParams(), &rs);
        RestoreFormParams(nullptr, QStringLiteral("MF"), MFParams(), &rs);
        RestoreFormParams(nullptr, QStringLiteral("KTradeDispSet"), KTradeDispSetParams(), &rs);
        RestoreFormParams(nullptr, QStringLiteral("MSFViewSet"), MSFViewSetParams(), &rs);
    }
    CloseRs(conn, rs);
}

std::optional<double> BookBuyDay(bool latest)
{
    const QString order = latest ? QStringLiteral("DESC") : QStringLiteral("ASC");
    const Value v = GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE ORDER BY bdate ") + order,
                                  QStringLiteral("bdate"), MakeEmpty());
    if (v.IsDate() || v.IsNumeric())
        return v.num;
    if (v.IsString() && !v.str.isEmpty())
        return ParseDate(v.str);
    return std::nullopt;
}

double RecalcStartDate(double downloadedFrom)
{
    const Value newest = GetFieldValue(QStringLiteral("deelres"), QStringLiteral("TRUE ORDER BY dat DESC"),
                                       QStringLiteral("dat"), MakeEmpty());
    // Days valued before their prices arrived are valued again.
    if (newest.IsDate() || (newest.IsNumeric() && newest.num > 0))
        return downloadedFrom > 0 && downloadedFrom < newest.num ? downloadedFrom : newest.num;
    // A failed query gives an Empty value, not the default: both mean "no asset rows".
    if (newest.IsString()) {
        if (const auto d = ParseDate(newest.str); d && *d > kEmptyDate)
            return *d;
    }
    // Without asset rows every day of the book is valued, from its first buy; an empty book from today.
    const std::optional<double> first = BookBuyDay();
    const double today = MarketTodayDayNumber();
    return first && *first > kEmptyDate ? std::min(*first, today) : today;
}

StartupSteps DefaultStartupSteps()
{
    StartupSteps s;
    s.upgradeDatabase = UpgradeDatabase;
    s.getLastQuoteDate = [] { GetLastQuoteDate(); };
    s.downloadAllHistory = DownloadAllHistory;
    s.rebuildLastClosePrices = RebuildLastClosePrices;
    s.loadFormParams = LoadFormParams;
    s.loadSysParams = LoadSysParams;
    s.rebuildQuoteList = RebuildQuoteList;
    s.recalcDeelRes = [](double startDate) { RecalcDeelRes(startDate, true); };
    return s;
}

StartupSteps &CurrentStartupSteps()
{
    static StartupSteps steps = DefaultStartupSteps();
    return steps;
}

void SetMainWindowStartupHooks(std::function<void()> load, std::function<void()> show)
{
    WindowHooks().load = std::move(load);
    WindowHooks().show = std::move(show);
}

int Main(const QString &dataFolder)
{
    // The book first, before anything opens or writes it.
    const QString book = ProgramFilePath(kAccDb);
    const AccDbState state = InspectAccDb(book);
    const bool remake = state == AccDbState::Missing || state == AccDbState::Empty;
    if (state != AccDbState::Ok && !(remake && HasAccDbSources(dataFolder))) {
        MsgBox(BookProblemText(state, book, dataFolder), Msg::OkOnly | Msg::Critical);
        return 1;
    }
    switch (AcquireInstanceLock()) {
    case InstanceLock::Taken:
        break;
    case InstanceLock::HeldElsewhere:
        MsgBox(kAlreadyRunningText, Msg::OkOnly);
        return 1;
    case InstanceLock::CannotCreate:
        MsgBox(QStringLiteral("无法创建运行锁文件：\r\n") + QDir::toNativeSeparators(InstanceLockPath()) +
                   QStringLiteral("\r\n\r\n程序文件夹不能写入。程序将退出。"),
               Msg::OkOnly | Msg::Critical);
        return 1;
    }
    if (remake && !MissingBookMayBeMade(book)) {
        ReleaseInstanceLock();
        return 1;
    }
    // The watch is on before the book is first read, so damage is said before anything is written.
    WatchDbFailures();
    if (state == AccDbState::Ok)
        RemoveLeftovers(book);
    if (remake) {
        // A zero-byte file holds nothing to lose.
        if ((state == AccDbState::Empty && !QFile::remove(book)) || !CreateAccDb(book, dataFolder)) {
            MsgBox(BookProblemText(AccDbState::Missing, book, dataFolder, true), Msg::OkOnly | Msg::Critical);
            ReleaseInstanceLock();
            return 1;
        }
        // The user looks for the book beside the program: say once, when it is made, where it went.
        if (ProgramFolderIsFallback())
            MsgBox(QStringLiteral("程序所在的文件夹不能写入，账本文件建在：\r\n") + QDir::toNativeSeparators(book),
                   Msg::OkOnly | Msg::Information);
    }
    // Held for the program's life, so that the many short connections find the log files made.
    HoldIdleConnection(book);
    const StartupSteps steps = CurrentStartupSteps();
    RunIfSet(steps.upgradeDatabase);
    {
        const StartupWaitIndicator waitShown;
        // The downloads count on the latest trading date, so it is fetched first.
        RunIfSet(steps.getLastQuoteDate);
        const double downloadedFrom = steps.downloadAllHistory ? steps.downloadAllHistory() : 0;
        RunIfSet(steps.rebuildLastClosePrices);
        RunIfSet(steps.loadFormParams);
        // The window loads before the system settings reach its refresh timer.
        RunIfSet(WindowHooks().load);
        RunIfSet(steps.loadSysParams);
        RunIfSet(steps.rebuildQuoteList);
        if (steps.recalcDeelRes)
            steps.recalcDeelRes(RecalcStartDate(downloadedFrom));
    }
    RunIfSet(WindowHooks().show);
    return 0;
}

void RestartData()
{
    // On the file now in place (a restored backup, an emptied book), whose damage or disk failures
    // are told afresh.
    ForgetDbFailuresTold();
    HoldIdleConnection(ProgramFilePath(kAccDb));
    const StartupSteps steps = CurrentStartupSteps();
    // A restored older backup may lack account.sid, which the record writers need.
    RunIfSet(steps.upgradeDatabase);
    const double downloadedFrom = steps.downloadAllHistory ? steps.downloadAllHistory() : 0;
    // As at a start, the settings come from the new file only: a setting it lacks takes its default
    // instead of staying as the old file had it.
    ResetFormParamSets();
    RunIfSet(steps.loadFormParams);
    RunIfSet(steps.loadSysParams);
    RunIfSet(steps.rebuildQuoteList);
    if (steps.recalcDeelRes)
        steps.recalcDeelRes(RecalcStartDate(downloadedFrom));
}
