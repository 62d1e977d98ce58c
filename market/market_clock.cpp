// The market's clock: the program's clock in China Standard Time.
#include "market_clock.h"

#include "platform/clock.h"
#include "platform/daynum.h"

QDateTime MarketNow()
{
    return ClockNow().toOffsetFromUtc(kMarketUtcOffsetSeconds);
}

QDate MarketToday()
{
    return MarketNow().date();
}

double MarketTodayDayNumber()
{
    return DayNumberOf(MarketToday());
}
