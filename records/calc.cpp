// 计算函数: fees, cost prices and the derived amounts of trade records.
#include "calc.h"

#include <cmath>
#include <optional>

#include "platform/numeric.h"
#include "storage/db_operate.h"
#include "storage/sys_params.h"

double CalcFeeItem(int32_t n, double price, double rate, double minimum)
{
    const double v = RoundHalfEven(static_cast<double>(n) * price * rate, 2);
    return v < minimum ? minimum : v;
}

double CalcTradeFee(int32_t num, int mode, double bprice, double sprice, int32_t tnum)
{
    if (num < 1 || bprice <= 0)
        return 0;
    if (sprice <= 0)
        sprice = bprice;
    if (tnum <= 0)
        tnum = num;
    const double rate = CommissionRate();
    const double buyCommission = CalcFeeItem(tnum, bprice, rate, 5.0);
    double sellCommission = 0, stampDuty = 0;
    if (mode > 0) {
        sellCommission = CalcFeeItem(tnum, sprice, rate, 5.0);
        stampDuty = CalcFeeItem(tnum, sprice, 0.001, 1.0);
    }
    double sum = 0;
    switch (mode) {
    case 0:
        sum = buyCommission;
        break;
    case 1:
        sum = sellCommission + stampDuty;
        break;
    case 2:
        sum = buyCommission + sellCommission + stampDuty;
        break;
    default:
        return 0;
    }
    return sum * (static_cast<double>(num) / static_cast<double>(tnum));
}

double CalcCostPrice(int32_t num, double price, double sprice, int32_t tnum)
{
    // Only a record without shares has no cost price; a negative count has no fees (see CalcTradeFee),
    // so its cost price is the buy price.
    if (num == 0)
        return 0;
    return (static_cast<double>(num) * price + CalcTradeFee(num, 2, price, sprice, tnum)) / num;
}

namespace {

// A whole-number field as the record holds it; NULL and text without a number read as 0.
int32_t WholeField(const RecordSet &rs, const QString &name)
{
    const auto v = ClngOf(rs.Field(name).ToDouble());
    return v ? *v : 0;
}

// Recomputes the current record of the set and writes it back.
bool RecalcCurrent(RecordSet &rs)
{
    const int32_t num = WholeField(rs, QStringLiteral("num"));
    const int32_t tnum = WholeField(rs, QStringLiteral("tnum"));
    const double bprice = rs.Field(QStringLiteral("bprice")).ToDouble();
    const double sprice = rs.Field(QStringLiteral("sprice")).ToDouble();
    bool ok = true;
    // Without shares there is no cost price: the stored one is kept.
    if (num != 0)
        ok = rs.Set(QStringLiteral("aprice"), MakeDouble(CalcCostPrice(num, bprice, sprice, tnum)));
    const double bcash = RoundHalfEven(num * bprice, 1) + CalcTradeFee(num, 0, bprice, sprice, tnum);
    const double scash = RoundHalfEven(num * sprice, 1) - CalcTradeFee(num, 1, bprice, sprice, tnum);
    ok = ok && rs.Set(QStringLiteral("bcash"), MakeDouble(bcash)) && rs.Set(QStringLiteral("scash"), MakeDouble(scash));
    ok = ok && rs.Update();
    if (!ok) {
        LogDbError(rs.lastError, QStringLiteral("SELECT * FROM account"));
        rs.CancelUpdate();
    }
    return ok;
}

// The id as a number: a number, or a text that is a number as a whole. Nothing for anything else
// (Empty, Null, a text that is no number), so that only a real 0 can mean every record.
std::optional<double> IdNumber(const Value &id)
{
    if (id.IsNumeric())
        return id.num;
    if (id.IsString()) {
        bool ok = false;
        const double v = id.str.trimmed().toDouble(&ok);
        if (ok && std::isfinite(v))
            return v;
    }
    return std::nullopt;
}

}  // namespace

bool RecalcTradeAmounts(const Value &id, RecordSet *rs)
{
    const std::optional<double> idNumber = IdNumber(id);
    const bool all = idNumber && *idNumber == 0;
    DbConnection conn;
    RecordSet own;
    const bool opened = rs == nullptr;
    if (opened) {
        ExecSql(QStringLiteral("UPDATE account SET tnum=num WHERE tnum=0 OR tnum IS NULL"));
        // An id that names no record (not a number, below 1) changes nothing.
        if (!all && !(idNumber && *idNumber >= 1))
            return true;
        QString sql = QStringLiteral("SELECT * FROM account");
        if (!all)
            sql += QStringLiteral(" WHERE id=") + NumberText(*idNumber);
        if (!OpenRs(conn, own, sql)) {
            CloseRs(conn, own);
            return false;
        }
        rs = &own;
    }
    bool ok = true;
    const int position = rs->AbsolutePosition();
    int count = 1;
    if (all) {
        count = rs->RecordCount();
        rs->MoveFirst();
    }
    // One transaction for a set of our own: one commit instead of one per record.
    const bool inTransaction = opened && count > 1 && conn.Begin();
    for (int k = 0; k < count && !rs->AtEOF() && !rs->AtBOF(); ++k) {
        ok = RecalcCurrent(*rs) && ok;
        rs->MoveNext();
    }
    if (inTransaction && !conn.Commit()) {
        // Nothing of the set has been written: the failure must reach RunErr.txt like any other.
        LogDbError(conn.lastError, QStringLiteral("COMMIT"));
        conn.Rollback();
        ok = false;
    }
    if (opened)
        CloseRs(conn, own);
    else if (position > 0)
        rs->SetAbsolutePosition(position);
    return ok;
}
