// K线图 drawing: colour table, candles, trade marks, curves, cost line and crosshair read-out.
#include "kline_draw.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "charts/api_draw.h"
#include "charts/text_out.h"
#include "market/market_clock.h"
#include "platform/numeric.h"
#include "platform/numformat.h"
#include "storage/common.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

// What the colour form shows for each entry before anything is saved. Entries 3 and 15 have no colour
// of their own in the form and show the window colour, white.
constexpr std::array<const char *, 16> kDefaultColorTexts = {
    "0",        "192", "32768", "16777215", "128",      "16744576", "12632319", "12648384",
    "12632256", "255", "49152", "255",      "16777215", "12632319", "8421504",  "16777215",
};

constexpr ColorRef kWhite = 0xFFFFFF;
constexpr ColorRef kMiddleLine = 0x333333;
constexpr ColorRef kFallingGuide = 0x00FF00;

// The trade marks' measures in pixels: stem length, distance of the callout box from the point, its
// size and pointer, the circle's radius; the letters' offsets in twips.
constexpr double kStem = 46;
constexpr double kBoxGap = 50;
constexpr double kBoxWidth = 12;
constexpr double kBoxHeight = 13;
constexpr int kPointer = 4;
constexpr double kCircle = 3;
constexpr double kLetterLeft = 60;
constexpr double kNarrowLetterLeft = 45;  // "T"
constexpr double kBuyLetterDown = 750;
constexpr double kSellLetterUp = 930;

struct Crosshair {
    LineControl *vertical = nullptr;
    LineControl *horizontal = nullptr;
    LabelControl *readout = nullptr;
};

Crosshair &TheCrosshair()
{
    static Crosshair c;
    return c;
}

// Element i of a 1-based array, or 0 when it has none.
double ValueAt(const std::vector<double> &a, int i)
{
    return i >= 0 && i < static_cast<int>(a.size()) ? a[static_cast<size_t>(i)] : 0.0;
}

// Text 12 pixels high starting at (x, y) twips, taken as whole twips (halves to even) as the text
// primitive wants them; nothing at a place that is no such number.
void DrawSmallText(Picture &pic, double x, double y, const QString &text, int64_t colour)
{
    const auto tx = ClngOf(x), ty = ClngOf(y);
    if (tx && ty)
        DrawTextOut(pic, *tx, *ty, text, 0, true, 12, 0, colour);
}

// A mark at (x, y): dotted stem, callout box below the point (buy) or above it (sell and round
// trip), the letter and a circle at the point, all in the colour.
void DrawMark(Picture &pic, double x, double y, bool below, const QString &letter, ColorRef colour)
{
    Canvas &dc = pic.hDC();
    SelectPenBrush(dc, colour, PS_DOT, 0, 1);
    DrawSegment(dc, x, y, x, below ? y + kStem : y - kStem);
    DrawLabelBox(dc, x, below ? y + kBoxGap : y - kBoxGap, kBoxWidth, kBoxHeight, kPointer, !below, colour);
    const double pt = Picture::kTwipsPerPixel;
    const double letterLeft = letter == QStringLiteral("T") ? kNarrowLetterLeft : kLetterLeft;
    DrawSmallText(pic, x * pt - letterLeft, below ? y * pt + kBuyLetterDown : y * pt - kSellLetterUp, letter, kWhite);
    // The box's brush is still selected: the circle is filled with the mark's colour.
    DrawCircle(pic.hDC(), x, y, kCircle);
}

// Clears the picture and writes the title: the stock's text (the picture's Tag) and " 交易分布图示".
void DrawKLineTitle(Picture &pic)
{
    pic.Cls();
    pic.ForeColor = kWhite;
    DrawTextOut(pic, 60, 60, pic.Tag + QStringLiteral(" 交易分布图示"), 0, true, 18, 0, kKeepForeColor);
}

}  // namespace

QString GetKLineColorText(int i)
{
    if (i < 0 || i >= static_cast<int>(kDefaultColorTexts.size()))
        return QString();
    const std::vector<QString> &tt = KTradeDispSetParams().tt;
    const auto at = static_cast<size_t>(i);
    // A table never saved (a new book, the colour form never opened) draws in the form's colours.
    if (at < tt.size() && !tt[at].isEmpty())
        return tt[at];
    return QString::fromLatin1(kDefaultColorTexts[at]);
}

ColorRef GetKLineColor(int i)
{
    const double v = LeadingNumber(GetKLineColorText(i));
    // A colour number is 32 bits; a stored negative number is its two's complement.
    if (!(v >= INT32_MIN && v <= UINT32_MAX))
        return 0;
    return static_cast<ColorRef>(static_cast<int64_t>(v));
}

bool ChartGeometry::HasScale() const
{
    return std::isfinite(max) && std::isfinite(min) && max != min;
}

double ChartGeometry::Y(double p) const
{
    return top + H - (p - min) * H / (max - min);
}

double ChartGeometry::Centre(int i) const
{
    return (i - first + 0.5) * w + left;
}

ChartGeometry ChartGeometryOf(int widthTw, int heightTw, double left, double right, double top, double bottom,
                              int first, int last, double max, double min)
{
    ChartGeometry g;
    g.left = left;
    g.right = right;
    g.top = top;
    g.bottom = bottom;
    g.W = static_cast<double>(widthTw) / Picture::kTwipsPerPixel - left - right;
    g.H = static_cast<double>(heightTw) / Picture::kTwipsPerPixel - top - bottom;
    g.first = first;
    g.last = last;
    g.n = static_cast<int>(std::clamp<long long>(static_cast<long long>(last) - first + 1, INT32_MIN, INT32_MAX));
    // Every bar takes its share of the width, also in a window of one or two bars.
    g.w = g.n >= 1 ? g.W / g.n : g.W;
    g.max = max;
    g.min = min;
    return g;
}

int KLineMargin(int heightTw)
{
    const int m = ClngOf(static_cast<double>(heightTw) / Picture::kTwipsPerPixel / 4).value_or(60);
    return std::min(m, 60);
}

void SetKLineCrosshair(LineControl *vertical, LineControl *horizontal, LabelControl *readout)
{
    TheCrosshair() = Crosshair{vertical, horizontal, readout};
}

LabelControl *KLineReadout()
{
    return TheCrosshair().readout;
}

void DrawTradeKLine(Picture &pic)
{
    const KLineRecord &k = KLineData();
    const int m = KLineMargin(pic.Height());
    const ColorRef background = GetKLineColor(0);
    const ColorRef positionColour = GetKLineColor(12);
    const ColorRef costColour = GetKLineColor(13);

    pic.BackColor = background;
    DrawKLineTitle(pic);
    pic.ForeColor = positionColour;
    DrawTextOut(pic, 60, 420, QStringLiteral("仓位："), 0, true, 12, 0, kKeepForeColor);
    pic.Line(600, 520, 1200, 520);
    pic.ForeColor = costColour;
    DrawTextOut(pic, 60, 660, QStringLiteral("成本："), 0, true, 12, 0, kKeepForeColor);
    pic.Line(600, 750, 1200, 750);

    DrawCandles(pic, k, 0, 0, m, m, k.MaxPrice, k.MinPrice, false);
    DrawTradeMarks(pic, k, 0, 0, m, m, k.MaxPrice, k.MinPrice);

    if (positionColour != pic.BackColor) {
        // The position curve has a scale of its own: the whole series, top edge to bottom edge.
        double max = 0, min = 0;
        ArrayMinMax(PositionSeries(), max, min, 1);
        DrawChartCurve(pic, PositionSeries(), -1, 0, 0, positionColour, max, min, 0, k.FirstBar, k.LastBar, 0, 0, {},
                       false, true);
    }
    const ChartGeometry g = ChartGeometryOf(pic.Width(), pic.Height(), 0, 0, m, m, k.FirstBar, k.LastBar,
                                            k.MaxPrice, k.MinPrice);
    // The cost curve lies on the candles' price scale, and needs it.
    if (costColour != pic.BackColor && g.HasScale())
        DrawChartCurve(pic, CostSeries(), -1, m, m, costColour, k.MaxPrice, k.MinPrice, 0, k.FirstBar, k.LastBar, 0,
                       0, {}, false, true);

    if (!IsIndexCode(k.Code) && GetKLineColorText(11) != GetKLineColorText(0) && g.HasScale()) {
        const double cost = PositionCost();
        const double lastClose = ValueAt(k.BarClose, k.BarCount());
        const double pct = cost != 0 ? (lastClose - cost) / cost * 100 : 0;
        const ColorRef costLine = GetKLineColor(11);
        pic.ForeColor = costLine;
        const double h = ClngOf(static_cast<double>(pic.Height()) / Picture::kTwipsPerPixel - 2.0 * m).value_or(0);
        const auto y = ClngOf((h + m) - (cost - k.MinPrice) / (k.MaxPrice - k.MinPrice) * h);
        if (y) {
            const QString text = QStringLiteral("成本价：") + GeneralNumberText(cost) + QStringLiteral(" [") +
                                 FormatValue(MakeDouble(pct)) + QStringLiteral("%]");
            DrawSmallText(pic, 0, (static_cast<double>(*y) - 13) * Picture::kTwipsPerPixel, text, kKeepForeColor);
            Canvas &dc = pic.hDC();
            SelectPenBrush(dc, costLine, PS_DASH, 0, 1);
            DrawSegment(dc, 0, *y, static_cast<double>(pic.Width()) / Picture::kTwipsPerPixel, *y);
            ReleasePenBrush();
        }
    }

    const Crosshair &cross = TheCrosshair();
    const ColorRef crossColour = GetKLineColor(14);
    if (cross.vertical)
        cross.vertical->SetBorderColor(crossColour);
    if (cross.horizontal)
        cross.horizontal->SetBorderColor(crossColour);
    if (cross.vertical && cross.horizontal && cross.readout)
        ShowKLineBarInfo(pic, *cross.vertical, *cross.horizontal, *cross.readout, cross.vertical->X1(),
                         cross.horizontal->Y1());
    pic.Refresh();
}

void DrawEmptyKLine(Picture &pic)
{
    pic.BackColor = GetKLineColor(0);
    DrawKLineTitle(pic);
    // The read-out spoke of the stock shown before.
    if (LabelControl *readout = TheCrosshair().readout)
        readout->SetCaption(QString());
    pic.Refresh();
}

void DrawCandles(Picture &pic, const KLineRecord &k, int left, int right, int top, int bottom, double max,
                 double min, bool filled)
{
    const ChartGeometry g = ChartGeometryOf(pic.Width(), pic.Height(), left, right, top, bottom, k.FirstBar,
                                            k.LastBar, max, min);
    if (!g.HasScale())
        return;
    Canvas &dc = pic.hDC();
    const int bars = k.BarCount();
    // The running sum, not i × w, so that neighbouring candles meet where the sums round.
    double x = left;
    for (int i = k.FirstBar; i <= k.LastBar; ++i, x += g.w) {
        if (i < 1 || i > bars)
            continue;
        const auto at = static_cast<size_t>(i);
        SelectPenBrush(dc, PickUpDownColor(k.BarOpen[at], k.BarClose[at]), PS_SOLID, filled ? 1 : 0, 1);
        const double x2 = x + g.w;
        double yo = g.Y(k.BarOpen[at]);
        double yc = g.Y(k.BarClose[at]);
        DrawRect(dc, x + 1, yo, x2 - 1, yc);
        const double xm = (x + x2) / 2;
        if (yo > yc)
            std::swap(yo, yc);
        DrawSegment(dc, xm, yo, xm, g.Y(k.BarHigh[at]));
        DrawSegment(dc, xm, yc, xm, g.Y(k.BarLow[at]));
    }
    ReleasePenBrush();
}

ColorRef PickUpDownColor(double open, double close)
{
    const double d = open - close;
    if (d > 0)
        return GetKLineColor(2);
    if (d < 0)
        return GetKLineColor(1);
    return GetKLineColor(3);
}

std::optional<double> CurveValues::At(int i, int column) const
{
    if (i < 0)
        return std::nullopt;
    if (m_values) {
        if (column >= 0 || i >= static_cast<int>(m_values->size()))
            return std::nullopt;
        return (*m_values)[static_cast<size_t>(i)];
    }
    if (m_rows && column >= 0 && m_rows->Contains(i, column))
        return (*m_rows)(i, column);
    return std::nullopt;
}

bool CurveValues::MinMax(int first, int last, double &max, double &min) const
{
    bool any = false;
    auto take = [&](double v) {
        max = any ? std::max(max, v) : v;
        min = any ? std::min(min, v) : v;
        any = true;
    };
    for (int i = std::max(first, 0); i <= last; ++i) {
        if (m_values) {
            if (i >= static_cast<int>(m_values->size()))
                break;
            take((*m_values)[static_cast<size_t>(i)]);
        } else if (m_rows) {
            if (i >= m_rows->Rows())
                break;
            for (long c = 0; c < m_rows->Cols(); ++c)
                take((*m_rows)(i, c));
        }
    }
    return any;
}

void DrawChartCurve(Picture &pic, const CurveValues &values, int column, double top, double bottom, ColorRef colour,
                    double max, double min, int style, int first, int last, double left, double right,
                    const std::vector<double> &guide, bool middleLine, bool zeroGap)
{
    Q_UNUSED(style);
    if (colour == pic.BackColor)
        return;
    first = std::max(first, 0);
    last = std::max(last, 0);
    if (max == 0 && min == 0)
        values.MinMax(first, last, max, min);
    const ChartGeometry g = ChartGeometryOf(pic.Width(), pic.Height(), std::max(left, 0.0), std::max(right, 0.0),
                                            top, bottom, first, last, max, min);
    const double pictureWidth = static_cast<double>(pic.Width()) / Picture::kTwipsPerPixel;
    const double pictureBottom = static_cast<double>(pic.Height()) / Picture::kTwipsPerPixel;
    Canvas &dc = pic.hDC();
    if (middleLine) {
        SelectPenBrush(dc, kMiddleLine, PS_DOT, 0, 1);
        DrawSegment(dc, pictureWidth, g.H / 2 + top, g.left, g.H / 2 + top);
    }
    if (g.HasScale()) {
        SelectPenBrush(dc, colour, PS_SOLID, 0, 1);
        double x0 = g.left + g.w / 2;
        std::optional<double> v0 = values.At(first, column);
        double y0 = v0 ? g.Y(*v0) : 0;
        for (int i = first + 1; i <= last; ++i) {
            const double x = x0 + g.w;
            const std::optional<double> v = values.At(i, column);
            const double y = v ? g.Y(*v) : 0;
            if (!guide.empty()) {
                const bool rising = ValueAt(guide, i) >= ValueAt(guide, i - 1);
                SelectPenBrush(dc, rising ? colour : kFallingGuide, PS_SOLID, 0, 1);
            }
            if (v0 && v) {
                if (!zeroGap || (*v0 != 0 && *v != 0)) {
                    DrawSegment(dc, x0, y0, x, y);
                } else {
                    // A run of zeros (nothing held) leaves a gap, its sides drawn down to the bottom edge.
                    if (*v != 0)
                        DrawSegment(dc, x, y, x, pictureBottom);
                    if (*v0 != 0)
                        DrawSegment(dc, x0, y0, x0, pictureBottom);
                }
            }
            x0 = x;
            y0 = y;
            v0 = v;
        }
    }
    ReleasePenBrush();
    pic.Refresh();
}

void DrawTradeMarks(Picture &pic, const KLineRecord &k, int left, int right, int top, int bottom, double max,
                    double min)
{
    const ChartGeometry g = ChartGeometryOf(pic.Width(), pic.Height(), left, right, top, bottom, k.FirstBar,
                                            k.LastBar, max, min);
    pic.ForeColor = kWhite;
    const int bars = k.BarCount();
    if (!g.HasScale() || k.FirstBar < 1 || k.LastBar < 1 || k.FirstBar > bars || k.LastBar > bars)
        return;
    const double firstDay = k.BarDate[static_cast<size_t>(k.FirstBar)];
    const double lastDay = k.BarDate[static_cast<size_t>(k.LastBar)];
    for (int j = 1; j <= k.TradeCount(); ++j) {
        const auto at = static_cast<size_t>(j);
        const double buyPrice = k.BuyPrice[at];
        const double sellPrice = k.SellPrice[at];
        if (k.BuyDate[at] < firstDay || k.BuyDate[at] > lastDay)
            continue;
        const long bi = ArrayIndexOf(k.BarDate, k.BuyDate[at], k.FirstBar);
        const long si = sellPrice <= 0 ? -1 : ArrayIndexOf(k.BarDate, k.SellDate[at], k.FirstBar);
        if (bi < k.FirstBar)
            continue;
        const double xb = g.Centre(static_cast<int>(bi));
        const double yb = g.Y(buyPrice);
        if (bi != si) {
            const ColorRef c = GetKLineColor(sellPrice <= 0 ? 4 : 8);
            if (c != pic.BackColor)
                DrawMark(pic, xb, yb, true, QStringLiteral("B"), c);
        }
        if (si < 1)
            continue;
        const double xs = g.Centre(static_cast<int>(si));
        const double ys = g.Y(sellPrice);
        if (si > bi) {
            const ColorRef c = GetKLineColor(5);
            if (c != pic.BackColor)
                DrawMark(pic, xs, ys, false, QStringLiteral("S"), c);
            const ColorRef arrow = GetKLineColor(sellPrice > buyPrice ? 9 : 10);
            if (arrow != pic.BackColor) {
                pic.ForeColor = arrow;
                double headLength = 0;
                DrawTradeArrow(pic, xb, yb, xs, ys, headLength, arrow, 1);
            }
        } else if (si == bi) {
            const ColorRef c = GetKLineColor(sellPrice > buyPrice ? 6 : 7);
            if (c != pic.BackColor) {
                DrawMark(pic, xs, ys, false, QStringLiteral("T"), c);
                // The buy point's circle: a brush of the colour under the dotted pen.
                SelectPenBrush(pic.hDC(), c, PS_DOT, 1, 1);
                DrawCircle(pic.hDC(), xb, yb, kCircle);
            }
        }
    }
    ReleasePenBrush();
}

std::optional<ArrowHead> TradeArrowHead(double x1, double y1, double x2, double y2, double length)
{
    const double d = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    if (!(d > 0) || !std::isfinite(d))
        return std::nullopt;
    const double a = x1 - x2, b = y1 - y2;
    return ArrowHead{static_cast<float>(x2 + length * (a + b / 2) / d), static_cast<float>(y2 + length * (b - a / 2) / d),
                     static_cast<float>(x2 + length * (a - b / 2) / d), static_cast<float>(y2 + length * (b + a / 2) / d)};
}

void DrawTradeArrow(Picture &pic, double x1, double y1, double x2, double y2, double &headLength, ColorRef colour,
                    int width)
{
    headLength = 8.0 * width;
    const std::optional<ArrowHead> head = TradeArrowHead(x1, y1, x2, y2, headLength);
    if (!head)
        return;
    Canvas &dc = pic.hDC();
    SelectPenBrush(dc, colour, PS_SOLID, 0, width);
    DrawSegment(dc, head->x1, head->y1, x2, y2);
    DrawSegment(dc, head->x2, head->y2, x2, y2);
    SelectPenBrush(dc, colour, PS_DOT, 0, width);
    DrawSegment(dc, x1, y1, x2, y2);
    ReleasePenBrush();
}

QString KLineBarInfoText(int bar)
{
    KLineRecord &k = KLineData();
    if (bar < 1 || bar > k.BarCount())
        return QString();
    const double day = k.BarDate[static_cast<size_t>(bar)];
    const QString date = FormatValue(MakeDate(day));
    bool todayUpdated = false;
    auto updateToday = [&] {
        if (!todayUpdated)
            UpdateTodayBar(k);
        todayUpdated = true;
    };
    QString buys, sells;
    if (!IsIndexCode(k.Code)) {
        for (int j = 1; j <= k.TradeCount(); ++j) {
            const auto at = static_cast<size_t>(j);
            const int32_t num = at < k.BuyNum.size() ? k.BuyNum[at] : 0;
            if (k.BuyDate[at] == day) {
                buys += QStringLiteral("\n买入：") + FormatValue(MakeLong(num)) + QStringLiteral("股，价格：") +
                        FormatValue(MakeDouble(k.BuyPrice[at]));
                if (k.SellPrice[at] == 0 && k.BuyPrice[at] != 0) {
                    updateToday();
                    const double close = ValueAt(k.BarClose, k.BarCount());
                    const double gain = (close / k.BuyPrice[at] - 1 - CommissionRate()) * 100;
                    buys += QStringLiteral(" 涨幅：") + FormatValue(MakeDouble(gain)) + QStringLiteral("%");
                }
            }
            if (k.SellDate[at] == day)
                sells += QStringLiteral("\n卖出：") + FormatValue(MakeLong(num)) + QStringLiteral("股，价格：") +
                         FormatValue(MakeDouble(k.SellPrice[at]));
        }
    }
    const double position = ValueAt(PositionSeries(), bar);
    if (!(position <= 0 && sells.isEmpty()))
        sells += QStringLiteral("\n仓位：") + GeneralNumberText(position) + QStringLiteral("\n成本：") +
                 GeneralNumberText(ValueAt(CostSeries(), bar));
    if (std::floor(day) == MarketTodayDayNumber()) {
        updateToday();
        // Today's bar goes when its quote has no prices yet.
        if (bar > k.BarCount())
            return QString();
        const auto at = static_cast<size_t>(bar);
        sells += QStringLiteral("\n开盘价：") + NumberText(RoundHalfEven(k.BarOpen[at], 2)) +
                 QStringLiteral(" 最新价：") + NumberText(RoundHalfEven(k.BarClose[at], 2));
    }
    return date + buys + sells;
}

void ShowKLineBarInfo(Picture &pic, LineControl &vertical, LineControl &horizontal, LabelControl &label, double X,
                      double Y)
{
    KLineRecord &k = KLineData();
    const long long n = static_cast<long long>(k.LastBar) - k.FirstBar + 1;
    if (n < 1)
        return;
    const double wt = static_cast<double>(pic.Width()) / static_cast<double>(n);
    const double slot = std::trunc(X / wt);
    // A place beyond the bars (right of the last one, left of the first) selects nothing.
    if (!(wt > 0) || !std::isfinite(slot) || std::fabs(slot) > 1e9)
        return;
    const long long bar = k.FirstBar + static_cast<long long>(slot);
    if (bar < 1 || bar > k.BarCount())
        return;
    k.CurBar = static_cast<int>(bar);
    const double x = (static_cast<double>(bar - k.FirstBar) + 0.5) * wt;
    vertical.SetX1(x);
    vertical.SetX2(x);
    horizontal.SetY1(Y);
    horizontal.SetY2(Y);
    const QString text = KLineBarInfoText(k.CurBar);
    if (text.isEmpty()) {
        // Today's bar went with its quote: the window and the crosshair keep to the bars left.
        ClampToRange(k.FirstBar, 1, k.BarCount());
        ClampToRange(k.LastBar, 1, k.BarCount());
        ClampToRange(k.CurBar, 1, k.BarCount());
        return;
    }
    label.SetCaption(text);
    label.SetLeft(x + label.Width() <= pic.Width() ? x : x - label.Width());
}
