// Recomputing the amounts of every record of a 10,000-record book.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/program_folder.h"
#include "records/calc.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"

namespace {

void FillBook(int records)
{
    DbConnection conn;
    OpenConn(conn);
    conn.Begin();
    for (int i = 0; i < records; ++i) {
        const double bprice = 5 + (i % 300) * 0.13;
        const bool sold = i % 3 == 0;
        conn.Execute(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,tnum,sdate,sprice) "
                                    "VALUES('%1','x',%2,%3,%4,%4,%5,%6)")
                         .arg(600000 + i % 100)
                         .arg(42000 + i % 2400)
                         .arg(bprice)
                         .arg(100 * (1 + i % 50))
                         .arg(sold ? 42000 + i % 2400 + 20 : 2)
                         .arg(sold ? bprice * 1.1 : 0));
    }
    conn.Commit();
}

void BM_RecalcTradeAmountsAll(benchmark::State &state)
{
    QTemporaryDir dir;
    SetProgramFolder(dir.path());
    CreateAccDb(QDir(dir.path()).filePath("ACC.MDB"), QStringLiteral(KELVARO_DATA_DIR));
    FillBook(10000);
    for (auto _ : state)
        RecalcTradeAmounts(MakeLong(0));
}
BENCHMARK(BM_RecalcTradeAmountsAll)->Unit(benchmark::kMillisecond);

}  // namespace
