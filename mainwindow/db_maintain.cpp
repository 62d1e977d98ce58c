// Database maintenance: backup, restore and clearing of ACC.MDB.
#include "db_maintain.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>

#include "platform/busy_guard.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
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

// Renames a database file together with a write-ahead log that could not be folded into it, so the
// two stay one database; its shared-memory index is only a cache and goes.
bool MoveDatabase(const QString &from, const QString &to)
{
    if (!QFile::rename(from, to))
        return false;
    if (QFileInfo::exists(from + kWal)) {
        QFile::remove(to + kWal);
        QFile::rename(from + kWal, to + kWal);
    }
    QFile::remove(from + kShm);
    return true;
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
        const bool ok = InspectAccDb(m_path) == AccDbState::Ok;
        QFile::remove(m_path + kWal);
        QFile::remove(m_path + kShm);
        return ok;
    }
    // Moves the copy to path with those permissions; it is no longer removed then.
    bool MoveTo(const QString &path, QFile::Permissions permissions)
    {
        if (!QFile::setPermissions(m_path, permissions) || !QFile::rename(m_path, path))
            return false;
        m_path.clear();
        return true;
    }

private:
    QString m_path;
};

}  // namespace

void BackupDatabase()
{
    QString filter = kBackupFilter;
    const QString target = GetFileNameDlg(filter, true);
    if (target.isEmpty())
        return;
    BusyGuard busy;
    bool ok = false;
    {
        // With the idle connection open the log would not be folded and the copy would miss the
        // latest writes.
        IdleConnectionPause pause;
        const QString database = ProgramFilePath(kAccDb);
        DbError error;
        // QSaveFile writes beside the target and renames over it on commit only.
        QSaveFile out(target);
        ok = FoldWriteAheadLog(database, error) && out.open(QIODevice::WriteOnly) && CopyBytes(database, out) &&
             out.commit();
        if (!ok)
            out.cancelWriting();
    }
    MsgBox(ok ? kBackupDoneText + target : kBackupFailedText);
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

bool RestoreDatabase(const BeforeDatabaseChange &beforeChange)
{
    QString filter = kBackupFilter;
    const QString chosen = GetFileNameDlg(filter, false);
    if (chosen.isEmpty())
        return false;
    BusyGuard busy;
    const QString folder = ProgramFolder();
    RestoreCopy copy(folder);
    if (!copy.Fill(chosen)) {
        MsgBox(kRestoreFailedText);
        return false;
    }
    if (!copy.IsBook()) {
        MsgBox(kNotABackupText);
        return false;
    }
    const QString database = ProgramFilePath(kAccDb);
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
        DbError ignored;  // a log that cannot be folded moves with the file
        FoldWriteAheadLog(database, ignored);
        permissions = QFileInfo(database).permissions();
        if (!MoveDatabase(database, keep)) {
            MsgBox(kRestoreFailedText);
            return false;
        }
    }
    // A log left without its database would be rolled into the restored one.
    QFile::remove(database + kWal);
    QFile::remove(database + kShm);
    if (!copy.MoveTo(database, permissions)) {
        if (hasDatabase)
            MoveDatabase(keep, database);
        MsgBox(kRestoreFailedText);
        return false;
    }
    return true;
}

bool ClearDatabase(const BeforeDatabaseChange &beforeChange)
{
    if (MsgBox(kClearQuestion, Msg::YesNo + Msg::Question) == Msg::No)
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
