// 实时数据: rebuilding the quote list from the book. Kept apart from the quote requests because it
// reads the database.
#include "quotes.h"

#include "market/market_clock.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/numformat.h"
#include "storage/db_operate.h"

void RebuildQuoteList()
{
    QStringList codes = GetGroupList(QStringLiteral("account"), QStringLiteral("code"), QString());
    if (codes.isEmpty())
        codes << QString();
    codes[0] = QStringLiteral("1A0001");

    QuoteCache &cache = Quotes();
    cache.rows.assign(static_cast<size_t>(codes.size()), QuoteRow());
    for (qsizetype k = 0; k < codes.size(); ++k)
        cache.rows[static_cast<size_t>(k)].code = codes[k];

    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT L.*,C.id FROM lastclprice AS L,companyinfo AS C WHERE L.code=C.code"))) {
        while (!rs.AtEOF()) {
            const int k = QuoteIndexOf(rs.Field(QStringLiteral("code")).ToText());
            if (k >= 0) {
                // Stored as the "0.00" text reads back: rounded to 2 decimals.
                const double close = rs.Field(QStringLiteral("clprice")).ToDouble();
                cache.rows[static_cast<size_t>(k)].lastClose = LeadingNumber(FormatFixed(close, 2));
            }
            if (!rs.MoveNext())
                break;
        }
    }
    CloseRs(conn, rs);

    cache.listDate = MarketTodayDayNumber();
    UpdateRealtimeQuotes();
}
