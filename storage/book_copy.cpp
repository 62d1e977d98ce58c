// Checked copies of the book by SQLite's online backup.
#include "book_copy.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include "storage/db_create.h"

namespace {

const char *const kCompanions[] = {"-wal", "-shm", "-journal"};

// The rows of account in the database at path, counted in one read; -1 when the file cannot be
// opened or the table read.
qint64 AccountRowsOfFile(const QString &path)
{
    sqlite3 *db = nullptr;
    qint64 rows = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        rows = AccountRowCount(db);
    sqlite3_close(db);
    return rows;
}

// Puts the file's contents on the disk.
bool SyncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fdatasync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

qint64 AccountRowCount(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    qint64 rows = -1;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM account", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        rows = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return rows;
}

bool RemoveBookFiles(const QString &path)
{
    bool ok = true;
    for (const QString &name : {path, path + QLatin1String(kCompanions[0]), path + QLatin1String(kCompanions[1]),
                                path + QLatin1String(kCompanions[2])}) {
        const QFileInfo info(name);
        if ((info.exists() || info.isSymLink()) && !QFile::remove(name))
            ok = false;
    }
    return ok;
}

bool IsCheckedBookCopy(const QString &path, qint64 accountRows, DbError &error)
{
    const bool ok = IsWholeBook(path) && AccountRowsOfFile(path) == accountRows;
    // A look at a database in WAL mode makes its log and index files; the copy goes without them.
    for (const char *suffix : {kCompanions[0], kCompanions[1]})
        QFile::remove(path + QLatin1String(suffix));
    if (!ok)
        error = {SQLITE_CORRUPT, QStringLiteral("副本不是完整的账本 ") + path, false};
    return ok;
}

bool CopyBookChecked(const QString &from, const QString &to, bool flush, DbError &error)
{
    DbConnection book;
    if (!book.Open(from)) {
        error = book.lastError;
        return false;
    }
    // The count and the copy see the same state of the book: one read transaction holds it.
    int rc = sqlite3_exec(book.Handle(), "BEGIN", nullptr, nullptr, nullptr);
    const qint64 rows = rc == SQLITE_OK ? AccountRowCount(book.Handle()) : -1;
    if (rows < 0) {
        error = MakeDbError(book.Handle(), rc == SQLITE_OK ? sqlite3_errcode(book.Handle()) : rc);
        return false;
    }
    sqlite3 *copy = nullptr;
    rc = sqlite3_open_v2(QFile::encodeName(to).constData(), &copy,
                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    // The copy is a new file that nobody else opens and that is removed when anything fails: it
    // needs no journal of its own, and it is put on the disk (when asked) once, at the end, instead of
    // at SQLite's every step.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(copy, "PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;PRAGMA locking_mode=EXCLUSIVE",
                          nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup *backup = sqlite3_backup_init(copy, "main", book.Handle(), "main");
        if (!backup) {
            rc = sqlite3_errcode(copy);
        } else {
            rc = sqlite3_backup_step(backup, -1);
            const int finished = sqlite3_backup_finish(backup);
            rc = rc == SQLITE_DONE ? finished : rc;
        }
    }
    if (rc != SQLITE_OK)
        error = MakeDbError(copy, rc);
    sqlite3_close(copy);
    book.Close();
    if (rc == SQLITE_OK && flush && !SyncFile(to)) {
        error = {errno, QString::fromLocal8Bit(strerror(errno)) + u' ' + to, false};
        rc = SQLITE_IOERR;
    }
    if (rc == SQLITE_OK && IsCheckedBookCopy(to, rows, error))
        return true;
    RemoveBookFiles(to);
    return false;
}
