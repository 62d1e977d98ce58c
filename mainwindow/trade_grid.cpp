// 买卖列表: the trade grid, the holdings summary and the asset status line.
#include "trade_grid.h"

#include <array>

#include <QTime>

#include "mainwindow/col_fields.h"
#include "mainwindow/stock_tree.h"
#include "market/calendar.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/grid_ops.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

// Alignment codes of the first data row: numbers right, dates centre, texts left (all centred
// vertically).
constexpr int kAlignNumber = 7;
constexpr int kAlignDate = 4;
constexpr int kAlignText = 1;

// The live columns, filled from the quote cache.
enum class Live { none, lastClose, price, change, floating };

Live LiveOf(const QString &field)
{
    if (field == QStringLiteral("_lprice"))
        return Live::lastClose;
    if (field == QStringLiteral("_rprice"))
        return Live::price;
    if (field == QStringLiteral("_rper"))
        return Live::change;
    if (field == QStringLiteral("_fper"))
        return Live::floating;
    return Live::none;
}

QString Grouped(double v, const QString &zeroText = QString())
{
    return FormatValue(MakeDouble(v), true, zeroText);
}

// x rounded half to even to `decimals` places, without trailing zeros (45.3, 12).
QString Rounded(double x, int decimals)
{
    return NumberText(RoundHalfEven(x, decimals));
}

// a ÷ b × 100 as a share to one decimal; "" when b is 0.
QString ShareText(double a, double b)
{
    return b == 0 ? QString() : Rounded(a / b * 100, 1);
}

// The gain of a over b in percent, grouped with two decimals ("0" for none); "" when b is 0.
QString GainText(double a, double b)
{
    return b == 0 ? QString() : Grouped(a / b * 100 - 100, QStringLiteral("0"));
}

// The text of a live cell for quote row i and the record's cost price.
QString LiveText(Live live, int i, double aprice, bool afterOpening)
{
    const double price = QuotePrice(i);
    const double lastClose = QuoteLastClose(i);
    switch (live) {
    case Live::lastClose:
        return Grouped(lastClose);
    case Live::price:
        return Grouped(price);
    case Live::change:
        // No quote at all (offline, a weekend before the first reply) says nothing about a suspension.
        if (price == 0 && lastClose == 0)
            return QString();
        if (QuoteOpen(i) == 0 && afterOpening)
            return QStringLiteral("停牌");
        // Without a price (before the first quote, offline) the day has no change to show.
        if (price == 0)
            return QString();
        return Grouped(lastClose == 0 ? 0 : price / lastClose * 100 - 100, QStringLiteral("0.00"));
    case Live::floating:
        // Without a price (before the first quote, offline) or a cost there is no gain to show.
        if (price == 0 || aprice == 0)
            return QString();
        return Grouped(price / aprice * 100 - 100, QStringLiteral("0.00"));
    case Live::none:
        break;
    }
    return QString();
}

// Appends a row per record of the open query; with bestOnly only the first record of each code.
void FillTradeRows(FlexGrid &grid, RecordSet &rs, bool bestOnly)
{
    const int cols = grid.Cols();
    const int fixedRows = grid.FixedRows();
    const int fixedCols = grid.FixedCols();
    // Each column's source: a live kind, else the query's field (-1: nothing fills it).
    std::vector<Live> live(static_cast<size_t>(cols));
    std::vector<int> field(static_cast<size_t>(cols), -1);
    std::vector<int> quoteCells;
    for (int c = 0; c < cols; ++c) {
        const QString name = grid.TextMatrix(0, c);
        live[c] = LiveOf(name);
        if (live[c] == Live::none && !name.isEmpty() && !name.startsWith(u'_'))
            field[c] = rs.FieldIndex(name);
        if (c > 0 && (live[c] == Live::lastClose || live[c] == Live::price || live[c] == Live::change))
            quoteCells.push_back(c);
    }
    const int codeField = rs.FieldIndex(QStringLiteral("code"));
    const int apriceField = rs.FieldIndex(QStringLiteral("aprice"));
    const int spriceField = rs.FieldIndex(QStringLiteral("sprice"));
    const bool afterOpening = MarketNow().time() >= QTime(9, 25);
    auto number = [&rs](int f) { return f >= 0 ? rs.Get(f).value_or(Value()).ToDouble() : 0.0; };
    // The last close, price and change of a quote read the same on every row of its code: each quote's
    // texts are made once.
    std::vector<std::optional<std::array<QString, 3>>> quoteTexts(Quotes().rows.size());
    auto liveText = [&](Live kind, int i, double aprice) {
        if (kind == Live::floating)
            return LiveText(kind, i, aprice, afterOpening);
        auto &texts = quoteTexts[static_cast<size_t>(i)];
        if (!texts)
            texts = std::array<QString, 3>{LiveText(Live::lastClose, i, aprice, afterOpening),
                                           LiveText(Live::price, i, aprice, afterOpening),
                                           LiveText(Live::change, i, aprice, afterOpening)};
        return (*texts)[kind == Live::lastClose ? 0 : kind == Live::price ? 1 : 2];
    };

    // The rows are made at once and the unused ones dropped at the end: growing the grid a row at a
    // time would move every row made so far, again and again.
    grid.SetRows(fixedRows + rs.RecordCount());
    int r = fixedRows - 1;
    QString lastCode;
    for (; !rs.AtEOF(); rs.MoveNext()) {
        const QString code = codeField >= 0 ? rs.Get(codeField).value_or(Value()).ToText() : QString();
        if (bestOnly && r >= fixedRows && code == lastCode)
            continue;
        lastCode = code;
        ++r;
        const bool firstRow = r == fixedRows;
        grid.SetTextMatrix(r, fixedCols - 1, FormatValue(MakeLong(r - fixedRows + 1)));
        const int i = QuoteIndexOf(code);
        const double aprice = number(apriceField);
        const double sprice = number(spriceField);
        for (int c = 0; c < cols; ++c) {
            if (live[c] != Live::none) {
                if (i < 0)
                    continue;
                grid.SetTextMatrix(r, c, liveText(live[c], i, aprice));
                if (firstRow && c >= fixedCols)
                    grid.SetColAlignment(c, kAlignNumber);
                continue;
            }
            if (field[c] < 0)
                continue;
            const auto v = rs.Get(field[c]);
            if (!v)
                continue;
            if (v->IsNumeric()) {
                grid.SetTextMatrix(r, c, c < fixedCols ? v->ToText() : FormatValue(*v, true, QString()));
                if (firstRow)
                    grid.SetColAlignment(c, kAlignNumber);
            } else if (v->IsDate()) {
                grid.SetTextMatrix(r, c, FormatValue(*v, true, QString()));
                if (firstRow)
                    grid.SetColAlignment(c, kAlignDate);
            } else {
                grid.SetTextMatrix(r, c, FormatValue(*v));
                if (firstRow)
                    grid.SetColAlignment(c, kAlignText);
            }
        }
        const double price = QuotePrice(i);
        // An open record without a current price has no gain or loss yet: it keeps the default colour.
        if (sprice != 0 || price != 0)
            SetRowForeColor(grid, r, GetTradeColor(aprice, sprice, 0, price));
        if (i >= 0 && price != 0) {
            const uint32_t quoteColor = GetTradeColor(0, 0, QuoteLastClose(i), price);
            for (int c : quoteCells)
                SetCellForeColor(grid, r, c, quoteColor);
        }
    }
    grid.SetRows(r + 1);
}

}  // namespace

QString TradeGridSql(const QString &codes, const TradeGridControls &controls)
{
    QString sql = kAccountGridSelect;
    if (!codes.isEmpty())
        sql += QStringLiteral(" WHERE code IN(") + codes + u')';
    if (controls.held == 0 || controls.sold == 0)
        sql = AddWhereCondition(sql, controls.sold == 0 ? QStringLiteral("sprice=0") : QStringLiteral("sprice>0"));
    double d0 = controls.d0;
    double d1 = controls.d1;
    OrderPair(d1, d0);
    if (d0 > controls.minDate || d1 < controls.maxDate)
        sql = AddWhereCondition(sql, QStringLiteral("((bdate>=#") + DateText(d0) + QStringLiteral("# AND bdate<=#") +
                                         DateText(d1) + QStringLiteral("#) OR sprice=0)"));
    return sql + QStringLiteral(" ORDER BY code,bprice ASC");
}

bool LoadTradeGrid(FlexGrid &grid, const TradeGridControls &controls)
{
    std::vector<QString> fields;
    std::vector<QString> captions;
    GetColFields(fields, captions, QStringLiteral("account"), true);
    const int oldCols = grid.Cols();
    const int oldRow = grid.Row();
    const int oldRowSel = grid.RowSel();
    SetupGridColumns(grid, fields, captions);
    if (!controls.node)
        return false;
    grid.SetToolTipText(controls.node->text);
    const QString codes = GetNodeCodes(controls.node);
    if (QuoteListDate() <= MarketTodayDayNumber())
        UpdateRealtimeQuotes();

    grid.SetRedraw(false);
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, TradeGridSql(codes, controls)))
        FillTradeRows(grid, rs, controls.bestOnly == 1);
    CloseRs(conn, rs);

    if (grid.Tag().isEmpty())
        grid.SetTag(GetParam(QStringLiteral("MSFOrder_") + QString::number(grid.Index()), QString()));
    if (!grid.Tag().isEmpty()) {
        int col = 0;
        int order = -1;
        SortGridByColumn(grid, col, order);
    }
    // Every fill fits the columns (after the sort, so a caption is measured with its arrow): values
    // that grow (a larger amount, prices that arrive after an empty first fill) stay readable; the
    // widths the user dragged stay while the columns do. New columns are all fitted afresh, with the
    // progress window on a long list.
    const bool newColumns = grid.Cols() != oldCols;
    AutoFitGridColumns(grid, 1, newColumns, !newColumns);

    const int rows = grid.Rows();
    if (rows > grid.FixedRows() && oldRow < rows && oldRowSel < rows) {
        if (oldRow >= grid.FixedRows()) {
            grid.SetRow(oldRow);
            grid.SetCol(grid.FixedCols());
            grid.SetRowSel(oldRowSel);
        } else {
            grid.SetRow(grid.FixedRows());
            grid.SetCol(grid.FixedCols());
        }
        grid.SetColSel(grid.Cols() - 1);
    }
    grid.SetRedraw(true);
    return true;
}

uint32_t GetTradeColor(double cost, double sell, double lastClose, double price)
{
    size_t entry = 0;
    if (lastClose != 0)
        entry = price > lastClose ? 6 : price < lastClose ? 7 : 8;
    else if (sell != 0)
        entry = sell > cost ? 1 : sell < cost ? 3 : 5;
    else
        entry = price > cost ? 0 : price < cost ? 2 : 4;
    const std::vector<QString> &table = MSFViewSetParams().tt;
    if (entry >= table.size() || table[entry].isEmpty())
        return kDesignedTradeColors[entry];
    const double color = RoundHalfEven(LeadingNumber(table[entry]), 0);
    return color >= 0 && color <= 0xFFFFFF ? static_cast<uint32_t>(color) : 0;
}

QString HoldingsSummaryLine(const std::vector<HoldingCost> &holdings)
{
    double total = 0;
    for (const HoldingCost &h : holdings)
        total += h.cost;
    QString line;
    for (const HoldingCost &h : holdings)
        line += h.sname + QStringLiteral(": ") + Grouped(h.cost / 10000) + QStringLiteral("万(") +
                ShareText(h.cost, total) + QStringLiteral("%)  ");
    return line;
}

QString HoldingsSummaryText()
{
    std::vector<HoldingCost> holdings;
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs,
               QStringLiteral("SELECT * FROM (SELECT code,sname,SUM(bprice*num) AS sm FROM account WHERE sprice=0 "
                              "GROUP BY code,sname) ORDER BY sm DESC"))) {
        for (; !rs.AtEOF(); rs.MoveNext())
            holdings.push_back({rs.Field(QStringLiteral("sname")).ToText(), rs.Field(QStringLiteral("sm")).ToDouble()});
    }
    CloseRs(conn, rs);
    return HoldingsSummaryLine(holdings);
}

QString AssetStatusLine(const AssetFigures &f)
{
    QString line = QStringLiteral("总资产：") + Grouped(f.sm) + QStringLiteral(" 【市值：") + Grouped(f.scash) + u'(' +
                   ShareText(f.scash, f.sm) + QStringLiteral("%) 现金：") + Grouped(f.cash) + u'(' +
                   ShareText(f.cash, f.sm) + QStringLiteral("%)】  总盈亏：") +
                   Grouped(f.sm - f.capital, QStringLiteral("0")) + u'[' + GainText(f.sm, f.capital) +
                   QStringLiteral("%] 当日盈亏：") + Grouped(f.sm - f.prev, QStringLiteral("0")) + u'[' +
                   GainText(f.sm, f.prev) + QStringLiteral("%]  上证指数：") + Rounded(f.indexPrice, 2);
    if (f.quoteLastClose > 0)
        line += u'[' + Grouped(f.quotePrice / f.quoteLastClose * 100 - 100) + QStringLiteral("%]");
    return line;
}

std::optional<QString> AssetStatusText()
{
    if (IsTradeDay(kEmptyDate, QStringLiteral("1A0001")))
        RecalcDeelRes(MarketTodayDayNumber(), false);
    AssetFigures f;
    f.capital = InitialCapital();
    bool found = false;
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT TOP 2 * FROM DeelRes ORDER BY dat DESC")) && !rs.AtEOF()) {
        found = true;
        f.sm = rs.Field(QStringLiteral("sm")).ToDouble();
        f.scash = rs.Field(QStringLiteral("scash")).ToDouble();
        f.cash = rs.Field(QStringLiteral("cash")).ToDouble();
        rs.MoveNext();
        f.prev = rs.AtEOF() ? f.capital : rs.Field(QStringLiteral("sm")).ToDouble();
    }
    CloseRs(conn, rs);
    if (!found || !(f.sm > 0))
        return std::nullopt;
    f.indexPrice = GetRealtimePrice(QStringLiteral("1A0001"));
    f.quotePrice = QuotePrice(0);
    f.quoteLastClose = QuoteLastClose(0);
    return AssetStatusLine(f);
}
