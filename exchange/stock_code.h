// 其他函数: the clean-up of stock codes read from imported files.
#pragma once

#include <QString>

// A stock code as the book stores it: the text trimmed and upper-cased; digits only are padded on the
// left with zeros to six characters ("1234" → "001234") and kept when they are six already; the
// index code "1A0001" (any case) is kept. Anything else gives "": seven or more digits, letters
// ("SH600000"), signs, decimal points or thousands commas ("1,234"), and an empty text.
QString NormalizeStockCode(const QString &text);
