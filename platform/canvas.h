// The drawing surface of the charts: a device context in 32-bit pixel coordinates with a current pen
// and brush, on which the charts draw segments, rectangles, ellipses, polygons, filled regions and
// text. ImageCanvas paints into a QImage; tests record the calls instead.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>

class QPainter;

// A colour number 0x00BBGGRR (blue in the high byte of the three); the top byte is ignored on screen.
using ColorRef = uint32_t;

// The pen styles the charts use.
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_DASH = 1;
inline constexpr int PS_DOT = 2;

// The screen colour of a colour number.
QRgb RgbOfColorRef(ColorRef c);

struct CanvasPen {
    ColorRef color = 0;
    int style = PS_SOLID;
    int width = 1;  // pixels; 0 draws as 1
    friend bool operator==(const CanvasPen &, const CanvasPen &) = default;
};

// A brush: solid of a colour, or none (shapes are hollow).
struct CanvasBrush {
    bool solid = false;
    ColorRef color = 0;
    friend bool operator==(const CanvasBrush &, const CanvasBrush &) = default;
};

// A font as the charts ask for it: the cell height in pixels (the height of a line of text; a
// negative value is the character height without the line's leading, 0 the default), the angle in
// tenths of a degree counter-clockwise, and the weight (0 normal, 400 normal, 700 bold).
struct CanvasFont {
    int height = 0;
    int escapement = 0;
    int weight = 0;
    friend bool operator==(const CanvasFont &, const CanvasFont &) = default;
};

class Canvas {
public:
    Canvas();
    virtual ~Canvas();
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    // The pen and brush the shapes are drawn with. Selecting replaces them; Restore gives back the
    // surface's own pen (solid, 1 pixel, black unless set) and brush (none unless set: hollow shapes).
    const CanvasPen &Pen() const { return m_pen; }
    const CanvasBrush &Brush() const { return m_brush; }
    virtual void SelectPen(const CanvasPen &pen);
    virtual void SelectBrush(const CanvasBrush &brush);
    void RestorePen() { SelectPen(m_surfacePen); }
    void RestoreBrush() { SelectBrush(m_surfaceBrush); }
    void SetSurfacePen(const CanvasPen &pen) { m_surfacePen = pen; }
    void SetSurfaceBrush(const CanvasBrush &brush) { m_surfaceBrush = brush; }
    const CanvasBrush &SurfaceBrush() const { return m_surfaceBrush; }

    // Expires when the canvas is destroyed, so that whoever remembers a canvas can tell that it is
    // gone even when a new one takes its address.
    std::weak_ptr<const void> Alive() const { return m_alive; }

    // A segment in the pen from (x1, y1) to (x2, y2); the end pixel is left out (a segment from a
    // point to itself draws nothing).
    virtual void Segment(int x1, int y1, int x2, int y2) = 0;
    // The rectangle with corners (l, t) and (r, b) in either order, covering columns min..max−1 and
    // rows min..max−1: outline in the pen, interior in the brush.
    virtual void Rectangle(int l, int t, int r, int b) = 0;
    // The ellipse inscribed in the same box as Rectangle.
    virtual void Ellipse(int l, int t, int r, int b) = 0;
    // The sector of that ellipse from the angle start16 over span16 (both in 1/16 degree,
    // counter-clockwise from 3 o'clock), closed by its two radii: outline in the pen, interior in the
    // brush. A span of 0 or less draws nothing, a span of a full turn (5760) or more the whole ellipse.
    virtual void Pie(int l, int t, int r, int b, int start16, int span16) = 0;
    // The closed polygon: outline in the pen, interior (alternate filling) in the brush.
    virtual void Polygon(const std::vector<QPoint> &points) = 0;
    // The interior of the closed polygon (alternate filling) in the colour, no outline.
    virtual void FillRegion(const std::vector<QPoint> &points, ColorRef color) = 0;
    // The text with its top-left corner at (x, y), turned about that corner by the font's angle,
    // in the colour, background left as it is.
    virtual void Text(int x, int y, const QString &text, const CanvasFont &font, ColorRef color) = 0;
    // The width in pixels of the text in the font (unturned), and the height of one line of it.
    virtual int TextWidth(const QString &text, const CanvasFont &font) = 0;
    virtual int TextHeight(const CanvasFont &font) = 0;
    // Fills the whole surface with the colour.
    virtual void Clear(ColorRef color) = 0;

private:
    CanvasPen m_pen;
    CanvasBrush m_brush;
    CanvasPen m_surfacePen;
    CanvasBrush m_surfaceBrush;
    std::shared_ptr<const int> m_alive;
};

// The font family of the charts' text: a CJK face, so that Chinese text shows.
inline const QString kCanvasFontFamily = QStringLiteral("WenQuanYi Micro Hei");

// The Qt font for a canvas font: the largest pixel size whose line height fits the cell height
// (the character height for a negative height), weight 0 as normal. Kept per height and weight.
const QFont &CanvasQFont(const CanvasFont &font);

// A canvas over a QImage of format RGB32, painted without antialiasing by one QPainter from the
// first call of a pass until EndPass. Pixels follow the rules of the Canvas interface: a segment
// leaves out its end pixel, a rectangle or ellipse covers l..r−1 × t..b−1.
class ImageCanvas : public Canvas {
public:
    ImageCanvas();
    ~ImageCanvas() override;

    // The image; a pass in progress is ended first, so the image is complete.
    const QImage &Image();
    // Gives the image a new size: the part that both sizes share keeps its pixels, the rest takes
    // the colour. Nothing when the size is unchanged.
    void Resize(int width, int height, ColorRef fill);
    // Ends the pass: the painter is released until the next drawing call.
    void EndPass();

    void Segment(int x1, int y1, int x2, int y2) override;
    void Rectangle(int l, int t, int r, int b) override;
    void Ellipse(int l, int t, int r, int b) override;
    void Pie(int l, int t, int r, int b, int start16, int span16) override;
    void Polygon(const std::vector<QPoint> &points) override;
    void FillRegion(const std::vector<QPoint> &points, ColorRef color) override;
    void Text(int x, int y, const QString &text, const CanvasFont &font, ColorRef color) override;
    int TextWidth(const QString &text, const CanvasFont &font) override;
    int TextHeight(const CanvasFont &font) override;
    void Clear(ColorRef color) override;

private:
    // Orders the box's corners; false when it has no pixels (or no painter) and nothing is drawn.
    // Otherwise the painter takes the pen and the brush.
    QPainter *ShapePainter(int &l, int &t, int &r, int &b);
    // The painter of the pass, begun on first use; nullptr while the image has no pixels.
    QPainter *Painter();
    // The pixels of a segment with the pen's style pattern, as the segment rule gives them.
    void SegmentPixels(int x1, int y1, int x2, int y2, std::vector<QPoint> &out) const;

    QImage m_image;
    std::unique_ptr<QPainter> m_painter;
};
