// Making a new ACC.MDB from data/: the schema, then the stock list, then WAL mode.
#include "db_create.h"

#include <sqlite3.h>

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTemporaryFile>

namespace {

bool ReadUtf8(const QString &path, QString &text)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    text = QString::fromUtf8(f.readAll());
    return true;
}

bool Exec(sqlite3 *db, const QString &sql)
{
    return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool LoadStockList(sqlite3 *db, const QString &tsv)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO companyinfo(id,code,name,py) VALUES(?,?,?,?)", -1, &stmt, nullptr) !=
        SQLITE_OK)
        return false;
    bool ok = true;
    const QStringList lines = tsv.split(u'\n');
    for (int i = 1; i < lines.size() && ok; ++i) {  // line 0 is the header
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const QStringList cells = line.split(u'\t');
        bool idOk = false;
        const qlonglong id = cells.value(0).toLongLong(&idOk);
        if (cells.size() < 4 || !idOk) {
            ok = false;
            break;
        }
        sqlite3_bind_int64(stmt, 1, id);
        for (int c = 1; c < 4; ++c) {
            const QByteArray utf8 = cells[c].toUtf8();
            sqlite3_bind_text(stmt, c + 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        }
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    return ok;
}

bool Build(const QString &path, const QString &schema, const QString &stocks)
{
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
              SQLITE_OK;
    ok = ok && Exec(db, QStringLiteral("BEGIN")) && Exec(db, schema) && LoadStockList(db, stocks) &&
         Exec(db, QStringLiteral("COMMIT"));
    // WAL is kept in the file, so connections need not set it again.
    ok = ok && Exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    return sqlite3_close(db) == SQLITE_OK && ok;
}

// The columns of account and 参数 the program reads, in lower case (SQLite compares names so).
const QSet<QString> &ReadColumns(const QString &table)
{
    static const QSet<QString> account = {QStringLiteral("id"),     QStringLiteral("code"),  QStringLiteral("sname"),
                                          QStringLiteral("bdate"),  QStringLiteral("bprice"), QStringLiteral("num"),
                                          QStringLiteral("tnum"),   QStringLiteral("sdate"), QStringLiteral("sprice"),
                                          QStringLiteral("bcash"),  QStringLiteral("scash"), QStringLiteral("aprice"),
                                          QStringLiteral("memo")};
    static const QSet<QString> params = {QStringLiteral("var"), QStringLiteral("con")};
    return table == u"account" ? account : params;
}

// True when the statement's rows are one "ok" (quick_check's answer for a whole file).
bool QuickCheckPasses(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr) == SQLITE_OK &&
              sqlite3_step(stmt) == SQLITE_ROW &&
              QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))) == u"ok";
    sqlite3_finalize(stmt);
    return ok;
}

bool HasReadColumns(sqlite3 *db, const QString &table)
{
    QSet<QString> missing = ReadColumns(table);
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = "SELECT name FROM pragma_table_info('" + table.toUtf8() + "')";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW)
        missing.remove(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))).toLower());
    sqlite3_finalize(stmt);
    return missing.isEmpty();
}

// The files of the folder whose names match the pattern (any letter case).
QFileInfoList FilesMatching(const QString &folder, const QRegularExpression &pattern)
{
    QFileInfoList found;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &e : entries)
        if (pattern.match(e.fileName()).hasMatch())
            found << e;
    return found;
}

// The compaction's folders in the folder (any letter case of the name); a link named so is none.
QFileInfoList CompactFolders(const QString &folder)
{
    QFileInfoList found;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden |
                                                             QDir::System | QDir::NoSymLinks);
    for (const QFileInfo &e : entries)
        if (e.fileName().compare(kCompactFolder, Qt::CaseInsensitive) == 0)
            found << e;
    return found;
}

// The full paths of the files, newest first by time of last change.
QStringList NewestFirst(QFileInfoList files)
{
    std::stable_sort(files.begin(), files.end(),
                     [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() > b.lastModified(); });
    QStringList paths;
    for (const QFileInfo &e : files)
        paths << e.absoluteFilePath();
    return paths;
}

// The names of the columns of table account in the schema ("main" or an attached one), in lower case.
QSet<QString> AccountColumns(sqlite3 *db, const char *schema)
{
    QSet<QString> names;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info('account', ?)", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, schema, -1, SQLITE_STATIC);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            names.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))).toLower());
    }
    sqlite3_finalize(stmt);
    return names;
}

}  // namespace

bool IsWholeBook(const QString &path)
{
    if (InspectBookFile(path) != AccDbState::Ok)
        return false;
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
              QuickCheckPasses(db) && HasReadColumns(db, QStringLiteral("account")) &&
              HasReadColumns(db, QStringLiteral("参数"));
    sqlite3_close(db);
    return ok;
}

QStringList KeptBookCopies(const QString &folder, bool allCopies)
{
    static const QRegularExpression kept(QStringLiteral("^(acc\\d{4}\\.mdb|.*\\.dbk)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression all(
        QStringLiteral("^(acc\\d{4}\\.mdb|.*\\.dbk|accRestore.*\\.tmp|backup|acc\\.mdb\\.new)$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression notLog(QStringLiteral("^(?!.*(-wal|-shm)$)"),
                                           QRegularExpression::CaseInsensitiveOption);
    QFileInfoList found = FilesMatching(folder, allCopies ? all : kept);
    if (allCopies)
        for (const QFileInfo &compact : CompactFolders(folder))
            found += FilesMatching(compact.absoluteFilePath(), notLog);
    return NewestFirst(found);
}

QString KeptCopyText(const QString &path)
{
    return QDir::toNativeSeparators(path) + QStringLiteral("（") +
           QFileInfo(path).lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral("）");
}

QStringList BookLeftovers(const QString &folder)
{
    static const QRegularExpression leftover(QStringLiteral("^(accRestore.*\\.tmp|acc\\.mdb\\.new)(-wal|-shm)?$"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression any(QStringLiteral("."));
    QStringList found = NewestFirst(FilesMatching(folder, leftover));
    for (const QFileInfo &compact : CompactFolders(folder))
        found << NewestFirst(FilesMatching(compact.absoluteFilePath(), any)) << compact.absoluteFilePath();
    return found;
}

bool HoldsRowsTheBookLacks(const QString &copy, const QString &book)
{
    sqlite3 *db = nullptr;
    bool lacks = true;
    if (sqlite3_open_v2(book.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *attach = nullptr;
        const QByteArray copyPath = copy.toUtf8();
        const bool attached = sqlite3_prepare_v2(db, "ATTACH DATABASE ? AS kept", -1, &attach, nullptr) == SQLITE_OK &&
                              sqlite3_bind_text(attach, 1, copyPath.constData(), -1, SQLITE_STATIC) == SQLITE_OK &&
                              sqlite3_step(attach) == SQLITE_DONE;
        sqlite3_finalize(attach);
        QStringList common;
        if (attached) {
            const QSet<QString> ofBook = AccountColumns(db, "main");
            for (const QString &name : AccountColumns(db, "kept"))
                if (ofBook.contains(name))
                    common << u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
        }
        common.sort();
        sqlite3_stmt *stmt = nullptr;
        const QString columns = common.join(u',');
        const QByteArray sql = ("SELECT EXISTS (SELECT " + columns + " FROM kept.account EXCEPT SELECT " + columns +
                                " FROM main.account)")
                                   .toUtf8();
        if (!common.isEmpty() && sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            lacks = sqlite3_column_int(stmt, 0) != 0;
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return lacks;
}

bool HasAccDbSources(const QString &dataDir)
{
    const QDir dir(dataDir);
    return !dataDir.isEmpty() && QFileInfo(dir.filePath(QStringLiteral("schema.sql"))).isFile() &&
           QFileInfo(dir.filePath(QStringLiteral("companyinfo.tsv"))).isFile();
}

AccDbState InspectAccDb(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return AccDbState::Missing;
    if (info.isDir())
        return AccDbState::Folder;
    if (!QFileInfo(info.absolutePath()).isWritable())
        return AccDbState::FolderReadOnly;
    if (info.isFile() && info.size() == 0)
        return AccDbState::Empty;
    if (!info.isWritable())
        return AccDbState::ReadOnly;
    return InspectBookFile(path);
}

AccDbState InspectBookFile(const QString &path)
{
    const QFileInfo info(path);
    // The header first, so that no library is handed a file that is plainly something else.
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly) || f.read(16) != QByteArray("SQLite format 3", 16))
        return AccDbState::NotDatabase;
    f.close();
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return AccDbState::NotDatabase;
    }
    sqlite3_stmt *stmt = nullptr;
    int found = -1;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name IN ('account','参数')",
                           -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        found = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (found < 0)
        return AccDbState::NotDatabase;
    return found == 2 ? AccDbState::Ok : AccDbState::NotOurs;
}

bool CreateAccDb(const QString &path, const QString &dataDir)
{
    if (QFileInfo::exists(path))
        return false;
    QString schema, stocks;
    if (!ReadUtf8(QDir(dataDir).filePath(QStringLiteral("schema.sql")), schema) ||
        !ReadUtf8(QDir(dataDir).filePath(QStringLiteral("companyinfo.tsv")), stocks))
        return false;

    QTemporaryFile tmp(path + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
        return false;
    tmp.close();
    const QString tmpPath = tmp.fileName();
    if (!Build(tmpPath, schema, stocks))
        return false;
    // A temporary file is private to its owner; the database is an ordinary file.
    QFile::setPermissions(tmpPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                       QFileDevice::ReadOther);
    // rename() of QFile refuses an existing target, so a file made meanwhile is not overwritten.
    if (!QFile::rename(tmpPath, path))
        return false;
    tmp.setAutoRemove(false);
    return true;
}
