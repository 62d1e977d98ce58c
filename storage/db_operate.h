// DB_Operate: every read and write of ACC.MDB. A connection is opened per operation and released
// afterwards (borrowing the idle connection of platform/db.h when it is held and free). Database
// failures are appended to RunErr.txt in the program folder and are otherwise silent: the caller gets
// an empty result or its default. Also the text-file procedures (appending a line, reading a whole
// file with retries).
#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/recordset.h"
#include "platform/run_log.h"  // AppendText and LogDbError, the log every layer writes to
#include "platform/value.h"

inline const QString kAccDb = QStringLiteral("ACC.MDB");

// The waits of the layer: between the retries of OpenRs on a file in use (ms), and the events let
// through between the attempts of OpenConn and of ReadTextFile (before each attempt, and after an
// empty read). Tests shorten them.
struct DbRetryTiming {
    int openRsWaitMs = 5000;
    long openConnEvents = 100000;
    long readTextEvents = 100;
    long readTextEmptyEvents = 1000;
};
DbRetryTiming GetDbRetryTiming();
void SetDbRetryTiming(const DbRetryTiming &timing);

// Opens the database file `file` in the program folder. While the file is in use (busy, locked) up to
// 10 attempts with DoEventsN(100000) between them; any other failure (missing, no database, a folder)
// at once. On failure one log entry (no SQL line) and false, conn left unopened.
bool OpenConn(DbConnection &conn, const QString &file = kAccDb);

// Releases the pair, opens a new connection and the record set over the Jet-dialect SQL, standing on
// the first row. When the file is held by another connection: up to 10 retries 5000 ms apart.
// Any other failure: one log entry with the SQL, false, rs not open.
bool OpenRs(DbConnection &conn, RecordSet &rs, const QString &sql, const QString &file = kAccDb);

// Releases the record set and the connection.
void CloseRs(DbConnection &conn, RecordSet &rs);

// Runs an action statement on conn, or on a connection of its own when conn is null. A failure is
// logged with the SQL; the result tells whether the statement ran (callers may ignore it).
bool ExecSql(const QString &sql, DbConnection *conn = nullptr, const QString &file = kAccDb);

// The result field of the first row of "SELECT * FROM table WHERE keyField=key" (a text key quoted,
// a date key as a date literal, a number as plain digits); "" when there is no row or the query fails.
QString LookupField(const QString &table, const Value &key, const QString &keyField, const QString &resultField);

// The field of the first row of "SELECT TOP 1 field FROM table WHERE condition", or of `sql` when it
// is not empty (then table, condition and field are not used); an empty sql receives the built text.
// The default when there is no row; an Empty value when the query fails.
Value GetFieldValue(const QString &table, const QString &condition, const QString &field, const QString &file,
                    QString &sql, const Value &defaultValue);
Value GetFieldValue(const QString &table, const QString &condition, const QString &field,
                    const Value &defaultValue, const QString &file = kAccDb);

// One text per name of the comma-separated field list: the value of that field in the first row of
// "SELECT * FROM table WHERE condition". Without a row (or on failure) the names themselves; empty
// names stay "".
QStringList GetRecordFields(const QString &table, const QString &condition, const QString &fieldList,
                            const QString &file = kAccDb);

// The number of rows of "SELECT fields FROM table [WHERE condition]"; 0 on any failure.
int CountRecords(const QString &table, const QString &condition, const QString &fields = QStringLiteral("*"),
                 const QString &file = kAccDb);

// The number of distinct values of field; 0 after logging when the query fails.
int CountGroups(const QString &table, const QString &field, const QString &condition, const QString &file = kAccDb);

// The distinct values of field in ascending order at 1..n, element 0 "" (dates as "YYYY-MM-DD").
// With a second field, secondValues receives the leading number of each row's second field at 1..n,
// rounded to a whole number (halves to even). On failure, after logging, just the element 0 (and a
// second value 0); a leading number beyond 32 bits is such a failure.
QStringList GetGroupList(const QString &table, const QString &field, const QString &condition,
                         const QString &secondField = QString(), std::vector<long> *secondValues = nullptr,
                         const QString &file = kAccDb);

// values becomes 0..n: element 0 the first value when it is given and not "", else Empty; 1..n the
// distinct values of field in ascending order. Only element 0 when the query fails.
void LoadGroupValues(std::vector<Value> &values, const QString &table, const QString &field,
                     const QString &condition, const QString &file = kAccDb, const QString &firstValue = QString());

// sql & " WHERE " & condition when sql has no "WHERE" (any case), else sql & " AND " & condition;
// the condition trimmed.
QString AddWhereCondition(const QString &sql, const QString &condition);

// True when the database holds a table of exactly that name (case-sensitive); false also when the
// schema cannot be read.
bool TableExists(const QString &table, const QString &file = kAccDb);

// Element 0 "", then the names of the tables containing text (case-sensitive), sorted by name.
QStringList ListTablesLike(const QString &text, const QString &file = kAccDb);

// True when the table has a column of exactly that name (case-sensitive); false when it cannot be read.
bool FieldExists(const QString &table, const QString &field, const QString &file = kAccDb);

// Adds the column when it is missing and fills it in every row: '' for "STRING", the empty date for
// "DATE", 0 otherwise.
void AddFieldIfMissing(const QString &table, const QString &field, const QString &typeText,
                       const QString &file = kAccDb);

// Drops every table whose name contains text.
void DropTablesLike(const QString &text, const QString &file = kAccDb);

// The whole text of a GBK file, retried while it cannot be read or is still empty; after 100
// attempts the message "无法打开下载文档：" and "". With deleteAfter set, the file is deleted once read.
QString ReadTextFile(const QString &path, bool &deleteAfter);

// Watches the errors written to RunErr.txt (SetDbErrorObserver) and tells the user the first time in
// the run that each kind of failure occurs, naming the book ACC.MDB:
// - damage: the newest kept copy beside the book (KeptBookCopies) or that there is none, and the
//   question whether to go on (Yes; 恢复备份 can then put a backup in its place) or to end (No): the
//   program then ends at once, writing nothing more, through the end set by SetDbDamageEnd;
// - a disk I/O error: what may be lost and to check the disk;
// - a full disk: that nothing more can be saved until space is freed.
// Each message shows through the prompter while the busy guard is held. With on false the watch ends
// and the marks of failures told are cleared (tests start afresh so).
void WatchDbFailures(bool on = true);

// Clears the marks of failures told without starting or ending the watch: the book now in place (a
// restored backup) is another file, and each failure of it is told once again.
void ForgetDbFailuresTold();

// How the program ends when the user chooses to after the damage message: by default the process
// exits at once with code 1. An empty function restores the default; tests record the choice instead.
void SetDbDamageEnd(std::function<void()> end);
