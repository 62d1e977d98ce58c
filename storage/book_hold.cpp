// The book held for one connection alone while its file is replaced.
#include "book_hold.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>

QString BookInUseText(const QString &path)
{
    return QStringLiteral("另一个程序正在使用账本文件：\r\n") + QDir::toNativeSeparators(path) +
           QStringLiteral("\r\n\r\n请关闭那个程序（例如打开着这个账本的数据库工具或备份软件）"
                          "后再试一次。");
}

BookHold::~BookHold()
{
    Release();
}

bool BookHold::Take(const QString &path, DbError &error)
{
    Release();
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, DbBusyTimeoutMs());
        // Exclusive locking mode set before the first read: the exclusive lock on the file is taken
        // then, even for a book in WAL mode (whose log index then lives in this connection's memory,
        // not in the "-shm" file), and kept after the transaction ends.
        rc = sqlite3_exec(m_db, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK)
        return true;
    error = MakeDbError(m_db, rc);
    Release();
    return false;
}

bool BookHold::FoldLog(DbError &error)
{
    const int rc = m_db ? sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr)
                        : SQLITE_MISUSE;
    if (rc != SQLITE_OK)
        error = MakeDbError(m_db, rc);
    return rc == SQLITE_OK;
}

void BookHold::Release()
{
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}
