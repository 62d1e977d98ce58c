// 窗体操作, window side.
#include "form_ops.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "storage/window_ops.h"

namespace {

constexpr int kTwips = 15;  // twips per pixel

// Marks a window that was shown once: from then on it has a place of its own.
constexpr char kPlacedProperty[] = "kelvaroPlaced";

// Places the windows as they are shown; installed on the application.
class WindowPlacer : public QObject {
public:
    std::function<QWidget *()> mainWindow;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            Place(static_cast<QWidget *>(watched));
        return false;
    }

private:
    void Place(QWidget *w) const
    {
        const Qt::WindowType type = w->windowType();
        if (!w->isWindow() || w->parentWidget() || (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool))
            return;
        const QWidget *owner = mainWindow ? mainWindow() : nullptr;
        if (w == owner)
            return;
        std::vector<QRect> screens;
        if (const QScreen *primary = QGuiApplication::primaryScreen())
            screens.push_back(primary->availableGeometry());
        for (const QScreen *screen : QGuiApplication::screens())
            if (screen != QGuiApplication::primaryScreen())
                screens.push_back(screen->availableGeometry());
        const bool placed = w->property(kPlacedProperty).toBool() || w->testAttribute(Qt::WA_Moved);
        const QRect frame = w->frameGeometry();
        const QRect ownerFrame =
            owner && owner->isVisible() && !owner->isMinimized() ? owner->frameGeometry() : QRect();
        const QRect place = WindowPlace(frame, placed, ownerFrame, screens);
        if (place.topLeft() != frame.topLeft())
            w->move(place.topLeft());
        w->setProperty(kPlacedProperty, true);
    }
};

WindowPlacer *&Placer()
{
    static WindowPlacer *placer = nullptr;
    return placer;
}

}  // namespace

void RegisterFormWidget(QWidget *window, const QString &name)
{
    QPointer<QWidget> guarded(window);
    const int id = RegisterForm(name, [guarded] { return guarded ? guarded->windowTitle() : QString(); });
    QObject::connect(window, &QObject::destroyed, [id] { UnregisterForm(id); });
}

void ShowModeless(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

ButtonRow LayOutWithButtons(QWidget *window, QLayout *body, const QStringList &captions,
                            const std::function<void(int)> &onClick)
{
    ButtonRow row;
    row.line = new QFrame(window);
    row.line->setFrameShape(QFrame::HLine);
    row.line->setFrameShadow(QFrame::Sunken);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < captions.size(); ++i) {
        auto *button = new QPushButton(captions[i], window);
        button->setMinimumWidth(90);
        buttons->addWidget(button);
        QObject::connect(button, &QPushButton::clicked, window, [onClick, i] { onClick(i); });
        row.buttons.push_back(button);
    }
    if (!row.buttons.empty())
        row.buttons.front()->setDefault(true);
    auto *layout = new QVBoxLayout(window);
    layout->addLayout(body);
    layout->addWidget(row.line);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return row;
}

void InstallTopLevelCaptions()
{
    SetTopLevelCaptions([] {
        QStringList captions;
        for (const QWidget *w : QApplication::topLevelWidgets())
            if (w->isWindow() && w->isVisible())
                captions << w->windowTitle();
        return captions;
    });
}

void InstallWindowPlaces(std::function<QWidget *()> mainWindow)
{
    WindowPlacer *&placer = Placer();
    if (!mainWindow) {
        delete placer;
        placer = nullptr;
        return;
    }
    if (!placer) {
        placer = new WindowPlacer;
        qApp->installEventFilter(placer);
    }
    placer->mainWindow = std::move(mainWindow);
}

void SetTopMost(QWidget *window)
{
    if (!window)
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (visible)
        window->show();
}

void MoveSpBar(QWidget *bar, int x, int y)
{
    if (!bar || !bar->parentWidget() || (x == 0 && y == 0))
        return;
    const QWidget *container = bar->parentWidget();
    SpBarGeometry g;
    g.left = bar->x() * kTwips;
    g.top = bar->y() * kTwips;
    g.width = bar->width() * kTwips;
    g.height = bar->height() * kTwips;
    g.containerWidth = container->width() * kTwips;
    g.containerHeight = container->height() * kTwips;
    g.tag = bar->property("Tag").toString();
    DragSpBar(g, x * kTwips, y * kTwips);
    bar->move(g.left / kTwips, g.top / kTwips);
}

SpBarWidget::SpBarWidget(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setProperty("Tag", QString());
}

void SpBarWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        MoveSpBar(this, p.x(), p.y());
    }
}

void SpBarWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit released();
}
