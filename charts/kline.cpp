// K线图: the K-line chart's data: bars, trades and series.
#include "kline.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "charts/kline_draw.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "records/calc.h"
#include "storage/arrays.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/params.h"

namespace {

struct KLineState {
    KLineRecord record;
    std::vector<double> positionSeries;
    std::vector<double> costSeries;
    double positionCost = 0;
    // What the series were last built for; a redraw may skip building them only while these match.
    QString seriesCode;
    int seriesBars = -1;
    Picture *picture = nullptr;
};

KLineState &State()
{
    static KLineState s;
    return s;
}

// A sum kept in whole yuan or shares: rounded to the nearest whole number, halves to even, in 64 bits
// so that large books do not overflow.
int64_t WholeOf(double v)
{
    constexpr double kLimit = 9.0e18;
    if (!(v > -kLimit))
        return static_cast<int64_t>(-kLimit);
    if (!(v < kLimit))
        return static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(std::nearbyint(v));
}

int32_t Int32Of(const Value &v)
{
    return ClngOf(v.ToDouble()).value_or(0);
}

// Brings the window and the crosshair into 1..n again.
void ClampWindow(KLineRecord &k)
{
    const int n = k.BarCount();
    ClampToRange(k.FirstBar, 1, n);
    ClampToRange(k.LastBar, 1, n);
    ClampToRange(k.CurBar, 1, n);
}

void ResizeBars(KLineRecord &k, size_t size)
{
    for (std::vector<double> *a : {&k.BarDate, &k.BarOpen, &k.BarClose, &k.BarHigh, &k.BarLow, &k.BarNum, &k.BarSum})
        a->assign(size, 0.0);
}

// The window's end from the newest bar n and a parameter counting bars back from it.
int WindowEnd(int n, const QString &key, const QString &defaultValue, int kept)
{
    const auto back = ClngOf(LeadingNumber(GetParam(key, defaultValue)));
    if (!back)
        return kept;
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(n) - *back, INT_MIN, INT_MAX));
}

// The step a price scale is rounded at near price: 0.01 yuan under one yuan, else 0.1 yuan.
double ScaleStep(double price)
{
    return std::fabs(price) < 1 ? 0.01 : 0.1;
}

// x rounded up (or down) to a whole number of steps, to the cent. A product such as 0.20 × 1.05, a
// hair above 0.21 in binary, stays 0.21.
double RoundOutward(double x, double step, bool up)
{
    constexpr double kNoise = 1e-9;
    const double steps = x / step;
    return RoundHalfEven((up ? std::ceil(steps - kNoise) : std::floor(steps + kNoise)) * step, 2);
}

// True when the whole text reads as a number.
bool IsNumberText(const QString &text)
{
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

}  // namespace

KLineRecord &KLineData()
{
    return State().record;
}

std::vector<double> &PositionSeries()
{
    return State().positionSeries;
}

std::vector<double> &CostSeries()
{
    return State().costSeries;
}

double &PositionCost()
{
    return State().positionCost;
}

void ResetKLineData()
{
    Picture *pic = State().picture;
    State() = KLineState{};
    State().picture = pic;
}

void SetKLinePicture(Picture *pic)
{
    State().picture = pic;
}

Picture *KLinePicture()
{
    return State().picture;
}

void ResetKLineChart()
{
    if (Picture *pic = State().picture)
        pic->Tag.clear();
    State().record.Code.clear();
}

void ShowKLine(const QString &textIn)
{
    Picture *pic = State().picture;
    if (!pic || !(pic->Height() > 60 && pic->Width() > 60))
        return;
    QString text = textIn;
    if (!text.isEmpty()) {
        if (text == pic->Tag)
            return;
        pic->Tag = text;
    } else {
        text = pic->Tag;
    }
    const QString code = text.size() == 6 ? text : text.mid(1, 6);
    if (!IsNumberText(code))
        return;

    KLineRecord &k = KLineData();
    if (code != k.Code) {
        k.Code = code;
        // Bars and trades are new: series built before belong to what was loaded then.
        State().seriesCode.clear();
        const long sid = static_cast<long>(
            GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code=") + SqlQuote(code), QStringLiteral("id"),
                          MakeEmpty())
                .ToDouble());
        DownloadStockHistory(sid, code);
        LoadTradeMarks(k, true);
        int count = 0;
        const auto table = HistoryTableName(code);
        if (k.TradeCount() >= 1 && table)
            count = CountRecords(*table, QStringLiteral("trdat>=") + SqlDateLiteral(k.BuyDate[1]));
        if (count < 200)
            count = 200;
        LoadKLineBars(code, sid, k, count, QString(), -1);
        const int n = k.BarCount();
        k.FirstBar = WindowEnd(n, QStringLiteral("KLineStart"), QStringLiteral("60"), k.FirstBar);
        k.LastBar = WindowEnd(n, QStringLiteral("KLineEnd"), QStringLiteral("0"), k.LastBar);
    }
    ClampToRange(k.FirstBar, 1, k.BarCount());
    ClampToRange(k.LastBar, 1, k.BarCount());
    if (k.BarCount() >= 1) {
        UpdateTodayBar(k);
        // Today's bar may just have gone, and the window with it.
        ClampWindow(k);
    }
    const int n = k.BarCount();
    if (n < 1) {
        // A stock without history: its title over an empty chart, not the last stock's candles.
        DrawEmptyKLine(*pic);
        return;
    }
    PositionCost() = CalcPositionCostPrice(k);
    FitKLineScale(k);
    // The series are left as they are only while they are hidden (both curve colours equal the
    // background) and still those of this stock's bars: the read-out reads them even then.
    const bool shown = GetKLineColor(12) != pic->BackColor || GetKLineColor(13) != pic->BackColor;
    const bool current = State().seriesCode == code && State().seriesBars == n;
    if (shown || !current) {
        if (IsIndexCode(code)) {
            LoadAccountPositionSeries();
            CostSeries().assign(static_cast<size_t>(n) + 1, 0.0);
        } else {
            LoadStockPositionSeries(code);
        }
        State().seriesCode = code;
        State().seriesBars = n;
    }
    DrawTradeKLine(*pic);
}

void FitKLineScale(KLineRecord &k)
{
    GetPriceRange(k, k.MaxPrice, k.MinPrice, k.FirstBar, k.LastBar, false);
    if (PositionCost() != 0) {
        k.MaxPrice = std::max(k.MaxPrice, PositionCost());
        k.MinPrice = std::min(k.MinPrice, PositionCost());
    }
}

void LoadKLineBars(const QString &code, long sid, KLineRecord &k, int count, const QString &text, double fromDate)
{
    Q_UNUSED(sid);
    int n = QueryHistoryBars(k, code, count, fromDate, false);
    if (!text.isEmpty() || !IsTradingTime(false))
        return;
    // Today's bar is made of the quote: without a price for the stock (not in the quote cache, or
    // no trade yet) it would stand at 0 and stretch the scale down to 0.
    const int q = QuoteIndexOf(code);
    if (q < 0 || !(QuotePrice(q) > 0))
        return;
    const double today = MarketTodayDayNumber();
    // A price table that already holds today's row has its bar of today.
    if (n >= 1 && k.BarDate[static_cast<size_t>(n)] >= today)
        return;
    ++n;
    for (std::vector<double> *a : {&k.BarDate, &k.BarOpen, &k.BarClose, &k.BarHigh, &k.BarLow, &k.BarNum, &k.BarSum})
        a->resize(static_cast<size_t>(n) + 1, 0.0);
    k.BarDate[static_cast<size_t>(n)] = today;
}

int QueryHistoryBars(KLineRecord &k, const QString &code, int count, double fromDate, bool skipVolume)
{
    ResizeBars(k, 0);
    const auto table = HistoryTableName(code);
    if (!table)
        return 0;
    QString sql = QStringLiteral("SELECT ");
    if (count >= 1)
        sql += QStringLiteral("TOP ") + QString::number(count);
    sql += QStringLiteral(" * FROM ") + *table;
    if (fromDate > kEmptyDate)
        sql += QStringLiteral(" WHERE trdat>=") + SqlDateLiteral(fromDate);
    sql += QStringLiteral(" ORDER BY trdat DESC");

    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql)) {
        CloseRs(conn, rs);
        return 0;
    }
    const int n = rs.RecordCount();
    ResizeBars(k, static_cast<size_t>(n) + 1);
    if (n > 0) {
        rs.MoveLast();
        k.MaxPrice = rs.Field(QStringLiteral("mxprice")).ToDouble();
        k.MinPrice = rs.Field(QStringLiteral("mnprice")).ToDouble();
        for (int i = 1; i <= n; ++i) {
            const auto at = static_cast<size_t>(i);
            k.BarDate[at] = rs.Field(QStringLiteral("trdat")).ToDouble();
            k.BarOpen[at] = RoundHalfEven(rs.Field(QStringLiteral("opprice")).ToDouble(), 2);
            k.BarClose[at] = RoundHalfEven(rs.Field(QStringLiteral("clprice")).ToDouble(), 2);
            k.BarHigh[at] = RoundHalfEven(rs.Field(QStringLiteral("mxprice")).ToDouble(), 2);
            k.BarLow[at] = RoundHalfEven(rs.Field(QStringLiteral("mnprice")).ToDouble(), 2);
            k.MaxPrice = std::max(k.MaxPrice, k.BarHigh[at]);
            k.MinPrice = std::min(k.MinPrice, k.BarLow[at]);
            if (!skipVolume) {
                k.BarNum[at] = rs.Field(QStringLiteral("num")).ToDouble();
                k.BarSum[at] = rs.Field(QStringLiteral("sm")).ToDouble();
            }
            rs.MovePrevious();
        }
    }
    CloseRs(conn, rs);
    return n;
}

bool UpdateTodayBar(KLineRecord &k)
{
    const int u = k.BarCount();
    if (u < 1)
        return false;
    const auto at = static_cast<size_t>(u);
    if (k.BarDate[at] >= MarketTodayDayNumber()) {
        const int q = QuoteIndexOf(k.Code);
        if (q < 0)
            return false;
        k.BarOpen[at] = QuoteOpen(q);
        k.BarClose[at] = QuotePrice(q);
        k.BarHigh[at] = QuoteHigh(q);
        k.BarLow[at] = QuoteLow(q);
        if (k.BarHigh[at] == 0 && k.BarLow[at] == 0) {
            for (std::vector<double> *a : {&k.BarDate, &k.BarOpen, &k.BarClose, &k.BarHigh, &k.BarLow})
                a->resize(at);
        }
    }
    return true;
}

void LoadTradeMarks(KLineRecord &k, bool withQuantities)
{
    const QString sql = QStringLiteral("SELECT * FROM account WHERE code=") + SqlQuote(k.Code) +
                        QStringLiteral(" ORDER BY bdate");
    DbConnection conn;
    RecordSet rs;
    const bool opened = OpenRs(conn, rs, sql);
    // A failed query leaves no trades rather than those of the stock shown before.
    const size_t size = opened && rs.RecordCount() > 0 ? static_cast<size_t>(rs.RecordCount()) + 1 : 0;
    for (std::vector<double> *a : {&k.BuyDate, &k.BuyPrice, &k.SellDate, &k.SellPrice})
        a->assign(size, 0.0);
    if (withQuantities)
        k.BuyNum.assign(size, 0);
    for (size_t j = 1; j < size; ++j) {
        k.BuyDate[j] = rs.Field(QStringLiteral("bdate")).ToDouble();
        const double sprice = rs.Field(QStringLiteral("sprice")).ToDouble();
        if (sprice > 0)
            k.SellDate[j] = rs.Field(QStringLiteral("sdate")).ToDouble();
        k.BuyPrice[j] = rs.Field(QStringLiteral("bprice")).ToDouble();
        k.SellPrice[j] = sprice;
        if (withQuantities)
            k.BuyNum[j] = Int32Of(rs.Field(QStringLiteral("num")));
        rs.MoveNext();
    }
    CloseRs(conn, rs);
}

void GetPriceRange(const KLineRecord &k, double &max, double &min, int first, int last, bool skipZero)
{
    if (first < 0 || last < 0) {
        max = k.MaxPrice;
        min = k.MinPrice;
        return;
    }
    double ignored = 0;
    double high = 0;
    double low = 0;
    ArrayMinMax(k.BarHigh, high, ignored, first, last, skipZero);
    ArrayMinMax(k.BarLow, ignored, low, first, last, skipZero);
    max = RoundHalfEven(high * 1.05, 1);
    min = RoundHalfEven(low * 0.95, 1);
    // Under one yuan the tenth of a yuan can round an end past its bar (0.59 × 0.95 gives 0.6) or both
    // ends onto one price (0.18 to 0.20 gives 0.2 and 0.2): such an end is rounded outward at a step
    // that suits its price instead.
    if (max < high || !(max > min))
        max = RoundOutward(high * 1.05, ScaleStep(high), true);
    if (min > low || !(max > min))
        min = RoundOutward(low * 0.95, ScaleStep(low), false);
    // Bars without prices (all 0) still get a scale.
    if (!(max > min))
        max = min + ScaleStep(min);
}

double CalcPositionCostPrice(const KLineRecord &k)
{
    const int n = k.TradeCount();
    bool allSold = true;
    for (int j = 1; j <= n && allSold; ++j)
        allSold = k.SellPrice[static_cast<size_t>(j)] != 0;
    double total = 0;
    int64_t shares = 0;
    for (int j = 1; j <= n; ++j) {
        const auto at = static_cast<size_t>(j);
        const int32_t q = at < k.BuyNum.size() ? k.BuyNum[at] : 0;
        const double b = k.BuyPrice[at];
        const double s = k.SellPrice[at];
        if (allSold) {
            total += q * b + CalcTradeFee(q, 2, b, s, 0);
            shares += q;
        } else if (s <= 0) {
            total += q * b + CalcTradeFee(q, 2, b, b, 0);
            shares += q;
        } else {
            // A sold record's net result lowers the cost of the shares still held.
            total += q * b - q * s + CalcTradeFee(q, 2, b, s, 0);
        }
    }
    if (shares < 1)
        return 0;
    return RoundHalfEven(total / static_cast<double>(shares), 3);
}

void LoadStockPositionSeries(const QString &code)
{
    const KLineRecord &k = KLineData();
    const int n = k.BarCount();
    if (n < 1)
        return;
    std::vector<double> &position = PositionSeries();
    std::vector<double> &cost = CostSeries();
    position.assign(static_cast<size_t>(n) + 1, 0.0);
    cost.assign(static_cast<size_t>(n) + 1, 0.0);

    // Each pass walks the records in date order beside the bars, adding what happened up to each
    // bar's day: the buys with their round-trip fees at the buy price, then the sells' proceeds.
    const QString quoted = SqlQuote(code);
    struct Pass {
        QString sql;
        QString dateField;
        QString priceField;
        double sign;
    };
    const Pass passes[] = {
        {QStringLiteral("SELECT * FROM account WHERE code=") + quoted + QStringLiteral(" ORDER by bdate"),
         QStringLiteral("bdate"), QStringLiteral("bprice"), 1.0},
        {QStringLiteral("SELECT * FROM account WHERE code=") + quoted + QStringLiteral(" AND sprice>0 ORDER by sdate"),
         QStringLiteral("sdate"), QStringLiteral("sprice"), -1.0},
    };
    for (const Pass &pass : passes) {
        DbConnection conn;
        RecordSet rs;
        if (!OpenRs(conn, rs, pass.sql)) {
            CloseRs(conn, rs);
            break;
        }
        int64_t shares = 0;
        int64_t money = 0;
        for (int i = 1; i <= n; ++i) {
            const auto at = static_cast<size_t>(i);
            while (!rs.AtEOF() && rs.Field(pass.dateField).ToDouble() <= k.BarDate[at]) {
                const int32_t num = Int32Of(rs.Field(QStringLiteral("num")));
                const double price = rs.Field(pass.priceField).ToDouble();
                const double fee = pass.sign > 0 ? CalcTradeFee(num, 2, price, price, 0) : 0.0;
                shares = WholeOf(static_cast<double>(shares) + num);
                money = WholeOf(static_cast<double>(money) + num * price + fee);
                rs.MoveNext();
            }
            position[at] += pass.sign * static_cast<double>(shares);
            cost[at] += pass.sign * static_cast<double>(money);
        }
        CloseRs(conn, rs);
    }
    for (int i = 1; i <= n; ++i) {
        const auto at = static_cast<size_t>(i);
        cost[at] = position[at] == 0 ? 0 : RoundHalfEven(cost[at] / position[at], 3);
    }
}

void LoadAccountPositionSeries()
{
    const KLineRecord &k = KLineData();
    const int n = k.BarCount();
    std::vector<double> &position = PositionSeries();
    position.assign(n >= 1 ? static_cast<size_t>(n) + 1 : 0, 0.0);
    if (n < 1)
        return;
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, QStringLiteral("SELECT * FROM DeelRes ORDER by dat"))) {
        CloseRs(conn, rs);
        return;
    }
    double current = 0;
    for (int i = 1; i <= n; ++i) {
        const auto at = static_cast<size_t>(i);
        while (!rs.AtEOF() && rs.Field(QStringLiteral("dat")).ToDouble() <= k.BarDate[at]) {
            const double scash = rs.Field(QStringLiteral("scash")).ToDouble();
            const double sm = rs.Field(QStringLiteral("sm")).ToDouble();
            // A day with market value but no total assets cannot give a share of them.
            if (scash > 0 && sm != 0)
                current = RoundHalfEven(scash / sm * 100, 2);
            rs.MoveNext();
        }
        position[at] = current;
    }
    CloseRs(conn, rs);
}
