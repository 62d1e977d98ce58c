// 实时数据: intraday quotes from the public real-time quote service, kept in the program-wide quote
// cache: one row per stock of the book, the composite index "1A0001" in row 0. The trade grid, the
// status line, today's K-line bar and today's row of the asset table read it.
#pragma once

#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "market/http.h"

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
// listDate is a day number on the market's clock (market_clock.h): today's date after a rebuild, the
// date and time of the last successful refresh afterwards; 0 before the first build.
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

// The most bytes a quote reply may hold: 50 quotes of some 400 bytes make 20 KB.
inline constexpr qint64 kQuoteReplyLimitBytes = 4LL * 1024 * 1024;

// The quote service as the client keeps it between requests: the Referer its requests carry, its
// reply limit kQuoteReplyLimitBytes and whether it is taken as down (http.h). Tests forget an outage
// through it.
HttpService &QuoteService();

// The quote service's base address; a request is base & "/list=" & the symbols joined by ",". The
// base set by SetQuoteServiceBase, else the environment variable KELVARO_QUOTE_URL when it is set and
// not blank, else "http://hq.sinajs.cn"; trailing "/" are dropped. Setting "" goes back to the
// environment or the default.
QString QuoteServiceBase();
void SetQuoteServiceBase(const QString &base);

// The service symbol of a stock code, the code upper-cased: "1A0001" → "sh000001"; codes beginning
// with "60", "68" or "90" (Shanghai) → "sh" & code; every other code → "sz" & code.
QString ToQuoteCode(const QString &code);

// Asks the quote service for the comma-separated codes: the first code alone, then at most 50 a
// request, each with the Referer "https://finance.sina.com.cn". The reply texts are joined and split
// at each "var hq_str_": element 0 is what precedes the first quote, each further element one quote,
// beginning with the symbol it names. Empty for empty codes, and when a request brought nothing back:
// the requests stop there. After a request that got no reply the service is taken as down for
// ServiceDownSeconds (http.h), in which requests fail at once.
QStringList FetchQuoteText(const QString &codes);

// The quotes among the elements of FetchQuoteText, by the symbol each names (lower-cased): the text
// between the quotation marks after "=", split on ",". Field 0 is the name, 1 the open, 3 the price,
// 4 the high, 5 the low, 30 the quote's date. A symbol named twice keeps its first quote.
QHash<QString, QStringList> QuotesBySymbol(const QStringList &chunks);

// Rebuilds the code list from the distinct codes of `account` (in code order, the index in row 0),
// zeroes the prices, reads the previous closes from `LastClprice` (rounded to 2 decimals; 0 for a code
// without a row), stamps today and refreshes the quotes. Database failures leave the list with just
// the codes that could be read.
void RebuildQuoteList();

// Refreshes open, price, high and low of every row from the quote service, each row from the quote
// that names its symbol; a price of 0 (no trade today) becomes the previous close. When a request
// fails nothing changes, the stamp included. A row the reply holds no quote for, a missing field, or
// a value that is no number, not finite, negative or at or above kPriceBound (service_values.h)
// leaves those values as they were. Codes that are empty or hold a "," are not asked for and keep their rows.
// Stamps the present time when at least one row got its quote.
void UpdateRealtimeQuotes();

// The current price of a code: from the cache when the code is in it, else from one request for
// that code alone (its price field when the reply holds its quote with at least five fields and the
// price is usable as above). 0 when unknown.
double GetRealtimePrice(const QString &code);
