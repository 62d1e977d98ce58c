// The Jet-dialect translator: the program's SQL texts against their SQLite forms, and what they
// give on a real database.
#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include <QTimeZone>

#include <sqlite3.h>

#include "fixtures/db_fixture.h"
#include "platform/clock.h"
#include "platform/db.h"
#include "platform/jet_sql.h"
#include "platform/program_folder.h"
#include "platform/recordset.h"

namespace {

struct Translation {
    const char *jet;
    const char *sqlite;
};

const Translation kTranslations[] = {
    // TOP n moves to the end, after the caller's ORDER BY
    {"SELECT TOP 1 clprice FROM H_600000 WHERE trdat<#2024-01-05# ORDER BY trdat DESC",
     "SELECT clprice FROM H_600000 WHERE trdat<45296 ORDER BY trdat DESC LIMIT 1"},
    {"SELECT TOP 200  * FROM h_600000 ORDER BY trdat DESC", "SELECT * FROM h_600000 ORDER BY trdat DESC LIMIT 200"},
    {"select top 2 * from DeelRes order by dat desc", "select * from DeelRes order by dat desc LIMIT 2"},
    {"SELECT * FROM (SELECT TOP 2 * FROM DeelRes ORDER BY dat DESC) ORDER BY dat",
     "SELECT * FROM (SELECT * FROM DeelRes ORDER BY dat DESC LIMIT 2) ORDER BY dat"},
    // TRUE/FALSE take Jet's values
    {"SELECT TOP 1 bdate FROM account WHERE TRUE ORDER BY bdate",
     "SELECT bdate FROM account WHERE -1 ORDER BY bdate LIMIT 1"},
    {"SELECT * FROM account WHERE FALSE", "SELECT * FROM account WHERE 0"},
    // date literals become day numbers; the empty date is 2
    {"UPDATE account SET sdate=#1900-1-1# WHERE sprice=0", "UPDATE account SET sdate=2 WHERE sprice=0"},
    {"SELECT * FROM DeelRes WHERE dat<=#2024/1/5 12:00#  ORDER BY dat DESC",
     "SELECT * FROM DeelRes WHERE dat<=45296.5  ORDER BY dat DESC"},
    {"SELECT * FROM DeelRes WHERE dat=#1899-12-30 06:00:00#", "SELECT * FROM DeelRes WHERE dat=0.25"},
    // quoted literals and bracketed names are left alone
    {"SELECT * FROM account WHERE memo='a#b# TOP 1 now TRUE & x;y'",
     "SELECT * FROM account WHERE memo='a#b# TOP 1 now TRUE & x;y'"},
    {"SELECT [x#y] FROM t WHERE a='it''s'", "SELECT [x#y] FROM t WHERE a='it''s'"},
    // "..." strings become '...'
    {"SELECT TOP 1 name FROM companyinfo WHERE code=\"600000\"",
     "SELECT name FROM companyinfo WHERE code='600000' LIMIT 1"},
    {"SELECT * FROM t WHERE a=\"it's \"\"x\"\"\"", "SELECT * FROM t WHERE a='it''s \"x\"'"},
    {"DELETE * FROM account WHERE id IN(1,2)", "DELETE FROM account WHERE id IN(1,2)"},
    {"DELETE * FROM DEELRES", "DELETE FROM DEELRES"},
    {"SELECT *,CLNG(FIX(IIF(sprice=0,now-bdate,sdate-bdate))) AS days FROM account",
     "SELECT *,CLNG(FIX(IIF(sprice=0,now()-bdate,sdate-bdate))) AS days FROM account"},
    {"SELECT Now() AS t, x.now FROM x", "SELECT Now() AS t, x.now FROM x"},
    // Jet's DDL types
    {"CREATE TABLE H_600000(id AUTOINCREMENT,trdat DATE,opprice SINGLE,clprice SINGLE,mxprice SINGLE,"
     "mnprice SINGLE,num DOUBLE,sm DOUBLE)",
     "CREATE TABLE H_600000(id INTEGER PRIMARY KEY AUTOINCREMENT,trdat DATE,opprice FLOAT,clprice FLOAT,"
     "mxprice FLOAT,mnprice FLOAT,num DOUBLE,sm DOUBLE)"},
    {"ALTER TABLE account ADD sid LONG", "ALTER TABLE account ADD sid INTEGER"},
    {"ALTER TABLE account ADD memo2 TEXT(50)", "ALTER TABLE account ADD memo2 TEXT COLLATE NOCASE"},
    {"ALTER TABLE account ADD note STRING", "ALTER TABLE account ADD note TEXT COLLATE NOCASE"},
    // the joined UPDATE
    {"UPDATE account INNER JOIN companyinfo ON account.code=companyinfo.code SET account.sid=companyinfo.id "
     "WHERE account.sid=0 OR account.sid IS NULL",
     "UPDATE account SET sid=companyinfo.id FROM companyinfo WHERE (account.code=companyinfo.code) AND "
     "(account.sid=0 OR account.sid IS NULL)"},
    // Jet's a--1 is no comment; a trailing ";" is dropped
    {"SELECT 5--1 AS x", "SELECT 5- -1 AS x"},
    {"DELETE FROM LastPrice;  ", "DELETE FROM LastPrice"},
};

TEST(JetSqlTest, TranslatesTheProgramsTexts)
{
    for (const auto &t : kTranslations) {
        QString why;
        const auto out = TranslateJetSql(QString::fromUtf8(t.jet), &why);
        ASSERT_TRUE(out.has_value()) << t.jet << ": " << why.toStdString();
        EXPECT_EQ(out->toStdString(), t.sqlite) << t.jet;
    }
}

// The process runs in the user's locale (the application sets it from the environment); a day
// number with a time must still reach SQL with a decimal point.
TEST(JetSqlTest, DayNumbersIgnoreTheNumericLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool commaLocale = false;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point == std::string(",")) {
            commaLocale = true;
            break;
        }
    if (!commaLocale) {
        std::setlocale(LC_NUMERIC, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const auto out = TranslateJetSql(QStringLiteral("SELECT * FROM DeelRes WHERE dat<=#2024-01-05 12:00#"));
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(out.value_or(QString()).toStdString(), "SELECT * FROM DeelRes WHERE dat<=45296.5");
}

TEST(JetSqlTest, RefusesWhatWouldRunWrongOrInPart)
{
    const char *refused[] = {
        "SELECT code & name FROM companyinfo",
        "DELETE FROM account; DROP TABLE account",
        "SELECT 1;SELECT 2",
        "SELECT * FROM H_1 WHERE trdat<##",       // an empty date
        "SELECT * FROM H_1 WHERE trdat<#01/05/2024#",  // month-first is not guessed
        "SELECT * FROM H_1 WHERE trdat<#2024-02-30#",
        "SELECT * FROM t WHERE a='open",
        "SELECT * FROM t WHERE a=#2024-01-05",
    };
    for (const char *sql : refused) {
        QString why;
        EXPECT_FALSE(TranslateJetSql(QString::fromUtf8(sql), &why).has_value()) << sql;
        EXPECT_FALSE(why.isEmpty()) << sql;
    }
}

TEST(JetSqlTest, FindsTheUpdatableShape)
{
    struct Case {
        const char *jet;
        const char *table;
    } cases[] = {
        {"SELECT * FROM account WHERE  ID=5", "account"},
        {"SELECT * FROM 参数 WHERE Var='x'", "参数"},
        {"SELECT TOP 1 * FROM account ORDER BY id", "account"},
        {"SELECT * FROM account", "account"},
        {"SELECT *,(scash-bcash) as profit FROM account", ""},
        {"SELECT L.*,C.id FROM lastclprice AS L,companyinfo AS C WHERE L.code=C.code", ""},
        {"SELECT * FROM (SELECT code FROM account) ORDER BY code", ""},
        {"SELECT * FROM account AS a", ""},
        {"SELECT * FROM account GROUP BY code", ""},
    };
    for (const auto &c : cases) {
        const JetTranslation tr = TranslateJet(QString::fromUtf8(c.jet));
        EXPECT_EQ(tr.baseTable.toStdString(), c.table) << c.jet;
    }
}

TEST(JetSqlTest, SqlQuoteAndHistoryTableName)
{
    EXPECT_EQ(SqlQuote(QStringLiteral("it's")), QStringLiteral("'it''s'"));
    EXPECT_EQ(SqlQuote(QString()), QStringLiteral("''"));
    EXPECT_EQ(HistoryTableName(QStringLiteral("600000")).value_or(QString()), QStringLiteral("H_600000"));
    EXPECT_EQ(HistoryTableName(QStringLiteral("1A0001")).value_or(QString()), QStringLiteral("H_1A0001"));
    for (const char *bad : {"60000", "6000001", "1'OR'1", "60 000", "６00000"})
        EXPECT_FALSE(HistoryTableName(QString::fromUtf8(bad)).has_value()) << bad;
}

class JetSqlDbTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ASSERT_TRUE(conn.Open(PathOf(QStringLiteral("ACC.MDB"))));
    }
    // The first row of a query as values; fails the test when the query does not run.
    std::vector<Value> FirstRow(const QString &sql)
    {
        RecordSet rs;
        EXPECT_TRUE(rs.Open(conn, sql)) << sql.toStdString() << ": " << conn.lastError.text.toStdString();
        return rs.Snapshot();
    }
    DbConnection conn;
};

TEST_F(JetSqlDbTest, JetFunctionsRoundAsJetDoes)
{
    const auto row = FirstRow(QStringLiteral("SELECT CLNG(2.5),CLNG(3.5),CLNG(-2.5),CLNG(-3.5),CLNG(2.4999),"
                                             "FIX(-2.7),FIX(2.7),FIX(-0.4),INT(-2.7),FIX(7),CLNG('4.5'),CLNG(NULL)"));
    ASSERT_EQ(row.size(), 12u);
    const double expected[] = {2, 4, -2, -4, 2, -2, 2, 0, -3, 7, 4};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(row[i].num, expected[i]) << "column " << i;
    EXPECT_EQ(row[0].type, VType::Long);
    EXPECT_EQ(row[5].type, VType::Double);
    EXPECT_EQ(row[9].type, VType::Long);
    EXPECT_TRUE(row[11].IsNull());
    EXPECT_FALSE(std::signbit(row[7].num));

    RecordSet rs;
    EXPECT_FALSE(rs.Open(conn, QStringLiteral("SELECT CLNG(3000000000)")));
    EXPECT_EQ(conn.lastError.text, QStringLiteral("Overflow"));
    EXPECT_FALSE(rs.Open(conn, QStringLiteral("SELECT FIX('abc')")));
}

TEST_F(JetSqlDbTest, NowAndDateFollowTheClock)
{
    SetClock([] { return QDateTime(QDate(2024, 1, 15), QTime(18, 0, 0, 400)); });
    ASSERT_TRUE(conn.Execute(QStringLiteral("INSERT INTO account(code,bdate) VALUES('600000',#2024-01-05#)")));
    ASSERT_TRUE(conn.Execute(QStringLiteral("INSERT INTO account(code,bdate,sdate,sprice) "
                                            "VALUES('000001',#2024-01-05#,#2024-01-08#,10)")));
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT CLNG(FIX(IIF(sprice=0,now-bdate,sdate-bdate))) AS days, "
                                             "now-bdate AS age, date() AS today FROM account ORDER BY code DESC")));
    ASSERT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(rs.Field(QStringLiteral("days")).num, 10);  // 10.75 days truncated
    EXPECT_EQ(rs.Field(QStringLiteral("age")).num, 10.75);  // whole seconds, as Now gives
    EXPECT_EQ(rs.Field(QStringLiteral("today")).num, 45306);
    rs.MoveNext();
    EXPECT_EQ(rs.Field(QStringLiteral("days")).num, 3);

    // Read at a fixed offset from UTC: 20:00 in New York (UTC-5) is 09:00 the next day at UTC+8.
    SetClock([] { return QDateTime(QDate(2024, 1, 15), QTime(20, 0), QTimeZone(-5 * 3600)); });
    for (const std::optional<int> offset : {std::optional<int>(), std::optional<int>(8 * 3600)}) {
        SetDbClockOffset(offset);
        ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT CLNG(FIX(now-bdate)) AS days, date() AS today FROM account "
                                                 "WHERE code='600000'")));
        EXPECT_EQ(rs.Field(QStringLiteral("days")).num, offset ? 11 : 10);
        EXPECT_EQ(rs.Field(QStringLiteral("today")).num, offset ? 45307 : 45306);
    }
    SetDbClockOffset(std::nullopt);
}

TEST_F(JetSqlDbTest, StatementsGiveTheirJetResults)
{
    for (const char *sql : {"INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-03#,1)",
                            "INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-04#,2)",
                            "INSERT INTO DeelRes(dat,cash) VALUES(#2024-01-08#,3)",
                            "INSERT INTO account(code,memo) VALUES(\"600000\",'a#b#')",
                            "INSERT INTO account(code,memo) VALUES('000001','plain')"})
        ASSERT_TRUE(conn.Execute(QString::fromUtf8(sql))) << sql << conn.lastError.text.toStdString();

    // TOP with the ordering inside the condition takes the newest day before the date
    auto row = FirstRow(QStringLiteral("SELECT TOP 1 cash FROM DeelRes WHERE dat<=#2024-01-05# ORDER BY dat DESC"));
    ASSERT_EQ(row.size(), 1u);
    EXPECT_EQ(row[0].num, 2);
    row = FirstRow(QStringLiteral("SELECT TOP 1 dat FROM DeelRes WHERE TRUE ORDER BY dat DESC"));
    EXPECT_EQ(row[0], MakeDate(45299));
    // MIN/MAX of a DATE column come back as dates
    row = FirstRow(QStringLiteral("SELECT MAX(dat) AS edat,MIN(dat) AS sdat FROM DeelRes"));
    EXPECT_EQ(row[0], MakeDate(45299));
    EXPECT_EQ(row[1], MakeDate(45294));

    // a # inside a literal is text
    row = FirstRow(QStringLiteral("SELECT code FROM account WHERE memo='a#b#'"));
    EXPECT_EQ(row[0], MakeString(QStringLiteral("600000")));
    // a double-quoted code is a text, not the column of that name
    row = FirstRow(QStringLiteral("SELECT TOP 1 name FROM companyinfo WHERE code=\"600000\""));
    EXPECT_EQ(row[0], MakeString(QStringLiteral("浦发银行")));
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT name FROM companyinfo WHERE code=\"code\"")));
    EXPECT_EQ(rs.RecordCount(), 0);
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE FALSE")));
    EXPECT_EQ(rs.RecordCount(), 0);

    // the joined UPDATE fills sid from the stock list
    ASSERT_TRUE(conn.Execute(QStringLiteral(
        "UPDATE account INNER JOIN companyinfo ON account.code=companyinfo.code SET account.sid=companyinfo.id "
        "WHERE account.sid=0 OR account.sid IS NULL")))
        << conn.lastError.text.toStdString();
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT code,sid FROM account ORDER BY code")));
    EXPECT_EQ(rs.Field(QStringLiteral("sid")).num, 4);
    rs.MoveNext();
    EXPECT_EQ(rs.Field(QStringLiteral("sid")).num, 148);

    ASSERT_TRUE(conn.Execute(QStringLiteral("DELETE * FROM DeelRes WHERE dat>=#2024-01-04#")));
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM DeelRes")));
    EXPECT_EQ(rs.RecordCount(), 1);
}

TEST_F(JetSqlDbTest, HistoryTableOfJetDdl)
{
    ASSERT_TRUE(conn.Execute(
        QStringLiteral("CREATE TABLE H_600000(id AUTOINCREMENT,trdat DATE,opprice SINGLE,clprice SINGLE,"
                       "mxprice SINGLE,mnprice SINGLE,num DOUBLE,sm DOUBLE)")))
        << conn.lastError.text.toStdString();
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM H_600000 WHERE FALSE")));
    ASSERT_EQ(rs.FieldCount(), 8);
    const VType kinds[] = {VType::Long,   VType::Date,   VType::Single, VType::Single,
                           VType::Single, VType::Single, VType::Double, VType::Double};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rs.FieldInfo(i).kind, kinds[i]) << rs.FieldInfo(i).name.toStdString();
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.Set(QStringLiteral("trdat"), MakeString(QStringLiteral("2024-01-05"))));
    ASSERT_TRUE(rs.Set(QStringLiteral("clprice"), MakeString(QStringLiteral("10.23"))));
    ASSERT_TRUE(rs.Update()) << rs.lastError.text.toStdString();
    EXPECT_EQ(rs.Field(QStringLiteral("id")), MakeLong(1));
    EXPECT_EQ(rs.Field(QStringLiteral("trdat")), MakeDate(45296));
    EXPECT_EQ(rs.Field(QStringLiteral("clprice")).ToText(), QStringLiteral("10.23"));
}

TEST_F(JetSqlDbTest, ExecuteRefusesASecondStatementWithoutRunningAny)
{
    ASSERT_TRUE(conn.Execute(QStringLiteral("INSERT INTO DeelRes(dat) VALUES(#2024-01-03#)")));
    EXPECT_FALSE(conn.Execute(QStringLiteral("DELETE FROM DeelRes; DROP TABLE account")));
    EXPECT_FALSE(conn.lastError.text.isEmpty());
    // A tail that SQLite itself would leave unrun is refused too.
    EXPECT_FALSE(conn.ExecuteNative(QStringLiteral("DELETE FROM DeelRes; SELECT 1")));
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM DeelRes")));
    EXPECT_EQ(rs.RecordCount(), 1);
}

TEST_F(JetSqlDbTest, OpenRefusesAMissingFileAndReportsAFileInUse)
{
    DbConnection missing;
    EXPECT_FALSE(missing.Open(PathOf(QStringLiteral("nothing.mdb"))));
    EXPECT_EQ(missing.lastError.number & 0xff, SQLITE_CANTOPEN);
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("nothing.mdb"))));

    IdleConnectionPause pause;  // an exclusive lock needs the file to itself
    ASSERT_TRUE(conn.ExecuteNative(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
    ASSERT_TRUE(conn.Execute(QStringLiteral("UPDATE companyinfo SET py=py")));
    DbConnection other;
    EXPECT_FALSE(other.Open(PathOf(QStringLiteral("ACC.MDB"))));
    EXPECT_TRUE(other.lastError.inUse) << other.lastError.number;
}

}  // namespace
