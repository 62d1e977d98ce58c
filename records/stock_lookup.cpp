// 股票查询: the stock list looked up by code, name and pinyin initials.
#include "stock_lookup.h"

#include "platform/recordset.h"
#include "storage/common.h"
#include "storage/db_operate.h"

QString LookupStockName(const QString &code)
{
    const QString listed = GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code=") + SqlQuote(code),
                                         QStringLiteral("name"), MakeString(QString()))
                               .ToText();
    // The book's records carry whole codes only: a code typed in part asks nothing more.
    if (!listed.isEmpty() || code.size() != 6)
        return listed;
    return GetFieldValue(QStringLiteral("account"),
                         QStringLiteral("code=") + SqlQuote(code) + QStringLiteral(" AND sname<>'' ORDER BY id DESC"),
                         QStringLiteral("sname"), MakeString(QString()))
        .ToText();
}

std::optional<StockMatch> FindStockByText(const QString &text)
{
    // Two rows are enough to tell one match from several: a short text such as "P" matches most
    // of the list, and every keystroke runs this.
    const QString sql = QStringLiteral("SELECT TOP 2 code,name FROM companyinfo WHERE name LIKE ") +
                        SqlQuote(u'%' + text + u'%') + QStringLiteral(" OR py LIKE ") +
                        SqlQuote(u'%' + text.toUpper() + u'%');
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql))
        return std::nullopt;
    std::optional<StockMatch> match;
    if (rs.RecordCount() == 1)
        match = StockMatch{rs.Field(QStringLiteral("code")).ToText(), rs.Field(QStringLiteral("name")).ToText()};
    CloseRs(conn, rs);
    return match;
}

bool IsTradableCode(const QString &code)
{
    if (code.size() != 6 || IsIndexCode(code.toUpper()))
        return false;
    return CountGroups(QStringLiteral("companyinfo"), QStringLiteral("id"), QStringLiteral("code=") + SqlQuote(code)) !=
           0;
}

Value StockIdOf(const QString &code)
{
    return GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code=") + SqlQuote(code),
                         QStringLiteral("id"), MakeString(QString()));
}
