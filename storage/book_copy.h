// Copies of the book made while it may be open elsewhere (a backup, the compaction's "backup"): taken
// page for page from one read transaction (with SQLite's online backup while the write-ahead log holds
// pages), so the pages that only the log holds are in the copy even when another program's open
// transaction keeps the log from being folded into the file; and checked before anything relies on
// them. Also what every copy of the book (a backup, a restore's, a leftover) is handled with: a look
// that leaves no log files beside it, its removal with SQLite's files, and its putting on the disk.
#pragma once

#include <QString>

#include "platform/db.h"

// The rows of the table account on an open connection, counted in the read transaction it is in (else
// in one of its own); -1 when the table cannot be read.
qint64 AccountRowCount(sqlite3 *db);

// A look at a copy of the book that no other program has open (IsWholeBook, a count of its rows), for
// as long as the object lives. A connection to a database in WAL mode, a read-only one too, makes the
// files "-wal" and "-shm" beside it and leaves them; those that were not there when the look began
// are removed when it ends, those that were stay.
class CopyLook {
public:
    explicit CopyLook(const QString &path);
    ~CopyLook();
    CopyLook(const CopyLook &) = delete;
    CopyLook &operator=(const CopyLook &) = delete;

private:
    QString m_path;
    bool m_hadWal;
    bool m_hadShm;
};

// True when the file at path is a whole book (IsWholeBook) whose table account holds accountRows
// rows; else false with error (SQLITE_CORRUPT and a text naming the file). The look is a CopyLook:
// it leaves no "-wal"/"-shm" file beside the copy.
bool IsCheckedBookCopy(const QString &path, qint64 accountRows, DbError &error);

// Copies the book at from to the new file to, page for page (the write-ahead log's pages included) in
// one read transaction of the book, and checks the copy with IsCheckedBookCopy against the rows of
// account that transaction saw. While the log is empty the file holds every page of that state and
// its bytes up to the last page are copied; else SQLite's online backup copies the pages. The book is
// not changed. The copy is in the book's journal mode, with no "-wal", "-shm" or "-journal" file
// beside it, the permissions SQLite gives a new file and, with flush, its contents on the disk. to must
// name no file or an empty one of the caller's. False, with error, when the book cannot be read, the
// copy cannot be written or it fails the check; nothing is left at to then.
bool CopyBookChecked(const QString &from, const QString &to, bool flush, DbError &error);

// Removes a file with the "-wal", "-shm" and "-journal" files SQLite may have made beside it; false
// when one of them exists and cannot be removed.
bool RemoveBookFiles(const QString &path);

// Removes a file when it exists, also a link that leads nowhere (never what a link leads to); false
// when it exists and cannot be removed.
bool RemoveIfExists(const QString &path);

// Puts the contents of the file at path, or with folder the folder's list of names (new names,
// renames), on the disk. 0, or the errno of the failure; a folder on a file system that cannot put
// folders on the disk (EINVAL) counts as put.
int SyncToDisk(const QString &path, bool folder);
