// 数据下载: daily history download and the last-close table.
#include "history.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "market/calendar.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/service_values.h"
#include "market/web.h"
#include "platform/daynum.h"
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

bool BeforeFour(const QDateTime &t)
{
    return t.time() < QTime(16, 0);
}

// The price table of a code. A code that is not six letters or digits (one imported or typed into
// the book) must not become part of SQL: it is refused and logged.
std::optional<QString> PriceTableOf(const QString &code)
{
    const auto table = HistoryTableName(code);
    if (!table)
        LogDbError(MakeDbError(QStringLiteral("no price table for the stock code \"") + code + QStringLiteral("\"")));
    return table;
}

// One row of a reply, read and checked before anything is stored.
struct HistoryRow {
    double day = 0;
    double values[6] = {};  // open, close, high, low, volume, amount
};

// Whether a row read from the year table of `year` may be stored: its day lies in that year and not
// after today; open, close, high and low are positive and below kPriceBound, as a quote's price must
// be; volume and amount are finite and not negative. Anything else is the service's error and would
// corrupt the calendar or every value computed from the prices.
bool UsableRow(const HistoryRow &row, double day, int year, double today)
{
    if (DateOfDayNumber(day).year() != year || day > today)
        return false;
    const auto price = [](double v) { return v > 0 && v < kPriceBound; };
    const auto amount = [](double v) { return std::isfinite(v) && v >= 0; };
    return std::all_of(row.values, row.values + 4, price) && std::all_of(row.values + 4, row.values + 6, amount);
}

}  // namespace

double DownloadAllHistory()
{
    const double last = ParamDate(kLastDownloadKey);
    // Day and hour from one reading of the clock, here and when the day is saved.
    const QDateTime start = MarketNow();
    const double today = DayNumberOf(start.date());
    if (last >= today)
        return 0;
    if (last == today - 1 && BeforeFour(start))
        return 0;
    double earliestAdded = 0;
    DbConnection conn;
    RecordSet rs;
    const bool opened = OpenRs(
        conn, rs,
        QStringLiteral("SELECT C.id,C.code FROM companyinfo AS C,(SELECT code FROM account GROUP BY code) AS A "
                       "WHERE C.code=A.code"));
    ShowIndicator(QStringLiteral("正在补充下载历史交易数据..."), (opened ? rs.RecordCount() : 0) + 1);
    // A stock that failed does not stop the others: what they got is stored all the same. A query the
    // user gave up, closing the progress window, ends the run: each one after it would wait a second
    // and show the window again.
    bool complete = opened;
    const auto download = [&](long sid, const QString &code) {
        DataService().last = HttpOutcome::None;
        complete = DownloadStockHistory(sid, code, &earliestAdded) && complete;
        return DataService().last != HttpOutcome::GivenUp;
    };
    bool goOn = true;
    for (; opened && goOn && !rs.AtEOF(); rs.MoveNext()) {
        goOn = download(static_cast<long>(rs.Field(QStringLiteral("id")).ToDouble()),
                        rs.Field(QStringLiteral("code")).ToText());
        StepIndicator(1, QStringLiteral("pages"), QString());
    }
    const long indexId = static_cast<long>(
        GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code='1A0001'"), QStringLiteral("id"), MakeLong(0))
            .ToDouble());
    if (goOn)
        download(indexId, QStringLiteral("1A0001"));
    else
        complete = false;
    CloseRs(conn, rs);
    HideIndicator();
    // A day with a query left unanswered is no day done: the index's rows are the trading calendar,
    // and the next start, restore or clear asks for what is missing.
    if (!complete)
        return earliestAdded;
    // A download that runs past midnight must not save the day it started on less one.
    const QDateTime end = MarketNow();
    const double endDay = DayNumberOf(end.date());
    SaveParam(kLastDownloadKey, DateText(BeforeFour(end) ? endDay - 1 : endDay));
    return earliestAdded;
}

void RebuildLastClosePrices()
{
    const double today = MarketTodayDayNumber();
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
        // Without the latest trading day (the quote service not reached yet) no close is defined:
        // the stored close stays as it is.
        if (LastQuoteDate() <= kEmptyDate)
            return;
        const auto table = PriceTableOf(code);
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
    const auto table = PriceTableOf(code);
    if (!table)
        return false;
    if (!TableExists(*table))
        ExecSql(QStringLiteral("CREATE TABLE ") + *table +
                QStringLiteral("(id AUTOINCREMENT,trdat DATE,opprice SINGLE,clprice SINGLE,mxprice SINGLE,"
                               "mnprice SINGLE,num DOUBLE,sm DOUBLE)"));
    // Every reader looks rows up or orders them by day. Also added to tables made before the index was.
    ExecSql(QStringLiteral("CREATE INDEX IF NOT EXISTS ") + *table + QStringLiteral("_trdat ON ") + *table +
            QStringLiteral("(trdat)"));
    return true;
}

bool DownloadStockHistory(long sid, const QString &code, double *earliestAdded)
{
    if (!EnsureHistoryTable(code))
        return false;
    const QString table = *HistoryTableName(code);
    const QDate today = MarketToday();
    const QString tomorrow = SqlDateLiteral(DayNumberOf(today) + 1);
    // A row dated after today (a service's error stored once) would stop every later download at its
    // day: it goes, and is not taken as the newest row should it stay.
    ExecSql(QStringLiteral("DELETE * FROM ") + table + QStringLiteral(" WHERE trdat>=") + tomorrow);
    // Null marks an empty table; Empty comes back when the query failed, and then downloading from
    // the default start would add every stored row a second time.
    const Value newest = GetFieldValue(table, QStringLiteral("trdat<") + tomorrow + QStringLiteral(" ORDER BY trdat DESC"),
                                       QStringLiteral("trdat"), MakeNull());
    if (newest.IsEmpty())
        return false;
    const double since = newest.IsDate() || newest.IsNumeric() ? std::floor(newest.ToDouble())
                                                               : DayNumberOf(today.year() - 1, 1, 1);
    DbConnection conn;
    RecordSet rs;
    bool complete = OpenRs(conn, rs, QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE FALSE"));
    // Rows are asked for only after the newest stored day, so a year that failed must stop the stock:
    // a later year stored now would leave the failed one out for good. The next run asks again from
    // the same day.
    for (int year = DateOfDayNumber(since).year(); complete && year <= today.year(); ++year)
        complete = DownloadHistoryRows(sid, year, since, rs, earliestAdded);
    CloseRs(conn, rs);
    UpdateLastClosePrice(code, 0);
    return complete;
}

bool DownloadHistoryForDay(long sid, const QString &code, double day)
{
    const double today = MarketTodayDayNumber();
    day = std::floor(day);
    const int weekday = WeekdayOf(day);
    if (day >= today || weekday == 1 || weekday == 7 || sid <= 0 || !HistoryTableName(code) ||
        !EnsureHistoryTable(code))
        return true;
    const QString table = *HistoryTableName(code);
    const auto storedDay = [&table, today](const QString &order) -> std::optional<double> {
        const Value v = GetFieldValue(table, QStringLiteral("trdat<") + SqlDateLiteral(today + 1) + order,
                                      QStringLiteral("trdat"), MakeNull());
        if (v.IsDate() || v.IsNumeric())
            return std::floor(v.ToDouble());
        return std::nullopt;
    };
    const std::optional<double> newest = storedDay(QStringLiteral(" ORDER BY trdat DESC"));
    if ((!newest || day > *newest) && !DownloadStockHistory(sid, code))
        return false;
    const std::optional<double> oldest = storedDay(QStringLiteral(" ORDER BY trdat"));
    // An empty table has been asked for everything from 1 January of last year on.
    const int firstYear = oldest ? DateOfDayNumber(*oldest).year() : MarketToday().year() - 1;
    const int dayYear = DateOfDayNumber(day).year();
    if (dayYear >= firstYear)
        return true;
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE FALSE")))
        return true;
    bool answered = true;
    for (int year = firstYear - 1; year >= dayYear; --year) {
        double added = 0;
        answered = DownloadHistoryRows(sid, year, DayNumberOf(year - 1, 12, 31), rs, &added);
        if (!answered || added == 0)
            break;
    }
    CloseRs(conn, rs);
    return answered;
}

bool DownloadHistoryRows(long sid, int year, double since, RecordSet &rs, double *earliestAdded)
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

    // Element 1 is the service's first row, not data.
    const double today = MarketTodayDayNumber();
    std::vector<HistoryRow> parsed;
    parsed.reserve(static_cast<size_t>(rows.size()));
    const QString fieldEnd = QStringLiteral("⊙");
    for (qsizetype r = 2; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(fieldEnd);
        const auto day = fields.size() >= 7 ? ReadDateText(fields[0].trimmed()) : std::nullopt;
        HistoryRow row;
        bool finite = true;
        for (int f = 0; day && f < 6; ++f) {
            const auto v = ServiceNumber(fields[f + 1]);
            finite = finite && v.has_value();
            row.values[f] = v.value_or(0);
        }
        if (!day || !finite || !UsableRow(row, std::floor(*day), year, today)) {
            LogDbError(MakeDbError(QStringLiteral("skipped a history row: ") + rows[r]), sql);
            continue;
        }
        row.day = std::floor(*day);
        parsed.push_back(row);
    }
    // The query has no order; stored in day order, an interrupted year resumes from its newest row.
    std::stable_sort(parsed.begin(), parsed.end(),
                     [](const HistoryRow &a, const HistoryRow &b) { return a.day < b.day; });
    // One row per trading day: a day the reply repeats keeps its last row, as a stored day does.
    std::reverse(parsed.begin(), parsed.end());
    const auto repeated = std::unique(parsed.begin(), parsed.end(),
                                      [](const HistoryRow &a, const HistoryRow &b) { return a.day == b.day; });
    if (repeated != parsed.end()) {
        LogDbError(MakeDbError(QStringLiteral("skipped %1 repeated history rows").arg(parsed.end() - repeated)), sql);
        parsed.erase(repeated, parsed.end());
    }
    std::reverse(parsed.begin(), parsed.end());

    static const QString kFields[] = {QStringLiteral("opprice"), QStringLiteral("clprice"), QStringLiteral("mxprice"),
                                      QStringLiteral("mnprice"), QStringLiteral("num"),     QStringLiteral("sm")};
    static const QString kDay = QStringLiteral("trdat");
    // The year is stored in one transaction: one commit instead of one per row, and a failed write
    // takes back the whole year, so that the next run asks for it again.
    DbConnection *conn = rs.Connection();
    const bool inTransaction = conn && conn->Begin();
    for (const HistoryRow &row : parsed) {
        // Rows are asked for after `since`, the newest stored day; a day up to it the service sends
        // anyway replaces the stored row of that day instead of standing beside it.
        bool ok = row.day > since || ExecSql(QStringLiteral("DELETE * FROM ") + rs.Table() +
                                                 QStringLiteral(" WHERE trdat>=") + SqlDateLiteral(row.day) +
                                                 QStringLiteral(" AND trdat<") + SqlDateLiteral(row.day + 1),
                                             conn);
        ok = ok && rs.AddNew() && rs.Set(kDay, MakeDate(row.day));
        for (int f = 0; ok && f < 6; ++f)
            ok = rs.Set(kFields[f], MakeDouble(row.values[f]));
        if (!ok || !rs.Update()) {
            LogDbError(rs.lastError, QStringLiteral("SELECT * FROM ") + rs.Table());
            rs.CancelUpdate();
            if (inTransaction)
                conn->Rollback();
            return false;
        }
    }
    if (inTransaction && !conn->Commit()) {
        LogDbError(conn->lastError, QStringLiteral("COMMIT"));
        conn->Rollback();
        return false;
    }
    if (earliestAdded && !parsed.empty() && (*earliestAdded <= 0 || parsed.front().day < *earliestAdded))
        *earliestAdded = parsed.front().day;
    return true;
}
