// WEB操作 and WEB网址: the client side of the data service, which answers SQL queries over HTTP.
// ExecRemoteSql posts a query and returns the rows; ParseSqlReply takes a reply apart; BuildServiceUrl
// composes a request address with the request time and BuildValidateParam the validation number the
// service checks against that time.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "market/http.h"

// The page of the data service that runs queries.
inline const QString kExeSqlPage = QStringLiteral("Disp/ExeSQL.php");

// The data service as the client keeps it between requests: whether it is taken as down (http.h;
// its requests carry no Referer; a reply may hold kDefaultReplyLimitBytes, a year of history some
// 25 KB). Tests forget an outage through it.
HttpService &DataService();

// The data service's base address, ending in "/": the one set by SetDataServiceBase, else the
// environment variable KELVARO_DATA_URL when it is set and not blank, else "http://127.0.0.1:8088/gupiao/".
// A "/" is added when the given base lacks it. Setting "" goes back to the environment or the default.
// Setting an address (even the same one) forgets that the service was taken as down.
QString DataServiceBase();
void SetDataServiceBase(const QString &base);

// Posts "sql=" & UrlEncodeGbk(sql) to the page of the data service (end marker "[=END=]", the default
// time-out) and parses the reply into rows (see ParseSqlReply). Returns the number of data rows, or −1
// when there was no reply, an error reply or a reply without "操作成功"; rows is then {""}, and
// DataService().last tells which (a reply without "操作成功" or without "[=END=]" is an ErrorReply).
// After a request that got no reply the data service is taken as down for ServiceDownSeconds (http.h),
// in which queries fail at once without a request.
long ExecRemoteSql(const QString &sql, QStringList &rows, const QString &page = kExeSqlPage);

// Takes apart a reply body of the data service: element 0 the row count as text, element 1 the first
// row (a header the readers skip), then the data rows, each without its last "⊙". Rows beyond the
// stated count are dropped, and so is the empty piece after the last "§§<BR>"; a count larger than the
// rows delivered keeps just the rows that are there. A reply without "操作成功" gives {""}; with
// "ERROR:" element 0 is the text before it.
QStringList ParseSqlReply(const QString &reply);

// base & page, "?" when it holds none, "&vtime=" & the present time as "YYYY-MM-DD HH:MM:SS" (with its
// blank), the validation number of that same instant and, when extra is not empty, "sql=" & extra.
QString BuildServiceUrl(const QString &page, const QString &extra = QString());

// address & "&validate=" & (4719 − (year + month + day + hour + minute + second of t)).
QString BuildValidateParam(const QString &address, const QDateTime &t);
