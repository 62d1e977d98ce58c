// The chart's arrow keys as arithmetic on the visible window.
#include "chart_keys.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int KeyStep(const ChartKeyState &s, int shift)
{
    int step = std::abs(s.last - s.first) / 20;
    if (shift == kShiftKey)
        step *= 5;
    if (shift == 0)
        step = 1;
    if (step < 1)
        step = 1;
    if (shift == kAltKey)
        step = s.barCount;
    return step;
}

// The result of a window target: moved inside 1..barCount, as differences from the present window.
ChartKeyResult MoveTo(const ChartKeyState &s, int first, int last)
{
    first = std::clamp(first, 1, s.barCount);
    last = std::clamp(last, 1, s.barCount);
    if (first > last)
        std::swap(first, last);
    return {true, first - s.first, last - s.last, s.crossX};
}

}  // namespace

ChartKeyResult ApplyChartKey(const ChartKeyState &s, int keyCode, int shift)
{
    if (s.barCount < 1)
        return {};
    const int step = KeyStep(s, shift);
    const int visible = s.last - s.first + 1;
    const double plot = s.width - s.leftMargin - s.rightMargin;
    if (keyCode == kKeyLeft || keyCode == kKeyRight) {
        const bool left = keyCode == kKeyLeft;
        if (left && s.first > 1)
            return MoveTo(s, s.first - std::min(step, s.first - 1), s.last - std::min(step, s.first - 1));
        if (!left && s.last < s.barCount) {
            const int n = std::min(step, s.barCount - s.last);
            return MoveTo(s, s.first + n, s.last + n);
        }
        // At the end of the bars the crosshair steps instead; a plot with no room has no bars to step.
        if (visible < 1 || !(plot > 0))
            return {};
        const double barWidth = plot / visible;
        const double by = barWidth * (shift == kShiftKey ? 5 : 1);
        const double firstCentre = s.leftMargin + barWidth / 2;
        const double lastCentre = s.leftMargin + (visible - 0.5) * barWidth;
        const double x = left ? std::max(s.crossX - by, firstCentre) : std::min(s.crossX + by, lastCentre);
        return {true, 0, 0, x};
    }
    if (keyCode != kKeyUp && keyCode != kKeyDown)
        return {};
    const int span = s.last - s.first;
    if (keyCode == kKeyDown && span < 31)
        return {};
    // The placement divides by the room right of the left margin: none means no place for a bar.
    const double room = s.width - s.leftMargin;
    if (!(room > 0))
        return {};
    int newSpan = keyCode == kKeyUp ? span + 2 * step : span - 2 * step;
    newSpan = std::max(newSpan, 5);
    newSpan = std::min(newSpan, s.barCount);
    const double slot = std::floor((s.crossX - s.leftMargin) / (room / (newSpan + 1)));
    if (!std::isfinite(slot) || std::fabs(slot) > 1e9)
        return {};
    int first = s.curBar - static_cast<int>(slot);
    int last = first + newSpan;
    if (first < 1) {
        last += 1 - first;
        first = 1;
    }
    if (last > s.barCount) {
        first -= last - s.barCount;
        last = s.barCount;
    }
    return MoveTo(s, first, last);
}
