// 压缩数据: compaction of the database file. Keeps the byte copy "backup" of the file as it was,
// rewrites the database compactly into the temporary file "zCompactTempFile.mdb" and puts the result
// in place of the database. No connection may be open on the file meanwhile; the busy guard is held.
#pragma once

#include <QString>

#include "platform/db.h"

// The temporary folder with a trailing "/", or "" when the system gives none.
QString GetTempDir();

// Opens and closes the database at path once, so that a write-ahead log left beside it (by a crash,
// or by connections now closed) is folded into the file and a byte copy of the file is the whole
// database. The idle connection must be let go first (IdleConnectionPause), else the log is not
// folded. False, with the error, when the file cannot be opened or its schema cannot be read.
bool FoldWriteAheadLog(const QString &path, DbError &error);

// Compacts the file of that name in the program folder, with the backup.
void CompactAccDb(const QString &file = QStringLiteral("ACC.MDB"));

// Compacts the database at path. A missing file: the message "没有找到要压缩的数据库文件！". With
// backup, the program folder's "backup" becomes a byte copy of the file first. Events are let through
// only before the snapshot is taken and after the compacted copy (flushed to the disk with its
// folder) has replaced the database, so nothing saved meanwhile is lost. When the temporary name is
// held by something that cannot be removed, the copy is made in a private folder beside the
// database. A link at path stays a link: the file it leads to is the one replaced. On any failure the
// message "数据库压缩失败（" number, text "）！" is shown, the database is left as it was and the
// temporary file is removed. The password has no meaning for SQLite and is not used. True on success.
bool CompactDatabase(const QString &path, const QString &password, bool backup);
