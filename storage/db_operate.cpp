// DB_Operate: the database procedures over ACC.MDB, the error log RunErr.txt and the text files.
#include "db_operate.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include <sqlite3.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/busy_guard.h"
#include "platform/gbk.h"
#include "platform/numeric.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "storage/common.h"
#include "storage/db_create.h"

namespace {

// The database failures the user is told of, besides the log; any other is only logged.
enum class DbFailureKind {
    Other,
    Damage,    // SQLITE_CORRUPT, SQLITE_NOTADB: the file's pages are damaged
    IoError,   // SQLITE_IOERR: "disk I/O error"
    DiskFull,  // SQLITE_FULL: "database or disk is full"
};

DbFailureKind ClassifyDbFailure(const DbError &error)
{
    switch (error.number & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return DbFailureKind::Damage;
    case SQLITE_IOERR:
        return DbFailureKind::IoError;
    case SQLITE_FULL:
        return DbFailureKind::DiskFull;
    default:
        return DbFailureKind::Other;
    }
}

constexpr int kOpenAttempts = 10;
constexpr int kOpenRsRetries = 10;

DbRetryTiming &Timing()
{
    static DbRetryTiming timing;
    return timing;
}

QString WhereTail(const QString &condition)
{
    return condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition;
}

// The SQL literal of a key: a text in single quotes (its quotes doubled), a date as a date literal,
// anything else as its plain text.
QString KeyLiteral(const Value &key)
{
    if (key.IsString())
        return SqlQuote(key.str);
    if (key.IsDate())
        return u'#' + key.ToText() + u'#';
    if (key.type == VType::Boolean)
        return key.num != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    return key.ToText();
}

// The number of rows of a query; 0 when it fails (logged by OpenRs).
int CountRows(const QString &sql, const QString &file)
{
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql, file))
        return 0;
    const int n = rs.RecordCount();
    CloseRs(conn, rs);
    return n;
}

// The query behind FieldExists; nothing when the table cannot be read (logged by OpenRs).
std::optional<bool> ProbeField(const QString &table, const QString &field, const QString &file)
{
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, QStringLiteral("SELECT TOP 1 * FROM ") + table, file))
        return std::nullopt;
    bool found = false;
    for (int i = 0; i < rs.FieldCount() && !found; ++i)
        found = rs.FieldInfo(i).name == field;
    CloseRs(conn, rs);
    return found;
}

// The names of the ordinary tables, sorted by name; nothing when the schema cannot be read.
std::optional<QStringList> TableNames(const QString &file)
{
    static const QString sql =
        QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                       "ORDER BY name");
    DbConnection conn;
    if (!OpenConn(conn, file))
        return std::nullopt;
    RecordSet rs;
    if (!rs.Open(conn, sql)) {
        LogDbError(conn.lastError, sql);
        return std::nullopt;
    }
    QStringList names;
    for (; !rs.AtEOF(); rs.MoveNext())
        names << rs.Field(QStringLiteral("name")).ToText();
    return names;
}

struct FailureWatch {
    bool damageTold = false;
    bool ioErrorTold = false;
    bool diskFullTold = false;
    std::function<void()> damageEnd;
};

FailureWatch &Watch()
{
    static FailureWatch watch;
    return watch;
}

QString BookPath()
{
    return QDir::toNativeSeparators(ProgramFilePath(kAccDb));
}

QString DamageText(const DbError &error)
{
    const QStringList copies = KeptBookCopies(ProgramFolder());
    QString copy;
    if (copies.isEmpty()) {
        copy = QStringLiteral("程序文件夹中没有找到账本的副本（acc0001.mdb 之类，或 .dbk 备份文件）。");
    } else {
        copy = QStringLiteral("旁边最新的账本副本：\r\n") + KeptCopyText(copies.front());
    }
    return QStringLiteral("账本文件已经损坏：\r\n") + BookPath() + QStringLiteral("\r\n（") + error.text +
           QStringLiteral("）\r\n\r\n") + copy +
           QStringLiteral("\r\n\r\n选“是”继续运行：可以用菜单“数据库”中的“恢复备份”换回备份，显示的数据可能不全。"
                          "\r\n选“否”立即退出程序，账本不再写入。");
}

void NoteDbFailure(const DbError &error)
{
    FailureWatch &w = Watch();
    const DbFailureKind kind = ClassifyDbFailure(error);
    bool *told = kind == DbFailureKind::Damage    ? &w.damageTold
                 : kind == DbFailureKind::IoError ? &w.ioErrorTold
                 : kind == DbFailureKind::DiskFull ? &w.diskFullTold
                                                   : nullptr;
    if (!told || *told)
        return;
    *told = true;
    // No timer tick or second command starts while the message waits.
    BusyGuard busy;
    switch (kind) {
    case DbFailureKind::Damage:
        if (MsgBox(DamageText(error), Msg::YesNo + Msg::Critical) == Msg::No) {
            if (w.damageEnd) {
                w.damageEnd();
            } else {
                std::fflush(nullptr);
                ::_exit(1);
            }
        }
        break;
    case DbFailureKind::IoError:
        MsgBox(QStringLiteral("读写账本文件时磁盘出错：\r\n") + BookPath() + QStringLiteral("\r\n（") + error.text +
                   QStringLiteral("）\r\n\r\n刚才的操作可能没有保存。请检查磁盘或存储设备（是否已拔出、是否损坏），"
                                  "然后用菜单“数据库”中的“备份数据”另存一份账本。"),
               Msg::OkOnly + Msg::Critical);
        break;
    case DbFailureKind::DiskFull:
        MsgBox(QStringLiteral("磁盘已满，账本文件无法写入：\r\n") + BookPath() + QStringLiteral("\r\n（") + error.text +
                   QStringLiteral("）\r\n\r\n刚才的操作没有保存。请删除不需要的文件，腾出磁盘空间后再继续。"),
               Msg::OkOnly + Msg::Critical);
        break;
    case DbFailureKind::Other:
        break;
    }
}

}  // namespace


void WatchDbFailures(bool on)
{
    ForgetDbFailuresTold();
    SetDbErrorObserver(on ? std::function<void(const DbError &)>(NoteDbFailure) : nullptr);
}

void ForgetDbFailuresTold()
{
    FailureWatch &w = Watch();
    w.damageTold = w.ioErrorTold = w.diskFullTold = false;
}

void SetDbDamageEnd(std::function<void()> end)
{
    Watch().damageEnd = std::move(end);
}

DbRetryTiming GetDbRetryTiming()
{
    return Timing();
}

void SetDbRetryTiming(const DbRetryTiming &timing)
{
    Timing() = timing;
}

bool OpenConn(DbConnection &conn, const QString &file)
{
    conn.Close();
    const QString path = ProgramFilePath(file);
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        if (conn.Open(path, true))
            return true;
        // Only a file in use can change by waiting; a file that is missing, no database or a folder
        // fails at once.
        if (!conn.lastError.inUse)
            break;
        if (attempt < kOpenAttempts)
            DoEventsN(Timing().openConnEvents);
    }
    LogDbError(conn.lastError);
    return false;
}

bool OpenRs(DbConnection &conn, RecordSet &rs, const QString &sql, const QString &file)
{
    const QString path = ProgramFilePath(file);
    for (int retries = 0;; ++retries) {
        CloseRs(conn, rs);
        if (conn.Open(path, true) && rs.Open(conn, sql))
            return true;
        if (!conn.lastError.inUse || retries >= kOpenRsRetries)
            break;
        // Another connection holds the file: wait (the window does not respond meanwhile) and retry.
        std::this_thread::sleep_for(std::chrono::milliseconds(Timing().openRsWaitMs));
    }
    LogDbError(conn.lastError, sql);
    return false;
}

void CloseRs(DbConnection &conn, RecordSet &rs)
{
    rs.Close();
    conn.Close();
}

bool ExecSql(const QString &sql, DbConnection *conn, const QString &file)
{
    DbConnection own;
    DbConnection *c = conn;
    if (!c) {
        OpenConn(own, file);
        c = &own;
    }
    if (!c->IsOpen()) {
        // The statement is lost with the connection: log it with the reason the open failed.
        LogDbError(c->lastError.failed() ? c->lastError : MakeDbError(QStringLiteral("the connection is not open")),
                   sql);
        return false;
    }
    if (c->Execute(sql))
        return true;
    LogDbError(c->lastError, sql);
    return false;
}

QString LookupField(const QString &table, const Value &key, const QString &keyField, const QString &resultField)
{
    const QString sql = QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE ") + keyField + u'=' +
                        KeyLiteral(key);
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql, kAccDb))
        return QString();
    QString result;
    if (!rs.AtEOF()) {
        if (auto v = rs.Get(resultField))
            result = v->ToText();
        else
            LogDbError(rs.lastError, sql);
    }
    CloseRs(conn, rs);
    return result;
}

Value GetFieldValue(const QString &table, const QString &condition, const QString &field, const QString &file,
                    QString &sql, const Value &defaultValue)
{
    if (sql.isEmpty())
        sql = QStringLiteral("SELECT TOP 1 ") + field + QStringLiteral(" FROM ") + table + QStringLiteral(" WHERE ") +
              condition;
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql, file))
        return MakeEmpty();
    Value result = defaultValue;
    if (!rs.AtEOF()) {
        // A caller's own SQL may name the column differently; a single column is the one meant.
        int index = rs.FieldIndex(field);
        if (index < 0 && rs.FieldCount() == 1)
            index = 0;
        if (auto v = index >= 0 ? rs.Get(index) : rs.Get(field)) {
            result = *v;
        } else {
            LogDbError(rs.lastError, sql);
            result = MakeEmpty();
        }
    }
    CloseRs(conn, rs);
    return result;
}

Value GetFieldValue(const QString &table, const QString &condition, const QString &field, const Value &defaultValue,
                    const QString &file)
{
    QString sql;
    return GetFieldValue(table, condition, field, file, sql, defaultValue);
}

QStringList GetRecordFields(const QString &table, const QString &condition, const QString &fieldList,
                            const QString &file)
{
    QStringList result = fieldList.split(u',');
    const QString sql = QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE ") + condition;
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql, file))
        return result;
    if (!rs.AtEOF()) {
        for (QString &name : result) {
            if (name.isEmpty())
                continue;
            if (auto v = rs.Get(name.trimmed()))
                name = v->ToText();
        }
    }
    CloseRs(conn, rs);
    return result;
}

int CountRecords(const QString &table, const QString &condition, const QString &fields, const QString &file)
{
    return CountRows(QStringLiteral("SELECT ") + fields + QStringLiteral(" FROM ") + table + WhereTail(condition),
                     file);
}

int CountGroups(const QString &table, const QString &field, const QString &condition, const QString &file)
{
    return CountRows(QStringLiteral("SELECT ") + field + QStringLiteral(" FROM ") + table + WhereTail(condition) +
                         QStringLiteral(" GROUP BY ") + field,
                     file);
}

QStringList GetGroupList(const QString &table, const QString &field, const QString &condition,
                         const QString &secondField, std::vector<long> *secondValues, const QString &file)
{
    const bool second = !secondField.isEmpty();
    const QString fields = second ? field + u',' + secondField : field;
    const QString sql = QStringLiteral("select ") + fields + QStringLiteral(" FROM ") + table + WhereTail(condition) +
                        QStringLiteral(" GROUP BY ") + fields + QStringLiteral(" ORDER BY ") + field;
    QStringList result{QString()};
    if (second && secondValues)
        secondValues->assign(1, 0);
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql, file))
        return result;
    for (; !rs.AtEOF(); rs.MoveNext()) {
        const Value v = rs.Get(0).value_or(MakeEmpty());
        result << (v.IsDate() ? FormatValue(v, true, QString()) : v.ToText());
        if (!second || !secondValues)
            continue;
        // A whole-number element rounds its number (halves to even); one beyond 32 bits fails the
        // procedure like any other error of its query.
        const auto whole = ClngOf(LeadingNumber(rs.Get(1).value_or(MakeEmpty()).ToText()));
        if (!whole) {
            LogDbError(MakeDbError(QStringLiteral("Overflow")), sql);
            CloseRs(conn, rs);
            secondValues->assign(1, 0);
            return QStringList{QString()};
        }
        secondValues->push_back(*whole);
    }
    CloseRs(conn, rs);
    return result;
}

void LoadGroupValues(std::vector<Value> &values, const QString &table, const QString &field, const QString &condition,
                     const QString &file, const QString &firstValue)
{
    const QString sql = QStringLiteral("select ") + field + QStringLiteral(" FROM ") + table + WhereTail(condition) +
                        QStringLiteral(" GROUP BY ") + field + QStringLiteral(" ORDER BY ") + field;
    values.assign(1, firstValue.isEmpty() ? MakeEmpty() : MakeString(firstValue));
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql, file))
        return;
    values.reserve(rs.RecordCount() + 1);
    for (; !rs.AtEOF(); rs.MoveNext())
        values.push_back(rs.Get(0).value_or(MakeEmpty()));
    CloseRs(conn, rs);
}

QString AddWhereCondition(const QString &sql, const QString &condition)
{
    const QString joint = sql.contains(QStringLiteral("WHERE"), Qt::CaseInsensitive) ? QStringLiteral(" AND ")
                                                                                      : QStringLiteral(" WHERE ");
    return sql + joint + condition.trimmed();
}

bool TableExists(const QString &table, const QString &file)
{
    const auto names = TableNames(file);
    return names && names->contains(table, Qt::CaseSensitive);
}

QStringList ListTablesLike(const QString &text, const QString &file)
{
    QStringList result{QString()};
    if (const auto names = TableNames(file))
        for (const QString &name : *names)
            if (name.contains(text, Qt::CaseSensitive))
                result << name;
    return result;
}

bool FieldExists(const QString &table, const QString &field, const QString &file)
{
    return ProbeField(table, field, file).value_or(false);
}

void AddFieldIfMissing(const QString &table, const QString &field, const QString &typeText, const QString &file)
{
    // Nothing when the table cannot be read (the failure is logged).
    const auto exists = ProbeField(table, field, file);
    if (!exists || *exists)
        return;
    ExecSql(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD ") + field + u' ' + typeText, nullptr, file);
    QString fill;
    if (typeText == u"STRING")
        fill = QStringLiteral("''");
    else if (typeText == u"DATE")
        fill = QStringLiteral("#1900-1-1#");  // the empty date, stored as its day number like every date
    else
        fill = QStringLiteral("0");
    ExecSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + field + u'=' + fill, nullptr, file);
}

void DropTablesLike(const QString &text, const QString &file)
{
    const QStringList names = ListTablesLike(text, file);
    for (int i = 1; i < names.size(); ++i)
        ExecSql(QStringLiteral("DROP TABLE ") + names[i], nullptr, file);
}

QString ReadTextFile(const QString &path, bool &deleteAfter)
{
    for (int attempts = 0;;) {
        DoEventsN(Timing().readTextEvents);
        if (++attempts > 100) {
            MsgBox(QStringLiteral("无法打开下载文档：") + QStringLiteral("\r\n") + path, Msg::OkOnly);
            return QString();
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString text = DecodeGbk(f.readAll());
        f.close();
        if (!text.isEmpty()) {
            if (deleteAfter && QFileInfo::exists(path))
                QFile::remove(path);
            return text;
        }
        DoEventsN(Timing().readTextEmptyEvents);
    }
}
