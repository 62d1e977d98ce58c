// The progress procedures against a recording view with a fixed clock, a couple of runs with the real
// window, and the status line.
#include <gtest/gtest.h>

#include <climits>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "platform/clock.h"
#include "storage/forms/indicator_form.h"
#include "storage/indicator.h"
#include "storage/window_ops.h"

namespace {

class RecordingView : public IndicatorView {
public:
    QStringList calls;
    void ShowWindow(bool busy) override { calls << (busy ? "show busy" : "show"); }
    void HideWindow() override { calls << "hide"; }
    void SetBar(int min, int max, int value) override
    {
        calls << QStringLiteral("bar %1 %2 %3").arg(min).arg(max).arg(value);
    }
    void SetMessage(const QString &text) override { calls << "msg " + text; }
    void SetTimeText(const QString &text) override { calls << "time " + text; }
};

class IndicatorTest : public ::testing::Test {
protected:
    RecordingView view;
    QDateTime now = QDateTime(QDate(2024, 3, 4), QTime(10, 0, 0));

    void SetUp() override
    {
        SetIndicatorView(&view);
        SetClock([this] { return now; });
        HideIndicator();
        view.calls.clear();
    }
    void TearDown() override
    {
        HideIndicator();
        SetIndicatorView(nullptr);
        SetClock({});
    }
};

}  // namespace

TEST_F(IndicatorTest, TimeTextAfterThreeOfTwelvePages)
{
    ShowIndicator(QStringLiteral("正在下载"), 12);
    now = now.addSecs(30);
    StepIndicator(3, QStringLiteral("pages"));
    EXPECT_EQ(CurrentIndicator().timeText, "0:30/1:30/2:0(3/12)");
    EXPECT_EQ(view.calls.last(), "time 0:30/1:30/2:0(3/12)");
    EXPECT_EQ(CurrentIndicator().message, "正在下载");
}

TEST_F(IndicatorTest, UnitRules)
{
    struct Case {
        const char *unit;
        const char *message;
        const char *expectedMessage;
        bool timeUpdated;
    };
    const Case cases[] = {
        {"pages", "", "开始", true},        {"PAGES", "", "开始", true},
        {"Pages", "第二步", "第二步", true}, {"", "第二步", "第二步", false},
        {"条记录", "第二步", "条记录", false},
    };
    for (const Case &c : cases) {
        ShowIndicator(QStringLiteral("开始"), 10);
        now = now.addSecs(10);
        StepIndicator(1, QString::fromUtf8(c.unit), QString::fromUtf8(c.message));
        const IndicatorState s = CurrentIndicator();
        EXPECT_EQ(s.message, QString::fromUtf8(c.expectedMessage)) << c.unit;
        EXPECT_EQ(!s.timeText.isEmpty(), c.timeUpdated) << c.unit;
        HideIndicator();
    }
}

TEST_F(IndicatorTest, NoTimeTextBeforeATenthOfAPercent)
{
    ShowIndicator(QStringLiteral("计算"), 2000);
    now = now.addSecs(5);
    StepIndicator(1);  // 1/2000 is cut to 0.000
    EXPECT_EQ(CurrentIndicator().value, 1);
    EXPECT_TRUE(CurrentIndicator().timeText.isEmpty());
    StepIndicator(1);  // 2/2000 = 0.001: 5 s elapsed, 5000 s in all
    EXPECT_EQ(CurrentIndicator().timeText, "0:5/1:23:15/1:23:20(2/2000)");
}

TEST_F(IndicatorTest, BarValueStaysWithinItsRange)
{
    ShowIndicator(QStringLiteral("导出"), 5, 9);
    EXPECT_EQ(CurrentIndicator().value, 5);
    StepIndicator(2, QString());
    EXPECT_EQ(CurrentIndicator().value, 5);
    StepIndicator(-20, QString());
    EXPECT_EQ(CurrentIndicator().value, 0);
    ShowIndicator(QStringLiteral("导出"), 5, 3);
    EXPECT_EQ(CurrentIndicator().value, 3);
}

TEST_F(IndicatorTest, HugeStepsAndCountsStayInRange)
{
    ShowIndicator(QStringLiteral("导出"), 10);
    StepIndicator(1, QString());
    StepIndicator(LONG_MAX, QString());
    EXPECT_EQ(CurrentIndicator().value, 10);
    StepIndicator(LONG_MIN, QString());
    EXPECT_EQ(CurrentIndicator().value, 0);

    ShowIndicator(QStringLiteral("导出"), LONG_MAX, LONG_MAX / 2);
    now = now.addSecs(10);
    StepIndicator(1);
    EXPECT_EQ(CurrentIndicator().value, LONG_MAX / 2 + 1);
    EXPECT_TRUE(CurrentIndicator().timeText.startsWith("0:10/0:10/0:20(")) << CurrentIndicator().timeText.toStdString();
}

TEST_F(IndicatorTest, BusyModeStepsOnlyLetEventsThrough)
{
    ShowIndicator(QStringLiteral("请稍候"), 0);
    const IndicatorState s = CurrentIndicator();
    EXPECT_TRUE(s.busy);
    EXPECT_EQ(s.max, 10);
    EXPECT_EQ(view.calls.first(), "show busy");
    view.calls.clear();
    now = now.addSecs(30);
    StepIndicator(3, QStringLiteral("pages"), QStringLiteral("新消息"));
    StepIndicator(1, QStringLiteral("条"));
    EXPECT_TRUE(view.calls.isEmpty());
    EXPECT_EQ(CurrentIndicator().value, 0);
    EXPECT_EQ(CurrentIndicator().message, "请稍候");
}

TEST_F(IndicatorTest, CountedShowAfterBusyShowCountsAgain)
{
    ShowIndicator(QStringLiteral("忙"), 0);
    ShowIndicator(QStringLiteral("计数"), 4);
    StepIndicator(1);
    EXPECT_FALSE(CurrentIndicator().busy);
    EXPECT_EQ(CurrentIndicator().value, 1);
}

TEST_F(IndicatorTest, StepAfterTheUserClosedDoesNothing)
{
    ShowIndicator(QStringLiteral("下载"), 10);
    SetIndicatorShown(false);  // the window's unload when the user closes it
    view.calls.clear();
    StepIndicator(1, QStringLiteral("pages"), QStringLiteral("x"));
    HideIndicator();
    EXPECT_TRUE(view.calls.isEmpty());
    EXPECT_FALSE(IndicatorShown());
}

TEST_F(IndicatorTest, SecondShowRestartsTheClock)
{
    ShowIndicator(QStringLiteral("a"), 4);
    now = now.addSecs(100);
    ShowIndicator(QStringLiteral("b"), 4);
    now = now.addSecs(10);
    StepIndicator(1);
    EXPECT_EQ(CurrentIndicator().timeText, "0:10/0:30/0:40(1/4)");
}

TEST(IndicatorWindow, LoadsShowsAndUnloads)
{
    InstallIndicatorWindow();
    ShowIndicator(QStringLiteral("正在重新计算"), 4);
    IndicatorForm *f = LoadedIndicator();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(IndicatorShown());
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(IsFormOpen(QStringLiteral("进度指示器")));
    EXPECT_TRUE(f->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(f->LBL->text(), "正在重新计算");
    StepIndicator(1);
    EXPECT_EQ(f->Bar->value(), 1);
    EXPECT_EQ(f->Bar->maximum(), 4);
    EXPECT_FALSE(f->L1->text().isEmpty());
    HideIndicator();
    EXPECT_EQ(LoadedIndicator(), nullptr);
    EXPECT_FALSE(IsFormOpen(QStringLiteral("进度指示器")));
    EXPECT_FALSE(IndicatorShown());
    SetIndicatorView(nullptr);
}

TEST(IndicatorWindow, UserCloseUnloadsAndLaterStepsDoNothing)
{
    InstallIndicatorWindow();
    ShowIndicator(QStringLiteral("下载"), 0);
    IndicatorForm *f = LoadedIndicator();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->Timer1->isActive());
    f->close();
    EXPECT_FALSE(IndicatorShown());
    EXPECT_EQ(LoadedIndicator(), nullptr);
    StepIndicator(1);
    EXPECT_EQ(LoadedIndicator(), nullptr);  // a step does not load the window again
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(IsFormOpen(QStringLiteral("进度指示器")));
    SetIndicatorView(nullptr);
}

TEST(StatusLine, ShowAndAppendReachTheHook)
{
    QStringList seen;
    SetStatusHook([&seen](const QString &t) { seen << t; });
    ShowStatusText(QStringLiteral("正在读取记录"));
    AppendStatusText(QStringLiteral(">"), 3);
    AppendStatusText(QStringLiteral(">"), 0);
    EXPECT_EQ(StatusText(), "正在读取记录>>>");
    EXPECT_EQ(seen, (QStringList{"正在读取记录", "正在读取记录>>>", "正在读取记录>>>"}));
    SetStatusHook({});
}
