// ColorBox: the colour box.
#include "color_box.h"

#include <cstdint>

#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/numeric.h"

ColorBox::ColorBox(QWidget *parent) : QLineEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setContextMenuPolicy(Qt::NoContextMenu);
    ApplyColors();
}

void ColorBox::SetBackColor(ColorRef color)
{
    m_back = color;
    ApplyColors();
}

void ColorBox::ShowColor(ColorRef color)
{
    m_back = color;
    m_fore = color;
    setText(QString::number(color));
    ApplyColors();
}

void ColorBox::TakeColorFromText()
{
    if (text().isEmpty()) {
        setText(QString::number(m_back));
    } else {
        const double v = LeadingNumber(text());
        m_back = v >= INT32_MIN && v <= UINT32_MAX ? static_cast<ColorRef>(static_cast<int64_t>(v)) : 0;
    }
    m_fore = m_back;
    ApplyColors();
}

void ColorBox::ApplyColors()
{
    QPalette p = palette();
    const QColor back(RgbOfColorRef(m_back));
    const QColor fore(RgbOfColorRef(m_fore));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(g, QPalette::Base, back);
        p.setColor(g, QPalette::Text, fore);
        // A selection would show the hidden text.
        p.setColor(g, QPalette::Highlight, back);
        p.setColor(g, QPalette::HighlightedText, fore);
    }
    setPalette(p);
    update();
}

void ColorBox::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void ColorBox::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void ColorBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}

void ColorBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click is one click: the first press and release already made it.
    m_pressed = false;
    event->accept();
}

void ColorBox::mouseMoveEvent(QMouseEvent *event)
{
    // No text selection by dragging.
    event->accept();
}

void ColorBox::contextMenuEvent(QContextMenuEvent *event)
{
    event->ignore();
}
