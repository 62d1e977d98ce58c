// 数据下载: the local copy of the daily price history, one table "H_" & code per stock (H_1A0001 is
// the composite index and the trading calendar), and the last-close table LastClprice.
#pragma once

#include <QString>

#include "platform/recordset.h"

// Brings every stock of the book and the index up to date, at most once a day: nothing when the
// parameter "上次下载日期" is today, or yesterday before 16:00 (the market's day and hour, China
// Standard Time). A stock whose download fails does not stop the others; a query the user gives up
// (closing the progress window) ends the run there. Saves the parameter only when every stock's
// download was had whole (DownloadStockHistory; a year answered without rows counts as had):
// yesterday when the download ends before 16:00, else the day it ends on. Otherwise it stays as it
// was, and the next call downloads what is missing. Returns the earliest day (a day number) of the
// rows it stored, 0 when it stored none: the asset table is valued again from that day.
double DownloadAllHistory();

// Refreshes LastClprice for "1A0001" and every code of the book, at most once a day.
void RebuildLastClosePrices();

// Stores the close of code in LastClprice (price 0 = the close of the newest row of H_code before
// LastQuoteDate) and in the quote cache. When no close is defined (LastQuoteDate not known yet, no
// row before it, or a code that names no price table) the stored close is left as it is.
void UpdateLastClosePrice(const QString &code, double price = 0);

// Appends the rows of code newer than its newest stored row (from 1 January of last year for an
// empty table), one remote query per year, then updates its last close. Rows dated after today are
// deleted first and never count as the newest. Stops at the first year whose query fails, so that
// the next run asks again from the same day. True when every year was had; false when a year's query
// failed (the data service did not answer), and false, after logging, when the code cannot name a
// price table or the newest stored day cannot be read. earliestAdded, when given, is lowered to the
// earliest day stored (it is left alone when no row is stored; 0 counts as none yet).
bool DownloadStockHistory(long sid, const QString &code, double *earliestAdded = nullptr);

// Fetches what the price table of code lacks to tell whether `day`, a weekday before today, was a
// trading day of the stock: the newer rows (DownloadStockHistory) when the day lies after the newest
// stored row or the table is empty; then, when the day lies in a year before the oldest stored row's
// year (last year for an empty table), the years from that one back to the day's, the newest first,
// one query each. That stops at the first year that fails, so that no year is left out between
// stored years, and at the first year without a row (the stock was not listed yet). Nothing is asked
// for today, a later day, a Saturday or a Sunday, a stock without an id (sid 0), or a day the stored
// rows already span. False when a query the day needed failed: the data service did not answer, and
// a day without a row may then have been a trading day. True otherwise, also when nothing was asked.
bool DownloadHistoryForDay(long sid, const QString &code, double day);

// Creates H_code when it is missing, and its index on trdat when that is missing. False, after
// logging, when the code is not six characters of [0-9A-Za-z].
bool EnsureHistoryTable(const QString &code);

// Appends to the open record set the rows of the remote year table for sid dated after `since`
// (a day number, the newest stored day), in day order and in one transaction. Stored are only rows
// of seven fields whose day lies in `year` and not after today, with open, close, high and low
// positive and below kPriceBound (market/service_values.h), volume and amount finite and not
// negative; the others are skipped and logged with the remote SQL. One row per day: of a day the
// reply repeats the last row is kept (and logged), and a row of a day up to `since` replaces the
// stored row of that day. True when the query succeeded, also without rows; false when it failed or
// a row could not be stored (then nothing of the year is kept). earliestAdded as for
// DownloadStockHistory.
bool DownloadHistoryRows(long sid, int year, double since, RecordSet &rs, double *earliestAdded = nullptr);
