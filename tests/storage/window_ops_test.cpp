// Loaded windows, the caption search, the splitter drag rule and the busy guard.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "platform/busy_guard.h"
#include "storage/dialogs.h"
#include "storage/forms/form_ops.h"
#include "storage/window_ops.h"

TEST(IsFormOpen, ExactAndPrefixCaseSensitive)
{
    QString caption = QStringLiteral("导入数据");
    const int id = RegisterForm(QStringLiteral("Import"), [&caption] { return caption; });
    struct Case {
        const char *text;
        bool exact, expected;
    };
    const Case cases[] = {
        {"导入数据", true, true},  {"导入", true, false}, {"导入", false, true},
        {"导入数据表", false, false}, {"数据", false, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsFormOpen(QString::fromUtf8(c.text), c.exact), c.expected) << c.text << " " << c.exact;
    caption = QStringLiteral("Chart");
    EXPECT_FALSE(IsFormOpen(QStringLiteral("chart"), true));
    EXPECT_TRUE(IsFormOpen(QStringLiteral("Chart"), true));  // the caption is read when asked
    UnregisterForm(id);
    EXPECT_FALSE(IsFormOpen(QStringLiteral("Chart"), true));
}

TEST(IsFormOpen, HiddenWindowCountsUntilDestroyed)
{
    auto *w = new QWidget;
    w->setWindowTitle(QStringLiteral("隐藏窗口"));
    RegisterFormWidget(w, QStringLiteral("Hidden"));
    EXPECT_TRUE(LoadedFormNames().contains(QStringLiteral("Hidden")));
    EXPECT_TRUE(IsFormOpen(QStringLiteral("隐藏窗口")));
    delete w;
    EXPECT_FALSE(IsFormOpen(QStringLiteral("隐藏窗口")));
    EXPECT_FALSE(LoadedFormNames().contains(QStringLiteral("Hidden")));
}

// Windows that never registered are found by their caption while they are shown; closing one (also
// without destroying it) ends a wait for it.
TEST(IsFormOpen, ShownTopLevelWindowsCountWithoutRegistering)
{
    InstallTopLevelCaptions();
    QWidget sheet;
    sheet.setWindowTitle(QStringLiteral("选择要导入数据所在的工作表"));
    QWidget child(&sheet);
    child.setWindowTitle(QStringLiteral("子控件"));
    EXPECT_FALSE(IsFormOpen(QStringLiteral("选择要导入数据所在的工作表")));  // not shown yet
    sheet.show();
    struct Case {
        const char *text;
        bool exact, expected;
    };
    const Case cases[] = {
        {"选择要导入数据所在的工作表", true, true},
        {"选择要导入", false, true},
        {"选择要导入", true, false},
        {"子控件", true, false},  // a control inside a window is no window
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsFormOpen(QString::fromUtf8(c.text), c.exact), c.expected) << c.text;
    QTimer::singleShot(30, &sheet, &QWidget::close);
    WaitFormClosed(QStringLiteral("选择要导入数据所在的工作表"));
    EXPECT_FALSE(sheet.isVisible());
    SetTopLevelCaptions({});
    sheet.show();
    EXPECT_FALSE(IsFormOpen(QStringLiteral("选择要导入数据所在的工作表")));
}

TEST(DragSpBar, KeptInsideTheTagLimits)
{
    // A vertical bar 60 twips wide in a container 6000 x 4500; a horizontal bar 4000 x 60.
    struct Case {
        bool vertical;
        QString tag;
        int x, y;
        int expected;  // Left of a vertical bar, Top of a horizontal one
    };
    const Case cases[] = {
        {true, "500,300", -9000, 0, 500},
        {true, "500,300", 9000, 0, 6000 - 60 - 300},
        {true, "500,300", 150, 0, 2150},
        {true, "500,300", 0, 150, 2000},  // a vertical bar ignores y
        {true, "", -9000, 0, 0},
        {true, "500", 9000, 0, 5940},     // missing max counts as 0
        {true, "abc,def", -9000, 0, 0},
        {false, "900,600", 0, -9000, 900},
        {false, "900,600", 0, 9000, 4500 - 60 - 600},
        {false, "900,600", 500, 0, 2000},  // a horizontal bar ignores x
    };
    for (const Case &c : cases) {
        SpBarGeometry g;
        g.containerWidth = 6000;
        g.containerHeight = 4500;
        g.tag = c.tag;
        g.left = g.top = 2000;
        g.width = c.vertical ? 60 : 4000;
        g.height = c.vertical ? 4000 : 60;
        DragSpBar(g, c.x, c.y);
        EXPECT_EQ(c.vertical ? g.left : g.top, c.expected) << c.tag.toStdString() << " " << c.x << "," << c.y;
        EXPECT_EQ(c.vertical ? g.top : g.left, 2000);
    }
}

TEST(MoveSpBar, WidgetFollowsInPixels)
{
    QWidget container;
    container.resize(400, 300);
    SpBarWidget bar(&container);
    bar.setGeometry(100, 0, 4, 300);
    bar.setProperty("Tag", QStringLiteral("1500,300"));  // 100 px and 20 px
    MoveSpBar(&bar, -200, 0);
    EXPECT_EQ(bar.x(), 100);
    MoveSpBar(&bar, 30, 0);
    EXPECT_EQ(bar.x(), 130);
    MoveSpBar(&bar, 500, 0);
    EXPECT_EQ(bar.x(), 400 - 4 - 20);
}

TEST(WindowPlace, CentredOverTheOwnerAndKeptOnAScreen)
{
    const std::vector<QRect> two = {QRect(0, 0, 1400, 900), QRect(1400, 0, 1000, 800)};
    const QRect owner(100, 100, 1000, 700);
    struct Case {
        const char *what;
        QRect window;
        bool placed;
        QRect owner;
        std::vector<QRect> screens;
        QPoint expected;
    };
    const Case cases[] = {
        {"new: centred over the owner", {0, 0, 300, 200}, false, owner, two, {450, 350}},
        {"new, owner on the second screen", {0, 0, 300, 200}, false, {1500, 50, 400, 300}, two, {1550, 100}},
        {"new, owner near an edge: inside the screen", {0, 0, 600, 400}, false, {1000, 700, 300, 150}, two, {800, 500}},
        {"new, larger than the screen: top-left wins", {0, 0, 1600, 1000}, false, owner, {two[0]}, {0, 0}},
        {"new without an owner: the first screen", {0, 0, 400, 300}, false, QRect(), two, {500, 300}},
        {"placed on a screen stays", {1300, 850, 300, 200}, true, owner, two, {1300, 850}},
        {"placed off every screen, right", {5000, 300, 300, 200}, true, owner, two, {2100, 300}},
        {"placed off every screen, above", {200, -900, 300, 200}, true, owner, two, {200, 0}},
        {"placed below the second screen", {1600, 850, 300, 200}, true, owner, two, {1600, 600}},
        {"no screens", {7, 8, 300, 200}, false, owner, {}, {7, 8}},
    };
    for (const Case &c : cases) {
        const QRect place = WindowPlace(c.window, c.placed, c.owner, c.screens);
        EXPECT_EQ(place.topLeft(), c.expected) << c.what;
        EXPECT_EQ(place.size(), c.window.size()) << c.what;
    }
}

// Shown windows of the program: a new one over the main window, one placed off the screen back on it;
// the main window, a window with a parent and a pop-up are left alone.
TEST(WindowPlace, WindowsArePlacedAsTheyAreShown)
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 100, 600, 400);
    mainWindow.show();
    InstallWindowPlaces([&mainWindow] { return &mainWindow; });
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    QWidget settings(nullptr, Qt::Window);
    settings.resize(200, 100);
    settings.show();
    EXPECT_EQ(settings.frameGeometry().center(), mainWindow.frameGeometry().center());
    QWidget progress(nullptr, Qt::Tool);
    progress.setGeometry(screen.right() + 500, 40, 200, 100);
    progress.show();
    EXPECT_TRUE(screen.contains(progress.frameGeometry())) << "moved back onto the screen";
    // Shown again: it keeps the place it has.
    settings.hide();
    settings.move(10, 20);
    settings.show();
    EXPECT_EQ(settings.pos(), QPoint(10, 20));

    QWidget child(&mainWindow, Qt::Window);
    child.setGeometry(30, 40, 100, 50);
    child.show();
    QWidget popup(nullptr, Qt::Popup);
    popup.setGeometry(30, 40, 100, 50);
    popup.show();
    EXPECT_EQ(child.geometry().topLeft(), QPoint(30, 40));
    EXPECT_EQ(popup.geometry().topLeft(), QPoint(30, 40));
    EXPECT_EQ(mainWindow.geometry().topLeft(), QPoint(100, 100));

    InstallWindowPlaces({});
    QWidget after(nullptr, Qt::Window);
    after.setGeometry(screen.right() + 500, 40, 200, 100);
    after.show();
    EXPECT_EQ(after.geometry().topLeft(), QPoint(screen.right() + 500, 40)) << "removed";
}

TEST(SetTopMost, KeepsGeometryAndVisibility)
{
    QWidget w;
    w.setGeometry(40, 50, 200, 100);
    w.show();
    SetTopMost(&w);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.size(), QSize(200, 100));
}

TEST(WaitFormClosed, ReturnsAtOnceWithoutSuchWindow)
{
    QWidget w;
    w.setWindowTitle(QStringLiteral("进度"));
    RegisterFormWidget(&w, QStringLiteral("W"));
    WaitFormClosed(QStringLiteral("进"));  // exact match only
    WaitFormClosed(QStringLiteral("没有这个窗口"));
    SUCCEED();
}

TEST(WaitFormClosed, ReturnsWhenTheWindowIsClosedAndDestroyed)
{
    auto *w = new QWidget;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setWindowTitle(QStringLiteral("列选择"));
    RegisterFormWidget(w, QStringLiteral("ColSet"));
    w->show();
    QTimer::singleShot(30, w, &QWidget::close);
    WaitFormClosed(QStringLiteral("列选择"));
    EXPECT_FALSE(IsFormOpen(QStringLiteral("列选择")));
}

TEST(BusyGuard, NestedGuardsKeepTheProgramBusy)
{
    EXPECT_FALSE(IsBusy());
    {
        BusyGuard outer;
        {
            BusyGuard inner;
            EXPECT_TRUE(IsBusy());
        }
        EXPECT_TRUE(IsBusy());
    }
    EXPECT_FALSE(IsBusy());
}
