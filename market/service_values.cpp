// Numbers as the services write them.
#include "service_values.h"

#include <charconv>
#include <cmath>

#include "platform/numeric.h"

std::optional<double> ServiceNumber(const QString &text)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    const char *first = bytes.constData();
    const char *last = first + bytes.size();
    if (first != last && *first == '+')
        ++first;
    double v = 0;
    const auto [end, error] = std::from_chars(first, last, v);
    if (error == std::errc::result_out_of_range || (error == std::errc() && !std::isfinite(v)))
        return std::nullopt;
    return LeadingNumber(text);
}
