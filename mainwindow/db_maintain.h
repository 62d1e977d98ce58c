// Database maintenance from the main window's "数据库" menu: the backup of ACC.MDB to a *.dbk file, the
// restore of such a backup and the clearing of the database. Each asks the user what it needs (file
// dialog, question) and holds the busy guard for its whole run; the restore and the clearing let go of
// the idle connection while the file is replaced or compacted. The main window restarts on the new data
// afterwards.
#pragma once

#include <functional>

#include <QString>

// The file dialog filter of backups.
inline const QString kBackupFilter = QStringLiteral("DBK (数据备份文件)(*.dbk)|*.dbk");

inline const QString kBackupDoneText = QStringLiteral("数据备份完成：");
inline const QString kBackupFailedText = QStringLiteral("数据备份失败！");
inline const QString kBackupOntoBookText = QStringLiteral("备份文件不能是账本文件本身，请另选一个文件名。");
inline const QString kBackupOfDamagedText =
    QStringLiteral("账本文件已经损坏，备份出来也无法用来恢复，所以没有备份，所选的文件没有改动。\r\n"
                   "可以用菜单“数据库”中的“恢复备份”换回以前的备份。");
inline const QString kNotABackupText = QStringLiteral("所选文件不是本软件的数据备份文件，无法恢复！");
inline const QString kRestoreFailedText = QStringLiteral("恢复备份失败，原数据库未改动！");
inline const QString kClearQuestion = QStringLiteral("您确定要清空所有数据【数据一旦清空将无法恢复】？");

// Called once a restore or a clear is decided, right before the database file changes: closes the
// windows that hold entries of the current book, so none of them is saved into the new one.
using BeforeDatabaseChange = std::function<void()>;

// The name a backup proposes when no backup name was chosen before: "ACC" & today as YYYYMMDD & ".dbk".
QString BackupProposedName();

// Asks for the backup file (save dialog, kBackupFilter, proposing BackupProposedName unless a backup
// name was chosen before, and asking before an existing file is replaced); nothing when none is
// chosen. Copies the database page for page with its write-ahead log (CopyBookChecked: complete even
// while another program holds a read transaction open on it) to a temporary file in the chosen
// folder, checks the copy (a whole book holding every row of account the copy was taken with), puts
// it on the disk and renames it over the chosen path (over the file a link there leads to), with the
// permissions of the file it replaces, else of the database; then shows kBackupDoneText & path. No
// "-wal"/"-shm" file is left beside it. When any step fails, an older file of that name stays as it
// was, no part-written file is left and kBackupFailedText shows; kBackupOfDamagedText instead when
// the database is no whole book (IsWholeBook: a restore would refuse the copy). The database itself
// chosen as the backup (by any name of it) shows kBackupOntoBookText, with nothing written. The
// database is not changed.
void BackupDatabase();

// The name the current database is kept under before a restore: the first "acc" & n (four digits,
// 0001 to 1000) & ".mdb" that names no file in the folder, in any letter case; "" when all are taken.
QString FreeKeepName(const QString &folder);

// Asks for a backup (open dialog, kBackupFilter); nothing when none is chosen. What cannot be a backup
// shows kNotABackupText before anything of it is copied: anything but a regular file (a named pipe,
// whose open would wait for good, a device, a folder), a file without an SQLite header, and a file
// larger than page count × page size of its header where SQLite trusts that count (not 0, and the
// version-valid-for number equal to the change counter; else SQLite counts the pages by the file's
// size, and the size is not refused). The backup is copied to a temporary file "accRestore*.tmp" beside
// the database (beside the file it leads to when ACC.MDB is a link, which stays a link), up to the size
// it had when it was opened; a copy that runs longer than a second shows the progress window. A log
// file beside the chosen backup is not read: a backup has its log folded in. The copy is checked next:
// a file that is no whole book of this program (IsWholeBook: damaged pages, or account and 参数 without
// the columns the program reads) is removed again and kNotABackupText shows. Then, when the folder
// holds the database, it is kept under FreeKeepName as well (a hard link or a copy, its log folded in
// first) and the checked copy is renamed over it in one step, with the old file's permissions; without
// a database the copy simply becomes it. So at every moment, a kill included, ACC.MDB is a whole book.
// Stale "-wal"/"-shm" files of the database are removed before the rename. No free keep name, or a
// step that fails, shows kRestoreFailedText with the database as it was. beforeChange runs once the
// copy has passed, before the database is touched. Another program that has the database open and
// has read from it (BookHold cannot be taken for it, the idle connection let go) refuses the restore
// once the copy has passed, before beforeChange, with BookInUseText & an empty line & kRestoreFailedText
// and the copy removed; from beforeChange on the database is held until the copy is in its place (a
// database SQLite cannot open, a damaged one, is replaced without the hold). True when the database
// was replaced.
bool RestoreDatabase(const BeforeDatabaseChange &beforeChange);

// Called by a restore after each of its steps: "copying" (after each piece of the backup copied),
// "checked" (the copy has passed, nothing else touched), "kept" (the book has its second name) and
// "replaced" (the copy is the book), so that a test can end the process there as a kill would, or
// slow the copy down. Empty by default.
void SetRestoreStepHook(std::function<void(const char *step)> hook);

// Asks kClearQuestion (Yes, No; No the default button); only No cancels. Then beforeChange runs and,
// under the progress window "正在清空数据..." (6 steps): the price tables "H_..." are dropped, the rows of
// account, DeelRes, LastPrice and every parameter except the "FPAR_" ones (saved window settings)
// deleted, one step each, and the database compacted. A statement that fails is logged and the clearing
// goes on. companyinfo and LastClprice are kept. True when the database was cleared.
bool ClearDatabase(const BeforeDatabaseChange &beforeChange);
