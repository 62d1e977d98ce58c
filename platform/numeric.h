// Numeric helpers shared by every subsystem: rounding, whole-number conversions and the leading
// number of a text.
#pragma once

#include <cstdint>
#include <optional>

#include <QString>

// Rounds to `decimals` places, ties going to the even digit, judged on the decimal value: the binary
// noise is first removed by reducing the value to 15 significant digits, so 15.485 gives 15.48 and
// 1051.05 gives 1051.0 at one decimal. Negative values round symmetrically (-2.5 gives -2).
double RoundHalfEven(double v, int decimals);

// The double nearest to v written with 15 significant digits (what RoundHalfEven works on).
double Decimal15(double v);

// Whole-number conversions of the original platform.
// ClngOf: to the nearest whole number, ties to even; nothing when outside the 32-bit range.
std::optional<int32_t> ClngOf(double v);
// FixOf: toward zero (Fix(-2.5) = -2). IntOf: downward (Int(-2.5) = -3).
double FixOf(double v);
double IntOf(double v);

// The leading number of a text: after leading blanks, the longest prefix that reads as a decimal
// number (sign, digits, one decimal point, an exponent). 0 when there is none.
double LeadingNumber(const QString &text);
// The leading number as LeadingNumber reads it (0 for one beyond the range of a double); nothing when
// the text has none (no digit after the leading blanks, a sign and a decimal point).
std::optional<double> LeadingNumberOf(const QString &text);

// A number as a user types it into a box: surrounding blanks, an optional sign, digits with at most
// one decimal point, and optionally thousands separators between groups of three digits before the
// point ("1,000.5"). Nothing when the text is anything else ("10,5", "15a0.5", "￥99", "1e5", an empty
// text) or its value is not finite.
std::optional<double> TypedNumber(const QString &text);
