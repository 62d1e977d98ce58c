// 压缩数据: compaction of the database file.
#include "compact.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/db.h"
#include "platform/program_folder.h"
#include "platform/busy_guard.h"
#include "storage/common.h"
#include "storage/indicator.h"

namespace {

struct CompactError {
    int number = 0;
    QString text;
};

// Removes a file when it exists, also a link that leads nowhere; false when it exists and cannot be
// removed.
bool RemoveIfExists(const QString &path)
{
    const QFileInfo info(path);
    return (!info.exists() && !info.isSymLink()) || QFile::remove(path);
}

// Creates the empty temporary file for the compacted copy, only readable by the user, refusing to go
// through a link or onto a file that appeared meanwhile: the temporary folder may be shared.
bool CreatePrivateFile(const QString &path, CompactError &err)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        err = {errno, QString::fromLocal8Bit(strerror(errno)) + u' ' + path};
        return false;
    }
    ::close(fd);
    return true;
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

// Makes the empty temporary file for the compacted copy: "zCompactTempFile.mdb" in the temporary
// folder, after removing one left by an interrupted run. When that name cannot be had (another
// user's file or a folder holds it in a shared temporary folder), the file goes into a private
// folder made beside the database instead; `privateDir` then owns that folder.
bool MakeTempFile(const QString &databaseFolder, QString &temp, std::unique_ptr<QTemporaryDir> &privateDir,
                  CompactError &err)
{
    QString tempDir = GetTempDir();
    if (tempDir.isEmpty())
        tempDir = databaseFolder + u'/';
    temp = tempDir + QStringLiteral("zCompactTempFile.mdb");
    if (RemoveIfExists(temp) && CreatePrivateFile(temp, err))
        return true;
    privateDir = std::make_unique<QTemporaryDir>(databaseFolder + QStringLiteral("/zCompactXXXXXX"));
    if (!privateDir->isValid()) {
        err = {1, QStringLiteral("无法创建临时文件 ") + temp};
        return false;
    }
    temp = privateDir->filePath(QStringLiteral("zCompactTempFile.mdb"));
    return CreatePrivateFile(temp, err);
}

bool CopyFile(const QString &from, const QString &to, CompactError &err)
{
    if (!RemoveIfExists(to)) {
        err = {1, QStringLiteral("无法删除 ") + to};
        return false;
    }
    QFile src(from);
    if (!src.copy(to)) {
        err = {static_cast<int>(src.error()), src.errorString()};
        return false;
    }
    return true;
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
    const QString folder = QFileInfo(path).absolutePath();
    // The compacted file is first copied beside the database and then renamed over it, so the
    // database is replaced in one step or not at all.
    const QString beside = path + QStringLiteral(".new");
    QString temp;
    std::unique_ptr<QTemporaryDir> privateDir;
    CompactError err;
    DbError foldError;
    bool ok = FoldWriteAheadLog(path, foldError);
    if (!ok)
        err = {foldError.number, foldError.text};

    if (ok && backup) {
        const QString backupMdb = ProgramFilePath(QStringLiteral("backup.mdb"));
        const QString backupFile = ProgramFilePath(QStringLiteral("backup"));
        ok = CopyFile(path, backupMdb, err);
        if (ok && !RemoveIfExists(backupFile)) {
            err = {1, QStringLiteral("无法删除 ") + backupFile};
            ok = false;
        }
        if (ok && !QFile::rename(backupMdb, backupFile)) {
            err = {1, QStringLiteral("无法改名为 ") + backupFile};
            ok = false;
        }
    }
    // The last point where events get through until the database is replaced: a record saved
    // after the snapshot below would be written to the old file and lost with it.
    if (ok)
        StepIndicator(1, QStringLiteral("pages"), QString());

    if (ok)
        ok = MakeTempFile(folder, temp, privateDir, err);
    if (ok) {
        DbConnection conn;
        QString escaped = temp;
        escaped.replace(u'\'', QStringLiteral("''"));
        ok = conn.Open(path) && sqlite3_exec(conn.Handle(), ("VACUUM INTO '" + escaped + "'").toUtf8().constData(),
                                             nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok)
            err = {conn.IsOpen() ? sqlite3_extended_errcode(conn.Handle()) : conn.lastError.number,
                   conn.IsOpen() ? QString::fromUtf8(sqlite3_errmsg(conn.Handle())) : conn.lastError.text};
        conn.Close();
    }
    if (ok) {
        // The compacted copy keeps the write-ahead journal of the database it replaces.
        DbConnection conn;
        ok = conn.Open(temp) && sqlite3_exec(conn.Handle(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) ==
                                    SQLITE_OK;
        if (!ok)
            err = {conn.lastError.number, conn.lastError.text};
        conn.Close();
    }

    if (ok)
        ok = CopyFile(temp, beside, err);
    // The database keeps who may read it.
    if (ok && !QFile::setPermissions(beside, QFileInfo(path).permissions())) {
        err = {1, QStringLiteral("无法设置权限 ") + beside};
        ok = false;
    }
    // The copy and its name are on the disk before the rename, so a crash right after it cannot
    // leave an empty or partly written database in place of the old one.
    ok = ok && SyncPath(beside, false, err) && SyncPath(folder, true, err);
    if (ok) {
        RemoveIfExists(path + QStringLiteral("-wal"));
        RemoveIfExists(path + QStringLiteral("-shm"));
        if (::rename(QFile::encodeName(beside).constData(), QFile::encodeName(path).constData()) != 0) {
            err = {errno, QString::fromLocal8Bit(strerror(errno))};
            ok = false;
        }
    }
    if (ok) {
        CompactError ignored;
        SyncPath(folder, true, ignored);
        StepIndicator(1, QStringLiteral("pages"), QString());
    }
    if (!temp.isEmpty())
        RemoveIfExists(temp);
    RemoveIfExists(beside);
    if (!ok) {
        ShowMsg(QStringLiteral("数据库压缩失败（") + QString::number(err.number) + err.text + QStringLiteral("）！"));
        HideIndicator();
        return false;
    }
    HideIndicator();
    return true;
}
