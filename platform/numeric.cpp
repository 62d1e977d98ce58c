// Numeric helpers: rounding, whole-number conversions, the leading number of a text.
#include "numeric.h"

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// Reduces a double to 15 significant digits, so that 1051.05 (stored as 1051.0499999999999545)
// is seen as the decimal 1051.05 it was typed as.
double ToDecimal15(double v)
{
    if (!std::isfinite(v) || v == 0)
        return v;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    return std::strtod(buf, nullptr);
}

}  // namespace

double RoundHalfEven(double v, int decimals)
{
    if (!std::isfinite(v))
        return v;
    const double scale = std::pow(10.0, decimals);
    const double scaled = ToDecimal15(ToDecimal15(v) * scale);
    const double floorPart = std::floor(scaled);
    const double diff = scaled - floorPart;
    double r;
    if (diff > 0.5)
        r = floorPart + 1;
    else if (diff < 0.5)
        r = floorPart;
    else
        r = std::fmod(floorPart, 2.0) == 0 ? floorPart : floorPart + 1;
    double out = r / scale;
    if (out == 0)
        out = 0;  // no negative zero
    return ToDecimal15(out);
}

std::optional<int32_t> ClngOf(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = RoundHalfEven(v, 0);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(r);
}

double FixOf(double v)
{
    return std::trunc(v);
}

double IntOf(double v)
{
    return std::floor(v);
}

double LeadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const int start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    int digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i].unicode() < 128 && text[i].isDigit()) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    int end = i;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        int j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        int expDigits = 0;
        while (j < n && text[j].unicode() < 128 && text[j].isDigit()) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            end = j;
    }
    const QByteArray bytes = text.mid(start, end - start).toLatin1();
    const double v = std::strtod(bytes.constData(), nullptr);
    return std::isfinite(v) ? v : 0;
}
