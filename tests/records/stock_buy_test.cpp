// The quick-buy window: lookup and proposals while typing, the capital used, the checks before the
// store, the stored open record with the refreshes that follow, and a failed write.
#include <gtest/gtest.h>

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>

#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "records/record_form_fixture.h"
#include "storage/window_ops.h"

namespace {

class StockBuyTest : public RecordFormTest {
protected:
    // Shows a new window and types the boxes given (null texts are left as the form has them).
    static StockBuyForm *Typed(const QString &code, const QString &num, const QString &price,
                               const QDate &bdate = QDate())
    {
        StockBuyShow(QString());
        StockBuyForm *f = LoadedStockBuy();
        if (!code.isNull())
            f->SetTTText(0, code);
        if (!num.isNull())
            f->SetTTText(2, num);
        if (!price.isNull())
            f->SetTTText(3, price);
        if (bdate.isValid())
            f->DTE->setDate(bdate);
        return f;
    }
    static void Close(StockBuyForm *f)
    {
        delete f;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    int Records() { return CountRecords("account", QString()); }
};

TEST_F(StockBuyTest, LookupProposesAndShowsTheCapitalUsed)
{
    struct Case {
        int box;
        const char *typed;
        QStringList expect;  // TT(0), TT(1), TT(3), TT(2), LBL(0)
        bool proposed;       // focus on the quantity, its text selected
    } cases[] = {
        {0, "600000", {"600000", "浦发银行", "10", "1500", "15,000.00"}, true},
        {0, " 600000 ", {"600000", "浦发银行", "10", "1500", "15,000.00"}, true},
        {1, "pfyh", {"600000", "浦发银行", "10", "1500", "15,000.00"}, true},
        {0, "999999", {"999999", "", "", "", "-"}, false},
        {0, "%'--", {"%'--", "", "", "", "-"}, false},
        {1, "银行", {"", "银行", "", "", "-"}, false},
        {1, "%'--", {"", "%'--", "", "", "-"}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        StockBuyShow(QString());
        StockBuyForm *f = LoadedStockBuy();
        f->SetTTText(c.box, QString::fromUtf8(c.typed));
        EXPECT_EQ(Texts(f, {0, 1, 3, 2}) << f->LBL[0]->text(), c.expect);
        EXPECT_EQ(f->focusWidget() == f->TT[2] && f->TT[2]->selectedText() == "1500", c.proposed);
        Close(f);
    }
    // A code that finds no name, typed after a known one, leaves no name of the other stock to be
    // stored with it: an unknown code, and one the book holds without a name (imported with a code
    // the stock list lacks).
    Exec("INSERT INTO account(code,sname,num,tnum,bprice,sprice,bdate,sdate,memo,sid) "
         "VALUES('600001','',100,100,5,0,#2024-03-07#,#1900-1-1#,'',0)");
    for (const char *code : {"999999", "600001"}) {
        SCOPED_TRACE(code);
        StockBuyForm *f = Typed("600000", QString(), QString());
        f->SetTTText(0, QString::fromLatin1(code));
        EXPECT_EQ(f->TTText(1), "");
        Close(f);
    }
    struct Capital {
        const char *num, *price, *shown;
    } capitals[] = {
        {"1000", "10.00", "10,000.00"},  // no fee
        {"1000.5", "10", "10,005.00"},
        {"1,000", "10", "10,000.00"},
        {"100股", "3.5元", "-"},  // read whole as numbers, as the store reads them
        {"0", "10", "-"},
        {"1000", "0", "-"},
        {"-100", "10", "-"},
        {"", "10", "-"},
        {"1e200", "1e200", "-"},
    };
    for (const Capital &c : capitals) {
        SCOPED_TRACE(std::string(c.num) + " " + c.price);
        StockBuyForm *f = Typed(QString(), QString::fromUtf8(c.num), QString::fromUtf8(c.price));
        EXPECT_EQ(f->LBL[0]->text(), c.shown);
        Close(f);
    }
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

TEST_F(StockBuyTest, RefusalsKeepTheEntryOnScreen)
{
    Hold600000();
    struct Case {
        const char *code, *num, *price, *message;
    } cases[] = {
        {"", "1000", "10", "错误：股票代码错误！"},
        {"60000", "1000", "10", "错误：股票代码错误！"},
        {"999999", "1000", "10", "错误：股票代码错误！"},
        {"1A0001", "1000", "3000", "错误：股票代码错误！"},
        {"399006", "1000", "3000", "错误：股票代码错误！"},
        {"600000", "1000", "0", "错误：买入价格错误！"},
        {"600000", "1000", "", "错误：买入价格错误！"},
        {"600000", "1000", "-1", "错误：买入价格错误！"},
        {"600000", "0", "10", "错误：交易数量错误！"},
        {"600000", "0.5", "10", "错误：交易数量错误！"},  // rounds to 0
        {"600000", "3e9", "10", "错误：交易数量错误！"},
        {"600000", "", "10", "错误：交易数量错误！"},
        {"600000", "1000", "10,5", "错误：买入价格错误！"},
        {"600000", "1000", "1e308", "错误：买入价格错误！"},
        {"600000", "1000", "1000000", "错误：买入价格错误！"},
        {"600000", "1000.5", "10", "错误：交易数量错误！"},
        {"600000", "100股", "10", "错误：交易数量错误！"},
        {"999999", "0", "0", "错误：股票代码错误！"},  // the first failing check only
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.num + " " + c.price);
        prompter.shown.clear();
        StockBuyForm *f = Typed(c.code, c.num, c.price);
        const QStringList entry = Texts(f, {0, 1, 2, 3});
        f->Com_Click(0);
        EXPECT_EQ(prompter.Messages(), QStringList(QString::fromUtf8(c.message)));
        EXPECT_EQ(LoadedStockBuy(), f);
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(Texts(f, {0, 1, 2, 3}), entry);
        Close(f);
    }
    // "取  消" stores nothing and closes the window; the next one starts empty, dated today.
    StockBuyForm *f = Typed("600000", "1000", "10", Day(3, 4));
    EXPECT_TRUE(IsFormOpen("买入股票"));
    f->Com_Click(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LoadedStockBuy(), nullptr);
    EXPECT_FALSE(IsFormOpen("买入股票"));
    f = StockBuy();
    EXPECT_EQ(Texts(f, {0, 1, 2, 3}) << f->LBL[0]->text(), QStringList({"", "", "", "", "-"}));
    EXPECT_EQ(f->DTE->date(), Day(3, 9));
    f->DTE->setDate(QDate(2030, 1, 2));  // the picker stops at today
    EXPECT_EQ(f->DTE->date(), Day(3, 9));
    EXPECT_EQ(Records(), 0);
    EXPECT_EQ(calls, QStringList());
}

TEST_F(StockBuyTest, StoresAnOpenRecordAndRefreshes)
{
    Hold600000();
    // Opened again from the main window, the window keeps its entry and looks the code up.
    StockBuyShow("600000");
    StockBuyForm *f = LoadedStockBuy();
    f->SetTTText(2, "1,000");
    StockBuyShow(QString());
    EXPECT_EQ(LoadedStockBuy(), f);
    EXPECT_EQ(Texts(f, {0, 1, 2, 3}), QStringList({"600000", "浦发银行", "1,000", "10"}));
    f->DTE->setDate(Day(3, 2));  // a Saturday: stored all the same, counted on Monday
    f->Com_Click(0);
    EXPECT_EQ(prompter.Messages(), QStringList());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LoadedStockBuy(), nullptr);
    ASSERT_EQ(Records(), 1);
    const long id = static_cast<long>(GetFieldValue("account", "TRUE", "id", MakeLong(0)).num);
    const std::pair<const char *, Value> stored[] = {
        {"code", MakeString("600000")}, {"sname", MakeString("浦发银行")}, {"num", MakeLong(1000)},
        {"tnum", MakeLong(1000)},       {"bprice", MakeDouble(10)},       {"bdate", MakeDate(DayNumberOf(Day(3, 2)))},
        {"sprice", MakeDouble(0)},      {"sdate", MakeDate(kEmptyDate)},  {"memo", MakeString("")},
        {"sid", MakeLong(148)},         {"bcash", MakeDouble(10005)},     {"aprice", MakeDouble(10.02)},
    };
    for (const auto &[field, value] : stored)
        EXPECT_EQ(FieldOf(id, field).ToText(), value.ToText()) << field;
    EXPECT_EQ(CashOn(Day(3, 1)), -1);  // before the buy date: not recomputed
    EXPECT_EQ(CashOn(Day(3, 4)), 200000 - 10005.00);
    EXPECT_EQ(CashOn(Day(3, 8)), 200000 - 10005.00);
    // The main window's date range takes the new buy.
    EXPECT_EQ(calls, QStringList({"tree", "chart", "refresh", "dtp 2024-03-02"}));
    for (const FakeRequest &r : services.Requests())
        EXPECT_TRUE(r.sql.isEmpty()) << r.sql.toStdString();  // a held stock downloads nothing
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

TEST_F(StockBuyTest, StockNewToTheBookGetsItsHistory)
{
    Hold600000();
    // 000001 (id 4) is not in the book: its price table comes from the data service.
    auto history = std::make_shared<FakeHistory>(QDate(2023, 1, 3), Day(3, 8), std::vector<long>{4});
    services.ServeHistory(history);
    const FakeHistory::Day last = history->Days(4).back();
    StockBuyForm *f = Typed("000001", "1000", NumberText(last.close), last.date);
    f->Com_Click(0);
    EXPECT_EQ(prompter.Messages(), QStringList());
    EXPECT_TRUE(TableExists("H_000001"));
    EXPECT_GE(QuoteIndexOf("000001"), 0);
    EXPECT_EQ(GetFieldValue("account", "code='000001'", "sid", MakeLong(0)).num, 4);
    // Valued at the downloaded close on the buy day.
    EXPECT_NEAR(GetFieldValue("DeelRes", QStringLiteral("dat=") + Lit(last.date), "scash", MakeDouble(-1)).num,
                1000 * last.close, 1e-6);
}

TEST_F(StockBuyTest, NoStoreWhileBusyOrWhenTheWriteFails)
{
    Hold600000();
    StockBuyForm *f = Typed("600000", "1000", "10");
    {
        BusyGuard busy;
        f->Com_Click(0);
        f->Com_Click(1);
    }
    EXPECT_EQ(Records(), 0);
    EXPECT_EQ(LoadedStockBuy(), f);

    // A refused write is reported and the window comes back with the entry for another try.
    Native("CREATE TRIGGER refuse BEFORE INSERT ON account BEGIN SELECT RAISE(ABORT, 'refused'); END");
    f->Com_Click(0);
    EXPECT_EQ(prompter.Messages(), QStringList("错误：保存记录失败！"));
    EXPECT_EQ(LoadedStockBuy(), f);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Texts(f, {0, 1, 2, 3}), QStringList({"600000", "浦发银行", "1000", "10"}));
    EXPECT_EQ(calls, QStringList());
    EXPECT_EQ(LogEntryCount(), 1);
    Native("DROP TRIGGER refuse");
    f->Com_Click(0);
    EXPECT_EQ(Records(), 1);
    EXPECT_EQ(LoadedStockBuy(), nullptr);
}

}  // namespace
