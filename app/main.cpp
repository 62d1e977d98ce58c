// Entry point of Kelvaro股票记账软件.
#include <QApplication>
#include <QMainWindow>

#include "platform/forms/qt_prompter.h"
#include "platform/prompter.h"
#include "storage/forms/indicator_form.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    InstallQtPrompter();
    InstallIndicatorWindow();
    QMainWindow window;
    window.setWindowTitle(kAppTitle);
    window.resize(1024, 700);
    window.show();
    return app.exec();
}
