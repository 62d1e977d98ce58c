// Database maintenance: backup, restore and clearing of ACC.MDB.
#include "db_maintain.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "storage/book_copy.h"
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

// Removes a file and the log files SQLite may have made beside it.
void RemoveWithLogs(const QString &path)
{
    for (const QString &suffix : {QString(), kWal, kShm})
        QFile::remove(path + suffix);
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

// Puts the folder's entries (new names, renames) on the disk.
bool SyncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
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
    ~RestoreCopy()
    {
        if (!m_path.isEmpty())
            RemoveWithLogs(m_path);
    }
    RestoreCopy(const RestoreCopy &) = delete;
    RestoreCopy &operator=(const RestoreCopy &) = delete;

    // Copies the chosen backup into the file and puts it on the disk.
    bool Fill(const QString &from)
    {
        QFile out(m_path);
        return !m_path.isEmpty() && out.open(QIODevice::WriteOnly | QIODevice::Truncate) && CopyBytes(from, out) &&
               out.flush() && ::fsync(out.handle()) == 0;
    }
    // True when the copy is a database of this program. Looking at it leaves no log files behind.
    bool IsBook() const
    {
        const bool ok = IsWholeBook(m_path);
        QFile::remove(m_path + kWal);
        QFile::remove(m_path + kShm);
        return ok;
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
    if (!copy.Fill(chosen)) {
        MsgBox(kRestoreFailedText);
        return false;
    }
    if (!copy.IsBook()) {
        MsgBox(kNotABackupText);
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
    if (beforeChange)
        beforeChange();

    IdleConnectionPause pause;
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                                     QFile::ReadGroup | QFile::ReadOther;
    if (hasDatabase) {
        DbError ignored;  // a log that cannot be folded is kept with the book
        FoldWriteAheadLog(database, ignored);
        permissions = QFileInfo(database).permissions();
        // The book stays in place while its copy is made, so a kill at any point leaves a whole ACC.MDB.
        const bool kept = KeepAside(database, keep);
        if (!kept || !SyncFolder(folder)) {
            if (kept)
                RemoveWithLogs(keep);
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
            RemoveWithLogs(keep);
        }
        MsgBox(kRestoreFailedText);
        return false;
    }
    SyncFolder(databaseFolder);
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
