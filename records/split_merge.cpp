// 计算函数 (split and merge): cutting and joining trade records, and the proposed purchase quantity.
#include "split_merge.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/numeric.h"
#include "platform/prompter.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "records/records_hooks.h"
#include "storage/db_operate.h"
#include "storage/sys_params.h"

namespace {

// A savepoint on a connection: a transaction of its own, or nested in one the caller holds (the
// import splits records inside its own). Rolled back unless released.
class Savepoint {
public:
    Savepoint(DbConnection &conn, const QString &name) : m_conn(conn), m_name(name)
    {
        m_open = conn.ExecuteNative(QStringLiteral("SAVEPOINT ") + name);
        if (!m_open)
            LogDbError(conn.lastError, QStringLiteral("SAVEPOINT ") + name);
    }
    ~Savepoint()
    {
        if (!m_open)
            return;
        m_conn.ExecuteNative(QStringLiteral("ROLLBACK TO ") + m_name);
        m_conn.ExecuteNative(QStringLiteral("RELEASE ") + m_name);
    }
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;

    bool IsOpen() const { return m_open; }
    // Keeps the changes (commits them when the savepoint is the outermost); false, logged and still
    // open for the rollback when that fails.
    bool Release()
    {
        if (!m_conn.ExecuteNative(QStringLiteral("RELEASE ") + m_name)) {
            LogDbError(m_conn.lastError, QStringLiteral("RELEASE ") + m_name);
            return false;
        }
        m_open = false;
        return true;
    }

private:
    DbConnection &m_conn;
    QString m_name;
    bool m_open = false;
};

// A whole-number field of the current record; NULL and text without a number read as 0.
long WholeField(const RecordSet &rs, const QString &name)
{
    return ClngOf(rs.Field(name).ToDouble()).value_or(0);
}

// The trade size of the current record: tnum, or num where tnum was never set (0 or NULL).
long TradeSize(const RecordSet &rs)
{
    const long tnum = WholeField(rs, QStringLiteral("tnum"));
    return tnum > 0 ? tnum : WholeField(rs, QStringLiteral("num"));
}

// Writes the pending changes of the set's current (or new) record; a failure is logged and the
// changes dropped, so that no later move writes them outside the transaction.
bool UpdateLogged(RecordSet &rs, const QString &sql)
{
    if (rs.Update())
        return true;
    LogDbError(rs.lastError, sql);
    rs.CancelUpdate();
    return false;
}

// The writes of a split on a set standing on the record: both pieces written and recomputed.
bool WriteSplit(RecordSet &rs, long n, const QString &sql)
{
    const std::vector<Value> original = rs.Snapshot();
    const long oldNum = WholeField(rs, QStringLiteral("num"));
    const long tnum = TradeSize(rs);
    if (!rs.Set(QStringLiteral("num"), MakeLong(n)) || !rs.Set(QStringLiteral("tnum"), MakeLong(tnum))) {
        LogDbError(rs.lastError, sql);
        rs.CancelUpdate();
        return false;
    }
    if (!UpdateLogged(rs, sql) || !RecalcTradeAmounts(rs.Field(QStringLiteral("id")), &rs))
        return false;

    if (!rs.AddNew()) {
        LogDbError(rs.lastError, sql);
        return false;
    }
    // Every field but the key, by position.
    for (int i = 1; i < rs.FieldCount() && i < static_cast<int>(original.size()); ++i) {
        if (!rs.Set(i, original[i])) {
            LogDbError(rs.lastError, sql);
            rs.CancelUpdate();
            return false;
        }
    }
    if (!rs.Set(QStringLiteral("num"), MakeLong(oldNum - n)) || !rs.Set(QStringLiteral("tnum"), MakeLong(tnum))) {
        LogDbError(rs.lastError, sql);
        rs.CancelUpdate();
        return false;
    }
    return UpdateLogged(rs, sql) && RecalcTradeAmounts(rs.Field(QStringLiteral("id")), &rs);
}

// The writes of a merge on its set: every record but the first deleted, from the last one back; the
// first gets the share sum, the trade size and (when given) the joined memo, and its amounts anew.
bool WriteMerge(RecordSet &rs, int64_t shares, int64_t tnum, const std::optional<QString> &memo, const Value &keptId,
                const QString &sql)
{
    bool ok = rs.MoveLast();
    while (ok && rs.RecordCount() > 1)
        ok = rs.Delete() && rs.MovePrevious();
    // A sum beyond the whole-number range is refused by the field's conversion.
    ok = ok && rs.SetAbsolutePosition(1) && rs.Set(QStringLiteral("num"), MakeDouble(static_cast<double>(shares))) &&
         rs.Set(QStringLiteral("tnum"), MakeDouble(static_cast<double>(tnum))) &&
         (!memo || rs.Set(QStringLiteral("memo"), MakeString(*memo)));
    if (!ok) {
        LogDbError(rs.lastError, sql);
        rs.CancelUpdate();
        return false;
    }
    return RecalcTradeAmounts(keptId, &rs) && UpdateLogged(rs, sql);
}

// The merge's comparisons: the first field in which a record differs from the kept one gives its
// message.
struct MergeCheck {
    const char *field;
    bool isText;
    const char *message;
};
const MergeCheck kMergeChecks[] = {
    {"code", true, "不能合并不同股票的交易记录！"},
    {"bprice", false, "不能合并不同价格买入的交易记录！"},
    {"sprice", false, "不能合并不同价格卖出的交易记录！"},
    {"bdate", false, "不能合并不同日期买入的交易记录！"},
    {"sdate", false, "不能合并不同日期卖出的交易记录！"},
};

// The message for the first field in which the current record differs from the kept values, or "".
QString MergeMismatch(const RecordSet &rs, const std::vector<Value> &kept)
{
    for (size_t i = 0; i < std::size(kMergeChecks); ++i) {
        const MergeCheck &check = kMergeChecks[i];
        const Value v = rs.Field(QString::fromLatin1(check.field));
        const bool differs = check.isText ? v.ToText() != kept[i].ToText() : v.ToDouble() != kept[i].ToDouble();
        if (differs)
            return QString::fromUtf8(check.message);
    }
    return QString();
}

}  // namespace

bool SplitAccRec(long id, long n, RecordSet *rs)
{
    DbConnection conn;
    RecordSet own;
    const QString sql = QStringLiteral("SELECT * FROM account WHERE id=") + QString::number(id);
    const bool opened = rs == nullptr;
    if (opened) {
        if (!OpenRs(conn, own, sql)) {
            CloseRs(conn, own);
            return false;
        }
        rs = &own;
    }
    bool split = false;
    const int position = rs->AbsolutePosition();
    // At least one share on each side: a count below 1 would leave a record without shares.
    const long num = position > 0 ? WholeField(*rs, QStringLiteral("num")) : 0;
    if (position > 0 && n >= 1 && num > n && rs->Connection()) {
        Savepoint savepoint(*rs->Connection(), QStringLiteral("split_acc_rec"));
        split = savepoint.IsOpen() && WriteSplit(*rs, n, sql) && savepoint.Release();
        if (!split)
            rs->CancelUpdate();
    }
    if (opened)
        CloseRs(conn, own);
    else if (position > 0)
        rs->SetAbsolutePosition(position);
    return split;
}

bool MergeTradeRecs(const QString &idList)
{
    DbConnection conn;
    RecordSet rs;
    const QString sql = QStringLiteral("SELECT * FROM account WHERE id IN(") + idList + QStringLiteral(") ORDER BY id");
    if (!OpenRs(conn, rs, sql) || rs.RecordCount() < 2) {
        CloseRs(conn, rs);
        return false;
    }

    std::vector<Value> kept;
    for (const MergeCheck &check : kMergeChecks)
        kept.push_back(rs.Field(QString::fromLatin1(check.field)));
    const Value keptId = rs.Field(QStringLiteral("id"));
    const double keptBdate = rs.Field(QStringLiteral("bdate")).ToDouble();
    const long keptTnum = TradeSize(rs);
    int64_t shares = WholeField(rs, QStringLiteral("num"));
    int64_t laterTnum = 0;
    bool sameTnum = true;
    const QString keptMemo = rs.Field(QStringLiteral("memo")).ToText();
    QString memo = keptMemo;
    for (rs.MoveNext(); !rs.AtEOF(); rs.MoveNext()) {
        const QString mismatch = MergeMismatch(rs, kept);
        if (!mismatch.isEmpty()) {
            CloseRs(conn, rs);
            MsgBox(mismatch, Msg::OkOnly);
            return false;
        }
        shares += WholeField(rs, QStringLiteral("num"));
        const long tnum = TradeSize(rs);
        laterTnum += tnum;
        sameTnum = sameTnum && tnum == keptTnum;
        const QString m = rs.Field(QStringLiteral("memo")).ToText();
        if (!m.isEmpty())
            memo += m + u' ';
    }
    // Records of one trade size (the pieces of one split trade, or separate trades of one size) keep
    // it, so the merged fees stay the sum of the pieces' fees.
    const int64_t tnum = sameTnum ? keptTnum : laterTnum;

    bool merged = false;
    {
        Savepoint savepoint(conn, QStringLiteral("merge_trade_recs"));
        const std::optional<QString> newMemo = memo == keptMemo ? std::nullopt : std::optional(memo);
        merged = savepoint.IsOpen() && WriteMerge(rs, shares, tnum, newMemo, keptId, sql) && savepoint.Release();
        if (!merged)
            rs.CancelUpdate();
    }
    CloseRs(conn, rs);
    if (!merged)
        return false;
    RecalcDeelRes(keptBdate, true);
    RefreshCurrentNode();
    return true;
}

long SuggestBuyNum(const QString &code, double price)
{
    const Value newest = GetFieldValue(QStringLiteral("account"),
                                       QStringLiteral("code=") + SqlQuote(code) +
                                           QStringLiteral(" AND sprice=0 ORDER BY bdate DESC, id DESC"),
                                       QStringLiteral("num"), MakeLong(0));
    const long last = ClngOf(newest.ToDouble()).value_or(0);
    // A product such as 5500 × 1.4 comes out just below 7700 in binary: the cut works on the
    // decimal value.
    double q = 0;
    if (last != 0)
        q = FixOf(Decimal15(last * AddPositionMultiple() / 100)) * 100;
    if (q == 0) {
        if (!(price > 0))
            return 0;
        q = FixOf(Decimal15(DefaultPositionRatio() * InitialCapital() / price / 100)) * 100;
    }
    return ClngOf(q).value_or(0);
}
