// Entry point of Kelvaro股票记账软件: the start-up, then the main window's events.
#include <clocale>

#include <QLibraryInfo>
#include <QTranslator>

#include "exchange/forms/sheets_form.h"
#include "mainwindow/forms/mf.h"
#include "mainwindow/main_sub.h"
#include "platform/forms/qt_prompter.h"
#include "platform/busy_guard.h"
#include "platform/db.h"
#include "platform/prompter.h"
#include "storage/db_create.h"
#include "storage/dialogs.h"
#include "storage/forms/form_ops.h"
#include "storage/forms/guarded_app.h"
#include "storage/forms/indicator_form.h"
#include "storage/params.h"

int main(int argc, char *argv[])
{
    // An exception out of a user's action ends the action, not the program.
    GuardedApplication app(argc, argv);
    // Qt takes the locale from the environment; numbers in files, SQL and texts are always written
    // and read with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(kAppTitle);
    // The program speaks Chinese whatever the desktop's language, in Qt's own dialogs and buttons too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    // Only closing the main window ends the program, never closing one of the other windows.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtPrompter();
    InstallIndicatorWindow();
    InstallTopLevelCaptions();
    InstallWindowPlaces([] { return static_cast<QWidget *>(LoadedMF()); });
    InstallMainWindow();
    InstallImportWindows();
    // The file dialogs keep their filter choice in the database across runs.
    SetDialogParamStore([](const QString &key, const QString &defaultValue) { return GetParam(key, defaultValue); },
                        [](const QString &key, const QString &value) { SaveParam(key, value); });
    // A close during a long operation waits until the operation ends.
    MainWindowHooks().isBusy = [] { return IsBusy(); };
    // A new book is made from the data folder installed beside the program, else from the sources'.
    const QString installedData = QCoreApplication::applicationDirPath() + QStringLiteral("/data");
    if (Main(HasAccDbSources(installedData) ? installedData : QStringLiteral(KELVARO_DATA_DIR)) != 0)
        return 1;
    const int rc = app.exec();
    delete LoadedMF();
    ReleaseIdleConnection();
    ReleaseInstanceLock();
    return rc;
}
