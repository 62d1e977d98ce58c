// The parameter store, form settings round trips and the system settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

#include "fixtures/db_fixture.h"
#include "platform/daynum.h"
#include "storage/db_operate.h"
#include "storage/forms/widget_controls.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

class ParamsTest : public DbFixture {
protected:
    void TearDown() override
    {
        ResetFormParamSets();
        SetRefreshTimerHook({});
        DbFixture::TearDown();
    }
};

// A small window with one persisted control of each kind, the splitter bar in a 300×200 container.
struct TestWindow {
    QWidget container;
    QLineEdit *tt0 = new QLineEdit(&container);
    QLineEdit *tt2 = new QLineEdit(&container);
    QRadioButton *op0 = new QRadioButton(&container);
    QCheckBox *chk1 = new QCheckBox(&container);
    QDateEdit *dtp0 = new QDateEdit(&container);
    QComboBox *cmb0 = new QComboBox(&container);
    QWidget *bar = new QWidget(&container);
    WidgetFormControls controls;

    TestWindow()
    {
        container.resize(300, 200);
        cmb0->setEditable(true);
        bar->setGeometry(0, 100, 300, 4);  // wider than high: its Top is stored
        bar->setProperty("Tag", "750,300");
        controls.Register(ControlKind::tt, 0, tt0);
        controls.Register(ControlKind::tt, 2, tt2);
        controls.Register(ControlKind::op, 0, op0);
        controls.Register(ControlKind::chk, 1, chk1);
        controls.Register(ControlKind::dtp, 0, dtp0);
        controls.Register(ControlKind::cmb, 0, cmb0);
        controls.Register(ControlKind::pic, 0, bar);
    }
};

}  // namespace

TEST_F(ParamsTest, SaveAndGetRoundTrip)
{
    EXPECT_EQ(GetParam("上次下载日期", "1900-1-1"), "1900-1-1");
    EXPECT_TRUE(SaveParam("上次下载日期", "2024-01-05"));
    EXPECT_EQ(GetParam("上次下载日期", "1900-1-1"), "2024-01-05");
    EXPECT_TRUE(SaveParam("上次下载日期", "2024-01-08"));
    EXPECT_EQ(CountRecords("参数", "Var='上次下载日期'"), 1);
    EXPECT_EQ(GetParam("上次下载日期"), "2024-01-08");
    // A key with a quote is stored and read back rather than breaking the statement.
    EXPECT_TRUE(SaveParam("it's", "x"));
    EXPECT_EQ(GetParam("it's"), "x");
    // An empty stored text gives the default.
    EXPECT_TRUE(SaveParam("KLineStart", ""));
    EXPECT_EQ(GetParam("KLineStart", "60"), "60");
}

TEST_F(ParamsTest, FormSettingsRoundTripThroughTheStore)
{
    {
        TestWindow w;
        w.tt0->setText("100000");
        w.tt2->setText("2");
        w.op0->setChecked(true);
        w.chk1->setTristate(true);
        w.chk1->setCheckState(Qt::PartiallyChecked);
        w.dtp0->setDate(QDate(2024, 1, 5));
        w.cmb0->setCurrentText("日线");
        w.bar->move(0, 60);
        FormParamSet record;
        SaveFormParams(&w.controls, "Test", record, false, true);
        EXPECT_EQ(record.tt, (std::vector<QString>{"100000", "", "2"}));
        EXPECT_EQ(record.chk, (std::vector<QString>{"", "2"}));
        EXPECT_EQ(record.pic, (std::vector<QString>{"900"}));
    }
    EXPECT_EQ(GetParam("FPAR_Test_tt"), "100000【⊙】【⊙】2");
    EXPECT_EQ(GetParam("FPAR_Test_dtp"), "2024-01-05");

    TestWindow w;
    w.tt0->setEnabled(false);
    FormParamSet record;
    RestoreFormParams(&w.controls, "Test", record, nullptr);
    EXPECT_EQ(w.tt0->text(), "100000");
    EXPECT_FALSE(w.tt0->isEnabled());  // the enabled state survives the restore
    EXPECT_EQ(w.tt2->text(), "2");
    EXPECT_TRUE(w.op0->isChecked());
    EXPECT_EQ(w.chk1->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(w.dtp0->date(), QDate(2024, 1, 5));
    EXPECT_EQ(w.cmb0->currentText(), "日线");
    EXPECT_EQ(w.bar->y(), 60);

    // A text holding the separator would become two elements at the next restore: its array is not
    // stored (logged), the other arrays are.
    w.tt2->setText("2【⊙】3");
    w.dtp0->setDate(QDate(2024, 2, 1));
    SaveFormParams(&w.controls, "Test", record, false, true);
    EXPECT_EQ(GetParam("FPAR_Test_tt"), "100000【⊙】【⊙】2");
    EXPECT_EQ(GetParam("FPAR_Test_dtp"), "2024-02-01");
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().contains("FPAR_Test_tt not saved")) << LogText().toStdString();
}

TEST_F(ParamsTest, SplitterPositionsAreBroughtInside)
{
    struct Case {
        const char *stored;
        int expectedTop;
    };
    // Tag minimum 750 twips = 50 px; container 200 px high, bar 4 px: at most 196 px.
    const Case cases[] = {{"-30", 50}, {"300", 50}, {"1500", 100}, {"99999", 196}, {"x", 100}};
    for (const Case &c : cases) {
        TestWindow w;
        FormParamSet record;
        record.pic = {c.stored};
        RestoreFormParams(&w.controls, QString(), record, nullptr);
        EXPECT_EQ(w.bar->y(), c.expectedTop) << c.stored;
    }
}

// Stored numbers reach the whole-number values of the controls rounded, halves to even; a number
// the control cannot take leaves it as designed.
TEST_F(ParamsTest, RestoredNumbersAreRoundedWholeNumbers)
{
    const std::pair<const char *, Qt::CheckState> checks[] = {
        {"1.5", Qt::PartiallyChecked}, {"0.5", Qt::Unchecked}, {"-0.4", Qt::Unchecked}, {"2.6", Qt::Checked}};
    for (const auto &[stored, state] : checks) {
        TestWindow w;
        w.chk1->setTristate(true);
        w.chk1->setCheckState(Qt::Checked);
        FormParamSet record;
        record.chk = {"", stored};
        RestoreFormParams(&w.controls, QString(), record, nullptr);
        EXPECT_EQ(w.chk1->checkState(), state) << stored;
    }
    // a Tag minimum beyond any position: the bar stays where it was designed
    TestWindow w;
    w.bar->setProperty("Tag", "1e20,300");
    FormParamSet record;
    record.pic = {"1500"};
    RestoreFormParams(&w.controls, QString(), record, nullptr);
    EXPECT_EQ(w.bar->y(), 100);
}

TEST_F(ParamsTest, ControlsBeyondTheirArrayKeepTheirValues)
{
    TestWindow w;
    w.tt2->setText("designed");
    w.dtp0->setDate(QDate(2020, 2, 2));
    FormParamSet record;
    record.tt = {"only first"};
    record.dtp = {"not a date"};
    RestoreFormParams(&w.controls, QString(), record, nullptr);
    EXPECT_EQ(w.tt0->text(), "only first");
    EXPECT_EQ(w.tt2->text(), "designed");
    EXPECT_EQ(w.dtp0->date(), QDate(2020, 2, 2));
}

TEST_F(ParamsTest, RecordsFilledFromOneRecordSetStandingAnywhere)
{
    SaveParam("FPAR_MF_chk", "1【⊙】0【⊙】1【⊙】0");
    SaveParam("FPAR_SysSet_tt", "100000【⊙】0.25【⊙】2【⊙】0【⊙】10");
    SaveParam("其他", "x");
    DbConnection conn;
    RecordSet rs;
    ASSERT_TRUE(OpenRs(conn, rs, "SELECT * FROM 参数 WHERE var LIKE 'FPAR_%'"));
    rs.MoveLast();
    RestoreFormParams(nullptr, "MF", MFParams(), &rs);
    RestoreFormParams(nullptr, "SysSet", SysSetParams(), &rs);
    RestoreFormParams(nullptr, "KTradeDispSet", KTradeDispSetParams(), &rs);
    CloseRs(conn, rs);
    EXPECT_EQ(MFParams().chk, (std::vector<QString>{"1", "0", "1", "0"}));
    EXPECT_EQ(SysSetParams().tt.size(), 5u);
    EXPECT_TRUE(KTradeDispSetParams().tt.empty());
}

TEST_F(ParamsTest, SystemSettingsFromStoredTexts)
{
    struct Case {
        std::vector<QString> tt;
        double capital, rate, multiple, refresh, position;
        int timerMs;
    };
    const Case cases[] = {
        {{"100000", "0.25", "2", "0", "10"}, 100000, 0.00025, 2, 0, 0.1, 0},
        {{}, 200000, 0.0003, 1, 10, 0.075, 10000},
        {{"50000", "1", "3"}, 50000, 0.001, 3, 10, 0.075, 10000},
        {{"", "0.3", "1", "5", "7.5"}, 0, 0.0003, 1, 5, 0.075, 5000},
        {{"1e5", "0.3", "1", "2.5", "5"}, 100000, 0.0003, 1, 2.5, 0.05, 2500},
        // whole milliseconds, halves to even: half a millisecond stops the timer
        {{"1", "0.3", "1", "0.0005", "5"}, 1, 0.0003, 1, 0.0005, 0.05, 0},
        {{"1", "0.3", "1", "0.0025", "5"}, 1, 0.0003, 1, 0.0025, 0.05, 2},
    };
    for (const Case &c : cases) {
        int timer = -1;
        SetRefreshTimerHook([&timer](int ms) { timer = ms; });
        SysSetParams().tt = c.tt;
        LoadSysParams();
        EXPECT_DOUBLE_EQ(InitialCapital(), c.capital);
        EXPECT_DOUBLE_EQ(CommissionRate(), c.rate);
        EXPECT_DOUBLE_EQ(AddPositionMultiple(), c.multiple);
        EXPECT_DOUBLE_EQ(RefreshSeconds(), c.refresh);
        EXPECT_DOUBLE_EQ(DefaultPositionRatio(), c.position);
        EXPECT_EQ(timer, c.timerMs);
    }
    // An interval the timer cannot take leaves the timer alone.
    int timer = -1;
    SetRefreshTimerHook([&timer](int ms) { timer = ms; });
    SysSetParams().tt = {"1", "1", "1", "-5", "1"};
    LoadSysParams();
    EXPECT_EQ(timer, -1);
    SysSetParams().tt = {"1", "1", "1", "1e12", "1"};
    LoadSysParams();
    EXPECT_EQ(timer, -1);
}
