// 计算函数 (per-day assets): the table DeelRes, one row per trading day from the first trade on, with
// the cash, the market value of all holdings at the day's close and the total assets.
#pragma once

#include <vector>

#include <QString>

// Recomputes DeelRes from startDate (the empty date = from the first buy) to today; the rows before
// the range stay. The rows of the range are replaced in one transaction. A call made while one runs
// is folded into the running one. Shows progress when showProgress is set.
void RecalcDeelRes(double startDate, bool showProgress = true);

// The cash per day (index 1..n of days; element 0 unused), rounded to 2 decimals, from startCash;
// startCash holds the final cash afterwards. A buy or sell dated on a non-trading day counts on the
// next trading day.
std::vector<double> CalcCashByDay(double &startCash, const std::vector<double> &days);

// The shares of code held at the close of each day (1..n).
std::vector<long> CalcHoldingsByDay(const QString &code, const std::vector<double> &days);

// The market value of code per day (1..n): the day's close (or the previous close when there is no
// row that day) × the holding, rounded to 2 decimals; today at livePrice (0 = the newest close).
std::vector<double> CalcMarketValueByDay(const QString &code, const std::vector<double> &days,
                                         const std::vector<long> &holdings, double livePrice);

// The cash of the newest DeelRes row on or before d; InitialCapital() when there is none.
double GetCashBefore(double d);
