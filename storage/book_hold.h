// The book held for one connection alone while its file is replaced (a compaction, a restore).
// Another program that has the book open and has read from it (an sqlite3 shell, a backup tool) keeps
// a shared lock on the file and its log and index files in use; a new file renamed over the book would
// leave that program on the old file, whatever it writes after lost, and a log of the old file read
// over the new one. Such a program keeps the hold from being taken, so the replacement is refused.
#pragma once

#include <QString>

#include "platform/db.h"

// The message when another program has the book at path open: names the file and asks for that
// program to be closed before trying again.
QString BookInUseText(const QString &path);

// An exclusive hold on the book: a connection in SQLite's exclusive locking mode that has taken the
// exclusive lock on the file and keeps it until Release (also on destruction). Meanwhile no other
// connection, of another process or of this one, reads or writes the book. The idle connection must
// be let go first (IdleConnectionPause): it holds the book too.
class BookHold {
public:
    BookHold() = default;
    ~BookHold();
    BookHold(const BookHold &) = delete;
    BookHold &operator=(const BookHold &) = delete;

    // Takes the hold on the book at path (never creating the file), waiting up to DbBusyTimeoutMs()
    // for other connections to let go. False, with error, when it cannot be had: error.inUse when
    // another connection has the book open and has read from it, another error when the file cannot be
    // opened or is no database. A hold taken before is let go first.
    bool Take(const QString &path, DbError &error);
    // The connection; nullptr while no hold is taken.
    sqlite3 *Handle() const { return m_db; }
    // Folds the write-ahead log into the file, all of it (nobody else reads) and empties the log.
    // False, with error, when that fails.
    bool FoldLog(DbError &error);
    // Closes the connection. With the book in place, the log is folded and removed as by any last
    // connection; after a new file was renamed over the book, SQLite sees that the name leads to
    // another file and leaves the "-wal" and "-shm" files of that name alone.
    void Release();

private:
    sqlite3 *m_db = nullptr;
};
