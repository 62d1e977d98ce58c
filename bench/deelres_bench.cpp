// Rebuilding the per-day asset table of a book of 100 stocks and 1,000 records over ten years of
// trading days (about 2,450 days of index history and of each stock's history): in full, and from
// five trading days back as at every start-up.
#include <benchmark/benchmark.h>

#include <random>

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "market/calendar.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/program_folder.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"
#include "storage/sys_params.h"

namespace {

constexpr int kStocks = 100;
constexpr int kRecords = 1000;

struct Book {
    QTemporaryDir dir;
    QString pristine;          // the generated ACC.MDB, before any asset row
    std::vector<double> days;  // the trading days, ascending
};

QString StockCode(int k)
{
    return k < kStocks / 2 ? QString::number(600000 + k) : QStringLiteral("%1").arg(k + 1, 6, 10, QLatin1Char('0'));
}

void Run(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Weekdays of 2014 to 2023 less about 16 holidays a year; the index and every stock have a row each
// trading day, but a stock is suspended now and then.
void FillHistory(Book &book, std::mt19937 &random)
{
    for (double d = DayNumberOf(2014, 1, 2); d <= DayNumberOf(2023, 12, 29); ++d) {
        const int weekday = WeekdayOf(d);
        if (weekday != 1 && weekday != 7 && random() % 1000 >= 62)
            book.days.push_back(d);
    }
    EnsureHistoryTable(QStringLiteral("1A0001"));
    for (int k = 0; k < kStocks; ++k)
        EnsureHistoryTable(StockCode(k));

    DbConnection conn;
    OpenConn(conn);
    Run(conn.Handle(), "BEGIN");
    std::uniform_real_distribution<double> move(-0.03, 0.03);
    for (int k = -1; k < kStocks; ++k) {
        const QByteArray sql = QStringLiteral("INSERT INTO H_%1(trdat,opprice,clprice,mxprice,mnprice,num,sm) "
                                              "VALUES(?,?,?,?,?,?,?)")
                                   .arg(k < 0 ? QStringLiteral("1A0001") : StockCode(k))
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

// Records bought on any day of the ten years (a few on weekends), two in three sold 1 to 400 trading
// days later, at round prices.
void FillRecords(const Book &book, std::mt19937 &random)
{
    DbConnection conn;
    OpenConn(conn);
    Run(conn.Handle(), "BEGIN");
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(conn.Handle(),
                       "INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice) VALUES(?,'x',?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    const int n = static_cast<int>(book.days.size());
    for (int r = 0; r < kRecords; ++r) {
        const int b = static_cast<int>(random() % (n - 10));
        const double bdate = book.days[b] + (r % 50 == 0 ? 1 : 0);
        const bool sold = random() % 3 != 0;
        const int s = std::min(n - 1, b + 1 + static_cast<int>(random() % 400));
        const int num = 100 * (1 + static_cast<int>(random() % 50));
        const QByteArray code = StockCode(static_cast<int>(random() % kStocks)).toUtf8();
        sqlite3_bind_text(stmt, 1, code.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(stmt, 2, bdate);
        sqlite3_bind_double(stmt, 3, 5 + (r % 300) * 0.13);
        sqlite3_bind_int(stmt, 4, num);
        sqlite3_bind_int(stmt, 5, num);
        sqlite3_bind_double(stmt, 6, sold ? book.days[s] : kEmptyDate);
        sqlite3_bind_double(stmt, 7, sold ? 5 + (r % 300) * 0.14 : 0);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    Run(conn.Handle(), "COMMIT");
    RecalcTradeAmounts(MakeLong(0));
}

Book &TheBook()
{
    static Book *book = [] {
        auto *b = new Book;
        SetProgramFolder(b->dir.path());
        const QString path = QDir(b->dir.path()).filePath(QStringLiteral("ACC.MDB"));
        CreateAccDb(path, QStringLiteral(KELVARO_DATA_DIR));
        std::mt19937 random(20240309);
        FillHistory(*b, random);
        FillRecords(*b, random);
        b->pristine = QDir(b->dir.path()).filePath(QStringLiteral("pristine.mdb"));
        QFile::copy(path, b->pristine);
        // As the program from start-up on; it follows the file each Restore puts in place.
        HoldIdleConnection(path);
        return b;
    }();
    return *book;
}

// A fresh copy of the generated database, no asset rows yet.
void Restore(const Book &book)
{
    const QString path = QDir(book.dir.path()).filePath(QStringLiteral("ACC.MDB"));
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(path);
    QFile::copy(book.pristine, path);
}

// The Saturday after the last trading day: the calendar asks no quote service, and today gets no row.
void SetUpRun()
{
    static const QDateTime now(QDate(2023, 12, 30), QTime(10, 0));
    SetClock([] { return now; });
    // Nothing may leave the machine: a quote request would be refused at once.
    SetQuoteServiceBase(QStringLiteral("http://127.0.0.1:9"));
    SetSysParams(1000000, 0.0003, 1, 10, 0.075);
}

void BM_RecalcDeelResFull(benchmark::State &state)
{
    Book &book = TheBook();
    SetUpRun();
    Restore(book);
    RecalcDeelRes(kEmptyDate, true);  // the first run after a download also indexes the price tables
    for (auto _ : state)
        RecalcDeelRes(kEmptyDate, true);
    state.counters["rows"] = CountRecords(QStringLiteral("DeelRes"), QString());
}
BENCHMARK(BM_RecalcDeelResFull)->Unit(benchmark::kMillisecond);

void BM_RecalcDeelResFiveDaysBack(benchmark::State &state)
{
    Book &book = TheBook();
    SetUpRun();
    Restore(book);
    RecalcDeelRes(kEmptyDate, true);
    const double start = book.days[book.days.size() - 5];
    for (auto _ : state)
        RecalcDeelRes(start, true);
}
BENCHMARK(BM_RecalcDeelResFiveDaysBack)->Unit(benchmark::kMillisecond);

// The first full run on a database whose price tables have no index yet.
void BM_RecalcDeelResFullFirstRun(benchmark::State &state)
{
    Book &book = TheBook();
    SetUpRun();
    for (auto _ : state) {
        state.PauseTiming();
        Restore(book);
        state.ResumeTiming();
        RecalcDeelRes(kEmptyDate, true);
    }
}
BENCHMARK(BM_RecalcDeelResFullFirstRun)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
