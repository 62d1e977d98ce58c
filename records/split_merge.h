// 计算函数 (split and merge): cutting a trade record in two, joining the records of one trade back into
// one, and the quantity proposed for a new purchase. Split and merge keep the trade size tnum, so the
// fees of the pieces stay shares of one fee.
#pragma once

#include <QString>

#include "platform/recordset.h"

// Cuts a trade record in two: it keeps n shares, a new record gets the other num − n and a copy of
// every other field (code, sname, dates, prices, memo, sid and the trade size tnum; a tnum of 0 or
// NULL counts as the record's num, so both pieces keep the size of the trade); the amounts of both
// pieces are recomputed. Without rs the procedure opens the record `id` itself; a set given by the
// caller must stand on the record to split (id is then not read) and ends back on it.
// Does nothing and returns false when there is no record, or n < 1, or n ≥ num. Both writes and
// both recomputations form one unit (a savepoint, so a caller's own transaction can hold it): on a
// failure it is rolled back, logged to RunErr.txt, and false returned; a caller's set then no longer
// matches the table and must be reopened. The caller recomputes the asset table.
bool SplitAccRec(long id, long n, RecordSet *rs = nullptr);

// Joins the records of idList (ids joined by ",") into the one with the lowest id: num the sum of all
// shares; tnum the common trade size when every record carries the same one, else the sum of the
// trade sizes of the other records; the memos of the other records appended, each followed by one
// blank; the other records deleted and the amounts recomputed, all in one transaction. Then the asset
// table is recomputed from the kept record's buy date (with progress) and the main window refreshed.
// False without a message when fewer than two of the ids exist. Records differing in code, buy price,
// sell price, buy date or sell date (compared in that order) give one message for the first
// difference and false, nothing changed. A failed write changes nothing, is logged and gives false.
bool MergeTradeRecs(const QString &idList);

// The shares proposed for a purchase of code at price, a multiple of 100: the newest open record's
// num × AddPositionMultiple(), else (no open record, or that proposal cut to 0)
// DefaultPositionRatio() × InitialCapital() / price, each cut down to whole 100s. 0 for a price of 0
// or below, and when the proposal would not fit a whole number of 32 bits.
long SuggestBuyNum(const QString &code, double price);
