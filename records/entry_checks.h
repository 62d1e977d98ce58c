// 记录检查: the checks that the record editor and the quick-buy form make on a typed entry before
// they store it, each giving the message the form shows when the entry fails it, and the message of
// a record that could not be written.
#pragma once

#include <QString>

// "错误：保存记录失败！": the record could not be written (the failure is logged to RunErr.txt).
QString SaveFailedMessage();

// "错误：股票代码错误！" when code is no tradable stock (IsTradableCode: six characters, in the stock
// list, no index code), else "".
QString CheckTradeCode(const QString &code);

// "错误：买入价格错误！" when the buy price in yuan is not above 0 (NaN included), else "".
QString CheckBuyPrice(double price);

// "错误：交易数量错误！" when the quantity rounded to a whole number (ties to even) is below one share
// or beyond a whole number of 32 bits: such a record would have no cost price. Else "".
QString CheckTradeNum(double num);
