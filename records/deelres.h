// 计算函数 (per-day assets): the table DeelRes, one row per trading day from the first trade on, with
// the cash, the market value of all holdings at the day's close (at cost where a stock has no price
// yet) and the total assets.
#pragma once

#include <vector>

#include <QString>

// Recomputes DeelRes from startDate (the empty date = from the first buy; a start after the newest
// stored row moves back to it) to today; the rows before the range stay. The cash starts from the
// newest stored row before the range (else InitialCapital()), and every trade dated after that row
// counts, one dated on a day that is no trading day on the first trading day after it. A record whose
// num or prices are no finite numbers is left out of the sums (logged). The rows of the range are
// replaced in one transaction: when the records or a stock's prices cannot be read, or a write fails
// (logged to RunErr.txt), the table stays as it was. A call made while one runs (the progress steps let events
// through) is folded into the running one, which then goes again from the earlier date. Holds the
// busy guard while it runs; shows progress when showProgress is set.
void RecalcDeelRes(double startDate, bool showProgress = true);

// The cash per day (index 1..n of days; element 0 unused), rounded to 2 decimals, from startCash;
// startCash holds the final, unrounded cash afterwards. The buys and sells dated from days(1) on
// count, one dated on a day that is no trading day on the next trading day (after the last day: not
// yet). A record whose num or prices are no finite numbers is left out (logged). All 0 when the
// records cannot be read (logged).
std::vector<double> CalcCashByDay(double &startCash, const std::vector<double> &days);

// The shares of code held at the close of each day (1..n): a record from its buy day (days(1) when
// bought before) to the day before its sell day, a date that is no trading day standing for the next
// trading day. Whole numbers, summed without overflow and given as doubles (exact below 2^53). A
// record whose num or prices are no finite numbers is left out (logged).
std::vector<double> CalcHoldingsByDay(const QString &code, const std::vector<double> &days);

// The market value of code per day (1..n) in yuan, rounded to 2 decimals: the holding × the day's
// close, or the close before it when the stock has no row that day (suspended); 0 on days without a
// holding. Today's value is at livePrice, or at the newest close when livePrice is 0. A day with
// neither a close on or before it nor (today) a live price is valued at cost: bprice × num of the
// code's records held that day (as CalcHoldingsByDay counts them), so a stock without any price
// shows no loss but its fees. A missing price table is downloaded first, unless the user gave up a
// download of the same recomputation (closing the progress window). All 0 when the prices cannot be
// read (logged).
std::vector<double> CalcMarketValueByDay(const QString &code, const std::vector<double> &days,
                                         const std::vector<double> &holdings, double livePrice);

// The cash of the newest DeelRes row on or before d; InitialCapital() when there is none.
double GetCashBefore(double d);
