// The chart's arrow keys as pure arithmetic on the window of bars and the crosshair.
#include <gtest/gtest.h>

#include "mainwindow/chart_keys.h"

namespace {

TEST(ChartKeys, ScrollZoomAndCrosshairSteps)
{
    struct Case {
        const char *name;
        ChartKeyState s;  // first, last, bars, current bar, crosshair x, left, right, width
        int key;
        int shift;
        bool handled;
        int first;  // the window after the key
        int last;
        double crossX;
    };
    const std::vector<Case> cases = {
        {"Down on 25 bars does nothing", {1, 25, 25, 10, 400, 0, 0, 1000}, kKeyDown, 0, false, 1, 25, 400},
        {"Down on span 30 does nothing", {1, 31, 100, 10, 400, 0, 0, 1000}, kKeyDown, 0, false, 1, 31, 400},
        {"Alt+Up shows all bars", {201, 260, 300, 230, 500, 0, 0, 1000}, kKeyUp, kAltKey, true, 1, 300, 500},
        {"Up on all bars stays", {1, 25, 25, 10, 400, 0, 0, 1000}, kKeyUp, 0, true, 1, 25, 400},
        {"Left at bar 1 steps the crosshair", {1, 60, 100, 30, 610, 0, 0, 1200}, kKeyLeft, 0, true, 1, 60, 590},
        {"Shift+Left at bar 1 steps five bars", {1, 60, 100, 30, 610, 0, 0, 1200}, kKeyLeft, kShiftKey, true, 1, 60,
         510},
        {"Left stops at bar 1's centre", {1, 60, 100, 1, 15, 0, 0, 1200}, kKeyLeft, 0, true, 1, 60, 10},
        {"Left with margins", {1, 10, 100, 1, 150, 100, 100, 1200}, kKeyLeft, kShiftKey, true, 1, 10, 150},
        {"Shift+Right cut at the last bar", {201, 260, 265, 230, 500, 0, 0, 1000}, kKeyRight, kShiftKey, true, 206,
         265, 500},
        {"Right", {201, 260, 265, 230, 500, 0, 0, 1000}, kKeyRight, 0, true, 202, 261, 500},
        {"Ctrl+Left", {201, 260, 265, 230, 500, 0, 0, 1000}, kKeyLeft, kCtrlKey, true, 199, 258, 500},
        {"Ctrl+Shift is no Shift", {201, 260, 265, 230, 500, 0, 0, 1000}, kKeyLeft, kCtrlKey | kShiftKey, true, 199,
         258, 500},
        {"Shift+Left cut at bar 1", {3, 62, 265, 30, 500, 0, 0, 1000}, kKeyLeft, kShiftKey, true, 1, 60, 500},
        {"Right at the end steps the crosshair", {241, 265, 265, 260, 900, 0, 0, 1000}, kKeyRight, 0, true, 241,
         265, 940},
        {"Right stops at the last centre", {241, 265, 265, 265, 970, 0, 0, 1000}, kKeyRight, 0, true, 241, 265, 980},
        {"Down keeps the bar under the crosshair", {101, 200, 300, 150, 490, 0, 0, 980}, kKeyDown, 0, true, 101, 198,
         490},
        {"Down with a left margin", {101, 200, 300, 150, 510, 20, 0, 1000}, kKeyDown, 0, true, 101, 198, 510},
        {"Shift+Down", {41, 81, 100, 61, 500, 0, 0, 1000}, kKeyDown, kShiftKey, true, 51, 71, 500},
        {"Alt+Down narrows to 5", {101, 200, 300, 150, 500, 0, 0, 980}, kKeyDown, kAltKey, true, 147, 152, 500},
        {"Up shifted inside at the start", {1, 40, 300, 5, 900, 0, 0, 1000}, kKeyUp, 0, true, 1, 42, 900},
        {"Up shifted inside at the end", {261, 300, 300, 299, 10, 0, 0, 1000}, kKeyUp, 0, true, 259, 300, 10},
        // A plot with no width has no place for a bar: the key does nothing.
        {"Down with no width", {101, 200, 300, 150, 0, 50, 0, 50}, kKeyDown, 0, false, 101, 200, 0},
        {"Up with a negative width", {101, 200, 300, 150, 0, 50, 0, 20}, kKeyUp, 0, false, 101, 200, 0},
        {"Left at bar 1 with no width", {1, 60, 100, 1, 0, 0, 0, 0}, kKeyLeft, 0, false, 1, 60, 0},
        {"Right at the end, margins fill it", {241, 265, 265, 260, 0, 500, 500, 1000}, kKeyRight, 0, false, 241,
         265, 0},
        {"no bars", {0, 0, 0, 0, 0, 0, 0, 1000}, kKeyUp, kAltKey, false, 0, 0, 0},
        {"another key", {201, 260, 265, 230, 500, 0, 0, 1000}, 65, 0, false, 201, 260, 500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ChartKeyResult r = ApplyChartKey(c.s, c.key, c.shift);
        EXPECT_EQ(r.handled, c.handled);
        if (!r.handled)
            continue;
        EXPECT_EQ(c.s.first + r.dFirst, c.first);
        EXPECT_EQ(c.s.last + r.dLast, c.last);
        EXPECT_DOUBLE_EQ(r.crossX, c.crossX);
    }
}

}  // namespace
