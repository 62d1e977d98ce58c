// Main_sub: start-up, the data part of a restart, the schema upgrade and the settings records.
#include "main_sub.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include "mainwindow/db_maintain.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "records/deelres.h"
#include "storage/book_copy.h"
#include "storage/common.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"
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

// The most whole copies a missing-book question names, and the most databases of this program it looks
// at for them: each look reads the whole file (0.1 s for a ten-year book), and a folder may hold years
// of daily backups. A file that is no such database (an empty or foreign file by a copy's name) is
// told by its header and the names of its tables and does not count.
constexpr int kNamedCopies = 5;
constexpr int kLookedAtCopies = 20;

// A missing book beside whole copies of it (a restore or a move that went wrong, a compaction cut
// short): asks before a new, empty book takes its place, naming the newest of them. True when a new
// book may be made.
bool MissingBookMayBeMade(const QString &book)
{
    const QStringList candidates = KeptBookCopies(QFileInfo(book).absolutePath(), true);
    QStringList named;
    int looked = 0;
    qsizetype next = 0;
    for (; next < candidates.size() && looked < kLookedAtCopies && named.size() < kNamedCopies; ++next) {
        // No is to leave the folder as it was: the look leaves nothing beside the copy.
        const CopyLook look(candidates[next]);
        if (InspectBookFile(candidates[next]) != AccDbState::Ok)
            continue;
        ++looked;
        if (IsWholeBook(candidates[next]))
            named << KeptCopyText(candidates[next]);
    }
    if (named.isEmpty())
        return true;
    if (next < candidates.size())
        named << QStringLiteral("……（更早的副本没有列出）");
    const QString text =
        QStringLiteral("账本文件不存在：\r\n") + QDir::toNativeSeparators(book) +
        QStringLiteral("\r\n\r\n程序文件夹中有完整的账本副本，最新的在前：\r\n") + named.join(QStringLiteral("\r\n")) +
        QStringLiteral("\r\n\r\n选“是”新建一个空账本（之后可以用菜单“数据库”中的“恢复备份”换回备份）；"
                       "\r\n选“否”则程序将退出，什么也不改动：可以把其中一个副本复制为程序文件夹中的 ACC.MDB "
                       "后再启动。");
    return MsgBox(text, Msg::YesNo + Msg::Question + Msg::DefaultButton2) == Msg::Yes;
}

// Keeps a leftover copy of the book under the folder's next free acc####.mdb, with its log. The log
// goes first: cut short between the two renames, the copy stays a leftover that the next start keeps.
bool KeepLeftoverAside(const QString &copy, const QString &folder)
{
    const QString name = FreeKeepName(folder);
    if (name.isEmpty())
        return false;
    const QString keep = QDir(folder).filePath(name);
    const QString wal = QStringLiteral("-wal");
    if (QFileInfo::exists(copy + wal) && !QFile::rename(copy + wal, keep + wal))
        return false;
    return QFile::rename(copy, keep);
}

// What an interrupted restore or compaction left in the folder (BookLeftovers): a whole copy holding
// account rows the book lacks is kept aside (the book may have lost them), the rest removed. A copy
// that cannot be kept aside stays where it is, with the compaction's folder holding it.
void TidyLeftovers(const QString &folder, const QStringList &leftovers, const QString &book)
{
    const auto isLog = [](const QString &path) {
        return path.endsWith(QStringLiteral("-wal"), Qt::CaseInsensitive) ||
               path.endsWith(QStringLiteral("-shm"), Qt::CaseInsensitive);
    };
    QStringList staying;
    for (const QString &path : leftovers) {
        if (isLog(path) || QFileInfo(path).isDir())
            continue;
        bool keep = false;
        {
            const CopyLook look(path);
            keep = IsWholeBook(path) && HoldsRowsTheBookLacks(path, book);
        }
        if (keep && !KeepLeftoverAside(path, folder))
            staying << path;
    }
    for (const QString &path : leftovers) {
        const bool stays = std::any_of(staying.begin(), staying.end(), [&path](const QString &s) {
            return path == s || path.startsWith(s + u'-') || s.startsWith(path + u'/');
        });
        if (stays)
            continue;
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            RemoveBookFiles(path);
    }
}

// Tidies what an interrupted restore or compaction left beside the book, once the book is certain to
// be whole; with a book that is not, they stay (one of them may be all that is left of it).
void RemoveLeftovers(const QString &book)
{
    const QString folder = QFileInfo(book).absolutePath();
    // Those of a book reached through a link lie beside the file it leads to.
    const QString behind = QFileInfo(FileBehindLink(book)).absolutePath();
    const QStringList here = BookLeftovers(folder);
    const QStringList there = behind != folder ? BookLeftovers(behind) : QStringList();
    if ((here.isEmpty() && there.isEmpty()) || !IsWholeBook(book))
        return;
    TidyLeftovers(folder, here, book);
    TidyLeftovers(behind, there, book);
}

// The owner a lock file names: the process, the host name and the machine id (empty when unknown).
struct LockOwner {
    qint64 pid = 0;
    QString host;
    QByteArray machineId;
};

// The owner named in the lock file, when it can be read. Qt writes the process id, the program's name,
// the host name, the machine id and the boot id, one a line; files of Qt before 5.10 end after the
// host name.
std::optional<LockOwner> ReadLockOwner(const QLockFile &lock)
{
    LockOwner owner;
    QString app;
    if (!lock.getLockInfo(&owner.pid, &owner.host, &app))
        return std::nullopt;
    QFile f(lock.fileName());
    if (f.open(QIODevice::ReadOnly))
        owner.machineId = f.read(4096).split('\n').value(3).trimmed();
    return owner;
}

// True when the owner is on another machine: its host name differs from this one's (in any letter
// case), or its machine id does, where both are known. Qt never takes such a lock for stale, as the
// process it names cannot be looked for here.
bool OnAnotherMachine(const LockOwner &owner)
{
    const QString host = QSysInfo::machineHostName();
    const QByteArray id = QSysInfo::machineUniqueId();
    return (!owner.host.isEmpty() && !host.isEmpty() && owner.host.compare(host, Qt::CaseInsensitive) != 0) ||
           (!owner.machineId.isEmpty() && !id.isEmpty() && owner.machineId != id);
}

// The question on a lock left by another machine: the lock file, that machine and the warning.
QString LockOnAnotherMachineText(const LockOwner &owner)
{
    const QString machine = !owner.host.isEmpty() ? QStringLiteral("“%1”").arg(owner.host.left(64))
                                                  : QStringLiteral("（机器标识 %1）")
                                                        .arg(QString::fromLatin1(owner.machineId.left(64)));
    return QStringLiteral("运行锁文件：\r\n") + QDir::toNativeSeparators(InstanceLockPath()) +
           QStringLiteral("\r\n\r\n是另一台电脑%1上的本软件留下的：程序可能正在那台电脑上使用这个账本，"
                          "也可能在那里没有正常退出。\r\n\r\n如果程序仍在那台电脑上运行，同时使用会损坏账本。"
                          "\r\n\r\n确认那台电脑上的程序已经退出后，选“是”删除这个锁文件并启动；"
                          "选“否”则程序将退出，什么也不改动。")
               .arg(machine);
}

// The question on a lock file that names nobody.
QString UnreadableLockText()
{
    return QStringLiteral("运行锁文件：\r\n") + QDir::toNativeSeparators(InstanceLockPath()) +
           QStringLiteral("\r\n\r\n是空的或者已经损坏，看不出是谁留下的：可能是断电或死机时留下的。"
                          "\r\n\r\n如果本软件正在这台或另一台电脑上使用这个账本，同时使用会损坏账本。"
                          "\r\n\r\n确认本软件没有在运行后，选“是”删除这个锁文件并启动；"
                          "选“否”则程序将退出，什么也不改动。");
}

}  // namespace

QString InstanceLockPath()
{
    return ProgramFilePath(QStringLiteral("kelvaro.lock"));
}

InstanceLock AcquireInstanceLock(QString *question)
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
    const std::optional<LockOwner> owner = held ? ReadLockOwner(*lock) : std::nullopt;
    lock.reset();
    if (owner && OnAnotherMachine(*owner)) {
        if (question)
            *question = LockOnAnotherMachineText(*owner);
        return InstanceLock::HeldOnAnotherMachine;
    }
    // Qt never takes a lock file it cannot read for stale: without this question such a file would
    // refuse every start.
    if (held && !owner) {
        if (question)
            *question = UnreadableLockText();
        return InstanceLock::Unreadable;
    }
    return held ? InstanceLock::HeldElsewhere : InstanceLock::CannotCreate;
}

bool TakeOverInstanceLock()
{
    auto &lock = HeldLock();
    if (lock && lock->isLocked())
        return true;
    lock = std::make_unique<QLockFile>(InstanceLockPath());
    lock->setStaleLockTime(0);
    // The removal fails while a process holds the file locked, also over a network share that passes
    // locks on.
    if (lock->removeStaleLockFile() && lock->tryLock(0))
        return true;
    lock.reset();
    return false;
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
    // The days a record is held (now-bdate in the trade grid's query) are the market's days, as every
    // other trading day of the program is.
    SetDbClockOffset(kMarketUtcOffsetSeconds);
    // The book first, before anything opens or writes it.
    const QString book = ProgramFilePath(kAccDb);
    const AccDbState state = InspectAccDb(book);
    const bool remake = state == AccDbState::Missing || state == AccDbState::Empty;
    if (state != AccDbState::Ok && !(remake && HasAccDbSources(dataFolder))) {
        MsgBox(BookProblemText(state, book, dataFolder), Msg::OkOnly | Msg::Critical);
        return 1;
    }
    QString lockQuestion;
    switch (AcquireInstanceLock(&lockQuestion)) {
    case InstanceLock::Taken:
        break;
    case InstanceLock::HeldOnAnotherMachine:
    case InstanceLock::Unreadable:
        if (MsgBox(lockQuestion, Msg::YesNo + Msg::Exclamation + Msg::DefaultButton2) != Msg::Yes)
            return 1;
        if (TakeOverInstanceLock())
            break;
        [[fallthrough]];
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
