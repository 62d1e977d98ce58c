// The settings windows: system settings, grid colours, the column chooser and the about box; what
// each stores, when the main window is refreshed, and that each closes for good.
#include <gtest/gtest.h>

#include <functional>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "fixtures/mouse_clicks.h"
#include "mainwindow/col_fields.h"
#include "mainwindow/forms/col_set.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/forms/msf_view_set.h"
#include "mainwindow/forms/rightform.h"
#include "mainwindow/forms/sys_set.h"
#include "mainwindow/main_sub.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/forms/color_box.h"
#include "records/calc.h"
#include "storage/dialogs.h"
#include "storage/grid_ops.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

const QString kSysKey = QStringLiteral("FPAR_SysSet_tt");
const QString kViewKey = QStringLiteral("FPAR_MSFViewSet_tt");

QStringList Texts(const std::vector<QString> &v)
{
    return QStringList(v.begin(), v.end());
}

// Lets the closed windows be destroyed.
void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class SettingsFormsTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return QDateTime(QDate(2024, 3, 9), QTime(10, 0)); });  // a Saturday
        ResetFormParamSets();
        ResetCalendar();
        ResetQuoteCache();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        services.Install();
        MainWindowHooks() = MFHooks{};
        MainWindowHooks().nodeClick = [this](const std::optional<TreeNodeRef> &) { ++refreshes; };
        MF()->CurrentNode = TreeNodeRef{QString(), QStringLiteral("我的股票"), 1};
    }
    void TearDown() override
    {
        delete LoadedSysSet();
        delete LoadedMSFViewSet();
        delete LoadedColSet();
        delete LoadedRightform();
        delete LoadedMF();
        MainWindowHooks() = MFHooks{};
        RecordsWindowHooks() = RecordsHooks{};
        SetShellOpenHook(nullptr);
        ColSetTable().clear();
        ColSetMode() = 0;
        ResetFormParamSets();
        ResetCalendar();
        ResetQuoteCache();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        SetClock(nullptr);
        DbFixture::TearDown();
    }
    // A week of trading (4 to 8 March 2024) and one open record of 1000 × 10 bought on the Monday.
    void Book()
    {
        ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("1A0001")));
        ASSERT_TRUE(EnsureHistoryTable(QStringLiteral("600000")));
        for (int d = 4; d <= 8; ++d) {
            Exec(QStringLiteral("INSERT INTO H_1A0001(trdat,opprice,clprice,mxprice,mnprice) "
                                "VALUES(#2024-03-0%1#,3000,3000,3000,3000)").arg(d));
            Exec(QStringLiteral("INSERT INTO H_600000(trdat,opprice,clprice,mxprice,mnprice) "
                                "VALUES(#2024-03-0%1#,10,10,10,10)").arg(d));
        }
        Exec("INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice) "
             "VALUES('600000','浦发银行',#2024-03-04#,10,1000,1000,#1900-1-1#,0)");
        ASSERT_TRUE(RecalcTradeAmounts(MakeLong(1)));
    }
    static double Num(const QString &table, const QString &where, const QString &field)
    {
        return GetFieldValue(table, where, field, MakeDouble(-1)).ToDouble();
    }
    FakeServices services;
    int refreshes = 0;
};

// OK stores the five texts and puts them into force; only a capital of another amount rebuilds the
// asset table (then the main window is refreshed once); Cancel stores nothing; a book whose settings
// were never saved shows the settings in force, so that an OK keeps them. A box that is not a number
// in its range is refused with its message: nothing stored, nothing in force, the window open. A
// restart then shows what was stored.
TEST_F(SettingsFormsTest, SystemSettings)
{
    Book();
    const double bcash = Num("account", "id=1", "bcash");
    ASSERT_GT(bcash, 10000);
    const QString stored = QStringLiteral("200000【⊙】0.3【⊙】1【⊙】10【⊙】7.5");
    struct Case {
        const char *name;
        const char *saved;  // nullptr: never saved
        int box;
        const char *text;
        int button;
        QStringList shown;    // the boxes as the window opens
        const char *row;      // the stored row afterwards
        double capital;       // in force afterwards
        int timerMs;          // 0: stopped
        bool rebuilt;
        const char *message;  // refused with this message ("" when taken)
    };
    const QStringList usual{"200000", "0.3", "1", "10", "7.5"};
    const char *kept = "200000【⊙】0.3【⊙】1【⊙】10【⊙】7.5";
    const char *capitalMsg = "错误：初始资金(元)应为0至1万亿之间的数字，或者留空！";
    const char *commissionMsg = "错误：交易佣金(千分之)应为0至30之间的数字！";
    const char *multipleMsg = "错误：每次加仓倍数应为大于0、不超过100的数字！";
    const char *intervalMsg = "错误：实时更新间隔(秒)应为0（不更新）或1至3600之间的数字！";
    const char *positionMsg = "错误：默认建仓仓位%应为0至100之间的数字！";
    const Case cases[] = {
        {"interval only", "s", 3, "30", 0, usual, "200000【⊙】0.3【⊙】1【⊙】30【⊙】7.5", 200000, 30000, false, ""},
        {"equal amount", "s", 0, "200000.0", 0, usual, "200000.0【⊙】0.3【⊙】1【⊙】10【⊙】7.5", 200000, 10000, false, ""},
        {"new capital", "s", 0, "300000", 0, usual, "300000【⊙】0.3【⊙】1【⊙】10【⊙】7.5", 300000, 10000, true, ""},
        {"grouped capital", "s", 0, " 300,000 ", 0, usual, "300000【⊙】0.3【⊙】1【⊙】10【⊙】7.5", 300000, 10000, true, ""},
        {"empty capital", "s", 0, "", 0, usual, "【⊙】0.3【⊙】1【⊙】10【⊙】7.5", 0, 10000, true, ""},
        {"cancel", "s", 0, "300000", 1, usual, kept, 200000, 5000, false, ""},
        {"never saved", nullptr, 3, "30", 0, usual, "200000【⊙】0.3【⊙】1【⊙】30【⊙】7.5", 200000, 30000, false, ""},
        {"two saved", "150000【⊙】0.25", 3, "30", 0, {"150000", "0.25", "1", "10", "7.5"},
         "150000【⊙】0.25【⊙】1【⊙】30【⊙】7.5", 150000, 30000, false, ""},
        {"wide blanks", "s", 3, "\u300030\u3000", 0, usual, "200000【⊙】0.3【⊙】1【⊙】30【⊙】7.5", 200000, 30000, false, ""},
        {"no refresh", "s", 3, "0", 0, usual, "200000【⊙】0.3【⊙】1【⊙】0【⊙】7.5", 200000, 0, false, ""},
        {"letters", "s", 0, "abc", 0, usual, kept, 200000, 5000, false, capitalMsg},
        {"ten thousands", "s", 0, "20万", 0, usual, kept, 200000, 5000, false, capitalMsg},
        {"separator", "s", 0, "200000【⊙】0.99", 0, usual, kept, 200000, 5000, false, capitalMsg},
        {"exponent", "s", 0, "1e308", 0, usual, kept, 200000, 5000, false, capitalMsg},
        {"above 10^12", "s", 0, "1000000000001", 0, usual, kept, 200000, 5000, false, capitalMsg},
        {"negative capital", "s", 0, "-5", 0, usual, kept, 200000, 5000, false, capitalMsg},
        {"empty commission", "s", 1, "", 0, usual, kept, 200000, 5000, false, commissionMsg},
        {"negative commission", "s", 1, "-50", 0, usual, kept, 200000, 5000, false, commissionMsg},
        {"commission above 30", "s", 1, "30.5", 0, usual, kept, 200000, 5000, false, commissionMsg},
        {"multiple 0", "s", 2, "0", 0, usual, kept, 200000, 5000, false, multipleMsg},
        {"negative interval", "s", 3, "-1", 0, usual, kept, 200000, 5000, false, intervalMsg},
        {"half a second", "s", 3, "0.5", 0, usual, kept, 200000, 5000, false, intervalMsg},
        {"above an hour", "s", 3, "3601", 0, usual, kept, 200000, 5000, false, intervalMsg},
        {"position above 100", "s", 4, "100.5", 0, usual, kept, 200000, 5000, false, positionMsg},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Exec("DELETE FROM 参数 WHERE Var='FPAR_SysSet_tt'");
        SysSetParams() = FormParamSet{};
        if (c.saved) {
            const QString saved = QString::fromUtf8(c.saved) == "s" ? stored : QString::fromUtf8(c.saved);
            ASSERT_TRUE(SaveParam(kSysKey, saved));
            RestoreFormParams(nullptr, QStringLiteral("SysSet"), SysSetParams());
        }
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        MF()->Timer1->start(5000);
        Exec("DELETE FROM DeelRes");
        Exec("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(#2024-03-05#,1,2,3)");
        refreshes = 0;
        prompter.shown.clear();

        SysSetForm *form = SysSet();
        EXPECT_EQ(SysSet(), form);
        QStringList shown;
        for (QLineEdit *box : form->TT)
            shown << box->text();
        EXPECT_EQ(shown.join(u'|'), c.shown.join(u'|'));
        EXPECT_EQ(form->TT[3]->toolTip(), "更新实时价格的时间间隔（0表示不更新）");
        form->TT[c.box]->setText(QString::fromUtf8(c.text));
        LeftClick(form->Com[c.button]);
        Settle();
        EXPECT_EQ(prompter.Messages().join(u'|'), QString::fromUtf8(c.message));
        if (*c.message) {
            ASSERT_EQ(LoadedSysSet(), form);
            LeftClick(form->Com[1]);
            Settle();
        }
        EXPECT_EQ(LoadedSysSet(), nullptr);

        EXPECT_EQ(GetParam(kSysKey), QString::fromUtf8(c.row));
        EXPECT_EQ(InitialCapital(), c.capital);
        EXPECT_EQ(MF()->Timer1->isActive() ? MF()->Timer1->interval() : 0, c.timerMs);
        EXPECT_EQ(refreshes, c.rebuilt ? 1 : 0);
        if (c.rebuilt) {
            EXPECT_EQ(Num("DeelRes", "dat=#2024-03-04#", "cash"), c.capital - bcash);
            EXPECT_EQ(Num("DeelRes", "dat=#2024-03-05#", "sm"), c.capital - bcash + 10000);
        } else {
            EXPECT_EQ(Num("DeelRes", "TRUE", "COUNT(*)"), 1);
            EXPECT_EQ(Num("DeelRes", "dat=#2024-03-05#", "cash"), 1);
        }

        // A restart reads the stored row back: the same capital in force, the same five boxes.
        ResetFormParamSets();
        LoadFormParams();
        LoadSysParams();
        EXPECT_EQ(InitialCapital(), c.capital);
        shown.clear();
        for (QLineEdit *box : SysSet()->TT)
            shown << box->text();
        EXPECT_EQ(shown.join(u'|'), QString::fromUtf8(c.row).replace(kParamSeparator, QStringLiteral("|")));
        LeftClick(LoadedSysSet()->Com[1]);
        Settle();
    }
}

// A pick shows at once (the record filled, one refresh) and is stored by any close; a cancelled
// dialog changes nothing; "取   消" puts the opening colours back with a second refresh.
TEST_F(SettingsFormsTest, GridColours)
{
    MF()->Com_Click(21);
    MSFViewSetForm *form = LoadedMSFViewSet();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    const QStringList designed{"128", "12632319", "16384", "12648384", "14737632",
                               "14737632", "128", "12648384", "14737632"};
    QStringList texts;
    for (ColorBox *box : form->TT) {
        texts << box->text();
        EXPECT_EQ(box->ForeColor(), box->BackColor());
        EXPECT_EQ(QString::number(box->BackColor()), box->text());
    }
    EXPECT_EQ(texts, designed);
    EXPECT_EQ(form->Label1[8]->text(), "实时(持平)颜色：");
    form->close();
    Settle();
    EXPECT_EQ(GetParam(kViewKey, "none"), "none") << "nothing picked, nothing stored";
    EXPECT_TRUE(MSFViewSetParams().tt.empty());

    // A pick, then the close box.
    form = MSFViewSet();
    prompter.colorAnswers = {255u};
    LeftClick(form->TT[2]);
    EXPECT_EQ(form->TT[2]->BackColor(), 255u);
    ASSERT_EQ(MSFViewSetParams().tt.size(), 9u);
    EXPECT_EQ(MSFViewSetParams().tt[2], "255");
    EXPECT_EQ(MSFViewSetParams().tt[0], "128");
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(GetParam(kViewKey, "none"), "none");
    // A cancelled dialog returns the box's own colour: nothing happens.
    prompter.colorAnswers = {std::nullopt};
    form->TT_Click(2);
    EXPECT_EQ(refreshes, 1);
    form->close();
    Settle();
    QStringList picked = designed;
    picked[2] = "255";
    EXPECT_EQ(GetParam(kViewKey), picked.join(kParamSeparator));

    // A pick, then "取   消": the colours of the opening come back, stored as they were.
    form = MSFViewSet();
    EXPECT_EQ(form->TT[2]->BackColor(), 255u);
    prompter.colorAnswers = {65280u};
    form->TT_Click(4);
    EXPECT_EQ(MSFViewSetParams().tt[4], "65280");
    form->Com_Click(1);
    Settle();
    EXPECT_EQ(LoadedMSFViewSet(), nullptr);
    EXPECT_EQ(refreshes, 3);
    EXPECT_EQ(Texts(MSFViewSetParams().tt), picked);
    EXPECT_EQ(GetParam(kViewKey), picked.join(kParamSeparator));
}

// The chooser lists the columns after code and name, ticked as they show; ticks, moves, OK and
// Cancel, and the trade grid that follows the stored choice.
TEST_F(SettingsFormsTest, ColumnChooser)
{
    const QString key = QStringLiteral("FN_account");
    MF()->Com_Click(22);
    ColSetForm *form = LoadedColSet();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Table(), "account");
    EXPECT_EQ(form->FixedPrefix(), "code,sname,");
    FlexGrid &grid = form->MSF->Grid();
    const int first = grid.FixedRows();
    ASSERT_EQ(grid.Rows() - first, 14);
    EXPECT_EQ(grid.FixedCols(), 2);
    EXPECT_EQ(grid.TextMatrix(first - 1, 3), "列名称");
    EXPECT_EQ(grid.TextMatrix(first, 0), "num");
    EXPECT_EQ(grid.TextMatrix(first, 3), "数量");
    EXPECT_EQ(grid.TextMatrix(grid.Rows() - 1, 0), "days");
    for (int r = first; r < grid.Rows(); ++r) {
        EXPECT_EQ(grid.TextMatrix(r, 2), kCheckMark) << r;
        EXPECT_NE(grid.TextMatrix(r, 0), "code");
        EXPECT_NE(grid.TextMatrix(r, 0), "sname");
    }
    EXPECT_EQ(grid.ColWidth(0), 0);

    // A press on the tick column's caption clears every tick; a press on a heading changes nothing.
    // Presses at the middle of a cell of the list, in twips.
    auto press = [](ColSetForm *f, int col, int row) {
        const FlexGrid &g = f->MSF->Grid();
        double x = g.ColWidth(col) / 2.0;
        for (int c = 0; c < col; ++c)
            x += g.ColWidth(c);
        double y = g.RowHeight(row) / 2.0;
        for (int r = 0; r < row; ++r)
            y += g.RowHeight(r);
        f->MSF_MouseDown(1, 0, x, y);
    };
    press(form, 3, first + 1);
    EXPECT_EQ(grid.TextMatrix(first + 1, 2), kCheckMark);
    press(form, 2, first - 1);
    for (int r = first; r < grid.Rows(); ++r)
        EXPECT_EQ(grid.TextMatrix(r, 2), "") << r;
    LeftClick(form->Com[0]);
    Settle();
    EXPECT_EQ(LoadedColSet(), nullptr);
    EXPECT_EQ(ColSetMode(), 0);
    EXPECT_EQ(GetParam(key), "code,sname, ");
    EXPECT_EQ(refreshes, 1);
    const FlexGrid &main = MF()->MSF[0]->Grid();
    ASSERT_EQ(main.Cols(), 4);
    QStringList fields;
    for (int c = 0; c < main.Cols(); ++c)
        fields << main.TextMatrix(0, c);
    EXPECT_EQ(fields, (QStringList{"ID", "", "code", "sname"}));
    EXPECT_EQ(main.TextMatrix(1, 1), "序号");
    EXPECT_EQ(main.TextMatrix(1, 3), "股票名称");

    // days moved up to the top, one place per press; the numbers stay in order.
    MF()->Com_Click(22);
    form = LoadedColSet();
    FlexGrid &list = form->MSF->Grid();
    ASSERT_EQ(list.Rows() - first, 14);
    EXPECT_EQ(list.TextMatrix(first, 2), "") << "nothing past code and name shows";
    list.SetRow(list.Rows() - 1);
    list.SetRowSel(list.Rows() - 1);
    for (int i = 0; i < 13; ++i)
        form->Com_Click(2);
    EXPECT_EQ(list.TextMatrix(first, 0), "days");
    EXPECT_EQ(list.TextMatrix(first + 1, 0), "num");
    form->Com_Click(2);
    EXPECT_EQ(list.TextMatrix(first, 0), "days");
    EXPECT_EQ(list.TextMatrix(first, 3), "天数");
    for (int r = first; r < list.Rows(); ++r)
        EXPECT_EQ(list.TextMatrix(r, 1), QString::number(r - first + 1));
    press(form, 2, first);
    press(form, 2, first + 1);
    form->Com_Click(0);
    Settle();
    EXPECT_EQ(GetParam(key), "code,sname,days,num ");
    EXPECT_EQ(refreshes, 2);

    // Cancel, and a close by the close box, store nothing and reset the mode.
    for (int how = 0; how < 2; ++how) {
        MF()->Com_Click(22);
        form = LoadedColSet();
        EXPECT_EQ(form->MSF->Grid().TextMatrix(first, 2), kCheckMark);
        press(form, 2, first - 1);
        if (how == 0)
            LeftClick(form->Com[1]);
        else
            form->close();
        Settle();
        EXPECT_EQ(LoadedColSet(), nullptr);
        EXPECT_EQ(ColSetMode(), 0);
        EXPECT_EQ(GetParam(key), "code,sname,days,num ");
        EXPECT_EQ(refreshes, 2);
    }
}

// While a long operation holds the busy guard, what would refill the main window or rebuild the asset
// table does nothing and the window stays; once it is over the same action works.
TEST_F(SettingsFormsTest, ActionsThatRefreshWaitWhileBusy)
{
    struct Case {
        const char *what;
        std::function<void()> act;
        std::function<QWidget *()> loaded;
    };
    const Case cases[] = {
        {"system settings, a new capital",
         [] {
             SysSet()->TT[0]->setText("300000");
             SysSet()->Com_Click(0);
         },
         [] { return LoadedSysSet(); }},
        {"a grid colour picked", [] { MSFViewSet()->TT_Click(2); }, [] { return LoadedMSFViewSet(); }},
        {"the grid colours cancelled", [] { MSFViewSet()->Com_Click(1); }, [] { return LoadedMSFViewSet(); }},
        {"the column choice", [] {
             ColSetTable() = QStringLiteral("account");
             ColSet()->Com_Click(0);
         },
         [] { return LoadedColSet(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        prompter.colorAnswers = {255u};
        refreshes = 0;
        {
            BusyGuard busy;
            c.act();
        }
        Settle();
        EXPECT_NE(c.loaded(), nullptr);
        EXPECT_EQ(refreshes, 0);
        c.act();
        Settle();
        EXPECT_EQ(refreshes, 1);
        delete c.loaded();
    }
    EXPECT_EQ(GetParam(kSysKey).left(6), "300000");
}

// The about box: the version written in, the program's icon, every click opening the home page once.
TEST_F(SettingsFormsTest, AboutBox)
{
    QList<QUrl> opened;
    SetShellOpenHook([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    RightformForm *form = Rightform();
    EXPECT_EQ(Rightform(), form);
    EXPECT_EQ(form->windowTitle(), "版权说明");
    EXPECT_TRUE(form->lblVersion->text().contains("2.0"));
    EXPECT_FALSE(form->lblVersion->text().contains("[版本号]"));
    EXPECT_FALSE(form->Image1->pixmap().isNull());
    const QList<QWidget *> clickable{form->Image1, form->lblCompany[0], form->lblCompany[1], form->lblCompany[2],
                                     form->lblVersion};
    for (QWidget *w : clickable)
        LeftClick(w);
    EXPECT_EQ(opened, QList<QUrl>(clickable.size(), QUrl(kHomePage)));
    EXPECT_EQ(form->Com->text(), "确  定");
    LeftClick(form->Com);
    Settle();
    EXPECT_EQ(LoadedRightform(), nullptr);
    EXPECT_EQ(opened.size(), clickable.size());
}

}  // namespace
