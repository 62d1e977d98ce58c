// 股票查询: finding a stock of the stock list (table companyinfo) by its code, or by a part of its
// name or pinyin initials, as the record editor and the quick-buy form do while the user types.
// Typed text enters the SQL quoted, so a quote character is searched for like any other; the LIKE
// wildcards % and _ keep their meaning.
#pragma once

#include <optional>

#include <QString>

#include "platform/value.h"

// A stock of the stock list.
struct StockMatch {
    QString code;
    QString name;
};

// The name of the stock with that code (matched without regard to case); for a code of six characters
// the list lacks, the name the book's newest named record of that code carries (one imported with a
// code of its own). "" when neither holds it or the query fails (logged).
QString LookupStockName(const QString &code);

// The one stock whose name contains text or whose pinyin initials contain text in upper case.
// Nothing when no stock or more than one matches (an empty text matches every stock), or when the
// query fails (logged).
std::optional<StockMatch> FindStockByText(const QString &text);

// True when code is six characters long, names a stock of the list and is no index code ("1A0001",
// "399001", "399006" in any case): the index is never traded.
bool IsTradableCode(const QString &code);

// The stock's id in the list (the id of the data service): a whole number, or the empty text when
// the list does not hold the code.
Value StockIdOf(const QString &code);
