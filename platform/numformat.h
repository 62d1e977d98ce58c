// Locale-independent number formats: "," groups thousands, "." marks decimals, whatever the locale.
#pragma once

#include <QString>

// "##,###,###,##0" (decimals 0) and "##,###,###,##0.00" (decimals 2): rounded half to even on the
// decimal value, thousands grouped; negative zero prints without its sign.
QString FormatGrouped(double v, int decimals);
// "0", "0.00", "0.000": no grouping, exactly `decimals` places, half to even.
QString FormatFixed(double v, int decimals);
// "00": a whole number padded with zeros to `width` digits.
QString FormatPadded(long long v, int width);
