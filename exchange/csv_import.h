// 读取模块: importing trade records from CSV files. A column mapping (the parameter "导入列号") says
// where each of a row's eight values stands; every imported row becomes new records of table account,
// and a row that sells more than it buys closes the stock's open records first in, first out.
// The CSV reader (csv_read.h) also serves the import dialog's preview.
#pragma once

#include <cstdint>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "exchange/csv_read.h"
#include "platform/db.h"
#include "platform/recordset.h"

// The separator of the stored mapping ("〗★〖").
inline const QString kImportMapSeparator = QStringLiteral("〗★〖");

// The eight values of an imported row, in the order of the mapping.
enum ImportValue { ivCode, ivBuyDate, ivSellDate, ivBuyNum, ivBuyPrice, ivSellNum, ivSellPrice, ivMemo, ivCount };

// Imports rows startRow..endRow (numbered from 1, as the dialog's preview numbers the file's records)
// of the CSV file at path into account, then fills the stock ids (sid) of the records, and shows how
// it went: "数据导入完成！", a row's check message followed by "导入第N行时出现错误！共导入M行数据。", or
// "CSV文件导入错误！[number:description]" when the path does not end in ".csv" (0 and an empty
// description), the file cannot be read (ReadCsvFile: a file that is no regular file or is too large
// is refused with the reason), or a database step fails (the description then names the row, and
// the column when the book could not hold its value). The checks of a row: a stock code (the
// composite index "1A0001" is none), two dates, the sell date not before the buy date when there is
// a sell price, no buy date after today and no sell date after today when there is a sell price
// (today is the market's, China time; a row without a sell price may carry any date as its sell
// date), whole quantities and prices not below 0 nor beyond the range of a double, a quantity or
// price that is empty (a field written as "" too) or begins with a number (ReadAmount: "#N/A" and
// "待定" are refused), prices below kPriceBound (market/service_values.h), a sell price when the row
// sells more than it buys, and closed quotes. A row that fails leaves nothing; the rows before it
// stay: they are committed together when the run ends, whichever way (so a crash in the middle keeps
// nothing of the run, and the file can simply be imported again).
// The run ends quietly where the data ends: at a record without any value (an empty line, or fields
// that are all blank) when no record after it up to endRow has one, and at a start row below 1;
// endRow is lowered to that row − 1, or to the number of records when it lies beyond them. These are
// row errors: a record without any value followed by one with a value, a record with fewer fields
// than min(13, the highest column the mapping names) (the message says how many it has, how many
// are needed, and that a comma separates them), a record whose quotes never close, and one with a
// field longer than kMaxCsvFieldChars. Fewer than five stored designations end the run at once,
// silently. Shows the progress window and holds the busy guard while it runs.
// Returns the earliest buy or sell date (with a price above 0, after 1990-01-01) of the rows imported,
// 2100-01-01 when they carried none, the empty date 1900-01-01 when no row was imported.
double ImportCsvRows(const QString &path, int &startRow, int &endRow);

// The columns of the file (from 1) that the stored mapping names; empty when it names none or fewer
// than five designations are stored.
std::vector<int> MappedColumns();

// The rows of ImportCsvRows over a record list already read (each record its fields joined by
// kCsvFieldSeparator, the first one row 1, "" for a row without any value): for a workbook's rows.
// The same checks, messages, result and lowering of endRow.
double ImportRecordRows(const QStringList &records, int &startRow, int &endRow);

// Cleans typed designations, all but the first (the stock code's, used as stored): curly double
// quotes become plain ones, "，" becomes ",", blanks are trimmed, then one leading and one trailing ","
// are removed.
void NormalizeMapEntries(QStringList &designations);

// The prepared form of a designation: one holding a double quote is a literal, "S" followed by the
// text between its first and its last double quote; any other is the text of its column number
// (ColumnLettersToNumber: "0" for an empty or unusable one).
QString PrepareDesignation(const QString &designation);

// The value a prepared designation gives for one record's fields: a literal its text, a column number
// (rounded, halves to even) the field at column number − 1, "" when there is no such field.
QString GetMappedValue(const QStringList &fields, const QString &prepared);

// What one import run keeps: its one connection to ACC.MDB, the stock names read so far by code, and
// a record set over account that new records are added through (opened at the first, kept for the
// run, so that its prepared statements serve every row).
struct ImportSession {
    DbConnection conn;
    QHash<QString, QString> names;
    RecordSet adds;
};

// One record to write: the stock, the dates as day numbers, shares, prices in yuan per share, the
// trade's shares (tnum) and the remark.
struct ImportLot {
    QString code;
    double bdate = 0;
    double sdate = 0;
    int32_t num = 0;
    double bprice = 0;
    double sprice = 0;
    int32_t tnum = 0;
    QString memo;
};

// Writes one row's values (checked by the caller: a clean code, both dates, quantities and prices not
// below 0 and within 32 bits) into account on the session's connection, under a savepoint (a
// transaction of its own, or part of one the caller holds):
// - bought = sold: one record of the bought shares (closed when the sell price is above 0);
// - bought > sold: the sold shares as a closed record and the rest as an open one, both with
//   tnum = bought;
// - bought < sold: the excess closes the stock's open records bought up to the row's buy date,
//   oldest first, the last one split when it holds more than is left to close; then the bought
//   shares are written bought and sold on the row.
// Returns 0 when the row was written; -1 when the open records hold fewer shares than the excess
// ("错误：导入数据中，卖出数量太大导致股票没有买进而直接卖出。" shown, nothing written); -2 when a
// database step failed (logged, the error in `error`, the row undone).
int ImportTradeRow(const QStringList &values, ImportSession &session, DbError &error);

// The sum of num over every record of the set, moving forward from the first; the set is left on its
// first record when it has any.
int64_t SumOpenNum(RecordSet &rs);

// With addNew, adds a record with the lot's code, its stock name from companyinfo ("" when the code
// is not listed; looked up once per code on the set's connection and kept in the session), buy date,
// buy price, shares and trade shares; without it, changes the set's current record, whose fields
// stay. Either way: the lot's sell date and price, or the empty date and 0 when the sell price is 0
// or the sell date lies before the buy date; the memo when it is not empty. Then writes the record
// and recomputes its amounts (RecalcTradeAmounts). False, with the error in rs.lastError (logged),
// when a step fails.
bool AddAccountRec(RecordSet &rs, const ImportLot &lot, bool addNew, ImportSession &session);
