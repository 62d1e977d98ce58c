// The database connection over SQLite: opened per operation, never creating a missing file, with the
// functions of Jet's dialect that the program's SQL uses registered on every open.
#include "db.h"

#include <cmath>
#include <optional>
#include <utility>

#include <sys/stat.h>

#include <sqlite3.h>

#include <QHash>

#include "clock.h"
#include "daynum.h"
#include "jet_sql.h"
#include "numeric.h"

namespace {

// A connection waits this long for a lock held by another connection before it reports the file as
// in use; the caller decides whether to retry.
int g_busyTimeoutMs = 500;

// The offset from UTC at which now() and date() read the clock; none: the clock's own zone.
std::optional<int> g_clockOffsetSeconds;

// The clock as now() and date() read it.
QDateTime DbClockNow()
{
    const QDateTime now = ClockNow();
    return g_clockOffsetSeconds ? now.toOffsetFromUtc(*g_clockOffsetSeconds) : now;
}

// Reads a function argument as a number the way Jet converts: numeric text is converted, NULL
// stays NULL (false, nothing set), other text is a type mismatch (false, error set).
bool NumberArg(sqlite3_context *ctx, sqlite3_value *arg, double &value, bool &isInteger)
{
    switch (sqlite3_value_numeric_type(arg)) {
    case SQLITE_NULL:
        sqlite3_result_null(ctx);
        return false;
    case SQLITE_INTEGER:
        isInteger = true;
        value = static_cast<double>(sqlite3_value_int64(arg));
        return true;
    case SQLITE_FLOAT:
        isInteger = false;
        value = sqlite3_value_double(arg);
        return true;
    default:
        sqlite3_result_error(ctx, "Data type mismatch in criteria expression", -1);
        return false;
    }
}

// now(): the clock's date and time as a day number, to the whole second.
void FnNow(sqlite3_context *ctx, int, sqlite3_value **)
{
    const QDateTime now = DbClockNow();
    const QTime t = now.time();
    const double seconds = t.hour() * 3600.0 + t.minute() * 60.0 + t.second();
    sqlite3_result_double(ctx, DayNumberOf(now.date()) + seconds / 86400.0);
}

// date(): today's day number (Jet's Date(); SQLite's own date() gives a text).
void FnDate(sqlite3_context *ctx, int, sqlite3_value **)
{
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(DayNumberOf(DbClockNow().date())));
}

// fix(x): toward zero; int(x): downward. Whole numbers pass unchanged.
template <double (*Op)(double)>
void FnRound(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    double v = 0;
    bool isInteger = false;
    if (!NumberArg(ctx, argv[0], v, isInteger))
        return;
    if (isInteger)
        sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    else
        sqlite3_result_double(ctx, Op(v) + 0.0);
}

// clng(x): to the nearest whole number, halves to even; outside the 32-bit range "Overflow".
void FnClng(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    double v = 0;
    bool isInteger = false;
    if (!NumberArg(ctx, argv[0], v, isInteger))
        return;
    const auto l = ClngOf(v);
    if (!l) {
        sqlite3_result_error(ctx, "Overflow", -1);
        return;
    }
    sqlite3_result_int(ctx, *l);
}

// The identity of the file at a path: device and inode, and its size and time of last change, which
// tell a file overwritten in place; zeros when there is none.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long changedNs = 0;
    bool operator==(const FileIdentity &) const = default;
    bool SameFile(const FileIdentity &o) const { return dev == o.dev && ino == o.ino; }
};

FileIdentity IdentityOf(const QString &path)
{
    struct stat st {};
    if (::stat(path.toUtf8().constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

// The most prepared statements kept on the idle connection's handle.
constexpr int kKeptStatements = 512;

// The idle connection: a handle held open on one file, lent to one connection at a time, with the
// prepared statements kept on it for reuse (none of them in use).
struct IdleSlot {
    sqlite3 *db = nullptr;
    QString path;
    FileIdentity file;  // the file as the handle's cache knows it
    bool lent = false;
    QHash<QByteArray, sqlite3_stmt *> kept;
    ~IdleSlot()
    {
        DropKept();
        if (db && !lent)
            sqlite3_close_v2(db);
    }
    void DropKept()
    {
        for (sqlite3_stmt *stmt : std::as_const(kept))
            sqlite3_finalize(stmt);
        kept.clear();
    }
    // Forgets the handle (closed by whoever has it) and finalizes the statements kept on it.
    void Forget()
    {
        DropKept();
        db = nullptr;
        lent = false;
        path.clear();
        file = {};
    }
};

IdleSlot &Idle()
{
    static IdleSlot idle;
    return idle;
}

void RegisterFunctions(sqlite3 *db)
{
    constexpr int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "now", 0, SQLITE_UTF8, nullptr, FnNow, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "date", 0, SQLITE_UTF8, nullptr, FnDate, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "fix", 1, det, nullptr, FnRound<FixOf>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "int", 1, det, nullptr, FnRound<IntOf>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "clng", 1, det, nullptr, FnClng, nullptr, nullptr, nullptr);
}

}  // namespace

DbError MakeDbError(sqlite3 *db, int rc)
{
    DbError e;
    e.number = db ? sqlite3_extended_errcode(db) : rc;
    if (e.number == 0)
        e.number = rc;
    e.text = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    const int primary = e.number & 0xff;
    e.inUse = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    return e;
}

DbError MakeDbError(const QString &text)
{
    DbError e;
    e.number = SQLITE_ERROR;
    e.text = text;
    return e;
}

int DbBusyTimeoutMs()
{
    return g_busyTimeoutMs;
}

void SetDbBusyTimeoutMs(int ms)
{
    g_busyTimeoutMs = ms;
}

void SetDbClockOffset(std::optional<int> utcOffsetSeconds)
{
    g_clockOffsetSeconds = utcOffsetSeconds;
}

QString ConnectionText(const QString &path)
{
    return QStringLiteral("provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(";Jet OLEDB:Database Password=58316240");
}

DbConnection::~DbConnection()
{
    Close();
}

DbConnection::DbConnection(DbConnection &&other) noexcept
    : lastError(std::move(other.lastError)), m_db(other.m_db), m_path(std::move(other.m_path)), m_lent(other.m_lent)
{
    other.m_db = nullptr;
    other.m_lent = false;
}

DbConnection &DbConnection::operator=(DbConnection &&other) noexcept
{
    if (this != &other) {
        Close();
        lastError = std::move(other.lastError);
        m_db = other.m_db;
        m_path = std::move(other.m_path);
        m_lent = other.m_lent;
        other.m_db = nullptr;
        other.m_lent = false;
    }
    return *this;
}

namespace {

// A new handle on the file (never creating it), set up for the program: extended result codes, the
// busy timeout, WAL with synchronous NORMAL, the Jet functions. Nothing, with error set, on failure.
sqlite3 *OpenHandle(const QString &path, DbError &error)
{
    sqlite3 *db = nullptr;
    // No CREATE: a missing file fails as Jet did. NOMUTEX: a connection is used by one thread at a
    // time, which saves a lock on every column read.
    const int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        error = MakeDbError(db, rc);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, g_busyTimeoutMs);
    // WAL is kept in the file, but a copy made by VACUUM INTO (compaction) comes back in rollback
    // mode; setting it on every open is cheap when it is already set. This also reads the header, so
    // a file that is no database fails here.
    const int prc = sqlite3_exec(db, "PRAGMA journal_mode=WAL;PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (prc != SQLITE_OK) {
        error = MakeDbError(db, prc);
        sqlite3_close(db);
        return nullptr;
    }
    RegisterFunctions(db);
    return db;
}

// Folds the log into the file and, when all of it went in, empties it (without waiting for a
// connection that is reading or writing: the next close does it then). A handle in a transaction, on
// a read-only file or not in WAL mode leaves this to others.
void FoldLog(sqlite3 *db)
{
    if (!sqlite3_get_autocommit(db) || sqlite3_db_readonly(db, "main") != 0)
        return;
    int logFrames = 0, folded = 0;
    if (sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, &logFrames, &folded) == SQLITE_OK &&
        logFrames > 0 && folded == logFrames) {
        sqlite3_busy_timeout(db, 0);
        sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
}

// The idle handle for path, lent out; nothing when none is held there or it is lent already. A file
// replaced or changed from outside since the handle last saw it is taken again first.
sqlite3 *BorrowIdle(const QString &path)
{
    IdleSlot &idle = Idle();
    if (!idle.db || idle.lent || idle.path != path)
        return nullptr;
    if (IdentityOf(path) != idle.file) {
        HoldIdleConnection(path);
        if (!idle.db)
            return nullptr;
    }
    sqlite3_busy_timeout(idle.db, g_busyTimeoutMs);
    idle.lent = true;
    return idle.db;
}

// Takes back a lent handle: left as a new one would be (no transaction), or closed when it cannot be
// (a statement still open) or when the idle connection was let go or replaced meanwhile.
void ReturnIdle(sqlite3 *db)
{
    IdleSlot &idle = Idle();
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    // Every statement of the handle beyond the kept ones is still in someone's hands.
    qsizetype statements = 0;
    for (sqlite3_stmt *stmt = sqlite3_next_stmt(db, nullptr); stmt; stmt = sqlite3_next_stmt(db, stmt))
        ++statements;
    if (idle.db == db && statements == idle.kept.size() && sqlite3_get_autocommit(db)) {
        idle.lent = false;
        return;
    }
    if (idle.db == db)
        idle.Forget();
    sqlite3_close_v2(db);
}

}  // namespace

bool DbConnection::Open(const QString &path, bool borrowIdle)
{
    Close();
    lastError = DbError();
    m_path = path;
    if (sqlite3 *db = borrowIdle ? BorrowIdle(path) : nullptr) {
        m_db = db;
        m_lent = true;
        return true;
    }
    m_db = OpenHandle(path, lastError);
    return m_db != nullptr;
}

void DbConnection::Close()
{
    if (!m_db)
        return;
    sqlite3 *db = std::exchange(m_db, nullptr);
    // A connection opened inside an operation that has the idle handle leaves the log to that
    // operation's own close, which folds in everything written meanwhile.
    IdleSlot &idle = Idle();
    if (m_lent || !idle.lent || m_path != idle.path)
        FoldLog(db);
    if (std::exchange(m_lent, false))
        ReturnIdle(db);
    else
        sqlite3_close_v2(db);
    // The changes went through SQLite, which keeps the idle handle's cache right: the file as it is
    // now is the one the handle knows.
    if (idle.db && m_path == idle.path) {
        const FileIdentity now = IdentityOf(m_path);
        if (now.SameFile(idle.file))
            idle.file = now;
    }
}

sqlite3_stmt *DbConnection::TakeKeptStatement(const QByteArray &sql)
{
    IdleSlot &idle = Idle();
    if (!m_lent || idle.db != m_db)
        return nullptr;
    return idle.kept.take(sql);
}

bool DbConnection::KeepStatement(const QByteArray &sql, sqlite3_stmt *stmt)
{
    IdleSlot &idle = Idle();
    if (!m_lent || idle.db != m_db || idle.kept.size() >= kKeptStatements || idle.kept.contains(sql))
        return false;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    idle.kept.insert(sql, stmt);
    return true;
}

bool DbConnection::Execute(const QString &jetSql)
{
    lastError = DbError();
    if (!m_db) {
        lastError = MakeDbError(QStringLiteral("the connection is not open"));
        return false;
    }
    const JetTranslation tr = TranslateJet(jetSql);
    if (!tr.ok()) {
        lastError = MakeDbError(tr.error);
        return false;
    }
    return ExecuteNative(tr.sql);
}

bool DbConnection::ExecuteNative(const QString &sql)
{
    lastError = DbError();
    if (!m_db) {
        lastError = MakeDbError(QStringLiteral("the connection is not open"));
        return false;
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    int rc = sqlite3_prepare_v2(m_db, utf8.constData(), static_cast<int>(utf8.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        lastError = MakeDbError(m_db, rc);
        sqlite3_finalize(stmt);
        return false;
    }
    if (!IsBlankTail(tail)) {
        sqlite3_finalize(stmt);
        lastError = MakeDbError(QStringLiteral("refused: more than one statement in one SQL text"));
        return false;
    }
    if (!stmt)  // blank text
        return true;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        lastError = MakeDbError(m_db, rc);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

bool DbConnection::Begin()
{
    return ExecuteNative(QStringLiteral("BEGIN IMMEDIATE"));
}

bool DbConnection::Commit()
{
    return ExecuteNative(QStringLiteral("COMMIT"));
}

void DbConnection::Rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        ExecuteNative(QStringLiteral("ROLLBACK"));
}

bool IsBlankTail(const char *tail)
{
    if (!tail)
        return true;
    for (; *tail; ++tail)
        if (*tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n' && *tail != ';')
            return false;
    return true;
}

void HoldIdleConnection(const QString &path)
{
    ReleaseIdleConnection();
    DbError error;
    sqlite3 *db = OpenHandle(path, error);
    if (!db)
        return;
    // The schema is read once here; each connection it is lent to then starts without reading it.
    if (sqlite3_exec(db, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return;
    }
    IdleSlot &idle = Idle();
    idle.db = db;
    idle.path = path;
    idle.file = IdentityOf(path);
}

void ReleaseIdleConnection()
{
    IdleSlot &idle = Idle();
    // A lent handle is closed when it comes back.
    sqlite3 *db = idle.db;
    const bool lent = idle.lent;
    idle.Forget();
    if (db && !lent)
        sqlite3_close_v2(db);
}

QString IdleConnectionPath()
{
    return Idle().db ? Idle().path : QString();
}

IdleConnectionPause::IdleConnectionPause() : m_path(IdleConnectionPath())
{
    ReleaseIdleConnection();
}

IdleConnectionPause::~IdleConnectionPause()
{
    if (!m_path.isEmpty())
        HoldIdleConnection(m_path);
}
