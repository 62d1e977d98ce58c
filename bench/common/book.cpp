// The generated book of the benchmarks.
#include "book.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <sqlite3.h>

#include <QDir>
#include <QFile>

#include "market/history.h"
#include "storage/sys_params.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/db.h"
#include "platform/program_folder.h"
#include "records/calc.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"

namespace {

void Run(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// A stock name of two to four characters drawn from the stock's number, so names repeat per stock
// and sort by their pinyin.
QString StockName(int k)
{
    static const QString chars = QStringLiteral("浦发平安万科中国银行招商工业东方电子华夏长江科技能源地产医药");
    QString name;
    for (int i = 0, n = 2 + k % 3, v = k * 7919 + 13; i < n; ++i, v /= 5)
        name += chars[(v + i * 11) % chars.size()];
    return name;
}

// Weekdays of 2014 to 2023 less about 16 holidays a year; with history the index and every stock
// have a row each trading day, but a stock is suspended now and then.
void FillHistory(const BookPlan &plan, Book &book, std::mt19937 &random)
{
    for (double d = DayNumberOf(2014, 1, 2); d <= DayNumberOf(2023, 12, 29); ++d) {
        const int weekday = WeekdayOf(d);
        if (weekday != 1 && weekday != 7 && random() % 1000 >= 62)
            book.days.push_back(d);
    }
    if (!plan.history)
        return;
    EnsureHistoryTable(QStringLiteral("1A0001"));
    for (int k = 0; k < plan.stocks; ++k)
        EnsureHistoryTable(BookStockCode(k, plan.stocks));

    DbConnection conn;
    OpenConn(conn);
    Run(conn.Handle(), "BEGIN");
    std::uniform_real_distribution<double> move(-0.03, 0.03);
    for (int k = -1; k < plan.stocks; ++k) {
        const QByteArray sql = QStringLiteral("INSERT INTO H_%1(trdat,opprice,clprice,mxprice,mnprice,num,sm) "
                                              "VALUES(?,?,?,?,?,?,?)")
                                   .arg(k < 0 ? QStringLiteral("1A0001") : BookStockCode(k, plan.stocks))
                                   .toUtf8();
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(conn.Handle(), sql.constData(), -1, &stmt, nullptr);
        double close = k < 0 ? 3000 : 5 + k % 40;
        for (double d : book.days) {
            if (k >= 0 && random() % 100 == 0)
                continue;  // suspended
            const double open = close;
            close = std::max(1.0, std::round(close * (1 + move(random)) * 100) / 100);
            sqlite3_bind_double(stmt, 1, d);
            sqlite3_bind_double(stmt, 2, static_cast<float>(open));
            sqlite3_bind_double(stmt, 3, static_cast<float>(close));
            sqlite3_bind_double(stmt, 4, static_cast<float>(std::max(open, close)));
            sqlite3_bind_double(stmt, 5, static_cast<float>(std::min(open, close)));
            sqlite3_bind_double(stmt, 6, 1e6);
            sqlite3_bind_double(stmt, 7, 1e7);
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
    }
    Run(conn.Handle(), "COMMIT");
}

// Records bought on any day of the ten years (a few on weekends), sold 1 to 400 trading days later,
// at round prices.
void FillRecords(const BookPlan &plan, const Book &book, std::mt19937 &random)
{
    DbConnection conn;
    OpenConn(conn);
    Run(conn.Handle(), "BEGIN");
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(conn.Handle(),
                       "INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice) VALUES(?,?,?,?,?,?,?,?)", -1,
                       &stmt, nullptr);
    const int n = static_cast<int>(book.days.size());
    for (int r = 0; r < plan.records; ++r) {
        const int b = static_cast<int>(random() % (n - 10));
        const double bdate = book.days[b] + (r % 50 == 0 ? 1 : 0);
        const bool sold = random() % 3 != 0 || plan.allSold;
        const int s = std::min(n - 1, b + 1 + static_cast<int>(random() % 400));
        const int num = 100 * (1 + static_cast<int>(random() % 50));
        const int k = static_cast<int>(random() % plan.stocks);
        const QByteArray code = BookStockCode(k, plan.stocks).toUtf8();
        const QByteArray name = StockName(k).toUtf8();
        sqlite3_bind_text(stmt, 1, code.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(stmt, 3, bdate);
        sqlite3_bind_double(stmt, 4, 5 + (r % 300) * 0.13);
        sqlite3_bind_int(stmt, 5, num);
        sqlite3_bind_int(stmt, 6, num);
        sqlite3_bind_double(stmt, 7, sold ? book.days[s] : kEmptyDate);
        sqlite3_bind_double(stmt, 8, sold ? 5 + (r % 300) * 0.14 : 0);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    Run(conn.Handle(), "COMMIT");
    RecalcTradeAmounts(MakeLong(0));
}

}  // namespace

QString BookStockCode(int k, int stocks)
{
    return k < stocks / 2 ? QString::number(600000 + k) : QStringLiteral("%1").arg(k + 1, 6, 10, QLatin1Char('0'));
}

Book &MakeBook(const BookPlan &plan)
{
    auto *book = new Book;
    SetProgramFolder(book->dir.path());
    const QString path = QDir(book->dir.path()).filePath(QStringLiteral("ACC.MDB"));
    CreateAccDb(path, QStringLiteral(KELVARO_DATA_DIR));
    std::mt19937 random(plan.seed);
    FillHistory(plan, *book, random);
    FillRecords(plan, *book, random);
    book->pristine = QDir(book->dir.path()).filePath(QStringLiteral("pristine.mdb"));
    QFile::copy(path, book->pristine);
    // A copy to open in the program itself, for looking at its windows on a book of this size.
    if (const QByteArray keep = qgetenv("KELVARO_KEEP_BOOK"); !keep.isEmpty())
        QFile::copy(path, QString::fromLocal8Bit(keep));
    // As the program from start-up on; it follows the file each RestoreBook puts in place.
    HoldIdleConnection(path);
    return *book;
}

void RestoreBook(const Book &book)
{
    const QString path = QDir(book.dir.path()).filePath(QStringLiteral("ACC.MDB"));
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(path);
    QFile::copy(book.pristine, path);
}

void SetUpBookRun()
{
    SetClock([] { return QDateTime(QDate(2023, 12, 30), QTime(10, 0)); });
    SetSysParams(1000000, 0.0003, 1, 10, 0.075);
}
