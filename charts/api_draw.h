// API绘图: the drawing primitives every chart draws through (segment, rectangle, circle, filled
// triangle, the callout box of a trade mark) and the one pen and brush they draw with.
// Coordinates are pixels of the canvas. Each is converted to the nearest whole number (halves to
// even) before drawing; a primitive with a coordinate that is not finite or lies beyond 32 bits is
// left out.
#pragma once

#include "platform/canvas.h"

// Selects a pen of the colour, style (PS_SOLID, PS_DASH, PS_DOT) and width into the canvas and, when
// fill is 1, a solid brush of the colour (any other fill leaves the canvas's brush as it is). The one
// pen and brush are kept for the whole program: a call with the same canvas, colour, style and fill
// as the kept ones does nothing, whatever its width, so the pen keeps the earlier width. Otherwise
// the kept pen and brush are released first, also from another canvas.
void SelectPenBrush(Canvas &hdc, ColorRef colour, int style, int fill, int width);

// Gives the kept pen and brush back: the canvas they were selected into takes back its own pen and,
// when a brush was selected, its own brush. Nothing when none is kept or that canvas is gone.
void ReleasePenBrush();

// A segment in the selected pen from (x1, y1) to (x2, y2), the end pixel left out.
void DrawSegment(Canvas &hdc, double x1, double y1, double x2, double y2);

// A rectangle in the selected pen and brush covering x1..x2−1 × y1..y2−1 (corners in either order);
// with x1 = x2 or y1 = y2 (after rounding) the segment from (x1, y1) to (x2, y2) instead.
void DrawRect(Canvas &hdc, double x1, double y1, double x2, double y2);

// The circle of radius r about (cx, cy): the ellipse in the box cx−r, cy−r, cx+r, cy+r.
void DrawCircle(Canvas &hdc, double cx, double cy, double r);

// A triangle filled with the colour: outline in a solid 1-pixel pen of the colour, interior in a
// brush of it, then its region filled with the colour again, so the interior is the colour whatever
// it is.
void FillTriangle(Canvas &hdc, double x1, double y1, double x2, double y2, double x3, double y3, ColorRef colour);

// The callout box of a trade mark in the colour (pen and brush): a box width × height whose top edge
// lies at y, centred on x, hanging below y (pointDown false) or standing above it (true), with a
// triangle of size `pointer` at the middle of that edge pointing away from the box (up when the box
// hangs, down when it stands). The triangle's base is pointer / 2 either side of the middle (halves
// to even).
void DrawLabelBox(Canvas &hdc, double x, double y, double width, double height, int pointer, bool pointDown,
                  ColorRef colour);
