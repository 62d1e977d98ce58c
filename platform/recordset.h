// The record set that stands in for the original's keyset record set: every row of a query read
// into memory at open (so no lock is held afterwards), an exact RecordCount, moves in both
// directions, fields by name (without regard to case) or position, and AddNew/Update/Delete written
// back to the single base table by rowid with bound parameters.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "db.h"
#include "value.h"

struct sqlite3_stmt;

// A column of a record set: its name as SQLite reports it and the kind of value it holds, taken
// from the declared type (DATE → Date, INTEGER → Long, DOUBLE → Double, FLOAT → Single,
// TEXT → String); a column without a declared type takes the kind of each value's storage class,
// except MIN(c) and MAX(c) over a DATE column of the table the query reads, which are dates.
struct DbField {
    QString name;
    QString declaredType;
    VType kind = VType::Empty;  // Empty when the column has no declared type
};

class RecordSet {
public:
    RecordSet() = default;

    // Runs a Jet-dialect SELECT on the connection and reads all of its rows; stands on the first row
    // (BOF and EOF both true when there are none). False, with conn.lastError set, when the query
    // fails; the set is then not open. A set over "SELECT ... FROM <one table> ..." is updatable.
    bool Open(DbConnection &conn, const QString &jetSql);
    void Close();
    bool IsOpen() const { return m_open; }
    bool IsUpdatable() const { return !m_table.isEmpty(); }
    // The connection the set reads and writes through, and its base table ("" when read-only).
    DbConnection *Connection() const { return m_conn; }
    const QString &Table() const { return m_table; }

    int RecordCount() const { return static_cast<int>(m_rowids.size()); }
    bool AtBOF() const;
    bool AtEOF() const;
    // Moves. MoveNext at EOF and MovePrevious at BOF fail (false) and leave the position; moving
    // off a row with pending changes writes them first.
    bool MoveFirst();
    bool MoveLast();
    bool MoveNext();
    bool MovePrevious();
    // 1-based position of the current row; 0 at BOF or EOF. Setting it to 1..RecordCount moves there.
    int AbsolutePosition() const;
    bool SetAbsolutePosition(int position);

    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    const DbField &FieldInfo(int index) const { return m_fields[index]; }
    // Index of a field by name, without regard to case; -1 when there is none.
    int FieldIndex(const QString &name) const;

    // The value of a field of the current row. Nothing when there is no current row (BOF, EOF, a
    // deleted row) or no such field; the reason is in lastError.
    std::optional<Value> Get(const QString &name) const;
    std::optional<Value> Get(int index) const;
    // Get(name), or an Empty value when it cannot be read, for callers that ignore errors.
    Value Field(const QString &name) const;

    // Assigns a field of the current row (or of the new row after AddNew), converted by the column's
    // declared type as the original engine did: a text that is no number into a number column, a text
    // that is no date into a date column, or a whole number out of range fails (false, lastError set,
    // nothing changed). Empty and Null store NULL.
    bool Set(const QString &name, const Value &v);
    bool Set(int index, const Value &v);

    // Starts a new row; Update inserts only the fields that were set (the column defaults apply to the
    // others), appends the row to the set, makes it current and reads its id back at once.
    bool AddNew();
    // Writes the pending changes of the current or new row. True when there were none.
    bool Update();
    // Discards the pending changes.
    void CancelUpdate();
    // Deletes the current row from the table and the set; the position stays on the gap until a move.
    bool Delete();

    // A snapshot of the current row's values, in field order.
    std::vector<Value> Snapshot() const;

    mutable DbError lastError;

private:
    // One value of a row, kept small: a number (or date, Boolean) in num, a text as its place in the
    // UTF-8 pool m_texts (offset, length). Texts become QStrings only when read.
    struct Cell {
        union {
            double num;
            uint32_t text[2];
        };
        VType type;
    };
    Cell CellOf(const Value &v);
    Value ValueOf(const Cell &c) const;
    Value CellValue(int row, int index) const
    {
        return ValueOf(m_cells[static_cast<size_t>(row) * m_fields.size() + index]);
    }
    // Appends the current row of a statement (columns from `first` on) to m_cells.
    void AppendCells(sqlite3_stmt *stmt, int first);
    // The storage of the last closed set, reused by the next one opened on the thread, so that
    // reading a large result does not fault in fresh memory every time.
    struct Spare;
    static Spare &SpareStorage();
    bool WritePending();
    bool LeaveRow();  // before a move or AddNew: the set must be open; pending changes are written
    bool HasCurrentRow() const;
    bool Fail(const QString &text) const;  // sets lastError, returns false

    DbConnection *m_conn = nullptr;
    bool m_open = false;
    QString m_table;  // base table when updatable
    std::vector<DbField> m_fields;
    std::vector<long long> m_rowids;  // one per row
    std::vector<Cell> m_cells;         // rows × fields, row by row
    QByteArray m_texts;
    int m_pos = 0;          // 0-based; -1 = BOF, size() = EOF
    bool m_onGap = false;   // the current row was deleted
    bool m_adding = false;
    std::vector<Value> m_pending;
    std::vector<bool> m_dirty;
    // The last UPDATE and the last INSERT prepared, each kept for the next row that writes the same
    // columns (a loop over the rows of a set, or adding rows one after another, writes the same ones
    // each time), with the columns and the handle it is for; and the read-back of an added row.
    struct StmtDeleter {
        void operator()(sqlite3_stmt *stmt) const;
    };
    struct KeptStmt {
        std::unique_ptr<sqlite3_stmt, StmtDeleter> stmt;
        std::vector<int> columns;
        struct sqlite3 *db = nullptr;
        // The kept statement when it is for db and these columns, else nothing.
        sqlite3_stmt *For(struct sqlite3 *handle, const std::vector<int> &cols) const;
        void Keep(sqlite3_stmt *prepared, struct sqlite3 *handle, const std::vector<int> &cols);
        void Reset();
    };
    KeptStmt m_update;
    KeptStmt m_insert;
    KeptStmt m_reread;
};

// Translates a Jet-dialect SQL text into SQLite's (TOP n, #dates#, DELETE *, "…" strings, TRUE/FALSE,
// bare now, the DDL types, id AUTOINCREMENT, the joined UPDATE). Nothing, with the reason in `why`,
// when the text holds a second statement or a "&".
std::optional<QString> TranslateJetSql(const QString &jetSql, QString *why = nullptr);

// The text value in single quotes with its single quotes doubled, for splicing into SQL.
QString SqlQuote(const QString &text);

// A date as the Jet literal "#YYYY-MM-DD#" (the date part of the day number).
QString SqlDateLiteral(double dayNumber);

// "H_" & code, only for a code of six characters of [0-9A-Za-z]; nothing for anything else.
std::optional<QString> HistoryTableName(const QString &code);
