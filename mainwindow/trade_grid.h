// 买卖列表: the main window's trade grid (the records of the selected stock-tree node with live prices
// from the quote cache, each row coloured by gain or loss), the holdings summary line (cost of each
// held stock and its share) and the asset status line (total assets, market value, cash, total and
// daily profit, the index). Amounts are in yuan; colours are 0x00BBGGRR numbers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "platform/flex_grid.h"
#include "records/records_hooks.h"

// The main window's controls the grid is filled by, as values.
struct TradeGridControls {
    // The selected tree node; nothing when none is selected.
    std::optional<TreeNodeRef> node;
    // The check boxes "待卖的股票" (open records), "已卖的股票" (sold records) and
    // "只显示收益率最高的" (best record per stock only): 0 unticked, 1 ticked.
    int held = 1;
    int sold = 1;
    int bestOnly = 0;
    // The date pickers' values (day numbers, either order), the first picker's minimum and the second
    // picker's maximum.
    double d0 = 0;
    double d1 = 0;
    double minDate = 0;
    double maxDate = 0;
};

// The grid's query for the codes (an SQL list, "" for every record) and the controls: the records
// with their computed columns; open records only when "已卖的股票" is unticked, sold records only when
// just "待卖的股票" is unticked; when the window d0..d1 is narrower than the pickers' range, the
// records bought inside it and every open record; ordered by code and buy price.
QString TradeGridSql(const QString &codes, const TradeGridControls &controls);

// Refills the grid: the columns the user chose (GetColFields "account"), then, when a node is
// selected, its records (tool tip = the node's text). The quotes are refreshed first when the cache
// is not stamped later than today. Numbers are grouped with 0 as "" (plain digits in key columns) and
// right-aligned, dates "YYYY-MM-DD" centred, texts left; the live columns _lprice, _rprice, _rper
// ("停牌" for a stock not open from 09:25:00 on, else the day's change, "" without a price or without
// any quote, price and last close both 0) and _fper (the floating gain over the cost price, "" without
// a price or cost) come from the quote cache, for codes it holds. Every row takes GetTradeColor of its
// record, except an open record without a current price (default colour); the live price cells take
// the quote's colour when it has a price. Every fill fits the columns to their texts (a column whose
// border the user dragged keeps its width while the number of columns stays; new columns are all
// fitted, with the progress window on a long list); the sort state in the Tag (else the saved
// "MSFOrder_" & Index) is applied again and the selection restored. A failed query leaves the columns
// and no rows (logged). False when no node is selected (then the grid has the columns and no rows).
bool LoadTradeGrid(FlexGrid &grid, const TradeGridControls &controls);

// The colour of a grid row or quote cell from the grid colour table (MSFViewSetParams().tt, decimal
// colour numbers): quote cells (lastClose != 0) entry 6, 7 or 8 for a price above, below or equal to
// the last close; a sold record (sell != 0) 1, 3 or 5 for a sell price above, below or at the cost;
// an open record 0, 2 or 4 for a price above, below or at the cost. An entry that is missing or empty
// (no colours stored yet) gives its designed colour; 0 (black) when it holds no colour.
uint32_t GetTradeColor(double cost, double sell, double lastClose, double price);

// The designed colours of the nine entries, shown until the user stores colours of his own: dark red
// for a rise, dark green for a fall, pale tones for sold records and light grey for no change.
inline constexpr std::array<uint32_t, 9> kDesignedTradeColors = {128,      12632319, 16384,    12648384, 14737632,
                                                                 14737632, 128,      12648384, 14737632};

// One held stock of the holdings summary: its name and its cost (buy price × shares) in yuan.
struct HoldingCost {
    QString sname;
    double cost = 0;
};

// The holdings summary: for each stock name & ": " & cost in 万 with two decimals & "万(" & its share
// of the total cost in percent to one decimal without trailing zeros & "%)  ". The share is "" when
// the total is 0.
QString HoldingsSummaryLine(const std::vector<HoldingCost> &holdings);
// The held stocks from ACC.MDB, largest cost first, as their summary line ("" when none or when the
// query fails).
QString HoldingsSummaryText();

// The figures of the asset status line: the newest asset row (total sm, market value scash, cash),
// the total of the row before it (or the initial capital), the initial capital, the index's current
// price, and the quote cache's price and last close of the index.
struct AssetFigures {
    double sm = 0;
    double scash = 0;
    double cash = 0;
    double prev = 0;
    double capital = 0;
    double indexPrice = 0;
    double quotePrice = 0;
    double quoteLastClose = 0;
};

// "总资产：" total " 【市值：" value "(" share "%) 现金：" cash "(" share "%)】  总盈亏：" profit "["
// percent "%] 当日盈亏：" profit "[" percent "%]  上证指数：" index, then "[" change "%]" when the last
// close is above 0. Amounts grouped with two decimals, shares to one decimal and the index to two
// without trailing zeros. A percentage over a divisor of 0 is "", the rest of the line is written.
QString AssetStatusLine(const AssetFigures &figures);
// The asset status line from ACC.MDB and the quote cache; recomputes the asset table from today first
// when today is a trading day. Nothing when there is no asset row with a total above 0.
std::optional<QString> AssetStatusText();
