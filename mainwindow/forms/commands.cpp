// The main window's commands on the trade grid and the date window.
#include "commands.h"

#include <algorithm>
#include <optional>

#include <QDateEdit>

#include "mainwindow/forms/mf.h"
#include "mainwindow/forms/trade_grid_form.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/service_values.h"
#include "platform/daynum.h"
#include "platform/db.h"
#include "platform/numeric.h"
#include "platform/prompter.h"
#include "platform/recordset.h"
#include "platform/run_log.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "records/split_merge.h"
#include "storage/common.h"
#include "storage/compact.h"
#include "storage/db_operate.h"
#include "storage/forms/form_ops.h"
#include "storage/grid_ops.h"
#include "storage/params.h"

namespace {

const QString kAccount = QStringLiteral("account");

// What a command works on, read from the grid (and the current record's quantity from the book) once,
// before anything is asked: a refill during a prompt must not change the record a command acts on.
struct Selection {
    int row = 0;
    int rowSel = 0;
    bool onDataRow = false;  // Row is a data row
    long id = 0;             // column 0 of Row; 0 when it holds no whole number
    QString code;            // column FixedCols of Row
    QString name;            // column 3 of Row
    double num = 0;          // the record's shares
    QString idList;          // column 0 of Row..RowSel, whole numbers only
};

long WholeId(const QString &text)
{
    bool ok = false;
    const long v = text.trimmed().toLong(&ok);
    return ok ? v : 0;
}

QString CellText(const FlexGrid &grid, int row, int col)
{
    return col < grid.Cols() ? grid.TextMatrix(row, col) : QString();
}

Selection ReadSelection(const FlexGrid &grid)
{
    Selection s;
    s.row = grid.Row();
    s.rowSel = grid.RowSel();
    s.onDataRow = s.row >= grid.FixedRows() && s.row < grid.Rows();
    if (!s.onDataRow)
        return s;
    s.id = WholeId(CellText(grid, s.row, 0));
    if (grid.Cols() > grid.FixedCols())
        s.code = CellText(grid, s.row, grid.FixedCols());
    s.name = CellText(grid, s.row, 3);
    s.idList = WholeIdList(JoinGridColumn(grid, 0, s.row, s.rowSel));
    if (s.id > 0)
        s.num = GetFieldValue(kAccount, QStringLiteral("id=") + QString::number(s.id), QStringLiteral("num"),
                              MakeLong(0))
                    .ToDouble();
    return s;
}

// The number an answer is, read whole as a typed number ("1,000" is 1000); Cancel and an answer that
// is not wholly a number ("10,5", "1e3") count as 0, which does nothing.
double AnswerNumber(const std::optional<QString> &answer)
{
    return answer ? TypedNumber(*answer).value_or(0) : 0;
}

// A price answer; one at or above the price no stock reaches counts as 0 as well.
double AnswerPrice(const std::optional<QString> &answer)
{
    const double v = AnswerNumber(answer);
    return v < kPriceBound ? v : 0;
}

// A quantity answer made whole (halves to even) before it is compared with anything, so "0.4" is no
// quantity and "150.7" is 151.
double AnswerShares(const std::optional<QString> &answer)
{
    return RoundHalfEven(AnswerNumber(answer), 0);
}

QString PriceText(const QString &code)
{
    return NumberText(GetRealtimePrice(code));
}

// A date field of the first record of the condition as a day number; nothing when there is none.
std::optional<double> DateField(const QString &condition, const QString &field)
{
    const Value v = GetFieldValue(kAccount, condition, field, MakeEmpty());
    if (v.IsDate() || v.IsNumeric())
        return v.num;
    return std::nullopt;
}

// The start of the asset recomputation after a sale of the listed records: start, or the earliest
// earlier sale date of a record that was already sold, whose old sale the asset table still counts.
double SaleRecalcStart(const QString &idList, double start)
{
    const auto oldSale =
        DateField(QStringLiteral("id IN(") + idList + QStringLiteral(") AND sprice>0 ORDER BY sdate"), QStringLiteral("sdate"));
    return oldSale ? std::min(start, *oldSale) : start;
}

QString SellSql(long id, double price)
{
    return QStringLiteral("UPDATE account SET sprice=") + NumberText(price) + QStringLiteral(",sdate=#") +
           DateText(MarketTodayDayNumber()) + QStringLiteral("# WHERE id=") + QString::number(id);
}

// Sells one record whole at price today and recomputes its amounts.
void SellRecord(long id, double price)
{
    ExecSql(SellSql(id, price));
    RecalcTradeAmounts(MakeLong(static_cast<int32_t>(id)));
}

// Sells every listed record at price today and recomputes their amounts, all or nothing: a failure
// rolls every sale back (logged) and gives false.
bool SellRecords(const QString &idList, double price)
{
    DbConnection conn;
    if (!OpenConn(conn))
        return false;
    if (!conn.Begin()) {
        LogDbError(conn.lastError, QStringLiteral("BEGIN"));
        return false;
    }
    bool ok = ExecSql(QStringLiteral("UPDATE account SET tnum=num WHERE tnum=0 OR tnum IS NULL"), &conn);
    for (const QString &id : idList.split(u','))
        ok = ok && ExecSql(SellSql(id.toLong(), price), &conn);
    const QString sql = QStringLiteral("SELECT * FROM account WHERE id IN(") + idList + QStringLiteral(") ORDER BY id");
    RecordSet rs;
    if (ok && !rs.Open(conn, sql)) {
        LogDbError(conn.lastError, sql);
        ok = false;
    }
    ok = ok && RecalcTradeAmounts(MakeLong(0), &rs);
    rs.Close();
    if (ok && !conn.Commit()) {
        LogDbError(conn.lastError, QStringLiteral("COMMIT"));
        ok = false;
    }
    if (!ok)
        conn.Rollback();
    return ok;
}

// The end of the commands that change records: a chart showing the row's stock draws anew (its
// records and trade marks reloaded), the date window ends today when a record sold (of soldIds) was
// bought after its last day (an open record shows there, a sold one would vanish), the tree is
// rebuilt (a stock may have sold its last lot or left the book; the current node stays while the
// tree has it), then grid, status line and chart are refreshed.
void RefreshAfterChange(MFWindow &mf, const QString &code, const QString &soldIds = QString())
{
    const QString &tag = mf.Pic[0]->picture().Tag;
    if (!code.isEmpty() && (tag == code || tag.startsWith(QStringLiteral("[") + code)))
        mf.ResetChart();
    if (!soldIds.isEmpty()) {
        if (const auto latest = DateField(QStringLiteral("id IN(") + soldIds + QStringLiteral(") ORDER BY bdate DESC"),
                                          QStringLiteral("bdate")))
            mf.SetDtpRange(DateOfDayNumber(*latest));
    }
    mf.RebuildTree();
    mf.TV_NodeClick(mf.CurrentNode);
}

void EditRecord(const Selection &s)
{
    // Without a record the editor is only shown: an empty id would turn the loaded record into a new one.
    if (s.onDataRow && s.id > 0)
        AccEditShowRecord(s.id);
    else
        ShowModeless(AccEdit());
}

void DeleteRecords(MFWindow &mf, const Selection &s)
{
    FlexGrid &grid = mf.MSF[0]->Grid();
    if (!s.onDataRow)
        return;
    const int idCol = FindGridColumn(grid, 0, QStringLiteral("id"));
    const QString list = idCol < 0 ? QString() : WholeIdList(JoinGridColumn(grid, idCol, s.row, s.rowSel));
    if (list.isEmpty())
        return;
    const auto start = DateField(QStringLiteral("id IN(") + list + QStringLiteral(") ORDER BY bdate"), QStringLiteral("bdate"));
    int r1 = s.row;
    int r2 = s.rowSel;
    if (!DeleteGridRows(grid, r1, r2, true, true))
        return;
    if (!ExecSql(QStringLiteral("DELETE * FROM account WHERE id IN(") + list + u')')) {
        ShowMsg(QStringLiteral("删除交易记录失败！"));
        // The rows are gone from the grid only: bring them back.
        if (mf.CurrentNode)
            mf.TV_NodeClick(mf.CurrentNode);
        else
            LoadTradeGrid(mf.MSF[0]);
        return;
    }
    if (start)
        RecalcDeelRes(*start, true);
    RefreshAfterChange(mf, s.code);
}

void QuickSell(MFWindow &mf, const Selection &s)
{
    if (!s.onDataRow || s.id < 1)
        return;
    const double start = SaleRecalcStart(QString::number(s.id), MarketTodayDayNumber());
    const QString prompt = QStringLiteral("您今天卖出了股票：") + s.name + u'[' + s.code + QStringLiteral("] ") +
                           NumberText(s.num) + QStringLiteral("股？\r\r\r\r确定的话，请输入卖出价格：");
    const double price = AnswerPrice(InputBox(prompt, QString(), PriceText(s.code)));
    if (price <= 0)
        return;
    SellRecord(s.id, price);
    RecalcDeelRes(start, true);
    RefreshAfterChange(mf, s.code, QString::number(s.id));
}

void MergeSell(MFWindow &mf, const Selection &s)
{
    if (s.row == s.rowSel) {
        ShowMsg(QStringLiteral("请选中需要合并卖出的多条交易！"));
        return;
    }
    // One price is proposed, for the current row's stock: it cannot be every stock's.
    if (!s.idList.isEmpty() && CountGroups(kAccount, QStringLiteral("code"),
                                           QStringLiteral("id IN(") + s.idList + QStringLiteral(")")) > 1) {
        ShowMsg(QStringLiteral("不能合并卖出不同股票的交易记录！"));
        return;
    }
    std::optional<double> start;
    if (!s.idList.isEmpty())
        start = DateField(QStringLiteral("id IN(") + s.idList + QStringLiteral(") ORDER BY bdate DESC"), QStringLiteral("bdate"));
    if (start)
        start = SaleRecalcStart(s.idList, *start);
    const double price = AnswerPrice(InputBox(QStringLiteral("请输入卖出的成交价："), QString(), PriceText(s.code)));
    const bool sold = price > 0 && start && SellRecords(s.idList, price);
    if (sold)
        RecalcDeelRes(*start, true);
    RefreshAfterChange(mf, s.code, sold ? s.idList : QString());
}

void PartialSell(MFWindow &mf, const Selection &s)
{
    if (!s.onDataRow || s.id < 1)
        return;
    const auto bdate = DateField(QStringLiteral("id=") + QString::number(s.id) + QStringLiteral(" ORDER BY bdate DESC"),
                                 QStringLiteral("bdate"));
    const double n = AnswerShares(InputBox(QStringLiteral("请输入卖出的数量："), QString(), NumberText(s.num)));
    if (n <= 0)
        return;
    if (n > s.num) {
        ShowMsg(QStringLiteral("错误：部分卖出股票数量不能大于原买入股票数量！"));
        return;
    }
    const double price = AnswerPrice(InputBox(QStringLiteral("请输入卖出的价格："), QString(), PriceText(s.code)));
    if (price <= 0)
        return;
    // A split that did not happen must not turn into a sale of the whole record.
    if (n < s.num && !SplitAccRec(s.id, static_cast<long>(n)))
        return;
    SellRecord(s.id, price);
    if (bdate)
        RecalcDeelRes(*bdate, true);
    RefreshAfterChange(mf, s.code, QString::number(s.id));
}

void SplitRecord(MFWindow &mf, const Selection &s)
{
    if (!s.onDataRow || s.id < 1)
        return;
    const double n = AnswerShares(
        InputBox(QStringLiteral("您想把当前交易交易拆分成两笔？\r\n请输入拆分后其中一笔数量：")));
    if (n <= 0)
        return;
    if (n < s.num) {
        if (SplitAccRec(s.id, static_cast<long>(n)))
            RefreshAfterChange(mf, s.code);
        return;
    }
    ShowMsg(QStringLiteral("被拆分后的股票数量必须小于原交易股票数量【") + NumberText(s.num) + QStringLiteral("】！"));
}

void MergeRecords(MFWindow &mf, const Selection &s)
{
    if (s.row == s.rowSel) {
        ShowMsg(QStringLiteral("请选中需要合并的多条交易！"));
        return;
    }
    MergeTradeRecs(s.idList);
    RefreshAfterChange(mf, s.code);
}

void QuickBuy(const MFWindow &mf, const Selection &s)
{
    QString code = s.code;
    if (!s.onDataRow && mf.CurrentNode && mf.CurrentNode->key.startsWith(u'S'))
        code = mf.CurrentNode->text.mid(1, 6);
    StockBuyShow(code);
}

void Refresh(MFWindow &mf)
{
    if (mf.CurrentNode)
        SaveParam(QStringLiteral("当前结点"), QString::number(mf.CurrentNode->index));
    mf.RebuildTree();
    RebuildQuoteList();
    mf.TV_NodeClick(mf.CurrentNode);
}

// The date window's presets 14 to 18: a first day (never before the picker's minimum) to today.
void DatePreset(MFWindow &mf, int index)
{
    const QDate today = MarketToday();
    const QDate minDate = mf.DTP[0]->minimumDate();
    QDate first = minDate;
    if (index == 15)
        first = QDate(today.year(), 1, 1);
    else if (index == 16)
        first = QDate(today.year(), today.month(), 1);
    else if (index == 17)
        first = today.addYears(-1).addDays(1);
    else if (index == 18)
        first = today.addMonths(-1).addDays(1);
    mf.DTP[0]->setDate(std::max(first, minDate));
    mf.DTP[1]->setDate(today);
    Refresh(mf);
}

}  // namespace

QString WholeIdList(const QString &joined)
{
    QStringList ids;
    for (const QString &item : joined.split(u',')) {
        bool ok = false;
        const qlonglong v = item.trimmed().toLongLong(&ok);
        if (ok)
            ids << QString::number(v);
    }
    return ids.join(u',');
}

void RunCommand(MFWindow &mf, int index)
{
    const Selection s = ReadSelection(mf.MSF[0]->Grid());
    switch (index) {
    case 0:
        AccEditShowNew();
        break;
    case 1:
        EditRecord(s);
        break;
    case 2:
        DeleteRecords(mf, s);
        break;
    case 3:
        QuickSell(mf, s);
        break;
    case 8:
        MergeSell(mf, s);
        break;
    case 9:
        PartialSell(mf, s);
        break;
    case 10:
        QuickBuy(mf, s);
        break;
    case 12:
        SplitRecord(mf, s);
        break;
    case 13:
        Refresh(mf);
        break;
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
        DatePreset(mf, index);
        break;
    case 19:
        CompactAccDb(QStringLiteral("ACC.MDB"));
        break;
    case 20:
        MergeRecords(mf, s);
        break;
    default:
        break;
    }
}
