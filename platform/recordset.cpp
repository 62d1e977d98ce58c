// The record set: all rows of a query read at open, then moved through in memory; changes written
// back to the single base table by rowid with bound parameters.
#include "recordset.h"

#include <cmath>
#include <limits>

#include <sqlite3.h>

#include "daynum.h"
#include "jet_sql.h"

namespace {

// The kind of value a declared column type holds.
VType KindOfDeclaredType(const char *decl)
{
    if (!decl || !*decl)
        return VType::Empty;
    const QByteArray d = QByteArray(decl).toUpper();
    if (d.startsWith("DATE"))
        return VType::Date;
    if (d.contains("INT") || d.startsWith("LONG"))
        return VType::Long;
    if (d.startsWith("DOUBLE") || d.startsWith("REAL"))
        return VType::Double;
    if (d.startsWith("FLOAT") || d.startsWith("SINGLE"))
        return VType::Single;
    if (d.contains("TEXT") || d.contains("CHAR") || d.contains("CLOB") || d.startsWith("STRING") ||
        d.startsWith("MEMO"))
        return VType::String;
    return VType::Empty;
}

QString ColumnText(sqlite3_stmt *stmt, int col)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, col)),
                             sqlite3_column_bytes(stmt, col));
}

// A text found in a DATE column (a file written by something else): a date when it reads as one.
Value DateOfText(const QString &text)
{
    if (auto d = ReadDateText(text, true))
        return MakeDate(*d);
    return MakeString(text);
}

void BindValue(sqlite3_stmt *stmt, int param, const Value &v)
{
    switch (v.type) {
    case VType::Empty:
    case VType::Null:
        sqlite3_bind_null(stmt, param);
        break;
    case VType::Integer:
    case VType::Long:
    case VType::Boolean:
        sqlite3_bind_int64(stmt, param, static_cast<sqlite3_int64>(v.num));
        break;
    case VType::String: {
        const QByteArray utf8 = v.str.toUtf8();
        sqlite3_bind_text(stmt, param, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    default:
        sqlite3_bind_double(stmt, param, v.num);
        break;
    }
}

QString QuoteName(QString name)
{
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    name.replace(u'"', QStringLiteral("\"\""));
    return u'"' + name + u'"';
}

// A number read from a text the way an assignment to a number field reads it: the whole text must
// be a number (blanks around it allowed). "inf" and "nan" are no numbers to the original engine.
std::optional<double> NumberOfText(const QString &text)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

// The dates a date field holds: 100-01-01 to 9999-12-31 23:59:59 as day numbers. Anything else,
// infinities and NaN included, cannot be stored (and could not be shown as a date).
bool FitsDateField(double dayNumber)
{
    return dayNumber >= -657434.0 && dayNumber < 2958466.0;
}

// Converts a value assigned to a field by the field's kind, as the original engine did.
std::optional<Value> ConvertForField(const DbField &field, const Value &v, QString &why)
{
    if (v.IsEmpty() || v.IsNull())
        return MakeNull();
    switch (field.kind) {
    case VType::Long:
    case VType::Integer:
    case VType::Double:
    case VType::Single:
    case VType::Currency: {
        Value source = v;
        if (v.IsString()) {
            if (v.str.trimmed().isEmpty())
                return MakeNull();
            const auto d = NumberOfText(v.str);
            if (!d) {
                why = QStringLiteral("Type mismatch: \"%1\" is no number for field %2").arg(v.str, field.name);
                return std::nullopt;
            }
            source = MakeDouble(*d);
        }
        auto out = std::isfinite(source.ToDouble()) ? ConvertValue(source, field.kind) : std::nullopt;
        if (!out)
            why = QStringLiteral("Overflow: %1 does not fit field %2").arg(v.ToText(), field.name);
        return out;
    }
    case VType::Date: {
        auto out = ConvertValue(v, VType::Date);
        if (!out) {
            why = QStringLiteral("Type mismatch: \"%1\" is no date for field %2").arg(v.ToText(), field.name);
            return std::nullopt;
        }
        if (out->IsDate() && !FitsDateField(out->num)) {
            why = QStringLiteral("Overflow: %1 does not fit field %2").arg(v.ToText(), field.name);
            return std::nullopt;
        }
        return out;
    }
    case VType::String:
        return MakeString(v.ToText());
    default:
        return v;
    }
}

struct StmtGuard {
    sqlite3_stmt *stmt = nullptr;
    ~StmtGuard() { sqlite3_finalize(stmt); }
};

}  // namespace

void RecordSet::StmtDeleter::operator()(sqlite3_stmt *stmt) const
{
    sqlite3_finalize(stmt);
}

sqlite3_stmt *RecordSet::KeptStmt::For(sqlite3 *handle, const std::vector<int> &cols) const
{
    return stmt && db == handle && columns == cols ? stmt.get() : nullptr;
}

void RecordSet::KeptStmt::Keep(sqlite3_stmt *prepared, sqlite3 *handle, const std::vector<int> &cols)
{
    stmt.reset(prepared);
    db = handle;
    columns = cols;
}

void RecordSet::KeptStmt::Reset()
{
    stmt.reset();
    columns.clear();
    db = nullptr;
}

struct RecordSet::Spare {
    std::vector<long long> rowids;
    std::vector<Cell> cells;
    QByteArray texts;
};

RecordSet::Spare &RecordSet::SpareStorage()
{
    thread_local Spare spare;
    return spare;
}

RecordSet::Cell RecordSet::CellOf(const Value &v)
{
    Cell c;
    c.type = v.type;
    if (v.type == VType::String) {
        const QByteArray utf8 = v.str.toUtf8();
        c.text[0] = static_cast<uint32_t>(m_texts.size());
        c.text[1] = static_cast<uint32_t>(utf8.size());
        m_texts.append(utf8);
    } else {
        c.num = v.num;
    }
    return c;
}

Value RecordSet::ValueOf(const Cell &c) const
{
    if (c.type == VType::String)
        return MakeString(QString::fromUtf8(m_texts.constData() + c.text[0], c.text[1]));
    Value v;
    v.type = c.type;
    v.num = (c.type == VType::Null || c.type == VType::Empty) ? 0 : c.num;
    return v;
}

void RecordSet::AppendCells(sqlite3_stmt *stmt, int first)
{
    const int columns = FieldCount();
    for (int i = 0; i < columns; ++i) {
        const int col = first + i;
        const int storage = sqlite3_column_type(stmt, col);
        const VType kind = m_fields[i].kind;
        Cell c;
        c.num = 0;
        if (storage == SQLITE_NULL) {
            c.type = VType::Null;
        } else if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            if (kind == VType::String) {
                c = CellOf(MakeString(ColumnText(stmt, col)));
            } else if (kind == VType::Date || kind == VType::Double || kind == VType::Single) {
                c.type = kind;
                c.num = sqlite3_column_double(stmt, col);
            } else {
                // a whole number within 32 bits is a Long, anything else a Double
                const sqlite3_int64 whole = sqlite3_column_int64(stmt, col);
                const bool isLong = storage == SQLITE_INTEGER && whole >= std::numeric_limits<int32_t>::min() &&
                                    whole <= std::numeric_limits<int32_t>::max();
                c.type = isLong ? VType::Long : VType::Double;
                c.num = isLong ? static_cast<double>(whole) : sqlite3_column_double(stmt, col);
            }
        } else if (kind == VType::Date) {
            c = CellOf(DateOfText(ColumnText(stmt, col)));
        } else {
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, col));
            const int bytes = sqlite3_column_bytes(stmt, col);
            c.type = VType::String;
            c.text[0] = static_cast<uint32_t>(m_texts.size());
            c.text[1] = static_cast<uint32_t>(bytes);
            m_texts.append(text, bytes);
        }
        m_cells.push_back(c);
    }
}

bool RecordSet::Open(DbConnection &conn, const QString &jetSql)
{
    Close();
    lastError = DbError();
    if (!conn.IsOpen()) {
        conn.lastError = MakeDbError(QStringLiteral("the connection is not open"));
        return false;
    }
    const JetTranslation tr = TranslateJet(jetSql);
    if (!tr.ok()) {
        conn.lastError = MakeDbError(tr.error);
        return false;
    }
    const bool withRowid = !tr.baseTable.isEmpty();
    const QByteArray utf8 = (withRowid ? tr.sqlWithRowid : tr.sql).toUtf8();
    sqlite3 *db = conn.Handle();
    StmtGuard g;
    const char *tail = nullptr;
    int rc = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &g.stmt, &tail);
    if (rc != SQLITE_OK) {
        conn.lastError = MakeDbError(db, rc);
        return false;
    }
    if (!g.stmt || !IsBlankTail(tail)) {
        conn.lastError = MakeDbError(g.stmt ? QStringLiteral("refused: more than one statement in one SQL text")
                                            : QStringLiteral("empty SQL text"));
        return false;
    }

    const int first = withRowid ? 1 : 0;
    const int columns = sqlite3_column_count(g.stmt);
    std::vector<DbField> fields;
    fields.reserve(columns > first ? columns - first : 0);
    for (int c = first; c < columns; ++c) {
        DbField f;
        f.name = QString::fromUtf8(sqlite3_column_name(g.stmt, c));
        const char *decl = sqlite3_column_decltype(g.stmt, c);
        f.declaredType = QString::fromUtf8(decl);
        f.kind = KindOfDeclaredType(decl);
        if (f.kind == VType::Empty && !tr.fromTable.isEmpty()) {
            // MIN/MAX over a DATE column keeps the column's kind.
            for (const auto &[pos, column] : tr.minMaxColumns) {
                if (pos != c - first)
                    continue;
                const char *colDecl = nullptr;
                QString table = tr.fromTable;
                if (table.startsWith(u'[') && table.endsWith(u']'))
                    table = table.mid(1, table.size() - 2);
                if (sqlite3_table_column_metadata(db, nullptr, table.toUtf8().constData(), column.toUtf8().constData(),
                                                  &colDecl, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK &&
                    KindOfDeclaredType(colDecl) == VType::Date)
                    f.kind = VType::Date;
            }
        }
        fields.push_back(std::move(f));
    }

    m_fields = std::move(fields);
    Spare &spare = SpareStorage();
    m_cells.swap(spare.cells);
    m_rowids.swap(spare.rowids);
    m_texts.swap(spare.texts);
    m_cells.clear();
    m_rowids.clear();
    m_texts.resize(0);
    while ((rc = sqlite3_step(g.stmt)) == SQLITE_ROW) {
        m_rowids.push_back(withRowid ? sqlite3_column_int64(g.stmt, 0) : 0);
        AppendCells(g.stmt, first);
    }
    if (rc != SQLITE_DONE) {
        conn.lastError = MakeDbError(db, rc);
        Close();
        return false;
    }
    m_conn = &conn;
    m_open = true;
    m_table = tr.baseTable;
    m_pos = 0;
    return true;
}

void RecordSet::Close()
{
    // Keep the larger buffers for the next set (up to a bound, so that one huge result is not held).
    constexpr size_t kKeepBytes = size_t(64) << 20;
    Spare &spare = SpareStorage();
    if (m_cells.capacity() > spare.cells.capacity() && m_cells.capacity() * sizeof(Cell) <= kKeepBytes) {
        spare.cells.swap(m_cells);
        spare.rowids.swap(m_rowids);
    }
    if (m_texts.capacity() > spare.texts.capacity() && static_cast<size_t>(m_texts.capacity()) <= kKeepBytes)
        spare.texts.swap(m_texts);
    std::vector<Cell>().swap(m_cells);
    std::vector<long long>().swap(m_rowids);
    m_texts = QByteArray();
    m_update.Reset();
    m_insert.Reset();
    m_reread.Reset();
    m_conn = nullptr;
    m_open = false;
    m_table.clear();
    m_fields.clear();
    m_pos = 0;
    m_onGap = false;
    m_adding = false;
    m_pending.clear();
    m_dirty.clear();
}

bool RecordSet::Fail(const QString &text) const
{
    lastError = MakeDbError(text);
    return false;
}

bool RecordSet::HasCurrentRow() const
{
    return m_open && !m_adding && !m_onGap && m_pos >= 0 && m_pos < RecordCount();
}

bool RecordSet::AtBOF() const
{
    if (m_adding)
        return false;
    return m_rowids.empty() || (!m_onGap && m_pos < 0);
}

bool RecordSet::AtEOF() const
{
    if (m_adding)
        return false;
    return m_rowids.empty() || (!m_onGap && m_pos >= RecordCount());
}

bool RecordSet::LeaveRow()
{
    if (!m_open)
        return Fail(QStringLiteral("the record set is not open"));
    return WritePending();
}

bool RecordSet::MoveFirst()
{
    if (!LeaveRow())
        return false;
    m_onGap = false;
    m_pos = 0;
    if (m_rowids.empty())
        return Fail(QStringLiteral("no current record: the record set is empty"));
    return true;
}

bool RecordSet::MoveLast()
{
    if (!LeaveRow())
        return false;
    m_onGap = false;
    m_pos = RecordCount() - 1;
    if (m_rowids.empty()) {
        m_pos = 0;
        return Fail(QStringLiteral("no current record: the record set is empty"));
    }
    return true;
}

bool RecordSet::MoveNext()
{
    if (!LeaveRow())
        return false;
    if (m_onGap) {
        // The row after the deleted one has moved into its place.
        m_onGap = false;
        return true;
    }
    if (m_pos >= RecordCount())
        return Fail(QStringLiteral("MoveNext at the end of the record set"));
    ++m_pos;
    return true;
}

bool RecordSet::MovePrevious()
{
    if (!LeaveRow())
        return false;
    if (m_onGap) {
        m_onGap = false;
        --m_pos;
        return true;
    }
    if (m_rowids.empty() || m_pos < 0)
        return Fail(QStringLiteral("MovePrevious at the beginning of the record set"));
    if (m_pos >= RecordCount())
        m_pos = RecordCount() - 1;
    else
        --m_pos;
    return true;
}

int RecordSet::AbsolutePosition() const
{
    return HasCurrentRow() ? m_pos + 1 : 0;
}

bool RecordSet::SetAbsolutePosition(int position)
{
    if (!m_open || position < 1 || position > RecordCount())
        return Fail(QStringLiteral("position %1 is outside the record set").arg(position));
    if (!WritePending())
        return false;
    m_onGap = false;
    m_pos = position - 1;
    return true;
}

int RecordSet::FieldIndex(const QString &name) const
{
    for (int i = 0; i < FieldCount(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

std::optional<Value> RecordSet::Get(const QString &name) const
{
    const int i = FieldIndex(name);
    if (i < 0) {
        Fail(QStringLiteral("item cannot be found in the collection: ") + name);
        return std::nullopt;
    }
    return Get(i);
}

std::optional<Value> RecordSet::Get(int index) const
{
    if (index < 0 || index >= FieldCount()) {
        Fail(QStringLiteral("item cannot be found in the collection: %1").arg(index));
        return std::nullopt;
    }
    if (m_adding)
        return m_dirty[index] ? m_pending[index] : MakeNull();
    if (!HasCurrentRow()) {
        Fail(QStringLiteral("either BOF or EOF is true, or the current record has been deleted"));
        return std::nullopt;
    }
    if (!m_dirty.empty() && m_dirty[index])
        return m_pending[index];
    return CellValue(m_pos, index);
}

Value RecordSet::Field(const QString &name) const
{
    return Get(name).value_or(MakeEmpty());
}

bool RecordSet::Set(const QString &name, const Value &v)
{
    const int i = FieldIndex(name);
    if (i < 0)
        return Fail(QStringLiteral("item cannot be found in the collection: ") + name);
    return Set(i, v);
}

bool RecordSet::Set(int index, const Value &v)
{
    if (!m_open)
        return Fail(QStringLiteral("the record set is not open"));
    if (!IsUpdatable())
        return Fail(QStringLiteral("the record set is read-only"));
    if (index < 0 || index >= FieldCount())
        return Fail(QStringLiteral("item cannot be found in the collection: %1").arg(index));
    if (!m_adding && !HasCurrentRow())
        return Fail(QStringLiteral("either BOF or EOF is true, or the current record has been deleted"));
    QString why;
    const auto converted = ConvertForField(m_fields[index], v, why);
    if (!converted)
        return Fail(why);
    if (m_dirty.empty()) {
        m_dirty.assign(m_fields.size(), false);
        m_pending.assign(m_fields.size(), MakeEmpty());
    }
    m_pending[index] = *converted;
    m_dirty[index] = true;
    return true;
}

bool RecordSet::AddNew()
{
    if (!m_open)
        return Fail(QStringLiteral("the record set is not open"));
    if (!IsUpdatable())
        return Fail(QStringLiteral("the record set is read-only"));
    if (!WritePending())
        return false;
    m_adding = true;
    m_dirty.assign(m_fields.size(), false);
    m_pending.assign(m_fields.size(), MakeNull());
    return true;
}

bool RecordSet::Update()
{
    if (!m_open)
        return Fail(QStringLiteral("the record set is not open"));
    return WritePending();
}

void RecordSet::CancelUpdate()
{
    m_adding = false;
    m_pending.clear();
    m_dirty.clear();
}

bool RecordSet::Delete()
{
    if (!m_open)
        return Fail(QStringLiteral("the record set is not open"));
    if (!IsUpdatable())
        return Fail(QStringLiteral("the record set is read-only"));
    if (m_adding) {
        CancelUpdate();
        return true;
    }
    if (!HasCurrentRow())
        return Fail(QStringLiteral("either BOF or EOF is true, or the current record has been deleted"));
    if (!m_conn || !m_conn->IsOpen())
        return Fail(QStringLiteral("the connection is not open"));
    sqlite3 *db = m_conn->Handle();
    StmtGuard g;
    const QByteArray sql =
        (QStringLiteral("DELETE FROM ") + QuoteName(m_table) + QStringLiteral(" WHERE _rowid_=?")).toUtf8();
    int rc = sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &g.stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(g.stmt, 1, m_rowids[m_pos]);
        rc = sqlite3_step(g.stmt);
    }
    if (rc != SQLITE_DONE) {
        lastError = MakeDbError(db, rc);
        return false;
    }
    CancelUpdate();
    const auto n = static_cast<std::ptrdiff_t>(m_fields.size());
    m_cells.erase(m_cells.begin() + m_pos * n, m_cells.begin() + (m_pos + 1) * n);
    m_rowids.erase(m_rowids.begin() + m_pos);
    m_onGap = true;
    return true;
}

std::vector<Value> RecordSet::Snapshot() const
{
    if (m_adding)
        return m_pending;
    if (!HasCurrentRow())
        return {};
    std::vector<Value> values;
    values.reserve(m_fields.size());
    for (int i = 0; i < FieldCount(); ++i)
        values.push_back(!m_dirty.empty() && m_dirty[i] ? m_pending[i] : CellValue(m_pos, i));
    return values;
}

bool RecordSet::WritePending()
{
    if (!m_adding && m_dirty.empty())
        return true;
    if (!m_conn || !m_conn->IsOpen())
        return Fail(QStringLiteral("the connection is not open"));
    sqlite3 *db = m_conn->Handle();
    std::vector<int> changed;
    for (int i = 0; i < static_cast<int>(m_dirty.size()); ++i)
        if (m_dirty[i])
            changed.push_back(i);
    if (!m_adding && changed.empty()) {
        CancelUpdate();
        return true;
    }

    KeptStmt &kept = m_adding ? m_insert : m_update;
    sqlite3_stmt *stmt = kept.For(db, changed);
    if (!stmt) {
        const QString table = QuoteName(m_table);
        QString sql;
        if (m_adding && changed.empty()) {
            sql = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" DEFAULT VALUES");
        } else if (m_adding) {
            QString names, marks;
            for (int i : changed) {
                if (!names.isEmpty()) {
                    names += u',';
                    marks += u',';
                }
                names += QuoteName(m_fields[i].name);
                marks += u'?';
            }
            sql = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + names + QStringLiteral(") VALUES (") +
                  marks + u')';
        } else {
            QString sets;
            for (int i : changed) {
                if (!sets.isEmpty())
                    sets += u',';
                sets += QuoteName(m_fields[i].name) + QStringLiteral("=?");
            }
            sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + sets +
                  QStringLiteral(" WHERE _rowid_=?");
        }
        kept.Reset();
        const QByteArray utf8 = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &stmt, nullptr);
        if (rc != SQLITE_OK) {
            lastError = MakeDbError(db, rc);
            sqlite3_finalize(stmt);
            return false;
        }
        kept.Keep(stmt, db, changed);
    }
    int param = 1;
    for (int i : changed)
        BindValue(stmt, param++, m_pending[i]);
    if (!m_adding)
        sqlite3_bind_int64(stmt, param, m_rowids[m_pos]);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE)
        lastError = MakeDbError(db, rc);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (rc != SQLITE_DONE)
        return false;

    if (!m_adding) {
        if (sqlite3_changes(db) == 0)
            return Fail(QStringLiteral("the row to update has been deleted"));
        for (int i : changed)
            m_cells[static_cast<size_t>(m_pos) * m_fields.size() + i] = CellOf(m_pending[i]);
        CancelUpdate();
        return true;
    }

    // Read the new row back, so that its id and the column defaults are there at once. The columns
    // are named: a column added to the table since the set was opened must not shift them.
    const long long rowid = sqlite3_last_insert_rowid(db);
    sqlite3_stmt *reread = m_reread.For(db, {});
    rc = SQLITE_OK;
    if (!reread) {
        m_reread.Reset();
        QString names;
        for (const DbField &f : m_fields)
            names += u',' + QuoteName(f.name);
        const QByteArray sql = (QStringLiteral("SELECT _rowid_") + names + QStringLiteral(" FROM ") +
                                QuoteName(m_table) + QStringLiteral(" WHERE _rowid_=?"))
                                   .toUtf8();
        rc = sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &reread, nullptr);
        if (rc == SQLITE_OK)
            m_reread.Keep(reread, db, {});
        else
            sqlite3_finalize(reread);
    }
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(reread, 1, rowid);
        rc = sqlite3_step(reread);
    }
    if (rc == SQLITE_ROW && sqlite3_column_count(reread) == FieldCount() + 1) {
        AppendCells(reread, 1);
    } else {
        // The row was written; only the read-back failed. Keep what was set.
        for (const Value &v : m_pending)
            m_cells.push_back(CellOf(v));
    }
    if (m_reread.stmt)
        sqlite3_reset(m_reread.stmt.get());
    m_rowids.push_back(rowid);
    m_pos = RecordCount() - 1;
    m_onGap = false;
    CancelUpdate();
    return true;
}

QString SqlDateLiteral(double dayNumber)
{
    return QStringLiteral("#") + DateText(dayNumber) + QStringLiteral("#");
}
