// The HTTP client: taking service replies apart, the GBK form encoding, and real requests against
// the fake services on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include <QElapsedTimer>

#include "canned_transport.h"
#include "fixtures/closed_port.h"
#include "fixtures/fake_services.h"
#include "market/http.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "storage/indicator.h"

namespace {

const QString kEnd = QStringLiteral("[=END=]");

struct ReplyCase {
    const char *name;
    QString text;
    QString error;
    QString reply;
};

TEST(SplitServiceReply, MarkersTable)
{
    const ReplyCase cases[] = {
        {"body between the markers", "lead[=START=]<BR>BODY<BR>[=END=]", "", "BODY"},
        {"row separators keep all but the last line end", "x[=START=]<BR>a⊙§§<BR>b⊙§§<BR><BR>[=END=]", "",
         "a⊙§§<BR>b⊙§§<BR>"},
        {"last start marker wins", "[=START=]<BR>old[=START=]<BR>new<BR>[=END=]", "", "new"},
        {"no start marker gives an empty reply", "just text<BR>[=END=]", "", ""},
        {"error up to the line end", "x ERROR:bad sql<BR>[=END=]", "bad sql", ""},
        {"first error wins, the text after it goes on", "ERROR:one<BR>[=START=]<BR>rest<BR>ERROR:two<BR>[=END=]",
         "one", "rest<BR>ERROR:two"},
        // An error mark must never read as success.
        {"error without a line end", "ERROR:table missing[=END=]", "table missing", ""},
        {"error without a message", "ERROR:<BR>[=END=]", kNetworkError, ""},
        {"error mark alone", "ERROR:[=END=]", kNetworkError, ""},
        {"no end marker keeps the whole text", "var hq_str_sh000001=\"a,b\";", kNetworkError,
         "var hq_str_sh000001=\"a,b\";"},
        {"empty text", "", kNetworkError, ""},
    };
    for (const ReplyCase &c : cases) {
        QString reply = QStringLiteral("stale");
        EXPECT_EQ(SplitServiceReply(c.text, kEnd, reply), c.error) << c.name;
        EXPECT_EQ(reply, c.reply) << c.name;
    }
}

TEST(UrlEncodeGbk, Table)
{
    const std::pair<QString, QString> cases[] = {
        {"a&b", "a%A3%A6b"},  // the full-width ampersand in GBK
        {"中", "%D6%D0"},
        {"中国", "%D6%D0%B9%FA"},
        {"＆", "%A3%A6"},
        {"sql= 'x' \"y\" %20 +`", "sql= 'x' \"y\" %20 +`"},
        {"⊙", "%A1%D1"},  // two bytes in GBK, like the other markers of the service
        {"", ""},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(UrlEncodeGbk(in), out) << in.toStdString();
}

TEST(UrlEncodeGbk, CharactersGbkLacksPassUnchanged)
{
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(UrlEncodeGbk(QStringLiteral("a") + emoji), QStringLiteral("a") + emoji);
}

TEST(EscapeUrlForWire, BlankAndNonAscii)
{
    EXPECT_EQ(EscapeUrlForWire(QStringLiteral("http://h/p?&vtime=2024-01-05 10:20:30&validate=2629")),
              QByteArray("http://h/p?&vtime=2024-01-05%2010:20:30&validate=2629"));
    EXPECT_EQ(EscapeUrlForWire(QStringLiteral("a\tb中")), QByteArray("a%09b%E4%B8%AD"));
}

TEST(HttpPost, TimeoutBelowOneBecomesThirtySecondsInTheCallersVariable)
{
    for (const int given : {0, -5}) {
        CannedTransport transport;
        transport.Fail();
        int timeout = given;
        QString reply = QStringLiteral("kept");
        EXPECT_EQ(HttpPost(QStringLiteral("http://h/"), QString(), reply, kEnd, timeout), kNetworkError);
        EXPECT_EQ(timeout, 30);
        ASSERT_EQ(transport.requests.size(), 1u);
        EXPECT_EQ(transport.requests[0].timeoutMs, 30000);
        EXPECT_EQ(transport.requests[0].connectTimeoutMs, 10000);
        EXPECT_EQ(reply, QStringLiteral("kept"));  // no reply leaves the caller's text alone
    }
}

class HttpPostServer : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetHttpWaitHook(nullptr);
        SetIndicatorShown(false);
    }
    FakeServices server;
};

TEST_F(HttpPostServer, PostsTheBodyWithItsByteLengthAndTheBlankEscaped)
{
    server.SetRaw("/gupiao/x.php", EncodeGbk(QStringLiteral("[=START=]<BR>中文 ok<BR>[=END=]")));
    const QString body = QStringLiteral("sql=") + UrlEncodeGbk(QStringLiteral("SELECT 名称 FROM t WHERE a='b'"));
    QString reply;
    int timeout = 5;
    const QString url = server.BaseUrl() + QStringLiteral("/gupiao/x.php?&vtime=2024-01-05 10:20:30&validate=2629");
    EXPECT_EQ(HttpPost(url, body, reply, kEnd, timeout), QString());
    EXPECT_EQ(reply, QStringLiteral("中文 ok"));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const FakeRequest &r = requests[0];
    EXPECT_NE(r.target.find("vtime=2024-01-05%2010:20:30"), std::string::npos) << r.target;
    EXPECT_EQ(r.params.find("vtime")->second, "2024-01-05 10:20:30");
    EXPECT_EQ(r.body, body.toStdString());
    EXPECT_EQ(r.contentLength, std::to_string(body.toUtf8().size()));
    EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(r.sql, QStringLiteral("SELECT 名称 FROM t WHERE a='b'"));
}

TEST_F(HttpPostServer, QuoteReplyWithoutEndMarkerIsDecodedWhole)
{
    const QString text = QStringLiteral("var hq_str_sh600000=\"浦发银行,10.00\";\n");
    server.SetRaw("/hq/raw", EncodeGbk(text) + QByteArray("\xFF"));  // one stray byte at the end
    QString reply;
    int timeout = 5;
    EXPECT_EQ(HttpPost(server.BaseUrl() + QStringLiteral("/hq/raw"), QString(), reply, kEnd, timeout), kNetworkError);
    EXPECT_EQ(reply, text + QChar(0xFFFD));
    EXPECT_EQ(server.Requests().at(0).contentLength, "0");
}

// The bounds on the time a request takes are at least 20 times what it takes on an idle machine (one
// given up at a time-out of 1 s takes 1.02 s in the sanitizer build), and below the 30 s of the default
// time-out and the minute the answers they guard against come late (the server cuts the wait short
// when it stops).
constexpr int kLateMs = 60000;
constexpr long long kBoundMs = 25000;

TEST_F(HttpPostServer, GivesUpAtTheTimeout)
{
    server.SetRaw("/slow", QByteArray("[=START=]<BR>late<BR>[=END=]"), kLateMs);
    QString reply = QStringLiteral("kept");
    int timeout = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpPost(server.BaseUrl() + QStringLiteral("/slow"), QString(), reply, kEnd, timeout), kNetworkError);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, kBoundMs);
    EXPECT_EQ(reply, QStringLiteral("kept"));
}

TEST_F(HttpPostServer, ReplyBeyondItsLimitFailsWithinTheTimeout)
{
    constexpr qint64 kLimit = 1 << 20;
    // A reply of exactly `size` bytes, its body framed by the data service's markers.
    const auto framed = [](qint64 size) {
        const QByteArray head("[=START=]<BR>");
        const QByteArray tail("<BR>[=END=]");
        return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
    };
    struct Case {
        const char *what;
        QByteArray bytes;
        const char *encoding;
        bool answered;
    };
    const Case cases[] = {
        {"at the limit", framed(kLimit), "", true},
        {"a byte beyond it", framed(kLimit + 1), "", false},
        {"gzip inflating to the limit", FakeServices::Gzip(framed(kLimit)), "gzip", true},
        // some 8 KB on the wire
        {"gzip inflating beyond it", FakeServices::Gzip(framed(8 * kLimit)), "gzip", false},
    };
    for (const Case &c : cases) {
        server.SetRaw("/big", c.bytes, 0, c.encoding);
        HttpService service;
        service.maxReplyBytes = kLimit;
        QString reply = QStringLiteral("kept");
        int timeout = kLateMs / 1000;
        QElapsedTimer timer;
        timer.start();
        const QString error =
            HttpPost(server.BaseUrl() + QStringLiteral("/big"), QString(), reply, kEnd, timeout, &service);
        EXPECT_LT(timer.elapsed(), kBoundMs) << c.what;
        EXPECT_EQ(error, c.answered ? QString() : kNetworkError) << c.what;
        EXPECT_EQ(reply.size(), c.answered ? kLimit - 24 : 4) << c.what;
        EXPECT_EQ(ServiceIsDown(service), !c.answered) << c.what;
    }
}

TEST_F(HttpPostServer, ClosingTheProgressWindowCancels)
{
    server.SetRaw("/slow", QByteArray("[=START=]<BR>late<BR>[=END=]"), kLateMs);
    SetIndicatorShown(true);
    const auto start = std::chrono::steady_clock::now();
    SetHttpWaitHook([start](const HttpWait &) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(200))
            SetIndicatorShown(false);
    });
    QString reply = QStringLiteral("kept");
    int timeout = kLateMs / 1000;
    HttpService service;
    EXPECT_EQ(HttpPost(server.BaseUrl() + QStringLiteral("/slow"), QString(), reply, kEnd, timeout, &service),
              kNetworkError);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, kBoundMs);
    EXPECT_EQ(reply, QStringLiteral("kept"));
    EXPECT_FALSE(ServiceIsDown(service));  // the user gave up, the service did not fail
}

// A failing reply counts as a stall when it was long in coming: waiting for it at every refresh costs
// as much as waiting for a silent service. A quick one neither forgets nor lengthens an outage. The
// service that answered two failures in a row is asked again once their hour has passed.
TEST_F(HttpPostServer, FailingReplyLongInComingCountsAsAStall)
{
    server.SetSqlAnswer(QStringLiteral("q"), FakeServices::SqlRowsBody({"h"}, {{"a"}}));
    struct Case {
        const char *what;
        FakeFault fault;
        HttpOutcome last;
        int failures;  // in a row afterwards
    };
    const Case cases[] = {
        {"status 500 at once", {FakeFault::Status500, 0}, HttpOutcome::ErrorReply, 2},
        {"status 500 after 1.2 s", {FakeFault::Status500, 1200}, HttpOutcome::ErrorReply, 3},
        {"an error reply after 1.2 s", {FakeFault::ErrorReply, 1200}, HttpOutcome::ErrorReply, 0},
        {"a reply at once", {FakeFault::None, 0}, HttpOutcome::Answered, 0},
    };
    for (const Case &c : cases) {
        server.AddFault(QStringLiteral("q"), c.fault);
        HttpService service;
        service.failures = 2;
        service.downSince = ClockNow().addSecs(-3600);
        QString reply = QStringLiteral("kept");
        int timeout = 10;
        const QString error = HttpPost(server.BaseUrl() + QStringLiteral("/gupiao/Disp/ExeSQL.php"),
                                       QStringLiteral("sql=q"), reply, kEnd, timeout, &service);
        EXPECT_EQ(error.isEmpty(), c.last == HttpOutcome::Answered) << c.what;
        EXPECT_EQ(service.last, c.last) << c.what;
        EXPECT_EQ(service.failures, c.failures) << c.what;
        EXPECT_EQ(ServiceIsDown(service), c.failures == 3) << c.what;
        EXPECT_EQ(reply == QStringLiteral("kept"), c.fault.kind == FakeFault::Status500) << c.what;
        EXPECT_FALSE(IndicatorShown()) << c.what;  // the wait window went with the request
    }
}

TEST_F(HttpPostServer, ProgressWindowNotShownAtTheStartDoesNotCancel)
{
    server.SetRaw("/wait", QByteArray("[=START=]<BR>done<BR>[=END=]"), 300);
    SetHttpWaitHook([](const HttpWait &) { SetIndicatorShown(false); });
    QString reply;
    int timeout = kLateMs / 1000;
    EXPECT_EQ(HttpPost(server.BaseUrl() + QStringLiteral("/wait"), QString(), reply, kEnd, timeout), QString());
    EXPECT_EQ(reply, QStringLiteral("done"));
}

TEST(HttpPostRefused, NoServerGivesNetworkError)
{
    const QString url = ClosedServiceBase() + QStringLiteral("/x");
    QString reply = QStringLiteral("kept");
    int timeout = 5;
    const auto start = std::chrono::steady_clock::now();
    HttpService service;
    service.referer = QByteArrayLiteral("http://127.0.0.1/");
    EXPECT_EQ(HttpPost(url, QString(), reply, kEnd, timeout, &service), kNetworkError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(reply, QStringLiteral("kept"));
    EXPECT_TRUE(ServiceIsDown(service));
    EXPECT_EQ(service.last, HttpOutcome::NoReply);

    // Meanwhile it is left alone, until a minute after the failure.
    CannedTransport transport;
    EXPECT_EQ(HttpPost(url, QString(), reply, kEnd, timeout, &service), kNetworkError);
    EXPECT_EQ(service.last, HttpOutcome::LeftAlone);
    EXPECT_EQ(ServiceAskedAgainAt(service), service.downSince.addSecs(kServiceDownSeconds));
    EXPECT_TRUE(transport.requests.empty());

    // A minute later the service is asked again; its reply forgets the outage.
    service.downSince = ClockNow().addSecs(-kServiceDownSeconds);
    transport.Reply("[=START=]<BR>ok<BR>[=END=]");
    EXPECT_EQ(HttpPost(url, QString(), reply, kEnd, timeout, &service), QString());
    EXPECT_FALSE(service.downSince.isValid());
    ASSERT_EQ(transport.requests.size(), 1u);
    EXPECT_EQ(transport.requests[0].referer, "http://127.0.0.1/");
}

TEST(ServiceDownSeconds, DoublesWithEachFailureInARowUpToHalfAnHour)
{
    const std::pair<int, int> cases[] = {{0, 0}, {1, 60}, {2, 120}, {3, 240}, {5, 960}, {6, 1800}, {1000, 1800}};
    for (const auto &[failures, seconds] : cases) {
        HttpService service;
        service.failures = failures;
        EXPECT_EQ(ServiceDownSeconds(service), seconds) << failures;
    }
}

}  // namespace
