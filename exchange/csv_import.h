// 读取模块: importing trade records from CSV files. A column mapping (the parameter "导入列号") says
// where each of a row's eight values stands; every imported row becomes new records of table account,
// and a row that sells more than it buys closes the stock's open records first in, first out.
// The small CSV parser here also serves the import dialog's preview.
#pragma once

#include <cstdint>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "platform/db.h"
#include "platform/flex_grid.h"
#include "platform/recordset.h"

// The separator of the fields of a converted record ("ζζ"), and of the stored mapping ("〗★〖").
inline const QString kCsvFieldSeparator = QStringLiteral("ζζ");
inline const QString kImportMapSeparator = QStringLiteral("〗★〖");

// The eight values of an imported row, in the order of the mapping.
enum ImportValue { ivCode, ivBuyDate, ivSellDate, ivBuyNum, ivBuyPrice, ivSellNum, ivSellPrice, ivMemo, ivCount };

// Imports rows startRow..endRow (numbered from 1, as the dialog's preview numbers the file's records)
// of the CSV file at path into account, then fills the stock ids (sid) of the records, and shows how
// it went: "数据导入完成！", a row's check message followed by "导入第N行时出现错误！共导入M行数据。", or
// "CSV文件导入错误！[number:description]" when the path does not end in ".csv" (0 and an empty
// description), the file cannot be read, or a database step fails (the description then names the
// row, and the column when the book could not hold its value). The checks of a row: a stock code
// (the composite index "1A0001" is none), two dates, the sell date not before the buy date when
// there is a sell price, whole quantities and prices not below 0 nor beyond the range of a double,
// prices below kPriceBound (market/service_values.h), a sell price when the row sells more than it
// buys, and closed quotes. A row that fails leaves nothing; the rows before it stay: they are
// committed together when the run ends, whichever way (so a crash in the middle keeps nothing of the
// run, and the file can simply be imported again).
// The file is UTF-8 when it decodes cleanly as UTF-8 (a byte-order mark first left out), else GBK; lines
// end at CR LF, LF or a lone CR. The run ends quietly at the first record (an empty line included)
// with fewer fields than min(13, the highest column the mapping names), and at a start row below 1;
// endRow is lowered to that row − 1, or to the number of records when it lies beyond them.
// Fewer than five stored designations end the run at once, silently. Shows the progress window and
// holds the busy guard while it runs.
// Returns the earliest buy or sell date (with a price above 0, after 1990-01-01) of the rows imported,
// 2100-01-01 when they carried none, the empty date 1900-01-01 when no row was imported.
double ImportCsvRows(const QString &path, int &startRow, int &endRow);

// The columns of the file (from 1) that the stored mapping names; empty when it names none or fewer
// than five designations are stored.
std::vector<int> MappedColumns();

// The rows of ImportCsvRows over a record list already read (each record its fields joined by
// kCsvFieldSeparator, the first one row 1): for a workbook's rows. The same checks, messages, result
// and lowering of endRow.
double ImportRecordRows(const QStringList &records, int &startRow, int &endRow);

// Reads the whole CSV file at path into records, one per record of the file, each converted by
// CsvLineToFields. A record whose quotes are still open takes in the following lines (joined with
// CR LF) until it closes, at most 101 of them, and is empty if it never does (its number, from 1, is
// then added to unclosed); the records after it keep consecutive numbers. The text gets a line end
// appended, so the list ends with an empty record. A path not ending in ".csv" leaves the list empty.
// False, with the list empty and the reason in errorText (and its number in errorNumber), when the
// file cannot be read.
bool ReadCsvFile(const QString &path, QStringList &records, int *errorNumber = nullptr, QString *errorText = nullptr,
                 std::vector<int> *unclosed = nullptr);

// Reads the file at path as text: UTF-8 when it decodes cleanly as UTF-8 (a byte-order mark first left
// out), else GBK. False, with the text empty and the reason in errorText (its number in
// errorNumber), when the file cannot be read.
bool ReadCsvText(const QString &path, QString &text, int *errorNumber = nullptr, QString *errorText = nullptr);

// The records of a CSV text as ReadCsvFile makes them from it (ReadCsvFile appends a line end first),
// the first maxRecords only when it is 1 or more; the numbers of the records whose quotes never
// closed are added to unclosed.
QStringList CsvTextToRecords(const QString &text, qsizetype maxRecords = 0, std::vector<int> *unclosed = nullptr);

// Fills the import dialog's preview with the CSV file at path: one row appended per record of the
// file, numbered from 1 in column 0 as the import numbers the rows, the record's fields in columns 1,
// 2, ... as far as the grid has columns; an empty record gives an empty numbered row. The lines are
// read as ReadCsvFile reads them, so the numbers agree with the import's, but a line end at the end of
// the file starts no further record. At most 201 records, and no more than 330000 cells. A path not
// ending in ".csv" and a file that cannot be read leave the grid as it was.
void ReadCsvPreview(FlexGrid &grid, const QString &path);

// One CSV record (one line, or lines joined with CR LF) as its fields joined by kCsvFieldSeparator;
// "" for an empty text and when a quoted section is still open. Quotes are removed and commas inside
// quoted sections kept; a doubled quote stands for one quote (so a field written as "" alone yields
// one quote); text outside quotes is kept exactly, blanks included; a field may be quoted in part.
// The characters "ζ" and "ξ" serve as markers and must not occur in the text.
QString CsvLineToFields(const QString &line);

// How many times ch repeats in text from the 0-based position start on (0 when it is not there).
int CountCharRun(const QString &text, QChar ch, int start);

// The number of occurrences of sub in text, counted from the left without overlap; 0 for an empty sub.
int CountSubstr(const QString &text, const QString &sub);

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
