// The charts' drawing surface and its QImage implementation.
#include "canvas.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

namespace {

// The on/off run lengths of the styled 1-pixel pens, in pixels along the segment.
struct DashPattern {
    int on;
    int off;
};
DashPattern PatternOf(int style)
{
    if (style == PS_DASH)
        return {18, 6};
    if (style == PS_DOT)
        return {3, 3};
    return {1, 0};
}

QColor QColorOf(ColorRef c)
{
    return QColor(RgbOfColorRef(c));
}

QPolygon PolygonOf(const std::vector<QPoint> &points)
{
    return QPolygon(QList<QPoint>(points.begin(), points.end()));
}

}  // namespace

QRgb RgbOfColorRef(ColorRef c)
{
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

// ---- Canvas ----

Canvas::Canvas() : m_alive(std::make_shared<const int>(0)) {}

Canvas::~Canvas() = default;

void Canvas::SelectPen(const CanvasPen &pen)
{
    m_pen = pen;
}

void Canvas::SelectBrush(const CanvasBrush &brush)
{
    m_brush = brush;
}

const QFont &CanvasQFont(const CanvasFont &font)
{
    static std::map<std::pair<int, int>, QFont> fonts;
    const auto key = std::make_pair(font.height, font.weight);
    auto it = fonts.find(key);
    if (it != fonts.end())
        return it->second;
    QFont f(kCanvasFontFamily);
    f.setStyleStrategy(QFont::PreferDefault);
    f.setWeight(static_cast<QFont::Weight>(font.weight <= 0 ? 400 : std::clamp(font.weight, 1, 1000)));
    if (font.height < 0) {
        f.setPixelSize(std::max(1, -font.height));
    } else {
        // The cell height is the height of a line: take the largest size whose line still fits.
        const int cell = font.height == 0 ? 16 : font.height;
        int size = cell;
        for (; size > 1; --size) {
            f.setPixelSize(size);
            if (QFontMetrics(f).height() <= cell)
                break;
        }
        f.setPixelSize(size);
    }
    return fonts.emplace(key, f).first->second;
}

// ---- ImageCanvas ----

ImageCanvas::ImageCanvas() = default;

ImageCanvas::~ImageCanvas()
{
    EndPass();
}

const QImage &ImageCanvas::Image()
{
    EndPass();
    return m_image;
}

void ImageCanvas::Resize(int width, int height, ColorRef fill)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (m_image.width() == width && m_image.height() == height)
        return;
    EndPass();
    QImage image(width, height, QImage::Format_RGB32);
    if (!image.isNull()) {
        image.fill(RgbOfColorRef(fill));
        if (!m_image.isNull()) {
            QPainter p(&image);
            p.drawImage(0, 0, m_image);
        }
    }
    m_image = image;
}

void ImageCanvas::EndPass()
{
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
}

QPainter *ImageCanvas::Painter()
{
    if (m_image.isNull())
        return nullptr;
    if (!m_painter) {
        m_painter = std::make_unique<QPainter>(&m_image);
        m_painter->setRenderHint(QPainter::Antialiasing, false);
    }
    return m_painter.get();
}

void ImageCanvas::SegmentPixels(int x1, int y1, int x2, int y2, std::vector<QPoint> &out) const
{
    const long long dx = static_cast<long long>(x2) - x1;
    const long long dy = static_cast<long long>(y2) - y1;
    const long long ax = std::llabs(dx);
    const long long ay = std::llabs(dy);
    const long long n = std::max(ax, ay);
    const int sx = dx < 0 ? -1 : 1;
    const int sy = dy < 0 ? -1 : 1;
    const DashPattern pattern = PatternOf(Pen().style);
    const int period = pattern.on + pattern.off;
    // Only the pixels inside the image are produced, so a segment far outside costs nothing.
    const long long w = m_image.width();
    const long long h = m_image.height();
    for (long long i = 0; i < n; ++i) {
        if (period > 1 && i % period >= pattern.on)
            continue;
        long long x;
        long long y;
        if (ax >= ay) {
            x = x1 + sx * i;
            y = y1 + sy * ((2 * i * ay + ax) / (2 * ax));
        } else {
            y = y1 + sy * i;
            x = x1 + sx * ((2 * i * ax + ay) / (2 * ay));
        }
        if (x >= 0 && x < w && y >= 0 && y < h)
            out.emplace_back(static_cast<int>(x), static_cast<int>(y));
    }
}

void ImageCanvas::Segment(int x1, int y1, int x2, int y2)
{
    QPainter *p = Painter();
    if (!p)
        return;
    const QColor color = QColorOf(Pen().color);
    if (Pen().width > 1) {
        // A wide pen is drawn solid with round ends, as wide pens are.
        p->setPen(QPen(color, Pen().width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p->drawLine(x1, y1, x2, y2);
        return;
    }
    std::vector<QPoint> pixels;
    SegmentPixels(x1, y1, x2, y2, pixels);
    if (pixels.empty())
        return;
    p->setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap));
    p->drawPoints(pixels.data(), static_cast<int>(pixels.size()));
}

void ImageCanvas::Rectangle(int l, int t, int r, int b)
{
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    if (r - l < 1 || b - t < 1)
        return;
    QPainter *p = Painter();
    if (!p)
        return;
    if (Brush().solid && r - l > 2 && b - t > 2)
        p->fillRect(QRect(l + 1, t + 1, r - l - 2, b - t - 2), QColorOf(Brush().color));
    if (Pen().width > 1) {
        p->setPen(QPen(QColorOf(Pen().color), Pen().width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p->setBrush(Qt::NoBrush);
        p->drawRect(QRect(l, t, r - l - 1, b - t - 1));
        return;
    }
    // The outline as four segments round the box, each leaving out its end, which the next covers.
    Segment(l, t, r - 1, t);
    Segment(r - 1, t, r - 1, b - 1);
    Segment(r - 1, b - 1, l, b - 1);
    Segment(l, b - 1, l, t);
}

QPainter *ImageCanvas::ShapePainter(int &l, int &t, int &r, int &b)
{
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    if (r - l < 1 || b - t < 1)
        return nullptr;
    QPainter *p = Painter();
    if (!p)
        return nullptr;
    p->setPen(QPen(QColorOf(Pen().color), std::max(Pen().width, 1), Qt::SolidLine, Qt::SquareCap));
    p->setBrush(Brush().solid ? QBrush(QColorOf(Brush().color)) : QBrush(Qt::NoBrush));
    return p;
}

void ImageCanvas::Ellipse(int l, int t, int r, int b)
{
    if (QPainter *p = ShapePainter(l, t, r, b))
        p->drawEllipse(QRect(l, t, r - l - 1, b - t - 1));
}

void ImageCanvas::Pie(int l, int t, int r, int b, int start16, int span16)
{
    if (span16 <= 0)
        return;
    QPainter *p = ShapePainter(l, t, r, b);
    if (!p)
        return;
    // A full turn has no radii to draw, which drawPie would still draw.
    if (span16 >= 5760)
        p->drawEllipse(QRect(l, t, r - l - 1, b - t - 1));
    else
        p->drawPie(QRect(l, t, r - l - 1, b - t - 1), start16, span16);
}

void ImageCanvas::Polygon(const std::vector<QPoint> &points)
{
    QPainter *p = Painter();
    if (!p || points.size() < 2)
        return;
    p->setPen(QPen(QColorOf(Pen().color), std::max(Pen().width, 1), Qt::SolidLine, Qt::SquareCap));
    p->setBrush(Brush().solid ? QBrush(QColorOf(Brush().color)) : QBrush(Qt::NoBrush));
    p->drawPolygon(PolygonOf(points), Qt::OddEvenFill);
}

void ImageCanvas::FillRegion(const std::vector<QPoint> &points, ColorRef color)
{
    QPainter *p = Painter();
    if (!p || points.size() < 3)
        return;
    p->setPen(Qt::NoPen);
    p->setBrush(QColorOf(color));
    p->drawPolygon(PolygonOf(points), Qt::OddEvenFill);
}

void ImageCanvas::Text(int x, int y, const QString &text, const CanvasFont &font, ColorRef color)
{
    QPainter *p = Painter();
    if (!p || text.isEmpty())
        return;
    const QFont &f = CanvasQFont(font);
    p->save();
    p->setFont(f);
    p->setPen(QColorOf(color));
    p->translate(x, y);
    if (font.escapement != 0)
        p->rotate(-font.escapement / 10.0);
    p->drawText(0, QFontMetrics(f).ascent(), text);
    p->restore();
}

int ImageCanvas::TextWidth(const QString &text, const CanvasFont &font)
{
    return QFontMetrics(CanvasQFont(font)).horizontalAdvance(text);
}

int ImageCanvas::TextHeight(const CanvasFont &font)
{
    return QFontMetrics(CanvasQFont(font)).height();
}

void ImageCanvas::Clear(ColorRef color)
{
    if (m_painter) {
        m_painter->save();
        m_painter->setCompositionMode(QPainter::CompositionMode_Source);
        m_painter->fillRect(m_image.rect(), QColorOf(color));
        m_painter->restore();
    } else if (!m_image.isNull()) {
        m_image.fill(RgbOfColorRef(color));
    }
}
