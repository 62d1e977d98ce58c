// WEB操作 and WEB网址: remote SQL queries through the data service.
#include "web.h"

#include <algorithm>

#include "market/http.h"
#include "platform/clock.h"
#include "platform/numeric.h"

namespace {

const QString kSuccessWord = QStringLiteral("操作成功");
const QString kCountMark = QStringLiteral("返回条数:");
const QString kRowEnd = QStringLiteral("§§<BR>");
const QString kFieldEnd = QStringLiteral("⊙");
const QString kErrorMark = QStringLiteral("ERROR:");

// The host of the data service when nothing else is set.
const QString kDataServiceHost = QStringLiteral("127.0.0.1");

// The base set by SetDataServiceBase; empty = the environment's or the built-in one.
QString &SetBase()
{
    static QString base;
    return base;
}

QString Base()
{
    QString base = ServiceAddress(SetBase(), "KELVARO_DATA_URL",
                                  QStringLiteral("http://") + kDataServiceHost + QStringLiteral(":8088/gupiao/"));
    // The page is appended directly, so the base must end in "/".
    if (!base.endsWith(u'/'))
        base += u'/';
    return base;
}

QString TwoDigits(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

}  // namespace

HttpService &DataService()
{
    static HttpService service{QByteArray(), QDateTime(), 0, QStringLiteral("历史数据服务"),
                               kDefaultReplyLimitBytes};
    return service;
}

QString DataServiceBase()
{
    return Base();
}

void SetDataServiceBase(const QString &base)
{
    SetBase() = base;
    // Another address is another service: whether the old one answered says nothing about it.
    ForgetServiceOutage(DataService());
}

QString BuildValidateParam(const QString &address, const QDateTime &t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    const int number = 4719 - (d.year() + d.month() + d.day() + tm.hour() + tm.minute() + tm.second());
    return address + QStringLiteral("&validate=") + QString::number(number);
}

QString BuildServiceUrl(const QString &page, const QString &extra)
{
    // One instant for vtime and validate, so the service's check holds across a second boundary.
    const QDateTime t = ClockNow();
    QString address = Base() + page;
    if (!address.contains(u'?'))
        address += u'?';
    const QDate d = t.date();
    const QTime tm = t.time();
    address += QStringLiteral("&vtime=%1-%2-%3 %4:%5:%6")
                   .arg(QString::number(d.year()).rightJustified(4, u'0'), TwoDigits(d.month()), TwoDigits(d.day()),
                        TwoDigits(tm.hour()), TwoDigits(tm.minute()), TwoDigits(tm.second()));
    address = BuildValidateParam(address, t);
    if (!extra.isEmpty())
        address += (address.contains(u'?') ? QStringLiteral("&") : QStringLiteral("?")) + QStringLiteral("sql=") + extra;
    return address;
}

QStringList ParseSqlReply(const QString &reply)
{
    QString text = reply.contains(kSuccessWord) ? reply : QString();
    if (text.isEmpty())
        return {QString()};
    const qsizetype countAt = text.indexOf(kCountMark);
    if (countAt >= 0)
        text.remove(0, countAt + kCountMark.size());

    QStringList parts = text.split(kRowEnd);
    if (text.contains(kErrorMark)) {
        parts[0] = text.left(text.indexOf(kErrorMark));
        return parts;
    }

    // The piece after the last separator is no row, whatever the count says.
    if (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast();
    const long long n = std::max<long long>(0, ClngOf(std::min(LeadingNumber(parts[0]), 1e9)).value_or(0));
    parts[0] = QString::number(n);
    if (parts.size() > n + 2)
        parts = parts.mid(0, static_cast<qsizetype>(n + 2));
    if (n >= 1 && parts.size() > 1 && parts[1].endsWith(kFieldEnd)) {
        for (qsizetype i = 1; i < parts.size(); ++i) {
            if (parts[i].endsWith(kFieldEnd))
                parts[i].chop(kFieldEnd.size());
        }
    }
    return parts;
}

long ExecRemoteSql(const QString &sql, QStringList &rows, const QString &page)
{
    rows = QStringList{QString()};
    const QString url = BuildServiceUrl(page);
    const QString body = QStringLiteral("sql=") + UrlEncodeGbk(sql);
    QString reply;
    int timeout = 0;
    const QString error = HttpPost(url, body, reply, QStringLiteral("[=END=]"), timeout, &DataService());
    if (!error.isEmpty() || !reply.contains(kSuccessWord)) {
        // A whole reply that holds no result is the service's error, not its silence.
        if (DataService().last == HttpOutcome::Answered)
            DataService().last = HttpOutcome::ErrorReply;
        return -1;
    }
    rows = ParseSqlReply(reply);
    // A successful reply that lacks even the first row still holds no data rows: 0, not a failure.
    return std::max(0L, static_cast<long>(rows.size()) - 2);
}
