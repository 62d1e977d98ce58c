// 窗体操作, window side.
#include "form_ops.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "storage/window_ops.h"

namespace {

constexpr int kTwips = 15;  // twips per pixel

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
