// 日期函数: the trading calendar. Past trading days are the days of the index history H_1A0001;
// whether today is a trading day is decided from the date the quote service reports for the index.
// Times of day and "today" are the market's, China Standard Time (market_clock.h).
#pragma once

#include <vector>

#include <QString>

// Whether today is a trading day: 0 not decided yet, 1 yes, -1 no. Decided per date, so a run
// across midnight decides again; a "no" found before 09:30 is not kept.
int TodayTradeFlag();
// The latest trading day reported by the index quote (a day number; 0 until known). Only raised.
double LastQuoteDate();
// Forgets both (tests, restart of the calendar).
void ResetCalendar();

// The trading days from startDate on (the empty date = from the first buy; a start after the newest
// stored asset day moves back to it): element 0 the empty date, 1..n the days ascending; rows of
// H_1A0001 dated after today are left out; today is appended when it is a trading day without a
// history row yet.
std::vector<double> GetTradeDates(double startDate);

// Whether the market is open now: 09:20 to 15:01 inclusive on a trading day; with lunchBreak the
// stretch strictly between 11:31 and 13:00 is excluded.
bool IsTradingTime(bool lunchBreak);

// Whether day d (the empty date or today's date = today) is a trading day for the stock. A past day
// is one with a row in H_code; a day after today never is. Today: never on Saturday or Sunday; on a
// weekday when the index quote carries today's date, or when the quote cannot be had (a quote dated
// after today counts as none). The answer about today is kept for the day, except a "no" before 09:30,
// when the index quote still carries the last trading day even on a trading day: the next question asks
// the service again.
bool IsTradeDay(double d, const QString &code);

// Asks the quote service for the index and raises LastQuoteDate to its date (a date after today is
// not taken); returns LastQuoteDate.
double GetLastQuoteDate();
