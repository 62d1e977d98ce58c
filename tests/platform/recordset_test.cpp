// The record set: counts, moves, field access, conversions on assignment and write-back by rowid.
#include <limits>

#include <gtest/gtest.h>

#include "fixtures/db_fixture.h"
#include "platform/db.h"
#include "platform/recordset.h"

namespace {

class RecordSetTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ASSERT_TRUE(conn.Open(PathOf(QStringLiteral("ACC.MDB"))));
    }
    void AddAccounts(int n)
    {
        for (int i = 1; i <= n; ++i)
            ASSERT_TRUE(conn.Execute(QStringLiteral("INSERT INTO account(code,num,bdate) VALUES('%1',%2,#2024-01-0%3#)")
                                         .arg(600000 + i)
                                         .arg(i * 100)
                                         .arg(i)));
    }
    int CountOf(const QString &sql)
    {
        RecordSet rs;
        EXPECT_TRUE(rs.Open(conn, sql));
        return rs.RecordCount();
    }
    DbConnection conn;
};

TEST_F(RecordSetTest, MovesBothWaysOverAnExactCount)
{
    AddAccounts(3);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account ORDER BY id")));
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs.AbsolutePosition(), 1);
    EXPECT_FALSE(rs.AtBOF());
    ASSERT_TRUE(rs.MoveNext() && rs.MoveNext() && rs.MoveNext());
    EXPECT_TRUE(rs.AtEOF());
    EXPECT_EQ(rs.AbsolutePosition(), 0);
    EXPECT_FALSE(rs.MoveNext());
    EXPECT_FALSE(rs.Get(QStringLiteral("num")).has_value());
    // from EOF one step back is the last row
    ASSERT_TRUE(rs.MovePrevious());
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(300));
    ASSERT_TRUE(rs.MoveFirst());
    ASSERT_TRUE(rs.MovePrevious());
    EXPECT_TRUE(rs.AtBOF());
    EXPECT_FALSE(rs.MovePrevious());
    ASSERT_TRUE(rs.MoveNext());
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(100));
    // a position can be set from EOF too
    ASSERT_TRUE(rs.MoveLast() && rs.MoveNext());
    ASSERT_TRUE(rs.SetAbsolutePosition(2));
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(200));
    EXPECT_FALSE(rs.SetAbsolutePosition(4));
    EXPECT_FALSE(rs.SetAbsolutePosition(0));
    EXPECT_EQ(rs.AbsolutePosition(), 2);
}

TEST_F(RecordSetTest, EmptyResultKeepsItsFields)
{
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE FALSE")));
    EXPECT_TRUE(rs.AtBOF());
    EXPECT_TRUE(rs.AtEOF());
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_FALSE(rs.MoveFirst());
    EXPECT_FALSE(rs.Get(0).has_value());
    ASSERT_EQ(rs.FieldCount(), 14);
    EXPECT_EQ(rs.FieldInfo(0).name, QStringLiteral("id"));
    EXPECT_EQ(rs.FieldInfo(13).name, QStringLiteral("sid"));
    EXPECT_EQ(rs.FieldInfo(3).kind, VType::Date);
    EXPECT_EQ(rs.FieldInfo(4).kind, VType::Double);
    EXPECT_EQ(rs.FieldInfo(1).declaredType, QStringLiteral("TEXT"));
    EXPECT_EQ(rs.FieldIndex(QStringLiteral("SNAME")), 2);
    EXPECT_EQ(rs.FieldIndex(QStringLiteral("nosuch")), -1);
}

TEST_F(RecordSetTest, AddNewWritesOnlyTheSetFieldsAndReadsTheIdAtOnce)
{
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE FALSE")));
    ASSERT_TRUE(rs.IsUpdatable());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(rs.AddNew());
        ASSERT_TRUE(rs.Set(QStringLiteral("Code"), MakeString(QStringLiteral("000001"))));
        ASSERT_TRUE(rs.Set(QStringLiteral("bdate"), MakeString(QStringLiteral("2024-1-5"))));
        ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeDouble(100)));
        ASSERT_TRUE(rs.Update()) << rs.lastError.text.toStdString();
        EXPECT_EQ(rs.Field(QStringLiteral("id")), MakeLong(i + 1));
        EXPECT_EQ(rs.AbsolutePosition(), i + 1);
    }
    EXPECT_EQ(rs.RecordCount(), 2);
    // the column defaults apply to what was not set
    EXPECT_EQ(rs.Field(QStringLiteral("sprice")), MakeDouble(0));
    EXPECT_EQ(rs.Field(QStringLiteral("sdate")), MakeDate(2));
    EXPECT_EQ(rs.Field(QStringLiteral("memo")), MakeString(QString()));

    RecordSet back;
    ASSERT_TRUE(back.Open(conn, QStringLiteral("SELECT * FROM account WHERE code='000001' ORDER BY id")));
    ASSERT_EQ(back.RecordCount(), 2);
    EXPECT_EQ(back.Field(QStringLiteral("code")), MakeString(QStringLiteral("000001")));
    EXPECT_EQ(back.Field(QStringLiteral("bdate")), MakeDate(45296));
    EXPECT_EQ(back.Field(QStringLiteral("num")), MakeLong(100));
}

TEST_F(RecordSetTest, ARowAddedAfterTheTableGainedAColumnHasItsIdAtOnce)
{
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE FALSE")));
    ASSERT_TRUE(conn.Execute(QStringLiteral("ALTER TABLE account ADD COLUMN extra INTEGER")));
    ASSERT_TRUE(rs.AddNew() && rs.Set(QStringLiteral("code"), MakeString(QStringLiteral("600000"))));
    ASSERT_TRUE(rs.Update()) << rs.lastError.text.toStdString();
    EXPECT_EQ(rs.Field(QStringLiteral("id")), MakeLong(1));
    EXPECT_EQ(rs.Field(QStringLiteral("sdate")), MakeDate(2));
}

TEST_F(RecordSetTest, EditWritesBackByRowidAndKeepsTheRow)
{
    AddAccounts(3);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE num<300 ORDER BY id")));
    ASSERT_TRUE(rs.SetAbsolutePosition(2));
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(500)));
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(500));  // the pending value reads back
    ASSERT_TRUE(rs.Update());
    // the row stays in the set although it no longer matches the condition
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(500));
    // moving off an edited row writes it
    ASSERT_TRUE(rs.MoveFirst());
    ASSERT_TRUE(rs.Set(QStringLiteral("memo"), MakeString(QStringLiteral("改"))));
    ASSERT_TRUE(rs.MoveNext());
    RecordSet back;
    ASSERT_TRUE(back.Open(conn, QStringLiteral("SELECT id,num,memo FROM account ORDER BY id")));
    const std::pair<int, const char *> expected[] = {{100, "改"}, {500, ""}, {300, ""}};
    for (const auto &[num, memo] : expected) {
        EXPECT_EQ(back.Field(QStringLiteral("num")), MakeLong(num));
        EXPECT_EQ(back.Field(QStringLiteral("memo")).ToText(), QString::fromUtf8(memo));
        back.MoveNext();
    }
    // a cancelled edit leaves the row as it was
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(1)));
    rs.CancelUpdate();
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(500));
}

// Row after row changing the same columns reuses one prepared statement: every row must still get
// its own values, a failed write must not spoil the next one, and a set reopened on another table
// must not write through the statement of the first.
TEST_F(RecordSetTest, RepeatedEditsOfTheSameColumnsEachReachTheirRow)
{
    AddAccounts(4);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account ORDER BY id")));
    // a column changed on one row only must not be carried to the next
    ASSERT_TRUE(rs.Set(QStringLiteral("memo"), MakeString(QStringLiteral("first"))));
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(11)));
    ASSERT_TRUE(rs.Update());
    for (int k = 2; k <= 4; ++k) {
        ASSERT_TRUE(rs.MoveNext());
        ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(k * 11)));
        ASSERT_TRUE(rs.Update());
    }
    // the third row vanishes behind the set's back: its write fails, the fourth's still works
    ASSERT_TRUE(conn.Execute(QStringLiteral("DELETE FROM account WHERE num=33")));
    ASSERT_TRUE(rs.SetAbsolutePosition(3));
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(333)));
    EXPECT_FALSE(rs.Update());
    rs.CancelUpdate();
    ASSERT_TRUE(rs.SetAbsolutePosition(4));
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(444)));
    ASSERT_TRUE(rs.Update());
    // a new column added meanwhile does not disturb the kept statement
    ASSERT_TRUE(conn.Execute(QStringLiteral("ALTER TABLE account ADD COLUMN extra INTEGER")));
    ASSERT_TRUE(rs.SetAbsolutePosition(2));
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(222)));
    ASSERT_TRUE(rs.Update());

    RecordSet back;
    ASSERT_TRUE(back.Open(conn, QStringLiteral("SELECT num,memo FROM account ORDER BY id")));
    const std::pair<int, const char *> expected[] = {{11, "first"}, {222, ""}, {444, ""}};
    ASSERT_EQ(back.RecordCount(), 3);
    for (const auto &[num, memo] : expected) {
        EXPECT_EQ(back.Field(QStringLiteral("num")), MakeLong(num));
        EXPECT_EQ(back.Field(QStringLiteral("memo")).ToText(), QString::fromUtf8(memo));
        back.MoveNext();
    }

    // the same set reopened on another table writes there
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM 参数")));
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.Set(QStringLiteral("Var"), MakeString(QStringLiteral("k"))));
    ASSERT_TRUE(rs.Update());
    ASSERT_TRUE(rs.Set(QStringLiteral("Var"), MakeString(QStringLiteral("k2"))));
    ASSERT_TRUE(rs.Update());
    EXPECT_EQ(CountOf(QStringLiteral("SELECT * FROM 参数 WHERE Var='k2'")), 1);
    EXPECT_EQ(CountOf(QStringLiteral("SELECT * FROM account")), 3);
}

// Rows added one after another with the same columns reuse one prepared statement: each must get
// its own values and its own id read back at once, also after a failed insert, with another set of
// columns, and after a column was added to the table.
TEST_F(RecordSetTest, RowsAddedOneAfterAnotherEachGetTheirValuesAndId)
{
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE FALSE")));
    auto add = [&rs](const QString &code, const Value &num) {
        if (!rs.AddNew() || !rs.Set(QStringLiteral("code"), MakeString(code)))
            return false;
        if (!num.IsEmpty() && !rs.Set(QStringLiteral("num"), num))
            return false;
        const bool ok = rs.Update();
        if (!ok)
            rs.CancelUpdate();
        return ok;
    };
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(add(QStringLiteral("60000%1").arg(i), MakeLong(i * 100)));
        EXPECT_EQ(rs.Field(QStringLiteral("id")), MakeLong(i));
        EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(i * 100));
    }
    // a row the table refuses leaves the next one unharmed
    ASSERT_TRUE(conn.Execute(QStringLiteral("CREATE UNIQUE INDEX account_code_once ON account(code)")));
    EXPECT_FALSE(add(QStringLiteral("600001"), MakeLong(1)));
    ASSERT_TRUE(add(QStringLiteral("600004"), MakeLong(400)));
    EXPECT_EQ(rs.Field(QStringLiteral("code")), MakeString(QStringLiteral("600004")));
    // fewer columns: the others take their defaults
    ASSERT_TRUE(add(QStringLiteral("600005"), MakeEmpty()));
    EXPECT_EQ(rs.Field(QStringLiteral("num")), MakeLong(0));
    // a column added meanwhile
    ASSERT_TRUE(conn.Execute(QStringLiteral("ALTER TABLE account ADD COLUMN extra INTEGER")));
    ASSERT_TRUE(add(QStringLiteral("600006"), MakeLong(600)));
    const int ids = rs.Field(QStringLiteral("id")).num;
    EXPECT_EQ(rs.RecordCount(), 6);

    // the same set reopened on another table adds there
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM DeelRes WHERE FALSE")));
    ASSERT_TRUE(rs.AddNew() && rs.Set(QStringLiteral("dat"), MakeDate(45296)));
    ASSERT_TRUE(rs.Update());
    EXPECT_EQ(rs.Field(QStringLiteral("dat")), MakeDate(45296));

    RecordSet back;
    ASSERT_TRUE(back.Open(conn, QStringLiteral("SELECT id,code,num FROM account ORDER BY id")));
    ASSERT_EQ(back.RecordCount(), 6);
    const std::pair<const char *, int> expected[] = {{"600001", 100}, {"600002", 200}, {"600003", 300},
                                                     {"600004", 400}, {"600005", 0},   {"600006", 600}};
    for (const auto &[code, num] : expected) {
        EXPECT_EQ(back.Field(QStringLiteral("code")).ToText(), QString::fromUtf8(code));
        EXPECT_EQ(back.Field(QStringLiteral("num")), MakeLong(num)) << code;
        back.MoveNext();
    }
    ASSERT_TRUE(back.MoveLast());
    EXPECT_EQ(back.Field(QStringLiteral("id")).num, ids);
    EXPECT_EQ(CountOf(QStringLiteral("SELECT * FROM DeelRes")), 1);
}

TEST_F(RecordSetTest, DeleteFromTheLastBackKeepsTheFirst)
{
    AddAccounts(4);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account WHERE id IN(1,2,3,4) ORDER BY id")));
    ASSERT_TRUE(rs.MoveLast());
    while (rs.RecordCount() > 1) {
        ASSERT_TRUE(rs.Delete());
        EXPECT_FALSE(rs.Get(QStringLiteral("id")).has_value());  // the gap of the deleted row
        ASSERT_TRUE(rs.MovePrevious());
    }
    EXPECT_EQ(rs.Field(QStringLiteral("id")), MakeLong(1));
    EXPECT_EQ(CountOf(QStringLiteral("SELECT * FROM account")), 1);

    // after a delete in the middle, MoveNext goes to the row after it
    AddAccounts(3);
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account ORDER BY id")));
    ASSERT_TRUE(rs.MoveNext());
    const Value after = [&] {
        RecordSet peek;
        peek.Open(conn, QStringLiteral("SELECT * FROM account ORDER BY id"));
        peek.SetAbsolutePosition(3);
        return peek.Field(QStringLiteral("id"));
    }();
    ASSERT_TRUE(rs.Delete());
    ASSERT_TRUE(rs.MoveNext());
    EXPECT_EQ(rs.Field(QStringLiteral("id")), after);
}

TEST_F(RecordSetTest, AnOpenSetDoesNotBlockAnotherConnection)
{
    AddAccounts(3);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account ORDER BY id")));
    DbConnection other;
    ASSERT_TRUE(other.Open(PathOf(QStringLiteral("ACC.MDB"))));
    EXPECT_TRUE(other.Execute(QStringLiteral("UPDATE account SET memo='x'")));
    EXPECT_TRUE(other.Execute(QStringLiteral("INSERT INTO DeelRes(dat) VALUES(#2024-01-05#)")));
    // and the set still writes after the other connection did
    ASSERT_TRUE(rs.Set(QStringLiteral("num"), MakeLong(7)));
    EXPECT_TRUE(rs.Update()) << rs.lastError.text.toStdString();
    EXPECT_EQ(rs.RecordCount(), 3);  // membership fixed at open
}

TEST_F(RecordSetTest, AssignmentConvertsByTheDeclaredType)
{
    AddAccounts(1);
    struct Case {
        const char *field;
        Value value;
        bool accepted;
        Value stored;
    } cases[] = {
        {"num", MakeString(QStringLiteral(" 12 ")), true, MakeLong(12)},
        {"num", MakeDouble(2.5), true, MakeLong(2)},  // halves to even
        {"num", MakeDouble(3.5), true, MakeLong(4)},
        {"num", MakeDouble(2147483647), true, MakeLong(2147483647)},
        {"num", MakeDouble(2147483648.0), false, {}},  // Long overflow
        {"num", MakeString(QStringLiteral("12abc")), false, {}},
        {"num", MakeString(QString()), true, MakeNull()},
        {"bprice", MakeString(QStringLiteral("10.5")), true, MakeDouble(10.5)},
        {"bprice", MakeString(QStringLiteral("ten")), false, {}},
        {"bdate", MakeString(QStringLiteral("2024-1-5")), true, MakeDate(45296)},
        {"bdate", MakeString(QStringLiteral("2024-01-05 12:00:00")), true, MakeDate(45296.5)},
        {"bdate", MakeDouble(45296), true, MakeDate(45296)},
        {"bdate", MakeString(QStringLiteral("5 Jan")), false, {}},
        {"code", MakeLong(1), true, MakeString(QStringLiteral("1"))},
        {"code", MakeString(QStringLiteral("000001")), true, MakeString(QStringLiteral("000001"))},
        {"memo", MakeEmpty(), true, MakeNull()},
        {"sprice", MakeDouble(10.05), true, MakeDouble(10.05)},
        // what no number or date field can hold: infinities, NaN, days beyond the years 100 to 9999
        {"bprice", MakeString(QStringLiteral("nan")), false, {}},
        {"bprice", MakeString(QStringLiteral(" inf")), false, {}},
        {"bprice", MakeDouble(std::numeric_limits<double>::infinity()), false, {}},
        {"aprice", MakeDouble(std::numeric_limits<double>::quiet_NaN()), false, {}},
        {"bdate", MakeDouble(std::numeric_limits<double>::quiet_NaN()), false, {}},
        {"bdate", MakeDouble(1e300), false, {}},
        {"bdate", MakeDouble(2958466), false, {}},
        {"bdate", MakeDouble(2958465.5), true, MakeDate(2958465.5)},  // 9999-12-31 12:00
        {"bdate", MakeDouble(-657434), true, MakeDate(-657434)},      // 0100-01-01
        {"bdate", MakeDouble(-657435), false, {}},
    };
    for (const auto &c : cases) {
        RecordSet rs;
        ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account")));
        const QString field = QString::fromUtf8(c.field);
        const Value before = rs.Field(field);
        EXPECT_EQ(rs.Set(field, c.value), c.accepted) << c.field << " <- " << c.value.ToText().toStdString();
        ASSERT_TRUE(rs.Update());
        RecordSet back;
        ASSERT_TRUE(back.Open(conn, QStringLiteral("SELECT * FROM account")));
        EXPECT_EQ(back.Field(field), c.accepted ? c.stored : before)
            << c.field << " <- " << c.value.ToText().toStdString() << " gave "
            << back.Field(field).ToText().toStdString();
    }
}

TEST_F(RecordSetTest, ReadOnlySetsAndMissingFields)
{
    AddAccounts(2);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT code,SUM(num) AS total FROM account GROUP BY code")));
    EXPECT_FALSE(rs.IsUpdatable());
    EXPECT_FALSE(rs.AddNew());
    EXPECT_FALSE(rs.Set(QStringLiteral("code"), MakeString(QStringLiteral("x"))));
    EXPECT_EQ(rs.Field(QStringLiteral("TOTAL")), MakeLong(100));  // an expression takes its storage class
    EXPECT_FALSE(rs.Get(QStringLiteral("nosuch")).has_value());
    EXPECT_FALSE(rs.lastError.text.isEmpty());
    EXPECT_TRUE(rs.Field(QStringLiteral("nosuch")).IsEmpty());
}

TEST_F(RecordSetTest, SnapshotHoldsTheCurrentRow)
{
    AddAccounts(3);
    RecordSet rs;
    ASSERT_TRUE(rs.Open(conn, QStringLiteral("SELECT * FROM account ORDER BY id")));
    ASSERT_TRUE(rs.SetAbsolutePosition(2));
    ASSERT_TRUE(rs.Set(QStringLiteral("memo"), MakeString(QStringLiteral("m"))));
    const std::vector<Value> copy = rs.Snapshot();
    ASSERT_EQ(copy.size(), 14u);
    EXPECT_EQ(copy[0], MakeLong(2));
    EXPECT_EQ(copy[12], MakeString(QStringLiteral("m")));
    ASSERT_TRUE(rs.MoveFirst());
    EXPECT_EQ(copy[5], MakeLong(200));  // a copy, not a view of the set
    rs.MoveLast();
    rs.MoveNext();
    EXPECT_TRUE(rs.Snapshot().empty());
}

}  // namespace
