// Making a new database file ACC.MDB from the shipped text files: the schema and the stock list; and
// what start-up and restore find in a book file and beside it.
#pragma once

#include <QString>

// Creates the database file at path from dataDir/schema.sql and dataDir/companyinfo.tsv (UTF-8,
// header "id\tcode\tname\tpy"), in WAL mode. The file is built under a temporary name beside path and
// renamed into place, so a failure never leaves a half-made file. Never overwrites: false when path
// already exists, and false when a data file cannot be read or the build fails.
bool CreateAccDb(const QString &path, const QString &dataDir);

// True when dataDir holds the two files CreateAccDb makes a database from.
bool HasAccDbSources(const QString &dataDir);

// What start-up finds at the path of the book, looked at without changing it.
enum class AccDbState {
    Ok,              // an SQLite database holding the tables account and 参数, in a folder that can be written
    Missing,         // nothing at that name
    Empty,           // a file of zero bytes: it holds nothing to lose
    Folder,          // a folder at that name
    NotDatabase,     // no SQLite database, or one too damaged to read its schema
    NotOurs,         // an SQLite database without account or 参数
    ReadOnly,        // a file that cannot be written
    FolderReadOnly,  // the folder holding it cannot be written (SQLite keeps its log files beside it)
};
AccDbState InspectAccDb(const QString &path);

// What the file at path holds, whether or not it or its folder can be written (a copy of the book may
// be read-only): Ok for an SQLite database holding the tables account and 参数, NotOurs for one
// without them, NotDatabase for anything else (nothing there, no regular file, a file that cannot be
// read, no SQLite header, a schema that cannot be read). Opened read-only, the file is not changed.
AccDbState InspectBookFile(const QString &path);

// True when the file at path is a whole book of this program: an SQLite database whose every page
// passes SQLite's quick check and whose tables account and 参数 hold every column the program reads
// (account.sid may be missing: the schema upgrade adds it), whether or not the file can be written.
// Reads the whole file (about 0.1 s for a ten-year book); opened read-only, the file itself is not
// changed.
bool IsWholeBook(const QString &path);

// The private folder, inside the folder of the book, in which a compaction makes its copy: "zCompactTemp";
// only the user may enter it. The instance lock makes it this program's; a folder of that name (any letter
// case) at start-up is what a compaction cut short left, and the next compaction removes one too.
inline const QString kCompactFolder = QStringLiteral("zCompactTemp");

// The copies of the book kept in a folder, newest first by time of last change: "acc" & four digits &
// ".mdb" (the books a restore kept aside) and "*.dbk" backups; with allCopies also a restore's temporary
// copies "accRestore*.tmp", the compaction's copy "backup", the files in its folder kCompactFolder and
// "ACC.MDB.new", the compacted copy that earlier versions made beside the book. Any letter case;
// SQLite's "-wal"/"-shm" files are no copies. Full paths; whether a file is a whole book is not looked
// at.
QStringList KeptBookCopies(const QString &folder, bool allCopies = false);

// The path of a kept copy as the messages name it, with its time of last change:
// path & "（" & "YYYY-MM-DD HH:MM" & "）".
QString KeptCopyText(const QString &path);

// What an interrupted restore or compaction leaves in the folder of the book: the restore's temporary
// copies "accRestore*.tmp" and "ACC.MDB.new" (the compacted copy of earlier versions), with SQLite's
// "-wal"/"-shm" files beside them; any letter case. Then the files in the compaction's folder kCompactFolder (a folder, not
// a link to one; any letter case) and, after them, that folder itself. Full paths.
QStringList BookLeftovers(const QString &folder);

// True when table account of the whole book at copy holds a row that the book at book lacks, the rows
// compared on the columns both tables have (text without regard to case, as the columns are declared).
// Both files are opened read-only. Also true when the two cannot be compared (a file that cannot be
// read, no column in common), so that a caller deciding whether copy may go keeps it.
bool HoldsRowsTheBookLacks(const QString &copy, const QString &book);
