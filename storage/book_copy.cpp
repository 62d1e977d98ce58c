// Checked copies of the book by SQLite's online backup.
#include "book_copy.h"

#include <algorithm>
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

// The integer in the first column of the first row that sql gives on the connection; -1 when it
// gives none.
qint64 FirstInteger(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    qint64 value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

// Copies the first bytes of the file at from into the new file at to (never through a link), a
// megabyte at a time; false, with error, when it holds fewer bytes or a read or write fails.
bool CopyFileStart(const QString &from, const QString &to, qint64 bytes, DbError &error)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                           0644);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    qint64 at = 0;
    int failure = in < 0 || out < 0 ? errno : 0;
    while (failure == 0 && at < bytes) {
        const qint64 piece = std::min<qint64>(chunk.size(), bytes - at);
        const ssize_t n = ::pread(in, chunk.data(), static_cast<size_t>(piece), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            failure = EIO;  // the file ends before the database does
        else if (n < 0 || ::write(out, chunk.constData(), static_cast<size_t>(n)) != n)
            failure = errno;
        else
            at += n;
    }
    if (failure != 0)
        error = {failure, QString::fromLocal8Bit(strerror(failure)) + u' ' + to, false};
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return failure == 0;
}

// Copies the open database book into the new file to, page for page, through SQLite's online
// backup; SQLite's result code.
int BackupPages(sqlite3 *book, const QString &to, DbError &error)
{
    sqlite3 *copy = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(to).constData(), &copy,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    // The copy is a new file that nobody else opens and that is removed when anything fails: it
    // needs no journal of its own, and it is put on the disk (when asked) once, at the end, instead of
    // at SQLite's every step.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(copy, "PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;PRAGMA locking_mode=EXCLUSIVE",
                          nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup *backup = sqlite3_backup_init(copy, "main", book, "main");
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
    return rc;
}

}  // namespace

qint64 AccountRowCount(sqlite3 *db)
{
    return FirstInteger(db, "SELECT COUNT(*) FROM account");
}

int SyncToDisk(const QString &path, bool folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return errno;
    const int failure = ::fsync(fd) == 0 || (folder && errno == EINVAL) ? 0 : errno;
    ::close(fd);
    return failure;
}

bool RemoveIfExists(const QString &path)
{
    const QFileInfo info(path);
    return (!info.exists() && !info.isSymLink()) || QFile::remove(path);
}

bool RemoveBookFiles(const QString &path)
{
    bool ok = true;
    for (const QString &name : {path, path + QLatin1String(kCompanions[0]), path + QLatin1String(kCompanions[1]),
                                path + QLatin1String(kCompanions[2])})
        ok = RemoveIfExists(name) && ok;
    return ok;
}

CopyLook::CopyLook(const QString &path)
    : m_path(path),
      m_hadWal(QFileInfo::exists(path + QLatin1String(kCompanions[0]))),
      m_hadShm(QFileInfo::exists(path + QLatin1String(kCompanions[1])))
{
}

CopyLook::~CopyLook()
{
    if (!m_hadWal)
        QFile::remove(m_path + QLatin1String(kCompanions[0]));
    if (!m_hadShm)
        QFile::remove(m_path + QLatin1String(kCompanions[1]));
}

bool IsCheckedBookCopy(const QString &path, qint64 accountRows, DbError &error)
{
    bool ok = false;
    {
        const CopyLook look(path);
        ok = IsWholeBook(path) && AccountRowsOfFile(path) == accountRows;
    }
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
    // With the log empty while that transaction is open, the file itself holds that state, and no
    // page is written into it until the transaction ends: a checkpoint copies no page into the file
    // while a reader of the file alone is in it, and never empties a log that a reader still needs.
    // Then the pages the state has are copied as they lie in the file, a megabyte at a time, which is
    // much quicker than SQLite's copy of a page at a time.
    const char *file = sqlite3_db_filename(book.Handle(), "main");
    const qint64 pages = FirstInteger(book.Handle(), "PRAGMA page_count");
    const qint64 pageSize = FirstInteger(book.Handle(), "PRAGMA page_size");
    if (file && pages > 0 && pageSize > 0 && QFileInfo(QString::fromUtf8(sqlite3_filename_wal(file))).size() == 0)
        rc = CopyFileStart(QString::fromUtf8(file), to, pages * pageSize, error) ? SQLITE_OK : SQLITE_IOERR;
    else
        rc = BackupPages(book.Handle(), to, error);
    book.Close();
    if (const int failure = rc == SQLITE_OK && flush ? SyncToDisk(to, false) : 0) {
        error = {failure, QString::fromLocal8Bit(strerror(failure)) + u' ' + to, false};
        rc = SQLITE_IOERR;
    }
    if (rc == SQLITE_OK && IsCheckedBookCopy(to, rows, error))
        return true;
    RemoveBookFiles(to);
    return false;
}
