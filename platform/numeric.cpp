// Numeric helpers: rounding, whole-number conversions, the leading number of a text.
#include "numeric.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// The powers of ten a double holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The value written with 15 significant digits and read back: what Decimal15 gives, the slow way.
double Decimal15ViaText(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    return std::strtod(buf, nullptr);
}

}  // namespace

// Reduces a double to 15 significant digits, so that 1051.05 (stored as 1051.0499999999999545)
// is seen as the decimal 1051.05 it was typed as.
double Decimal15(double v)
{
    if (!std::isfinite(v) || v == 0)
        return v;
    // Fast path: scale the magnitude to 15 digits before the point by an exact power of ten and
    // round there. The product's rounding error is recovered exactly with a fused multiply-add, so
    // the rounding (ties to even, as the text route does it) is decided on the exact value; the
    // division of two exact values then gives the same nearest double as reading the text back.
    const double a = std::fabs(v);
    if (a >= 1e-8 && a < 1e14) {
        // The decimal exponent from the binary one: floor(log10(a)) or one less, which the
        // range check below puts right.
        int k = 14 - static_cast<int>(std::floor(std::ilogb(a) * 0.30102999566398120));
        if (k > 0 && k < 22) {
            double m = a * kPow10[k];
            if (m >= 1e15) {
                --k;
                m = a * kPow10[k];
            } else if (m < 1e14) {
                ++k;
                m = a * kPow10[k];
            }
            if (m >= 1e14 && m < 1e15) {
                const double whole = std::floor(m);
                double above = m - whole - 0.5;
                // m is off by at most half a unit in its last place (1/16 here): only near a half
                // can that turn the rounding, and only there is the exact error needed.
                if (std::fabs(above) < 0.125)
                    above += std::fma(a, kPow10[k], -m);  // a * 10^k = m + that, exactly
                double r = whole;
                if (above > 0 || (above == 0 && std::fmod(whole, 2.0) != 0))
                    r = whole + 1;
                return std::copysign(r / kPow10[k], v);
            }
        }
    }
    return Decimal15ViaText(v);
}

double RoundHalfEven(double v, int decimals)
{
    if (!std::isfinite(v))
        return v;
    const double scale = decimals >= 0 && decimals <= 22 ? kPow10[decimals] : std::pow(10.0, decimals);
    const double scaled = Decimal15(Decimal15(v) * scale);
    // A value so large that scaling overflows has no digits at that place to round.
    if (!std::isfinite(scaled))
        return Decimal15(v);
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
    return Decimal15(out);
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
    return LeadingNumberOf(text).value_or(0);
}

std::optional<double> LeadingNumberOf(const QString &text)
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
        return std::nullopt;
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

std::optional<double> TypedNumber(const QString &text)
{
    const QString t = text.trimmed();
    int i = 0;
    const int n = t.size();
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    const auto isDigit = [&](int k) { return k < n && t[k] >= u'0' && t[k] <= u'9'; };
    QByteArray plain;
    plain.reserve(n);
    if (i > 0 && t[0] == u'-')
        plain.append('-');
    // The whole part: a first group of digits, then ",ddd" groups when the first group has at most
    // three digits.
    int firstGroup = 0;
    while (isDigit(i)) {
        plain.append(char(t[i].unicode()));
        ++i;
        ++firstGroup;
    }
    while (i < n && t[i] == u',') {
        if (firstGroup == 0 || firstGroup > 3 || !isDigit(i + 1) || !isDigit(i + 2) || !isDigit(i + 3) ||
            isDigit(i + 4))
            return std::nullopt;
        for (int k = 1; k <= 3; ++k)
            plain.append(char(t[i + k].unicode()));
        i += 4;
    }
    int fraction = 0;
    if (i < n && t[i] == u'.') {
        plain.append('.');
        ++i;
        while (isDigit(i)) {
            plain.append(char(t[i].unicode()));
            ++i;
            ++fraction;
        }
    }
    if (i != n || firstGroup + fraction == 0)
        return std::nullopt;
    const double v = std::strtod(plain.constData(), nullptr);
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}
