// The market's clock: the program's replaceable clock read in China Standard Time (UTC+8), where the
// Shanghai and Shenzhen exchanges keep their hours. Trading hours, the lunch break, "today" for the
// trading calendar and the history download follow it whatever time zone the machine is set to.
#pragma once

#include <QDate>
#include <QDateTime>

// The offset of China Standard Time from UTC, in seconds (the country keeps no summer time).
inline constexpr int kMarketUtcOffsetSeconds = 8 * 3600;

// The present instant of the program's clock, expressed in China Standard Time.
QDateTime MarketNow();
// The market's date now, and as a day number.
QDate MarketToday();
double MarketTodayDayNumber();
