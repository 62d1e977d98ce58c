// A prepared statement in SQLite's own dialect on an open connection, for the procedures that read
// many rows fast: bound parameters, rows stepped one by one, finalized when destroyed (or, on the
// idle connection's handle, kept there for the next statement of the same text). The first failure
// is logged to RunErr.txt once, with the statement's text; the statement then does nothing.
#pragma once

#include <QByteArray>
#include <QString>

#include "db.h"

struct sqlite3_stmt;

class Statement {
public:
    // Prepares sql on conn (which must outlive the statement). A failure, or a closed connection, is
    // logged and leaves the statement failed.
    Statement(DbConnection &conn, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // False once anything failed; error() tells what.
    bool ok() const { return !m_failed; }
    const DbError &error() const { return m_error; }
    const QString &sql() const { return m_sql; }

    // Binds parameter i (counted from 1, as ?1, ?2 ... in the text). Nothing after a failure.
    Statement &Bind(int i, double v);
    Statement &Bind(int i, long long v);
    Statement &Bind(int i, const QString &text);

    // Steps to the next row: true on a row; false at the end (the statement is then reset, so that it
    // holds no lock and can be bound and run again) or on a failure (logged; ok() turns false).
    bool Next();
    // Runs a statement that returns no rows; false on a failure.
    bool Run();
    // Lets go of a statement that was not read to its end.
    void Reset();

    // The columns of the current row, counted from 0.
    bool IsNull(int col) const;
    // True when the value is stored as a whole number (not as a real, a text or NULL).
    bool IsWhole(int col) const;
    double Double(int col) const;
    long long Int(int col) const;
    QString Text(int col) const;

private:
    void Fail(int rc);

    DbConnection &m_conn;
    QString m_sql;
    QByteArray m_utf8;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_failed = false;
    DbError m_error;
};
