// K线图: what the K-line chart knows before it draws: the stock shown, its daily bars from its price
// table (with a bar for today from the real-time quote during trading hours), the visible window of
// bars and its price scale, the stock's trade records, the cost price of the shares held, and the two
// per-bar series drawn over the candles. ShowKLine is the entry point; it ends by drawing.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/picture.h"

// The chart record. Every array is 1-based: element 0 is unused, so an array of n elements holds n + 1.
// The bar arrays are parallel, oldest bar first; the trade arrays are parallel, one element per trade
// record of the stock in buy-date order. Dates are day numbers.
struct KLineRecord {
    // The bar under the crosshair.
    int CurBar = 0;
    // The code whose bars and trades the record holds; "" makes the next ShowKLine load them anew.
    QString Code;
    // The visible window, first and last bar.
    int FirstBar = 0;
    int LastBar = 0;
    // Trading day, open, close, high and low of each bar; prices in yuan rounded to 2 decimals.
    std::vector<double> BarDate;
    std::vector<double> BarOpen;
    std::vector<double> BarClose;
    std::vector<double> BarHigh;
    std::vector<double> BarLow;
    // Top and bottom of the price scale.
    double MaxPrice = 0;
    double MinPrice = 0;
    // Volume and turnover of each bar, as stored.
    std::vector<double> BarNum;
    std::vector<double> BarSum;
    // Buy date, buy price and shares of each record; sell date (0 for a record still held) and sell
    // price (0 for a record still held).
    std::vector<double> BuyDate;
    std::vector<double> BuyPrice;
    std::vector<int32_t> BuyNum;
    std::vector<double> SellDate;
    std::vector<double> SellPrice;

    // The number of bars and of trade records.
    int BarCount() const { return BarDate.empty() ? 0 : static_cast<int>(BarDate.size()) - 1; }
    int TradeCount() const { return BuyDate.empty() ? 0 : static_cast<int>(BuyDate.size()) - 1; }
};

// The program's chart record, and the series beside it, 1-based per bar: PositionSeries the shares
// of the stock held at the end of each bar's day (for an index code the account's position in percent
// on that day), CostSeries their cost price per share (3 decimals, 0 where nothing is held; all 0 for
// an index code). PositionCost: the present cost price per share of the stock, 0 when none was bought.
KLineRecord &KLineData();
std::vector<double> &PositionSeries();
std::vector<double> &CostSeries();
double &PositionCost();
// Empties the record and the series (start of a run, tests); the picture handed over stays.
void ResetKLineData();

// The picture the chart draws into (the main window's chart picture); nullptr: nothing is drawn.
// The owner hands it over when it is created and takes it back (nullptr) before it is destroyed.
void SetKLinePicture(Picture *pic);
Picture *KLinePicture();
// Makes the next ShowKLine load and draw anew: empties the picture's Tag and the record's Code.
void ResetKLineChart();

// Shows a stock, or redraws the one shown. text is a six-character code, or "[" & code & "]" followed
// by the name with or without a blank (characters 2 to 7 are the code); "" redraws the picture's Tag.
// Nothing when the picture is 60 twips or smaller either way, or when text equals the Tag (the stock
// is shown). Otherwise the Tag takes the text, and a code that is not wholly a number stops there.
// A code other than the record's loads it: the price table brought up to date from the data service,
// the trade records, the newest bars since the first buy (at least 200), and the window of the
// newest bars from the parameters "KLineStart" (60) and "KLineEnd" (0). Then the window is kept
// inside the bars, today's bar follows the quote, the cost price and the scale are worked out
// (FitKLineScale), the series when they are shown or stale, and the picture is drawn. A stock with
// no bars gets its title over an empty chart (DrawEmptyKLine).
void ShowKLine(const QString &text);

// The scale of the visible window: GetPriceRange over FirstBar..LastBar into MaxPrice and MinPrice,
// widened to take in PositionCost() when that is not 0. Whoever moves the window calls it before
// drawing, so that every visible candle lies inside the picture.
void FitKLineScale(KLineRecord &k);

// Loads the newest `count` bars of the code (all when count < 1) dated on or after fromDate (a day
// number; anything up to the empty date means no lower bound), and with text "" during trading time
// appends a bar for today (its prices 0 until UpdateTodayBar fills them) unless the newest stored bar
// is dated today or the quote cache holds no price for the code. The stock id is not used.
void LoadKLineBars(const QString &code, long sid, KLineRecord &k, int count, const QString &text, double fromDate);

// Fills the seven bar arrays anew from the code's price table: the newest `count` rows (all when
// count < 1), those from fromDate on when it is after the empty date, oldest first; MaxPrice and
// MinPrice become the highest high and lowest low of them. Volume and turnover stay 0 with
// skipVolume. Returns the number of bars; 0 with empty arrays when the table cannot be read
// (logged) or the code names no price table.
int QueryHistoryBars(KLineRecord &k, const QString &code, int count, double fromDate, bool skipVolume);

// When the last bar is dated today or later: fills its open, close, high and low from the quote cache
// (open, current price, high, low); when high and low are then both 0 (no quote yet) the bar is
// removed from the date and price arrays (volume and turnover keep their length). False, with
// nothing changed, when there is no bar or the stock is not in the quote cache; true otherwise.
bool UpdateTodayBar(KLineRecord &k);

// Fills the trade arrays anew from the records of the record's Code in buy-date order; BuyNum only
// withQuantities. A sell date only for a sold record (sprice > 0). Empty arrays when the query fails.
void LoadTradeMarks(KLineRecord &k, bool withQuantities);

// The vertical scale of bars first..last: max = the highest high × 1.05, min = the lowest low × 0.95,
// each rounded to 1 decimal (zeros passed over with skipZero). An end that this rounding moves past
// its bar, or a scale it leaves without a span, is rounded outward instead at 0.01 yuan under one
// yuan (0.1 above), so the scale always holds every bar with max > min. When first or last is
// negative, the range of all loaded bars (MaxPrice, MinPrice) unchanged.
void GetPriceRange(const KLineRecord &k, double &max, double &min, int first, int last, bool skipZero);

// The cost price per share of the shares held, 3 decimals, with the fees of each record as if it were
// bought and sold (at the buy price while held): the net cost of every record less the net result of
// the sold ones, per share still held; for a stock sold out, the fee-inclusive average buy price of
// all records; 0 without shares.
double CalcPositionCostPrice(const KLineRecord &k);

// Fills PositionSeries and CostSeries for the record's bars from the code's trade records: shares held
// at the end of each bar's day, and the money paid for the buys (with their fees at the buy price,
// whole yuan) less the proceeds of the sells, per share held. Nothing without bars.
void LoadStockPositionSeries(const QString &code);

// Fills PositionSeries for the record's bars with the account's position in percent (market value /
// total assets × 100, 2 decimals) from the per-day asset table; a day without market value (or
// without total assets) keeps the position of the day before. CostSeries is not touched.
void LoadAccountPositionSeries();
