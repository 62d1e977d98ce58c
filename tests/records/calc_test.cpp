// Fees, cost prices and the amounts written back to account records.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "fixtures/db_fixture.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "records/calc.h"
#include "storage/db_operate.h"
#include "storage/sys_params.h"

namespace {

class CalcTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetSysParams(200000, 0.3 / 1000, 1, 10, 0.075);
    }

    // Adds an account record and returns its id; tnum < 0 leaves it NULL.
    long AddRecord(int num, int tnum, double bprice, double sprice, double bdate = 45296, double sdate = kEmptyDate)
    {
        DbConnection conn;
        RecordSet rs;
        EXPECT_TRUE(OpenRs(conn, rs, "SELECT * FROM account WHERE FALSE"));
        rs.AddNew();
        rs.Set("code", MakeString("600000"));
        rs.Set("sname", MakeString("浦发银行"));
        rs.Set("bdate", MakeDate(bdate));
        rs.Set("sdate", MakeDate(sprice > 0 ? sdate : kEmptyDate));
        rs.Set("bprice", MakeDouble(bprice));
        rs.Set("sprice", MakeDouble(sprice));
        rs.Set("num", MakeLong(num));
        if (tnum >= 0)
            rs.Set("tnum", MakeLong(tnum));
        EXPECT_TRUE(rs.Update());
        const long id = static_cast<long>(rs.Field("id").ToDouble());
        CloseRs(conn, rs);
        return id;
    }

    double FieldOf(long id, const char *field)
    {
        return GetFieldValue("account", "id=" + QString::number(id), field, MakeEmpty()).ToDouble();
    }
};

}  // namespace

TEST(CalcTradeFee, ModesMinimumsAndProration)
{
    SetSysParams(200000, 0.3 / 1000, 1, 10, 0.075);
    EXPECT_DOUBLE_EQ(CalcTradeFee(1000, 0, 10.0, 11.0, 1000), 5.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(1000, 1, 10.0, 11.0, 1000), 16.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(1000, 2, 10.0, 11.0, 1000), 21.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(1000, 3, 10.0, 11.0, 1000), 0.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(1000, 255, 10.0, 11.0, 1000), 0.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(400, 0, 10.0, 0, 1000), 2.0);  // 400/1000 of one 5-yuan minimum
    EXPECT_DOUBLE_EQ(CalcTradeFee(0, 2, 10.0, 11.0, 1000), 0.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(100, 2, 0.0, 11.0, 100), 0.0);
    EXPECT_DOUBLE_EQ(CalcTradeFee(100, 1, 3.0, 0, 0), 6.0);  // stamp duty 0.30 raised to 1.00
    EXPECT_DOUBLE_EQ(CalcFeeItem(5000, 38.46, 0.0003, 5.0), 57.69);
    EXPECT_DOUBLE_EQ(CalcFeeItem(1000, 10.005, 0.001, 1.0), 10.0);  // 10.005 rounds to the even 10.00
    EXPECT_DOUBLE_EQ(CalcCostPrice(1000, 10.0, 11.0, 1000), 10.021);
}

TEST_F(CalcTest, AmountsWrittenBackPerRecord)
{
    struct Case {
        int num, tnum;
        double bprice, sprice;
        double bcash, scash, aprice;
    };
    const Case cases[] = {
        {1000, 1000, 10.00, 0, 10005.0, -15.0, 10.02},          // open: sell side at the buy price
        {1000, 1000, 10.00, 11.00, 10005.0, 10984.0, 10.021},   // 5-yuan minimum, 11.00 stamp duty
        {100, 100, 3.00, 0, 305.0, -6.0, 3.11},                 // 1-yuan stamp-duty minimum
        {5000, 5000, 38.46, 0, 192357.69, -249.99, 38.521536},  // commission above the minimum
        {400, 1000, 10.00, 11.00, 4002.0, 4393.6, 10.021},      // a piece of a split trade
        {600, 1000, 10.00, 11.00, 6003.0, 6590.4, 10.021},
        {105, 105, 10.01, 0, 1056.0, -6.05, (1051.05 + 11.05) / 105},  // 1051.05 rounds to 1051.0
        {1000, 0, 10.00, 11.00, 10005.0, 10984.0, 10.021},      // tnum 0 repaired to num
        {1000, -1, 10.00, 11.00, 10005.0, 10984.0, 10.021},     // tnum NULL repaired to num
    };
    std::vector<long> ids;
    for (const Case &c : cases)
        ids.push_back(AddRecord(c.num, c.tnum, c.bprice, c.sprice));
    RecalcTradeAmounts(MakeLong(0));
    for (size_t i = 0; i < ids.size(); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(i);
        EXPECT_NEAR(FieldOf(ids[i], "bcash"), c.bcash, 1e-9);
        EXPECT_NEAR(FieldOf(ids[i], "scash"), c.scash, 1e-9);
        EXPECT_NEAR(FieldOf(ids[i], "aprice"), c.aprice, 1e-9);
        EXPECT_EQ(FieldOf(ids[i], "tnum"), c.tnum > 0 ? c.tnum : c.num);
    }
}

// Only a numeric 0 means every record: an id that is not a number (empty, Null, text) or names no
// record must not recompute the whole book.
TEST_F(CalcTest, WhichRecordsAnIdRecomputes)
{
    struct Case {
        const char *what;
        Value id;  // a String "#b" stands for the id of the second record as text
        bool first, second;
    };
    const Case cases[] = {
        {"number 0", MakeLong(0), true, true},
        {"text 0", MakeString(" 0 "), true, true},
        {"double 0", MakeDouble(0), true, true},
        {"id as text", MakeString("#b"), false, true},
        {"missing id", MakeLong(99999), false, false},
        {"negative id", MakeLong(-1), false, false},
        {"empty text", MakeString(""), false, false},
        {"Empty", MakeEmpty(), false, false},
        {"Null", MakeNull(), false, false},
        {"text", MakeString("abc"), false, false},
        {"text after a number", MakeString("0abc"), false, false},
        {"False", MakeBool(false), false, false},
    };
    for (const Case &c : cases) {
        ExecSql("DELETE FROM account");
        const long a = AddRecord(1000, 1000, 10.0, 0);
        const long b = AddRecord(1000, 1000, 10.0, 0);
        const Value id = c.id.IsString() && c.id.str == "#b" ? MakeString(QString::number(b)) : c.id;
        EXPECT_TRUE(RecalcTradeAmounts(id)) << c.what;
        EXPECT_EQ(FieldOf(a, "bcash"), c.first ? 10005.0 : 0) << c.what;
        EXPECT_EQ(FieldOf(b, "bcash"), c.second ? 10005.0 : 0) << c.what;
    }
}

TEST_F(CalcTest, RecordWithoutSharesKeepsItsCostPrice)
{
    const long id = AddRecord(0, 0, 10.0, 0);
    ExecSql("UPDATE account SET aprice=7.5 WHERE id=" + QString::number(id));
    RecalcTradeAmounts(MakeLong(id));
    EXPECT_EQ(FieldOf(id, "aprice"), 7.5);
    EXPECT_EQ(FieldOf(id, "bcash"), 0);
    EXPECT_EQ(FieldOf(id, "scash"), 0);

    // A negative count has a cost price all the same: no fees, so the buy price.
    EXPECT_DOUBLE_EQ(CalcCostPrice(-100, 10.0, 11.0, -100), 10.0);
    const long negative = AddRecord(-100, -100, 10.0, 11.0, 45296, 45300);
    ExecSql("UPDATE account SET aprice=7.5 WHERE id=" + QString::number(negative));
    RecalcTradeAmounts(MakeLong(negative));
    EXPECT_DOUBLE_EQ(FieldOf(negative, "aprice"), 10.0);
    EXPECT_DOUBLE_EQ(FieldOf(negative, "bcash"), -1000.0);
    EXPECT_DOUBLE_EQ(FieldOf(negative, "scash"), -1100.0);
}

namespace {

// Turns the commit of every transaction that changed more than one row into a rollback, on each
// connection opened while it is installed.
bool failMultiRowCommits = false;

int RefuseMultiRowCommit(void *db)
{
    return failMultiRowCommits && sqlite3_total_changes(static_cast<sqlite3 *>(db)) > 1 ? 1 : 0;
}

int InstallCommitHook(sqlite3 *db, const char **, const sqlite3_api_routines *)
{
    sqlite3_commit_hook(db, RefuseMultiRowCommit, db);
    return SQLITE_OK;
}

}  // namespace

TEST_F(CalcTest, FailedCommitOfAllRecordsIsLogged)
{
    for (int i = 0; i < 3; ++i)
        AddRecord(1000, 1000, 10.0 + i, 0);
    // The hook reaches only connections opened from now on, not the idle one.
    IdleConnectionPause pause;
    auto entry = reinterpret_cast<void (*)()>(InstallCommitHook);
    ASSERT_EQ(sqlite3_auto_extension(entry), SQLITE_OK);
    failMultiRowCommits = true;
    const bool ok = RecalcTradeAmounts(MakeLong(0));
    failMultiRowCommits = false;
    sqlite3_cancel_auto_extension(entry);

    EXPECT_FALSE(ok);
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().contains("COMMIT"));
    // Nothing was written.
    EXPECT_EQ(CountRecords("account", "bcash=0"), 3);
}

TEST_F(CalcTest, OpenRecordSetKeepsItsPosition)
{
    for (int i = 0; i < 3; ++i)
        AddRecord(1000, 1000, 10.0 + i, 0);
    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(OpenRs(conn, rs, "SELECT * FROM account ORDER BY id"));
    rs.MoveNext();
    ASSERT_EQ(rs.AbsolutePosition(), 2);
    RecalcTradeAmounts(rs.Field("id"), &rs);  // only the current record
    EXPECT_EQ(rs.AbsolutePosition(), 2);
    EXPECT_EQ(rs.Field("bcash").ToDouble(), 11005.0);
    rs.MoveFirst();
    EXPECT_EQ(rs.Field("bcash").ToDouble(), 0);
    rs.SetAbsolutePosition(3);
    RecalcTradeAmounts(MakeLong(0), &rs);  // all of them, position kept
    EXPECT_EQ(rs.AbsolutePosition(), 3);
    rs.MoveFirst();
    EXPECT_EQ(rs.Field("bcash").ToDouble(), 10005.0);
    CloseRs(conn, rs);
}

TEST_F(CalcTest, GridColumnsFromTheGridSelect)
{
    SetClock([] { return QDateTime(QDate(2024, 1, 15), QTime(10, 0)); });
    const long open = AddRecord(1000, 1000, 10.0, 0, DayNumberOf(2024, 1, 5));
    const long sold = AddRecord(1000, 1000, 10.0, 11.0, DayNumberOf(2024, 1, 5), DayNumberOf(2024, 1, 12));
    const long free = AddRecord(0, 0, 0.0, 5.0, DayNumberOf(2024, 1, 5), DayNumberOf(2024, 1, 12));
    RecalcTradeAmounts(MakeLong(0));
    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(OpenRs(conn, rs, kAccountGridSelect + " ORDER BY id"));
    ASSERT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs.Field("id").ToDouble(), open);
    EXPECT_EQ(rs.Field("profit").ToDouble(), 0);
    EXPECT_EQ(rs.Field("sc").ToDouble(), 0);
    EXPECT_EQ(rs.Field("pper").ToDouble(), 0);
    EXPECT_EQ(rs.Field("days").ToDouble(), 10);
    rs.MoveNext();
    EXPECT_EQ(rs.Field("id").ToDouble(), sold);
    EXPECT_NEAR(rs.Field("profit").ToDouble(), 10984.0 - 10005.0, 1e-9);
    EXPECT_NEAR(rs.Field("sc").ToDouble(), 10984.0, 1e-9);
    EXPECT_NEAR(rs.Field("pper").ToDouble(), 10984.0 / 10005.0 * 100 - 100, 1e-9);
    EXPECT_EQ(rs.Field("days").ToDouble(), 7);
    EXPECT_EQ(rs.Field("days").type, VType::Long);
    rs.MoveNext();
    EXPECT_EQ(rs.Field("id").ToDouble(), free);
    EXPECT_TRUE(rs.Field("pper").IsNull());  // bcash 0: no return, and no error
    CloseRs(conn, rs);
    SetClock({});
}
