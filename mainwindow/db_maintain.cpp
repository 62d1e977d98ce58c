// Database maintenance: backup, restore and clearing of ACC.MDB.
#include "db_maintain.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "platform/regular_file.h"
#include "storage/book_copy.h"
#include "storage/book_hold.h"
#include "storage/compact.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"
#include "storage/dialogs.h"
#include "storage/indicator.h"

namespace {

const QString kWal = QStringLiteral("-wal");
const QString kShm = QStringLiteral("-shm");

// Copies the bytes of the file at from into out, a chunk at a time (a book may be large).
bool CopyBytes(const QString &from, QIODevice &out)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size())
            return false;
    }
    return in.error() == QFileDevice::NoError;
}

// True when the two paths name the same file (through a link, a second hard link or another spelling).
bool SameFile(const QString &a, const QString &b)
{
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A second name for a file: a hard link, or where the file system has none, a copy put on the disk.
bool LinkOrCopy(const QString &from, const QString &to)
{
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (CopyBytes(from, out) && out.flush() && ::fsync(out.handle()) == 0)
        return true;
    out.remove();
    return false;
}

// Keeps the book under the name keep as well, with a write-ahead log that could not be folded into it
// (its shared-memory index is only a cache).
bool KeepAside(const QString &database, const QString &keep)
{
    if (!LinkOrCopy(database, keep))
        return false;
    if (QFileInfo(database + kWal).size() == 0 || LinkOrCopy(database + kWal, keep + kWal))
        return true;
    QFile::remove(keep);
    return false;
}

std::function<void(const char *)> &RestoreStepHook()
{
    static std::function<void(const char *)> hook;
    return hook;
}

void ReachRestoreStep(const char *step)
{
    if (RestoreStepHook())
        RestoreStepHook()(step);
}

// The caption of the progress window while a restore copies a backup that takes long.
const QString kRestoreCopyCaption = QStringLiteral("正在复制备份文件……");

// The shortest time between two steps of a restore's copy, which let events through (ms).
constexpr long long kCopyStepMs = 100;

// The size of an SQLite database header, and the pieces of a copy.
constexpr qint64 kHeaderBytes = 100;
constexpr qint64 kCopyChunk = 1 << 20;

quint32 BigEndian(const QByteArray &bytes, int at, int size)
{
    quint32 v = 0;
    for (int i = 0; i < size; ++i)
        v = v << 8 | static_cast<quint8>(bytes[at + i]);
    return v;
}

// The most bytes an SQLite database file can hold by its header: page count × page size when SQLite
// trusts the count (it is not 0, and the version-valid-for number at offset 92 equals the change
// counter at offset 24), else 0, for no limit (SQLite then counts the pages by the file's size).
// Nothing when the bytes are no SQLite database header.
std::optional<qint64> SizeByHeader(const QByteArray &header)
{
    if (header.size() < kHeaderBytes || !header.startsWith(QByteArray("SQLite format 3", 16)))
        return std::nullopt;
    const quint32 stored = BigEndian(header, 16, 2);
    const qint64 pageSize = stored == 1 ? 65536 : stored;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        return std::nullopt;
    const quint32 pages = BigEndian(header, 28, 4);
    if (pages == 0 || BigEndian(header, 92, 4) != BigEndian(header, 24, 4))
        return 0;
    return pages * pageSize;
}

// Shows the progress window once a copy of that many pieces has run longer than kWaitShownAfterMs,
// the pieces copied by then done, and steps it by the pieces copied after; unloads it at the end.
class CopyProgress {
public:
    explicit CopyProgress(long pieces) : m_pieces(pieces) { m_started.start(); }
    ~CopyProgress()
    {
        if (m_steps)
            HideIndicator();
    }
    CopyProgress(const CopyProgress &) = delete;
    CopyProgress &operator=(const CopyProgress &) = delete;

    void PieceDone()
    {
        if (m_steps) {
            m_steps->Step();
            return;
        }
        ++m_done;
        if (m_started.elapsed() > kWaitShownAfterMs) {
            ShowIndicator(kRestoreCopyCaption, m_pieces, m_done);
            m_steps.emplace(kCopyStepMs);
        }
    }

private:
    long m_pieces;
    long m_done = 0;  // before the window shows
    QElapsedTimer m_started;
    std::optional<IndicatorSteps> m_steps;  // while the window shows
};

// The restore's checked copy of the backup: a file in the program folder removed (with any log
// files beside it) unless it was moved into place.
class RestoreCopy {
public:
    explicit RestoreCopy(const QString &folder)
    {
        QTemporaryFile file(folder + QStringLiteral("/accRestoreXXXXXX.tmp"));
        file.setAutoRemove(false);
        if (file.open())
            m_path = file.fileName();
    }
    ~RestoreCopy() { Discard(); }
    RestoreCopy(const RestoreCopy &) = delete;
    RestoreCopy &operator=(const RestoreCopy &) = delete;

    // Removes the copy now (a large one is not left on the disk while a message waits).
    void Discard()
    {
        if (!m_path.isEmpty())
            RemoveBookFiles(m_path);
        m_path.clear();
    }

    enum Filled { Copied, NotABackup, Failed };
    // Copies the chosen backup into the file and puts it on the disk. What cannot be a backup is
    // refused before anything of it is copied: anything but a regular file (a named pipe, a device,
    // a folder), a file without an SQLite header, and one larger than its header says a database is.
    // The copy stops at the size the file had when it was opened.
    Filled Fill(const QString &from)
    {
        if (m_path.isEmpty())
            return Failed;
        // The open of a named pipe would wait for a writer for good.
        RegularFile in;
        switch (in.Open(from)) {
        case FileOpening::Opened:
            break;
        case FileOpening::Unreadable:
            return Failed;
        case FileOpening::NotAFile:
            return NotABackup;
        }
        const qint64 size = in.Size();
        QByteArray header(kHeaderBytes, 0);
        if (::pread(in.Fd(), header.data(), kHeaderBytes, 0) != kHeaderBytes)
            return NotABackup;
        const std::optional<qint64> limit = SizeByHeader(header);
        if (!limit || (*limit > 0 && size > *limit))
            return NotABackup;
        QFile out(m_path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return Failed;
        CopyProgress progress(static_cast<long>((size + kCopyChunk - 1) / kCopyChunk));
        QByteArray chunk(kCopyChunk, 0);
        for (qint64 at = 0; at < size;) {
            const ssize_t n = ::pread(in.Fd(), chunk.data(), static_cast<size_t>(std::min(kCopyChunk, size - at)), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Failed;
            if (n == 0)
                break;  // the file became shorter: the check of the copy decides
            if (out.write(chunk.constData(), n) != n)
                return Failed;
            at += n;
            ReachRestoreStep("copying");
            progress.PieceDone();
        }
        return out.flush() && ::fsync(out.handle()) == 0 ? Copied : Failed;
    }
    // True when the copy is a database of this program. Looking at it leaves no log files behind.
    bool IsBook() const
    {
        const CopyLook look(m_path);
        return IsWholeBook(m_path);
    }
    // Moves the copy to path with those permissions, in one step over a file there; it is no longer
    // removed then.
    bool MoveTo(const QString &path, QFile::Permissions permissions)
    {
        if (!QFile::setPermissions(m_path, permissions) ||
            ::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(path).constData()) != 0)
            return false;
        m_path.clear();
        return true;
    }

private:
    QString m_path;
};

// Takes the hold on the book for a restore (the idle connection let go before). A book that cannot be
// opened as a database (a damaged one, which a restore is there to replace) is replaced without it.
// When another program has the book open, the copy is removed, the refusal shown and false returned.
bool HoldBook(BookHold &hold, const QString &database, RestoreCopy &copy)
{
    DbError error;
    if (hold.Take(database, error) || !error.inUse)
        return true;
    copy.Discard();
    MsgBox(BookInUseText(ProgramFilePath(kAccDb)) + QStringLiteral("\r\n\r\n") + kRestoreFailedText);
    return false;
}

}  // namespace

QString BackupProposedName()
{
    return QStringLiteral("ACC") + ClockNow().date().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".dbk");
}

void BackupDatabase()
{
    QString filter = kBackupFilter;
    SaveDialogOptions options;
    options.proposedName = BackupProposedName();
    options.confirmOverwrite = true;
    const QString target = GetFileNameDlg(filter, true, options);
    if (target.isEmpty())
        return;
    BusyGuard busy;
    const QString database = ProgramFilePath(kAccDb);
    if (SameFile(target, database)) {
        MsgBox(kBackupOntoBookText);
        return;
    }
    // The copy is made beside the chosen file (beside the file a link there leads to, and the link
    // stays) under a name of its own and renamed over it once it has passed its check, so an older
    // backup of that name stays until then.
    const QString file = FileBehindLink(target);
    QTemporaryFile temp(file + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    bool ok = temp.open();
    const QString copy = ok ? temp.fileName() : QString();
    temp.close();
    DbError error;
    ok = ok && CopyBookChecked(database, copy, true, error);
    // A backup that replaces an older one keeps who may read it; a new one is as private as the book.
    const QFileInfo old(file);
    ok = ok && QFile::setPermissions(copy, old.exists() ? old.permissions() : QFileInfo(database).permissions()) &&
         ::rename(QFile::encodeName(copy).constData(), QFile::encodeName(file).constData()) == 0;
    if (!ok && !copy.isEmpty())
        RemoveBookFiles(copy);
    // A copy of a damaged book would be refused by a restore: it does not pass for a backup.
    const bool damaged = !ok && QFileInfo(database).isFile() && !IsWholeBook(database);
    MsgBox(damaged ? kBackupOfDamagedText : ok ? kBackupDoneText + target : kBackupFailedText);
}

QString FreeKeepName(const QString &folder)
{
    QSet<QString> taken;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &e : entries)
        taken.insert(e.toLower());
    for (int n = 1; n <= 1000; ++n) {
        const QString name = QStringLiteral("acc%1.mdb").arg(n, 4, 10, QLatin1Char('0'));
        if (!taken.contains(name))
            return name;
    }
    return QString();
}

void SetRestoreStepHook(std::function<void(const char *step)> hook)
{
    RestoreStepHook() = std::move(hook);
}

bool RestoreDatabase(const BeforeDatabaseChange &beforeChange)
{
    QString filter = kBackupFilter;
    const QString chosen = GetFileNameDlg(filter, false);
    if (chosen.isEmpty())
        return false;
    BusyGuard busy;
    const QString folder = ProgramFolder();
    // A book reached through a link is replaced where it lives and the link stays: the checked copy
    // is made beside that file, so that one rename puts it in place.
    const QString database = FileBehindLink(ProgramFilePath(kAccDb));
    const QString databaseFolder = QFileInfo(database).absolutePath();
    RestoreCopy copy(databaseFolder);
    const RestoreCopy::Filled filled = copy.Fill(chosen);
    if (filled != RestoreCopy::Copied || !copy.IsBook()) {
        copy.Discard();
        MsgBox(filled == RestoreCopy::Failed ? kRestoreFailedText : kNotABackupText);
        return false;
    }
    ReachRestoreStep("checked");
    const bool hasDatabase = QFileInfo::exists(database);
    QString keep;
    if (hasDatabase) {
        // Every earlier copy is kept: with all names taken the book is not replaced at all.
        keep = FreeKeepName(folder);
        if (keep.isEmpty()) {
            MsgBox(kRestoreFailedText);
            return false;
        }
        keep = QDir(folder).filePath(keep);
    }
    // Another program that has the book open would go on using the old file, and its log and index
    // files could be read with the restored one: the restore is refused while one has it, before any
    // window closes, and the book is held from then on until the copy is in its place.
    if (hasDatabase) {
        IdleConnectionPause probe;
        BookHold hold;
        if (!HoldBook(hold, database, copy))
            return false;
    }
    if (beforeChange)
        beforeChange();

    IdleConnectionPause pause;
    BookHold hold;
    if (hasDatabase && !HoldBook(hold, database, copy))
        return false;
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                                     QFile::ReadGroup | QFile::ReadOther;
    if (hasDatabase) {
        DbError ignored;  // a log that cannot be folded is kept with the book
        if (hold.Handle())
            hold.FoldLog(ignored);
        else
            FoldWriteAheadLog(database, ignored);
        permissions = QFileInfo(database).permissions();
        // The book stays in place while its copy is made, so a kill at any point leaves a whole ACC.MDB.
        const bool kept = KeepAside(database, keep);
        if (!kept || SyncToDisk(folder, true) != 0) {
            if (kept)
                RemoveBookFiles(keep);
            MsgBox(kRestoreFailedText);
            return false;
        }
        ReachRestoreStep("kept");
    }
    // A log left beside the name would be rolled into the restored book; the old book's log, if it
    // could not be folded, is kept beside its copy.
    QFile::remove(database + kWal);
    QFile::remove(database + kShm);
    // One rename puts the checked copy in place of the book.
    if (!copy.MoveTo(database, permissions)) {
        if (hasDatabase) {
            QFile::copy(keep + kWal, database + kWal);
            RemoveBookFiles(keep);
        }
        MsgBox(kRestoreFailedText);
        return false;
    }
    hold.Release();
    SyncToDisk(databaseFolder, true);
    ReachRestoreStep("replaced");
    return true;
}

bool ClearDatabase(const BeforeDatabaseChange &beforeChange)
{
    if (MsgBox(kClearQuestion, Msg::YesNo + Msg::Question + Msg::DefaultButton2) == Msg::No)
        return false;
    BusyGuard busy;
    if (beforeChange)
        beforeChange();
    // The compaction at the end folds the log and replaces the file.
    IdleConnectionPause pause;
    ShowIndicator(QStringLiteral("正在清空数据..."), 6);
    DropTablesLike(QStringLiteral("H_"));
    StepIndicator();
    for (const QString &sql : {QStringLiteral("DELETE * FROM account"), QStringLiteral("DELETE * FROM DeelRes"),
                               QStringLiteral("DELETE * FROM LastPrice"),
                               QStringLiteral("DELETE * FROM 参数 WHERE NOT var LIKE 'FPAR_%'")}) {
        ExecSql(sql);
        StepIndicator();
    }
    CompactAccDb(kAccDb);
    HideIndicator();
    return true;
}
