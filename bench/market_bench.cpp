// Market data: refreshing the quotes of a book of 120 stocks, and storing a downloaded year of 250
// daily rows of one stock.
//
// The quote refresh runs against the fake quote service on 127.0.0.1. Its figures separate the
// program's own time from the server's: wall_ms is the whole refresh, server_ms the time the server
// spent in its handlers, own_ms their difference (the program plus the loopback sockets and the
// HTTP parsing of both sides), own_cpu_ms the CPU time of the calling thread (the program's own
// work, libcurl included, without waiting). The same refresh with the replies handed over in
// process (no sockets) gives the program's own processing alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <map>
#include <memory>

#include <QDir>
#include <QTemporaryDir>

#include "fixtures/fake_services.h"
#include "market/history.h"
#include "market/http.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"

namespace {

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The quote cache of a book of 120 stocks and the index, and the symbols the service knows.
QStringList FillBookQuotes()
{
    ResetQuoteCache();
    QStringList codes = {QStringLiteral("1A0001")};
    for (int i = 0; i < 120; ++i)
        codes << QStringLiteral("%1").arg(i % 2 ? 600000 + i : 1 + i, 6, 10, QLatin1Char('0'));
    for (const QString &code : codes)
        Quotes().rows.push_back(QuoteRow{code, 0, 0, 0, 0, 10});
    return codes;
}

QStringList QuoteOf(int i)
{
    const double p = 10 + i * 0.01;
    return FakeServices::QuoteFields(QStringLiteral("股票名称"), p, p - 0.1, p + 0.05, p + 0.2, p - 0.2,
                                     QStringLiteral("2025-03-14"));
}

void BM_UpdateRealtimeQuotes120(benchmark::State &state)
{
    FakeServices services;
    services.Install();
    const QStringList codes = FillBookQuotes();
    for (int i = 0; i < codes.size(); ++i)
        services.SetQuote(ToQuoteCode(codes[i]), QuoteOf(i));

    double wallMs = 0, serverMs = 0, cpuMs = 0;
    for (auto _ : state) {
        const auto server0 = services.AnswerTime();
        const double cpu0 = ThreadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        UpdateRealtimeQuotes();
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        cpuMs += ThreadCpuMs() - cpu0;
        serverMs += std::chrono::duration<double, std::milli>(services.AnswerTime() - server0).count();
    }
    if (QuotePrice(120) == 0)
        state.SkipWithError("the refresh did not fill the cache");
    const double n = static_cast<double>(state.iterations());
    state.counters["wall_ms"] = wallMs / n;
    state.counters["server_ms"] = serverMs / n;
    state.counters["own_ms"] = (wallMs - serverMs) / n;
    state.counters["own_cpu_ms"] = cpuMs / n;
    state.counters["requests"] = static_cast<double>(services.Requests().size()) / n;
    ResetQuoteCache();
}
BENCHMARK(BM_UpdateRealtimeQuotes120)->Unit(benchmark::kMillisecond)->UseRealTime();

// Answers each quote request in process, as the fake service would, from prepared GBK lines.
class InProcessQuotes : public HttpTransport {
public:
    explicit InProcessQuotes(const QStringList &codes)
    {
        for (int i = 0; i < codes.size(); ++i) {
            const QString symbol = ToQuoteCode(codes[i]);
            m_lines[symbol.toUtf8()] =
                EncodeGbk(QStringLiteral("var hq_str_%1=\"%2\";\n").arg(symbol, QuoteOf(i).join(u',')));
        }
    }
    HttpResponse Post(const HttpRequest &request) override
    {
        HttpResponse r;
        r.completed = true;
        const QByteArray list = request.url.mid(request.url.indexOf("/list=") + 6);
        for (const QByteArray &symbol : list.split(','))
            r.body += m_lines[symbol];
        return r;
    }

private:
    std::map<QByteArray, QByteArray> m_lines;
};

void BM_UpdateRealtimeQuotes120InProcess(benchmark::State &state)
{
    const QStringList codes = FillBookQuotes();
    InProcessQuotes transport(codes);
    SetHttpTransport(&transport);
    for (auto _ : state)
        UpdateRealtimeQuotes();
    SetHttpTransport(nullptr);
    if (QuotePrice(120) == 0)
        state.SkipWithError("the refresh did not fill the cache");
    ResetQuoteCache();
}
BENCHMARK(BM_UpdateRealtimeQuotes120InProcess)->Unit(benchmark::kMillisecond);

// Hands over one prepared data-service reply for every request.
class CannedReply : public HttpTransport {
public:
    explicit CannedReply(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    HttpResponse Post(const HttpRequest &) override { return HttpResponse{true, m_bytes, QString()}; }

private:
    QByteArray m_bytes;
};

// A program folder with a new ACC.MDB and an empty H_600000.
class BenchDb {
public:
    BenchDb()
    {
        SetProgramFolder(m_dir.path());
        ok = CreateAccDb(QDir(m_dir.path()).filePath(QStringLiteral("ACC.MDB")), QStringLiteral(KELVARO_DATA_DIR)) &&
             EnsureHistoryTable(QStringLiteral("600000"));
    }
    bool ok = false;

private:
    QTemporaryDir m_dir;
};

// The reply of 250 days of 2024 (the first 250 weekdays), as the service sends it.
QByteArray YearReply()
{
    std::vector<QStringList> rows;
    for (QDate d(2024, 1, 1); rows.size() < 250; d = d.addDays(1)) {
        if (d.dayOfWeek() <= 5)
            rows.push_back(FakeHistory::Fields(FakeHistory::Day{d, 10.1, 10.25, 10.4, 9.95, 123400, 1257890.5}));
    }
    const QString body = FakeServices::SqlRowsBody({"trdat", "opprice", "clprice", "mxprice", "mnprice", "num", "sm"},
                                                   rows);
    return EncodeGbk(QStringLiteral("<html>[=START=]<BR>") + body + QStringLiteral("<BR>[=END=]</html>"));
}

// Parsing and storing the reply: everything after the reply's bytes have arrived.
void BM_StoreYearOf250Rows(benchmark::State &state)
{
    BenchDb db;
    CannedReply transport(YearReply());
    SetHttpTransport(&transport);
    const double since = DayNumberOf(2023, 12, 31);
    for (auto _ : state) {
        state.PauseTiming();
        ExecSql(QStringLiteral("DELETE * FROM H_600000"));
        DbConnection conn;
        RecordSet rs;
        OpenRs(conn, rs, QStringLiteral("SELECT * FROM H_600000 WHERE FALSE"));
        state.ResumeTiming();
        DownloadHistoryRows(1, 2024, since, rs);
        state.PauseTiming();
        CloseRs(conn, rs);
        state.ResumeTiming();
    }
    SetHttpTransport(nullptr);
    if (!db.ok || CountRecords(QStringLiteral("H_600000"), QString()) != 250)
        state.SkipWithError("the year was not stored");
}
BENCHMARK(BM_StoreYearOf250Rows)->Unit(benchmark::kMillisecond);

}  // namespace
