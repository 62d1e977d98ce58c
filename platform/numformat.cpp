// Locale-independent number formats.
#include "numformat.h"

#include <cmath>
#include <cstdio>

#include "numeric.h"
#include "value.h"

namespace {

QString PlainDigits(double v, int decimals)
{
    const double r = RoundHalfEven(v, decimals);
    if (!std::isfinite(r))
        return QString();
    QString s;
    if (std::fabs(r) < 1e15) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
        s = QString::fromLatin1(buf);
    } else {
        // Beyond 15 digits the value is known to 15 significant digits only: write those and fill
        // the rest of the whole part with zeros, rather than the binary value's further digits.
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.14e", r);
        const QString text = QString::fromLatin1(buf);
        const qsizetype e = text.indexOf(u'e');
        const int exponent = text.mid(e + 1).toInt();
        QString digits = text.left(e);
        digits.remove(u'.');
        const bool negative = digits.startsWith(u'-');
        if (negative)
            digits.remove(0, 1);
        s = (negative ? QStringLiteral("-") : QString()) + digits +
            QString(exponent + 1 - digits.size(), u'0');
        if (decimals > 0)
            s += u'.' + QString(decimals, u'0');
    }
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

QString GeneralNumberText(double v)
{
    const QString digits = NumberText(v);
    return digits.startsWith(u'-') ? digits : QStringLiteral(" ") + digits;
}
