// The main window: load, first activation, date window, splitters, settings panel, refresh timer,
// restart and shut-down.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include "fixtures/db_fixture.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/main_sub.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "storage/db_operate.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

class MFTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(20, 0)); });
        ResetFormParamSets();
        MainWindowHooks() = MFHooks{};
        MainWindowHooks().endProgram = [this] { ++ended; };
    }
    void TearDown() override
    {
        delete LoadedMF();
        MainWindowHooks() = MFHooks{};
        CurrentStartupSteps() = DefaultStartupSteps();
        SetClock(nullptr);
        DbFixture::TearDown();
    }
    // Closes the main window as the user does and lets its deletion happen.
    static void CloseMF()
    {
        MF()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Lets events through until a postponed close has happened (at most 2 s).
    static void WaitForTheDeferredClose()
    {
        QElapsedTimer t;
        t.start();
        while (LoadedMF() && t.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    int ended = 0;
};

TEST_F(MFTest, LoadGivesOpenRecordsTheEmptySellDate)
{
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) "
            "VALUES ('600000','浦发银行',#2024-01-10#,10,100,100,#2023-05-05#,0)");
    ExecSql("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) "
            "VALUES ('000001','平安银行',#2024-01-10#,10,100,100,#2024-02-05#,11)");
    MF();
    EXPECT_EQ(GetFieldValue("account", "code='600000'", "sdate", MakeEmpty()).num, kEmptyDate);
    EXPECT_EQ(GetFieldValue("account", "code='000001'", "sdate", MakeEmpty()).num, DayNumberOf(2024, 2, 5));
}

TEST_F(MFTest, DateWindowRange)
{
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
        MF()->SetDtpRange();
        for (QDateEdit *d : MF()->DTP) {
            EXPECT_EQ(d->minimumDate(), c.min) << (c.bdate ? c.bdate : "empty");
            EXPECT_EQ(d->maximumDate(), QDate(2024, 5, 20));
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
    mf->SpBar[0]->move(300, 0);
    mf->SpBar[1]->move(mf->SpBar[1]->x(), 400);
    CloseMF();

    EXPECT_EQ(GetParam("FPAR_MF_chk"), "1【⊙】1【⊙】0【⊙】0");
    EXPECT_EQ(GetParam("FPAR_MF_dtp"), "2024-01-01【⊙】2024-05-20");
    EXPECT_EQ(GetParam("FPAR_MF_pic"), "4500【⊙】6000");
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
    EXPECT_EQ(mf->SpBar[0]->x(), 300);
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
        SaveParam("当前结点", "");
        MainWindowHooks().loadStockTree = [](QTreeWidget *tv) {
            tv->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("我的股票")}));
            MF()->CurrentNode = TreeNodeRef{QStringLiteral("C2"), QStringLiteral("曾经持有"), 3};
        };
        c.run();
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

TEST_F(MFTest, SavedSplitterPositionsAreKeptInsideTheirLimits)
{
    SaveParam("FPAR_MF_pic", "200【⊙】99999");
    LoadFormParams();
    MFWindow *mf = MF();
    EXPECT_EQ(mf->SpBar[0]->x(), 33);  // the Tag minimum of 500 twips
    const int clientHeight = mf->ClientArea()->height();
    EXPECT_EQ(mf->SpBar[1]->y(), clientHeight - mf->SpBar[1]->height());
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
    EXPECT_EQ(bar->x(), w - bar->width() - 20);  // 300 twips from the far edge
    emit bar->released();
    EXPECT_EQ(mf->TV->width(), bar->x());
    EXPECT_EQ(mf->Frm[0]->x(), bar->x() + bar->width());
    EXPECT_EQ(mf->SpBar[1]->x(), bar->x() + bar->width());
}

TEST_F(MFTest, ShrinkingPullsTheBarsInsideBeforeTheLayout)
{
    MFWindow *mf = MF();
    mf->SpBar[0]->move(900, 0);
    mf->SpBar[1]->move(mf->SpBar[1]->x(), 600);
    mf->ClientArea()->resize(700, 500);
    mf->Form_Resize();
    EXPECT_EQ(mf->SpBar[0]->x(), 700 - mf->SpBar[0]->width());
    EXPECT_EQ(mf->SpBar[1]->y(), 500 - mf->SpBar[1]->height());
    EXPECT_EQ(mf->TStatus->y() + mf->TStatus->height(), 500);
    EXPECT_EQ(mf->Pic[0]->y(), mf->SpBar[1]->y() + mf->SpBar[1]->height());
}

// A height a control cannot take (negative) is refused on its own: the control still takes its new
// width, so the grid and the chart keep lining up with the command bar.
TEST_F(MFTest, ARefusedHeightStillLetsTheWidthFollow)
{
    struct Case {
        const char *what;
        int barTop;  // of the horizontal bar
        QSize client;
    };
    const Case cases[] = {
        {"bar above the grid's top", 40, QSize(1400, 760)},
        {"window lower than the chart's top", 400, QSize(900, 410)},
    };
    for (const Case &c : cases) {
        MFWindow *mf = MF();
        mf->SpBar[1]->move(mf->SpBar[1]->x(), c.barTop);
        mf->ClientArea()->resize(c.client);
        mf->Form_Resize();
        ASSERT_EQ(mf->SpBar[1]->y(), c.barTop) << c.what;
        const int right = mf->SpBar[0]->x() + mf->SpBar[0]->width();
        EXPECT_EQ(mf->Frm[0]->width(), c.client.width() - right) << c.what;
        EXPECT_EQ(mf->MSF[0]->width(), mf->Frm[0]->width()) << c.what;
        EXPECT_EQ(mf->Pic[0]->width(), mf->MSF[0]->width()) << c.what;
        EXPECT_GE(mf->MSF[0]->height(), 0) << c.what;
        EXPECT_GE(mf->Pic[0]->height(), 0) << c.what;
        delete mf;
    }
}

TEST_F(MFTest, OnlyTheFirstActivationLoadsTheTree)
{
    int loads = 0;
    QStringList refreshed;
    MainWindowHooks().loadStockTree = [&loads](QTreeWidget *tv) {
        ++loads;
        tv->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("我的股票")}));
        MF()->CurrentNode = TreeNodeRef{QString(), QStringLiteral("我的股票"), 1};
    };
    MainWindowHooks().nodeClick = [&refreshed](const std::optional<TreeNodeRef> &node) {
        refreshed << (node ? node->text : QStringLiteral("none"));
    };
    MF()->Form_Activate();
    MF()->Form_Activate();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(refreshed, QStringList{QStringLiteral("我的股票")});
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
    MainWindowHooks().loadStockTree = [&calls](QTreeWidget *) {
        calls << "tree";
        MF()->CurrentNode = TreeNodeRef{QStringLiteral("C2"), QStringLiteral("曾经持有"), 3};
    };
    MainWindowHooks().nodeClick = [&calls](const std::optional<TreeNodeRef> &node) {
        calls << QStringLiteral("click %1").arg(node ? node->index : 0);
    };
    MF()->RestartSys();
    EXPECT_EQ(calls, (QStringList{"upgrade", "download", "formParams", "sysParams", "quotes", "recalc", "tree",
                                  "click 3"}));
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
    MainWindowHooks().comClick = [&clicked](int i) { clicked.push_back(i); };
    EXPECT_EQ(mf->Com[0]->text(), "添加买卖记录");
    EXPECT_EQ(mf->Com[19]->text(), "参数设置");
    EXPECT_EQ(mf->Com[22]->text(), "列设置");
    EXPECT_EQ(mf->Chk[2]->text(), "实时更新当前价格");
    EXPECT_EQ(mf->windowTitle(), "Kelvaro股票记账软件");
    mf->Com[13]->click();
    mf->Com[22]->click();
    EXPECT_EQ(clicked, (std::vector<int>{13, 22}));
}

}  // namespace
