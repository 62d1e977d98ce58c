// Splitting and merging trade records (fees shared by trade size, failed writes that must leave the
// shares where they were, the merge's refusals) and the proposed purchase quantity.
#include <gtest/gtest.h>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "records/records_hooks.h"
#include "records/split_merge.h"
#include "storage/sys_params.h"

namespace {

// Monday, Wednesday and Thursday of the week of 4 March 2024 as day numbers (constants, so that the
// tables below need no date conversion while statics are set up).
constexpr double kMon = 45355;
constexpr double kWed = kMon + 2;
constexpr double kThu = kMon + 3;

QString Lit(double day)
{
    return QStringLiteral("#") + DateText(day) + QStringLiteral("#");
}

struct Rec {
    long num = 1000;
    long tnum = 1000;
    QString memo = QString();
    QString code = QStringLiteral("600000");
    double bprice = 10.00;
    double sprice = 0;
    double bdate = kMon;
    double sdate = kEmptyDate;
};

class SplitMergeTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        ASSERT_EQ(DayNumberOf(2024, 3, 4), kMon);
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        ResetCalendar();
        ResetQuoteCache();
        services.Install();
        const QDateTime now(QDate(2024, 3, 9), QTime(10, 0));  // a Saturday: no quote is asked for
        SetClock([now] { return now; });
        RecordsWindowHooks().refreshCurrentNode = [this] { ++refreshes; };
        // The trading week and the closes of the stocks the records name.
        for (const QString &code : {QStringLiteral("1A0001"), QStringLiteral("600000"), QStringLiteral("000001")}) {
            ASSERT_TRUE(EnsureHistoryTable(code));
            for (int d = 4; d <= 8; ++d)
                Exec(QStringLiteral("INSERT INTO H_%1(trdat,clprice) VALUES(%2,%3)")
                         .arg(code, Lit(DayNumberOf(2024, 3, d)))
                         .arg(10 + d * 0.1));
        }
    }
    void TearDown() override
    {
        RecordsWindowHooks() = RecordsHooks{};
        ResetCalendar();
        ResetQuoteCache();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        DbFixture::TearDown();
    }

    // Inserts a record as written (tnum 0 stays 0, amounts not computed) and returns its id.
    long Add(const Rec &r)
    {
        Exec(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice,memo,sid) "
                            "VALUES('%1','浦发银行',%2,%3,%4,%5,%6,%7,'%8',7)")
                 .arg(r.code, Lit(r.bdate))
                 .arg(r.bprice)
                 .arg(r.num)
                 .arg(r.tnum)
                 .arg(Lit(r.sdate))
                 .arg(r.sprice)
                 .arg(r.memo));
        return static_cast<long>(MaxId());
    }
    long AddWithAmounts(const Rec &r)
    {
        const long id = Add(r);
        EXPECT_TRUE(RecalcTradeAmounts(MakeLong(id)));
        return id;
    }
    // Runs a statement in SQLite's own dialect (a trigger).
    void Native(const QString &sql)
    {
        DbConnection conn;
        ASSERT_TRUE(OpenConn(conn));
        ASSERT_TRUE(conn.ExecuteNative(sql)) << conn.lastError.text.toStdString();
    }
    double MaxId() { return GetFieldValue("account", "TRUE ORDER BY id DESC", "id", MakeLong(0)).ToDouble(); }
    Value FieldOf(long id, const QString &field)
    {
        return GetFieldValue("account", QStringLiteral("id=%1").arg(id), field, MakeEmpty());
    }
    double Num(long id, const QString &field) { return FieldOf(id, field).ToDouble(); }
    // Every record, field by field, in id order: for "nothing changed".
    QStringList Table()
    {
        DbConnection conn;
        RecordSet rs;
        QStringList rows;
        EXPECT_TRUE(OpenRs(conn, rs, "SELECT * FROM account ORDER BY id"));
        for (; !rs.AtEOF(); rs.MoveNext()) {
            QStringList cells;
            for (const Value &v : rs.Snapshot())
                cells << v.ToText();
            rows << cells.join('|');
        }
        CloseRs(conn, rs);
        return rows;
    }

    FakeServices services;
    int refreshes = 0;
};

}  // namespace

TEST_F(SplitMergeTest, SplitSharesTheFeesOfOneTrade)
{
    // 1000 at 10.00 with the 5.00 minimum: pieces of 100 and 900 pay 0.50 and 4.50 of it.
    for (const bool callersSet : {false, true}) {
        SCOPED_TRACE(callersSet ? "caller's set" : "own set");
        Exec("DELETE FROM account");
        const long before = AddWithAmounts({.num = 500, .bdate = kMon - 3});
        const long id = AddWithAmounts({.memo = QStringLiteral("m")});
        EXPECT_DOUBLE_EQ(Num(id, "bcash"), 10005.00);
        DbConnection conn;
        RecordSet rs;
        if (callersSet) {
            // The import's set: every open record of the stock, standing on the second.
            ASSERT_TRUE(OpenRs(conn, rs, "SELECT * FROM account WHERE code='600000' AND sprice=0 ORDER BY bdate"));
            rs.MoveNext();
            EXPECT_TRUE(SplitAccRec(0, 100, &rs));
            EXPECT_EQ(rs.AbsolutePosition(), 2);
            EXPECT_EQ(rs.Field("id").ToDouble(), id);
            EXPECT_EQ(rs.Field("num").ToDouble(), 100);
            EXPECT_EQ(rs.RecordCount(), 3);
            CloseRs(conn, rs);
        } else {
            EXPECT_TRUE(SplitAccRec(id, 100));
        }
        const long added = static_cast<long>(MaxId());
        ASSERT_NE(added, id);
        EXPECT_EQ(Num(id, "num"), 100);
        EXPECT_EQ(Num(added, "num"), 900);
        EXPECT_EQ(Num(id, "tnum"), 1000);
        EXPECT_EQ(Num(added, "tnum"), 1000);
        EXPECT_DOUBLE_EQ(Num(id, "bcash"), 1000.50);
        EXPECT_DOUBLE_EQ(Num(added, "bcash"), 9004.50);
        EXPECT_DOUBLE_EQ(Num(id, "scash"), -1.50);  // 15.00 of estimated sell fees, shared out
        EXPECT_DOUBLE_EQ(Num(added, "scash") + Num(id, "scash"), -15.00);
        for (const char *field : {"code", "sname", "bdate", "bprice", "sdate", "sprice", "memo", "sid", "aprice"})
            EXPECT_EQ(FieldOf(added, field).ToText(), FieldOf(id, field).ToText()) << field;
        EXPECT_EQ(Num(before, "num"), 500);
    }

    // Nothing to split: the counts that would leave a side without shares, and a missing record.
    Exec("DELETE FROM account");
    const long id = AddWithAmounts({});
    const QStringList table = Table();
    for (const auto &[splitId, n] :
         std::vector<std::pair<long, long>>{{id, 1000}, {id, 1200}, {id, 0}, {id, -5}, {id + 1, 100}}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(SplitAccRec(splitId, n));
        EXPECT_EQ(Table(), table);
    }
    EXPECT_TRUE(SplitAccRec(id, 999));  // one share left on the new record
    EXPECT_EQ(Num(static_cast<long>(MaxId()), "num"), 1);

    // A record whose trade size was never set counts as one trade of its shares.
    Exec("DELETE FROM account");
    const long unsized = Add({.tnum = 0});
    EXPECT_TRUE(SplitAccRec(unsized, 400));
    EXPECT_EQ(Num(unsized, "tnum"), 1000);
    EXPECT_EQ(Num(static_cast<long>(MaxId()), "tnum"), 1000);
    EXPECT_DOUBLE_EQ(Num(unsized, "bcash"), 4002.00);
    EXPECT_DOUBLE_EQ(Num(static_cast<long>(MaxId()), "bcash"), 6003.00);
    EXPECT_EQ(LogEntryCount(), 0);
}

TEST_F(SplitMergeTest, FailedWriteKeepsEveryShare)
{
    struct Case {
        const char *trigger;  // the body is a RAISE(ABORT,'refused')
        bool merge;           // merge the three records, or split the first
    };
    const Case cases[] = {
        {"BEFORE INSERT ON account", false},
        {"BEFORE UPDATE OF bcash ON account WHEN NEW.num=900", false},  // the new piece's amounts
        {"BEFORE DELETE ON account WHEN OLD.num=600", true},             // the first delete
        {"BEFORE UPDATE OF num ON account", true},                       // after both deletes
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.trigger);
        Exec("DELETE FROM account");
        const long a = AddWithAmounts({});
        const long b = AddWithAmounts({.num = 300});
        const long d = AddWithAmounts({.num = 600});
        const QStringList table = Table();
        const int logged = LogEntryCount();
        Native(QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT,'refused'); END").arg(c.trigger));
        EXPECT_FALSE(c.merge ? MergeTradeRecs(QStringLiteral("%1,%2,%3").arg(a).arg(b).arg(d)) : SplitAccRec(a, 100));
        Exec("DROP TRIGGER refuse");
        EXPECT_EQ(Table(), table);
        EXPECT_EQ(LogEntryCount(), logged + 1);
        EXPECT_TRUE(LogText().contains("refused"));
    }
    EXPECT_EQ(refreshes, 0);

    // Inside a caller's transaction the split is part of it: the caller's rollback undoes it.
    Exec("DELETE FROM account");
    const long id = AddWithAmounts({});
    const QStringList table = Table();
    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT * FROM account WHERE id=%1").arg(id)));
    ASSERT_TRUE(conn.Begin());
    EXPECT_TRUE(SplitAccRec(id, 300, &rs));
    conn.Rollback();
    CloseRs(conn, rs);
    EXPECT_EQ(Table(), table);
}

TEST_F(SplitMergeTest, MergeSumsSharesAndKeepsTheTradeSize)
{
    struct Case {
        const char *what;
        std::vector<Rec> recs;
        long num, tnum;
        QString memo;
        double bcash;
    };
    const Case cases[] = {
        {"two pieces of one trade", {{100, 1000, "a"}, {900, 1000, "b"}}, 1000, 1000, "ab ", 10005.00},
        {"three pieces of one trade", {{100, 1000, "a"}, {300, 1000}, {600, 1000, "c"}}, 1000, 1000, "ac ", 10005.00},
        // Each trade paid its own minimum: the merged record pays both.
        {"two trades of one size", {{1000, 1000}, {1000, 1000}}, 2000, 1000, "", 20010.00},
        // Trade sizes never set count as the shares.
        {"two unsized trades", {{300, 0, "x"}, {300, 0, "y"}}, 600, 300, "xy ", 6010.00},
        // Different sizes: the sizes of the later records; 5.00 × 600 / 500.
        {"different sizes", {{100, 1000, "a"}, {500, 500}}, 600, 500, "a", 6006.00},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Exec("DELETE FROM account");
        QStringList ids;
        for (const Rec &r : c.recs)
            ids.prepend(QString::number(Add(r)));  // the highest id first: the lowest is still the one kept
        const long kept = ids.last().toLong();
        const int refreshed = refreshes;
        EXPECT_TRUE(MergeTradeRecs(ids.join(',')));
        EXPECT_EQ(Table().size(), 1);
        EXPECT_EQ(Num(kept, "num"), c.num);
        EXPECT_EQ(Num(kept, "tnum"), c.tnum);
        EXPECT_EQ(FieldOf(kept, "memo").ToText(), c.memo);
        EXPECT_NEAR(Num(kept, "bcash"), c.bcash, 1e-9);
        EXPECT_EQ(refreshes, refreshed + 1);
    }
    EXPECT_TRUE(prompter.Messages().isEmpty());
    EXPECT_EQ(LogEntryCount(), 0);
}

TEST_F(SplitMergeTest, MergeOfASplitRewritesTheAssetsFromTheBuyDate)
{
    AddWithAmounts({.code = QStringLiteral("000001")});  // gives the table rows from Monday on
    const long id = AddWithAmounts({.memo = QStringLiteral("a"), .bdate = kWed});
    RecalcDeelRes(kEmptyDate, false);
    ASSERT_TRUE(SplitAccRec(id, 100));
    const long piece = static_cast<long>(MaxId());
    Exec(QStringLiteral("UPDATE account SET memo='b' WHERE id=%1").arg(piece));
    // Marks on a row before the buy date and one after it: only the later is computed anew.
    Exec("UPDATE DeelRes SET sm=1 WHERE dat=#2024-03-05#");
    const double thursday = GetFieldValue("DeelRes", "dat=" + Lit(kThu), "sm", MakeEmpty()).ToDouble();
    Exec("UPDATE DeelRes SET sm=1 WHERE dat=#2024-03-07#");

    EXPECT_TRUE(MergeTradeRecs(QStringLiteral("%1,%2").arg(id).arg(piece)));
    EXPECT_EQ(Num(id, "num"), 1000);
    EXPECT_EQ(Num(id, "tnum"), 1000);
    EXPECT_EQ(FieldOf(id, "memo").ToText(), "ab ");
    EXPECT_DOUBLE_EQ(Num(id, "bcash"), 10005.00);
    EXPECT_TRUE(FieldOf(piece, "id").IsEmpty());
    EXPECT_DOUBLE_EQ(GetFieldValue("DeelRes", "dat=#2024-03-05#", "sm", MakeEmpty()).ToDouble(), 1);
    EXPECT_DOUBLE_EQ(GetFieldValue("DeelRes", "dat=#2024-03-07#", "sm", MakeEmpty()).ToDouble(), thursday);
    // Two records of 1000 bought for 10005.00 each, held at Thursday's close of 10.70.
    EXPECT_NEAR(thursday, 200000 - 2 * 10005.00 + 2 * 10700, 1e-6);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(LogEntryCount(), 0);
}

TEST_F(SplitMergeTest, MergeRefusesRecordsOfDifferentTrades)
{
    // A sold record, and records that differ from it in one field or two.
    const Rec base{.sprice = 11.00, .sdate = kThu};
    struct Case {
        std::vector<Rec> recs;
        QString message;  // "" for no message
    };
    const Case cases[] = {
        {{base, {.code = "000001", .sprice = 11.00, .sdate = kThu}}, "不能合并不同股票的交易记录！"},
        {{base, {.bprice = 10.01, .sprice = 11.00, .sdate = kThu}}, "不能合并不同价格买入的交易记录！"},
        {{base, {.sprice = 11.01, .sdate = kThu}}, "不能合并不同价格卖出的交易记录！"},
        {{base, {.sprice = 11.00, .bdate = kMon + 1, .sdate = kThu}}, "不能合并不同日期买入的交易记录！"},
        {{base, {.sprice = 11.00, .sdate = kThu + 1}}, "不能合并不同日期卖出的交易记录！"},
        // Only the first difference in the order of the checks is shown.
        {{base, {.bprice = 9, .sprice = 11.00, .bdate = kMon - 1, .sdate = kThu}}, "不能合并不同价格买入的交易记录！"},
        // A matching second record does not hide a third that differs (an open one).
        {{base, base, {}}, "不能合并不同价格卖出的交易记录！"},
        {{base}, ""},  // one existing id
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        Exec("DELETE FROM account");
        QStringList ids;
        for (const Rec &r : c.recs)
            ids << QString::number(Add(r));
        ids << QStringLiteral("99999");
        const QStringList table = Table();
        prompter.shown.clear();
        EXPECT_FALSE(MergeTradeRecs(ids.join(',')));
        EXPECT_EQ(prompter.Messages(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        if (!prompter.shown.empty()) {
            EXPECT_EQ(prompter.shown[0].style, Msg::OkOnly);
        }
        EXPECT_EQ(Table(), table);
    }
    EXPECT_EQ(refreshes, 0);
    EXPECT_EQ(LogEntryCount(), 0);
}

TEST_F(SplitMergeTest, SuggestedQuantityInWholeHundreds)
{
    struct Case {
        const char *what;
        std::vector<Rec> recs;
        double multiple;
        double price;
        long expected;
    };
    const Rec sold{.num = 5000, .sprice = 12, .bdate = kThu, .sdate = kThu};
    const Case cases[] = {
        {"new stock at 10.00: 7.5 % of 200000", {}, 1, 10.00, 1500},
        {"450.04 cut to 400", {}, 1, 33.33, 400},
        {"held 300 × 1", {{.num = 300}}, 1, 10.00, 300},
        {"held 300 × 1.5", {{.num = 300}}, 1.5, 10.00, 400},
        {"5500 × 1.4 is 7700, not 7699.99…", {{.num = 5500}}, 1.4, 10.00, 7700},
        {"held 100 × 0.5 falls through", {{.num = 100}}, 0.5, 10.00, 1500},
        {"the newest open record counts", {{.num = 300, .bdate = kWed}, {.num = 800, .bdate = kMon}}, 1, 10.00, 300},
        {"a newer sold record is ignored", {{.num = 300, .bdate = kWed}, sold}, 1, 10.00, 300},
        {"same buy date: the later record", {{.num = 800}, {.num = 300}}, 1, 10.00, 300},
        {"another stock's record", {{.num = 300, .code = "000001"}}, 1, 10.00, 1500},
        {"held, no price yet", {{.num = 300}}, 1, 0, 300},
        {"new stock, no price yet", {}, 1, 0, 0},
        {"new stock, negative price", {}, 1, -1, 0},
        {"beyond 32 bits", {}, 1, 1e-9, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Exec("DELETE FROM account");
        for (const Rec &r : c.recs)
            Add(r);
        SetSysParams(200000, 0.0003, c.multiple, 10, 0.075);
        EXPECT_EQ(SuggestBuyNum("600000", c.price), c.expected);
    }
    // A quote in the code is a code like any other.
    EXPECT_EQ(SuggestBuyNum("60'000", 10.00), 1500);
    EXPECT_EQ(LogEntryCount(), 0);
}
