// 数据下载: daily history download and the last-close table.
#include "history.h"

#include <cmath>

#include "market/calendar.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

const QString kLastDownloadKey = QStringLiteral("上次下载日期");
const QString kLastCloseKey = QStringLiteral("生成收盘价日期");

// The date of a parameter holding "YYYY-MM-DD" (default "1900-1-1"); the empty date when unreadable.
double ParamDate(const QString &key)
{
    return ParseDate(GetParam(key, QStringLiteral("1900-1-1"))).value_or(kEmptyDate);
}

double Today()
{
    return DayNumberOf(ClockToday());
}

bool BeforeFour()
{
    return ClockNow().time() < QTime(16, 0);
}

}  // namespace

void DownloadAllHistory()
{
    const double last = ParamDate(kLastDownloadKey);
    const double today = Today();
    if (last >= today)
        return;
    if (last == today - 1 && BeforeFour())
        return;
    DbConnection conn;
    RecordSet rs;
    const bool opened = OpenRs(
        conn, rs,
        QStringLiteral("SELECT C.id,C.code FROM companyinfo AS C,(SELECT code FROM account GROUP BY code) AS A "
                       "WHERE C.code=A.code"));
    ShowIndicator(QStringLiteral("正在补充下载历史交易数据..."), (opened ? rs.RecordCount() : 0) + 1);
    for (; opened && !rs.AtEOF(); rs.MoveNext()) {
        DownloadStockHistory(static_cast<long>(rs.Field(QStringLiteral("id")).ToDouble()),
                             rs.Field(QStringLiteral("code")).ToText());
        StepIndicator(1, QStringLiteral("pages"), QString());
    }
    const long indexId = static_cast<long>(
        GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code='1A0001'"), QStringLiteral("id"), MakeLong(0))
            .ToDouble());
    DownloadStockHistory(indexId, QStringLiteral("1A0001"));
    CloseRs(conn, rs);
    HideIndicator();
    SaveParam(kLastDownloadKey, DateText(BeforeFour() ? today - 1 : today));
}

void RebuildLastClosePrices()
{
    const double today = Today();
    if (ParamDate(kLastDownloadKey) >= today)
        return;
    if (ParamDate(kLastCloseKey) >= today)
        return;
    std::vector<Value> codes;
    LoadGroupValues(codes, QStringLiteral("account"), QStringLiteral("code"), QString(), kAccDb,
                    QStringLiteral("1A0001"));
    ShowIndicator(QStringLiteral("正在更新最近收盘价表..."), static_cast<long>(codes.size()));
    for (const Value &code : codes) {
        UpdateLastClosePrice(code.ToText(), 0);
        StepIndicator(1, QStringLiteral("pages"), QString());
    }
    HideIndicator();
    SaveParam(kLastCloseKey, DateText(today));
}

void UpdateLastClosePrice(const QString &code, double price)
{
    if (price == 0) {
        const auto table = HistoryTableName(code);
        if (!table)
            return;
        const Value close = GetFieldValue(*table,
                                          QStringLiteral("trdat<") + SqlDateLiteral(LastQuoteDate()) +
                                              QStringLiteral(" ORDER BY trdat DESC"),
                                          QStringLiteral("clprice"), MakeEmpty());
        // No close before the latest trading day (no history yet, or the quote date unknown): the
        // stored close stays as it is.
        if (!close.IsNumeric())
            return;
        price = close.ToDouble();
    }
    if (!code.isEmpty()) {
        DbConnection conn;
        RecordSet rs;
        const QString sql = QStringLiteral("SELECT * FROM LastClprice WHERE code=") + SqlQuote(code);
        if (OpenRs(conn, rs, sql)) {
            bool ok = rs.RecordCount() > 0 || rs.AddNew();
            ok = ok && rs.Set(QStringLiteral("code"), MakeString(code)) &&
                 rs.Set(QStringLiteral("clprice"), MakeDouble(price)) && rs.Update();
            if (!ok) {
                LogDbError(rs.lastError, sql);
                rs.CancelUpdate();
            }
        }
        CloseRs(conn, rs);
    }
    const int k = QuoteIndexOf(code);
    if (k >= 0 && k < static_cast<int>(Quotes().rows.size()))
        Quotes().rows[k].lastClose = price;
}

bool EnsureHistoryTable(const QString &code)
{
    const auto table = HistoryTableName(code);
    if (!table)
        return false;
    if (!TableExists(*table))
        ExecSql(QStringLiteral("CREATE TABLE ") + *table +
                QStringLiteral("(id AUTOINCREMENT,trdat DATE,opprice SINGLE,clprice SINGLE,mxprice SINGLE,"
                               "mnprice SINGLE,num DOUBLE,sm DOUBLE)"));
    return true;
}

bool DownloadStockHistory(long sid, const QString &code)
{
    if (!EnsureHistoryTable(code))
        return false;
    const QString table = *HistoryTableName(code);
    const Value newest =
        GetFieldValue(table, QStringLiteral("TRUE ORDER BY trdat DESC"), QStringLiteral("trdat"), MakeEmpty());
    double since;
    if (newest.IsDate() || newest.IsNumeric())
        since = newest.ToDouble();
    else
        since = DayNumberOf(ClockToday().year() - 1, 1, 1);
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE FALSE"))) {
        for (int year = DateOfDayNumber(since).year(); year <= ClockToday().year(); ++year)
            DownloadHistoryRows(sid, year, since, rs);
    }
    CloseRs(conn, rs);
    UpdateLastClosePrice(code, 0);
    return true;
}

bool DownloadHistoryRows(long sid, int year, double since, RecordSet &rs)
{
    const QString sql = QStringLiteral("SELECT `trdat`,`opprice`,`clprice`,`mxprice`,`mnprice`,`num`,`sm` FROM `sp_") +
                        QString::number(year) + QStringLiteral("_00` WHERE `sid`=") + QString::number(sid) +
                        QStringLiteral(" AND `trdat`>'") + DateText(since) + QStringLiteral("'");
    QStringList rows;
    const long n = ExecRemoteSql(sql, rows, QStringLiteral("Disp/ExeSQL.php"));
    if (n < 0)
        return false;
    if (n == 0)
        return true;
    static const char *const kFields[] = {"opprice", "clprice", "mxprice", "mnprice", "num", "sm"};
    // The rows are appended in one transaction: one commit instead of one per row.
    DbConnection *conn = rs.Connection();
    const bool inTransaction = conn && conn->Begin();
    for (int r = 2; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(QStringLiteral("⊙"));
        const auto day = ReadDateText(fields.value(0).trimmed());
        // A row without a readable date cannot be placed in the calendar: skipped.
        if (!day)
            continue;
        bool ok = rs.AddNew() && rs.Set(QStringLiteral("trdat"), MakeDate(*day));
        for (int f = 0; ok && f < 6; ++f)
            ok = rs.Set(QLatin1String(kFields[f]), MakeDouble(LeadingNumber(fields.value(f + 1))));
        if (!ok || !rs.Update()) {
            LogDbError(rs.lastError, QStringLiteral("SELECT * FROM ") + rs.Table());
            rs.CancelUpdate();
        }
    }
    if (inTransaction && !conn->Commit())
        conn->Rollback();
    return true;
}
