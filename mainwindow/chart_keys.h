// The arrow keys on the K-line chart: scrolling the window of visible bars, widening and narrowing
// it around the crosshair, and stepping the crosshair along the bars at either end.
#pragma once

// Keys of the chart and the modifier codes as the chart reports them.
constexpr int kKeyLeft = 37;
constexpr int kKeyUp = 38;
constexpr int kKeyRight = 39;
constexpr int kKeyDown = 40;
constexpr int kShiftKey = 1;
constexpr int kCtrlKey = 2;
constexpr int kAltKey = 4;

// What a key works on: the visible window first..last of barCount bars, the bar under the crosshair,
// the crosshair's x and the picture's width with the plot's margins, all in the same units.
struct ChartKeyState {
    int first = 0;
    int last = 0;
    int barCount = 0;
    int curBar = 0;
    double crossX = 0;
    double leftMargin = 0;
    double rightMargin = 0;
    double width = 0;
};

// The outcome of a key: handled false when it does nothing (another key, Down on a window of fewer
// than 32 bars, no bars, or a plot with no width); then the read-out stays as it is. Otherwise the
// window moves by (dFirst, dLast) (both 0 when only the crosshair moves) and the crosshair stands at
// crossX.
struct ChartKeyResult {
    bool handled = false;
    int dFirst = 0;
    int dLast = 0;
    double crossX = 0;
};

// Applies a key (37 Left, 38 Up, 39 Right, 40 Down) with the modifiers shift (1 Shift, 2 Ctrl, 4 Alt,
// added up, compared as exact sets). The step is a twentieth of the span (whole bars), five times
// that with Shift alone, 1 with no modifier, at least 1, all bars with Alt alone. Left and Right
// scroll by the step without passing bar 1 or the last bar; at that end the crosshair moves one bar
// width instead (five with Shift), not past the centre of the end bar. Up widens and Down narrows the
// span by twice the step (kept within 5..barCount), placed so that the current bar stays under the
// crosshair and shifted inside the bars. The new window always lies within 1..barCount.
ChartKeyResult ApplyChartKey(const ChartKeyState &s, int keyCode, int shift);
