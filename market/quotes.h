// 实时数据: intraday quotes from the public real-time quote service, kept in the program-wide quote
// cache: one row per stock of the book, the composite index "1A0001" in row 0. The trade grid, the
// status line, today's K-line bar and today's row of the asset table read it.
#pragma once

#include <vector>

#include <QString>
#include <QStringList>

// One row of the quote cache: the stock code, today's open, high and low, the current price (the last
// close when the stock has not traded today) and the previous close, in yuan.
struct QuoteRow {
    QString code;
    double open = 0;
    double high = 0;
    double low = 0;
    double price = 0;
    double lastClose = 0;
};

// The quote cache. Rows are indexed like the code list; row 0 is the index once the list is built.
// listDate is a day number: today's date after a rebuild, the date and time of the last successful
// refresh afterwards; 0 before the first build.
struct QuoteCache {
    std::vector<QuoteRow> rows;
    double listDate = 0;
};

// The program's quote cache, for the procedures that fill it (and for tests).
QuoteCache &Quotes();
// Empties the cache (no rows, listDate 0).
void ResetQuoteCache();

// The codes of the cache in row order (an empty list before the first build).
QStringList QuoteCodes();
// The row of a code (exact, case-sensitive), −1 when the code is not in the cache: a stock new to
// the book.
int QuoteIndexOf(const QString &code);
// The values of row k; 0 for a row that does not exist.
double QuoteOpen(int k);
double QuoteHigh(int k);
double QuoteLow(int k);
double QuotePrice(int k);
double QuoteLastClose(int k);
// The cache's stamp, as listDate above.
double QuoteListDate();

// The quote service's base address; a request is base & "/list=" & the symbols joined by ",". The
// base set by SetQuoteServiceBase, else the environment variable KELVARO_QUOTE_URL when it is set and
// not blank, else "http://hq.sinajs.cn"; trailing "/" are dropped. Setting "" goes back to the
// environment or the default.
QString QuoteServiceBase();
void SetQuoteServiceBase(const QString &base);

// The service symbol of a stock code, the code upper-cased: "1A0001" → "sh000001"; codes beginning
// with "60" or "90" → "sh" & code; every other code → "sz" & code.
QString ToQuoteCode(const QString &code);

// Asks the quote service for the comma-separated codes: the first code alone, then at most 50 a
// request. The reply texts are joined and split on "var": element 0 is what precedes the first quote,
// element i the quote of the i-th code. A request that fails adds nothing, so the caller sees fewer
// elements than codes. Empty for empty codes or when no request got a reply.
QStringList FetchQuoteText(const QString &codes);

// Rebuilds the code list from the distinct codes of `account` (in code order, the index in row 0),
// zeroes the prices, reads the previous closes from `LastClprice` (rounded to 2 decimals; 0 for a code
// without a row), stamps today and refreshes the quotes. Database failures leave the list with just
// the codes that could be read.
void RebuildQuoteList();

// Refreshes open, price, high and low of every row from the quote service; a price of 0 becomes the
// previous close. When the reply does not hold one quote per code, nothing changes, the stamp
// included; a quote with missing fields leaves those values as they were. Stamps the present time.
void UpdateRealtimeQuotes();

// The current price of a code: from the cache when the code is in it, else from one request for
// that code alone (its price field when the reply holds exactly one quote of at least five fields).
// 0 when unknown.
double GetRealtimePrice(const QString &code);
