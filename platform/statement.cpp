// The prepared statement.
#include "statement.h"

#include <sqlite3.h>

#include "run_log.h"

Statement::Statement(DbConnection &conn, const QString &sql) : m_conn(conn), m_sql(sql), m_utf8(sql.toUtf8())
{
    if (!conn.IsOpen()) {
        Fail(SQLITE_MISUSE);
        return;
    }
    m_stmt = conn.TakeKeptStatement(m_utf8);
    if (m_stmt)
        return;
    const int rc =
        sqlite3_prepare_v2(conn.Handle(), m_utf8.constData(), static_cast<int>(m_utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        Fail(rc);
}

Statement::~Statement()
{
    // Kept on the connection for the next statement of the same text when it can be.
    if (m_stmt && !m_failed && m_conn.Handle() == sqlite3_db_handle(m_stmt) && m_conn.KeepStatement(m_utf8, m_stmt))
        return;
    sqlite3_finalize(m_stmt);
}

Statement &Statement::Bind(int i, double v)
{
    if (!m_failed) {
        const int rc = sqlite3_bind_double(m_stmt, i, v);
        if (rc != SQLITE_OK)
            Fail(rc);
    }
    return *this;
}

Statement &Statement::Bind(int i, long long v)
{
    if (!m_failed) {
        const int rc = sqlite3_bind_int64(m_stmt, i, v);
        if (rc != SQLITE_OK)
            Fail(rc);
    }
    return *this;
}

Statement &Statement::Bind(int i, const QString &text)
{
    if (!m_failed) {
        const QByteArray utf8 = text.toUtf8();
        const int rc =
            sqlite3_bind_text(m_stmt, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            Fail(rc);
    }
    return *this;
}

bool Statement::Next()
{
    if (m_failed || !m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        Fail(rc);
    sqlite3_reset(m_stmt);
    return false;
}

bool Statement::Run()
{
    while (Next()) {
    }
    return ok();
}

void Statement::Reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

bool Statement::IsNull(int col) const
{
    return sqlite3_column_type(m_stmt, col) == SQLITE_NULL;
}

bool Statement::IsWhole(int col) const
{
    return sqlite3_column_type(m_stmt, col) == SQLITE_INTEGER;
}

double Statement::Double(int col) const
{
    return sqlite3_column_double(m_stmt, col);
}

long long Statement::Int(int col) const
{
    return sqlite3_column_int64(m_stmt, col);
}

QString Statement::Text(int col) const
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col)),
                             sqlite3_column_bytes(m_stmt, col));
}

void Statement::Fail(int rc)
{
    if (m_failed)
        return;
    m_failed = true;
    m_error = m_conn.IsOpen() ? MakeDbError(m_conn.Handle(), rc)
                              : MakeDbError(QStringLiteral("the connection is not open"));
    LogDbError(m_error, m_sql);
}
