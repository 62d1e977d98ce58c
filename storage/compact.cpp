// 压缩数据: compaction of the database file.
#include "compact.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/stat.h>

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/busy_guard.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "storage/book_copy.h"
#include "storage/book_hold.h"
#include "storage/common.h"
#include "storage/db_create.h"
#include "storage/indicator.h"

namespace {

struct CompactError {
    int number = 0;
    QString text;
    bool inUse = false;  // another program has the book open
};

// Takes the hold on the book; false, with err, when it cannot be had.
bool TakeHold(BookHold &hold, const QString &path, CompactError &err)
{
    DbError error;
    if (hold.Take(path, error))
        return true;
    err = {error.number, error.text, error.inUse};
    return false;
}

// The message on a compaction of the book at path that failed with err.
QString FailureText(const QString &path, const CompactError &err)
{
    if (err.inUse)
        return BookInUseText(path) + QStringLiteral("\r\n\r\n") + kCompactNotDoneText;
    return QStringLiteral("数据库压缩失败（") + QString::number(err.number) + err.text +
           QStringLiteral("）！");
}

std::function<void(const char *, const QString &)> &StepHook()
{
    static std::function<void(const char *, const QString &)> hook;
    return hook;
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

// Puts a file, or a folder's list of names, on the disk (SyncToDisk); false, with err, when that fails.
bool SyncPath(const QString &path, bool folder, CompactError &err)
{
    const int failure = SyncToDisk(path, folder);
    if (failure != 0)
        err = {failure, QString::fromLocal8Bit(strerror(failure)) + u' ' + path};
    return failure == 0;
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

// Writes the compacted copy of the book held by hold to temp (a new file) and sets it to the book's
// write-ahead journal; rows gets the number of rows account held just before.
bool WriteCompactedCopy(const BookHold &hold, const QString &temp, qint64 &rows, CompactError &err)
{
    QString escaped = temp;
    escaped.replace(u'\'', QStringLiteral("''"));
    // VACUUM INTO runs outside any transaction: the count is taken right before it, and nobody else
    // can write in between.
    rows = AccountRowCount(hold.Handle());
    if (rows < 0 || sqlite3_exec(hold.Handle(), ("VACUUM INTO '" + escaped + "'").toUtf8().constData(), nullptr,
                                 nullptr, nullptr) != SQLITE_OK) {
        err = {sqlite3_extended_errcode(hold.Handle()), QString::fromUtf8(sqlite3_errmsg(hold.Handle()))};
        if (err.number == 0)
            err = {SQLITE_ERROR, QStringLiteral("无法读取 account")};
        return false;
    }
    // The compacted copy keeps the write-ahead journal of the database it replaces.
    DbConnection conn;
    const bool ok = conn.Open(temp) &&
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
    // The idle connection holds the book too; another one, of another book, stays.
    std::optional<IdleConnectionPause> pause;
    if (FileBehindLink(IdleConnectionPath()) == path)
        pause.emplace();
    // Another program that has the book open would go on using the old file, and its log and index
    // files could be read with the new one: the compaction does not begin while one has it.
    BookHold hold;
    CompactError err;
    if (!TakeHold(hold, path, err)) {
        ShowMsg(FailureText(given, err));
        return false;
    }
    // The backup and the events let through below use connections of their own; the hold is taken
    // again for the snapshot and kept until the compacted copy is in place.
    hold.Release();
    ShowIndicator(QStringLiteral("正在压缩、整理数据库……"), 3);
    const QFileInfo book(path);
    const QString folder = book.absolutePath();
    // The compacted copy is made in a folder of this program's own beside the database (the
    // instance lock makes the book's folder ours), so another compaction running at the same time,
    // of another book, cannot touch it; and one rename on the same disk puts it in place.
    const QString compactFolder = folder + u'/' + kCompactFolder;
    const QString temp = compactFolder + u'/' + book.fileName();
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
    ok = ok && TakeHold(hold, path, err) && MakeCompactFolder(compactFolder, err) &&
         WriteCompactedCopy(hold, temp, rows, err);
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
    hold.Release();
    RemoveTree(compactFolder);
    if (ok) {
        CompactError ignored;
        SyncPath(folder, true, ignored);
        StepIndicator(1, QStringLiteral("pages"), QString());
    }
    if (!ok) {
        ShowMsg(FailureText(given, err));
        HideIndicator();
        return false;
    }
    HideIndicator();
    return true;
}
