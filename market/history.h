// 数据下载: the local copy of the daily price history, one table "H_" & code per stock (H_1A0001 is
// the composite index and the trading calendar), and the last-close table LastClprice.
#pragma once

#include <QString>

#include "platform/recordset.h"

// Brings every stock of the book and the index up to date, at most once a day: nothing when the
// parameter "上次下载日期" is today, or yesterday before 16:00. Saves it afterwards (yesterday before
// 16:00, else today), also when downloads failed.
void DownloadAllHistory();

// Refreshes LastClprice for "1A0001" and every code of the book, at most once a day.
void RebuildLastClosePrices();

// Stores the close of code in LastClprice (price 0 = the close of the newest row of H_code before
// LastQuoteDate) and in the quote cache. With no such row the stored close is left as it is.
void UpdateLastClosePrice(const QString &code, double price = 0);

// Appends the rows of code newer than its newest stored row (from 1 January of last year for an
// empty table), one remote query per year, then updates its last close. False when the code cannot
// name a price table.
bool DownloadStockHistory(long sid, const QString &code);

// Creates H_code when it is missing. False when the code cannot name a price table.
bool EnsureHistoryTable(const QString &code);

// Appends to the open record set the rows of the remote year table for sid dated after `since`
// (a day number). True when the query succeeded, also without rows.
bool DownloadHistoryRows(long sid, int year, double since, RecordSet &rs);
