// INET下载: the program's one HTTP routine, HttpPost, used by the quote service and the data service,
// and UrlEncodeGbk, the form-body encoder of the data service. Requests are synchronous: the caller
// waits; past a second the progress window says what it waits for and can give the request up.
#pragma once

#include <functional>

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The error text of every request that got no usable reply.
inline const QString kNetworkError = QStringLiteral("网络错误！");

// The most reply bytes (after inflation) a request takes when its service sets no other limit: a year
// of one stock's daily history is some 25 KB, a day's quotes of a large book some 100 KB.
inline constexpr qint64 kDefaultReplyLimitBytes = 32LL * 1024 * 1024;

// One POST as the transport sees it: the address already escaped for the wire, the body bytes, the
// Referer header to send (none when empty), the time limits in milliseconds (timeoutMs bounds the
// whole request, the inflation of a compressed reply included), the most reply bytes taken, counted
// after inflation, and a check, asked about every 100 ms while the request runs, that tells the
// transport to give up.
struct HttpRequest {
    QByteArray url;
    QByteArray body;
    QByteArray referer;
    long connectTimeoutMs = 10000;
    long timeoutMs = 30000;
    qint64 maxReplyBytes = kDefaultReplyLimitBytes;
    std::function<bool()> shouldCancel;
};

// What came back: completed is true when a whole reply arrived, whatever its HTTP status; body holds
// its bytes and status its HTTP status (0 when not known). failure names the reason of an incomplete
// request (for diagnostics only).
struct HttpResponse {
    bool completed = false;
    QByteArray body;
    QString failure;
    long status = 0;
};

// The carrier of requests. The program uses libcurl; tests install canned replies.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual HttpResponse Post(const HttpRequest &request) = 0;
};

// The libcurl transport: one easy handle per request, "Content-Type:
// application/x-www-form-urlencoded", the body's byte length as Content-Length and the Referer when
// one is given, no signals, no proxy for the loopback addresses. It waits for the socket 100 ms at a
// time and asks shouldCancel between the waits. A reply that passes maxReplyBytes (declared or
// received, gzip or deflate inflated as it arrives) or that is still arriving at timeoutMs ends the
// request as incomplete, without keeping more than maxReplyBytes.
HttpTransport &CurlTransport();

// Installs the transport HttpPost uses; nullptr restores libcurl. The caller keeps ownership.
void SetHttpTransport(HttpTransport *transport);

// The time limits of HttpPost: connectMs bounds name resolution and connecting; defaultSeconds
// replaces a time-out argument below 1. Tests shorten them; the program keeps 10000 ms and 30 s.
struct HttpTimeLimits {
    long connectMs = 10000;
    int defaultSeconds = 30;
};
HttpTimeLimits &HttpLimits();

// How long a service that left a request unanswered is taken as down, in seconds, after its first
// failure in a row; each further failure in a row doubles it, up to kServiceDownMaxSeconds. A reply
// with a failing HTTP status (400 or above) that took longer than kWaitShownAfterMs (a second,
// storage/indicator.h) counts as a failure too: waiting for it costs the user as much.
inline constexpr int kServiceDownSeconds = 60;
inline constexpr int kServiceDownMaxSeconds = 30 * 60;

// What became of the last request to a service, for the message that tells the user why it failed:
// none made yet; a usable reply; a reply with a failing HTTP status or the service's own error
// ("ERROR:", or a reply its client cannot read); no whole reply (refused, timed out, beyond its
// limit); not made, because the service is taken as down; given up by the user closing the progress
// window.
enum class HttpOutcome { None, Answered, ErrorReply, NoReply, LeftAlone, GivenUp };

// A remote service as the client keeps it between requests: the Referer header its requests carry
// (none when empty), the instant, by the program's clock, at which a request to it last went
// unanswered (invalid while it answers), how many requests in a row went unanswered, what the user
// calls it (for the wait caption), the most reply bytes a request to it takes, and what became of the
// last request. A service that stalls then costs one time-out, not one per request, and less and
// less often while it keeps stalling.
struct HttpService {
    QByteArray referer;
    QDateTime downSince;
    int failures = 0;
    QString name;
    qint64 maxReplyBytes = kDefaultReplyLimitBytes;
    HttpOutcome last = HttpOutcome::None;
};

// How long the service is taken as down after its last failure, in seconds: 60 after one failure in
// a row, 120 after two, 240 after three ... at most 30 minutes; 0 while it answers.
int ServiceDownSeconds(const HttpService &service);
// Whether the service counts as down now: less than ServiceDownSeconds have passed since a request
// to it went unanswered. A clock set back before that instant ends it too.
bool ServiceIsDown(const HttpService &service);
// When, by the program's clock, a service taken as down will be asked again: ServiceDownSeconds (at
// least kServiceDownSeconds) after downSince. Invalid while it is not down.
QDateTime ServiceAskedAgainAt(const HttpService &service);
// Forgets that the service failed (another address, or a test starting afresh).
void ForgetServiceOutage(HttpService &service);
// Takes the service as down from now, as a request it left unanswered does, for longer with each
// failure in a row: for a caller whose request was given up, where asking again at once would only
// make the user wait again.
void MarkServiceDown(HttpService &service);

// A request as the wait hook sees it: how long it has waited so far in milliseconds, and finished,
// set on the last call, made once the request has ended.
struct HttpWait {
    qint64 waitedMs = 0;
    bool finished = false;
};
// Called on the waiting thread each time the client checks whether to give up while a request runs
// (about every 100 ms), after the progress window had its turn, and once more when the request has
// ended. Nothing by default; tests close the progress window in the middle of a transfer.
void SetHttpWaitHook(std::function<void(const HttpWait &)> hook);

// Posts body (sent as UTF-8; UrlEncodeGbk output is plain ASCII) to url and waits for the reply, at
// most timeoutSeconds; a value below 1 is replaced, in the caller's variable too, by the default of
// 30 s. Blanks and other bytes a URL may not carry are escaped (%20) on the wire. The wait is an
// IndicatorWait (storage/indicator.h): past a second the progress window, unless one is up already,
// shows "正在连接" & the service's name ("网络服务" without one) & "，等待应答（最长" & timeoutSeconds &
// "秒）……" until the request ends; when the window that was up at the start or was shown for the wait
// is closed meanwhile, the request is given up at once.
// A reply with HTTP status 400 or above is no reply. Any other is decoded from GBK and taken apart by
// SplitServiceReply with endMarker.
// Returns the error text, "" for success. Without a reply (refused, timed out, given up, a failing
// status) the result is "网络错误！" and `reply` is left as it was, so callers start each request
// with an empty text.
// With a service: its Referer and its reply limit are used, and its `last` tells what became of the
// request; while it is down the request is not made and the result is "网络错误！" at once; a request
// that gets no whole reply (refused, timed out, a reply beyond the limit, but not given up because
// the progress window was closed), or a failing status after more than a second, marks it down from
// now, for longer with each failure in a row; a reply without a failing status marks it up again.
// Without a service the reply limit is kDefaultReplyLimitBytes.
QString HttpPost(const QString &url, const QString &body, QString &reply, const QString &endMarker,
                 int &timeoutSeconds, HttpService *service = nullptr);

// Takes a decoded reply apart. Without endMarker in it: reply = the whole text and "网络错误！" (the
// quote service never sends the marker; its caller ignores the error text). With it: the text after
// the first "ERROR:" up to the next "<BR>" is the error and the text after that "<BR>" goes on; an
// "ERROR:" without a message, or without a "<BR>" after it, still reports an error (the message up
// to the end marker, or "网络错误！" when there is none). Then the text is cut at its last "<BR>" and
// reply = what follows the last "[=START=]<BR>" ("" when that marker is missing).
QString SplitServiceReply(const QString &text, const QString &endMarker, QString &reply);

// Encodes a form body for the data service: every "&" becomes the full-width "＆" first, then every
// character that takes two bytes in GBK becomes "%XX%XX" (its two bytes, upper-case hexadecimal).
// Everything else, "=", "%", "+", blanks and quotes included, passes unchanged.
QString UrlEncodeGbk(const QString &text);

// The base address of a service: `chosen` when it is not empty, else the environment variable envName
// when it is set and not blank (trimmed), else fallback.
QString ServiceAddress(const QString &chosen, const char *envName, const QString &fallback);

// The address as the wire carries it: bytes of its UTF-8 form that are blanks, control characters or
// not ASCII are written as "%XX"; everything else is kept.
QByteArray EscapeUrlForWire(const QString &url);
