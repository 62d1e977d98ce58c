// 计算函数 (per-day assets): rebuilding the table DeelRes.
#include "deelres.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QSet>

#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/statement.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/sys_params.h"

namespace {

// Below every date: "every trade counts".
constexpr double kBeforeAnyDay = std::numeric_limits<double>::lowest();

// The index 1..n of the first trading day on or after d; n + 1 when d is after the last day.
int DayIndexOnOrAfter(const std::vector<double> &days, double d)
{
    return static_cast<int>(std::lower_bound(days.begin() + 1, days.end(), std::floor(d)) - days.begin());
}

// The price tables of the database, read once per recomputation. A stock's table is downloaded when
// it is missing, and given an index on trdat when it has none, so that the asset table reads only the
// days it needs. Once the user has given a download up (closing the progress window), no other is
// asked for: each would wait a second and show the window again.
class PriceTables {
public:
    explicit PriceTables(DbConnection &conn) : m_conn(conn) { Read(); }

    // False when the schema could not be read (logged).
    bool ok() const { return m_ok; }

    // The price table of code, ready to be read; nothing when the code names none or it cannot be had.
    std::optional<QString> Find(const QString &code)
    {
        const auto table = HistoryTableName(code);
        if (!table)
            return std::nullopt;
        if (!m_tables.contains(*table)) {
            if (m_givenUp)
                return std::nullopt;
            DataService().last = HttpOutcome::None;
            DownloadStockHistory(StockIdOf(code), code);
            m_givenUp = DataService().last == HttpOutcome::GivenUp;
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
        Statement schema(m_conn, QStringLiteral("SELECT type='table',name,tbl_name FROM sqlite_master "
                                                "WHERE type='table' OR (type='index' AND sql LIKE '%trdat%')"));
        while (schema.Next())
            (schema.Int(0) != 0 ? m_tables : m_indexed).insert(schema.Text(schema.Int(0) != 0 ? 1 : 2));
        m_ok = schema.ok();
    }

    DbConnection &m_conn;
    bool m_ok = true;
    QSet<QString> m_tables;   // names as the schema spells them (compared case-sensitively)
    QSet<QString> m_indexed;  // tables with an index over trdat
    bool m_givenUp = false;   // a download was given up by the user
};

// Every reading of the records starts with these columns, which decide whether a record can count.
const QString kCheckedColumns = QStringLiteral("id,num,bprice,sprice,bcash,scash");

// The records of code that touch the range, for CalcHoldingsByDay: open ones and those bought or sold
// from days(1) on. Bind 1 = code, 2 = days(1).
const QString kHoldingsSql = QStringLiteral("SELECT ") + kCheckedColumns +
                             QStringLiteral(",bdate,sdate FROM account WHERE code=?1 AND (sprice<=0 OR bdate>=?2 OR "
                                            "sdate>=?2)");

// The records that one computation leaves out: a record whose shares or prices are no finite number
// (or whose shares lie beyond the whole numbers) would turn every sum it enters into nonsense. Each is
// logged once, with the query that met it.
class RecordCheck {
public:
    // True when the record the statement stands on (kCheckedColumns first) can be counted.
    bool Counts(const Statement &rows)
    {
        bool usable = rows.IsWhole(1) || std::fabs(rows.Double(1)) < 0x1p63;
        for (int col = 1; col <= 5 && usable; ++col)
            usable = std::isfinite(rows.Double(col));
        if (usable)
            return true;
        const long long id = rows.Int(0);
        if (!m_logged.contains(id)) {
            m_logged.insert(id);
            LogDbError(MakeDbError(QStringLiteral("record id=%1 left out of the asset table: its num or prices are "
                                                  "not finite numbers")
                                       .arg(id)),
                       rows.sql());
        }
        return false;
    }
    // The shares of a record that counts.
    static long long Shares(const Statement &rows)
    {
        return rows.IsWhole(1) ? rows.Int(1) : static_cast<long long>(rows.Double(1));
    }

private:
    QSet<long long> m_logged;
};

// A record held on days from..to (indexes 1..n into the days) and what it cost, bprice × num.
struct HeldLot {
    int from;
    int to;
    long double cost;
};

// The cost of the lots held on each day 1..n, summed in the widest floating type.
std::vector<double> CostsByDay(const std::vector<HeldLot> &lots, int n)
{
    std::vector<long double> change(std::max(n, 0) + 2, 0.0L);
    for (const HeldLot &lot : lots) {
        change[lot.from] += lot.cost;
        change[lot.to + 1] -= lot.cost;
    }
    std::vector<double> costs(std::max(n, 0) + 1, 0.0);
    long double cost = 0;
    for (int i = 1; i <= n; ++i)
        costs[i] = static_cast<double>(cost += change[i]);
    return costs;
}

// Holdings of one stock per day from the records that `records` returns (kHoldingsSql), and the lots
// held in the range. The shares are summed in 128 bits, which no number of 64-bit records can
// overflow. False when the records cannot be read.
bool HoldingsByDay(Statement &records, RecordCheck &check, const std::vector<double> &days,
                   std::vector<double> &holdings, std::vector<HeldLot> &lots)
{
    const int n = static_cast<int>(days.size()) - 1;
    holdings.assign(std::max(n, 0) + 1, 0.0);
    lots.clear();
    std::vector<__int128> change(std::max(n, 0) + 2, 0);
    while (records.Next()) {
        if (!check.Counts(records))
            continue;
        // A record counts from its buy day up to the day before its sell day; a date that is no
        // trading day stands for the first trading day after it, for the buy and the sell alike.
        const double bdate = records.Double(6);
        const int from = bdate <= days[1] ? 1 : DayIndexOnOrAfter(days, bdate);
        const int to = records.Double(3) <= 0 ? n : DayIndexOnOrAfter(days, records.Double(7)) - 1;
        if (from <= to) {
            const long long num = RecordCheck::Shares(records);
            change[from] += num;
            change[to + 1] -= num;
            lots.push_back({from, to, static_cast<long double>(records.Double(2)) * num});
        }
    }
    __int128 held = 0;
    for (int i = 1; i <= n; ++i)
        holdings[i] = static_cast<double>(held += change[i]);
    return records.ok();
}

// The holdings of code per day and the lots held (HoldingsByDay), read from the records over conn.
bool ReadHoldings(DbConnection &conn, const QString &code, const std::vector<double> &days,
                  std::vector<double> &holdings, std::vector<HeldLot> &lots)
{
    RecordCheck check;
    Statement records(conn, kHoldingsSql);
    records.Bind(1, code).Bind(2, days[1]);
    return HoldingsByDay(records, check, days, holdings, lots);
}

// Market value of one stock per day, from its price table; see CalcMarketValueByDay (today is the
// day valued at livePrice, lots the records held, for the days valued at cost). False when the prices
// cannot be read (logged): a value of 0 would then be taken for the stock's worth.
bool ValueByDay(DbConnection &conn, PriceTables &tables, const QString &code, const std::vector<double> &days,
                const std::vector<double> &holdings, const std::vector<HeldLot> &lots, double livePrice, double today,
                std::vector<double> &value)
{
    const int n = static_cast<int>(days.size()) - 1;
    value.assign(std::max(n, 0) + 1, 0.0);
    int firstHeld = 1;
    while (firstHeld <= n && holdings[firstHeld] < 1)
        ++firstHeld;
    int lastHeld = n;
    while (lastHeld >= firstHeld && holdings[lastHeld] < 1)
        --lastHeld;
    if (firstHeld > lastHeld)
        return true;
    // A day without a close on or before it (a stock new to the data service, or one it does not
    // know) shows no loss that is not there: it is valued at what the records held cost, today at
    // the live price when there is one. The costs are summed only for a stock that has such days.
    std::vector<double> costs;
    auto valueOf = [&](int i, bool haveClose, double close) {
        if (days[i] == today && livePrice != 0)
            return RoundHalfEven(holdings[i] * livePrice, 2);
        if (haveClose)
            return RoundHalfEven(holdings[i] * close, 2);
        if (costs.empty())
            costs = CostsByDay(lots, n);
        return RoundHalfEven(costs[i], 2);
    };
    const auto table = tables.Find(code);
    if (!table) {
        if (!tables.ok())
            return false;
        for (int i = firstHeld; i <= lastHeld; ++i)
            if (holdings[i] >= 1)
                value[i] = valueOf(i, false, 0);
        return true;
    }
    // The closes from the newest one before the first day held up to the last day held; without a
    // close before it, from the first stored row on. Read in the order of the days, the rows are
    // found one after the other.
    Statement prices(conn, QStringLiteral("SELECT trdat,clprice FROM \"%1\" WHERE trdat>=IFNULL((SELECT MAX(trdat) "
                                          "FROM \"%1\" WHERE trdat<?1),?1) AND trdat<?2 ORDER BY trdat")
                               .arg(*table));
    prices.Bind(1, days[firstHeld]).Bind(2, days[lastHeld] + 1);
    bool more = prices.Next();
    bool haveClose = false;
    double close = 0;
    for (int i = firstHeld; i <= lastHeld; ++i) {
        if (holdings[i] < 1)
            continue;
        // The day's own close, else the close before it (a suspended day); a close that is no
        // finite number is passed over like a missing day.
        for (; more && std::floor(prices.Double(0)) <= days[i]; more = prices.Next()) {
            if (std::isfinite(prices.Double(1))) {
                close = prices.Double(1);
                haveClose = true;
            }
        }
        value[i] = valueOf(i, haveClose, close);
    }
    prices.Reset();
    return prices.ok();
}

// Cash per day: every buy and every sell dated from `since` on counts on the first trading day on or
// after its date (a trade dated before days(1) on days(1)); see CalcCashByDay. The amounts are summed
// in the widest floating type, so no number of finite amounts can overflow the sum. False when the
// records cannot be read.
bool CashByDay(DbConnection &conn, RecordCheck &check, double &startCash, const std::vector<double> &days,
               double since, std::vector<double> &cash)
{
    const int n = static_cast<int>(days.size()) - 1;
    cash.assign(std::max(n, 0) + 1, 0.0);
    if (n < 1)
        return true;
    std::vector<long double> change(n + 2, 0.0L);
    Statement buys(conn,
                   QStringLiteral("SELECT ") + kCheckedColumns + QStringLiteral(",bdate FROM account WHERE bdate>=?1"));
    buys.Bind(1, since);
    while (buys.Next())
        if (check.Counts(buys))
            change[DayIndexOnOrAfter(days, buys.Double(6))] -= buys.Double(4);
    Statement sells(conn, QStringLiteral("SELECT ") + kCheckedColumns +
                              QStringLiteral(",sdate FROM account WHERE sdate>=?1 AND sprice>0"));
    sells.Bind(1, since);
    while (sells.Next())
        if (check.Counts(sells))
            change[DayIndexOnOrAfter(days, sells.Double(6))] += sells.Double(5);
    if (!buys.ok() || !sells.ok())
        return false;
    // Trades dated after the last day (change[n + 1]) count when their day comes.
    long double running = startCash;
    for (int i = 1; i <= n; ++i) {
        running += change[i];
        cash[i] = RoundHalfEven(static_cast<double>(running), 2);
    }
    startCash = static_cast<double>(running);
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
    const double today = MarketTodayDayNumber();
    if (QuoteListDate() < today)
        UpdateRealtimeQuotes();

    // The values of all stocks per day, summed in the widest floating type.
    std::vector<long double> totalValue(n + 1, 0.0L);
    PriceTables tables(conn);
    if (!tables.ok())
        return;
    RecordCheck check;
    Statement records(conn, kHoldingsSql);
    std::vector<double> holdings;
    std::vector<HeldLot> lots;
    std::vector<double> value;
    for (const QString &code : codes) {
        records.Bind(1, code).Bind(2, first);
        if (!HoldingsByDay(records, check, days, holdings, lots))
            return;
        // Only today's value needs the live price.
        const double livePrice = days[n] == today && holdings[n] >= 1 ? GetRealtimePrice(code) : 0.0;
        if (!ValueByDay(conn, tables, code, days, holdings, lots, livePrice, today, value))
            return;
        for (int i = 1; i <= n; ++i)
            totalValue[i] += value[i];
        if (showProgress)
            StepIndicator(1, QStringLiteral("pages"), QString());
    }
    if (showProgress)
        StepIndicator(1, QStringLiteral("pages"), QString());
    std::vector<double> cash;
    if (!CashByDay(conn, check, startCash, days, since, cash))
        return;
    // A row holds doubles: sums beyond them are not written as infinities.
    std::vector<double> stockValue(n + 1, 0.0);
    for (int i = 1; i <= n; ++i) {
        stockValue[i] = static_cast<double>(totalValue[i]);
        if (!std::isfinite(stockValue[i]) || !std::isfinite(cash[i]) || !std::isfinite(stockValue[i] + cash[i])) {
            LogDbError(MakeDbError(
                QStringLiteral("the assets of %1 exceed the numbers a row can hold").arg(DateText(days[i]))));
            return;
        }
    }

    // The status line lets events through: shown before the rows are replaced, which then happens in
    // one transaction without a break, so a failure leaves the table as it was.
    ShowStatusText(QStringLiteral("正在保存市值/资产表......"));
    bool ok = conn.Begin();
    if (!ok)
        LogDbError(conn.lastError, QStringLiteral("BEGIN IMMEDIATE"));
    ok = ok && ExecSql(QStringLiteral("DELETE * FROM DeelRes WHERE dat>=") + SqlDateLiteral(first), &conn);
    {
        Statement insert(conn, QStringLiteral("INSERT INTO DeelRes(dat,cash,scash,sm) VALUES(?1,?2,?3,?4)"));
        for (int i = 1; ok && i <= n; ++i)
            ok = insert.Bind(1, days[i]).Bind(2, cash[i]).Bind(3, stockValue[i]).Bind(4, stockValue[i] + cash[i]).Run();
    }
    if (ok && !conn.Commit()) {
        LogDbError(conn.lastError, QStringLiteral("COMMIT"));
        ok = false;
    }
    if (!ok)
        conn.Rollback();
    // The text names the saving: it ends with it.
    ShowStatusText(QString());
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
    RecordCheck check;
    if (OpenConn(conn))
        CashByDay(conn, check, startCash, days, days[1], cash);
    return cash;
}

std::vector<double> CalcHoldingsByDay(const QString &code, const std::vector<double> &days)
{
    std::vector<double> holdings(days.size(), 0.0);
    if (days.size() < 2)
        return holdings;
    DbConnection conn;
    std::vector<HeldLot> lots;
    if (OpenConn(conn))
        ReadHoldings(conn, code, days, holdings, lots);
    return holdings;
}

std::vector<double> CalcMarketValueByDay(const QString &code, const std::vector<double> &days,
                                         const std::vector<double> &holdings, double livePrice)
{
    std::vector<double> value(days.size(), 0.0);
    if (days.size() < 2 || holdings.size() < days.size())
        return value;
    DbConnection conn;
    if (!OpenConn(conn))
        return value;
    std::vector<double> held;
    std::vector<HeldLot> lots;
    ReadHoldings(conn, code, days, held, lots);
    PriceTables tables(conn);
    if (!ValueByDay(conn, tables, code, days, holdings, lots, livePrice, MarketTodayDayNumber(), value))
        value.assign(days.size(), 0.0);
    return value;
}
