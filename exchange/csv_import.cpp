// 读取模块: importing trade records from CSV files.
#include "csv_import.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "exchange/export.h"
#include "exchange/import_data.h"
#include "exchange/stock_code.h"
#include "market/market_clock.h"
#include "market/service_values.h"
#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/prompter.h"
#include "records/calc.h"
#include "records/split_merge.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

// Records of fewer fields are row errors, unless the mapping names no column that far.
constexpr int kMinRecordFields = 13;

// The labels of the eight values, as the mapping dialog shows them.
const QString &ValueLabel(int i)
{
    static const QString labels[ivCount] = {
        QStringLiteral("股票代码"), QStringLiteral("买入日期"), QStringLiteral("卖出日期"), QStringLiteral("买入数量"),
        QStringLiteral("买入价格"), QStringLiteral("卖出数量"), QStringLiteral("卖出价格"), QStringLiteral("备注")};
    return labels[i];
}

// The stock ids of the records still without one, from the stock list.
const QString kFillStockIds =
    QStringLiteral("UPDATE account INNER JOIN companyinfo ON account.code=companyinfo.code "
                   "SET account.sid=companyinfo.id WHERE account.sid=0 OR account.sid IS NULL");

// Each row is written under a savepoint of its own: a row that fails is undone alone, inside the run's
// transaction or as a transaction of its own.
const QString kRowSavepoint = QStringLiteral("SAVEPOINT import_row");
const QString kRowRelease = QStringLiteral("RELEASE import_row");
const QString kRowRollback = QStringLiteral("ROLLBACK TO import_row");

// The set that new records are added through.
const QString kAddsSql = QStringLiteral("SELECT * FROM account WHERE FALSE");

// The mapping of a run: the eight prepared designations and the fewest fields a record must have.
struct Mapping {
    QStringList prepared;
    int minFields = 1;
};

// The stored mapping, prepared; nothing when fewer than five designations are stored. Missing ones
// (five to seven stored) are empty, further ones are ignored.
std::optional<Mapping> ReadMapping()
{
    QStringList designations = GetParam(QStringLiteral("导入列号")).split(kImportMapSeparator);
    if (designations.size() < 5)
        return std::nullopt;
    designations.resize(ivCount);
    NormalizeMapEntries(designations);
    Mapping m;
    int highest = 0;
    for (const QString &d : designations) {
        m.prepared << PrepareDesignation(d);
        if (!m.prepared.back().startsWith(u'S'))
            highest = std::max(highest, m.prepared.back().toInt());
    }
    m.minFields = std::clamp(highest, 1, kMinRecordFields);
    return m;
}

// The amount of a value as ReadAmount reads it; nothing when it holds no number where ReadAmount
// looks for one, or its number lies beyond the range of a double, which the reading alone takes for
// 0 ("1e309") or passes with its unit ("1e308亿"). A field written as "" and nothing else, which the
// record parser reads as one double quote, is an empty cell: a spreadsheet program that quotes its
// texts writes an empty text so (a formula's "").
std::optional<double> ImportAmount(const QString &text)
{
    if (QStringView(text).trimmed() == u"\"")
        return 0.0;
    const std::optional<double> v = ReadAmount(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    if (*v == 0) {
        QString number = text;
        number.remove(u'￥').remove(u'$').remove(u',');
        if (!ServiceNumber(number))
            return std::nullopt;
    }
    return v;
}

// "第N行".
QString RowText(int row)
{
    return QStringLiteral("第") + QString::number(row) + u'行';
}

// A row's check message: "第N行", what is wrong, and the request to check the data.
QString RowMessage(int row, const QString &what)
{
    return RowText(row) + what + QStringLiteral(",请检查数据是否正确!");
}

// The check message of a row's values, the amounts of its quantities and prices (ImportAmount) and
// its two dates, or "" when they pass; today is the market's day number. The composite index is
// never a record. No trade is dated after today, as the record editor holds; the sell date of a row
// without a sell price is no trade's (often a placeholder far ahead) and is not compared. Quantities
// must be whole numbers of 0 to 2^31 − 1 shares and prices not below 0: a negative value would store
// a record that is neither open nor sold, or shares that the book never held. A price at or above
// kPriceBound is none that a stock reaches, as the record editor holds. A row selling more than it
// buys needs a sell price, or the lots it closes would stay open.
QString CheckRowValues(const QStringList &v, const std::optional<double> (&amounts)[ivCount],
                       std::optional<double> bdate, std::optional<double> sdate, double today, int row)
{
    if (v[ivCode].isEmpty() || v[ivCode] == QStringLiteral("1A0001"))
        return RowMessage(row, QStringLiteral("股票代码有误"));
    if (!bdate)
        return RowMessage(row, QStringLiteral("买入日期[") + v[ivBuyDate] + QStringLiteral("]不是日期"));
    if (!sdate)
        return RowMessage(row, QStringLiteral("卖出日期[") + v[ivSellDate] + QStringLiteral("]不是日期"));
    const bool sold = LeadingNumber(v[ivSellPrice]) > 0;
    if (sold && *bdate > *sdate)
        return RowMessage(row, QStringLiteral("卖出日期[") + v[ivSellDate] + QStringLiteral("]早于买入日期[") +
                                   v[ivBuyDate] + u']');
    if (std::floor(*bdate) > today)
        return RowMessage(row, QStringLiteral("买入日期[") + v[ivBuyDate] + QStringLiteral("]晚于今天"));
    if (sold && std::floor(*sdate) > today)
        return RowMessage(row, QStringLiteral("卖出日期[") + v[ivSellDate] + QStringLiteral("]晚于今天"));
    for (int i : {ivBuyNum, ivBuyPrice, ivSellNum, ivSellPrice}) {
        const std::optional<double> x = amounts[i];
        const bool quantity = i == ivBuyNum || i == ivSellNum;
        if (!x || *x < 0 || (quantity ? !ClngOf(*x) : *x >= kPriceBound))
            return RowMessage(row, ValueLabel(i) + u'[' + v[i] + QStringLiteral("]有误"));
    }
    const auto shares = [&](int i) { return ClngOf(LeadingNumber(v[i])).value_or(0); };
    if (shares(ivSellNum) > shares(ivBuyNum) && !sold)
        return RowMessage(row, ValueLabel(ivSellPrice) + u'[' + v[ivSellPrice] + QStringLiteral("]有误"));
    return QString();
}

// True when a record's fields hold a value: a field that is not blank.
bool HasValue(const QStringList &fields)
{
    return std::any_of(fields.begin(), fields.end(),
                       [](const QString &f) { return !QStringView(f).trimmed().isEmpty(); });
}

// The check message of a row's record as read, or "" when it can be imported; the fields of the
// record are put in fields. endRow is lowered to row − 1 and "" returned where the data ends: at a
// record without any value when no record up to endRow has one. A record left empty by a quote that
// never closed is no blank line that ends the file.
QString CheckRecord(const CsvRecords &read, const Mapping &map, int row, int &endRow, QStringList &fields)
{
    const auto unclosed = [&](int r) { return std::binary_search(read.unclosed.begin(), read.unclosed.end(), r); };
    const auto record = [&](int r) { return read.records[r - read.first].split(kCsvFieldSeparator); };
    if (unclosed(row))
        return RowMessage(row, QStringLiteral("的引号没有配对"));
    const auto tooLong = std::lower_bound(read.tooLong.begin(), read.tooLong.end(), std::make_pair(row, 0));
    if (tooLong != read.tooLong.end() && tooLong->first == row)
        return RowMessage(row, ColumnNumberToLetters(tooLong->second) + QStringLiteral("列的内容超过") +
                                   QString::number(kMaxCsvFieldChars) + QStringLiteral("个字符"));
    fields = record(row);
    if (!HasValue(fields)) {
        int next = row + 1;
        while (next <= endRow && !unclosed(next) && !HasValue(record(next)))
            ++next;
        if (next > endRow) {
            endRow = row - 1;
            return QString();
        }
        return RowMessage(row, QStringLiteral("是空行，其后还有数据"));
    }
    if (fields.size() < map.minFields)
        return RowMessage(row, QStringLiteral("只有") + QString::number(fields.size()) +
                                   QStringLiteral("个字段，导入映射至少需要") + QString::number(map.minFields) +
                                   QStringLiteral("个（字段之间以英文逗号“,”分隔）"));
    return QString();
}

// What a failed write of a row tells the user: the row, and the column of the book whose value did
// not fit it when the database layer names one ("Overflow: 1e+309 does not fit field aprice"), else
// the database's own words.
QString RowWriteFailure(const DbError &e, int row)
{
    static const std::pair<const char *, const char *> labels[] = {
        {"code", "股票代码"}, {"sname", "股票名称"}, {"bdate", "买入日期"}, {"bprice", "买入价格"},
        {"num", "数量"},      {"tnum", "数量"},      {"sdate", "卖出日期"}, {"sprice", "卖出价格"},
        {"bcash", "买入金额"}, {"scash", "卖出金额"}, {"aprice", "成本价"},  {"memo", "备注"}};
    const qsizetype at = e.text.lastIndexOf(QStringLiteral(" field "));
    const QString field = at < 0 ? QString() : e.text.mid(at + 7);
    for (const auto &[name, label] : labels) {
        if (field == QLatin1String(name)) {
            const bool overflow = e.text.startsWith(QStringLiteral("Overflow"));
            return RowText(row) + QString::fromUtf8(label) +
                   (overflow ? QStringLiteral("超出范围") : QStringLiteral("的数据类型不符"));
        }
    }
    return RowText(row) + QStringLiteral("无法写入：") + e.text;
}

// The rows of a run over the records read, with the prepared mapping.
double RunRows(const CsvRecords &read, const Mapping &map, int &startRow, int &endRow)
{
    const double after = DayNumberOf(1990, 1, 1);
    double earliest = DayNumberOf(2100, 1, 1);
    double result = kEmptyDate;
    ImportSession session;
    bool written = false;

    ShowIndicator(QStringLiteral("正在读取CSV表格数据……"), endRow - startRow + 1, 0, true);
    if (endRow > read.count)
        endRow = read.count;
    const double today = MarketTodayDayNumber();

    // The rows are committed together when the run ends, whichever way it ends, with the stock ids of
    // the records written (so that none keeps sid 0): one commit instead of one per row. A failed
    // commit keeps nothing of the run.
    const auto finish = [&]() -> std::optional<DbError> {
        if (!session.conn.IsOpen())
            return std::nullopt;
        if (written)
            ExecSql(kFillStockIds, &session.conn);
        if (session.conn.Commit())
            return std::nullopt;
        const DbError e = session.conn.lastError;
        LogDbError(e, QStringLiteral("COMMIT"));
        session.conn.Rollback();
        result = kEmptyDate;
        return e;
    };
    const auto failureMessage = [](const DbError &e) {
        MsgBox(QStringLiteral("CSV文件导入错误！[") + QString::number(e.number) + u':' + e.text + u']');
    };
    const auto fail = [&](const DbError &e) {
        HideIndicator();
        const auto lost = finish();
        failureMessage(lost ? *lost : e);
        return result;
    };

    // The bar moves one step per row written.
    IndicatorSteps steps;
    int row = startRow;
    for (; row <= endRow; ++row) {
        if (row < 1) {
            endRow = row - 1;
            break;
        }
        QStringList fields;
        if (const QString message = CheckRecord(read, map, row, endRow, fields); !message.isEmpty()) {
            MsgBox(message);
            break;
        }
        if (row > endRow)
            break;
        QStringList v;
        for (const QString &d : map.prepared)
            v << GetMappedValue(fields, d);
        // An amount beyond the range of a double keeps its text, which the check refuses.
        std::optional<double> amounts[ivCount];
        for (int i : {ivBuyNum, ivBuyPrice, ivSellNum, ivSellPrice}) {
            amounts[i] = ImportAmount(v[i]);
            if (amounts[i])
                v[i] = NumberText(*amounts[i]);
        }
        v[ivCode] = NormalizeStockCode(v[ivCode]);
        // An empty text is no date here (ParseDate would take it for the empty date).
        const std::optional<double> buyDate = ReadDateText(v[ivBuyDate]);
        const std::optional<double> sellDate = ReadDateText(v[ivSellDate]);
        if (const QString message = CheckRowValues(v, amounts, buyDate, sellDate, today, row); !message.isEmpty()) {
            MsgBox(message);
            break;
        }
        const double bdate = *buyDate;
        const double sdate = *sellDate;
        if (LeadingNumber(v[ivBuyPrice]) > 0 && bdate < earliest && bdate > after)
            earliest = bdate;
        if (LeadingNumber(v[ivSellPrice]) > 0 && sdate < earliest && sdate > after)
            earliest = sdate;

        if (!session.conn.IsOpen()) {
            if (!OpenConn(session.conn))
                return fail(session.conn.lastError);
            // Room for the pages of the whole run, which are written once, at its commit.
            session.conn.ExecuteNative(QStringLiteral("PRAGMA cache_size=-65536"));
            if (!session.conn.Begin()) {
                const DbError e = session.conn.lastError;
                LogDbError(e, QStringLiteral("BEGIN IMMEDIATE"));
                session.conn.Close();
                return fail(e);
            }
        }
        DbError error;
        const int done = ImportTradeRow(v, session, error);
        if (done == -1)
            break;
        if (done < 0) {
            error.text = RowWriteFailure(error, row);
            return fail(error);
        }
        written = true;
        steps.Step();
        result = earliest;
    }

    steps.Flush();
    HideIndicator();
    if (const auto lost = finish())
        failureMessage(*lost);
    else if (row <= endRow)
        MsgBox(QStringLiteral("导入第") + QString::number(row) + QStringLiteral("行时出现错误！共导入") +
               QString::number(row - startRow) + QStringLiteral("行数据。"));
    else
        MsgBox(QStringLiteral("数据导入完成！"));
    return result;
}

// The name of the stock in the stock list, read on conn once per code; "" when it is not listed.
std::optional<QString> StockName(ImportSession &session, DbConnection &conn, const QString &code, DbError &error)
{
    if (const auto found = session.names.constFind(code); found != session.names.constEnd())
        return *found;
    const QString sql = QStringLiteral("SELECT TOP 1 name FROM companyinfo WHERE code=") + SqlQuote(code);
    RecordSet rs;
    if (!rs.Open(conn, sql)) {
        error = conn.lastError;
        LogDbError(error, sql);
        return std::nullopt;
    }
    const QString name = rs.AtEOF() ? QString() : rs.Field(QStringLiteral("name")).ToText();
    session.names.insert(code, name);
    return name;
}

}  // namespace

void NormalizeMapEntries(QStringList &designations)
{
    for (qsizetype i = 1; i < designations.size(); ++i) {
        QString d = designations[i];
        d.replace(u'”', u'"').replace(u'“', u'"').replace(u'，', u',');
        d = d.trimmed();
        if (d.startsWith(u','))
            d.remove(0, 1);
        if (d.endsWith(u','))
            d.chop(1);
        designations[i] = d;
    }
}

QString PrepareDesignation(const QString &designation)
{
    const qsizetype first = designation.indexOf(u'"');
    if (first >= 0)
        return u'S' + designation.mid(first + 1, designation.lastIndexOf(u'"') - first - 1);
    return QString::number(ColumnLettersToNumber(designation));
}

QString GetMappedValue(const QStringList &fields, const QString &prepared)
{
    if (prepared.startsWith(u'S'))
        return prepared.mid(1);
    const auto column = ClngOf(LeadingNumber(prepared));
    if (!column || *column < 1 || *column > fields.size())
        return QString();
    return fields[*column - 1];
}

double ImportCsvRows(const QString &path, int &startRow, int &endRow)
{
    BusyGuard busy;
    if (!IsCsvPath(path)) {
        MsgBox(QStringLiteral("CSV文件导入错误！[0:]"));
        return kEmptyDate;
    }
    const auto map = ReadMapping();
    if (!map)
        return kEmptyDate;
    CsvRecords read;
    if (!ReadCsvFile(path, read, startRow, endRow)) {
        MsgBox(QStringLiteral("CSV文件导入错误！[") + QString::number(read.errorNumber) + u':' + read.errorText + u']');
        return kEmptyDate;
    }
    return RunRows(read, *map, startRow, endRow);
}

std::vector<int> MappedColumns()
{
    std::vector<int> columns;
    if (const auto map = ReadMapping()) {
        for (const QString &p : map->prepared)
            if (!p.startsWith(u'S') && p.toInt() > 0)
                columns.push_back(p.toInt());
    }
    return columns;
}

double ImportRecordRows(const QStringList &records, int &startRow, int &endRow)
{
    BusyGuard busy;
    const auto map = ReadMapping();
    if (!map)
        return kEmptyDate;
    CsvRecords read;
    read.records = records;
    read.count = static_cast<int>(records.size());
    return RunRows(read, *map, startRow, endRow);
}

int64_t SumOpenNum(RecordSet &rs)
{
    int64_t sum = 0;
    if (rs.RecordCount() == 0)
        return 0;
    rs.MoveFirst();
    for (int k = 0; k < rs.RecordCount() && !rs.AtEOF(); ++k) {
        sum += static_cast<int64_t>(std::llround(rs.Field(QStringLiteral("num")).ToDouble()));
        rs.MoveNext();
    }
    rs.MoveFirst();
    return sum;
}

bool AddAccountRec(RecordSet &rs, const ImportLot &lot, bool addNew, ImportSession &session)
{
    bool ok = rs.Connection() != nullptr;
    if (!ok)
        rs.lastError = MakeDbError(QStringLiteral("the record set is not open"));
    if (ok && addNew) {
        const auto name = StockName(session, *rs.Connection(), lot.code, rs.lastError);
        if (!name)
            return false;
        ok = rs.AddNew() && rs.Set(QStringLiteral("code"), MakeString(lot.code)) &&
             rs.Set(QStringLiteral("sname"), MakeString(*name)) && rs.Set(QStringLiteral("bdate"), MakeDate(lot.bdate)) &&
             rs.Set(QStringLiteral("bprice"), MakeDouble(lot.bprice)) &&
             rs.Set(QStringLiteral("num"), MakeLong(lot.num)) && rs.Set(QStringLiteral("tnum"), MakeLong(lot.tnum));
    }
    const bool open = lot.sprice <= 0 || lot.sdate < lot.bdate;
    ok = ok && rs.Set(QStringLiteral("sdate"), MakeDate(open ? kEmptyDate : lot.sdate)) &&
         rs.Set(QStringLiteral("sprice"), MakeDouble(open ? 0 : lot.sprice));
    if (ok && !lot.memo.isEmpty())
        ok = rs.Set(QStringLiteral("memo"), MakeString(lot.memo));
    // A new record is written first, for its id; a changed one is written together with its amounts,
    // which RecalcTradeAmounts works out from the changed fields (one statement instead of two).
    ok = ok && (!addNew || rs.Update());
    if (!ok) {
        LogDbError(rs.lastError, QStringLiteral("SELECT * FROM account"));
        rs.CancelUpdate();
        return false;
    }
    // RecalcTradeAmounts logs its own failures.
    return RecalcTradeAmounts(rs.Field(QStringLiteral("id")), &rs);
}

int ImportTradeRow(const QStringList &values, ImportSession &session, DbError &error)
{
    const auto whole = [&](int i) { return static_cast<int64_t>(ClngOf(LeadingNumber(values[i])).value_or(0)); };
    const int64_t bought = whole(ivBuyNum);
    const int64_t sold = whole(ivSellNum);
    ImportLot lot;
    lot.code = values[ivCode];
    lot.bdate = ParseDate(values[ivBuyDate]).value_or(kEmptyDate);
    lot.sdate = ParseDate(values[ivSellDate]).value_or(kEmptyDate);
    lot.bprice = ParseAmount(values[ivBuyPrice]);
    lot.sprice = ParseAmount(values[ivSellPrice]);
    lot.memo = values[ivMemo];

    DbConnection &conn = session.conn;
    if (!conn.ExecuteNative(kRowSavepoint)) {
        error = conn.lastError;
        LogDbError(error, kRowSavepoint);
        return -2;
    }
    // Only a row that sells more than it buys needs the open records; the others add records only.
    // A date literal rather than FormatValue's text, which is empty for dates up to 1900-01-01.
    const QString sql = bought < sold ? QStringLiteral("SELECT * FROM account WHERE code=") + SqlQuote(lot.code) +
                                            QStringLiteral(" AND sprice=0 and bdate<=") + SqlDateLiteral(lot.bdate) +
                                            QStringLiteral(" ORDER BY bdate")
                                      : kAddsSql;
    RecordSet opened;
    RecordSet &rs = bought < sold ? opened : session.adds;
    int result = 0;
    bool ok = rs.IsOpen() || rs.Open(conn, sql);
    if (!ok) {
        error = conn.lastError;
        LogDbError(error, sql);
    }
    // A new record of the row: its buy date and price, and the sell price given.
    const auto add = [&](int64_t num, int64_t tnum, double sprice) {
        ImportLot l = lot;
        l.num = static_cast<int32_t>(num);
        l.tnum = static_cast<int32_t>(tnum);
        l.sprice = sprice;
        return AddAccountRec(rs, l, true, session);
    };
    if (ok && bought == sold) {
        if (bought > 0)
            ok = add(bought, bought, lot.sprice);
    } else if (ok && bought > sold) {
        if (sold > 0)
            ok = add(sold, bought, lot.sprice);
        ok = ok && add(bought - sold, bought, 0);
    } else if (ok) {
        int64_t need = sold - bought;
        if (SumOpenNum(rs) < need) {
            MsgBox(QStringLiteral("错误：导入数据中，卖出数量太大导致股票没有买进而直接卖出。"));
            result = -1;
        }
        while (result == 0 && ok && need > 0 && !rs.AtEOF()) {
            int64_t num = static_cast<int64_t>(std::llround(rs.Field(QStringLiteral("num")).ToDouble()));
            if (num > need) {
                // The part that is sold stays on the record; the rest becomes a new open record.
                long id = static_cast<long>(rs.Field(QStringLiteral("id")).ToDouble());
                long keep = static_cast<long>(need);
                ok = SplitAccRec(id, keep, &rs);
                num = need;
            }
            ok = ok && AddAccountRec(rs, lot, false, session);
            need -= num;
            if (ok && need > 0)
                rs.MoveNext();
        }
        if (result == 0 && ok && bought > 0)
            ok = add(bought, bought, lot.sprice);
    }
    if (!ok && !error.failed())
        error = rs.lastError.failed() ? rs.lastError : conn.lastError;
    if (!ok && !error.failed())
        error = MakeDbError(QStringLiteral("无法写入交易记录"));
    opened.Close();
    if (!ok)
        session.adds.Close();  // it may hold rows that are undone now
    if (ok && result == 0 && !conn.ExecuteNative(kRowRelease)) {
        error = conn.lastError;
        LogDbError(error, kRowRelease);
        ok = false;
    }
    if (!ok || result != 0) {
        conn.ExecuteNative(kRowRollback);
        conn.ExecuteNative(kRowRelease);
    }
    return ok ? result : -2;
}
