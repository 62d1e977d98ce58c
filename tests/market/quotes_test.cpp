// The quote cache: service symbols, request batches, the price refresh and single prices, against
// canned replies and the fake quote service.
#include <gtest/gtest.h>

#include "canned_transport.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"

namespace {

const QDateTime kNow(QDate(2024, 1, 5), QTime(10, 30, 0));

TEST(ToQuoteCode, Table)
{
    const std::pair<QString, QString> cases[] = {
        {"600000", "sh600000"}, {"601318", "sh601318"}, {"900901", "sh900901"}, {"000001", "sz000001"},
        {"300750", "sz300750"}, {"002594", "sz002594"}, {"200002", "sz200002"}, {"1A0001", "sh000001"},
        {"1a0001", "sh000001"}, {"688001", "sz688001"},  // only 60 and 90 go to Shanghai
    };
    for (const auto &[code, symbol] : cases)
        EXPECT_EQ(ToQuoteCode(code), symbol) << code.toStdString();
}

// The number of symbols in each request for a list of n codes.
std::vector<int> BatchSizes(int n)
{
    CannedTransport transport;
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

    transport.Reply("var a=\"1\";\n");
    transport.Reply("var b=\"2\";\nvar c=\"3\";\n");
    const QStringList chunks = FetchQuoteText(QStringLiteral("1A0001,600000,000002"));
    ASSERT_EQ(transport.requests.size(), 2u);
    EXPECT_EQ(transport.requests[0].url, QuoteServiceBase().toUtf8() + "/list=sh000001");
    EXPECT_EQ(transport.requests[1].url, QuoteServiceBase().toUtf8() + "/list=sh600000,sz000002");
    EXPECT_TRUE(transport.requests[0].body.isEmpty());
    EXPECT_EQ(chunks, QStringList({"", " a=\"1\";\n", " b=\"2\";\n", " c=\"3\";\n"}));
}

TEST(FetchQuoteText, FailedBatchAddsNothing)
{
    // The second request fails: its codes must not receive the first request's reply again.
    CannedTransport transport;
    transport.Reply("var a=\"1\";\n");
    transport.Fail();
    EXPECT_EQ(FetchQuoteText(QStringLiteral("1A0001,600000")), QStringList({"", " a=\"1\";\n"}));
    transport.Fail();
    EXPECT_TRUE(FetchQuoteText(QStringLiteral("600000")).isEmpty());
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
    EXPECT_DOUBLE_EQ(QuotePrice(3), 0);  // no such row
    EXPECT_DOUBLE_EQ(QuotePrice(-1), 0);
}

TEST_F(QuoteCacheTest, WrongNumberOfQuotesChangesNothing)
{
    QStringList codes = {"1A0001"};
    for (int i = 1; i <= 120; ++i)
        codes << QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    Fill(codes);
    const double stamp = QuoteListDate();
    for (int failing : {1, 3}) {
        services.FailQuoteRequest(failing);
        UpdateRealtimeQuotes();
        for (int k = 0; k <= 120; ++k)
            ASSERT_DOUBLE_EQ(QuotePrice(k), 4) << "request " << failing << " row " << k;
        EXPECT_DOUBLE_EQ(QuoteListDate(), stamp);
    }
    EXPECT_EQ(services.Requests().size(), 8u);
}

TEST_F(QuoteCacheTest, CodeHoldingACommaChangesNothing)
{
    // A code of the book that holds a comma goes out as two symbols and brings two quotes back: one
    // quote more than codes. Mapped anyway, every later stock would get its neighbour's price.
    Fill({"1A0001", "600000,000002", "600036"});
    Quote("sh000001", 3000, 3010.5, 3020, 2990);
    Quote("sh600000", 7.5, 7.6, 7.7, 7.4);
    Quote("sz000002", 10.1, 10.2, 10.3, 10.0);
    Quote("sh600036", 30.1, 30.2, 30.3, 30.0);
    const double stamp = QuoteListDate();
    UpdateRealtimeQuotes();
    EXPECT_EQ(services.Requests().size(), 2u);
    for (int k = 0; k < 3; ++k)
        EXPECT_DOUBLE_EQ(QuotePrice(k), 4) << k;
    EXPECT_DOUBLE_EQ(QuoteListDate(), stamp);
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
    void SetUp() override
    {
        SetQuoteServiceBase(QString());
        qunsetenv("KELVARO_QUOTE_URL");
    }
    void TearDown() override
    {
        qunsetenv("KELVARO_QUOTE_URL");
        SetQuoteServiceBase(QString());
    }
};

TEST_F(QuoteServiceAddress, DefaultEnvironmentAndSetAddress)
{
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
