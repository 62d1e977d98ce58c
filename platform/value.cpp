// Tagged values and their conversions.
#include "value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "daynum.h"
#include "numeric.h"

bool Value::IsNumeric() const
{
    switch (type) {
    case VType::Integer:
    case VType::Long:
    case VType::Single:
    case VType::Double:
    case VType::Currency:
        return true;
    default:
        return false;
    }
}

double Value::ToDouble() const
{
    switch (type) {
    case VType::Empty:
    case VType::Null:
        return 0;
    case VType::String:
        return LeadingNumber(str);
    default:
        return num;
    }
}

QString NumberText(double v, int digits)
{
    if (!std::isfinite(v))
        return QString();
    if (v == 0)
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    QString s = QString::fromLatin1(buf);
    const double mag = std::fabs(std::strtod(buf, nullptr));
    if (mag >= 1e-4 && mag < 1e15 && s.contains(u'e')) {
        // %g chose an exponent although the number fits: write it out in full.
        const int decimals = std::max(0, digits - 1 - static_cast<int>(std::floor(std::log10(mag))));
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
        s = QString::fromLatin1(buf);
        if (s.contains(u'.')) {
            while (s.endsWith(u'0'))
                s.chop(1);
            if (s.endsWith(u'.'))
                s.chop(1);
        }
    }
    if (s == QStringLiteral("-0"))
        s = QStringLiteral("0");
    s.replace(u'e', u'E');  // "1E+15", "1.5E-05"
    return s;
}

QString Value::ToText() const
{
    switch (type) {
    case VType::Empty:
    case VType::Null:
        return QString();
    case VType::Integer:
    case VType::Long:
        return QString::number(static_cast<long long>(num));
    case VType::Single:
        return NumberText(num, 7);
    case VType::Double:
    case VType::Currency:
        return NumberText(num, 15);
    case VType::String:
        return str;
    case VType::Date: {
        const double frac = num - std::floor(num);
        if (std::round(frac * 86400.0) == 0 || std::round(frac * 86400.0) == 86400)
            return DateText(num);
        return DateTimeText(num, true);
    }
    case VType::Boolean:
        return num != 0 ? QStringLiteral("True") : QStringLiteral("False");
    }
    return QString();
}

bool operator==(const Value &a, const Value &b)
{
    return a.type == b.type && a.num == b.num && a.str == b.str;
}

Value MakeEmpty()
{
    return Value{};
}

Value MakeNull()
{
    return Value{VType::Null, 0, {}};
}

Value MakeInteger(int16_t v)
{
    return Value{VType::Integer, static_cast<double>(v), {}};
}

Value MakeLong(int32_t v)
{
    return Value{VType::Long, static_cast<double>(v), {}};
}

Value MakeSingle(float v)
{
    return Value{VType::Single, static_cast<double>(v), {}};
}

Value MakeDouble(double v)
{
    return Value{VType::Double, v, {}};
}

Value MakeCurrency(double v)
{
    return Value{VType::Currency, RoundHalfEven(v, 4), {}};
}

Value MakeString(const QString &v)
{
    return Value{VType::String, 0, v};
}

Value MakeDate(double dayNumber)
{
    return Value{VType::Date, dayNumber, {}};
}

Value MakeBool(bool v)
{
    return Value{VType::Boolean, v ? -1.0 : 0.0, {}};
}

std::optional<Value> ConvertValue(const Value &v, VType to)
{
    if (v.type == to)
        return v;
    if (v.IsNull() || to == VType::Null)
        return MakeNull();
    switch (to) {
    case VType::Empty:
        return MakeEmpty();
    case VType::String:
        return MakeString(v.ToText());
    case VType::Boolean:
        return MakeBool(v.ToDouble() != 0);
    case VType::Date: {
        if (v.IsString()) {
            if (v.str.trimmed().isEmpty())
                return MakeNull();
            if (auto d = ReadDateText(v.str, true))
                return MakeDate(*d);
            return std::nullopt;
        }
        // A number beyond the dates the program knows overflows, as it did in the original engine.
        const double d = v.ToDouble();
        if (!DateOfDayNumber(d).isValid())
            return std::nullopt;
        return MakeDate(d);
    }
    case VType::Integer: {
        auto l = ClngOf(v.ToDouble());
        if (!l || *l < std::numeric_limits<int16_t>::min() || *l > std::numeric_limits<int16_t>::max())
            return std::nullopt;
        return MakeInteger(static_cast<int16_t>(*l));
    }
    case VType::Long: {
        auto l = ClngOf(v.ToDouble());
        if (!l)
            return std::nullopt;
        return MakeLong(*l);
    }
    case VType::Single: {
        const double d = v.ToDouble();
        if (std::fabs(d) > std::numeric_limits<float>::max())
            return std::nullopt;
        return MakeSingle(static_cast<float>(d));
    }
    case VType::Double:
        return MakeDouble(v.ToDouble());
    case VType::Currency:
        return MakeCurrency(v.ToDouble());
    case VType::Null:
        break;
    }
    return std::nullopt;
}
