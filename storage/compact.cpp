// 压缩数据: compaction of the database file.
#include "compact.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/busy_guard.h"
#include "storage/book_copy.h"
#include "storage/common.h"
#include "storage/indicator.h"

namespace {

struct CompactError {
    int number = 0;
    QString text;
};

std::function<void(const char *, const QString &)> &StepHook()
{
    static std::function<void(const char *, const QString &)> hook;
    return hook;
}

// Removes a file when it exists, also a link that leads nowhere; false when it exists and cannot be
// removed.
bool RemoveIfExists(const QString &path)
{
    const QFileInfo info(path);
    return (!info.exists() && !info.isSymLink()) || QFile::remove(path);
}

// Removes what is at path: a folder with all it holds, or a file or link (never what a link leads
// to). False when something stays.
bool RemoveTree(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return RemoveIfExists(path);
}

// Flushes a file, or a folder's list of names, to the disk. A folder on a file system that cannot
// flush folders (EINVAL) counts as flushed.
bool SyncPath(const QString &path, bool folder, CompactError &err)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) {
        err = {errno, QString::fromLocal8Bit(strerror(errno)) + u' ' + path};
        return false;
    }
    const bool ok = ::fsync(fd) == 0 || (folder && errno == EINVAL);
    if (!ok)
        err = {errno, QString::fromLocal8Bit(strerror(errno)) + u' ' + path};
    ::close(fd);
    return ok;
}

// Makes the folder kCompactFolder for the compacted copy, readable by the user only. One left by an
// interrupted run has been removed before; a name taken meanwhile is not used.
bool MakeCompactFolder(const QString &folder, CompactError &err)
{
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) == 0)
        return true;
    err = {errno, QString::fromLocal8Bit(strerror(errno)) + u' ' + folder};
    return false;
}

// Keeps the book as it is now as the program folder's "backup": a checked copy made as "backup.mdb"
// with the book's permissions, then renamed. Nothing is left at "backup.mdb" on failure. It is not
// flushed to the disk: the book itself stays in place until the compacted copy is.
bool KeepBackup(const QString &path, CompactError &err)
{
    const QString backupMdb = ProgramFilePath(QStringLiteral("backup.mdb"));
    const QString backupFile = ProgramFilePath(QStringLiteral("backup"));
    if (!RemoveBookFiles(backupMdb)) {
        err = {1, QStringLiteral("无法删除 ") + backupMdb};
        return false;
    }
    DbError copyError;
    if (!CopyBookChecked(path, backupMdb, false, copyError)) {
        err = {copyError.number, copyError.text};
        return false;
    }
    bool ok = true;
    if (!QFile::setPermissions(backupMdb, QFileInfo(path).permissions())) {
        err = {1, QStringLiteral("无法设置权限 ") + backupMdb};
        ok = false;
    }
    if (ok && !RemoveIfExists(backupFile)) {
        err = {1, QStringLiteral("无法删除 ") + backupFile};
        ok = false;
    }
    if (ok && !QFile::rename(backupMdb, backupFile)) {
        err = {1, QStringLiteral("无法改名为 ") + backupFile};
        ok = false;
    }
    if (!ok)
        RemoveBookFiles(backupMdb);
    return ok;
}

// Writes the compacted copy of the book at path to temp (a new file) and sets it to the book's
// write-ahead journal; rows gets the number of rows account held just before.
bool WriteCompactedCopy(const QString &path, const QString &temp, qint64 &rows, CompactError &err)
{
    DbConnection conn;
    QString escaped = temp;
    escaped.replace(u'\'', QStringLiteral("''"));
    bool ok = conn.Open(path);
    if (ok) {
        // VACUUM INTO runs outside any transaction: the count is taken right before it, with no
        // event let through in between.
        rows = AccountRowCount(conn.Handle());
        ok = rows >= 0 && sqlite3_exec(conn.Handle(), ("VACUUM INTO '" + escaped + "'").toUtf8().constData(), nullptr,
                                       nullptr, nullptr) == SQLITE_OK;
    }
    if (!ok) {
        err = {conn.IsOpen() ? sqlite3_extended_errcode(conn.Handle()) : conn.lastError.number,
               conn.IsOpen() ? QString::fromUtf8(sqlite3_errmsg(conn.Handle())) : conn.lastError.text};
        if (err.number == 0)
            err = {SQLITE_ERROR, QStringLiteral("无法读取 account ") + path};
        return false;
    }
    conn.Close();
    // The compacted copy keeps the write-ahead journal of the database it replaces.
    ok = conn.Open(temp) &&
         sqlite3_exec(conn.Handle(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        err = {conn.lastError.number, conn.lastError.text};
    return ok;
}

}  // namespace

bool FoldWriteAheadLog(const QString &path, DbError &error)
{
    DbConnection conn;
    if (!conn.Open(path)) {
        error = conn.lastError;
        return false;
    }
    const int rc = sqlite3_exec(conn.Handle(), "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        error = MakeDbError(conn.Handle(), rc);
        return false;
    }
    conn.Close();
    return true;
}

QString GetTempDir()
{
    const QString dir = QDir::tempPath();
    if (dir.isEmpty())
        return QString();
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

void CompactAccDb(const QString &file)
{
    CompactDatabase(ProgramFilePath(file), QStringLiteral("58316240"), true);
}

void SetCompactStepHook(std::function<void(const char *step, const QString &copy)> hook)
{
    StepHook() = std::move(hook);
}

bool CompactDatabase(const QString &given, const QString & /*password*/, bool backup)
{
    // A book reached through a link is compacted where it lives, and the link stays.
    const QString path = FileBehindLink(given);
    if (!QFileInfo::exists(path)) {
        ShowMsg(QStringLiteral("没有找到要压缩的数据库文件！"));
        return false;
    }
    BusyGuard busy;
    ShowIndicator(QStringLiteral("正在压缩、整理数据库……"), 3);
    const QFileInfo book(path);
    const QString folder = book.absolutePath();
    // The compacted copy is made in a folder of this program's own beside the database (the
    // instance lock makes the book's folder ours), so another compaction running at the same time,
    // of another book, cannot touch it; and one rename on the same disk puts it in place.
    const QString compactFolder = folder + u'/' + kCompactFolder;
    const QString temp = compactFolder + u'/' + book.fileName();
    CompactError err;
    bool ok = RemoveTree(compactFolder);
    if (!ok)
        err = {1, QStringLiteral("无法删除 ") + compactFolder};
    DbError foldError;
    if (ok && !FoldWriteAheadLog(path, foldError)) {
        err = {foldError.number, foldError.text};
        ok = false;
    }
    if (ok && backup)
        ok = KeepBackup(path, err);
    // The last point where events get through until the database is replaced: a record saved
    // after the snapshot below would be written to the old file and lost with it.
    if (ok)
        StepIndicator(1, QStringLiteral("pages"), QString());

    qint64 rows = -1;
    ok = ok && MakeCompactFolder(compactFolder, err) && WriteCompactedCopy(path, temp, rows, err);
    if (ok && StepHook())
        StepHook()("compacted", temp);
    // Only a whole book with every record of the snapshot replaces the database.
    DbError checkError;
    if (ok && !IsCheckedBookCopy(temp, rows, checkError)) {
        err = {checkError.number, checkError.text};
        ok = false;
    }
    // The database keeps who may read it.
    if (ok && !QFile::setPermissions(temp, book.permissions())) {
        err = {1, QStringLiteral("无法设置权限 ") + temp};
        ok = false;
    }
    // The copy is on the disk before the rename, so a crash right after it cannot leave an empty or
    // partly written database in place of the old one.
    ok = ok && SyncPath(temp, false, err);
    if (ok) {
        RemoveIfExists(path + QStringLiteral("-wal"));
        RemoveIfExists(path + QStringLiteral("-shm"));
        if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
            err = {errno, QString::fromLocal8Bit(strerror(errno))};
            ok = false;
        }
    }
    RemoveTree(compactFolder);
    if (ok) {
        CompactError ignored;
        SyncPath(folder, true, ignored);
        StepIndicator(1, QStringLiteral("pages"), QString());
    }
    if (!ok) {
        ShowMsg(QStringLiteral("数据库压缩失败（") + QString::number(err.number) + err.text + QStringLiteral("）！"));
        HideIndicator();
        return false;
    }
    HideIndicator();
    return true;
}
