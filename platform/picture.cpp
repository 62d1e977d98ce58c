// The picture of a chart: its image, size, Tag and colours; the controls that lie over it.
#include "picture.h"

#include "platform/numeric.h"

Picture::Picture()
{
    auto image = std::make_unique<ImageCanvas>();
    m_image = image.get();
    m_canvas = std::move(image);
}

Picture::Picture(std::unique_ptr<Canvas> canvas) : m_canvas(std::move(canvas))
{
    if (!m_canvas) {
        auto image = std::make_unique<ImageCanvas>();
        m_image = image.get();
        m_canvas = std::move(image);
    }
}

Picture::~Picture() = default;

void Picture::SetSizeSource(std::function<QSize()> pixels)
{
    m_size = std::move(pixels);
}

void Picture::SetPixelSize(int width, int height)
{
    const QSize size(width, height);
    m_size = [size] { return size; };
}

QSize Picture::PixelSize() const
{
    return m_size ? m_size() : QSize(0, 0);
}

int Picture::Width() const
{
    return PixelSize().width() * kTwipsPerPixel;
}

int Picture::Height() const
{
    return PixelSize().height() * kTwipsPerPixel;
}

Canvas &Picture::hDC()
{
    if (m_image) {
        const QSize size = PixelSize();
        m_image->Resize(size.width(), size.height(), BackColor);
    }
    return *m_canvas;
}

void Picture::Cls()
{
    hDC().Clear(BackColor);
}

void Picture::Refresh()
{
    if (m_image)
        m_image->EndPass();
    if (m_refresh)
        m_refresh();
}

void Picture::Line(double x1, double y1, double x2, double y2)
{
    const auto px1 = ClngOf(x1 / kTwipsPerPixel);
    const auto py1 = ClngOf(y1 / kTwipsPerPixel);
    const auto px2 = ClngOf(x2 / kTwipsPerPixel);
    const auto py2 = ClngOf(y2 / kTwipsPerPixel);
    if (!px1 || !py1 || !px2 || !py2)
        return;
    Canvas &dc = hDC();
    const CanvasPen selected = dc.Pen();
    dc.SelectPen(CanvasPen{ForeColor, PS_SOLID, 1});
    dc.Segment(*px1, *py1, *px2, *py2);
    dc.SelectPen(selected);
}

QImage Picture::Image()
{
    if (!m_image)
        return QImage();
    hDC();
    return m_image->Image();
}

LineControl::~LineControl() = default;

void LineControl::SetX1(double v)
{
    m_x1 = v;
    Changed();
}

void LineControl::SetY1(double v)
{
    m_y1 = v;
    Changed();
}

void LineControl::SetX2(double v)
{
    m_x2 = v;
    Changed();
}

void LineControl::SetY2(double v)
{
    m_y2 = v;
    Changed();
}

void LineControl::SetBorderColor(ColorRef c)
{
    m_color = c;
    Changed();
}

LabelControl::~LabelControl() = default;
