// 输出函数: text on a chart picture in a font of the caller's size, weight and angle.
#pragma once

#include <cstdint>

#include <QString>

#include "platform/picture.h"

// The colour value that keeps the picture's ForeColor.
inline constexpr int64_t kKeepForeColor = -99999999;

// Draws the text on the picture with its top-left corner at (x, y) in twips, converted to the
// nearest pixel (halves to even). Unless colour is kKeepForeColor it becomes the picture's ForeColor
// first; the text is drawn in ForeColor. The font has the cell height fontHeight in pixels (rounded),
// the weight, and the angle in degrees counter-clockwise. With keepX false, x is first moved left by
// the text's width in that font when angle is 0 (the text ends at x), by the height of one line of
// it otherwise. A position or height that does not fit 32 bits, or an angle whose tenths do not fit
// 16 bits, draws nothing.
void DrawTextOut(Picture &pic, int x, int y, const QString &text, int angle, bool keepX, double fontHeight,
                 int weight, int64_t colour);
