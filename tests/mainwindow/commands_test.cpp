// The main window's commands on trade records: quick, partial and merged sells, split, merge and
// delete with their prompts and messages, the asset recomputation each starts, the date presets and
// the check boxes of the grid.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimeZone>
#include <QTreeWidget>

#include "charts/kline.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "mainwindow/forms/commands.h"
#include "mainwindow/forms/mf.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/db.h"
#include "platform/daynum.h"
#include "platform/program_folder.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "storage/grid_ops.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

const TreeNodeRef kStockNode{QStringLiteral("S600000"), QStringLiteral("[600000]浦发银行"), 4};
// The total of a DeelRes row no recomputation has written yet (its cash is 1000, so a rewritten row
// carries that cash on and never has this total).
constexpr double kMarker = -1;
// 22:00 on Sunday 2024-05-19 in New York (summer time, UTC-4) is 10:00 on Monday the 20th in China:
// the market's day is the 20th while the machine's date is still the 19th.
const QDateTime kNewYorkEvening(QDate(2024, 5, 19), QTime(22, 0), QTimeZone(-4 * 3600));

// A record of the book: shares, buy day, sell day ("" open) and sell price.
struct Rec {
    int num;
    const char *bdate;
    const char *sdate;
    double sprice;
};

// A record as the test reads it back: shares, sell price, sell day ("" open), buy day, trade size.
struct Stored {
    int num;
    double sprice;
    QString sdate;
    QString bdate;
    int tnum;
    bool operator==(const Stored &o) const
    {
        return num == o.num && sprice == o.sprice && sdate == o.sdate && bdate == o.bdate && tnum == o.tnum;
    }
};

std::ostream &operator<<(std::ostream &os, const Stored &s)
{
    return os << s.num << " sold " << s.sprice << " " << s.sdate.toStdString() << " bought "
              << s.bdate.toStdString() << " tnum " << s.tnum;
}

// Counts the recomputations of the asset table that show their progress (the commands'; the grid's
// own refresh of today's row shows none).
class RecalcSpy : public IndicatorView {
public:
    void ShowWindow(bool) override {}
    void HideWindow() override {}
    void SetBar(int, int, int) override {}
    void SetMessage(const QString &text) override { recalcs += text.startsWith(QStringLiteral("正在重新统计资产")); }
    void SetTimeText(const QString &) override {}
    int recalcs = 0;
};

class CommandsTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        // 2024-05-20 is a Monday; the market has closed.
        SetClock([] {
            return QDateTime(QDate(2024, 5, 20), QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds));
        });
        ResetFormParamSets();
        ResetCalendar();
        ResetQuoteCache();
        MainWindowHooks() = MFHooks{};
        SetIndicatorView(&spy);
        services.Install();
        services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 2990,
                                                                                3010, 3020, 2980, "2024-05-20"));
        services.SetQuote(QStringLiteral("sh600000"), FakeServices::QuoteFields(QStringLiteral("浦发银行"), 10, 9.9,
                                                                                10.5, 10.6, 9.8, "2024-05-20"));
        ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("1A0001")));
        ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("600000")));
        for (QDate d(2024, 4, 1); d <= QDate(2024, 5, 20); d = d.addDays(1)) {
            if (d.dayOfWeek() > 5)
                continue;
            days << d.toString(Qt::ISODate);
            for (const char *table : {"H_1A0001", "H_600000"})
                Exec(QStringLiteral("INSERT INTO %1(trdat,opprice,clprice,mxprice,mnprice) VALUES(#%2#,10,10,10,10)")
                         .arg(QLatin1String(table), days.back()));
        }
    }
    void TearDown() override
    {
        delete LoadedMF();
        delete LoadedAccEdit();
        delete LoadedStockBuy();
        SetIndicatorView(nullptr);
        SetIndicatorShown(false);
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        SetClock(nullptr);
        ResetQuoteCache();
        ResetCalendar();
        ResetKLineData();
        DbFixture::TearDown();
    }

    // A fresh book of the records (ids from 1), DeelRes marked on every trading day, and the main
    // window showing the stock's records with both filters ticked and the whole date range.
    void Book(const std::vector<Rec> &recs)
    {
        Exec("DELETE FROM account");
        Exec("DELETE FROM DeelRes");
        NativeSql("DELETE FROM sqlite_sequence WHERE name='account'");
        for (const Rec &r : recs)
            Exec(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
                                "VALUES('600000','浦发银行',#%1#,10,%2,%2,10,#%3#,%4)")
                     .arg(QLatin1String(r.bdate))
                     .arg(r.num)
                     .arg(QLatin1String(*r.sdate ? r.sdate : "1900-01-01"))
                     .arg(r.sprice));
        for (const QString &d : days)
            Exec(QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#%1#,1000,0,%2)").arg(d).arg(kMarker));
        mf = MF();
        mf->Chk[0]->setChecked(true);
        mf->Chk[1]->setChecked(true);
        mf->SetDtpRange();
        mf->DTP[0]->setDate(mf->DTP[0]->minimumDate());
        mf->DTP[1]->setDate(QDate(2024, 5, 20));
        mf->ResetChart();
        mf->RebuildTree();
        mf->TV_NodeClick(kStockNode);
        prompter.shown.clear();
        spy.recalcs = 0;
    }
    void NativeSql(const char *sql)
    {
        DbConnection conn;
        ASSERT_TRUE(conn.Open(ProgramFilePath(QStringLiteral("ACC.MDB"))));
        ASSERT_TRUE(conn.ExecuteNative(QString::fromUtf8(sql))) << sql;
    }
    // Selects the grid rows of the records first..last (by id).
    void Select(int first, int last)
    {
        FlexGrid &g = mf->MSF[0]->Grid();
        auto rowOf = [&g](int id) {
            for (int r = g.FixedRows(); r < g.Rows(); ++r)
                if (g.TextMatrix(r, 0) == QString::number(id))
                    return r;
            ADD_FAILURE() << "no row for " << id;
            return 0;
        };
        g.SetRow(rowOf(first));
        g.SetRowSel(rowOf(last));
    }
    // Runs a command answering its input boxes in turn.
    void Run(int index, std::vector<std::optional<QString>> answers)
    {
        prompter.textAnswers.assign(answers.begin(), answers.end());
        mf->Com_Click(index);
    }
    std::vector<Stored> Records()
    {
        std::vector<Stored> out;
        for (int id = 1; id <= 3; ++id) {
            const QStringList f = GetRecordFields(QStringLiteral("account"), QStringLiteral("id=%1").arg(id),
                                                  QStringLiteral("num,sprice,sdate,bdate,tnum"));
            if (f[0] == QLatin1String("num"))
                continue;
            out.push_back({f[0].toInt(), f[1].toDouble(), f[2].startsWith("1900") ? QString() : f[2].left(10),
                           f[3].left(10), f[4].toInt()});
        }
        return out;
    }
    // The first day a command recomputed the asset table from; "" when it did not.
    QString RecalcFrom()
    {
        if (spy.recalcs == 0)
            return QString();
        const Value v = GetFieldValue(QStringLiteral("DeelRes"), QStringLiteral("sm<>-1 ORDER BY dat"),
                                      QStringLiteral("dat"), MakeEmpty());
        return v.IsDate() ? DateText(v.num) : QString();
    }
    // The sell prices the grid shows, in order.
    QStringList GridSellPrices() const
    {
        const FlexGrid &g = mf->MSF[0]->Grid();
        const int col = FindGridColumn(g, 0, QStringLiteral("sprice"));
        QStringList prices;
        for (int r = g.FixedRows(); r < g.Rows(); ++r)
            prices << g.TextMatrix(r, col);
        prices.sort();
        return prices;
    }
    // The key of the tree group that holds the stock's node; "" when the tree has none.
    QString TreeGroupOf600000() const
    {
        QTreeWidgetItem *root = mf->TV->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i)
            for (int k = 0; k < root->child(i)->childCount(); ++k)
                if (root->child(i)->child(k)->data(0, kNodeKeyRole).toString() == QLatin1String("S600000"))
                    return root->child(i)->data(0, kNodeKeyRole).toString();
        return QString();
    }
    QStringList Prompts() const
    {
        QStringList texts;
        for (const PromptRecord &p : prompter.shown)
            if (p.kind == QLatin1String("text"))
                texts << p.text;
        return texts;
    }

    FakeServices services;
    RecalcSpy spy;
    QStringList days;
    MFWindow *mf = nullptr;
};

// The commands on one open record of 1000 shares bought on 2024-04-08: what each answer does to the
// book, the messages, how many prompts were shown and where the asset table was recomputed from.
TEST_F(CommandsTest, SellSplitAndMergeAnswers)
{
    const QString sellPrompt = QStringLiteral("您今天卖出了股票：浦发银行[600000] 1000股？\r\r\r\r确定的话，请输入卖出价格：");
    const Stored open{1000, 0, "", "2024-04-08", 1000};
    const QString today = QStringLiteral("2024-05-20");
    struct Case {
        int command;
        std::vector<std::optional<QString>> answers;
        std::vector<Stored> after;
        QStringList messages;
        int prompts;
        QString recalcFrom;
        QDate windowEnd = QDate(2024, 5, 20);  // the last day of the main window's date window
        bool newYork = false;                  // the clock at kNewYorkEvening
    };
    // A window that ended before the buy (saved on an earlier day) ends today once the record is sold.
    const QDate before = QDate(2024, 4, 1);
    const Case cases[] = {
        // partial sell
        {9, {"1000", "12.5"}, {{1000, 12.5, today, "2024-04-08", 1000}}, {}, 2, "2024-04-08"},
        {9, {"1001"}, {open}, {"错误：部分卖出股票数量不能大于原买入股票数量！"}, 1, ""},
        {9, {"300", "12.5"},
         {{300, 12.5, today, "2024-04-08", 1000}, {700, 0, "", "2024-04-08", 1000}}, {}, 2, "2024-04-08"},
        {9, {"0.4"}, {open}, {}, 1, ""},
        {9, {"999.5", "12.5"}, {{1000, 12.5, today, "2024-04-08", 1000}}, {}, 2, "2024-04-08"},
        {9, {"300", std::nullopt}, {open}, {}, 2, ""},
        {9, {"1,000", "12.5"}, {{1000, 12.5, today, "2024-04-08", 1000}}, {}, 2, "2024-04-08"},
        {9, {"300", "1e3"}, {open}, {}, 2, ""},
        {9, {"300", "12.5"},
         {{300, 12.5, today, "2024-04-08", 1000}, {700, 0, "", "2024-04-08", 1000}}, {}, 2, "2024-04-08", before},
        {9, {"300", "12.5"},
         {{300, 12.5, today, "2024-04-08", 1000}, {700, 0, "", "2024-04-08", 1000}}, {}, 2, "2024-04-08", before,
         true},
        // split
        {12, {"1000"}, {open}, {"被拆分后的股票数量必须小于原交易股票数量【1000】！"}, 1, ""},
        {12, {"400"}, {{400, 0, "", "2024-04-08", 1000}, {600, 0, "", "2024-04-08", 1000}}, {}, 1, ""},
        {12, {"0.4"}, {open}, {}, 1, ""},
        {12, {"1,000"}, {open}, {"被拆分后的股票数量必须小于原交易股票数量【1000】！"}, 1, ""},
        // quick sell
        {3, {std::nullopt}, {open}, {}, 1, ""},
        {3, {""}, {open}, {}, 1, ""},
        {3, {"abc"}, {open}, {}, 1, ""},
        {3, {"10,5"}, {open}, {}, 1, ""},
        {3, {"1000000"}, {open}, {}, 1, ""},
        {3, {"10.5"}, {{1000, 10.5, today, "2024-04-08", 1000}}, {}, 1, today},
        {3, {"10.5"}, {{1000, 10.5, today, "2024-04-08", 1000}}, {}, 1, today, before},
        {3, {std::nullopt}, {open}, {}, 1, "", before},
        {3, {"10.5"}, {{1000, 10.5, today, "2024-04-08", 1000}}, {}, 1, today, before, true},
        // one row selected
        {8, {"12"}, {open}, {"请选中需要合并卖出的多条交易！"}, 0, ""},
        {20, {}, {open}, {"请选中需要合并的多条交易！"}, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.command << " " << (c.answers.empty() ? "-" : c.answers[0].value_or("cancel").toStdString())
                     << " to " << c.windowEnd.toString(Qt::ISODate).toStdString() << (c.newYork ? " NY" : ""));
        const QDateTime now = c.newYork
                                  ? kNewYorkEvening
                                  : QDateTime(QDate(2024, 5, 20), QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds));
        SetClock([now] { return now; });
        Book({{1000, "2024-04-08", "", 0}});
        if (c.windowEnd < QDate(2024, 4, 8)) {
            // An older trade of another stock (id 0: new records still take 2 and on) lets the window end
            // before the buy.
            Exec("INSERT INTO account(id,code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
                 "VALUES(0,'000001','平安银行',#2024-03-01#,10,100,100,10,#2024-03-05#,11)");
            mf->SetDtpRange();
        }
        mf->DTP[1]->setDate(c.windowEnd);
        Select(1, 1);
        Run(c.command, c.answers);
        EXPECT_EQ(Records(), c.after);
        EXPECT_EQ(prompter.Messages(), c.messages);
        EXPECT_EQ(Prompts().size(), static_cast<size_t>(c.prompts));
        EXPECT_EQ(RecalcFrom(), c.recalcFrom);
        // The chart, the grid and the tree show the records as they are now.
        EXPECT_EQ(KLineData().TradeCount(), static_cast<int>(c.after.size()));
        QStringList prices;
        bool held = false;
        for (const Stored &r : c.after) {
            prices << (r.sprice > 0 ? QString::number(r.sprice, 'f', 2) : QString());
            held = held || r.sprice == 0;
        }
        prices.sort();
        EXPECT_EQ(GridSellPrices(), prices);
        EXPECT_EQ(TreeGroupOf600000(), held ? "C0" : "C2");
        EXPECT_EQ(mf->DTP[1]->date(), c.recalcFrom.isEmpty() ? c.windowEnd : QDate(2024, 5, 20));
        if (c.command == 3) {
            EXPECT_EQ(Prompts(), QStringList{sellPrompt});
        }
        EXPECT_TRUE(mf->MSF[0]->isEnabled());
    }
}

// Selling a record that was sold before recomputes from its old sell day, which the table counted;
// merge-sell sells all selected records or, when one of them cannot be written, none.
TEST_F(CommandsTest, ResellsRecomputeFromTheOldSaleAndMergeSellIsWhole)
{
    const QString today = QStringLiteral("2024-05-20");
    // 1: open, bought 04-16; 2: bought 04-08, sold 04-15 at 11.
    const std::vector<Rec> book = {{1000, "2024-04-16", "", 0}, {500, "2024-04-08", "2024-04-15", 11}};

    Book(book);
    Select(2, 2);
    Run(3, {"12"});
    EXPECT_EQ(Records()[1], (Stored{500, 12, today, "2024-04-08", 500}));
    EXPECT_EQ(RecalcFrom(), "2024-04-15");

    Book(book);
    Select(1, 2);
    Run(8, {"12"});
    EXPECT_EQ(Prompts(), QStringList{"请输入卖出的成交价："});
    EXPECT_EQ(Records(), (std::vector<Stored>{{1000, 12, today, "2024-04-16", 1000}, {500, 12, today, "2024-04-08", 500}}));
    EXPECT_EQ(RecalcFrom(), "2024-04-15");

    // No price: nothing sold, the grid still refreshed.
    Book(book);
    Select(1, 2);
    int refreshes = 0;
    MainWindowHooks().nodeClick = [&refreshes](const std::optional<TreeNodeRef> &) { ++refreshes; };
    Run(8, {"0"});
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(Records()[0].sprice, 0);
    EXPECT_EQ(RecalcFrom(), "");
    MainWindowHooks().nodeClick = nullptr;

    // Rows of two stocks are not sold at the one price proposed for the current row's stock.
    Book(book);
    Exec("UPDATE account SET code='000001' WHERE id=2");
    Select(1, 2);
    Run(8, {"12"});
    EXPECT_EQ(prompter.Messages(), QStringList{"不能合并卖出不同股票的交易记录！"});
    EXPECT_TRUE(Prompts().isEmpty());
    EXPECT_EQ(Records()[0].sprice, 0);
    EXPECT_EQ(Records()[1].sprice, 11);
    EXPECT_EQ(RecalcFrom(), "");

    // A split that cannot be written sells nothing.
    Book(book);
    NativeSql("CREATE TRIGGER no_new_record BEFORE INSERT ON account BEGIN SELECT RAISE(ABORT,'refused'); END");
    Select(1, 1);
    Run(9, {"300", "12"});
    EXPECT_EQ(Records()[0], (Stored{1000, 0, "", "2024-04-16", 1000}));
    EXPECT_EQ(RecalcFrom(), "");
    NativeSql("DROP TRIGGER no_new_record");

    Book(book);
    NativeSql("CREATE TRIGGER no_resale BEFORE UPDATE OF sprice ON account WHEN OLD.id=2 "
              "BEGIN SELECT RAISE(ABORT,'refused'); END");
    Select(1, 2);
    Run(8, {"12"});
    EXPECT_EQ(Records()[0].sprice, 0);
    EXPECT_EQ(Records()[1].sprice, 11);
    EXPECT_EQ(RecalcFrom(), "");
    EXPECT_FALSE(LogText().isEmpty());
    NativeSql("DROP TRIGGER no_resale");

    // A sale on a Saturday is stored as it is: the asset table counts it on the next trading day.
    SetClock([] { return QDateTime(QDate(2024, 5, 18), QTime(10, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
    Book(book);
    Select(1, 1);
    Run(3, {"12"});
    EXPECT_EQ(Records()[0], (Stored{1000, 12, "2024-05-18", "2024-04-16", 1000}));
    EXPECT_TRUE(prompter.Messages().isEmpty());

    // In New York's evening the market's day has begun: a merged sale is dated by it.
    SetClock([] { return kNewYorkEvening; });
    Book(book);
    Select(1, 2);
    Run(8, {"12"});
    EXPECT_EQ(Records(),
              (std::vector<Stored>{{1000, 12, today, "2024-04-16", 1000}, {500, 12, today, "2024-04-08", 500}}));
}

// Delete asks first, then removes the records and recomputes from the earliest buy; a DELETE the
// database refuses says so and brings the rows back.
TEST_F(CommandsTest, DeleteRemovesRecordsOrBringsTheRowsBack)
{
    const std::vector<Rec> book = {{1000, "2024-04-16", "", 0}, {500, "2024-04-08", "", 0}, {200, "2024-04-22", "", 0}};
    Book(book);
    const FlexGrid &g = mf->MSF[0]->Grid();
    const int rows = g.Rows();

    Select(1, 2);
    prompter.messageAnswers = {Msg::No};
    mf->Com_Click(2);
    EXPECT_EQ(Records().size(), 3u);
    EXPECT_EQ(g.Rows(), rows);

    prompter.shown.clear();
    prompter.messageAnswers = {Msg::Yes};
    int refreshes = 0;
    MainWindowHooks().nodeClick = [&refreshes](const std::optional<TreeNodeRef> &) { ++refreshes; };
    mf->Com_Click(2);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].num, 200);
    EXPECT_EQ(g.Rows(), rows - 2);
    EXPECT_EQ(RecalcFrom(), "2024-04-08");
    EXPECT_EQ(refreshes, 1) << "grid, status line and chart refreshed";
    // The last record gone, the stock leaves the tree and the root is shown.
    Select(3, 3);
    prompter.messageAnswers = {Msg::Yes};
    mf->Com_Click(2);
    EXPECT_EQ(TreeGroupOf600000(), "");
    ASSERT_TRUE(mf->CurrentNode);
    EXPECT_EQ(mf->CurrentNode->key, "");
    MainWindowHooks().nodeClick = nullptr;

    Book(book);
    NativeSql("CREATE TRIGGER keep BEFORE DELETE ON account BEGIN SELECT RAISE(ABORT,'kept'); END");
    Select(1, 3);
    prompter.messageAnswers = {Msg::Yes};
    mf->Com_Click(2);
    EXPECT_EQ(prompter.Messages().size(), 2);
    EXPECT_EQ(prompter.Messages().back(), "删除交易记录失败！");
    EXPECT_EQ(Records().size(), 3u);
    EXPECT_EQ(mf->MSF[0]->Grid().Rows(), rows);
    EXPECT_EQ(RecalcFrom(), "");
    NativeSql("DROP TRIGGER keep");
}

// The date presets set the window from a first day (never before the earliest buy) to today and then
// refresh; the edit, add and quick-buy commands show their windows.
TEST_F(CommandsTest, PresetsAndWindows)
{
    Book({{1000, "2024-04-08", "", 0}});
    int refreshes = 0;
    MainWindowHooks().nodeClick = [&refreshes](const std::optional<TreeNodeRef> &) { ++refreshes; };
    struct Case {
        QDate minDate;
        int command;
        QDate first;
    };
    const Case cases[] = {
        {{2020, 1, 1}, 14, {2020, 1, 1}}, {{2020, 1, 1}, 15, {2024, 1, 1}}, {{2020, 1, 1}, 16, {2024, 5, 1}},
        {{2020, 1, 1}, 17, {2023, 5, 21}}, {{2020, 1, 1}, 18, {2024, 4, 21}}, {{2024, 3, 1}, 15, {2024, 3, 1}},
        {{2024, 5, 10}, 16, {2024, 5, 10}},
    };
    // The market's day is today, also in New York's evening before it.
    for (const QDateTime &now : {QDateTime(QDate(2024, 5, 20), QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds)),
                                 kNewYorkEvening}) {
        SetClock([now] { return now; });
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.command << " at " << now.toString(Qt::ISODate).toStdString());
            mf->DTP[0]->setMinimumDate(c.minDate);
            mf->DTP[1]->setDate(QDate(2024, 5, 1));
            refreshes = 0;
            mf->Com_Click(c.command);
            EXPECT_EQ(mf->DTP[0]->date(), c.first);
            EXPECT_EQ(mf->DTP[1]->date(), QDate(2024, 5, 20));
            EXPECT_EQ(refreshes, 1);
        }
    }
    EXPECT_EQ(GetParam(QStringLiteral("当前结点")), QString::number(mf->CurrentNode->index));

    // Edit without a data row only shows the editor; with one it loads the row's record.
    mf->MSF[0]->Grid().SetRow(0);
    mf->Com_Click(1);
    ASSERT_NE(LoadedAccEdit(), nullptr);
    EXPECT_TRUE(LoadedAccEdit()->isVisible());
    EXPECT_EQ(LoadedAccEdit()->ID->text(), "");
    Select(1, 1);
    mf->Com_Click(1);
    EXPECT_EQ(LoadedAccEdit()->ID->text(), "1");
    // Adding while a record is loaded starts a new entry, so the next save cannot replace that record;
    // an entry being typed stays.
    mf->Com_Click(0);
    EXPECT_TRUE(LoadedAccEdit()->IsNewRecordMode());
    EXPECT_TRUE(LoadedAccEdit()->TT[0]->isEnabled());
    LoadedAccEdit()->SetTTText(2, "300");
    mf->Com_Click(0);
    EXPECT_EQ(LoadedAccEdit()->TTText(2), "300");

    mf->Com_Click(10);
    ASSERT_NE(LoadedStockBuy(), nullptr);
    EXPECT_EQ(LoadedStockBuy()->TTText(0), "600000");
}

// A click that unticks the last of "待卖的股票" and "已卖的股票" ticks the other again and the grid
// shows that one's records; a disabled box does nothing.
TEST_F(CommandsTest, CheckBoxesKeepOneOfHeldAndSold)
{
    Book({{1000, "2024-04-08", "", 0}, {500, "2024-04-08", "2024-04-15", 11}});
    const FlexGrid &g = mf->MSF[0]->Grid();
    mf->Chk[0]->click();  // held off: sold records only
    EXPECT_FALSE(mf->Chk[0]->isChecked());
    ASSERT_EQ(g.Rows(), g.FixedRows() + 1);
    EXPECT_EQ(g.TextMatrix(g.FixedRows(), 0), "2");

    mf->Chk[1]->click();  // sold off as well: held comes back
    EXPECT_FALSE(mf->Chk[1]->isChecked());
    EXPECT_TRUE(mf->Chk[0]->isChecked());
    ASSERT_EQ(g.Rows(), g.FixedRows() + 1);
    EXPECT_EQ(g.TextMatrix(g.FixedRows(), 0), "1");

    mf->Chk[1]->setChecked(true);
    mf->Chk[1]->setEnabled(false);
    mf->Chk_Click(1);
    EXPECT_EQ(g.Rows(), g.FixedRows() + 1);
}

TEST(WholeIdList, KeepsOnlyWholeNumbers)
{
    EXPECT_EQ(WholeIdList("12,15"), "12,15");
    EXPECT_EQ(WholeIdList(" 7 ,x,1.5,,3;DROP TABLE account,-0,42"), "7,0,42");
    EXPECT_EQ(WholeIdList(""), "");
}

}  // namespace
