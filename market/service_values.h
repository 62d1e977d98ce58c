// Numbers as the quote service and the data service write them.
#pragma once

#include <optional>

#include <QString>

// The leading number of a value a service wrote (0 when the text holds none), or nothing when its
// text spells a number that is not finite: infinity, NaN, or one beyond the range of a double, which
// the leading number alone would turn into 0.
std::optional<double> ServiceNumber(const QString &text);

// A price no Shanghai or Shenzhen stock or index reaches, in yuan (or index points): a quoted or typed
// price at or above it is not taken.
inline constexpr double kPriceBound = 1000000.0;
