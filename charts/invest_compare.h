// 炒股资产变化比较图: how the investor's total assets grew against the composite index. Per day of
// the asset table the total assets, the invested share and the index close are loaded; the visible
// stretch of days is drawn as three percent curves on a chart picture, moved and zoomed by the arrow
// keys and read out under the mouse. Beside it, the list of closed trades with its total row.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/flex_grid.h"
#include "platform/picture.h"

// The code of the composite index whose history (table h_1A0001) the assets are compared with.
inline const QString kCompareIndexCode = QStringLiteral("1A0001");

// What the chart holds. The number arrays run 0..N, N the number of asset days; element 0 is the base
// before the first day and is never shown.
struct InvestCompareState {
    // The asset days as "YYYY-MM-DD" at 1..N, ascending; element 0 "".
    QStringList DayList;
    // The days drawn, first and last, within 1..N (1 and N after loading).
    std::array<int, 2> VisibleRange{0, 0};
    // Total assets (`sm`) of each day; element 0 the initial capital of the system settings.
    std::vector<double> AssetValue;
    // Invested share of each day in percent, 100 − cash / sm × 100 to 2 decimals (0 on a day without
    // assets); element 0 is 100.
    std::vector<double> PositionPct;
    // The index close of each day; element 0 the last close before the first day (0 when there is none).
    std::vector<double> IndexClose;
    // Asset and index change against the first visible day in percent, and their difference; filled
    // for the visible days by DrawLine.
    std::vector<double> AssetPct;
    std::vector<double> IndexPct;
    std::vector<double> RelativePct;
    // The crosshair follows the mouse and the read-out is written while this is set.
    bool CrosshairOn = false;

    // The number of asset days.
    int N() const { return static_cast<int>(AssetValue.size()) - 1; }
};

// The first and last date of the asset table as day numbers; (2100-01-01, 1990-01-01) when it is
// empty or cannot be read (logged).
std::array<double, 2> GetDateRange();

// Loads every array from the book (the asset days of GetDateRange, each day's assets and invested
// share, and the index closes) with the whole range visible, then draws (DrawLine). Each day takes
// the index close of its own date, or the close before it where the index has none; the last day
// takes the live index value (GetRealtimePrice) unless that is 0 (no quote). An empty asset table
// gives N = 0 and draws nothing but the cleared picture.
void ReadDeelRes(InvestCompareState &s, Picture &pic);

// Fills AssetPct, IndexPct and RelativePct for the visible days, each percent against the first
// visible day, to 2 decimals. False (nothing filled) when there is no visible day or the first
// visible day has no assets or no index close to compare with.
bool ComputeComparePercents(InvestCompareState &s);

// The common scale of the two percent curves over the visible days: the asset range widened by a
// tenth of its span twice (max first, then min from the new max), merged with the index range and
// widened once more. Index 0 the max, 1 the min.
std::array<double, 2> CompareScale(const InvestCompareState &s);

// One curve of the chart as DrawChartCurve draws it: the series, its colour, its scale and its top
// margin in pixels (the other margins are 0).
struct CompareCurve {
    const std::vector<double> *series = nullptr;
    ColorRef colour = 0;
    double max = 0;
    double min = 0;
    double top = 0;
};

// The three curves in drawing order for a picture heightTw twips high: the index change in white on
// the common scale, the invested share in green on 100..−5 in the lowest fifth of the picture, the
// asset change in red on the common scale.
std::array<CompareCurve, 3> CompareCurves(const InvestCompareState &s, int heightTw);

// Clears the picture and, when the percents can be computed, draws the three curves over the visible
// days (no column, style 0, no side margins, no colour guide, with the middle line, without zero gaps).
void DrawLine(InvestCompareState &s, Picture &pic);

// An arrow key on the visible range first..last of n days: Left (37, when first > 1) and Right (39,
// when last < n) move both ends to earlier or later days, Up (38) widens and Down (40) narrows the
// range, each by one day, or with Shift alone (shift 1) by a twentieth of the range's width (at least
// one day). Both ends are then clamped into 1..n and put in order. False for any other key (nothing
// changes); true when the chart is to be redrawn.
bool MoveVisibleRange(int &first, int &last, int n, int keyCode, int shift);

// The read-out of the day under the abscissa x (twips) of a picture widthTw twips wide showing the
// visible days in equal slots, idx = Int(x / slot + 1) + first − 1: its date, the index close and
// change, the assets in 万 derived from the first visible day's assets and the asset change, the
// change relative to the index and the invested share, e.g. "2024-03-05:\n指数：3051.23[5.00%]\n
// 资产：22.00万[10.00%] 相对指数：5.00% 仓位：80.00%" (an index change of 0 reads "0", the other
// values of 0 read ""). Nothing when idx lies outside the visible range.
std::optional<QString> CompareReadout(const InvestCompareState &s, double x, int widthTw);

// The closed-trade list: the grid is laid out with the fields and captions of the sold records (two
// fixed columns), filled with every record of `account` sold (`sprice` > 0) by code and buy date with
// its profit and return, given a last row "总计：" under 买入金额 with the sum of the 收益率% column
// under 卖出金额, and its columns fitted.
void FillClosedTradeGrid(FlexGrid &grid);
