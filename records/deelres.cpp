// 计算函数 (per-day assets): rebuilding the table DeelRes.
#include "deelres.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <sqlite3.h>

#include <QSet>

#include "market/calendar.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/sys_params.h"

namespace {

// Below every date: "every trade counts".
constexpr double kBeforeAnyDay = std::numeric_limits<double>::lowest();

// One prepared statement in SQLite's dialect on an open connection, finalized when destroyed. A
// failure is logged once, with the statement's text.
class Statement {
public:
    Statement(DbConnection &conn, const QString &sql) : m_conn(conn), m_sql(sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        const int rc = conn.IsOpen() ? sqlite3_prepare_v2(conn.Handle(), utf8.constData(),
                                                          static_cast<int>(utf8.size()), &m_stmt, nullptr)
                                     : SQLITE_MISUSE;
        if (rc != SQLITE_OK)
            Fail(rc);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool ok() const { return !m_failed; }
    Statement &Bind(int i, double v)
    {
        if (!m_failed)
            sqlite3_bind_double(m_stmt, i, v);
        return *this;
    }
    Statement &Bind(int i, const QString &text)
    {
        if (!m_failed) {
            const QByteArray utf8 = text.toUtf8();
            sqlite3_bind_text(m_stmt, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        }
        return *this;
    }
    // Steps to the next row: true on a row; false at the end (the statement is then reset, so it
    // holds no lock) or on a failure (logged; ok() turns false).
    bool Next()
    {
        if (m_failed)
            return false;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Fail(rc);
        sqlite3_reset(m_stmt);
        return false;
    }
    // Runs a statement that returns no rows.
    bool Run()
    {
        while (Next()) {
        }
        return ok();
    }
    // Lets go of a statement that was not read to its end.
    void Reset()
    {
        if (m_stmt)
            sqlite3_reset(m_stmt);
    }
    bool IsNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    double Double(int col) const { return sqlite3_column_double(m_stmt, col); }
    long long Int(int col) const { return sqlite3_column_int64(m_stmt, col); }
    QString Text(int col) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col)),
                                 sqlite3_column_bytes(m_stmt, col));
    }

private:
    void Fail(int rc)
    {
        m_failed = true;
        LogDbError(m_conn.IsOpen() ? MakeDbError(m_conn.Handle(), rc)
                                   : MakeDbError(QStringLiteral("the connection is not open")),
                   m_sql);
    }

    DbConnection &m_conn;
    QString m_sql;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_failed = false;
};

// The index 1..n of the first trading day on or after d; n + 1 when d is after the last day.
int DayIndexOnOrAfter(const std::vector<double> &days, double d)
{
    return static_cast<int>(std::lower_bound(days.begin() + 1, days.end(), std::floor(d)) - days.begin());
}

// The price tables of the database, read once per recomputation. A stock's table is downloaded when
// it is missing, and given an index on trdat when it has none, so that the asset table reads only the
// days it needs.
class PriceTables {
public:
    explicit PriceTables(DbConnection &conn) : m_conn(conn) { Read(); }

    // The price table of code, ready to be read; nothing when the code names none or it cannot be had.
    std::optional<QString> Find(const QString &code)
    {
        const auto table = HistoryTableName(code);
        if (!table)
            return std::nullopt;
        if (!m_tables.contains(*table)) {
            DownloadStockHistory(StockIdOf(code), code);
            Read();
            if (!m_tables.contains(*table))
                return std::nullopt;
        }
        if (!m_indexed.contains(*table)) {
            // Only a help for the reads: a failure is logged and the rows are read without it.
            EnsureHistoryTable(code);
            m_indexed.insert(*table);
        }
        return table;
    }

private:
    // The stock id the data service knows a code by (companyinfo.id), 0 when the code is not listed.
    static long StockIdOf(const QString &code)
    {
        return static_cast<long>(GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code=") + SqlQuote(code),
                                               QStringLiteral("id"), MakeLong(0))
                                     .ToDouble());
    }

    void Read()
    {
        m_tables.clear();
        m_indexed.clear();
        Statement schema(m_conn, QStringLiteral("SELECT type,name,tbl_name,sql FROM sqlite_master "
                                                "WHERE type IN ('table','index')"));
        while (schema.Next()) {
            if (schema.Text(0) == QLatin1String("table"))
                m_tables.insert(schema.Text(1));
            else if (schema.Text(3).contains(QLatin1String("trdat"), Qt::CaseInsensitive))
                m_indexed.insert(schema.Text(2));
        }
    }

    DbConnection &m_conn;
    QSet<QString> m_tables;   // names as the schema spells them (compared case-sensitively)
    QSet<QString> m_indexed;  // tables with an index over trdat
};

// The records of code that touch the range, for CalcHoldingsByDay: open ones and those bought or sold
// from days(1) on. Bind 1 = code, 2 = days(1).
const QString kHoldingsSql = QStringLiteral(
    "SELECT bdate,sdate,sprice,num FROM account WHERE code=?1 AND (sprice<=0 OR bdate>=?2 OR sdate>=?2)");

// Holdings of one stock per day from the records that `records` returns. False when they cannot be read.
bool HoldingsByDay(Statement &records, const std::vector<double> &days, std::vector<long> &holdings)
{
    const int n = static_cast<int>(days.size()) - 1;
    holdings.assign(std::max(n, 0) + 1, 0);
    std::vector<long> change(std::max(n, 0) + 2, 0);
    while (records.Next()) {
        // A record counts from its buy day up to the day before its sell day; a date that is no
        // trading day stands for the first trading day after it, for the buy and the sell alike.
        const double bdate = records.Double(0);
        const int from = bdate <= days[1] ? 1 : DayIndexOnOrAfter(days, bdate);
        const int to = records.Double(2) <= 0 ? n : DayIndexOnOrAfter(days, records.Double(1)) - 1;
        if (from <= to) {
            const long num = static_cast<long>(records.Int(3));
            change[from] += num;
            change[to + 1] -= num;
        }
    }
    long held = 0;
    for (int i = 1; i <= n; ++i)
        holdings[i] = held += change[i];
    return records.ok();
}

// Market value of one stock per day, from its price table; see CalcMarketValueByDay.
std::vector<double> ValueByDay(DbConnection &conn, PriceTables &tables, const QString &code,
                               const std::vector<double> &days, const std::vector<long> &holdings, double livePrice)
{
    const int n = static_cast<int>(days.size()) - 1;
    std::vector<double> value(std::max(n, 0) + 1, 0.0);
    int firstHeld = 1;
    while (firstHeld <= n && holdings[firstHeld] < 1)
        ++firstHeld;
    int lastHeld = n;
    while (lastHeld >= firstHeld && holdings[lastHeld] < 1)
        --lastHeld;
    if (firstHeld > lastHeld)
        return value;
    const auto table = tables.Find(code);
    if (!table)
        return value;
    // The closes from the newest one before the first day held up to the last day held; without a
    // close before it, from the first stored row on (the days before that row have no close and are
    // valued at 0).
    Statement prices(conn, QStringLiteral("SELECT trdat,clprice FROM \"%1\" WHERE trdat>=IFNULL((SELECT MAX(trdat) "
                                          "FROM \"%1\" WHERE trdat<?1),?1) AND trdat<?2 ORDER BY trdat")
                               .arg(*table));
    prices.Bind(1, days[firstHeld]).Bind(2, days[lastHeld] + 1);
    const double today = ClockTodayDayNumber();
    bool more = prices.Next();
    bool haveClose = false;
    double close = 0;
    for (int i = firstHeld; i <= lastHeld; ++i) {
        if (holdings[i] < 1)
            continue;
        // The day's own close, else the close before it (a suspended day).
        while (more && std::floor(prices.Double(0)) <= days[i]) {
            close = prices.Double(1);
            haveClose = true;
            more = prices.Next();
        }
        double price = haveClose ? close : 0.0;
        if (days[i] == today && livePrice != 0)
            price = livePrice;
        value[i] = RoundHalfEven(static_cast<double>(holdings[i]) * price, 2);
    }
    prices.Reset();
    return value;
}

// Cash per day: every buy and every sell dated from `since` on counts on the first trading day on or
// after its date (a trade dated before days(1) on days(1)); see CalcCashByDay. False when the records
// cannot be read.
bool CashByDay(DbConnection &conn, double &startCash, const std::vector<double> &days, double since,
               std::vector<double> &cash)
{
    const int n = static_cast<int>(days.size()) - 1;
    cash.assign(std::max(n, 0) + 1, 0.0);
    if (n < 1)
        return true;
    std::vector<double> change(n + 2, 0.0);
    Statement buys(conn, QStringLiteral("SELECT bdate,bcash FROM account WHERE bdate>=?1"));
    buys.Bind(1, since);
    while (buys.Next())
        change[DayIndexOnOrAfter(days, buys.Double(0))] -= buys.Double(1);
    Statement sells(conn, QStringLiteral("SELECT sdate,scash FROM account WHERE sdate>=?1 AND sprice>0"));
    sells.Bind(1, since);
    while (sells.Next())
        change[DayIndexOnOrAfter(days, sells.Double(0))] += sells.Double(1);
    if (!buys.ok() || !sells.ok())
        return false;
    // Trades dated after the last day (change[n + 1]) count when their day comes.
    for (int i = 1; i <= n; ++i) {
        startCash += change[i];
        cash[i] = RoundHalfEven(startCash, 2);
    }
    return true;
}

// Rewrites the rows of DeelRes from days(1) on. Nothing is written when the book cannot be read.
void RebuildRows(const std::vector<double> &days, bool showProgress)
{
    const int n = static_cast<int>(days.size()) - 1;
    const double first = days[1];
    DbConnection conn;
    if (!OpenConn(conn))
        return;

    // The cash at the start, and the day of the row it comes from: the trades up to that day are in it.
    double startCash = InitialCapital();
    double since = kBeforeAnyDay;
    {
        Statement before(conn, QStringLiteral("SELECT dat,cash FROM DeelRes WHERE dat<=?1 ORDER BY dat DESC LIMIT 1"));
        before.Bind(1, first - 1);
        if (before.Next() && !before.IsNull(1)) {
            startCash = before.Double(1);
            since = std::floor(before.Double(0)) + 1;
        }
        before.Reset();
        if (!before.ok())
            return;
    }

    QStringList codes;
    {
        Statement stocks(conn, QStringLiteral("SELECT code FROM account WHERE bdate>=?1 OR sdate>=?1 OR sprice=0 "
                                              "GROUP BY code ORDER BY code"));
        stocks.Bind(1, first);
        while (stocks.Next())
            codes << stocks.Text(0);
        if (!stocks.ok())
            return;
    }

    if (showProgress)
        ShowIndicator(QStringLiteral("正在重新计算股票市值/资产表......"), codes.size() + 1);
    const double today = ClockTodayDayNumber();
    if (QuoteListDate() < today)
        UpdateRealtimeQuotes();

    std::vector<double> totalValue(n + 1, 0.0);
    PriceTables tables(conn);
    Statement records(conn, kHoldingsSql);
    std::vector<long> holdings;
    for (const QString &code : codes) {
        records.Bind(1, code).Bind(2, first);
        if (!HoldingsByDay(records, days, holdings))
            return;
        // Only today's value needs the live price.
        const double livePrice = days[n] == today && holdings[n] >= 1 ? GetRealtimePrice(code) : 0.0;
        const std::vector<double> value = ValueByDay(conn, tables, code, days, holdings, livePrice);
        for (int i = 1; i <= n; ++i)
            totalValue[i] += value[i];
        if (showProgress)
            StepIndicator(1, QStringLiteral("pages"), QString());
    }
    if (showProgress)
        StepIndicator(1, QStringLiteral("pages"), QString());
    std::vector<double> cash;
    if (!CashByDay(conn, startCash, days, since, cash))
        return;

    // The status line lets events through: shown before the rows are replaced, which then happens in
    // one transaction without a break, so a failure leaves the table as it was.
    ShowStatusText(QStringLiteral("正在保存市值/资产表......"));
    if (!conn.Begin()) {
        LogDbError(conn.lastError, QStringLiteral("BEGIN IMMEDIATE"));
        return;
    }
    bool ok = ExecSql(QStringLiteral("DELETE * FROM DeelRes WHERE dat>=") + SqlDateLiteral(first), &conn);
    {
        Statement insert(conn, QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(?1,?2,?3,?4)"));
        for (int i = 1; ok && i <= n; ++i)
            ok = insert.Bind(1, days[i]).Bind(2, cash[i]).Bind(3, totalValue[i]).Bind(4, totalValue[i] + cash[i]).Run();
    }
    if (ok && !conn.Commit()) {
        LogDbError(conn.lastError, QStringLiteral("COMMIT"));
        ok = false;
    }
    if (!ok)
        conn.Rollback();
}

// One recomputation from startDate.
void RecalcOnce(double startDate, bool showProgress)
{
    if (showProgress)
        ShowIndicator(QStringLiteral("正在重新统计资产......"), 1);
    const std::vector<double> days = GetTradeDates(startDate);
    if (days.size() > 1)
        RebuildRows(days, showProgress);
    if (showProgress)
        HideIndicator();
}

struct RecalcState {
    bool running = false;
    bool pending = false;
    double pendingStart = 0;
    bool pendingProgress = false;
};

RecalcState &State()
{
    static RecalcState s;
    return s;
}

}  // namespace

void RecalcDeelRes(double startDate, bool showProgress)
{
    RecalcState &s = State();
    // The progress steps let events through, so a second request can arrive while one runs: it is
    // folded into the running one, which then goes again from the earlier of the two dates.
    if (s.running) {
        s.pendingStart = s.pending ? std::min(s.pendingStart, startDate) : startDate;
        s.pendingProgress = s.pendingProgress || showProgress;
        s.pending = true;
        return;
    }
    BusyGuard busy;
    s.running = true;
    RecalcOnce(startDate, showProgress);
    while (s.pending) {
        s.pending = false;
        const bool progress = s.pendingProgress;
        s.pendingProgress = false;
        RecalcOnce(s.pendingStart, progress);
    }
    s.running = false;
}

double GetCashBefore(double d)
{
    const Value v = GetFieldValue(QStringLiteral("DeelRes"),
                                  QStringLiteral("dat<=") + SqlDateLiteral(d) + QStringLiteral("  ORDER BY dat DESC"),
                                  QStringLiteral("cash"), MakeString(QString()));
    const QString text = v.ToText();
    return text.isEmpty() ? InitialCapital() : LeadingNumber(text);
}

std::vector<double> CalcCashByDay(double &startCash, const std::vector<double> &days)
{
    std::vector<double> cash(days.size(), 0.0);
    if (days.size() < 2)
        return cash;
    DbConnection conn;
    if (OpenConn(conn))
        CashByDay(conn, startCash, days, days[1], cash);
    return cash;
}

std::vector<long> CalcHoldingsByDay(const QString &code, const std::vector<double> &days)
{
    std::vector<long> holdings(days.size(), 0);
    if (days.size() < 2)
        return holdings;
    DbConnection conn;
    if (OpenConn(conn)) {
        Statement records(conn, kHoldingsSql);
        records.Bind(1, code).Bind(2, days[1]);
        HoldingsByDay(records, days, holdings);
    }
    return holdings;
}

std::vector<double> CalcMarketValueByDay(const QString &code, const std::vector<double> &days,
                                         const std::vector<long> &holdings, double livePrice)
{
    std::vector<double> value(days.size(), 0.0);
    if (days.size() < 2 || holdings.size() < days.size())
        return value;
    DbConnection conn;
    if (!OpenConn(conn))
        return value;
    PriceTables tables(conn);
    return ValueByDay(conn, tables, code, days, holdings, livePrice);
}
