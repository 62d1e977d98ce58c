// 炒股资产变化比较图: the data, scale, keys and read-out of the asset-versus-index chart.
#include "invest_compare.h"

#include <algorithm>
#include <cmath>

#include "charts/kline_draw.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "storage/arrays.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/grid_ops.h"
#include "storage/sys_params.h"

namespace {

constexpr ColorRef kIndexColour = 16777215;
constexpr ColorRef kPositionColour = 65280;
constexpr ColorRef kAssetColour = 255;

// A range (max, min) widened by a tenth of its span at each end, the min from the widened max.
void Widen(double &max, double &min)
{
    max += (max - min) * 0.1;
    min -= (max - min) * 0.1;
}

size_t At(int i)
{
    return static_cast<size_t>(i);
}

// Each day's index close: the close of the day's own date, else the one before it (IndexClose(0)
// before the first index row), then the live value on the last day unless there is none.
void LoadIndexCloses(InvestCompareState &s, const std::vector<double> &days)
{
    const int n = s.N();
    const QString first = s.DayList[1];
    const QString last = s.DayList[n];
    s.IndexClose[0] = GetFieldValue(QStringLiteral("h_1A0001"),
                                    QStringLiteral("trdat<#") + first + QStringLiteral("# ORDER BY trdat DESC"),
                                    QStringLiteral("clprice"), MakeString(QString()))
                          .ToDouble();
    DbConnection conn;
    RecordSet rs;
    const bool opened = OpenRs(conn, rs,
                               QStringLiteral("SELECT * FROM h_1A0001 WHERE trdat>=#") + first +
                                   QStringLiteral("# AND trdat<=#") + last + QStringLiteral("# ORDER BY trdat"));
    double close = s.IndexClose[0];
    for (int i = 1; i <= n; ++i) {
        const double day = IntOf(days[At(i)]);
        while (opened && !rs.AtEOF() && IntOf(rs.Field(QStringLiteral("trdat")).ToDouble()) <= day) {
            close = rs.Field(QStringLiteral("clprice")).ToDouble();
            rs.MoveNext();
        }
        s.IndexClose[At(i)] = close;
    }
    CloseRs(conn, rs);
    const double live = GetRealtimePrice(kCompareIndexCode);
    if (live != 0)
        s.IndexClose[At(n)] = live;
}

// Each day's total assets and invested share, by the date of the asset row.
void LoadAssets(InvestCompareState &s, const std::vector<double> &days)
{
    const int n = s.N();
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT * FROM DeelRes ORDER BY dat"))) {
        int i = 1;
        for (; !rs.AtEOF(); rs.MoveNext()) {
            const double dat = rs.Field(QStringLiteral("dat")).ToDouble();
            while (i <= n && days[At(i)] < dat)
                ++i;
            if (i > n)
                break;
            if (days[At(i)] != dat)
                continue;
            const double sm = rs.Field(QStringLiteral("sm")).ToDouble();
            const double cash = rs.Field(QStringLiteral("cash")).ToDouble();
            s.AssetValue[At(i)] = sm;
            // A day without assets has no share of them invested.
            s.PositionPct[At(i)] = sm == 0 ? 0 : RoundHalfEven(100 - cash / sm * 100, 2);
        }
    }
    CloseRs(conn, rs);
}

}  // namespace

std::array<double, 2> GetDateRange()
{
    std::array<double, 2> range{ReadDateText(QStringLiteral("2100-01-01")).value_or(0),
                                ReadDateText(QStringLiteral("1990-01-01")).value_or(0)};
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT MAX(dat) AS edat,MIN(dat) AS sdat FROM DeelRes")) && !rs.AtEOF()) {
        const Value sdat = rs.Field(QStringLiteral("sdat"));
        const Value edat = rs.Field(QStringLiteral("edat"));
        if (!sdat.IsNull() && !sdat.IsEmpty() && range[0] > sdat.ToDouble())
            range[0] = sdat.ToDouble();
        if (!edat.IsNull() && !edat.IsEmpty() && range[1] < edat.ToDouble())
            range[1] = edat.ToDouble();
    }
    CloseRs(conn, rs);
    return range;
}

void ReadDeelRes(InvestCompareState &s, Picture &pic)
{
    const std::array<double, 2> range = GetDateRange();
    std::vector<Value> values;
    LoadGroupValues(values, QStringLiteral("deelres"), QStringLiteral("dat"),
                    QStringLiteral("dat>=#") + DateText(range[0]) + QStringLiteral("# AND dat<=#") +
                        DateText(range[1]) + QStringLiteral("#"));
    const int n = std::max(static_cast<int>(values.size()) - 1, 0);
    std::vector<double> days(At(n) + 1, 0.0);
    s.DayList = QStringList{QString()};
    for (int i = 1; i <= n; ++i) {
        days[At(i)] = values[At(i)].ToDouble();
        s.DayList.append(DateText(days[At(i)]));
    }
    s.VisibleRange = {1, n};
    for (std::vector<double> *a : {&s.AssetValue, &s.PositionPct, &s.IndexClose, &s.AssetPct, &s.IndexPct,
                                   &s.RelativePct})
        a->assign(At(n) + 1, 0.0);
    s.AssetValue[0] = InitialCapital();
    s.PositionPct[0] = 100;
    if (n >= 1) {
        LoadIndexCloses(s, days);
        LoadAssets(s, days);
    }
    DrawLine(s, pic);
}

bool ComputeComparePercents(InvestCompareState &s)
{
    const auto [first, last] = s.VisibleRange;
    if (first < 1 || last > s.N() || first > last)
        return false;
    const double assetBase = s.AssetValue[At(first)];
    const double indexBase = s.IndexClose[At(first)];
    if (assetBase == 0 || indexBase == 0)
        return false;
    for (int i = first; i <= last; ++i) {
        const size_t k = At(i);
        s.AssetPct[k] = RoundHalfEven(s.AssetValue[k] / assetBase * 100 - 100, 2);
        s.IndexPct[k] = RoundHalfEven(s.IndexClose[k] / indexBase * 100 - 100, 2);
        s.RelativePct[k] = s.AssetPct[k] - s.IndexPct[k];
    }
    return true;
}

std::array<double, 2> CompareScale(const InvestCompareState &s)
{
    const auto [first, last] = s.VisibleRange;
    double max = 0, min = 0;
    ArrayMinMax(s.AssetPct, max, min, first, last);
    Widen(max, min);
    double max2 = max, min2 = min;
    ArrayMinMax(s.IndexPct, max2, min2, first, last);
    max = std::max(max, max2);
    min = std::min(min, min2);
    Widen(max, min);
    return {max, min};
}

std::array<CompareCurve, 3> CompareCurves(const InvestCompareState &s, int heightTw)
{
    const auto [max, min] = CompareScale(s);
    const double positionTop = 0.8 * heightTw / Picture::kTwipsPerPixel;
    return {CompareCurve{&s.IndexPct, kIndexColour, max, min, 0},
            CompareCurve{&s.PositionPct, kPositionColour, 100, -5, positionTop},
            CompareCurve{&s.AssetPct, kAssetColour, max, min, 0}};
}

void DrawLine(InvestCompareState &s, Picture &pic)
{
    pic.Cls();
    if (!ComputeComparePercents(s)) {
        pic.Refresh();
        return;
    }
    const auto [first, last] = s.VisibleRange;
    for (const CompareCurve &c : CompareCurves(s, pic.Height()))
        DrawChartCurve(pic, *c.series, -1, c.top, 0, c.colour, c.max, c.min, 0, first, last, 0, 0, {}, true, false);
}

bool MoveVisibleRange(int &first, int &last, int n, int keyCode, int shift)
{
    if (keyCode < 37 || keyCode > 40 || n < 1)
        return false;
    const int step = std::max(static_cast<int>(std::abs((last - first) / 20.0)), 1);
    const int d = shift == 1 ? step : 1;
    switch (keyCode) {
    case 37:
        if (first > 1) {
            first -= d;
            last -= d;
        }
        break;
    case 38:
        first -= d;
        last += d;
        break;
    case 39:
        if (last < n) {
            first += d;
            last += d;
        }
        break;
    default:
        first += d;
        last -= d;
        break;
    }
    ClampToRange(first, 1, n);
    ClampToRange(last, 1, n);
    OrderPair(last, first);
    return true;
}

std::optional<QString> CompareReadout(const InvestCompareState &s, double x, int widthTw)
{
    const auto [first, last] = s.VisibleRange;
    if (first < 1 || last > s.N() || first > last || widthTw <= 0)
        return std::nullopt;
    const double slot = static_cast<double>(widthTw) / (last - first + 1);
    const double day = IntOf(x / slot + 1) + first - 1;
    if (!(day >= first && day <= last))
        return std::nullopt;
    const size_t idx = At(static_cast<int>(day));
    const double assetPct = s.AssetPct[idx];
    const double indexPct = s.IndexPct[idx];
    const double assets = s.AssetValue[At(first)] / 10000 * (assetPct + 100) / 100;
    return s.DayList.value(static_cast<int>(idx)) + QStringLiteral(":\n指数：") +
           NumberText(RoundHalfEven(s.IndexClose[idx], 2)) + QStringLiteral("[") +
           FormatValue(MakeDouble(indexPct), true, QStringLiteral("0")) + QStringLiteral("%]\n资产：") +
           FormatValue(MakeDouble(assets)) + QStringLiteral("万[") + FormatValue(MakeDouble(assetPct)) +
           QStringLiteral("%] 相对指数：") + FormatValue(MakeDouble(assetPct - indexPct)) +
           QStringLiteral("% 仓位：") + FormatValue(MakeDouble(s.PositionPct[idx])) + QStringLiteral("%");
}

void FillClosedTradeGrid(FlexGrid &grid)
{
    static const std::vector<QString> fields = {
        QString(), QString(), QStringLiteral("code"), QStringLiteral("sname"), QStringLiteral("bdate"),
        QStringLiteral("sdate"), QStringLiteral("num"), QStringLiteral("bprice"), QStringLiteral("aprice"),
        QStringLiteral("sprice"), QStringLiteral("bcash"), QStringLiteral("scash"), QStringLiteral("profit"),
        QStringLiteral("pper")};
    static const std::vector<QString> captions = {
        QString(), QStringLiteral("序号"), QStringLiteral("代码"), QStringLiteral("名称"),
        QStringLiteral("买入日期"), QStringLiteral("卖出日期"), QStringLiteral("数量"), QStringLiteral("买入价"),
        QStringLiteral("成本价"), QStringLiteral("卖出价"), QStringLiteral("买入金额"),
        QStringLiteral("卖出金额"), QStringLiteral("收益额(元)"), QStringLiteral("收益率%")};
    SetupGridColumns(grid, fields, captions);
    grid.SetFixedCols(2);
    FillGridFromQuery(grid,
                      QStringLiteral("SELECT *,(scash-bcash) as profit,(scash/bcash*100-100) as pper FROM account "
                                     "WHERE sprice>0 ORDER BY code,bdate"),
                      true, true, QStringLiteral("acc.mdb"));
    double total = 0;
    const int lastCol = grid.Cols() - 1;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r) {
        // The grid groups thousands; the separators would cut the number short.
        QString text = grid.TextMatrix(r, lastCol);
        total += LeadingNumber(text.remove(u','));
    }
    const int row = grid.Rows();
    grid.SetRows(row + 1);
    grid.SetTextMatrix(row, 10, QStringLiteral("总计："));
    grid.SetTextMatrix(row, 11, FormatValue(MakeDouble(total)));
    AutoFitGridColumns(grid, 1, false);
}
