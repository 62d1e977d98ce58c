// Locale-independent number formats.
#include "numformat.h"

#include <cmath>
#include <cstdio>

#include "numeric.h"

namespace {

QString PlainDigits(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, RoundHalfEven(v, decimals));
    QString s = QString::fromLatin1(buf);
    // After half-even rounding a tiny negative value prints as "-0.00": drop the sign.
    bool allZero = true;
    for (QChar c : s)
        if (c.isDigit() && c != u'0')
            allZero = false;
    if (allZero && s.startsWith(u'-'))
        s.remove(0, 1);
    return s;
}

}  // namespace

QString FormatGrouped(double v, int decimals)
{
    QString s = PlainDigits(v, decimals);
    const bool negative = s.startsWith(u'-');
    if (negative)
        s.remove(0, 1);
    int point = s.indexOf(u'.');
    if (point < 0)
        point = s.size();
    for (int i = point - 3; i > 0; i -= 3)
        s.insert(i, u',');
    return negative ? QStringLiteral("-") + s : s;
}

QString FormatFixed(double v, int decimals)
{
    return PlainDigits(v, decimals);
}

QString FormatPadded(long long v, int width)
{
    const QString digits = QString::number(v < 0 ? -v : v).rightJustified(width, u'0');
    return v < 0 ? QStringLiteral("-") + digits : digits;
}
