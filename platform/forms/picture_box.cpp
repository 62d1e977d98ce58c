// PictureBox: the chart picture's window.
#include "picture_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_picture.SetSizeSource([this] { return size(); });
    m_picture.SetRefreshHook([this] { update(); });
}

PictureBox::~PictureBox() = default;

int PictureBox::ButtonOf(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int PictureBox::ShiftOf(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

int PictureBox::KeyCodeOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;
    return 0;
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QImage image = m_picture.Image();
    // Where the image does not reach yet (the widget grew since the last drawing) the background shows.
    p.fillRect(rect(), QColor(RgbOfColorRef(m_picture.BackColor)));
    if (!image.isNull())
        p.drawImage(0, 0, image);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    const QPointF p = event->position() * Picture::kTwipsPerPixel;
    emit mouseDown(ButtonOf(event->button()), ShiftOf(event->modifiers()), p.x(), p.y());
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF p = event->position() * Picture::kTwipsPerPixel;
    emit mouseMove(ButtonOf(event->buttons()), ShiftOf(event->modifiers()), p.x(), p.y());
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF p = event->position() * Picture::kTwipsPerPixel;
    emit mouseUp(ButtonOf(event->button()), ShiftOf(event->modifiers()), p.x(), p.y());
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *)
{
    emit dblClick();
}

void PictureBox::keyPressEvent(QKeyEvent *event)
{
    emit keyDown(KeyCodeOf(event->key()), ShiftOf(event->modifiers()));
}
