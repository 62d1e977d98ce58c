// The main window's answers to the user: the tree click, the refresh timer, the grid's and the
// chart's mouse and keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimeZone>
#include <QTimer>
#include <QTreeWidget>

#include "charts/kline.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "mainwindow/chart_keys.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/forms/pop.h"
#include "mainwindow/forms/trade_grid_form.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "records/forms/acc_edit.h"
#include "storage/params.h"

namespace {

QDateTime MarketTime(int hour, int minute)
{
    // 2024-05-20 is a Monday.
    return QDateTime(QDate(2024, 5, 20), QTime(hour, minute), QTimeZone(kMarketUtcOffsetSeconds));
}

class MFEventsTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([this] { return now; });
        ResetFormParamSets();
        ResetCalendar();
        ResetQuoteCache();
        MainWindowHooks() = MFHooks{};
        services.Install();
        services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields(QStringLiteral("上证指数"), 3000, 2990,
                                                                                3010, 3020, 2980, "2024-05-20"));
        services.SetQuote(QStringLiteral("sh600000"), FakeServices::QuoteFields(QStringLiteral("浦发银行"), 10, 9.9,
                                                                                10.5, 10.6, 9.8, "2024-05-20"));
        Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
                "VALUES ('600000','浦发银行',#2024-01-10#,10,3000,3000,10,#1900-1-1#,0)");
    }
    void TearDown() override
    {
        delete LoadedMF();
        delete LoadedAccEdit();
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        SetClock(nullptr);
        ResetQuoteCache();
        ResetCalendar();
        ResetKLineData();
        DbFixture::TearDown();
    }
    // Quote requests that ask for a stock (not the index alone, which the trading-day check asks).
    int StockQuoteRequests()
    {
        int n = 0;
        for (const FakeRequest &r : services.Requests())
            n += r.symbols.contains(QStringLiteral("sh600000")) ? 1 : 0;
        return n;
    }
    QDateTime now = MarketTime(10, 0);
    FakeServices services;
};

const TreeNodeRef kStockNode{QStringLiteral("S600000"), QStringLiteral("[600000]浦发银行"), 4};

// The common refresh: no node does nothing; a node becomes current, reaches an open record editor
// taking a new record, refills the grid and shows the current row's stock with a blank.
TEST_F(MFEventsTest, NodeClickRefreshesGridEditorAndChart)
{
    MFWindow *mf = MF();
    QStringList shown;
    MainWindowHooks().nodeClick = [&](const std::optional<TreeNodeRef> &) {
        shown << mf->Pic[0]->picture().Tag;
    };
    mf->TV_NodeClick(std::nullopt);
    EXPECT_FALSE(mf->CurrentNode);
    EXPECT_TRUE(shown.isEmpty());

    AccEditForm *edit = AccEdit();
    mf->TV_NodeClick(kStockNode);
    ASSERT_TRUE(mf->CurrentNode);
    EXPECT_EQ(mf->CurrentNode->key, "S600000");
    EXPECT_EQ(edit->TTText(0), "600000");
    const FlexGrid &grid = mf->MSF[0]->Grid();
    ASSERT_EQ(grid.Rows(), grid.FixedRows() + 1);
    EXPECT_EQ(shown, QStringList{QStringLiteral("[600000] 浦发银行")});

    // A key that moves the tree's selection refreshes as a click does; while busy it is dropped.
    mf->RebuildTree();
    auto press = [mf](int key) {
        QKeyEvent ev(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(mf->TV, &ev);
    };
    press(Qt::Key_Up);
    ASSERT_TRUE(mf->CurrentNode);
    EXPECT_EQ(mf->CurrentNode->key, "C0");
    EXPECT_EQ(grid.ToolTipText(), "当前持有");
    EXPECT_EQ(shown.size(), 2);
    {
        BusyGuard busy;
        press(Qt::Key_Up);
    }
    EXPECT_EQ(mf->TV->currentItem()->data(0, kNodeKeyRole).toString(), "C0");
    EXPECT_EQ(shown.size(), 2);
    shown.removeLast();

    // No data row: the chart keeps what it shows.
    Exec("DELETE FROM account");
    mf->TV_NodeClick(kStockNode);
    EXPECT_EQ(grid.Rows(), grid.FixedRows());
    EXPECT_EQ(shown, (QStringList{QStringLiteral("[600000] 浦发银行"), QStringLiteral("[600000] 浦发银行")}));
}

// The timer refreshes prices and the grid only under the saved switch, in trading time, with a stock
// in the quote list and no long operation running; the tree and the chart stay.
TEST_F(MFEventsTest, TimerRefreshesOnlyUnderTheSavedSwitchInTradingTime)
{
    struct Case {
        const char *name;
        std::vector<QString> chk;
        QStringList codes;
        QTime at;
        bool busy;
        int updates;
    };
    const QStringList both{QStringLiteral("1A0001"), QStringLiteral("600000")};
    const std::vector<Case> cases = {
        {"switched on", {"1", "1", "1", "0"}, both, QTime(10, 0), false, 1},
        {"saved off, box ticked", {"1", "1", "0", "0"}, both, QTime(10, 0), false, 0},
        {"never saved", {}, both, QTime(10, 0), false, 0},
        {"saved empty", {"1", "1", "", "0"}, both, QTime(10, 0), false, 0},
        {"after the close", {"1", "1", "1", "0"}, both, QTime(15, 2), false, 0},
        {"index alone", {"1", "1", "1", "0"}, {QStringLiteral("1A0001")}, QTime(10, 0), false, 0},
        {"busy", {"1", "1", "1", "0"}, both, QTime(10, 0), true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ResetCalendar();
        now = MarketTime(c.at.hour(), c.at.minute());
        MFParams().chk = c.chk;
        ResetQuoteCache();
        for (const QString &code : c.codes)
            Quotes().rows.push_back(QuoteRow{code, 1, 2, 3, 4, 9.9});
        Quotes().listDate = DayNumberOf(QDate(2024, 5, 20));
        MFWindow *mf = MF();
        mf->Chk[2]->setChecked(true);
        mf->CurrentNode = kStockNode;
        mf->Pic[0]->picture().Tag = QStringLiteral("[600000] 浦发银行");
        FlexGrid &grid = mf->MSF[0]->Grid();
        grid.SetRows(grid.FixedRows());
        int refreshes = 0;
        MainWindowHooks().nodeClick = [&refreshes](const std::optional<TreeNodeRef> &) { ++refreshes; };
        services.ClearRequests();
        {
            std::optional<BusyGuard> guard;
            if (c.busy)
                guard.emplace();
            QMetaObject::invokeMethod(mf->Timer1, "timeout");
        }
        EXPECT_EQ(StockQuoteRequests(), c.updates);
        if (c.chk.size() < 3 || c.chk[2] != "1") {
            EXPECT_TRUE(services.Requests().empty());  // not even the trading-day check
        }
        EXPECT_EQ(grid.Rows(), grid.FixedRows() + c.updates);
        EXPECT_EQ(refreshes, 0);
        EXPECT_EQ(mf->TV->topLevelItemCount(), 0);
        EXPECT_EQ(mf->Pic[0]->picture().Tag, "[600000] 浦发银行");
        EXPECT_FALSE(IsBusy());
        if (c.updates) {
            EXPECT_DOUBLE_EQ(QuotePrice(1), 10.5);
        }
    }
}

// The grid: a right press opens its menu and neither sorts nor saves; another press on a caption
// sorts and saves the sort state; a row change shows its stock (not during a refill); a double
// click opens the row's record; nothing while busy.
TEST_F(MFEventsTest, GridPressesRowChangesAndDoubleClicks)
{
    Exec("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
         "VALUES ('000001','平安银行',#2024-02-01#,10,100,100,10,#1900-1-1#,0)");
    now = MarketTime(20, 0);
    MFWindow *mf = MF();
    FlexGridView *view = mf->MSF[0];
    FlexGrid &grid = view->Grid();
    mf->TV_NodeClick(TreeNodeRef{QString(), QStringLiteral("我的股票"), 1});
    ASSERT_EQ(grid.Rows(), grid.FixedRows() + 2);
    const int first = grid.FixedRows();
    const QString firstRow = QStringLiteral("[%1] %2").arg(grid.TextMatrix(first, 2), grid.TextMatrix(first, 3));
    EXPECT_EQ(mf->Pic[0]->picture().Tag, firstRow);

    // A refill moves the current row without showing it.
    mf->Pic[0]->picture().Tag = QStringLiteral("x");
    LoadTradeGrid(view);
    EXPECT_EQ(mf->Pic[0]->picture().Tag, "x");
    grid.SetRow(first + 1);
    EXPECT_EQ(mf->Pic[0]->picture().Tag,
              QStringLiteral("[%1]%2").arg(grid.TextMatrix(first + 1, 2), grid.TextMatrix(first + 1, 3)));
    const QString second = mf->Pic[0]->picture().Tag;
    {
        BusyGuard busy;
        grid.SetRow(first);
    }
    EXPECT_EQ(mf->Pic[0]->picture().Tag, second);

    double x = 0;
    for (int c = 0; c < 3; ++c)
        x += grid.ColWidth(c);
    x += grid.ColWidth(3) / 2.0;
    const double y = grid.RowHeight(0) + grid.RowHeight(1) / 2.0;
    grid.SetTag(QString());
    {
        BusyGuard busy;
        emit view->MouseDown(2, 0, x, y);
        emit view->MouseDown(1, 0, x, y);
    }
    EXPECT_FALSE(POP()->mMSF->isVisible());
    EXPECT_EQ(GetParam("MSFOrder_0", "none"), "none");
    emit view->MouseDown(2, 0, x, y);
    EXPECT_TRUE(POP()->mMSF->isVisible());
    EXPECT_EQ(POP()->TargetMSF, view);
    POP()->mMSF->hide();
    EXPECT_EQ(grid.Tag(), "");
    EXPECT_EQ(GetParam("MSFOrder_0", "none"), "none");
    emit view->MouseDown(1, 0, x, y);
    EXPECT_TRUE(grid.Tag().startsWith(QStringLiteral("排序:3:")));
    EXPECT_EQ(GetParam("MSFOrder_0", "none"), grid.Tag());
    EXPECT_TRUE(grid.TextMatrix(1, 3).endsWith(QStringLiteral("↑")));
    // A press on a data row sorts nothing and still saves.
    SaveParam("MSFOrder_0", "old");
    emit view->MouseDown(1, 0, x, y + grid.RowHeight(1));
    EXPECT_EQ(GetParam("MSFOrder_0", "none"), grid.Tag());

    // The double click opens the current row's record.
    grid.SetRow(first);
    const QString id = grid.TextMatrix(first, 0);
    {
        BusyGuard busy;
        emit view->DblClick();
    }
    EXPECT_EQ(LoadedAccEdit(), nullptr);
    emit view->DblClick();
    ASSERT_NE(LoadedAccEdit(), nullptr);
    EXPECT_EQ(LoadedAccEdit()->ID->text(), id);
    EXPECT_EQ(LoadedAccEdit()->TTText(0), grid.TextMatrix(first, 2));
}

// The chart: the window moves inside the bars and redraws only when it changed; the double click
// switches the crosshair, which then follows the mouse and the keys; a press of another button
// than the left opens the chart menu; nothing while busy or without the window's picture.
TEST_F(MFEventsTest, ChartWindowCrosshairKeysAndMenu)
{
    now = MarketTime(20, 0);
    services.SetSqlAnswer("sp_", FakeServices::SqlRowsBody({"trdat"}, {}, 0));
    ASSERT_TRUE(EnsureHistoryTable("600000"));
    QDate d(2023, 12, 1);
    for (int i = 0; i < 100; d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        // The five oldest bars reach 20, far above the newest ones.
        Exec(QStringLiteral("INSERT INTO H_600000 (trdat,opprice,clprice,mxprice,mnprice) "
                            "VALUES (#%1#,10,10.2,%2,9.9)")
                 .arg(d.toString(Qt::ISODate), i < 5 ? "20" : "10.3"));
        ++i;
    }
    ResetKLineData();
    MFWindow *mf = MF();
    Picture &pic = mf->Pic[0]->picture();
    ShowKLine("[600000]浦发银行");
    KLineRecord &k = KLineData();
    const int n = k.BarCount();
    ASSERT_GE(n, 100);
    ASSERT_EQ(k.LastBar, n);
    const int f0 = k.FirstBar;
    const int span = n - f0;
    ASSERT_GE(f0, 20);

    struct Move {
        int dFirst, dLast;
        bool moved;
        int first, last;
    };
    const std::vector<Move> moves = {
        {0, 0, false, f0, n},
        {-10, -10, true, f0 - 10, n - 10},
        {-1000, 0, true, 1, n - 10},
        {-5, 0, false, 1, n - 10},
        {0, 1000, true, 1, n},
        {500, -500, false, 1, n},  // crossed ends are put in order
        {n - 1, 0, true, n, n},
        {-(n + 5), -(n + 5), true, 1, 1},
    };
    for (const Move &m : moves) {
        SCOPED_TRACE(QStringLiteral("%1,%2").arg(m.dFirst).arg(m.dLast).toStdString());
        pic.Cls();
        const QImage before = pic.Image();
        EXPECT_EQ(mf->MoveKLine(m.dFirst, m.dLast), m.moved);
        EXPECT_EQ(k.FirstBar, m.first);
        EXPECT_EQ(k.LastBar, m.last);
        EXPECT_EQ(pic.Image() != before, m.moved);  // drawn only when moved
    }
    k.FirstBar = f0;
    k.LastBar = n;

    // The crosshair: off at first, on after a double click (not while busy), off after another.
    LineControl &v = *mf->LnControl[2];
    EXPECT_EQ(v.Tag(), "");
    {
        BusyGuard busy;
        emit mf->Pic[0]->dblClick();
    }
    EXPECT_EQ(v.Tag(), "");
    emit mf->Pic[0]->dblClick();
    EXPECT_EQ(v.Tag(), "1");
    EXPECT_TRUE(v.Visible());
    EXPECT_TRUE(mf->LnControl[3]->Visible());

    // The mouse with no button picks the bar under it; with a button held nothing.
    const double barWidth = static_cast<double>(pic.Width()) / (span + 1);
    emit mf->Pic[0]->mouseMove(0, 0, barWidth * 10.5, 300);
    EXPECT_EQ(k.CurBar, f0 + 10);
    EXPECT_DOUBLE_EQ(v.X1(), barWidth * 10.5);
    EXPECT_DOUBLE_EQ(mf->LnControl[3]->Y1(), 300);
    emit mf->Pic[0]->mouseMove(1, 0, barWidth * 20.5, 400);
    EXPECT_EQ(k.CurBar, f0 + 10);

    // Keys: scroll left by one, then the read-out follows the crosshair onto the bar now under it.
    emit mf->Pic[0]->keyDown(kKeyLeft, 0);
    EXPECT_EQ(k.FirstBar, f0 - 1);
    EXPECT_EQ(k.LastBar, n - 1);
    EXPECT_EQ(k.CurBar, f0 + 9);
    EXPECT_DOUBLE_EQ(k.MaxPrice, 10.8);
    emit mf->Pic[0]->keyDown(kKeyUp, kAltKey);
    EXPECT_EQ(k.FirstBar, 1);
    EXPECT_EQ(k.LastBar, n);
    // All bars shown: the scale takes in the highest of them, so every candle lies in the picture.
    EXPECT_DOUBLE_EQ(k.MaxPrice, 21);
    EXPECT_DOUBLE_EQ(k.MinPrice, 9.4);
    {
        BusyGuard busy;
        emit mf->Pic[0]->keyDown(kKeyDown, kAltKey);
    }
    EXPECT_EQ(k.LastBar - k.FirstBar, n - 1);
    emit mf->Pic[0]->keyDown(65, 0);
    EXPECT_EQ(k.LastBar - k.FirstBar, n - 1);

    emit mf->Pic[0]->dblClick();
    EXPECT_EQ(v.Tag(), "");
    EXPECT_FALSE(v.Visible());
    EXPECT_FALSE(mf->LnControl[3]->Visible());
    const int cur = k.CurBar;
    emit mf->Pic[0]->mouseMove(0, 0, barWidth * 3.5, 300);
    EXPECT_EQ(k.CurBar, cur);

    // Menus: the left button opens none, any other the chart menu.
    emit mf->Pic[0]->mouseDown(1, 0, 100, 100);
    EXPECT_FALSE(POP()->mKTrade->isVisible());
    emit mf->Pic[0]->mouseDown(4, 0, 100, 100);
    EXPECT_TRUE(POP()->mKTrade->isVisible());
    EXPECT_EQ(POP()->TargetPic, mf->Pic[0]);
    POP()->mKTrade->hide();

    // No stock shown, or the picture taken back: nothing moves.
    k.Code.clear();
    EXPECT_FALSE(mf->MoveKLine(-5, -5));
    k.Code = QStringLiteral("600000");
    SetKLinePicture(nullptr);
    EXPECT_FALSE(mf->MoveKLine(-5, -5));
    emit mf->Pic[0]->keyDown(kKeyDown, kAltKey);
    EXPECT_EQ(k.LastBar - k.FirstBar, n - 1);
    SetKLinePicture(&pic);
}

}  // namespace
