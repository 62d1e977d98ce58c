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
// The general text of a number as it is joined to a caption: a blank before a number that is not
// negative (where a minus sign would stand), then NumberText (" 12.5", "-3", " 0").
QString GeneralNumberText(double v);
