// 公共函数: formatting and parsing helpers.
#include "common.h"

#include <cmath>

#include "platform/daynum.h"
#include "platform/events.h"
#include "platform/numeric.h"
#include "platform/numformat.h"
#include "platform/prompter.h"

QString FormatValue(const Value &v, bool dateOnly, const QString &zeroText)
{
    switch (v.type) {
    case VType::Integer:
    case VType::Long:
        return v.num == 0 ? zeroText : FormatGrouped(v.num, 0);
    case VType::Single:
    case VType::Double:
        if (!std::isfinite(v.num))
            return QString();
        return v.num == 0 ? zeroText : FormatGrouped(v.num, 2);
    case VType::Date:
        if (v.num <= kEmptyDate)
            return zeroText;
        return dateOnly ? DateText(v.num) : DateTimeText(v.num, false);
    case VType::Boolean:
        return BoolMark(v);
    case VType::Null:
        return QString();
    default:
        return v.ToText();
    }
}

QString BoolMark(const Value &v)
{
    if (v.IsNull() || v.IsEmpty())
        return QString();
    return v.ToDouble() != 0 ? QStringLiteral("√") : QString();
}

QString FormatDuration(long long seconds)
{
    const long long n = seconds < 0 ? 0 : seconds;
    const long long s = n % 60, m = n / 60, h = m / 60;
    const long long fields[] = {h / 24, h % 24, m % 60, s};
    // days:hours:minutes:seconds, a leading 0 field dropped at most twice. Built piece by piece: the
    // progress window writes it at every step.
    int first = 0;
    while (first < 2 && fields[first] == 0)
        ++first;
    QString text = QString::number(fields[first]);
    for (int i = first + 1; i < 4; ++i)
        text += u':' + QString::number(fields[i]);
    return text;
}

namespace {

// The text an amount's number is read from ("￥", "$" and "," removed, and its unit when it ends in
// one), and the factor of that unit.
std::pair<QString, double> AmountParts(const QString &input)
{
    QString t = input;
    t.remove(u'￥').remove(u'$').remove(u',');
    const QString trimmed = t.trimmed();
    struct Suffix {
        QString text;
        double factor;
    };
    const Suffix suffixes[] = {{QStringLiteral("%"), 0.01},
                               {QStringLiteral("亿"), 100000000.0},
                               {QStringLiteral("百万"), 1000000.0},
                               {QStringLiteral("万"), 10000.0}};
    for (const Suffix &s : suffixes) {
        if (trimmed.endsWith(s.text))
            return {t.remove(s.text), s.factor};
    }
    return {t, 1.0};
}

}  // namespace

double ParseAmount(const QString &input)
{
    return ReadAmount(input).value_or(0);
}

std::optional<double> ReadAmount(const QString &input)
{
    if (QStringView(input).trimmed().isEmpty())
        return 0.0;
    const auto [number, factor] = AmountParts(input);
    const std::optional<double> v = LeadingNumberOf(number);
    if (!v)
        return std::nullopt;
    return *v * factor;
}

std::optional<double> ParseDate(const QString &text)
{
    if (text.isEmpty())
        return kEmptyDate;
    return ReadDateText(text, false);
}

QString CutString(QString &source, const QString &sep, bool fromLeft, bool remove)
{
    if (sep.isEmpty())
        return QString();
    if (fromLeft) {
        const int at = source.indexOf(sep);
        if (at < 0)
            return QString();
        const QString result = source.left(at);
        if (remove)
            source = source.mid(at + sep.size());
        return result;
    }
    const int at = source.lastIndexOf(sep);
    if (at < 0)
        return QString();
    const QString result = source.mid(at + sep.size());
    if (remove)
        source = source.left(at);
    return result;
}

QString StripChars(const QString &text, const QString &chars)
{
    const QString set = chars.isEmpty() ? QStringLiteral("'\"&=§⊙`") : chars;
    QString out = text;
    for (int i = set.size() - 1; i >= 0; --i)
        out.remove(set[i]);
    return out.trimmed();
}

bool IsIndexCode(const QString &code)
{
    return code == QStringLiteral("399006") || code == QStringLiteral("399001") || code == QStringLiteral("1A0001");
}

void ShowMsg(const QString &text)
{
    MsgBox(text, Msg::OkOnly);
    DoEventsN(3);
}

void DoEventsN(long n)
{
    for (long i = 0; i <= n && n >= 0; ++i)
        DoEvents();
}
