// The picture of a chart: its image, size, Tag and colours; the controls that lie over it.
#include "picture.h"

#include <cmath>
#include <numbers>
#include <optional>

#include "platform/numeric.h"

namespace {

// The pixel box of a circle given in twips, or nothing when a side does not fit 32 bits.
std::optional<QRect> CircleBox(double x, double y, double r)
{
    const auto l = ClngOf((x - r) / Picture::kTwipsPerPixel);
    const auto t = ClngOf((y - r) / Picture::kTwipsPerPixel);
    const auto rt = ClngOf((x + r) / Picture::kTwipsPerPixel);
    const auto b = ClngOf((y + r) / Picture::kTwipsPerPixel);
    if (!l || !t || !rt || !b)
        return std::nullopt;
    return QRect(QPoint(*l, *t), QPoint(*rt, *b));
}

}  // namespace

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
    Line(x1, y1, x2, y2, ForeColor);
}

void Picture::Line(double x1, double y1, double x2, double y2, ColorRef colour)
{
    const auto px1 = ClngOf(x1 / kTwipsPerPixel);
    const auto py1 = ClngOf(y1 / kTwipsPerPixel);
    const auto px2 = ClngOf(x2 / kTwipsPerPixel);
    const auto py2 = ClngOf(y2 / kTwipsPerPixel);
    if (!px1 || !py1 || !px2 || !py2)
        return;
    Canvas &dc = hDC();
    const CanvasPen selected = dc.Pen();
    dc.SelectPen(CanvasPen{colour, PS_SOLID, 1});
    dc.Segment(*px1, *py1, *px2, *py2);
    dc.SelectPen(selected);
}

void Picture::Circle(double x, double y, double r, ColorRef colour)
{
    Circle(x, y, r, colour, 0, 2 * std::numbers::pi);
}

void Picture::Circle(double x, double y, double r, ColorRef colour, double start, double end)
{
    const auto box = CircleBox(x, y, r);
    start = std::fabs(start);
    end = std::fabs(end);
    if (!box || !std::isfinite(start) || !std::isfinite(end))
        return;
    constexpr double kTurn = 2 * std::numbers::pi;
    constexpr double kSixteenthsPerRadian = 180.0 * 16 / std::numbers::pi;
    double span = end - start;
    // A full turn asked for as such stays one; otherwise the span is what lies between the two angles.
    if (span < kTurn)
        span = std::fmod(std::fmod(span, kTurn) + kTurn, kTurn);
    const auto start16 = ClngOf(std::fmod(start, kTurn) * kSixteenthsPerRadian);
    const auto span16 = ClngOf(std::min(span, kTurn) * kSixteenthsPerRadian);
    if (!start16 || !span16 || *span16 <= 0)
        return;
    Canvas &dc = hDC();
    const CanvasPen pen = dc.Pen();
    const CanvasBrush brush = dc.Brush();
    dc.SelectPen(CanvasPen{colour, PS_SOLID, 1});
    dc.SelectBrush(CanvasBrush{FillStyle == 0, FillColor});
    dc.Pie(box->left(), box->top(), box->right(), box->bottom(), *start16, *span16);
    dc.SelectPen(pen);
    dc.SelectBrush(brush);
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
