// The quote cache: service symbols, request batches, the price refresh and single prices, against
// canned replies and the fake quote service.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimeZone>

#include "canned_transport.h"
#include "fixtures/closed_port.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/clock.h"
#include "platform/daynum.h"

namespace {

const QDateTime kNow(QDate(2024, 1, 5), QTime(10, 30, 0), QTimeZone(kMarketUtcOffsetSeconds));

TEST(ToQuoteCode, Table)
{
    const std::pair<QString, QString> cases[] = {
        {"600000", "sh600000"}, {"601318", "sh601318"}, {"900901", "sh900901"}, {"000001", "sz000001"},
        {"300750", "sz300750"}, {"002594", "sz002594"}, {"200002", "sz200002"}, {"1A0001", "sh000001"},
        {"1a0001", "sh000001"}, {"688001", "sh688001"}, {"688981", "sh688981"}, {"689009", "sh689009"},
        {"680000", "sh680000"}, {"601A01", "sh601A01"}, {"900a01", "sh900A01"}, {"860001", "sz860001"},
        {"069999", "sz069999"}, {"6", "sz6"},           {"", "sz"},
    };
    for (const auto &[code, symbol] : cases)
        EXPECT_EQ(ToQuoteCode(code), symbol) << code.toStdString();
}

// The number of symbols in each request for a list of n codes.
std::vector<int> BatchSizes(int n)
{
    CannedTransport transport;
    for (int i = 0; i < 5; ++i)
        transport.Reply("var hq_str_x=\"\";\n");
    QStringList codes = {"1A0001"};
    for (int i = 1; i < n; ++i)
        codes << QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    FetchQuoteText(codes.join(u','));
    std::vector<int> sizes;
    for (const HttpRequest &r : transport.requests) {
        const QByteArray list = r.url.mid(r.url.indexOf("/list=") + 6);
        sizes.push_back(static_cast<int>(list.count(',')) + 1);
    }
    return sizes;
}

TEST(FetchQuoteText, IndexAloneThenFiftyPerRequest)
{
    const std::pair<int, std::vector<int>> cases[] = {
        {1, {1}}, {2, {1, 1}}, {50, {1, 49}}, {51, {1, 50}}, {52, {1, 50, 1}}, {121, {1, 50, 50, 20}},
    };
    for (const auto &[n, sizes] : cases)
        EXPECT_EQ(BatchSizes(n), sizes) << n << " codes";
}

TEST(FetchQuoteText, RequestsAndChunks)
{
    CannedTransport transport;
    EXPECT_TRUE(FetchQuoteText(QString()).isEmpty());
    EXPECT_TRUE(transport.requests.empty());

    transport.Reply("var hq_str_sh000001=\"1\";\n");
    transport.Reply("var hq_str_sh600000=\"a var b,2\";\nvar hq_str_sz000002=\"3\";\n");
    const QStringList chunks = FetchQuoteText(QStringLiteral("1A0001,600000,000002"));
    ASSERT_EQ(transport.requests.size(), 2u);
    EXPECT_EQ(transport.requests[0].url, QuoteServiceBase().toUtf8() + "/list=sh000001");
    EXPECT_EQ(transport.requests[1].url, QuoteServiceBase().toUtf8() + "/list=sh600000,sz000002");
    EXPECT_TRUE(transport.requests[0].body.isEmpty());
    EXPECT_EQ(transport.requests[1].referer, "https://finance.sina.com.cn");
    EXPECT_EQ(chunks, QStringList({"", "sh000001=\"1\";\n", "sh600000=\"a var b,2\";\n", "sz000002=\"3\";\n"}));
}

TEST(FetchQuoteText, FailedBatchStopsTheRequests)
{
    // Three batches; the second fails: the third is not asked for and nothing is returned, not even
    // the first request's quote.
    QStringList codes = {"1A0001"};
    for (int i = 1; i <= 51; ++i)
        codes << QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    for (const bool transportFails : {true, false}) {
        CannedTransport transport;
        transport.Reply("var hq_str_sh000001=\"1\";\n");
        if (transportFails)
            transport.Fail();
        else
            transport.Reply("");  // an answer without a body
        transport.Reply("var hq_str_sz000051=\"3\";\n");
        EXPECT_TRUE(FetchQuoteText(codes.join(u',')).isEmpty()) << transportFails;
        EXPECT_EQ(transport.requests.size(), 2u) << transportFails;
    }
}

TEST(QuotesBySymbol, EachQuoteUnderTheSymbolItNames)
{
    struct Case {
        const char *reply;
        std::map<QString, QStringList> quotes;
    };
    const Case cases[] = {
        {"", {}},
        {"garbage without a quote", {}},
        {"var hq_str_sh600000=\"浦发,7.5,7.4\";\nvar hq_str_sz000002=\"\";\n",
         {{"sh600000", {"浦发", "7.5", "7.4"}}, {"sz000002", {""}}}},
        // "var" inside a name, upper-case symbols, blanks around the line
        {"  var hq_str_SH600036=\"招var商,1,2\"; \n", {{"sh600036", {"招var商", "1", "2"}}}},
        // a quote without quotation marks, one without "=", one without a symbol
        {"var hq_str_sh600000=1,2;var hq_str_broken;var hq_str_=\"x\";", {{"sh600000", {"1", "2;"}}}},
        // a missing closing mark runs to the end; a symbol named twice keeps its first quote
        {"var hq_str_sh600000=\"1,2\nvar hq_str_sh600000=\"3,4\";", {{"sh600000", {"1", "2"}}}},
    };
    for (const Case &c : cases) {
        const QHash<QString, QStringList> got = QuotesBySymbol(QString::fromUtf8(c.reply).split("var hq_str_"));
        const std::map<QString, QStringList> sorted(got.keyValueBegin(), got.keyValueEnd());
        EXPECT_EQ(sorted, c.quotes) << c.reply;
    }
}

class QuoteCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetClock([] { return kNow; });
        ResetQuoteCache();
        services.Install();
    }
    void TearDown() override
    {
        ResetQuoteCache();
        SetClock(nullptr);
        HttpLimits() = HttpTimeLimits();
    }
    // Rows with the given codes, last closes and a stale price, dated yesterday.
    void Fill(const QStringList &codes, double lastClose = 9.0)
    {
        for (const QString &code : codes)
            Quotes().rows.push_back(QuoteRow{code, 1, 2, 3, 4, lastClose});
        Quotes().listDate = DayNumberOf(QDate(2024, 1, 4));
    }
    void Quote(const QString &symbol, double open, double price, double high, double low)
    {
        services.SetQuote(symbol, FakeServices::QuoteFields(QStringLiteral("股票"), open, 9, price, high, low,
                                                             QStringLiteral("2024-01-05")));
    }
    FakeServices services;
};

TEST_F(QuoteCacheTest, RefreshMapsEachQuoteToItsCode)
{
    Fill({"1A0001", "000002", "600000"});
    Quote("sh000001", 3000, 3010.5, 3020, 2990);
    Quote("sz000002", 10.1, 0, 0, 0);  // not traded today
    Quote("sh600000", 7.5, 7.6, 7.7, 7.4);
    UpdateRealtimeQuotes();

    EXPECT_EQ(QuoteCodes(), QStringList({"1A0001", "000002", "600000"}));
    EXPECT_DOUBLE_EQ(QuoteOpen(0), 3000);
    EXPECT_DOUBLE_EQ(QuotePrice(0), 3010.5);
    EXPECT_DOUBLE_EQ(QuoteHigh(0), 3020);
    EXPECT_DOUBLE_EQ(QuoteLow(0), 2990);
    EXPECT_DOUBLE_EQ(QuotePrice(1), 9.0);  // the last close stands in for a missing price
    EXPECT_DOUBLE_EQ(QuoteOpen(2), 7.5);
    EXPECT_DOUBLE_EQ(QuotePrice(2), 7.6);
    EXPECT_DOUBLE_EQ(QuoteListDate(), DayNumberOf(kNow));
    // The stamp is the market's time, whatever the zone of the clock: 21:30 the evening before in
    // New York (UTC-5) is 10:30 in China.
    SetClock([] { return QDateTime(kNow.date().addDays(-1), QTime(21, 30), QTimeZone(-5 * 3600)); });
    UpdateRealtimeQuotes();
    EXPECT_DOUBLE_EQ(QuoteListDate(), DayNumberOf(kNow));
    SetClock([] { return kNow; });
    EXPECT_DOUBLE_EQ(QuotePrice(3), 0);  // no such row
    EXPECT_DOUBLE_EQ(QuotePrice(-1), 0);
}

TEST_F(QuoteCacheTest, FailedBatchStopsTheRefreshAndChangesNothing)
{
    QStringList codes = {"1A0001"};
    for (int i = 1; i <= 120; ++i)
        codes << QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    Fill(codes);
    const double stamp = QuoteListDate();
    // Request 1 or 3 fails; then request 2 brings more than a quote reply may hold (5 MB, which the
    // server sends compressed).
    for (const size_t failing : {1u, 3u, 2u}) {
        services.ClearRequests();
        if (failing == 2)
            services.SetQuoteLine(QStringLiteral("sz000030"), QStringLiteral("var hq_str_sz000030=\"") +
                                                                  QString(5'000'000, u'9') + QStringLiteral("\";\n"));
        else
            services.FailQuoteRequest(static_cast<int>(failing));
        UpdateRealtimeQuotes();
        for (int k = 0; k <= 120; ++k)
            ASSERT_DOUBLE_EQ(QuotePrice(k), 4) << "request " << failing << " row " << k;
        EXPECT_DOUBLE_EQ(QuoteListDate(), stamp);
        EXPECT_EQ(services.Requests().size(), failing);  // none after the failed one
    }
}

TEST_F(QuoteCacheTest, EachQuoteReachesOnlyItsOwnRowAndOnlyUsableValues)
{
    // Rows hold open 1, high 2, low 3, price 4, last close 9 before the refresh.
    struct Case {
        const char *code;
        QStringList fields;  // empty: the reply leaves the stock out
        double open, price, high, low;
    };
    const auto fields = [](const char *name, const char *open, const char *price, const char *high, const char *low) {
        QStringList f = FakeServices::QuoteFields(QString::fromUtf8(name), 0, 9, 0, 0, 0, QStringLiteral("2024-01-05"));
        f[1] = QString::fromLatin1(open);
        f[3] = QString::fromLatin1(price);
        f[4] = QString::fromLatin1(high);
        f[5] = QString::fromLatin1(low);
        return f;
    };
    const Case cases[] = {
        {"1A0001", fields("上证指数", "3000", "3010.5", "3020", "2990"), 3000, 3010.5, 3020, 2990},
        {"600000", fields("浦发var银行", "7.5", "7.6", "7.7", "7.4"), 7.5, 7.6, 7.7, 7.4},  // "var" in a name
        {"600000,000002", {}, 1, 4, 2, 3},  // a code holding a comma: not asked for, kept
        {"000002", fields("万科", "-5", "1e308", "1e999", "x"), 1, 4, 2, 0},  // negative, beyond range, infinite
        {"600036", fields("招商", "0", "-0.01", "30.3", "-1e-9"), 0, 4, 30.3, 3},
        {"000858", {}, 1, 4, 2, 3},                                         // missing from the reply
        {"601318", fields("平安", "48", "0", "48.5", "47.5"), 48, 9, 48.5, 47.5},  // no trade today: last close
        // just below the price no stock reaches, at it, far beyond it
        {"300750", fields("宁德", "999999.99", "1000000", "1e30", "nan"), 999999.99, 4, 2, 3},
        {"002594", fields("比亚迪", "+inf", "-1e999", "1e-999", "250"), 1, 4, 2, 250},
    };
    QStringList codes;
    for (const Case &c : cases) {
        codes << QString::fromUtf8(c.code);
        if (c.fields.isEmpty())
            services.SetQuoteLine(ToQuoteCode(QString::fromUtf8(c.code)), QString());
        else
            services.SetQuote(ToQuoteCode(QString::fromUtf8(c.code)), c.fields);
    }
    Fill(codes);
    UpdateRealtimeQuotes();
    for (int k = 0; k < static_cast<int>(std::size(cases)); ++k) {
        const Case &c = cases[k];
        EXPECT_DOUBLE_EQ(QuoteOpen(k), c.open) << c.code;
        EXPECT_DOUBLE_EQ(QuotePrice(k), c.price) << c.code;
        EXPECT_DOUBLE_EQ(QuoteHigh(k), c.high) << c.code;
        EXPECT_DOUBLE_EQ(QuoteLow(k), c.low) << c.code;
    }
    EXPECT_DOUBLE_EQ(QuoteListDate(), DayNumberOf(kNow));
    const auto requests = services.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].symbols,
              QStringList({"sh600000", "sz000002", "sh600036", "sz000858", "sh601318", "sz300750", "sz002594"}));
    for (const FakeRequest &r : requests)
        EXPECT_EQ(r.referer, "https://finance.sina.com.cn");
    // The same stock asked for alone reads its quote the same way.
    ResetQuoteCache();
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("600000")), 7.6);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("000002")), 0);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("000858")), 0);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("600000,000002")), 0);
}

TEST_F(QuoteCacheTest, ShortQuoteKeepsTheMissingValues)
{
    Fill({"1A0001", "600000"});
    services.SetQuote(QStringLiteral("sh600000"), {"股票", "8.5", "8.0"});
    services.SetQuote(QStringLiteral("sh000001"), {});
    UpdateRealtimeQuotes();
    EXPECT_DOUBLE_EQ(QuoteOpen(1), 8.5);
    EXPECT_DOUBLE_EQ(QuotePrice(1), 4);
    EXPECT_DOUBLE_EQ(QuoteHigh(1), 2);
    EXPECT_DOUBLE_EQ(QuoteLow(1), 3);
    EXPECT_DOUBLE_EQ(QuoteOpen(0), 1);
    EXPECT_DOUBLE_EQ(QuoteListDate(), DayNumberOf(kNow));
}

TEST_F(QuoteCacheTest, EmptyFirstCodeIsLeftOutOfTheRequest)
{
    Fill({"", "600000"});
    Quote("sh600000", 7.5, 7.6, 7.7, 7.4);
    UpdateRealtimeQuotes();
    const auto requests = services.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].symbols, QStringList({"sh600000"}));
    EXPECT_DOUBLE_EQ(QuotePrice(1), 7.6);
    EXPECT_DOUBLE_EQ(QuotePrice(0), 4);
}

TEST_F(QuoteCacheTest, EmptyBookQuotesTheIndexAndNoCodesQuoteNothing)
{
    UpdateRealtimeQuotes();
    EXPECT_TRUE(services.Requests().empty());

    Fill({"1A0001"});
    Quote("sh000001", 3000, 3010.5, 3020, 2990);
    UpdateRealtimeQuotes();
    EXPECT_DOUBLE_EQ(QuotePrice(0), 3010.5);
}

TEST_F(QuoteCacheTest, StalledServiceIsLeftAloneForAMinuteAndLongerWhileItKeepsStalling)
{
    // Each service on its own: one that stalls costs one time-out, then fails at once for 60 s by
    // the program's clock, while the other goes on answering; each further stall in a row doubles
    // the time, an answer brings it back to 60 s.
    QDateTime now = kNow;
    SetClock([&now] { return now; });
    HttpLimits().defaultSeconds = 1;
    Quote("sz000002", 10.1, 10.2, 10.3, 10.0);
    QStringList rows;
    const auto requestsTo = [this](const char *path) {
        size_t n = 0;
        for (const FakeRequest &r : services.Requests())
            n += r.path.rfind(path, 0) == 0 ? 1 : 0;
        return n;
    };
    struct Step {
        const char *what;
        int secondsLater;   // the clock moved on since the stall
        const char *stalls; // the service that stalls at this step, nullptr for none
        double price;       // GetRealtimePrice("000002")
        long dataRows;      // ExecRemoteSql
        size_t quoteRequests, dataRequests;  // reaching the services, in all
        bool waited;        // the step took a whole time-out
    };
    const Step steps[] = {
        {"the quote service stalls", 0, "/hq/", 0, -1, 1, 1, true},
        {"at once, the data service still asked", 1, nullptr, 0, -1, 1, 2, false},
        {"59 s on", 59, nullptr, 0, -1, 1, 3, false},
        {"60 s on", 60, nullptr, 10.2, -1, 2, 4, false},
        {"the data service stalls", 60, "/gupiao/", 10.2, -1, 3, 5, true},
        {"quotes still answer", 61, nullptr, 10.2, -1, 4, 5, false},
        {"the clock set back", -10, nullptr, 10.2, -1, 5, 6, false},
        {"the quote service stalls again", 1000, "/hq/", 0, -1, 6, 7, true},
        {"a minute on it stalls a second time", 1060, "/hq/", 0, -1, 7, 8, true},
        {"two minutes less a second on", 1179, nullptr, 0, -1, 7, 9, false},
        {"two minutes on it stalls a third time", 1180, "/hq/", 0, -1, 8, 10, true},
        {"four minutes less a second on", 1419, nullptr, 0, -1, 8, 11, false},
        {"four minutes on it answers", 1420, nullptr, 10.2, -1, 9, 12, false},
        {"it stalls once more", 1500, "/hq/", 0, -1, 10, 13, true},
        {"a minute on it is asked again", 1560, nullptr, 10.2, -1, 11, 14, false},
    };
    for (const Step &step : steps) {
        now = kNow.addSecs(step.secondsLater);
        if (step.stalls)
            services.AddFault(QString::fromLatin1(step.stalls), FakeFault{FakeFault::None, 4000});
        QElapsedTimer timer;
        timer.start();
        EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("000002")), step.price) << step.what;
        EXPECT_EQ(ExecRemoteSql(QStringLiteral("SELECT 1"), rows), step.dataRows) << step.what;
        EXPECT_EQ(requestsTo("/hq/"), step.quoteRequests) << step.what;
        EXPECT_EQ(requestsTo("/gupiao/"), step.dataRequests) << step.what;
        if (step.waited) {
            EXPECT_GE(timer.elapsed(), 900) << step.what;
        } else {
            EXPECT_LT(timer.elapsed(), 700) << step.what;
        }
    }
    for (const FakeRequest &r : services.Requests())
        EXPECT_EQ(r.referer, r.path.rfind("/hq/", 0) == 0 ? "https://finance.sina.com.cn" : "") << r.path;
}

TEST_F(QuoteCacheTest, RealtimePrice)
{
    Fill({"1A0001", "600000"});
    Quote("sz000002", 10.1, 10.2, 10.3, 10.0);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("600000")), 4);  // cached, no request
    EXPECT_TRUE(services.Requests().empty());
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("000002")), 10.2);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("000003")), 0);  // the service knows no such stock
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QString()), 0);
    EXPECT_EQ(services.Requests().size(), 2u);
    services.FailQuoteRequest(1);
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("000002")), 0);
}

class QuoteListTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetClock([] { return kNow; });
        ResetQuoteCache();
        services.Install();
    }
    void TearDown() override
    {
        ResetQuoteCache();
        DbFixture::TearDown();
    }
    void AddLots(const QStringList &codes)
    {
        DbConnection conn;
        ASSERT_TRUE(OpenConn(conn) && conn.Begin());
        for (const QString &code : codes)
            ASSERT_TRUE(conn.Execute(QStringLiteral("INSERT INTO account(code,sname,bdate,bprice,num) "
                                                    "VALUES('%1','x',#2024-01-02#,10,100)")
                                         .arg(code)));
        ASSERT_TRUE(conn.Commit());
    }
    FakeServices services;
};

TEST_F(QuoteListTest, BookOfOneHundredTwentyStocks)
{
    // 120 distinct codes of the book (stocks of companyinfo, which the last closes are joined with),
    // some with two lots, given out of order.
    QStringList book;
    {
        DbConnection conn;
        RecordSet rs;
        ASSERT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT code FROM companyinfo WHERE id BETWEEN 100 AND 219 "
                                                    "ORDER BY py DESC")));
        for (; !rs.AtEOF(); rs.MoveNext())
            book << rs.Field(QStringLiteral("code")).ToText();
        CloseRs(conn, rs);
    }
    ASSERT_EQ(book.size(), 120);
    ASSERT_TRUE(book.contains(QStringLiteral("600000")));
    ASSERT_TRUE(book.contains(QStringLiteral("300750")));
    AddLots(book);
    AddLots(book.mid(0, 10));
    Exec(QStringLiteral("INSERT INTO LastClprice(code,clprice) VALUES('600000',10.456)"));
    Exec(QStringLiteral("INSERT INTO LastClprice(code,clprice) VALUES('1A0001',3050.004)"));
    Exec(QStringLiteral("INSERT INTO LastClprice(code,clprice) VALUES('000001',9)"));  // not in the book
    services.SetQuote(QStringLiteral("sh600000"), FakeServices::QuoteFields("x", 10.5, 10.46, 0, 0, 0, "2024-01-05"));
    services.SetQuote(QStringLiteral("sz300750"), FakeServices::QuoteFields("x", 7.1, 7, 7.25, 7.3, 7.0, "2024-01-05"));

    RebuildQuoteList();

    QStringList expected = book;
    std::sort(expected.begin(), expected.end());
    expected.prepend(QStringLiteral("1A0001"));
    EXPECT_EQ(QuoteCodes(), expected);
    // The index alone, then 50 a request.
    const auto requests = services.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].symbols, QStringList({"sh000001"}));
    EXPECT_EQ(requests[1].symbols.size(), 50);
    EXPECT_EQ(requests[2].symbols.size(), 50);
    EXPECT_EQ(requests[3].symbols.size(), 20);
    EXPECT_EQ(requests[1].symbols[0], ToQuoteCode(expected[1]));
    EXPECT_EQ(requests[3].symbols[19], ToQuoteCode(expected[120]));

    const int pufa = QuoteIndexOf(QStringLiteral("600000"));
    EXPECT_DOUBLE_EQ(QuoteLastClose(pufa), 10.46);
    EXPECT_DOUBLE_EQ(QuotePrice(pufa), 10.46);  // not traded today: the last close
    EXPECT_DOUBLE_EQ(QuoteOpen(pufa), 10.5);
    EXPECT_DOUBLE_EQ(QuoteLastClose(0), 3050);
    const int catl = QuoteIndexOf(QStringLiteral("300750"));
    EXPECT_DOUBLE_EQ(QuotePrice(catl), 7.25);
    EXPECT_DOUBLE_EQ(QuoteLastClose(catl), 0);  // no row in LastClprice
    EXPECT_EQ(QuoteIndexOf(QStringLiteral("000001")), -1);
    EXPECT_DOUBLE_EQ(QuoteListDate(), DayNumberOf(kNow));
}

TEST_F(QuoteListTest, FailedRefreshLeavesTodaysDateAndZeroPrices)
{
    AddLots({"600000"});
    services.FailQuoteRequest(1);
    RebuildQuoteList();
    EXPECT_EQ(QuoteCodes(), QStringList({"1A0001", "600000"}));
    EXPECT_DOUBLE_EQ(QuoteListDate(), DayNumberOf(kNow.date()));
    EXPECT_DOUBLE_EQ(QuotePrice(1), 0);
}

TEST_F(QuoteListTest, EmptyBookQuotesTheIndex)
{
    services.SetQuote(QStringLiteral("sh000001"),
                      FakeServices::QuoteFields("i", 3000, 2990, 3010, 3020, 2980, "2024-01-05"));
    RebuildQuoteList();
    EXPECT_EQ(QuoteCodes(), QStringList({"1A0001"}));
    EXPECT_DOUBLE_EQ(QuotePrice(0), 3010);
}

class QuoteServiceAddress : public ::testing::Test {
protected:
    void SetUp() override { SetQuoteServiceBase(QString()); }
    void TearDown() override
    {
        PointServicesAtClosedPort();
        SetQuoteServiceBase(QString());
    }
};

TEST_F(QuoteServiceAddress, DefaultEnvironmentAndSetAddress)
{
    EXPECT_EQ(QuoteServiceBase(), ClosedServiceBase());
    qunsetenv("KELVARO_QUOTE_URL");
    EXPECT_EQ(QuoteServiceBase(), QStringLiteral("http://hq.sinajs.cn"));
    qputenv("KELVARO_QUOTE_URL", "http://10.1.2.3:8080/hq/");
    EXPECT_EQ(QuoteServiceBase(), QStringLiteral("http://10.1.2.3:8080/hq"));
    SetQuoteServiceBase(QStringLiteral("http://127.0.0.1:1"));
    EXPECT_EQ(QuoteServiceBase(), QStringLiteral("http://127.0.0.1:1"));
    SetQuoteServiceBase(QString());
    EXPECT_EQ(QuoteServiceBase(), QStringLiteral("http://10.1.2.3:8080/hq"));
}

TEST_F(QuoteServiceAddress, RequestsGoWhereTheEnvironmentSays)
{
    FakeServices services;
    services.SetQuote(QStringLiteral("sh600000"),
                      FakeServices::QuoteFields("x", 7.5, 7.4, 7.6, 7.7, 7.3, "2024-01-05"));
    qputenv("KELVARO_QUOTE_URL", services.QuoteBase().toUtf8());
    EXPECT_DOUBLE_EQ(GetRealtimePrice(QStringLiteral("600000")), 7.6);
    ASSERT_EQ(services.Requests().size(), 1u);
}

}  // namespace
