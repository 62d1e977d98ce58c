// 计算函数 (per-day assets): rebuilding the table DeelRes.
#include "deelres.h"

#include <algorithm>
#include <cmath>

#include "market/calendar.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/busy_guard.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/sys_params.h"

namespace {

// The index 1..n of the first trading day on or after d; n + 1 when d is after the last day.
int DayIndexOnOrAfter(const std::vector<double> &days, double d)
{
    const double day = std::floor(d);
    return static_cast<int>(std::lower_bound(days.begin() + 1, days.end(), day) - days.begin());
}

// The stock id the data service knows a code by (companyinfo.id), 0 when the code is not listed.
long StockIdOf(const QString &code)
{
    return static_cast<long>(
        GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code=") + SqlQuote(code), QStringLiteral("id"),
                      MakeLong(0))
            .ToDouble());
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

// One recomputation from startDate.
void RecalcOnce(double startDate, bool showProgress)
{
    if (showProgress)
        ShowIndicator(QStringLiteral("正在重新统计资产......"), 1);
    const std::vector<double> days = GetTradeDates(startDate);
    const int n = static_cast<int>(days.size()) - 1;
    if (n < 1) {
        if (showProgress)
            HideIndicator();
        return;
    }
    const double first = days[1];
    double cashRunning = GetCashBefore(first - 1);
    std::vector<double> totalValue(n + 1, 0.0);

    const QString firstLit = SqlDateLiteral(first);
    const QStringList codes =
        GetGroupList(QStringLiteral("account"), QStringLiteral("code"),
                     QStringLiteral("bdate>=") + firstLit + QStringLiteral(" OR sdate>=") + firstLit +
                         QStringLiteral(" OR sprice=0"));
    if (showProgress)
        ShowIndicator(QStringLiteral("正在重新计算股票市值/资产表......"), codes.size());
    if (QuoteListDate() <= DayNumberOf(ClockToday()))
        UpdateRealtimeQuotes();
    for (int k = 1; k < codes.size(); ++k) {
        const QString &code = codes[k];
        const std::vector<long> holdings = CalcHoldingsByDay(code, days);
        const std::vector<double> value = CalcMarketValueByDay(code, days, holdings, GetRealtimePrice(code));
        for (int i = 1; i <= n; ++i)
            totalValue[i] += value[i];
        if (showProgress)
            StepIndicator(1, QStringLiteral("pages"), QString());
    }
    if (showProgress)
        StepIndicator(1, QStringLiteral("pages"), QString());
    const std::vector<double> cash = CalcCashByDay(cashRunning, days);

    // The rows of the range are replaced in one transaction: a failure leaves the table as it was.
    ShowStatusText(QStringLiteral("正在保存市值/资产表......"));
    DbConnection conn;
    if (OpenConn(conn) && conn.Begin()) {
        const QString del = QStringLiteral("DELETE * FROM DeelRes WHERE dat>=") + firstLit;
        bool ok = ExecSql(del, &conn);
        RecordSet rs;
        const QString sel = QStringLiteral("SELECT * FROM DeelRes WHERE FALSE");
        ok = ok && rs.Open(conn, sel);
        if (!ok && !conn.lastError.failed())
            LogDbError(conn.lastError, sel);
        for (int i = 1; ok && i <= n; ++i) {
            ok = rs.AddNew() && rs.Set(QStringLiteral("dat"), MakeDate(days[i])) &&
                 rs.Set(QStringLiteral("cash"), MakeDouble(cash[i])) &&
                 rs.Set(QStringLiteral("scash"), MakeDouble(totalValue[i])) &&
                 rs.Set(QStringLiteral("sm"), MakeDouble(totalValue[i] + cash[i])) && rs.Update();
            if (!ok)
                LogDbError(rs.lastError, sel);
        }
        rs.Close();
        if (!ok || !conn.Commit()) {
            if (ok)
                LogDbError(conn.lastError, QStringLiteral("COMMIT"));
            conn.Rollback();
        }
    }
    if (showProgress)
        HideIndicator();
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
    const int n = static_cast<int>(days.size()) - 1;
    std::vector<double> cash(std::max(n, 0) + 1, 0.0);
    if (n < 1)
        return cash;
    // Changes of cash per day; a trade dated on a non-trading day counts on the next trading day.
    std::vector<double> delta(n + 2, 0.0);
    const QString firstLit = SqlDateLiteral(days[1]);
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT bdate,bcash FROM account WHERE bdate>=") + firstLit +
                             QStringLiteral(" ORDER BY bdate"))) {
        for (; !rs.AtEOF(); rs.MoveNext())
            delta[DayIndexOnOrAfter(days, rs.Field(QStringLiteral("bdate")).ToDouble())] -=
                rs.Field(QStringLiteral("bcash")).ToDouble();
    }
    if (OpenRs(conn, rs, QStringLiteral("SELECT sdate,scash FROM account WHERE sdate>=") + firstLit +
                             QStringLiteral(" AND sprice>0 ORDER BY sdate"))) {
        for (; !rs.AtEOF(); rs.MoveNext())
            delta[DayIndexOnOrAfter(days, rs.Field(QStringLiteral("sdate")).ToDouble())] +=
                rs.Field(QStringLiteral("scash")).ToDouble();
    }
    CloseRs(conn, rs);
    for (int i = 1; i <= n; ++i) {
        startCash += delta[i];
        cash[i] = RoundHalfEven(startCash, 2);
    }
    return cash;
}

std::vector<long> CalcHoldingsByDay(const QString &code, const std::vector<double> &days)
{
    const int n = static_cast<int>(days.size()) - 1;
    std::vector<long> holdings(std::max(n, 0) + 1, 0);
    if (n < 1)
        return holdings;
    const QString firstLit = SqlDateLiteral(days[1]);
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT bdate,sdate,sprice,num FROM account WHERE code=") + SqlQuote(code) +
                             QStringLiteral(" AND (sprice<=0 OR bdate>=") + firstLit + QStringLiteral(" OR sdate>=") +
                             firstLit + QStringLiteral(")"))) {
        for (; !rs.AtEOF(); rs.MoveNext()) {
            const double bdate = rs.Field(QStringLiteral("bdate")).ToDouble();
            const int from = bdate <= days[1] ? 1 : DayIndexOnOrAfter(days, bdate);
            const int to = rs.Field(QStringLiteral("sprice")).ToDouble() <= 0
                               ? n
                               : DayIndexOnOrAfter(days, rs.Field(QStringLiteral("sdate")).ToDouble()) - 1;
            const long num = static_cast<long>(rs.Field(QStringLiteral("num")).ToDouble());
            for (int i = from; i <= std::min(to, n); ++i)
                holdings[i] += num;
        }
    }
    CloseRs(conn, rs);
    return holdings;
}

std::vector<double> CalcMarketValueByDay(const QString &code, const std::vector<double> &days,
                                         const std::vector<long> &holdings, double livePrice)
{
    const int n = static_cast<int>(days.size()) - 1;
    std::vector<double> value(std::max(n, 0) + 1, 0.0);
    const auto table = HistoryTableName(code);
    if (n < 1 || !table)
        return value;
    if (!TableExists(*table))
        DownloadStockHistory(StockIdOf(code), code);
    // From the newest close before the range; without one, from the first stored row (days before
    // it have no close and are valued at 0).
    const Value lastBefore = GetFieldValue(*table, QStringLiteral("trdat<") + SqlDateLiteral(days[1]) +
                                                       QStringLiteral(" ORDER BY trdat DESC"),
                                           QStringLiteral("trdat"), MakeEmpty());
    QString sql = QStringLiteral("SELECT trdat,clprice FROM ") + *table;
    if (lastBefore.IsDate() || lastBefore.IsNumeric())
        sql += QStringLiteral(" WHERE trdat>=") + SqlDateLiteral(lastBefore.ToDouble());
    sql += QStringLiteral(" ORDER BY trdat ASC");
    struct Close {
        double day, price;
    };
    std::vector<Close> rows;
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, sql)) {
        rows.reserve(rs.RecordCount());
        for (; !rs.AtEOF(); rs.MoveNext())
            rows.push_back({std::floor(rs.Field(QStringLiteral("trdat")).ToDouble()),
                            rs.Field(QStringLiteral("clprice")).ToDouble()});
    }
    CloseRs(conn, rs);

    const double today = DayNumberOf(ClockToday());
    size_t p = 0;
    for (int i = 1; i <= n; ++i) {
        if (holdings[i] < 1)
            continue;
        const double day = std::floor(days[i]);
        while (p < rows.size() && rows[p].day < day)
            ++p;
        // The day's own close, else the close before it; none before the first stored row.
        const Close *taken = nullptr;
        if (p < rows.size() && rows[p].day == day)
            taken = &rows[p];
        else if (p > 0)
            taken = &rows[p - 1];
        const double close = taken ? taken->price : 0.0;
        double price = close;
        if (day == today && livePrice != 0)
            price = livePrice;
        value[i] = RoundHalfEven(static_cast<double>(holdings[i]) * price, 2);
    }
    return value;
}
