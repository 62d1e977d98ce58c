// The database connection that stands in for the original's ADO connection over Jet: SQLite, opened
// per operation, never creating a missing file, speaking the Jet dialect through the translator.
#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// The error of the last failed step: the SQLite extended result code (signed decimal in the log),
// its text, and whether the file is held by another connection or process (SQLITE_BUSY/LOCKED).
struct DbError {
    int number = 0;
    QString text;
    bool inUse = false;
    bool failed() const { return number != 0; }
};

// The error of the connection after a failed call returning rc (number, text, inUse), and an error
// of the layer itself (number SQLITE_ERROR with the text).
DbError MakeDbError(sqlite3 *db, int rc);
DbError MakeDbError(const QString &text);

// True when the rest of a statement text after the first statement holds only blanks and ";".
bool IsBlankTail(const char *tail);

// How long a connection waits for a lock held by another connection before it reports the file as
// in use (ms, default 500). Tests shorten it.
int DbBusyTimeoutMs();
void SetDbBusyTimeoutMs(int ms);

// The zone in which the SQL functions now() and date() read the program's clock (clock.h): a fixed
// offset from UTC in seconds, or none (the default) for the zone the clock gives, the machine's. The
// program sets it once at start-up, so that date arithmetic such as now-bdate counts the days the
// rest of the program counts.
void SetDbClockOffset(std::optional<int> utcOffsetSeconds);

// The connection text of the original, kept for the log; SQLite has no password and never uses it.
QString ConnectionText(const QString &path);

// An open SQLite connection (WAL, synchronous NORMAL, a short busy timeout, the Jet functions
// registered). Movable, closed when destroyed. Closing folds the write-ahead log into the file and
// empties it when no other connection is in the middle of something, so that the file itself is
// complete between operations (a byte copy of it is a whole database) even while another handle,
// such as the idle connection below, stays open. A transaction left open is rolled back on Close.
class DbConnection {
public:
    DbConnection() = default;
    ~DbConnection();
    DbConnection(DbConnection &&other) noexcept;
    DbConnection &operator=(DbConnection &&other) noexcept;
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    // Opens the file (without creating it). With borrowIdle, the idle connection's handle is taken
    // instead when it is held on this path and free (the per-operation connections of the database
    // layer do so; a connection that changes its own settings or locking must not). False, with
    // lastError set, when it cannot be opened.
    bool Open(const QString &path, bool borrowIdle = false);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    sqlite3 *Handle() const { return m_db; }
    const QString &Path() const { return m_path; }

    // Runs one Jet-dialect statement. Refuses a text holding a second statement or a "&".
    // False, with lastError set, on failure.
    bool Execute(const QString &jetSql);
    // Runs one statement already in SQLite's dialect (no translation); the same single-statement rule.
    bool ExecuteNative(const QString &sql);

    // Transactions (BEGIN IMMEDIATE / COMMIT / ROLLBACK).
    bool Begin();
    bool Commit();
    void Rollback();

    // Prepared statements kept for reuse on the idle connection's handle while this connection has
    // it (none on other handles). TakeKeptStatement gives one prepared from exactly this text, or
    // nothing; KeepStatement takes one back, reset, and is false when it is not kept (the caller
    // then finalizes it).
    sqlite3_stmt *TakeKeptStatement(const QByteArray &sql);
    bool KeepStatement(const QByteArray &sql, sqlite3_stmt *stmt);

    DbError lastError;

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
    bool m_lent = false;  // the idle connection's handle, given back on Close
};

// The idle connection: one handle on the database file held open for the program's life. It keeps
// the write-ahead log and its shared index in place between operations (they are otherwise made and
// removed again by every connection), and it is lent to the connections that borrow it on that path,
// one at a time, which then start without opening the file or reading its schema; a connection
// opened while it is lent gets a handle of its own. A file replaced (a compacted database) or changed from outside
// since the handle last saw it is taken again before the handle is lent. Hold replaces one held
// before; Release closes it (a lent handle when it comes back).
void HoldIdleConnection(const QString &path);
void ReleaseIdleConnection();
// The path of the file the idle connection is held on; "" when none is.
QString IdleConnectionPath();

// Lets go of the idle connection for its own lifetime and takes it again afterwards, for the
// procedures that copy, replace or remove the database file.
class IdleConnectionPause {
public:
    IdleConnectionPause();
    ~IdleConnectionPause();
    IdleConnectionPause(const IdleConnectionPause &) = delete;
    IdleConnectionPause &operator=(const IdleConnectionPause &) = delete;

private:
    QString m_path;
};
