// The program's application object.
#include "guarded_app.h"

#include <exception>
#include <new>

#include <QEvent>

#include "platform/db.h"
#include "platform/prompter.h"
#include "platform/run_log.h"
#include "storage/indicator.h"

namespace {

// The number of a broken-off action's entry in RunErr.txt: 7 for memory run out (as runtime errors
// are numbered), -1 for any other exception.
constexpr int kOutOfMemory = 7;
constexpr int kException = -1;

// Ends the action an exception broke off: the progress window hidden, the entry written, the user
// told. Nothing of this may throw in turn out of the event loop (when memory has run out, it might).
void ReportBrokenAction(QObject *receiver, QEvent *event, int number, const QString &message, const char *what)
{
    try {
        HideIndicator();
        const QString where = QStringLiteral("（事件 %1，%2）")
                                  .arg(event ? int(event->type()) : 0)
                                  .arg(QString::fromLatin1(receiver ? receiver->metaObject()->className() : ""));
        LogDbError(DbError{number, message + QStringLiteral(" ") + QString::fromUtf8(what) + where});
        MsgBox(message);
    } catch (...) {
    }
}

}  // namespace

GuardedApplication::GuardedApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc &e) {
        ReportBrokenAction(receiver, event, kOutOfMemory, QStringLiteral("内存不足，操作未能完成！"), e.what());
    } catch (const std::exception &e) {
        ReportBrokenAction(receiver, event, kException, QStringLiteral("程序出现意外错误，操作未能完成！"), e.what());
    } catch (...) {
        ReportBrokenAction(receiver, event, kException, QStringLiteral("程序出现意外错误，操作未能完成！"), "");
    }
    return false;
}
