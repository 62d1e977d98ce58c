// The line and label controls of a chart picture over real widgets.
#include "overlay_controls.h"

#include <algorithm>
#include <cmath>

#include <QFrame>

#include "platform/numeric.h"

namespace {

// Pixels of a position in twips, halves to even; 0 for what is no pixel.
int PixelOf(double twips)
{
    return ClngOf(twips / Picture::kTwipsPerPixel).value_or(0);
}

}  // namespace

LineOverlay::LineOverlay(QWidget *line, double x1, double y1, double x2, double y2) : m_line(line)
{
    if (line) {
        if (auto *frame = qobject_cast<QFrame *>(line))
            frame->setFrameShape(QFrame::NoFrame);
        line->setAutoFillBackground(true);
    }
    SetX1(x1);
    SetY1(y1);
    SetX2(x2);
    SetY2(y2);
}

QString LineOverlay::Tag() const
{
    return m_line ? m_line->property("Tag").toString() : QString();
}

void LineOverlay::SetTag(const QString &tag)
{
    if (m_line)
        m_line->setProperty("Tag", tag);
}

bool LineOverlay::Visible() const
{
    return m_line && !m_line->isHidden();
}

void LineOverlay::SetVisible(bool visible)
{
    if (m_line)
        m_line->setVisible(visible);
}

void LineOverlay::Changed()
{
    if (!m_line)
        return;
    const int x1 = PixelOf(X1()), x2 = PixelOf(X2()), y1 = PixelOf(Y1()), y2 = PixelOf(Y2());
    const int left = std::min(x1, x2), top = std::min(y1, y2);
    // One pixel across, and the length of the line along (at least one pixel).
    const QRect box(left, top, std::max(1, std::abs(x2 - x1)), std::max(1, std::abs(y2 - y1)));
    if (m_line->geometry() != box)
        m_line->setGeometry(box);
    QPalette palette = m_line->palette();
    const QColor colour(RgbOfColorRef(BorderColor()));
    if (palette.color(QPalette::Window) != colour) {
        palette.setColor(QPalette::Window, colour);
        m_line->setPalette(palette);
    }
}

LabelOverlay::LabelOverlay(QLabel *label) : m_label(label)
{
    if (!label)
        return;
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(true);
    label->adjustSize();
}

QString LabelOverlay::Caption() const
{
    return m_label ? m_label->text() : QString();
}

void LabelOverlay::SetCaption(const QString &caption)
{
    if (!m_label || m_label->text() == caption)
        return;
    m_label->setText(caption);
    m_label->adjustSize();
}

double LabelOverlay::Left() const
{
    return m_label ? static_cast<double>(m_label->x()) * Picture::kTwipsPerPixel : 0.0;
}

void LabelOverlay::SetLeft(double left)
{
    if (m_label)
        m_label->move(PixelOf(left), m_label->y());
}

double LabelOverlay::Width() const
{
    return m_label ? static_cast<double>(m_label->width()) * Picture::kTwipsPerPixel : 0.0;
}
