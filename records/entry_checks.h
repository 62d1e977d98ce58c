// 记录检查: the checks that the record editor and the quick-buy form make on a typed entry before
// they store it, each giving the message the form shows when the entry fails it, and the message of
// a record that could not be written.
#pragma once

#include <optional>

#include <QString>

// The number an entry box holds, as the checks and the store read it: 0 for a box left empty (or
// blank), nothing for a text that is not wholly a number as typed (TypedNumber: "10,5", "15a0.5").
std::optional<double> EntryNumber(const QString &text);

// "错误：保存记录失败！": the record could not be written (the failure is logged to RunErr.txt).
QString SaveFailedMessage();

// "错误：股票代码错误！" unless code is a tradable stock (IsTradableCode: six characters, in the stock
// list, no index code) or a six-character code, no index code, that the book's records already hold
// (one imported with a code the stock list lacks stays editable). Else "".
QString CheckTradeCode(const QString &code);

// "错误：买入价格错误！" unless the buy price in yuan is finite, above 0 and below kPriceBound (NaN,
// the reading of a box that holds no number, is refused). Else "".
QString CheckBuyPrice(double price);

// "错误：卖出价格错误！" unless the sell price in yuan is 0 (not sold) or finite, above 0 and below
// kPriceBound. Else "".
QString CheckSellPrice(double price);

// "错误：交易数量错误！" unless the quantity is a whole number of shares from 1 to the largest whole
// number of 32 bits: a fraction of a share is no quantity, and a record below one share would have no
// cost price. Else "".
QString CheckTradeNum(double num);

// side is "买入" or "卖出". "错误：" & side & "日期不是开盘日！": the day is after today, or the stored
// price history shows no trading on it.
QString TradeDayMessage(const QString &side);
// The day could not be checked: the download of the stock's history for it failed. The message names
// the data service's address, why the last request to it failed (DataService().last: "返回了错误" for
// an error reply; for a service left alone after failures that it is not being asked and, as
// "HH:mm:ss", when it will be asked again; else "没有响应") and the environment variable that sets
// the address.
QString TradeDayUncheckedMessage(const QString &side);
