// Every SQL text the program sends, as its callers build it, runs on a real database: the
// translator must leave no Jet construct that SQLite rejects or reads differently.
#include <gtest/gtest.h>

#include "fixtures/db_fixture.h"
#include "platform/clock.h"
#include "platform/db.h"
#include "platform/recordset.h"

namespace {

class ProgramSqlTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 3, 5), QTime(10, 0)); });
        ASSERT_TRUE(conn.Open(PathOf(QStringLiteral("ACC.MDB"))));
        for (const char *code : {"600000", "1A0001"})
            ASSERT_TRUE(conn.Execute(QStringLiteral("CREATE TABLE H_%1(id AUTOINCREMENT,trdat DATE,opprice SINGLE,"
                                                    "clprice SINGLE,mxprice SINGLE,mnprice SINGLE,num DOUBLE,"
                                                    "sm DOUBLE)")
                                         .arg(QString::fromLatin1(code))));
        const char *rows[] = {
            "INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice,bcash,scash) "
            "VALUES('600000','浦发银行',#2024-01-03#,10,100,100,#2024-01-08#,11,1000,1100)",
            "INSERT INTO account(code,sname,bdate,bprice,num,tnum,bcash) "
            "VALUES('000001','平安银行',#2024-01-05#,9,200,200,1800)",
            "INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#2024-01-03#,199000,1000,200000)",
            "INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#2024-01-05#,197200,2800,200000)",
            "INSERT INTO H_600000(trdat,opprice,clprice,mxprice,mnprice,num,sm) "
            "VALUES(#2024-01-05#,10,10.5,10.8,9.9,1e6,1e7)",
            "INSERT INTO H_1A0001(trdat,clprice) VALUES(#2024-01-05#,2900)",
            "INSERT INTO 参数(Var,Con) VALUES('FPAR_MF_chk','1')",
            "INSERT INTO LastClprice(code,clprice) VALUES('600000',10.5)",
        };
        for (const char *sql : rows)
            ASSERT_TRUE(conn.Execute(QString::fromUtf8(sql))) << sql << conn.lastError.text.toStdString();
    }
    DbConnection conn;
};

// The texts of the callers, with values filled in as the callers format them (dates through the
// date-only form "YYYY-MM-DD" or the date-and-time form "YYYY-MM-DD HH:MM"), and the rows each gives.
struct Query {
    const char *sql;
    int rows;
};

const Query kQueries[] = {
    // the layer's own shapes
    {"SELECT TOP 1 bdate FROM account WHERE TRUE ORDER BY bdate", 1},
    {"SELECT TOP 1 bdate FROM account WHERE TRUE ORDER BY bdate ASC", 1},
    {"SELECT TOP 1 * FROM account", 1},
    {"select code FROM account GROUP BY code ORDER BY code", 2},
    {"SELECT id FROM companyinfo WHERE code='600000' GROUP BY id", 1},
    // trade records, grid, tree and summaries
    {"SELECT * FROM account WHERE id=1", 1},
    {"SELECT * FROM account WHERE  ID=1", 1},
    {"SELECT *,IIF(sprice=0,0,scash-bcash) AS profit,IIF(sprice=0,0,scash) AS sc,"
     "IIF(sprice=0,0,scash/bcash*100-100) AS pper,CLNG(FIX(IIF(sprice=0,now-bdate,sdate-bdate))) AS days "
     "FROM account WHERE code IN('600000','000001') AND sprice>0 AND "
     "((bdate>=#2024-01-01# AND bdate<=#2024-03-05#) OR sprice=0) ORDER BY code,bprice ASC",
     1},
    {"SELECT *,(scash-bcash) as profit,(scash/bcash*100-100) as pper FROM account WHERE sprice>0 ORDER BY code,bdate",
     1},
    {"select code FROM account WHERE bdate>=#2024-01-04# OR sdate>=#2024-01-04# OR sprice=0 GROUP BY code "
     "ORDER BY code",
     2},
    {"SELECT * FROM account WHERE bdate>=#2024-01-04# ORDER BY bdate", 1},
    {"SELECT * FROM account WHERE sdate>=#2024-01-04# AND sprice>0 ORDER BY sdate", 1},
    {"SELECT * FROM account WHERE code='600000' AND (sprice<=0 OR bdate>=#2024-01-04# OR sdate>=#2024-01-04#)", 1},
    {"SELECT * FROM account WHERE id IN(1,2)", 2},
    {"SELECT TOP 1 num FROM account WHERE code='000001' AND sprice=0 ORDER BY bdate DESC", 1},
    {"SELECT * FROM account WHERE FALSE", 0},
    {"SELECT TOP 1 bdate FROM account WHERE id IN(1,2) ORDER BY bdate DESC", 1},
    {"SELECT TOP 1 num FROM account WHERE id=2", 1},
    {"SELECT * FROM (SELECT Code,SName,Min(SPrice) AS sp,MAX(sDate) AS sDat FROM account WHERE "
     "((bdate>=#2024-01-01# AND bdate<=#2024-03-05#) OR sprice=0) GROUP BY Code,SName) ORDER BY sDat DESC",
     2},
    {"SELECT * FROM (SELECT code,sname,SUM(bprice*num) AS sm FROM account WHERE sprice=0 GROUP BY code,sname) "
     "ORDER BY sm DESC",
     1},
    {"SELECT * FROM account WHERE code='600000' ORDER by bdate", 1},
    {"SELECT * FROM account WHERE code='600000' AND sprice>0 ORDER by sdate", 1},
    {"SELECT * FROM account ORDER BY bdate", 2},
    {"SELECT * FROM (SELECT code,sname,sum(sm) AS sm FROM (SELECT code,sname,num*bprice AS sm FROM account WHERE "
     "bdate<=#2024-01-05# AND (sprice<=0 OR sdate>#2024-01-05#)) GROUP BY code,sname) ORDER BY sm DESC",
     2},
    {"SELECT * FROM account WHERE code='000001' AND sprice=0 and bdate<=#2024-01-05# ORDER BY bdate", 1},
    // the per-day asset table
    {"SELECT TOP 1 dat FROM deelres WHERE TRUE ORDER BY dat DESC", 1},
    {"SELECT TOP 1 cash FROM DeelRes WHERE dat<=#2024-01-04 00:00#  ORDER BY dat DESC", 1},
    {"SELECT * FROM DeelRes WHERE FALSE", 0},
    {"SELECT TOP 2 * FROM DeelRes ORDER BY dat DESC", 2},
    {"SELECT * FROM DeelRes ORDER by dat", 2},
    {"SELECT MAX(dat) AS edat,MIN(dat) AS sdat FROM DeelRes", 1},
    {"select dat FROM deelres WHERE dat>=#2024-01-01# AND dat<=#2024-03-05# GROUP BY dat ORDER BY dat", 2},
    // parameters, stock list and last closes
    {"SELECT * FROM 参数 WHERE Var='FPAR_MF_chk'", 1},
    {"SELECT * FROM 参数 WHERE var LIKE 'FPAR_%'", 1},
    {"SELECT TOP 1 name FROM companyinfo WHERE code=\"600000\"", 1},
    {"SELECT * FROM companyinfo WHERE name LIKE '%浦发%'OR py LIKE '%PFYH%'", 1},
    {"SELECT TOP 1 id FROM companyinfo WHERE code='1A0001'", 1},
    {"SELECT C.id,C.code FROM companyinfo AS C,(SELECT code FROM account GROUP BY code) AS A WHERE C.code=A.code", 2},
    {"SELECT L.*,C.id FROM lastclprice AS L,companyinfo AS C WHERE L.code=C.code", 1},
    {"SELECT * FROM LastClprice WHERE code='600000'", 1},
    // price tables
    {"SELECT TOP 1 clprice FROM H_600000 WHERE trdat<#2024-01-08 15:00# ORDER BY trdat DESC", 1},
    {"SELECT TOP 1 trdat FROM H_600000 WHERE TRUE ORDER BY trdat DESC", 1},
    {"SELECT * FROM H_600000 WHERE FALSE", 0},
    {"select trdat FROM H_1A0001 WHERE trdat>=#2024-01-01 00:00# GROUP BY trdat ORDER BY trdat", 1},
    {"SELECT trdat FROM H_600000 WHERE trdat=#2024-01-05 00:00# GROUP BY trdat", 1},
    {"SELECT TOP 1 trdat FROM H_600000 WHERE trdat<#2024-01-06# ORDER BY trdat DESC", 1},
    {"SELECT * FROM H_600000 WHERE trdat>=#2024-01-05 00:00# ORDER BY trdat ASC", 1},
    {"SELECT * FROM H_600000 WHERE trdat=#2024-01-05#", 1},
    {"SELECT * FROM h_600000 WHERE trdat>=#2024-01-03#", 1},
    {"SELECT TOP 200 * FROM h_600000 WHERE trdat>=#2024-01-03# ORDER BY trdat DESC", 1},
    {"SELECT  * FROM h_600000 ORDER BY trdat DESC", 1},
    {"SELECT TOP 1 clprice FROM h_1A0001 WHERE trdat<#2024-01-08# ORDER BY trdat DESC", 1},
    {"SELECT * FROM h_1A0001 WHERE trdat>=#2024-01-03# AND trdat<=#2024-01-08# ORDER BY trdat", 1},
};

TEST_F(ProgramSqlTest, EveryQueryRunsAndFindsItsRows)
{
    for (const Query &q : kQueries) {
        RecordSet rs;
        EXPECT_TRUE(rs.Open(conn, QString::fromUtf8(q.sql))) << q.sql << "\n" << conn.lastError.text.toStdString();
        EXPECT_EQ(rs.RecordCount(), q.rows) << q.sql;
    }
}

TEST_F(ProgramSqlTest, EveryStatementRuns)
{
    const char *statements[] = {
        "UPDATE account SET sdate=#1900-1-1# WHERE sprice=0",
        "UPDATE account SET tnum=num WHERE tnum=0 OR tnum IS NULL",
        "UPDATE account SET sprice=12.5,sdate=#2024-03-05# WHERE id=2",
        "UPDATE account INNER JOIN companyinfo ON account.code=companyinfo.code SET account.sid=companyinfo.id "
        "WHERE account.sid=0 OR account.sid IS NULL",
        "DELETE * FROM DeelRes WHERE dat>=#2024-01-05#",
        "DELETE * FROM account WHERE id IN(2)",
        "DELETE * FROM 参数 WHERE NOT var LIKE 'FPAR_%'",
        "DELETE * FROM LastPrice",
        "DELETE * FROM DEELRES",
        "DELETE * FROM DeelRes",
        "DELETE * FROM account",
        "DROP TABLE H_600000",
    };
    for (const char *sql : statements)
        EXPECT_TRUE(conn.Execute(QString::fromUtf8(sql))) << sql << "\n" << conn.lastError.text.toStdString();
}

}  // namespace
