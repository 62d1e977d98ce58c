// Benchmarks of the database layer on a new ACC.MDB: one value read with its own connection (with and
// without the idle connection held), one row written through a record set, and a large result read
// into a record set.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/program_folder.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"

namespace {

// A program folder with a new ACC.MDB holding `trades` rows in account.
class BenchDb {
public:
    explicit BenchDb(int trades)
    {
        SetProgramFolder(m_dir.path());
        ok = CreateAccDb(QDir(m_dir.path()).filePath(QStringLiteral("ACC.MDB")), QStringLiteral(KELVARO_DATA_DIR));
        DbConnection conn;
        ok = ok && OpenConn(conn) && conn.Begin();
        for (int i = 0; ok && i < trades; ++i)
            ok = conn.Execute(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num,tnum,bcash,scash,aprice,"
                                             "memo) VALUES('%1','浦发银行',%2,10.5,100,100,1050.5,0,10.6,'备注')")
                                  .arg(600000 + i % 500, 6, 10, QLatin1Char('0'))
                                  .arg(44000 + i));
        ok = ok && conn.Commit();
    }
    bool ok = false;

private:
    QTemporaryDir m_dir;
};

// Argument 1: with the idle connection held, as the program holds it from start-up on; 0: without.
void BM_GetFieldValueWithConnection(benchmark::State &state)
{
    BenchDb db(100);
    if (!db.ok) {
        state.SkipWithError("cannot make the database");
        return;
    }
    if (state.range(0) != 0)
        HoldIdleConnection(ProgramFilePath(kAccDb));
    for (auto _ : state) {
        Value v = GetFieldValue(QStringLiteral("companyinfo"), QStringLiteral("code='600000'"), QStringLiteral("id"),
                                MakeLong(0));
        benchmark::DoNotOptimize(v);
    }
    ReleaseIdleConnection();
}
BENCHMARK(BM_GetFieldValueWithConnection)->ArgName("idle")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_RecordSetUpdateOneRow(benchmark::State &state)
{
    BenchDb db(100);
    DbConnection conn;
    RecordSet rs;
    if (!db.ok || !OpenRs(conn, rs, QStringLiteral("SELECT * FROM account WHERE id=50"))) {
        state.SkipWithError("cannot open the record set");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        rs.Set(QStringLiteral("num"), MakeLong(++n % 1000 + 1));
        if (!rs.Update())
            state.SkipWithError("update failed");
    }
    CloseRs(conn, rs);
}
BENCHMARK(BM_RecordSetUpdateOneRow)->Unit(benchmark::kMicrosecond);

void BM_ReadTenThousandRows(benchmark::State &state)
{
    BenchDb db(10000);
    if (!db.ok) {
        state.SkipWithError("cannot make the database");
        return;
    }
    for (auto _ : state) {
        DbConnection conn;
        RecordSet rs;
        if (!OpenRs(conn, rs, QStringLiteral("SELECT * FROM account ORDER BY code,bdate")) || rs.RecordCount() != 10000)
            state.SkipWithError("query failed");
        CloseRs(conn, rs);
    }
}
BENCHMARK(BM_ReadTenThousandRows)->Unit(benchmark::kMillisecond);

}  // namespace
