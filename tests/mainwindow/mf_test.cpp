// The main window: load, first activation, date window, splitters, settings panel, refresh timer,
// restart and shut-down.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimeZone>
#include <QTimer>
#include <QTreeWidget>

#include "charts/kline.h"
#include "charts/kline_draw.h"
#include "fixtures/closed_port.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/main_sub.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/http.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/forms/flex_grid_view.h"
#include "platform/program_folder.h"
#include "storage/compact.h"
#include "storage/db_operate.h"
#include "storage/forms/indicator_form.h"
#include "storage/grid_ops.h"
#include "storage/indicator.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

class MFTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
        ResetFormParamSets();
        MainWindowHooks() = MFHooks{};
        MainWindowHooks().endProgram = [this] { ++ended; };
        // The refills ask for quotes and prices: nothing may leave the machine.
        SetQuoteServiceBase(ClosedServiceBase());
        SetDataServiceBase(ClosedServiceBase());
    }
    void TearDown() override
    {
        delete LoadedMF();
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        CurrentStartupSteps() = DefaultStartupSteps();
        SetClock(nullptr);
        SetQuoteServiceBase(QString());
        SetDataServiceBase(QString());
        ResetQuoteCache();
        DbFixture::TearDown();
    }
    // Closes the main window as the user does and lets its deletion happen.
    static void CloseMF()
    {
        MF()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Lets events through until a postponed close has happened (it retries every 100 ms), for at most
    // 30 s.
    static void WaitForTheDeferredClose()
    {
        QElapsedTimer t;
        t.start();
        while (LoadedMF() && t.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    // On a Saturday, 600000 held since 2024-01-10, 000001 bought and sold in February and March, and
    // one row of assets.
    static void SaturdayBook()
    {
        SetClock([] { return QDateTime(QDate(2024, 5, 18), QTime(10, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
        ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
                "VALUES ('600000','浦发银行',#2024-01-10#,10,3000,3000,10,#1900-1-1#,0)");
        ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
                "VALUES ('000001','平安银行',#2024-02-01#,10,100,100,10,#2024-03-05#,12)");
        ExecSql("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-17#,126000,84000,210000)");
    }
    // The least width of the command bar: what its buttons and dates need.
    static int CommandBarWidth(MFWindow *mf) { return mf->Frm[0]->layout()->minimumSize().width(); }
    int ended = 0;
};

TEST_F(MFTest, LoadGivesOpenRecordsTheEmptySellDate)
{
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) "
            "VALUES ('600000','浦发银行',#2024-01-10#,10,100,100,#2023-05-05#,0)");
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) "
            "VALUES ('000001','平安银行',#2024-01-10#,10,100,100,#2024-02-05#,11)");
    const FlexGrid &grid = MF()->MSF[0]->Grid();
    EXPECT_EQ(grid.Rows(), grid.FixedRows()) << "the grid starts without data rows";
    EXPECT_EQ(grid.Index(), 0);
    EXPECT_EQ(GetFieldValue("account", "code='600000'", "sdate", MakeEmpty()).num, kEmptyDate);
    EXPECT_EQ(GetFieldValue("account", "code='000001'", "sdate", MakeEmpty()).num, DayNumberOf(2024, 2, 5));
}

TEST_F(MFTest, DateWindowRange)
{
    // The pickers and their range end on the market's day, also in New York's evening before it:
    // 22:00 on the 19th there (summer time, UTC-4) is 10:00 on the 20th in China.
    const QDateTime china(QDate(2024, 5, 20), QTime(20, 0), QTimeZone(kMarketUtcOffsetSeconds));
    const QDateTime newYork(QDate(2024, 5, 19), QTime(22, 0), QTimeZone(-4 * 3600));
    SetClock([newYork] { return newYork; });
    for (QDateEdit *d : MF()->DTP)
        EXPECT_EQ(d->date(), QDate(2024, 5, 20)) << "a new window";
    struct Case {
        const char *bdate;  // nullptr: no records
        QDate min;
    };
    const Case cases[] = {
        {nullptr, QDate(1900, 1, 1)},
        {"2021-03-04", QDate(2021, 3, 4)},
        {"2024-05-20", QDate(2024, 5, 20)},
        {"2024-06-01", QDate(2024, 5, 20)},  // bought "after today": the minimum stays at today
    };
    for (const Case &c : cases) {
        ExecSql("DELETE FROM account");
        if (c.bdate)
            ExecSql(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,tnum) "
                                   "VALUES ('600000','浦发银行',#%1#,10,100,100)").arg(c.bdate));
        for (const QDateTime &now : {china, newYork}) {
            SetClock([now] { return now; });
            MF()->SetDtpRange();
            for (QDateEdit *d : MF()->DTP) {
                EXPECT_EQ(d->minimumDate(), c.min) << (c.bdate ? c.bdate : "empty") << " at " << now.offsetFromUtc();
                EXPECT_EQ(d->maximumDate(), QDate(2024, 5, 20));
            }
        }
    }
}

TEST_F(MFTest, ShutDownSavesTheWindowStateAndARestartRestoresIt)
{
    MFWindow *mf = MF();
    mf->Chk[0]->setChecked(true);
    mf->Chk[1]->setChecked(true);
    mf->SetDtpRange();
    mf->DTP[0]->setDate(QDate(2024, 1, 1));
    mf->DTP[1]->setDate(QDate(2024, 5, 20));
    mf->SpBar[0]->move(200, 0);
    mf->SpBar[1]->move(mf->SpBar[1]->x(), 400);
    CloseMF();

    EXPECT_EQ(GetParam("FPAR_MF_chk"), "1【⊙】1【⊙】0【⊙】0");
    EXPECT_EQ(GetParam("FPAR_MF_dtp"), "2024-01-01【⊙】2024-05-20");
    EXPECT_EQ(GetParam("FPAR_MF_pic"), "3000【⊙】6000");
    EXPECT_EQ(GetParam("当前结点"), "0");
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(LoadedMF(), nullptr);

    ResetFormParamSets();
    LoadFormParams();
    mf = MF();
    EXPECT_TRUE(mf->Chk[0]->isChecked());
    EXPECT_TRUE(mf->Chk[1]->isChecked());
    EXPECT_FALSE(mf->Chk[2]->isChecked());
    EXPECT_EQ(mf->DTP[0]->date(), QDate(2024, 1, 1));
    EXPECT_EQ(mf->SpBar[0]->x(), 200);
    EXPECT_EQ(mf->SpBar[1]->y(), 400);

    mf->CurrentNode = TreeNodeRef{QStringLiteral("S600000"), QStringLiteral("[600000] 浦发银行"), 6};
    CloseMF();
    EXPECT_EQ(GetParam("当前结点"), "6");
}

TEST_F(MFTest, CloseWaitsForTheBusyOperation)
{
    bool busy = true;
    MainWindowHooks().isBusy = [&busy] { return busy; };
    MF()->CurrentNode = TreeNodeRef{QStringLiteral("C0"), QStringLiteral("当前持有"), 2};
    MF()->close();
    QCoreApplication::processEvents();
    ASSERT_NE(LoadedMF(), nullptr);
    EXPECT_EQ(GetParam("当前结点"), "");
    EXPECT_EQ(ended, 0);

    busy = false;
    WaitForTheDeferredClose();
    EXPECT_EQ(LoadedMF(), nullptr);
    EXPECT_EQ(GetParam("当前结点"), "2");
    EXPECT_EQ(ended, 1);
}

// The user closes the window while the restart or the first activation lets events through (a
// download, the grid's refill): the window stays until that work is over, then closes and saves the
// node the work ended on.
TEST_F(MFTest, ACloseDuringRestartOrFirstActivationWaitsForItsEnd)
{
    MainWindowHooks().isBusy = [] { return IsBusy(); };
    auto closeNow = [] {
        LoadedMF()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    struct Case {
        const char *what;
        std::function<void()> run;
        QDate rangeMin;  // the date window the work ends with; invalid: not set by it
    };
    const Case cases[] = {
        {"restart",
         [&closeNow] {
             StartupSteps s;
             s.downloadAllHistory = [&closeNow] {
                 closeNow();
                 return 0.0;
             };
             CurrentStartupSteps() = s;
             MF()->RestartSys();
         },
         QDate()},
        {"first activation",
         [&closeNow] {
             MainWindowHooks().nodeClick = [&closeNow](const std::optional<TreeNodeRef> &) { closeNow(); };
             MF()->Form_Activate();
         },
         QDate(2021, 3, 4)},
    };
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2021-03-04#,10,100,100)");
    for (const Case &c : cases) {
        ended = 0;
        // The tree restores "曾经持有"; the close must save it again.
        SaveParam("当前结点", "3");
        c.run();
        SaveParam("当前结点", "");
        ASSERT_NE(LoadedMF(), nullptr) << c.what;
        EXPECT_EQ(ended, 0) << c.what;
        ASSERT_TRUE(LoadedMF()->CurrentNode) << c.what;
        EXPECT_EQ(LoadedMF()->CurrentNode->index, 3) << c.what;
        if (c.rangeMin.isValid()) {
            EXPECT_EQ(LoadedMF()->DTP[0]->minimumDate(), c.rangeMin) << c.what;
        }

        WaitForTheDeferredClose();
        EXPECT_EQ(LoadedMF(), nullptr) << c.what;
        EXPECT_EQ(GetParam("当前结点"), "3") << c.what;
        EXPECT_EQ(ended, 1) << c.what;
        EXPECT_FALSE(IsBusy());
        MainWindowHooks().nodeClick = nullptr;
    }
}

TEST_F(MFTest, RefreshSettingSetsOrStopsTheTimer)
{
    struct Case {
        std::vector<QString> tt;
        bool active;
        int interval;
    };
    const Case cases[] = {
        {{"100000", "0.25", "2", "0", "10"}, false, 0},
        {{"100000", "0.25", "2", "3", "10"}, true, 3000},
        {{}, true, 10000},
    };
    MFWindow *mf = MF();
    for (const Case &c : cases) {
        SysSetParams().tt = c.tt;
        LoadSysParams();
        EXPECT_EQ(mf->Timer1->isActive(), c.active) << c.interval;
        if (c.active) {
            EXPECT_EQ(mf->Timer1->interval(), c.interval);
        }
    }
}

// Saved positions are kept inside the bars' limits: the tree's minimum, the command bar's whole width
// and the command bar's bottom, over which the horizontal bar never climbs.
TEST_F(MFTest, SavedSplitterPositionsAreKeptInsideTheirLimits)
{
    struct Case {
        const char *saved;
        bool treeAtMinimum;  // else the command bar at its least width
        bool barAtGridTop;   // else at the bottom of the client area
    };
    const Case cases[] = {{"200【⊙】99999", true, false}, {"99999【⊙】0", false, true}};
    for (const Case &c : cases) {
        SaveParam("FPAR_MF_pic", QString::fromUtf8(c.saved));
        ResetFormParamSets();
        LoadFormParams();
        MFWindow *mf = MF();
        const QSize client = mf->ClientArea()->size();
        if (c.treeAtMinimum) {
            EXPECT_EQ(mf->SpBar[0]->x(), 33) << c.saved;  // the Tag minimum of 500 twips
        } else {
            EXPECT_EQ(mf->Frm[0]->width(), CommandBarWidth(mf)) << c.saved;
        }
        EXPECT_EQ(mf->SpBar[1]->y(), c.barAtGridTop ? mf->MSF[0]->y() : client.height() - mf->SpBar[1]->height())
            << c.saved;
        EXPECT_EQ(mf->MSF[0]->y(), mf->Frm[0]->y() + mf->Frm[0]->height());
        delete mf;
    }
}

TEST_F(MFTest, DraggedBarStopsAtTheTagLimitsAndTheOthersFollowOnRelease)
{
    MFWindow *mf = MF();
    SplitterBar *bar = mf->SpBar[0];
    const int w = mf->ClientArea()->width();
    bar->MoveSpBar(-5000, 0);
    EXPECT_EQ(bar->x(), 33);
    EXPECT_NE(mf->TV->width(), 33);  // the tree follows only on release
    bar->MoveSpBar(5000, 0);
    EXPECT_EQ(bar->x(), w - bar->width() - CommandBarWidth(mf));  // the command bar keeps its width
    emit bar->released();
    EXPECT_EQ(mf->TV->width(), bar->x());
    EXPECT_EQ(mf->Frm[0]->x(), bar->x() + bar->width());
    EXPECT_EQ(mf->Frm[0]->width(), CommandBarWidth(mf));
    EXPECT_EQ(mf->SpBar[1]->x(), bar->x() + bar->width());

    SplitterBar *hz = mf->SpBar[1];
    hz->MoveSpBar(0, -5000);
    EXPECT_EQ(hz->y(), mf->MSF[0]->y());  // never over the command bar
    hz->MoveSpBar(0, 5000);
    EXPECT_EQ(hz->y(), mf->ClientArea()->height() - hz->height());
}

// A smaller window pulls the bars back inside their limits before the others are placed; the window
// shrinks no further than a size at which every caption and date of the command bar shows whole.
TEST_F(MFTest, ShrinkingPullsTheBarsInsideBeforeTheLayout)
{
    MFWindow *mf = MF();
    mf->SpBar[0]->move(900, 0);
    mf->SpBar[1]->move(mf->SpBar[1]->x(), 600);
    mf->ClientArea()->resize(1000, 500);
    mf->Form_Resize();
    EXPECT_EQ(mf->SpBar[0]->x(), std::max(33, 1000 - mf->SpBar[0]->width() - CommandBarWidth(mf)));
    EXPECT_EQ(mf->SpBar[1]->y(), 500 - mf->SpBar[1]->height());
    EXPECT_EQ(mf->TStatus->y() + mf->TStatus->height(), 500);
    EXPECT_EQ(mf->Pic[0]->y(), mf->SpBar[1]->y() + mf->SpBar[1]->height());

    mf->show();
    mf->resize(1, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(mf->size(), mf->minimumSize());
    const QRect bar = mf->Frm[0]->rect();
    std::vector<QWidget *> shown{mf->DTP[0], mf->DTP[1], mf->Label1[0], mf->Label1[1]};
    for (QPushButton *com : mf->Com)
        if (com->parentWidget() == mf->Frm[0])
            shown.push_back(com);
    for (QWidget *w : shown) {
        const QString what = w->property("text").toString();
        EXPECT_TRUE(bar.contains(w->geometry())) << what.toStdString();
        EXPECT_GE(w->width(), w->sizeHint().width()) << what.toStdString();
    }
    EXPECT_EQ(mf->TStatus->y() + mf->TStatus->height(), mf->ClientArea()->height());
}

// A height a control cannot take (negative) is refused on its own: the control still takes its new
// width, so the grid and the chart keep lining up with the command bar. The horizontal bar put above
// the grid's top is held at it.
TEST_F(MFTest, ARefusedHeightStillLetsTheWidthFollow)
{
    struct Case {
        const char *what;
        int barTop;  // of the horizontal bar
        QSize client;
        bool heldAtGridTop;
    };
    const Case cases[] = {
        {"bar above the grid's top", 40, QSize(1400, 760), true},
        {"window lower than the chart's top", 400, QSize(1000, 410), false},
    };
    for (const Case &c : cases) {
        MFWindow *mf = MF();
        mf->SpBar[1]->move(mf->SpBar[1]->x(), c.barTop);
        mf->ClientArea()->resize(c.client);
        mf->Form_Resize();
        ASSERT_EQ(mf->SpBar[1]->y(), c.heldAtGridTop ? mf->MSF[0]->y() : c.barTop) << c.what;
        const int right = mf->SpBar[0]->x() + mf->SpBar[0]->width();
        EXPECT_EQ(mf->Frm[0]->width(), c.client.width() - right) << c.what;
        EXPECT_EQ(mf->MSF[0]->width(), mf->Frm[0]->width()) << c.what;
        EXPECT_EQ(mf->Pic[0]->width(), mf->MSF[0]->width()) << c.what;
        EXPECT_GE(mf->MSF[0]->height(), 0) << c.what;
        EXPECT_GE(mf->Pic[0]->height(), 0) << c.what;
        delete mf;
    }
}

// The first activation shows the tree with the saved node current, and fills the grid and both
// lines for it; later activations change nothing.
TEST_F(MFTest, TheFirstActivationFillsTreeGridAndLines)
{
    SaturdayBook();
    SaveParam("FPAR_MF_chk", "1【⊙】1【⊙】0【⊙】0");
    SaveParam("当前结点", "2");
    LoadFormParams();
    MSFViewSetParams().tt = {"255", "255", "32768", "32768", "0", "0", "255", "32768", "0"};
    SetSysParams(200000, 0.0003, 1, 10, 0.075);
    Quotes().rows = {{"1A0001", 2995, 3001, 2980, 3000.5, 2990}, {"600000", 10.5, 11, 10.2, 10.8, 10.6}};
    Quotes().listDate = ClockNowDayNumber();
    QStringList refreshed;
    MainWindowHooks().nodeClick = [&refreshed](const std::optional<TreeNodeRef> &node) {
        refreshed << (node ? node->text : QStringLiteral("none"));
    };
    MFWindow *mf = MF();
    mf->SetDtpRange();
    mf->DTP[0]->setDate(mf->DTP[0]->minimumDate());  // the whole book
    mf->Form_Activate();

    QTreeWidget *tv = mf->TV;
    ASSERT_EQ(tv->topLevelItemCount(), 1);
    QTreeWidgetItem *root = tv->topLevelItem(0);
    EXPECT_EQ(root->text(0), "我的股票");
    EXPECT_TRUE(root->font(0).bold());
    EXPECT_EQ(root->foreground(0).color(), QColor(128, 0, 0));
    EXPECT_FALSE(root->icon(0).isNull());
    ASSERT_EQ(root->childCount(), 2);
    QTreeWidgetItem *held = root->child(0);
    EXPECT_TRUE(held->isExpanded());
    ASSERT_EQ(held->childCount(), 1);
    EXPECT_EQ(held->child(0)->text(0), "[600000]浦发银行");
    EXPECT_EQ(held->child(0)->data(0, kNodeKeyRole).toString(), "S600000");
    EXPECT_EQ(root->child(1)->child(0)->data(0, kNodeIndexRole).toInt(), 4);
    EXPECT_EQ(tv->currentItem(), held);  // the saved node, shown without a click
    ASSERT_TRUE(mf->CurrentNode);
    EXPECT_EQ(mf->CurrentNode->key, "C0");
    EXPECT_EQ(refreshed, QStringList{QStringLiteral("当前持有")});

    const FlexGrid &grid = mf->MSF[0]->Grid();
    ASSERT_EQ(grid.Rows(), grid.FixedRows() + 1);
    EXPECT_EQ(grid.TextMatrix(grid.FixedRows(), 2), "600000");
    EXPECT_EQ(grid.CellForeColor(grid.FixedRows(), 3), 255u);  // above its cost
    EXPECT_EQ(grid.ToolTipText(), "当前持有");
    EXPECT_TRUE(mf->LBL[0]->text().startsWith(QStringLiteral("总资产：210,000.00 【市值：84,000.00(40%)")));
    EXPECT_EQ(mf->TStatus->text(), mf->LBL[0]->text());
    EXPECT_EQ(mf->LBL[1]->text(), "浦发银行: 3.00万(100%)  ");

    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000002','万科A',#2024-03-04#,10,100,100)");
    mf->Form_Activate();
    EXPECT_EQ(held->childCount(), 1);
    EXPECT_EQ(refreshed.size(), 1);
    ExecSql("DELETE FROM account WHERE code='000002'");

    // A rebuild (after a save, a buy, an import) keeps the user's node while the tree has it, with its
    // place in the new tree; without one (or when its stock left the tree) the saved node, the last
    // one included, else the root.
    struct Rebuild {
        const char *saved;
        const char *current;  // key; nullptr: none current
        const char *key;
        int index;
    };
    const Rebuild rebuilds[] = {
        {"3", "S600000", "S600000", 5}, {"0", "S600000", "S600000", 5}, {"3", "S000002", "C2", 3},
        {"5", nullptr, "S600000", 5},   {"0", "S000002", "", 1},        {"0", nullptr, "", 1},
    };
    for (const Rebuild &r : rebuilds) {
        SaveParam("当前结点", r.saved);
        mf->CurrentNode.reset();
        if (r.current)
            mf->CurrentNode = TreeNodeRef{QString::fromUtf8(r.current), QStringLiteral("[%1]").arg(r.current + 1), 9};
        mf->RebuildTree();
        ASSERT_TRUE(mf->CurrentNode) << r.saved << (r.current ? r.current : "none");
        EXPECT_EQ(mf->CurrentNode->key, QString::fromUtf8(r.key)) << r.saved << (r.current ? r.current : "none");
        EXPECT_EQ(mf->CurrentNode->index, r.index);
        EXPECT_EQ(tv->currentItem()->data(0, kNodeIndexRole).toInt(), r.index);
    }
}

// A stock bought today that has no price anywhere (no history, no quote) is worth its cost: the asset
// line shows the fees as the only loss, and the grid shows no price and no gain or loss for it.
TEST_F(MFTest, AStockWithoutAnyPriceShowsItsFeesAsItsOnlyLoss)
{
    SetSysParams(200000, 0.0003, 1, 10, 0.075);
    // bcash 11200.0 + 5.00 (3.36 raised)
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,bcash,sdate,sprice) "
            "VALUES ('000001','平安银行',#2024-05-20#,11.2,1000,1000,11.205,11205,#1900-1-1#,0)");
    MFWindow *mf = MF();
    mf->SetDtpRange();
    mf->Form_Activate();
    EXPECT_TRUE(mf->LBL[0]->text().startsWith(QStringLiteral("总资产：199,995.00 【市值：11,200.00(5.6%) "
                                                             "现金：188,795.00(94.4%)】  总盈亏：-5.00[0.00%] "
                                                             "当日盈亏：-5.00[0.00%]")))
        << mf->LBL[0]->text().toStdString();
    const FlexGrid &grid = mf->MSF[0]->Grid();
    ASSERT_EQ(grid.Rows(), grid.FixedRows() + 1);
    for (const char *field : {"_fper", "_rprice", "profit"})
        EXPECT_EQ(grid.TextMatrix(grid.FixedRows(), FindGridColumn(grid, 0, QString::fromUtf8(field))), "") << field;
    EXPECT_EQ(grid.TextMatrix(grid.FixedRows(), FindGridColumn(grid, 0, QStringLiteral("bcash"))), "11,205.00");
}

// A book whose window state was never saved shows everything from the start: both record boxes
// ticked, the window from the first buy to today, the root's grid, asset line and status line; a
// closed trade older than the book, or bought after the window's last day, typed in later, is in the
// window too.
TEST_F(MFTest, ANewBookShowsEverything)
{
    SaturdayBook();
    MFWindow *mf = MF();
    ShowStatusText(QStringLiteral("正在保存市值/资产表......"));
    mf->Form_Activate();
    EXPECT_TRUE(mf->Chk[0]->isChecked());
    EXPECT_TRUE(mf->Chk[1]->isChecked());
    EXPECT_FALSE(mf->Chk[2]->isChecked());
    EXPECT_EQ(mf->DTP[0]->date(), QDate(2024, 1, 10));
    EXPECT_EQ(mf->DTP[1]->date(), QDate(2024, 5, 18));
    ASSERT_TRUE(mf->CurrentNode);
    EXPECT_EQ(mf->CurrentNode->index, 1);
    EXPECT_EQ(mf->TV->currentItem()->text(0), "我的股票");
    EXPECT_EQ(mf->TV->topLevelItem(0)->child(1)->child(0)->text(0), "[000001]平安银行");
    const FlexGrid &grid = mf->MSF[0]->Grid();
    EXPECT_GT(grid.Cols(), grid.FixedCols());
    EXPECT_EQ(grid.Rows(), grid.FixedRows() + 2);
    EXPECT_TRUE(mf->LBL[0]->text().startsWith(QStringLiteral("总资产：210,000.00")));
    EXPECT_EQ(mf->TStatus->text(), mf->LBL[0]->text());
    // A save on another stock's node leaves the grid and takes the figures of the whole book anew.
    ExecSql("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-18#,121000,94000,215000)");
    ShowStatusText(QString());
    RefreshAssetLines();
    EXPECT_TRUE(mf->LBL[0]->text().startsWith(QStringLiteral("总资产：215,000.00")));
    EXPECT_EQ(mf->TStatus->text(), mf->LBL[0]->text());

    // As the record editor and the import do: tree, refresh, then the range.
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
            "VALUES ('000002','万科A',#2023-06-01#,10,100,100,10,#2023-07-03#,12)");
    ReloadStockTree();
    RefreshCurrentNode();
    ResetDtpRange();
    EXPECT_EQ(mf->DTP[0]->date(), QDate(2023, 6, 1));
    EXPECT_EQ(grid.Rows(), grid.FixedRows() + 3);
    EXPECT_EQ(mf->TV->topLevelItem(0)->child(1)->childCount(), 2);
    // A window the user narrowed stays as it is.
    mf->DTP[0]->setDate(QDate(2024, 1, 1));
    ExecSql("UPDATE account SET bdate=#2022-01-04# WHERE code='000002'");
    ResetDtpRange();
    EXPECT_EQ(mf->DTP[0]->date(), QDate(2024, 1, 1));
    EXPECT_EQ(mf->DTP[0]->minimumDate(), QDate(2022, 1, 4));

    // A later day: the window ends where it was saved (or set), and a trade bought after that and sold
    // is stored. The window then ends today; a store inside the window keeps it.
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
            "VALUES ('000003','万科B',#2024-04-02#,10,100,100,10,#2024-05-10#,12)");
    struct Later {
        QDate from, to;  // the pickers before the store
        const char *bought;  // the buy date stored; nullptr: an import, any of the book's
        QDate wantFrom, wantTo;
        int rows;  // the root's grid: 600000 held, 000001 and 000003 sold inside the window
    };
    const Later later[] = {
        {QDate(2024, 1, 1), QDate(2024, 3, 31), "2024-04-02", QDate(2024, 1, 1), QDate(2024, 5, 18), 3},
        {QDate(2024, 1, 1), QDate(2024, 3, 31), nullptr, QDate(2024, 1, 1), QDate(2024, 5, 18), 3},
        {QDate(2024, 3, 31), QDate(2024, 1, 1), "2024-04-02", QDate(2024, 1, 1), QDate(2024, 5, 18), 3},
        {QDate(2024, 1, 1), QDate(2024, 4, 30), "2024-04-02", QDate(2024, 1, 1), QDate(2024, 4, 30), 3},
        {QDate(2024, 1, 1), QDate(2024, 3, 31), "2024-02-15", QDate(2024, 1, 1), QDate(2024, 3, 31), 2},
    };
    for (const Later &c : later) {
        const std::string what =
            (c.bought ? c.bought : "import") + std::string(" to ") + c.to.toString(Qt::ISODate).toStdString();
        mf->DTP[0]->setDate(c.from);
        mf->DTP[1]->setDate(c.to);
        ReloadStockTree();
        RefreshCurrentNode();
        ResetDtpRange(c.bought ? std::optional(DayNumberOf(QDate::fromString(c.bought, Qt::ISODate))) : std::nullopt);
        EXPECT_EQ(mf->DTP[0]->date(), c.wantFrom) << what;
        EXPECT_EQ(mf->DTP[1]->date(), c.wantTo) << what;
        EXPECT_EQ(grid.Rows(), grid.FixedRows() + c.rows) << what;
        EXPECT_EQ(mf->TV->topLevelItem(0)->child(1)->childCount(), c.rows - 1) << what;
    }
}

TEST_F(MFTest, RestartUpgradesReloadsTheTreeAndRefreshes)
{
    QStringList calls;
    StartupSteps s;
    s.upgradeDatabase = [&calls] { calls << "upgrade"; };
    s.getLastQuoteDate = [&calls] { calls << "lastQuoteDate"; };
    s.rebuildLastClosePrices = [&calls] { calls << "lastClose"; };
    s.downloadAllHistory = [&calls] {
        calls << "download";
        return 0.0;
    };
    s.loadFormParams = [&calls] { calls << "formParams"; };
    s.loadSysParams = [&calls] { calls << "sysParams"; };
    s.rebuildQuoteList = [&calls] { calls << "quotes"; };
    s.recalcDeelRes = [&calls](double) { calls << "recalc"; };
    CurrentStartupSteps() = s;
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2021-03-04#,10,100,100)");
    SaveParam("当前结点", "3");
    MainWindowHooks().nodeClick = [&calls](const std::optional<TreeNodeRef> &node) {
        calls << QStringLiteral("click %1").arg(node ? node->index : 0);
    };
    // The old book's view: another stock current, the window over its whole range.
    MFWindow *mf = MF();
    mf->SetDtpRange();
    mf->CurrentNode = TreeNodeRef{QStringLiteral("S000001"), QStringLiteral("[000001]平安银行"), 4};
    // The new book begins earlier.
    CurrentStartupSteps().upgradeDatabase = [&calls] {
        calls << "upgrade";
        ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('000001','平安银行',#2019-07-01#,9,100,100)");
    };
    mf->RestartSys();
    EXPECT_EQ(calls, (QStringList{"upgrade", "download", "formParams", "sysParams", "quotes", "recalc", "click 3"}));
    EXPECT_EQ(mf->TV->topLevelItemCount(), 1);
    EXPECT_EQ(mf->DTP[0]->minimumDate(), QDate(2019, 7, 1));
    EXPECT_EQ(mf->DTP[0]->date(), QDate(2019, 7, 1));
}

TEST_F(MFTest, SettingsPanelOpensUnderItsButtonAndHidesWhenTheMouseLeaves)
{
    MFWindow *mf = MF();
    mf->resize(1180, 760);
    mf->show();
    mf->Com_Click(11);
    ASSERT_TRUE(mf->MSFSet->isVisible());
    const QPoint under = mf->Com[11]->mapTo(mf->ClientArea(), QPoint(0, mf->Com[11]->height()));
    EXPECT_EQ(mf->MSFSet->pos(), under);

    auto moveTo = [mf](QPoint inPanel) {
        const QPoint global = mf->MSFSet->mapToGlobal(inPanel);
        QWidget *target = mf->ClientArea();
        QMouseEvent ev(QEvent::MouseMove, target->mapFromGlobal(global), global, Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(target, &ev);
    };
    moveTo(QPoint(5, -mf->Com[11]->height() + 1));  // over its own button: still inside
    EXPECT_TRUE(mf->MSFSet->isVisible());
    moveTo(QPoint(mf->MSFSet->width() + 3, 5));
    EXPECT_FALSE(mf->MSFSet->isVisible());
}

TEST_F(MFTest, CommandButtonsCarryTheirCaptions)
{
    MFWindow *mf = MF();
    std::vector<int> clicked;
    MainWindowHooks().commandRun = [&clicked](int i) { clicked.push_back(i); };
    EXPECT_EQ(mf->Com[0]->text(), "添加买卖记录");
    EXPECT_EQ(mf->Com[19]->text(), "参数设置");
    EXPECT_EQ(mf->Com[19]->toolTip(), "整理数据库");
    EXPECT_EQ(mf->Com[22]->text(), "列设置");
    EXPECT_EQ(mf->Chk[2]->text(), "实时更新当前价格");
    EXPECT_EQ(mf->windowTitle(), "Kelvaro股票记账软件");
    mf->Com[13]->click();
    mf->Com[20]->click();
    EXPECT_EQ(clicked, (std::vector<int>{13, 20}));
}

// The record writers reach the window through RecordsHooks; once the window is gone they reach
// nothing and make no new window.
TEST_F(MFTest, RecordWritersReachTheWindowOnlyWhileItExists)
{
    QStringList calls;
    MainWindowHooks().nodeClick = [&calls](const std::optional<TreeNodeRef> &node) {
        calls << "click " + (node ? node->key : QStringLiteral("none"));
    };
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum) VALUES ('600000','浦发银行',#2021-03-04#,10,100,100)");
    MFWindow *mf = MF();
    mf->CurrentNode = TreeNodeRef{QStringLiteral("S600000"), QStringLiteral("[600000] 浦发银行"), 6};
    mf->Pic[0]->picture().Tag = QStringLiteral("[600000] 浦发银行");
    KLineData().Code = QStringLiteral("600000");
    ASSERT_TRUE(CurrentNodeOf());
    EXPECT_EQ(CurrentNodeOf()->index, 6);
    RefreshCurrentNode();
    EXPECT_EQ(mf->MSF[0]->Grid().Rows(), mf->MSF[0]->Grid().FixedRows() + 1);
    ASSERT_EQ(mf->TV->topLevelItemCount(), 0);
    ReloadStockTree();
    EXPECT_EQ(mf->TV->topLevelItemCount(), 1);
    ResetDtpRange();
    ResetChart();
    EXPECT_EQ(calls, (QStringList{"click S600000"}));
    EXPECT_EQ(mf->DTP[0]->minimumDate(), QDate(2021, 3, 4));
    EXPECT_EQ(mf->Pic[0]->picture().Tag, QString());
    EXPECT_EQ(KLineData().Code, QString());

    delete mf;
    calls.clear();
    EXPECT_FALSE(CurrentNodeOf());
    RefreshCurrentNode();
    ReloadStockTree();
    ResetDtpRange();
    ResetChart();
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(LoadedMF(), nullptr);
}

// A command lets events through (a progress display, a download): the user's clicks, the check
// boxes, the tree and the timer do nothing meanwhile; afterwards they work again.
TEST_F(MFTest, UserEventsDuringALongCommandDoNothing)
{
    MFWindow *mf = MF();
    mf->resize(1180, 760);
    mf->show();
    auto *item = new QTreeWidgetItem(QStringList{QStringLiteral("[600000] 浦发银行")});
    item->setData(0, kNodeKeyRole, QStringLiteral("S600000"));
    item->setData(0, kNodeIndexRole, 6);
    mf->TV->addTopLevelItem(item);
    QCoreApplication::processEvents();

    QStringList ran;
    MainWindowHooks().nodeClick = [&ran](const std::optional<TreeNodeRef> &node) {
        ran << QStringLiteral("node %1 %2").arg(node ? node->key : "none").arg(node ? node->index : 0);
    };
    auto userEvents = [mf, item] {
        mf->Com[2]->click();
        mf->Chk[1]->click();
        QWidget *viewport = mf->TV->viewport();
        const QPoint at = mf->TV->visualItemRect(item).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent ev(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                           type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &ev);
        }
        QMetaObject::invokeMethod(mf->Timer1, "timeout");
        QCoreApplication::processEvents();
    };
    bool gridEnabledInside = true;
    bool busyInside = false;
    // Split without a data row changes nothing; its start lets the user's events through.
    MainWindowHooks().commandRun = [&](int i) {
        ran << QStringLiteral("com %1").arg(i);
        if (i == 12) {
            gridEnabledInside = mf->MSF[0]->isEnabled();
            busyInside = IsBusy();
            userEvents();
        }
    };
    const bool chk1 = mf->Chk[1]->isChecked();
    mf->Com[12]->click();
    EXPECT_EQ(ran, QStringList{"com 12"});
    EXPECT_FALSE(gridEnabledInside);
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(mf->Chk[1]->isChecked(), chk1);  // put back
    EXPECT_FALSE(item->isSelected());  // the press was dropped: the selection stayed
    EXPECT_FALSE(mf->CurrentNode);
    EXPECT_TRUE(mf->MSF[0]->isEnabled());
    EXPECT_FALSE(IsBusy());

    ran.clear();
    userEvents();
    EXPECT_EQ(ran, (QStringList{"com 2", "node S600000 6"}));
    EXPECT_NE(mf->Chk[1]->isChecked(), chk1);
    EXPECT_TRUE(item->isSelected());
    ASSERT_TRUE(mf->CurrentNode);
    EXPECT_EQ(mf->CurrentNode->key, "S600000");
}

// However a command ends, the grid it disabled is enabled again and the guard is released; a
// command run inside another leaves the grid disabled until the outer one ends.
TEST_F(MFTest, TheGridComesBackAfterACommandHoweverItEnds)
{
    MFWindow *mf = MF();
    std::vector<std::pair<bool, bool>> atStart;  // grid enabled, busy: as each command starts
    std::function<void()> body;
    MainWindowHooks().commandRun = [&](int i) {
        atStart.emplace_back(mf->MSF[0]->isEnabled(), IsBusy());
        if (i == 12 && body)
            body();
    };
    bool gridAfterInner = true;
    struct Case {
        const char *what;
        std::function<void()> body;
        int commands;
    };
    const Case cases[] = {
        {"ends at once", nullptr, 1},
        {"fails midway",
         [] { CompactDatabase(ProgramFilePath(QStringLiteral("NONE.MDB")), QString(), true); }, 1},
        {"runs another command inside",
         [&] {
             mf->Com_Click(2);
             gridAfterInner = mf->MSF[0]->isEnabled();
         },
         2},
    };
    for (const Case &c : cases) {
        atStart.clear();
        body = c.body;
        mf->Com[12]->click();
        ASSERT_EQ(atStart.size(), static_cast<size_t>(c.commands)) << c.what;
        for (const auto &[enabled, busy] : atStart) {
            EXPECT_FALSE(enabled) << c.what;
            EXPECT_TRUE(busy) << c.what;
        }
        EXPECT_TRUE(mf->MSF[0]->isEnabled()) << c.what;
        EXPECT_FALSE(IsBusy()) << c.what;
    }
    EXPECT_FALSE(gridAfterInner);
    EXPECT_EQ(prompter.Messages(), QStringList{"没有找到要压缩的数据库文件！"});
}

// The load lets events through when the database cannot be opened at once; an event that asks for
// the main window then gets the one being loaded, never a second one.
TEST_F(MFTest, NothingDuringTheLoadMakesASecondWindow)
{
    SetDbRetryTiming(DbRetryTiming{0, 1, 0, 0});
    ASSERT_TRUE(QFile::rename(PathOf("ACC.MDB"), PathOf("away.mdb")));
    MFWindow *duringLoad = nullptr;
    QTimer::singleShot(0, [&duringLoad] { duringLoad = MF(); });
    MFWindow *mf = MF();
    // A missing book fails at once, so the timer may run only after the load: either way it finds the
    // one window.
    QCoreApplication::processEvents();
    EXPECT_EQ(duringLoad, mf);
    int windows = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        windows += qobject_cast<MFWindow *>(w) ? 1 : 0;
    EXPECT_EQ(windows, 1);
    ASSERT_TRUE(QFile::rename(PathOf("away.mdb"), PathOf("ACC.MDB")));
}

// A refresh tick during trading hours whose quote request waits: past a second the progress window
// says so, and meanwhile a click on the grid or a command button is ignored, the grid keeping its row
// and the chart its stock. Closing the window gives the refresh up, and the quote service is then left
// alone as after a stall: the next tick neither asks it nor shows the window again. Once the tick is
// over the same clicks work.
TEST_F(MFTest, ClicksDuringARefreshThatWaitsAreIgnoredAndClosingItsWaitLeavesTheServiceAlone)
{
    SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(10, 0), QTimeZone(kMarketUtcOffsetSeconds)); });
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
            "VALUES ('600000','浦发银行',#2024-01-10#,10,3000,3000,10,#1900-1-1#,0)");
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,sdate,sprice) "
            "VALUES ('000001','平安银行',#2024-02-01#,10,100,100,10,#1900-1-1#,0)");
    SaveParam("FPAR_MF_chk", "1【⊙】1【⊙】1【⊙】0");
    SaveParam("当前结点", "2");
    LoadFormParams();
    SetSysParams(200000, 0.0003, 1, 10, 0.075);
    FakeServices services;
    services.Install();
    const QString day = QStringLiteral("2024-05-20");
    services.SetQuote("sh000001", FakeServices::QuoteFields("上证指数", 3000, 2990, 3001, 3010, 2980, day));
    services.SetQuote("sh600000", FakeServices::QuoteFields("浦发银行", 10.5, 10.4, 10.8, 11, 10.2, day));
    services.SetQuote("sz000001", FakeServices::QuoteFields("平安银行", 9.5, 9.4, 9.8, 10, 9.2, day));
    Quotes().rows = {{"1A0001", 3000, 3010, 2980, 3001, 2990}, {"000001", 9.5, 10, 9.2, 9.8, 9.4},
                     {"600000", 10.5, 11, 10.2, 10.8, 10.4}};
    Quotes().listDate = ClockNowDayNumber();
    ASSERT_TRUE(IsTradingTime(false));
    MFWindow *mf = MF();
    mf->resize(1180, 760);
    mf->show();
    mf->Form_Activate();
    FlexGridView *view = mf->MSF[0];
    const FlexGrid &grid = view->Grid();
    ASSERT_EQ(grid.Rows(), grid.FixedRows() + 2);
    const int first = grid.FixedRows();
    const auto clickRow = [view, first](int row) {
        const QPoint at = view->visualRect(view->model()->index(row - first, 3)).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent ev(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                           type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &ev);
        }
    };
    clickRow(first);
    ASSERT_EQ(grid.Row(), first);
    const QString shown = KLineData().Code;
    ASSERT_EQ(shown, grid.TextMatrix(first, 2));
    QStringList ran;
    MainWindowHooks().commandRun = [&ran](int i) { ran << QStringLiteral("com %1").arg(i); };

    InstallIndicatorWindow();
    services.AddFault(QStringLiteral("/hq/"), FakeFault{FakeFault::None, 60000});
    bool clicked = false;
    QString caption;
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&] {
        IndicatorForm *w = LoadedIndicator();
        if (clicked || !w || !w->isVisible())
            return;
        clicked = true;
        caption = w->LBL->text();
        clickRow(first + 1);
        mf->Com[14]->click();
        w->close();
    });
    user.start();
    QMetaObject::invokeMethod(mf->Timer1, "timeout");
    EXPECT_TRUE(clicked);
    EXPECT_EQ(caption, QStringLiteral("正在连接实时行情服务，等待应答（最长30秒）……"));
    EXPECT_FALSE(IndicatorShown());
    EXPECT_TRUE(ran.isEmpty());
    EXPECT_EQ(grid.Row(), first);
    EXPECT_EQ(KLineData().Code, shown);
    EXPECT_EQ(grid.TextMatrix(first, 2), shown);

    clicked = false;
    const size_t asked = services.Requests().size();
    services.AddFault(QStringLiteral("/hq/"), FakeFault{FakeFault::None, 60000});
    QMetaObject::invokeMethod(mf->Timer1, "timeout");
    user.stop();
    SetIndicatorView(nullptr);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(services.Requests().size(), asked);
    EXPECT_TRUE(ServiceIsDown(QuoteService()));

    clickRow(first + 1);
    EXPECT_EQ(grid.Row(), first + 1);
    EXPECT_EQ(KLineData().Code, grid.TextMatrix(first + 1, 2));
    mf->Com[14]->click();
    EXPECT_EQ(ran, QStringList{"com 14"});
}

}  // namespace

// The chart draws into the window's picture while the window exists, and a new layout redraws it at
// the picture's new size.
TEST_F(MFTest, TheChartDrawsIntoTheWindowsPictureAndFollowsItsSize)
{
    FakeServices services;
    services.Install();
    services.SetSqlAnswer("sp_", FakeServices::SqlRowsBody({"trdat"}, {}, 0));
    ASSERT_TRUE(EnsureHistoryTable("600000"));
    Exec("INSERT INTO H_600000 (trdat,opprice,clprice,mxprice,mnprice) VALUES (#2024-05-17#,10,10.2,10.3,9.9)");
    ResetKLineData();
    MFWindow *mf = MF();
    Picture &pic = mf->Pic[0]->picture();
    ASSERT_EQ(KLinePicture(), &pic);
    EXPECT_EQ(mf->Ln[2]->parentWidget(), mf->Pic[0]);
    EXPECT_EQ(mf->LBL[2]->parentWidget(), mf->Pic[0]);
    ShowKLine("[600000]浦发银行");
    EXPECT_EQ(pic.Tag, "[600000]浦发银行");
    EXPECT_EQ(KLineData().BarCount(), 1);
    // The crosshair lines and the read-out are handed over with the picture.
    EXPECT_EQ(mf->LBL[2]->text(), "2024-05-17");
    EXPECT_GE(mf->LBL[2]->y(), 60) << "the read-out leaves the title and the legend lines visible";
    EXPECT_EQ(mf->Ln[2]->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(pic.Image().size(), mf->Pic[0]->size());

    mf->ClientArea()->resize(900, 700);
    mf->Form_Resize();
    EXPECT_EQ(pic.Image().size(), mf->Pic[0]->size());
    EXPECT_EQ(pic.Image().width(), mf->MSF[0]->width());

    CloseMF();
    EXPECT_EQ(KLinePicture(), nullptr);
    EXPECT_EQ(KLineReadout(), nullptr);
    ShowKLine("[000002]万科A");
    EXPECT_EQ(KLineData().Code, "600000");
    ResetKLineData();
}
