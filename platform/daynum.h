// Dates as day numbers: days since 1899-12-30, the time of day as the fraction. This is how the
// database stores dates and how date arithmetic in SQL (now-bdate) keeps working.
#pragma once

#include <optional>

#include <QDate>
#include <QDateTime>
#include <QString>

// The empty date 1900-01-01 00:00, which stands for a missing date in records and parameters.
inline constexpr double kEmptyDate = 2.0;

// The first and the last day the program's dates can hold: 0100-01-01 and 9999-12-31.
inline constexpr double kFirstDayNumber = -657434.0;
inline constexpr double kLastDayNumber = 2958465.0;

double DayNumberOf(const QDate &d);
double DayNumberOf(const QDateTime &dt);
double DayNumberOf(int year, int month, int day);
// The date part of a day number (the fraction dropped toward the earlier day); an invalid date
// outside kFirstDayNumber..kLastDayNumber, so its texts are empty.
QDate DateOfDayNumber(double dayNumber);
// Date and time, to the nearest second; invalid outside the same range.
QDateTime DateTimeOfDayNumber(double dayNumber);
// Weekday with Sunday = 1 .. Saturday = 7.
int WeekdayOf(double dayNumber);

// Reads a date typed or imported as text: "YYYY-M-D", "YYYY/M/D", "YYYY.M.D" or "YYYY年M月D日",
// optionally followed by a time " H:M[:S]". With keepTime the time part is kept, else it is dropped.
// Returns nothing when the text is no valid date, or a date before the year 100.
std::optional<double> ReadDateText(const QString &text, bool keepTime = false);

// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM" / "YYYY-MM-DD HH:MM:SS" forms of a day number.
QString DateText(double dayNumber);
QString DateTimeText(double dayNumber, bool withSeconds);
