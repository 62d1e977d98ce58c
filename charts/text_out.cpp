// 输出函数: text on a chart picture.
#include "text_out.h"

#include <cstdint>
#include <limits>

#include "platform/numeric.h"

void DrawTextOut(Picture &pic, int x, int y, const QString &text, int angle, bool keepX, double fontHeight,
                 int weight, int64_t colour)
{
    if (colour != kKeepForeColor)
        pic.ForeColor = static_cast<ColorRef>(colour);
    const auto height = ClngOf(fontHeight);
    const long escapement = static_cast<long>(angle) * 10;
    if (!height || escapement < std::numeric_limits<int16_t>::min() ||
        escapement > std::numeric_limits<int16_t>::max())
        return;
    Canvas &dc = pic.hDC();
    const CanvasFont font{*height, static_cast<int>(escapement), weight};
    double left = x;
    // Measured in the font the text is drawn with, so that right-aligned text really ends at x.
    if (!keepX)
        left -= static_cast<double>(angle == 0 ? dc.TextWidth(text, font) : dc.TextHeight(font)) *
                Picture::kTwipsPerPixel;
    const auto px = ClngOf(left / Picture::kTwipsPerPixel);
    const auto py = ClngOf(static_cast<double>(y) / Picture::kTwipsPerPixel);
    if (!px || !py)
        return;
    dc.Text(*px, *py, text, font, pic.ForeColor);
}
