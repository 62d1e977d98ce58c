// 日期函数: the trading calendar.
#include "calendar.h"

#include <cmath>
#include <optional>

#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "storage/common.h"
#include "storage/db_operate.h"

namespace {

struct CalendarState {
    double flagDate = 0;  // the day the flag was decided for
    int todayFlag = 0;
    double lastQuoteDate = 0;
};

CalendarState &State()
{
    static CalendarState s;
    return s;
}

// Before this time on a trading day the index quote still carries the last trading day.
const QTime kQuoteDatedToday(9, 30);

// The date of the index quote (its field 30), when the service gave one. A date after the market's
// today is no answer: no quote comes from the future, and taking it would move the last trading day
// ahead for the whole session.
std::optional<double> IndexQuoteDate()
{
    const QStringList fields =
        QuotesBySymbol(FetchQuoteText(QStringLiteral("1A0001"))).value(ToQuoteCode(QStringLiteral("1A0001")));
    if (fields.size() < 31)
        return std::nullopt;
    const auto date = ReadDateText(fields[30].trimmed());
    if (date && std::floor(*date) > MarketTodayDayNumber())
        return std::nullopt;
    return date;
}

}  // namespace

int TodayTradeFlag()
{
    const CalendarState &s = State();
    return s.flagDate == MarketTodayDayNumber() ? s.todayFlag : 0;
}

double LastQuoteDate()
{
    return State().lastQuoteDate;
}

void ResetCalendar()
{
    State() = CalendarState{};
}

std::vector<double> GetTradeDates(double startDate)
{
    const double today = MarketTodayDayNumber();
    double start = startDate;
    if (startDate <= kEmptyDate) {
        const Value first = GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE ORDER BY bdate"),
                                          QStringLiteral("bdate"), MakeDate(today));
        start = first.IsEmpty() || first.IsNull() ? today : first.ToDouble();
    } else {
        const Value newest = GetFieldValue(QStringLiteral("DeelRes"), QStringLiteral("TRUE ORDER BY dat DESC"),
                                           QStringLiteral("dat"), MakeDate(today));
        if (newest.IsDate() || newest.IsNumeric()) {
            const double stored = std::floor(newest.ToDouble());
            if (stored < start)
                start = stored;
        }
    }
    std::vector<Value> values;
    // A row dated after today is no trading day yet, whatever the service once delivered.
    LoadGroupValues(values, QStringLiteral("H_1A0001"), QStringLiteral("trdat"),
                    QStringLiteral("trdat>=") + SqlDateLiteral(start) + QStringLiteral(" AND trdat<") +
                        SqlDateLiteral(today + 1));
    std::vector<double> days;
    days.reserve(values.size() + 1);
    days.push_back(kEmptyDate);
    for (size_t i = 1; i < values.size(); ++i) {
        // A row without a date, or a second row of a day, is no further trading day.
        if (!values[i].IsDate() && !values[i].IsNumeric())
            continue;
        const double day = std::floor(values[i].ToDouble());
        if (day > days.back())
            days.push_back(day);
    }
    if (today > days.back() && IsTradeDay(kEmptyDate, QStringLiteral("1A0001")))
        days.push_back(today);
    return days;
}

bool IsTradingTime(bool lunchBreak)
{
    const QTime t = MarketNow().time();
    const int minutes = t.hour() * 60 + t.minute();
    const bool hasSeconds = t.second() > 0 || t.msec() > 0;
    // Open from 09:20:00 to 15:01:00 inclusive; with the lunch break closed after 11:31 and before 13:00.
    if (minutes < 560)
        return false;
    if (lunchBreak && (minutes > 691 || (minutes == 691 && hasSeconds)) && minutes < 780)
        return false;
    if (minutes > 901 || (minutes == 901 && hasSeconds))
        return false;
    return IsTradeDay(kEmptyDate, QStringLiteral("1A0001"));
}

bool IsTradeDay(double d, const QString &code)
{
    const QDateTime now = MarketNow();
    const double today = DayNumberOf(now.date());
    const double day = std::floor(d);
    if (d <= kEmptyDate || day == today) {
        CalendarState &s = State();
        if (s.flagDate != today || s.todayFlag == 0) {
            // Decided once per date from the index, whatever stock asks: a suspended stock must not
            // make today a holiday for everyone.
            s.flagDate = today;
            const int weekday = WeekdayOf(today);
            if (weekday == 1 || weekday == 7) {
                s.todayFlag = -1;
            } else {
                const auto quoteDate = IndexQuoteDate();
                // Without an answer a weekday counts as a trading day.
                s.todayFlag = quoteDate && std::floor(*quoteDate) != today ? -1 : 1;
                // Before the opening the quote carries the last trading day on a trading day too:
                // that "no" is not kept, the next question asks again.
                if (s.todayFlag == -1 && now.time() < kQuoteDatedToday) {
                    s.todayFlag = 0;
                    return false;
                }
            }
        }
        return s.todayFlag == 1;
    }
    // No day after today is known to be a trading day, whatever row a price table holds for it.
    if (day > today)
        return false;
    const auto table = HistoryTableName(code.trimmed());
    if (!table)
        return false;
    return CountGroups(*table, QStringLiteral("trdat"), QStringLiteral("trdat=") + SqlDateLiteral(day)) >= 1;
}

double GetLastQuoteDate()
{
    const auto quoteDate = IndexQuoteDate();
    CalendarState &s = State();
    if (quoteDate && *quoteDate > s.lastQuoteDate)
        s.lastQuoteDate = *quoteDate;
    return s.lastQuoteDate;
}
