// The program's clock. Tests replace it to fix "today" and "now".
#pragma once

#include <functional>

#include <QDate>
#include <QDateTime>

QDateTime ClockNow();
QDate ClockToday();
// Today as a day number (no time part).
double ClockTodayDayNumber();
// Now as a day number (days since 1899-12-30 with the time as fraction).
double ClockNowDayNumber();
// Replaces the clock; an empty function restores the system clock.
void SetClock(std::function<QDateTime()> now);
