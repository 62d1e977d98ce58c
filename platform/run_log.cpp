// RunErr.txt and the GBK append.
#include "run_log.h"

#include <QFile>

#include "clock.h"
#include "gbk.h"
#include "program_folder.h"

namespace {

std::function<void(const DbError &)> &Observer()
{
    static std::function<void(const DbError &)> observer;
    return observer;
}

}  // namespace

void AppendText(const QString &path, const QString &text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    f.write(EncodeGbk(text + QStringLiteral("\r\n")));
}

void LogDbError(const DbError &error, const QString &sql)
{
    QString entry = QStringLiteral("\r\n\r\n") + ClockNow().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                    QStringLiteral("\r\n") + QString::number(error.number) + u':' + error.text;
    if (!sql.isEmpty())
        entry += QStringLiteral("\r\n") + sql;
    AppendText(ProgramFilePath(QStringLiteral("RunErr.txt")), entry);
    if (Observer())
        Observer()(error);
}

void SetDbErrorObserver(std::function<void(const DbError &)> observer)
{
    Observer() = std::move(observer);
}
