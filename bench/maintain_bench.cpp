// The compaction and the backup of a book of 100 stocks and 1,000 records over ten years with the
// price history of the index and of every stock, as the "数据库" menu runs them: the compaction with
// its "backup" copy, and the backup to a .dbk file over an older one.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>

#include "bench/common/book.h"
#include "mainwindow/db_maintain.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "storage/compact.h"

namespace {

Book &TheBook()
{
    static Book &book = MakeBook(BookPlan{});
    return book;
}

void BM_CompactTenYearBook(benchmark::State &state)
{
    Book &book = TheBook();
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    for (auto _ : state) {
        state.PauseTiming();
        RestoreBook(book);
        state.ResumeTiming();
        CompactAccDb();
    }
    SetPrompter(nullptr);
    if (!prompter.Messages().isEmpty())
        state.SkipWithError(prompter.Messages().join(u';').toStdString().c_str());
    state.counters["MB"] = QFileInfo(book.pristine).size() / 1e6;
}
BENCHMARK(BM_CompactTenYearBook)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_BackupTenYearBook(benchmark::State &state)
{
    Book &book = TheBook();
    RestoreBook(book);
    const QString target = QDir(book.dir.path()).filePath(QStringLiteral("ACC20231230.dbk"));
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    for (auto _ : state) {
        prompter.fileAnswers = {target};
        BackupDatabase();
    }
    SetPrompter(nullptr);
    if (prompter.Messages().isEmpty() || !prompter.Messages().back().startsWith(kBackupDoneText))
        state.SkipWithError("the backup failed");
    state.counters["MB"] = QFileInfo(target).size() / 1e6;
}
BENCHMARK(BM_BackupTenYearBook)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
