// K线图 drawing: the K-line colour table, the drawing of the K-line picture from the chart data
// (candles, trade marks, the two series curves, the current cost line), the curve that the other
// charts draw too, and the crosshair read-out.
#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "charts/kline.h"
#include "platform/canvas.h"
#include "platform/picture.h"
#include "storage/arrays.h"

// The text of entry i (0..15) of the K-line colour table, KTradeDispSetParams().tt[i]; a missing or
// empty element gives the entry's default, the colour the colour form shows before anything is
// saved: 0 background "0" (black), 1 rising candle "192", 2 falling candle "32768", 3 flat candle
// "16777215", 4 buy still held "128", 5 sell "16744576", 6 round trip with a gain "12632319", 7 round
// trip without "12648384", 8 buy sold "12632256", 9 arrow with a gain "255", 10 arrow without
// "49152", 11 current cost "255", 12 position curve "16777215", 13 cost curve "12632319", 14
// crosshair "8421504", 15 spare "16777215". An index outside 0..15 gives "".
QString GetKLineColorText(int i);
// The colour number of entry i: the leading number of its text; 0 (black) when it holds no number.
ColorRef GetKLineColor(int i);

// The layout of a plot inside a picture, in pixels: the margins, the plot's width W and height H,
// the visible bars or points first..last (n of them, each w wide) and the value scale max..min.
struct ChartGeometry {
    double left = 0, right = 0, top = 0, bottom = 0;
    double W = 0, H = 0;
    int first = 0, last = 0, n = 0;
    double w = 0;
    double max = 0, min = 0;

    // False when max equals min (or either is not a number): no value has a place on the scale.
    bool HasScale() const;
    // The y of a value: top + H − (p − min) × H / (max − min).
    double Y(double p) const;
    // The middle of bar i: (i − first + 0.5) × w + left.
    double Centre(int i) const;
};

// The geometry of a picture widthTw × heightTw twips (15 to a pixel) with the margins in pixels:
// W = width − left − right, H = height − top − bottom, n = last − first + 1, w = W / n (W when n < 1).
ChartGeometry ChartGeometryOf(int widthTw, int heightTw, double left, double right, double top, double bottom,
                              int first, int last, double max, double min);

// The K-line chart's margin above and below its plot: the whole number nearest to a quarter of the
// picture's height in pixels (halves to even), at most 60.
int KLineMargin(int heightTw);

// The crosshair and read-out label of the chart picture, handed over with it by the window that owns
// them: nullptr for each that is not there (then the chart neither colours nor moves it). The owner
// takes them back (nullptr) before it destroys them.
void SetKLineCrosshair(LineControl *vertical, LineControl *horizontal, LabelControl *readout);
LabelControl *KLineReadout();

// Redraws the whole K-line picture from KLineData(), the series and PositionCost(): background in
// entry 0, the title (the picture's Tag and " 交易分布图示"), the legend of the two curves, the
// candles, the trade marks, the position curve on a scale of its own and the cost curve on the
// candles' scale (each unless its colour is the background), and, for a stock that is not an index
// and when entry 11's text differs from entry 0's, the dashed line of the current cost with its text
// "成本价：" & the cost & " [" & its gain to the last close in percent & "%]". Then the crosshair lines
// take entry 14, the read-out is written at the crosshair's place, and the picture is shown. With
// MaxPrice equal to MinPrice the candles, marks, cost curve and cost line are left out.
void DrawTradeKLine(Picture &pic);

// The picture of a stock without bars: background in entry 0 and the title (the picture's Tag and
// " 交易分布图示") alone; the read-out is emptied and the picture shown.
void DrawEmptyKLine(Picture &pic);

// One candle per bar FirstBar..LastBar of k, in the plot inside the margins (pixels) on the scale
// max..min: a body from open to close inset one pixel each side (a flat bar a one-pixel line) and a
// wick from each end of the body to the high and the low, in PickUpDownColor. The bodies are hollow
// (no brush is selected) unless filled is set. Nothing when max equals min; the pen is given back.
void DrawCandles(Picture &pic, const KLineRecord &k, int left, int right, int top, int bottom, double max,
                 double min, bool filled);

// The colour of a candle: entry 2 when it closed below its open, entry 1 above it, entry 3 level.
ColorRef PickUpDownColor(double open, double close);

// The values a curve is drawn through: one per point of a 1-D array, or one column of a 2-D array
// (one row per point). It refers to the array, which must outlive it.
class CurveValues {
public:
    CurveValues(const std::vector<double> &values) : m_values(&values) {}
    CurveValues(const Matrix<double> &rows) : m_rows(&rows) {}
    // The value of point i: element i, or element `column` of row i when column >= 0 and the array is
    // 2-D; nothing when there is none (a column of a 1-D array, or a 2-D array without a column).
    std::optional<double> At(int i, int column) const;
    // The largest and smallest value of points first..last (for a 2-D array, of every column of those
    // rows); false when there is none.
    bool MinMax(int first, int last, double &max, double &min) const;

private:
    const std::vector<double> *m_values = nullptr;
    const Matrix<double> *m_rows = nullptr;
};

// A curve through points first..last (negative indexes count as 0) of the values, one point in the
// middle of each of the n = last − first + 1 slots, each W / n wide, of the plot inside the margins
// (pixels; negative side margins count as 0), on the scale max (top) .. min (bottom); with max and
// min both 0 the scale of the points drawn. Nothing when colour is the picture's BackColor. With
// middleLine, first a dotted line in 0x333333 across the plot's middle from the picture's right edge
// to the left margin. With a colour guide (not empty), a segment takes the colour when guide(i) >=
// guide(i − 1), else green 0x00FF00. With zeroGap, a point of value 0 is not joined to its
// neighbours: a vertical line from the picture's bottom edge opens the curve at the first point after
// a zero, and closes it at the last point before one. The style is not used (solid). Without a scale
// (max equal to min) only the middle line is drawn; a point without a value joins nothing. The pen is
// given back and the picture shown.
void DrawChartCurve(Picture &pic, const CurveValues &values, int column, double top, double bottom, ColorRef colour,
                    double max, double min, int style, int first, int last, double left, double right,
                    const std::vector<double> &guide, bool middleLine, bool zeroGap);

// The trade marks of k's records in the visible window: under the buy price of a record bought in it
// a "B" mark (dotted stem down, callout box, white letter, circle; entry 4 while held, 8 once sold);
// above the sell price of a later sell an "S" mark in entry 5 and a dotted arrow from the buy to the
// sell in entry 9 when sold higher, else 10; a record sold on its buy bar one "T" mark above the sell
// price in entry 6 when sold higher, else 7, with circles at the sell and the buy point. A record
// bought before the window or on a day without a bar gets no mark; a sell beyond the window is drawn
// where its bar would lie. A mark or arrow whose colour is the picture's BackColor is left out, and
// all of them when max equals min. The pen is given back.
void DrawTradeMarks(Picture &pic, const KLineRecord &k, int left, int right, int top, int bottom, double max,
                    double min);

// The two points of the head of an arrow from (x1, y1) to (x2, y2) with head length `length`: the
// direction back towards the start turned by ±26.57° (tangent 1/2) at length × √1.25 from the tip,
// as single-precision numbers. Nothing when the two points coincide.
struct ArrowHead {
    float x1, y1, x2, y2;
};
std::optional<ArrowHead> TradeArrowHead(double x1, double y1, double x2, double y2, double length);

// An arrow in the colour from (x1, y1) to (x2, y2) (pixels): a dotted shaft of the pen width and a
// solid two-stroke head at the end, headLength = 8 × width (set on return). Nothing when the two
// points coincide. The pen is given back.
void DrawTradeArrow(Picture &pic, double x1, double y1, double x2, double y2, double &headLength, ColorRef colour,
                    int width);

// The crosshair read-out at (X, Y) twips over the picture: the bar under X (bars Width / n twips
// wide from FirstBar) becomes KLineData().CurBar, the vertical line moves to its middle and the
// horizontal one to Y, and the label shows the bar's date and, lines joined by "\n", each buy of that
// day ("买入：" shares "股，价格：" price, and for a record still held " 涨幅：" its gain to the last
// close after the commission, in percent "%"), each sell of that day ("卖出："...), unless nothing is
// held and nothing sold the position and cost of the day ("仓位：", "成本："), and for today's bar
// "开盘价：" and " 最新价：". Its left edge is the line's x, or x less its width when it would pass
// the picture's right edge. Today's bar is refreshed from the quotes at most once. An X that selects
// no bar (left of bar 1, right of the last one) changes nothing.
void ShowKLineBarInfo(Picture &pic, LineControl &vertical, LineControl &horizontal, LabelControl &label, double X,
                      double Y);

// The read-out text of bar `bar` of the chart data (what ShowKLineBarInfo writes into the label),
// refreshing today's bar through UpdateTodayBar at most once; "" when the bar does not exist.
QString KLineBarInfoText(int bar);
