// API绘图: drawing primitives and the kept pen and brush.
#include "api_draw.h"

#include <array>
#include <memory>
#include <optional>

#include "platform/numeric.h"

namespace {

// The one pen and brush of the program and what they were made for.
struct PenBrushCache {
    Canvas *dc = nullptr;  // nullptr: nothing kept
    std::weak_ptr<const void> alive;
    ColorRef colour = 0;
    int style = 0;
    int fill = 0;
};

PenBrushCache &Cache()
{
    static PenBrushCache cache;
    return cache;
}

// Whole pixel coordinates of the values, or nothing when one cannot be one.
template <size_t N>
std::optional<std::array<int, N>> Pixels(const std::array<double, N> &values)
{
    std::array<int, N> out{};
    for (size_t i = 0; i < N; ++i) {
        const auto v = ClngOf(values[i]);
        if (!v)
            return std::nullopt;
        out[i] = *v;
    }
    return out;
}

}  // namespace

void SelectPenBrush(Canvas &hdc, ColorRef colour, int style, int fill, int width)
{
    PenBrushCache &c = Cache();
    if (c.dc == &hdc && !c.alive.expired() && c.colour == colour && c.style == style && c.fill == fill)
        return;
    ReleasePenBrush();
    if (fill == 1)
        hdc.SelectBrush(CanvasBrush{true, colour});
    hdc.SelectPen(CanvasPen{colour, style, width});
    c.dc = &hdc;
    c.alive = hdc.Alive();
    c.colour = colour;
    c.style = style;
    c.fill = fill;
}

void ReleasePenBrush()
{
    PenBrushCache &c = Cache();
    if (!c.dc)
        return;
    if (!c.alive.expired()) {
        if (c.fill == 1)
            c.dc->RestoreBrush();
        c.dc->RestorePen();
    }
    c = PenBrushCache{};
}

void DrawSegment(Canvas &hdc, double x1, double y1, double x2, double y2)
{
    if (const auto p = Pixels<4>({x1, y1, x2, y2}))
        hdc.Segment((*p)[0], (*p)[1], (*p)[2], (*p)[3]);
}

void DrawRect(Canvas &hdc, double x1, double y1, double x2, double y2)
{
    const auto p = Pixels<4>({x1, y1, x2, y2});
    if (!p)
        return;
    const auto [l, t, r, b] = *p;
    if (l == r || t == b)
        hdc.Segment(l, t, r, b);
    else
        hdc.Rectangle(l, t, r, b);
}

void DrawCircle(Canvas &hdc, double cx, double cy, double r)
{
    if (const auto p = Pixels<4>({cx - r, cy - r, cx + r, cy + r}))
        hdc.Ellipse((*p)[0], (*p)[1], (*p)[2], (*p)[3]);
}

void FillTriangle(Canvas &hdc, double x1, double y1, double x2, double y2, double x3, double y3, ColorRef colour)
{
    const auto p = Pixels<6>({x1, y1, x2, y2, x3, y3});
    if (!p)
        return;
    const std::vector<QPoint> points = {{(*p)[0], (*p)[1]}, {(*p)[2], (*p)[3]}, {(*p)[4], (*p)[5]}};
    SelectPenBrush(hdc, colour, PS_SOLID, 1, 1);
    hdc.Polygon(points);
    hdc.FillRegion(points, colour);
}

void DrawLabelBox(Canvas &hdc, double x, double y, double width, double height, int pointer, bool pointDown,
                  ColorRef colour)
{
    const auto p = Pixels<4>({x - width / 2, x + width / 2, y, pointDown ? y - height : y + height});
    if (!p)
        return;
    const auto [left, right, top, edge] = *p;
    SelectPenBrush(hdc, colour, PS_SOLID, 1, 1);
    hdc.Rectangle(left, top, right, edge);
    const auto mid = ClngOf(left + (right - left) / 2.0);
    const auto half = ClngOf(pointer / 2.0);
    if (!mid || !half)
        return;
    const double tipY = pointDown ? static_cast<double>(top) + pointer : static_cast<double>(top) - pointer;
    const double m = *mid;
    FillTriangle(hdc, m - *half, top, m, tipY, m + *half, top, colour);
}
