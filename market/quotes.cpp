// 实时数据: the quote cache, the quote requests and the price refresh.
#include "quotes.h"

#include "market/http.h"
#include "platform/clock.h"
#include "platform/numeric.h"

namespace {

// The service takes at most this many symbols in one request.
constexpr int kSymbolsPerRequest = 50;

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

void RequestQuotes(const QString &symbols, QString &collected)
{
    // A fresh reply text for every request: a failed request must add nothing, not repeat the last one.
    QString reply;
    int timeout = 0;
    HttpPost(Base() + QStringLiteral("/list=") + symbols, QString(), reply, QStringLiteral("[=END=]"), timeout);
    collected += reply;
}

}  // namespace

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
}

QString ToQuoteCode(const QString &code)
{
    const QString c = code.toUpper();
    if (c == QStringLiteral("1A0001"))
        return QStringLiteral("sh000001");
    if (c.startsWith(QStringLiteral("60")) || c.startsWith(QStringLiteral("90")))
        return QStringLiteral("sh") + c;
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
    // close a batch.
    QString collected;
    QStringList pending;
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        pending << symbols[i];
        if (i % kSymbolsPerRequest == 0 || i == symbols.size() - 1) {
            RequestQuotes(pending.join(u','), collected);
            pending.clear();
        }
    }
    if (collected.isEmpty())
        return {};
    return collected.split(QStringLiteral("var"));
}

void UpdateRealtimeQuotes()
{
    QuoteCache &cache = Quotes();
    if (cache.rows.empty())
        return;

    QString list = QuoteCodes().join(u',');
    // Chunk i answers code i - 1, unless an empty code 0 was left out of the request.
    int shift = 1;
    if (list.startsWith(u',')) {
        list.remove(0, 1);
        shift = 0;
    }
    // The codes sent, not the commas in the list: a code that holds a comma would go out as two
    // symbols, and its extra quote must not shift the quotes of the codes after it.
    const qsizetype sent = static_cast<qsizetype>(cache.rows.size()) - (1 - shift);
    const QStringList chunks = FetchQuoteText(list);
    if (sent == 0 || chunks.size() - 1 != sent)
        return;

    for (qsizetype i = chunks.size() - 1; i >= 1; --i) {
        const qsizetype k = i - shift;
        if (k < 0 || static_cast<size_t>(k) >= cache.rows.size())
            continue;
        QuoteRow &row = cache.rows[static_cast<size_t>(k)];
        const QStringList fields = chunks[i].split(u',');
        if (fields.size() > 1)
            row.open = LeadingNumber(fields[1]);
        if (fields.size() > 3)
            row.price = LeadingNumber(fields[3]);
        if (fields.size() > 4)
            row.high = LeadingNumber(fields[4]);
        if (fields.size() > 5)
            row.low = LeadingNumber(fields[5]);
        if (row.price == 0)
            row.price = row.lastClose;
    }
    cache.listDate = ClockNowDayNumber();
}

double GetRealtimePrice(const QString &code)
{
    const int k = QuoteIndexOf(code);
    if (k >= 0)
        return QuotePrice(k);
    const QStringList chunks = FetchQuoteText(code);
    if (chunks.size() != 2)
        return 0;
    const QStringList fields = chunks[1].split(u',');
    return fields.size() >= 5 ? LeadingNumber(fields[3]) : 0;
}
