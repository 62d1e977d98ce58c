// Indicator: the progress window of long operations. It stays above the other windows and never
// blocks its caller. In counted mode the bar shows the steps the operation reports; in busy mode
// Timer1 cycles the bar by itself. Loading the window sets IndicatorShown, unloading it (also by the
// user's close) clears it, and an unloaded window is destroyed, so the next use loads a new one.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

class IndicatorForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window: designed caption "进度指示器", the message label "进度条指示器", an empty
    // time label; IndicatorShown set and the window made top-most.
    IndicatorForm();

    QLabel *LBL = nullptr;
    QLabel *L1 = nullptr;
    QProgressBar *Bar = nullptr;
    QTimer *Timer1 = nullptr;

    // Counted mode (Timer1 off, the bar's text shown) or busy mode (Timer1 cycling the bar).
    void SetBusy(bool busy);

protected:
    // The user's close unloads the window.
    void closeEvent(QCloseEvent *event) override;

private slots:
    // Busy mode: the bar advances by one and goes back to its minimum at its maximum.
    void Timer1_Timer();
};

// The loaded progress window, or nullptr when it is not loaded.
IndicatorForm *LoadedIndicator();
// The progress window, loaded on first use.
IndicatorForm *Indicator();
// Unloads (destroys) the progress window when it is loaded.
void UnloadIndicator();

// Installs the progress window as the view of the progress procedures; the program calls it once at
// start-up.
void InstallIndicatorWindow();
