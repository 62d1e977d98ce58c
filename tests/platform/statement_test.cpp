// The prepared statement: bound and run again, its failures logged once with its text, and kept on
// the idle connection for the next statement of the same text.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "fixtures/db_fixture.h"
#include "platform/statement.h"

namespace {

class StatementTest : public DbFixture {};

TEST_F(StatementTest, FailuresAreLoggedOnceWithTheText)
{
    struct Case {
        const char *sql;
        bool openConnection;
        int rowsBeforeFailing;  // -1: fails when prepared
        const char *logged;
    };
    const Case cases[] = {
        {"SELECT x FROM nowhere", true, -1, "no such table: nowhere"},
        {"SELECT 1", false, -1, "the connection is not open"},
        // the second row breaks the unique key of 参数 and ends the statement
        {"INSERT INTO 参数(Var,Con) SELECT 'k','1' UNION ALL SELECT 'k','2'", true, 0, "UNIQUE constraint failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        const int before = LogEntryCount();
        DbConnection conn;
        if (c.openConnection) {
            ASSERT_TRUE(OpenConn(conn));
        }
        Statement st(conn, QString::fromUtf8(c.sql));
        EXPECT_EQ(st.ok(), c.rowsBeforeFailing >= 0);
        int rows = 0;
        for (int pass = 0; pass < 3; ++pass)  // asked again and again, it stays failed and silent
            while (st.Next())
                ++rows;
        st.Bind(1, 1.0).Bind(2, QStringLiteral("x"));
        EXPECT_FALSE(st.Run());
        EXPECT_FALSE(st.ok());
        EXPECT_EQ(rows, std::max(c.rowsBeforeFailing, 0));
        EXPECT_EQ(LogEntryCount(), before + 1);
        EXPECT_TRUE(LogText().endsWith(QString::fromUtf8(c.sql) + QStringLiteral("\r\n"))) << LogText().toStdString();
        EXPECT_TRUE(LogText().contains(QString::fromUtf8(c.logged))) << LogText().toStdString();
        EXPECT_TRUE(st.error().failed());
    }
    // the failed statement wrote nothing
    EXPECT_EQ(CountRecords(QStringLiteral("参数"), QStringLiteral("Var='k'")), 0);
}

TEST_F(StatementTest, BoundAgainAndKeptOnTheIdleConnection)
{
    const QString insert = QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(?1,?2,?3,?2+?3)");
    const QString sum = QStringLiteral("SELECT COUNT(*),SUM(sm) FROM DeelRes WHERE dat>=?1");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        DbConnection conn;
        ASSERT_TRUE(OpenConn(conn));
        Statement ins(conn, insert);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(ins.Bind(1, 45000.0 + round * 10 + i).Bind(2, 100.0 * i).Bind(3, 1.5).Run());
        Statement total(conn, sum);
        ASSERT_TRUE(total.Bind(1, 45000.0).Next());
        EXPECT_EQ(total.Int(0), 3 * (round + 1));
        EXPECT_DOUBLE_EQ(total.Double(1), (round + 1) * (300 + 4.5));
        EXPECT_FALSE(total.IsNull(1));
        EXPECT_FALSE(total.Next());  // the end: reset, so it holds no lock
        ASSERT_TRUE(total.Bind(1, 45010.0).Next());
        EXPECT_EQ(total.Int(0), 3 * round);
        total.Reset();
    }
    // A connection opened while the idle one is lent prepares its own; both see the same rows. The
    // idle one holds the two statements, kept and not running.
    DbConnection outer, inner;
    ASSERT_TRUE(OpenConn(outer));
    ASSERT_TRUE(OpenConn(inner));
    int kept = 0;
    for (sqlite3_stmt *st = sqlite3_next_stmt(outer.Handle(), nullptr); st; st = sqlite3_next_stmt(outer.Handle(), st))
        kept += sqlite3_stmt_busy(st) ? 100 : 1;
    EXPECT_EQ(kept, 2);
    EXPECT_EQ(sqlite3_next_stmt(inner.Handle(), nullptr), nullptr);
    Statement a(outer, sum), b(inner, sum);
    ASSERT_TRUE(a.Bind(1, 0.0).Next());
    ASSERT_TRUE(b.Bind(1, 0.0).Next());
    EXPECT_EQ(a.Int(0), 6);
    EXPECT_EQ(b.Int(0), 6);
    EXPECT_EQ(LogEntryCount(), 0);
}

}  // namespace
