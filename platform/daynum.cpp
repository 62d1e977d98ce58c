// Dates as day numbers since 1899-12-30.
#include "daynum.h"

#include <cmath>

#include <QRegularExpression>

namespace {

// Day 0. A function-local constant, so that day numbers computed while other files' constants are
// being initialised already see it.
const QDate &Epoch()
{
    static const QDate epoch(1899, 12, 30);
    return epoch;
}

// Whole seconds of a day number, or nothing outside the dates the program knows (years 100 to 9999),
// which also keeps the conversions below within their integer types.
std::optional<double> SecondsOf(double dayNumber)
{
    const double secs = std::round(dayNumber * 86400.0);
    if (!(secs >= kFirstDayNumber * 86400.0 && secs < (kLastDayNumber + 1) * 86400.0))
        return std::nullopt;
    return secs;
}

}  // namespace

double DayNumberOf(const QDate &d)
{
    return static_cast<double>(Epoch().daysTo(d));
}

double DayNumberOf(const QDateTime &dt)
{
    const QTime t = dt.time();
    const double secs = t.hour() * 3600.0 + t.minute() * 60.0 + t.second() + t.msec() / 1000.0;
    return DayNumberOf(dt.date()) + secs / 86400.0;
}

double DayNumberOf(int year, int month, int day)
{
    return DayNumberOf(QDate(year, month, day));
}

QDate DateOfDayNumber(double dayNumber)
{
    // Round first to the second, so 45000.99999999 (a second short of midnight after arithmetic)
    // still lands on the right day.
    const std::optional<double> secs = SecondsOf(dayNumber);
    if (!secs)
        return QDate();
    return Epoch().addDays(static_cast<qint64>(std::floor(*secs / 86400.0)));
}

QDateTime DateTimeOfDayNumber(double dayNumber)
{
    const std::optional<double> secs = SecondsOf(dayNumber);
    if (!secs)
        return QDateTime();
    const double days = std::floor(*secs / 86400.0);
    const int rest = static_cast<int>(*secs - days * 86400.0);
    return QDateTime(Epoch().addDays(static_cast<qint64>(days)), QTime(0, 0).addSecs(rest));
}

int WeekdayOf(double dayNumber)
{
    return DateOfDayNumber(dayNumber).dayOfWeek() % 7 + 1;
}

std::optional<double> ReadDateText(const QString &text, bool keepTime)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(\d{4})\s*(?:[-/.]|年)\s*(\d{1,2})\s*(?:[-/.]|月)\s*(\d{1,2})\s*日?)"
                       R"((?:[\sT]+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid() || d.year() < 100)
        return std::nullopt;
    double result = DayNumberOf(d);
    if (m.capturedLength(4) > 0) {
        const int h = m.captured(4).toInt(), mi = m.captured(5).toInt();
        const int s = m.capturedLength(6) > 0 ? m.captured(6).toInt() : 0;
        if (h > 23 || mi > 59 || s > 59)
            return std::nullopt;
        if (keepTime)
            result += (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    }
    return result;
}

QString DateText(double dayNumber)
{
    return DateOfDayNumber(dayNumber).toString(QStringLiteral("yyyy-MM-dd"));
}

QString DateTimeText(double dayNumber, bool withSeconds)
{
    return DateTimeOfDayNumber(dayNumber).toString(withSeconds ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                                                               : QStringLiteral("yyyy-MM-dd HH:mm"));
}
