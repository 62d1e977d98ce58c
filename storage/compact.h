// 压缩数据: compaction of the database file. Keeps the copy "backup" of the file as it was, rewrites
// the database compactly into a folder of its own beside it and puts the result in place of the
// database, which no other connection may have open meanwhile; the busy guard is held.
#pragma once

#include <functional>

#include <QString>

#include "platform/db.h"

// The temporary folder with a trailing "/", or "" when the system gives none.
QString GetTempDir();

// Opens and closes the database at path once, so that a write-ahead log left beside it (by a crash,
// or by connections now closed) is folded into the file and a byte copy of the file is the whole
// database. The idle connection must be let go first (IdleConnectionPause), else the log is not
// folded. False, with the error, when the file cannot be opened or its schema cannot be read.
bool FoldWriteAheadLog(const QString &path, DbError &error);

// What the message on a compaction refused because another program has the book open ends with.
inline const QString kCompactNotDoneText = QStringLiteral("数据库没有压缩，账本文件没有被替换。");

// Compacts the file of that name in the program folder, with the backup.
void CompactAccDb(const QString &file = QStringLiteral("ACC.MDB"));

// Compacts the database at path. A missing file: the message "没有找到要压缩的数据库文件！". The idle connection is
// let go meanwhile when it is held on that file. Another program that has the book open and has read
// from it (BookHold cannot be taken) refuses the compaction before anything is done, with
// BookInUseText & an empty line & kCompactNotDoneText; the book is held from the snapshot on until the
// compacted copy is in its place (one that comes in while events are let through after the backup
// refuses it then, the "backup" made). With backup, the program folder's "backup" first becomes a copy
// of the book, page for page with its write-ahead log (CopyBookChecked), with the book's permissions.
// The compacted copy is made in kCompactFolder beside the database (a leftover of it removed first;
// the shared temporary folder is not used), checked to be a whole book holding as many rows of account
// as the database held when the copy was taken (IsCheckedBookCopy), and renamed over the database.
// Events are let through only before the snapshot is taken and after the compacted copy (flushed to
// the disk with its folder) has replaced the database, so nothing saved meanwhile is lost. A link at
// path stays a link: the file it leads to is the one replaced, with its permissions. On any failure
// the message "数据库压缩失败（" number, text "）！" is shown and the database is left as it was; kCompactFolder
// and a part-made "backup.mdb" are removed on success and failure alike. The password has no meaning
// for SQLite and is not used. True on success.
bool CompactDatabase(const QString &path, const QString &password, bool backup);

// Called by a compaction once the compacted copy at the path copy is written, before it is checked,
// so that a test can change the copy there. Empty by default.
void SetCompactStepHook(std::function<void(const char *step, const QString &copy)> hook);
