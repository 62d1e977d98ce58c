// 实时数据: the quote cache, the quote requests and the price refresh.
#include "quotes.h"

#include <optional>

#include "market/http.h"
#include "market/market_clock.h"
#include "market/service_values.h"
#include "platform/daynum.h"

namespace {

// The service takes at most this many symbols in one request.
constexpr int kSymbolsPerRequest = 50;

// What the service writes before each quote, followed by the symbol, "=" and the quoted fields.
const QString kQuotePrefix = QStringLiteral("var hq_str_");


// The base set by SetQuoteServiceBase; empty = the environment's or the built-in one.
QString &SetBase()
{
    static QString base;
    return base;
}

QString Base()
{
    QString base = ServiceAddress(SetBase(), "KELVARO_QUOTE_URL", QStringLiteral("http://hq.sinajs.cn"));
    // "/list=" follows directly.
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

// A value of row k, 0 for a row that does not exist.
double FieldAt(int k, double QuoteRow::*field)
{
    const auto &rows = Quotes().rows;
    return k >= 0 && static_cast<size_t>(k) < rows.size() ? rows[static_cast<size_t>(k)].*field : 0;
}

// One request; false when it brought nothing back.
bool RequestQuotes(const QString &symbols, QString &collected)
{
    // A fresh reply text for every request: a failed request must add nothing, not repeat the last one.
    QString reply;
    int timeout = 0;
    HttpPost(Base() + QStringLiteral("/list=") + symbols, QString(), reply, QStringLiteral("[=END=]"), timeout,
             &QuoteService());
    collected += reply;
    return !reply.isEmpty();
}

// Field i of a quote when it can be taken as a price: its leading number, finite, not negative and
// below the price no stock or index reaches. 0 is a valid value: no trade today.
std::optional<double> QuoteValue(const QStringList &fields, int i)
{
    const auto v = i < fields.size() ? ServiceNumber(fields[i]) : std::nullopt;
    if (!v || *v < 0 || *v >= kPriceBound)
        return std::nullopt;
    return v;
}

void TakeQuoteValue(double &target, const QStringList &fields, int i)
{
    if (const auto v = QuoteValue(fields, i))
        target = *v;
}

// A code the service can be asked about: not empty and free of the list's separator.
bool Quotable(const QString &code)
{
    return !code.isEmpty() && !code.contains(u',');
}

}  // namespace

HttpService &QuoteService()
{
    // The service's own site sends this Referer, and the service refuses requests without one.
    static HttpService service{QByteArrayLiteral("https://finance.sina.com.cn"), QDateTime(), 0,
                               QStringLiteral("实时行情服务"), kQuoteReplyLimitBytes};
    return service;
}

QuoteCache &Quotes()
{
    static QuoteCache cache;
    return cache;
}

void ResetQuoteCache()
{
    Quotes() = QuoteCache();
}

QStringList QuoteCodes()
{
    QStringList codes;
    for (const QuoteRow &row : Quotes().rows)
        codes << row.code;
    return codes;
}

int QuoteIndexOf(const QString &code)
{
    const auto &rows = Quotes().rows;
    for (size_t k = 0; k < rows.size(); ++k) {
        if (rows[k].code == code)
            return static_cast<int>(k);
    }
    return -1;
}

double QuoteOpen(int k)
{
    return FieldAt(k, &QuoteRow::open);
}

double QuoteHigh(int k)
{
    return FieldAt(k, &QuoteRow::high);
}

double QuoteLow(int k)
{
    return FieldAt(k, &QuoteRow::low);
}

double QuotePrice(int k)
{
    return FieldAt(k, &QuoteRow::price);
}

double QuoteLastClose(int k)
{
    return FieldAt(k, &QuoteRow::lastClose);
}

double QuoteListDate()
{
    return Quotes().listDate;
}

QString QuoteServiceBase()
{
    return Base();
}

void SetQuoteServiceBase(const QString &base)
{
    SetBase() = base;
    // Another address is another service: whether the old one answered says nothing about it.
    ForgetServiceOutage(QuoteService());
}

QString ToQuoteCode(const QString &code)
{
    const QString c = code.toUpper();
    if (c == QStringLiteral("1A0001"))
        return QStringLiteral("sh000001");
    for (const char *shanghai : {"60", "68", "90"}) {
        if (c.startsWith(QLatin1String(shanghai)))
            return QStringLiteral("sh") + c;
    }
    return QStringLiteral("sz") + c;
}

QStringList FetchQuoteText(const QString &codes)
{
    if (codes.isEmpty())
        return {};
    QStringList symbols = codes.split(u',');
    for (QString &s : symbols)
        s = ToQuoteCode(s);

    // The first symbol (the index, for the cache) goes alone, then 50 a request: i = 0, 50, 100, ...
    // close a batch. The result of a failed batch would be discarded anyway, so the rest are not
    // asked for.
    QString collected;
    QStringList pending;
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        pending << symbols[i];
        if (i % kSymbolsPerRequest == 0 || i == symbols.size() - 1) {
            if (!RequestQuotes(pending.join(u','), collected))
                return {};
            pending.clear();
        }
    }
    return collected.split(kQuotePrefix);
}

QHash<QString, QStringList> QuotesBySymbol(const QStringList &chunks)
{
    QHash<QString, QStringList> quotes;
    for (qsizetype i = 1; i < chunks.size(); ++i) {
        const QString &chunk = chunks[i];
        const qsizetype equals = chunk.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString symbol = chunk.left(equals).trimmed().toLower();
        QString text = chunk.mid(equals + 1).trimmed();
        if (text.startsWith(u'"')) {
            const qsizetype close = text.lastIndexOf(u'"');
            text = close > 0 ? text.mid(1, close - 1) : text.mid(1);
        }
        if (!symbol.isEmpty() && !quotes.contains(symbol))
            quotes.insert(symbol, text.split(u','));
    }
    return quotes;
}

void UpdateRealtimeQuotes()
{
    QuoteCache &cache = Quotes();
    QStringList codes;
    for (const QuoteRow &row : cache.rows) {
        if (Quotable(row.code))
            codes << row.code;
    }
    if (codes.isEmpty())
        return;
    const QStringList chunks = FetchQuoteText(codes.join(u','));
    // A request failed: the cache stays as it was, its stamp included.
    if (chunks.isEmpty())
        return;

    // Each quote goes to the code whose symbol it names, so a quote too many or too few cannot move
    // the prices of the others; a code the reply does not name keeps its row.
    const QHash<QString, QStringList> quotes = QuotesBySymbol(chunks);
    bool answered = false;
    for (QuoteRow &row : cache.rows) {
        if (!Quotable(row.code))
            continue;
        const auto it = quotes.constFind(ToQuoteCode(row.code).toLower());
        if (it == quotes.constEnd())
            continue;
        answered = true;
        TakeQuoteValue(row.open, *it, 1);
        TakeQuoteValue(row.price, *it, 3);
        TakeQuoteValue(row.high, *it, 4);
        TakeQuoteValue(row.low, *it, 5);
        if (row.price == 0)
            row.price = row.lastClose;
    }
    if (answered)
        cache.listDate = DayNumberOf(MarketNow());
}

double GetRealtimePrice(const QString &code)
{
    const int k = QuoteIndexOf(code);
    if (k >= 0)
        return QuotePrice(k);
    if (!Quotable(code))
        return 0;
    const QStringList fields = QuotesBySymbol(FetchQuoteText(code)).value(ToQuoteCode(code).toLower());
    return fields.size() >= 5 ? QuoteValue(fields, 3).value_or(0) : 0;
}
