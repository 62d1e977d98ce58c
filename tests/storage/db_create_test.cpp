// Making a new ACC.MDB from data/: the tables and stock list, WAL mode, and never overwriting.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/db.h"
#include "platform/recordset.h"
#include "storage/db_create.h"

namespace {

TEST(DbCreateTest, MakesTheTablesAndNeverOverwrites)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ACC.MDB"));
    ASSERT_TRUE(CreateAccDb(path, QStringLiteral(KELVARO_DATA_DIR)));
    {
        DbConnection conn;
        ASSERT_TRUE(conn.Open(path));
        RecordSet rs;
        ASSERT_TRUE(rs.Open(conn, QStringLiteral("PRAGMA journal_mode")));
        EXPECT_EQ(rs.Field(QStringLiteral("journal_mode")).ToText(), QStringLiteral("wal"));
        ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM companyinfo WHERE code='1A0001'")));
        EXPECT_EQ(rs.Field(QStringLiteral("name")).ToText(), QStringLiteral("上证指数"));
        EXPECT_EQ(rs.Field(QStringLiteral("id")), MakeLong(1));
        for (const char *table : {"account", "DeelRes", "参数", "LastClprice", "LastPrice"})
            EXPECT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM ") + QString::fromUtf8(table))) << table;
    }
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EXPECT_FALSE(CreateAccDb(path, QStringLiteral(KELVARO_DATA_DIR)));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    // a data folder without the files makes nothing, and leaves nothing behind
    const QString other = dir.filePath(QStringLiteral("other.mdb"));
    EXPECT_FALSE(CreateAccDb(other, dir.path()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("ACC.MDB")});
}

}  // namespace
