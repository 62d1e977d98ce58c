// The record editor on the generated book (100 stocks, 1,000 records over ten years), today the
// Saturday after it and no quote service: saving a new buy and an edit dated 20 trading days back
// with the root node current, the quick-buy window's "确定" on the same buy, and the lookups each keystroke runs against a stock list of 5,000
// more generated stocks with the quotes of the book cached. The main window's tree, grid and chart
// are not part of this program: their refresh hooks are left empty.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include <QCoreApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLineEdit>

#include "bench/common/book.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "records/records_hooks.h"
#include "storage/db_operate.h"

namespace {

Book &EditorBook()
{
    static Book &book = MakeBook(BookPlan{});
    return book;
}

constexpr int kMoreStocks = 5000;

// The book with its asset table, the quote list rebuilt (every stock cached), 5,000 more stocks in
// the stock list, and the root node current.
void PrepareBook()
{
    static bool done = false;
    SetUpBookRun();
    if (done)
        return;
    done = true;
    RestoreBook(EditorBook());
    RecalcDeelRes(kEmptyDate, false);
    // Four characters of names with their pinyin initials.
    const QString chars = QStringLiteral("华中国海金科电信通达新天宝安东方光明长江");
    const QString initials = QStringLiteral("HZGHJKDXTDXTBADFGMCJ");
    std::mt19937 random(5000);
    DbConnection conn;
    OpenConn(conn);
    conn.Begin();
    for (int k = 0; k < kMoreStocks; ++k) {
        QString name, py;
        for (int c = 0; c < 4; ++c) {
            const int i = static_cast<int>(random() % chars.size());
            name += chars[i];
            py += initials[i];
        }
        conn.Execute(QStringLiteral("INSERT INTO companyinfo(id,code,name,py) VALUES(%1,'%2','%3','%4')")
                         .arg(100000 + k)
                         .arg(800000 + k)
                         .arg(name, py));
    }
    conn.Commit();
    conn.Close();
    RebuildQuoteList();
    RecordsWindowHooks().currentNode = [] { return std::optional(TreeNodeRef{QString(), QStringLiteral("股票"), 1}); };
}

QDate TradingDaysBack(int n)
{
    const std::vector<double> &days = EditorBook().days;
    return DateOfDayNumber(days[days.size() - 1 - n]);
}

void BM_SaveNewBuy(benchmark::State &state)
{
    PrepareBook();
    AccEditForm *f = AccEdit();
    for (auto _ : state) {
        state.PauseTiming();
        f->NewAccEdit();
        f->SetTTText(0, QStringLiteral("600007"));
        f->DTE[0]->setDate(TradingDaysBack(20));
        f->SetTTText(2, QStringLiteral("1000"));
        state.ResumeTiming();
        f->SaveAccRec();
        state.PauseTiming();
        ExecSql(QStringLiteral("DELETE FROM account WHERE id=(SELECT MAX(id) FROM account)"));
        state.ResumeTiming();
    }
    delete f;
}
BENCHMARK(BM_SaveNewBuy)->Unit(benchmark::kMillisecond);

void BM_SaveEdit(benchmark::State &state)
{
    PrepareBook();
    ExecSql(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice) VALUES('600011','x',") +
            SqlDateLiteral(DayNumberOf(TradingDaysBack(20))) + QStringLiteral(",10,1000,1000,#1900-1-1#,0)"));
    const long id = static_cast<long>(
        GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE ORDER BY id DESC"), QStringLiteral("id"),
                      MakeLong(0))
            .num);
    RecalcTradeAmounts(MakeLong(id));
    RecalcDeelRes(DayNumberOf(TradingDaysBack(20)), false);
    AccEditForm *f = AccEdit();
    f->ID->setText(QString::number(id));
    bool more = false;
    for (auto _ : state) {
        state.PauseTiming();
        more = !more;
        f->SetTTText(2, more ? QStringLiteral("1100") : QStringLiteral("1000"));
        state.ResumeTiming();
        f->SaveAccRec();
    }
    delete f;
    ExecSql(QStringLiteral("DELETE FROM account WHERE id=") + QString::number(id));
}
BENCHMARK(BM_SaveEdit)->Unit(benchmark::kMillisecond);

// The quick-buy window's "确定": the checks, the store and the refreshes of the buy BM_SaveNewBuy
// saves, and the window closing.
void BM_QuickBuy(benchmark::State &state)
{
    PrepareBook();
    for (auto _ : state) {
        state.PauseTiming();
        StockBuyForm *f = StockBuy();
        f->SetTTText(0, QStringLiteral("600007"));
        f->DTE->setDate(TradingDaysBack(20));
        f->SetTTText(2, QStringLiteral("1000"));
        f->SetTTText(3, QStringLiteral("10"));  // no quote service: no price is proposed
        state.ResumeTiming();
        f->Com_Click(0);
        state.PauseTiming();
        if (LoadedStockBuy()) {
            state.SkipWithError("the buy was not stored");
            break;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ExecSql(QStringLiteral("DELETE FROM account WHERE id=(SELECT MAX(id) FROM account)"));
        state.ResumeTiming();
    }
    delete LoadedStockBuy();
}
BENCHMARK(BM_QuickBuy)->Unit(benchmark::kMillisecond);

// Types the text into TT(box) one key at a time, from an empty new entry; the counters give the
// mean and the slowest keystroke.
void TypeKeys(benchmark::State &state, int box, const QString &keys)
{
    PrepareBook();
    AccEditForm *f = AccEdit();
    double slowest = 0;
    double total = 0;
    long long count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f->NewAccEdit();
        state.ResumeTiming();
        for (const QChar key : keys) {
            QElapsedTimer t;
            t.start();
            f->TT[box]->insert(QString(key));
            const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
            slowest = std::max(slowest, ms);
            total += ms;
            ++count;
        }
    }
    state.counters["mean_key_ms"] = count ? total / static_cast<double>(count) : 0;
    state.counters["slowest_key_ms"] = slowest;
    delete f;
}

void BM_TypeNamePFYH(benchmark::State &state)
{
    TypeKeys(state, 1, QStringLiteral("PFYH"));
}
BENCHMARK(BM_TypeNamePFYH)->Unit(benchmark::kMillisecond);

void BM_TypeCode600000(benchmark::State &state)
{
    TypeKeys(state, 0, QStringLiteral("600000"));
}
BENCHMARK(BM_TypeCode600000)->Unit(benchmark::kMillisecond);

}  // namespace
