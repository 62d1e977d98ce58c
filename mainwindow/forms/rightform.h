// Rightform: the about box "版权说明": the program's icon, its contact lines and its version. A click
// on the icon, a contact line or the version line opens the program's home page in the browser;
// "确  定" closes the box. Modeless; closing destroys it, and the next use loads it again.
#pragma once

#include <array>

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

// The program's home page, which the about box opens.
inline const QString kHomePage = QStringLiteral("https://kelvaro.example/");

class RightformForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window: builds the controls, registers it among the loaded windows and writes the
    // version into the version line (every "[版本号]" becomes "2.0").
    RightformForm();

    QLabel *Image1 = nullptr;
    std::array<QLabel *, 3> lblCompany{};
    QLabel *lblVersion = nullptr;
    QPushButton *Com = nullptr;
    QFrame *Line1 = nullptr;

    // Opens the home page (ShellOpen).
    void OpenHomePage();

protected:
    void closeEvent(QCloseEvent *event) override;
    // A left press on the icon, a contact line or the version line opens the home page.
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The window, loaded on first use; a closed window is loaded anew on the next use.
RightformForm *Rightform();
// The window when it is loaded, else nullptr (never creates it).
RightformForm *LoadedRightform();
