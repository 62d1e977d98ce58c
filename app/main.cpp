// Entry point of Kelvaro股票记账软件: the start-up, then the main window's events.
#include <QApplication>

#include "mainwindow/forms/mf.h"
#include "mainwindow/main_sub.h"
#include "platform/forms/qt_prompter.h"
#include "platform/busy_guard.h"
#include "platform/prompter.h"
#include "storage/forms/indicator_form.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    // Only closing the main window ends the program, never closing one of the other windows.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtPrompter();
    InstallIndicatorWindow();
    InstallMainWindow();
    // A close during a long operation waits until the operation ends.
    MainWindowHooks().isBusy = [] { return IsBusy(); };
    if (Main(QStringLiteral(KELVARO_DATA_DIR)) != 0)
        return 1;
    const int rc = app.exec();
    delete LoadedMF();
    ReleaseInstanceLock();
    return rc;
}
