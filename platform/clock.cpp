// The replaceable clock.
#include "clock.h"

#include "daynum.h"

namespace {

std::function<QDateTime()> &ClockFunction()
{
    static std::function<QDateTime()> f;
    return f;
}

}  // namespace

QDateTime ClockNow()
{
    const auto &f = ClockFunction();
    return f ? f() : QDateTime::currentDateTime();
}

QDate ClockToday()
{
    return ClockNow().date();
}

double ClockTodayDayNumber()
{
    return DayNumberOf(ClockToday());
}

double ClockNowDayNumber()
{
    return DayNumberOf(ClockNow());
}

void SetClock(std::function<QDateTime()> now)
{
    ClockFunction() = std::move(now);
}
