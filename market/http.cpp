// INET下载: the synchronous HTTP client over libcurl and the GBK form encoder.
#include "http.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

#include <curl/curl.h>

#include <QElapsedTimer>

#include "platform/clock.h"
#include "platform/gbk.h"
#include "storage/indicator.h"

namespace {

const QString kErrorMark = QStringLiteral("ERROR:");
const QString kLineEnd = QStringLiteral("<BR>");
const QString kStartMark = QStringLiteral("[=START=]<BR>");

// How long the transport waits for the socket before it asks whether to give up.
constexpr int kPollMs = 100;

// The reply as it arrives: bounded in size and in time, because libcurl inflates a compressed reply
// on its own and hands over every inflated piece, which CURLOPT_MAXFILESIZE does not count and a
// small body can make enormous.
struct Receiver {
    QByteArray *body = nullptr;
    qint64 limit = 0;
    std::chrono::steady_clock::time_point deadline;
    const char *stopped = nullptr;  // why the receiver refused a piece
};

size_t AppendReceived(char *data, size_t size, size_t count, void *target)
{
    auto *r = static_cast<Receiver *>(target);
    const size_t n = size * count;
    if (static_cast<qint64>(n) > r->limit - r->body->size()) {
        r->stopped = "reply larger than its limit";
        return 0;
    }
    if (std::chrono::steady_clock::now() >= r->deadline) {
        r->stopped = "reply still arriving at the time-out";
        return 0;
    }
    r->body->append(data, static_cast<qsizetype>(n));
    return n;
}

class LibcurlTransport final : public HttpTransport {
public:
    HttpResponse Post(const HttpRequest &request) override
    {
        static std::once_flag initOnce;
        std::call_once(initOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

        HttpResponse response;
        std::unique_ptr<CURL, void (*)(CURL *)> handle(curl_easy_init(), curl_easy_cleanup);
        std::unique_ptr<CURLM, CURLMcode (*)(CURLM *)> multi(curl_multi_init(), curl_multi_cleanup);
        if (!handle || !multi) {
            response.failure = QStringLiteral("curl_easy_init failed");
            return response;
        }
        curl_slist *headers = nullptr;
        headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
        headers = curl_slist_append(headers, "Expect:");
        std::unique_ptr<curl_slist, void (*)(curl_slist *)> headerGuard(headers, curl_slist_free_all);

        Receiver receiver{&response.body, std::max<qint64>(request.maxReplyBytes, 0),
                          std::chrono::steady_clock::now() + std::chrono::milliseconds(request.timeoutMs)};
        CURL *h = handle.get();
        curl_easy_setopt(h, CURLOPT_URL, request.url.constData());
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.constData());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        if (!request.referer.isEmpty())
            curl_easy_setopt(h, CURLOPT_REFERER, request.referer.constData());
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, request.timeoutMs);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
        // A declared length beyond the limit fails before the body is read.
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(receiver.limit));
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendReceived);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &receiver);

        curl_multi_add_handle(multi.get(), h);
        CURLcode rc = CURLE_OK;
        bool cancelled = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
                rc = CURLE_FAILED_INIT;
                break;
            }
            if (running == 0) {
                int queued = 0;
                const CURLMsg *msg = curl_multi_info_read(multi.get(), &queued);
                rc = msg && msg->msg == CURLMSG_DONE ? msg->data.result : CURLE_FAILED_INIT;
                break;
            }
            if (request.shouldCancel && request.shouldCancel()) {
                cancelled = true;
                break;
            }
            if (curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
                rc = CURLE_FAILED_INIT;
                break;
            }
        }
        curl_multi_remove_handle(multi.get(), h);

        response.completed = !cancelled && rc == CURLE_OK;
        if (response.completed)
            curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
        if (cancelled)
            response.failure = QStringLiteral("given up");
        else if (receiver.stopped)
            response.failure = QString::fromLatin1(receiver.stopped);
        else if (!response.completed)
            response.failure = QString::fromUtf8(curl_easy_strerror(rc));
        // Nothing of an incomplete reply is kept.
        if (!response.completed)
            response.body.clear();
        return response;
    }
};

HttpTransport *&InstalledTransport()
{
    static HttpTransport *transport = nullptr;
    return transport;
}

std::function<void(const HttpWait &)> &WaitHook()
{
    static std::function<void(const HttpWait &)> hook;
    return hook;
}

// What the progress window says while a request waits: the service and the request's time-out.
QString WaitCaption(const HttpService *service, int timeoutSeconds)
{
    const QString what = service && !service->name.isEmpty() ? service->name : QStringLiteral("网络服务");
    return QStringLiteral("正在连接%1，等待应答（最长%2秒）……").arg(what).arg(timeoutSeconds);
}

}  // namespace

void MarkServiceDown(HttpService &service)
{
    service.downSince = ClockNow();
    service.failures = std::min(service.failures + 1, 1000);
}

HttpTransport &CurlTransport()
{
    static LibcurlTransport transport;
    return transport;
}

void SetHttpTransport(HttpTransport *transport)
{
    InstalledTransport() = transport;
}

HttpTimeLimits &HttpLimits()
{
    static HttpTimeLimits limits;
    return limits;
}

void SetHttpWaitHook(std::function<void(const HttpWait &)> hook)
{
    WaitHook() = std::move(hook);
}

QString ServiceAddress(const QString &chosen, const char *envName, const QString &fallback)
{
    if (!chosen.isEmpty())
        return chosen;
    const QString fromEnvironment = qEnvironmentVariable(envName).trimmed();
    return fromEnvironment.isEmpty() ? fallback : fromEnvironment;
}

QByteArray EscapeUrlForWire(const QString &url)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char c : url.toUtf8()) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) {
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 0x0F]);
        } else {
            out.append(c);
        }
    }
    return out;
}

QString SplitServiceReply(const QString &text, const QString &endMarker, QString &reply)
{
    reply = text;
    if (!reply.contains(endMarker))
        return kNetworkError;

    QString error;
    const qsizetype errorAt = reply.indexOf(kErrorMark);
    if (errorAt >= 0) {
        reply.remove(0, errorAt + kErrorMark.size());
        const qsizetype lineEnd = reply.indexOf(kLineEnd);
        if (lineEnd >= 0) {
            error = reply.left(lineEnd);
            reply.remove(0, lineEnd + kLineEnd.size());
        } else {
            const qsizetype markAt = endMarker.isEmpty() ? -1 : reply.indexOf(endMarker);
            error = (markAt >= 0 ? reply.left(markAt) : reply).trimmed();
        }
        // An error mark always means failure, even when the service wrote no message after it.
        if (error.isEmpty())
            error = kNetworkError;
    }

    const qsizetype lastLineEnd = reply.lastIndexOf(kLineEnd);
    if (lastLineEnd >= 0)
        reply.truncate(lastLineEnd);
    const qsizetype startAt = reply.lastIndexOf(kStartMark);
    reply = startAt >= 0 ? reply.mid(startAt + kStartMark.size()) : QString();
    return error;
}

int ServiceDownSeconds(const HttpService &service)
{
    if (service.failures < 1)
        return 0;
    int seconds = kServiceDownSeconds;
    for (int i = 1; i < service.failures && seconds < kServiceDownMaxSeconds; ++i)
        seconds *= 2;
    return std::min(seconds, kServiceDownMaxSeconds);
}

bool ServiceIsDown(const HttpService &service)
{
    if (!service.downSince.isValid())
        return false;
    const qint64 since = service.downSince.secsTo(ClockNow());
    return since >= 0 && since < std::max(ServiceDownSeconds(service), kServiceDownSeconds);
}

QDateTime ServiceAskedAgainAt(const HttpService &service)
{
    if (!ServiceIsDown(service))
        return QDateTime();
    return service.downSince.addSecs(std::max(ServiceDownSeconds(service), kServiceDownSeconds));
}

void ForgetServiceOutage(HttpService &service)
{
    service.downSince = QDateTime();
    service.failures = 0;
}

QString HttpPost(const QString &url, const QString &body, QString &reply, const QString &endMarker,
                 int &timeoutSeconds, HttpService *service)
{
    if (timeoutSeconds < 1)
        timeoutSeconds = HttpLimits().defaultSeconds;
    if (service && ServiceIsDown(*service)) {
        service->last = HttpOutcome::LeftAlone;
        return kNetworkError;
    }

    HttpRequest request;
    request.url = EscapeUrlForWire(url);
    request.body = body.toUtf8();
    if (service) {
        request.referer = service->referer;
        request.maxReplyBytes = service->maxReplyBytes;
    }
    request.connectTimeoutMs = HttpLimits().connectMs;
    request.timeoutMs = static_cast<long>(timeoutSeconds) * 1000L;
    HttpWait wait;
    IndicatorWait shown;
    const QString caption = WaitCaption(service, timeoutSeconds);
    QElapsedTimer waited;
    waited.start();
    bool givenUp = false;
    request.shouldCancel = [&] {
        wait.waitedMs = waited.elapsed();
        shown.Tick(wait.waitedMs, caption);
        if (const auto &hook = WaitHook())
            hook(wait);
        givenUp = shown.Closed();
        return givenUp;
    };

    HttpTransport *transport = InstalledTransport();
    const HttpResponse response = (transport ? *transport : CurlTransport()).Post(request);
    shown.End();
    wait.waitedMs = waited.elapsed();
    if (const auto &hook = WaitHook()) {
        wait.finished = true;
        hook(wait);
    }
    const bool failingStatus = response.completed && response.status >= 400;
    if (service) {
        // The user closing the progress window says nothing about the service. A failing reply that
        // was quick costs nothing and proves the service neither up nor down.
        if (givenUp) {
            service->last = HttpOutcome::GivenUp;
        } else if (!response.completed) {
            service->last = HttpOutcome::NoReply;
            MarkServiceDown(*service);
        } else if (failingStatus) {
            service->last = HttpOutcome::ErrorReply;
            if (wait.waitedMs > kWaitShownAfterMs)
                MarkServiceDown(*service);
        } else {
            service->last = HttpOutcome::Answered;
            ForgetServiceOutage(*service);
        }
    }
    if (!response.completed || failingStatus)
        return kNetworkError;
    const QString text = DecodeGbk(response.body);
    const QString error = SplitServiceReply(text, endMarker, reply);
    if (service && !error.isEmpty() && text.contains(endMarker))
        service->last = HttpOutcome::ErrorReply;
    return error;
}

QString UrlEncodeGbk(const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    QString source = text;
    source.replace(u'&', QChar(0xFF06));

    QString out;
    out.reserve(source.size() * 2);
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QChar c = source.at(i);
        if (c.unicode() < 0x80) {
            out.append(c);
            continue;
        }
        // A character outside the basic plane travels as its surrogate pair.
        const qsizetype len = c.isHighSurrogate() && i + 1 < source.size() ? 2 : 1;
        const QString one = source.mid(i, len);
        i += len - 1;
        const QByteArray bytes = EncodeGbk(one);
        if (bytes.size() < 2) {
            out.append(one);
            continue;
        }
        for (const char byte : bytes) {
            const auto b = static_cast<unsigned char>(byte);
            out.append(u'%');
            out.append(QLatin1Char(hex[b >> 4]));
            out.append(QLatin1Char(hex[b & 0x0F]));
        }
    }
    return out;
}
