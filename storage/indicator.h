// Indicater and 状态栏: the progress window of long operations and the main window's status line.
// The procedures reach the window and the status line through IndicatorView and a status hook that
// the windowed program registers; without them they only keep their state, so they run in tests.
#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QString>

// What the procedures need of the progress window. The windowed program installs the real window;
// the default does nothing.
class IndicatorView {
public:
    virtual ~IndicatorView() = default;
    // Loads and shows the window (never blocking the caller); busy = the bar cycles by itself.
    virtual void ShowWindow(bool busy) = 0;
    // Unloads the window.
    virtual void HideWindow() = 0;
    virtual void SetBar(int min, int max, int value) = 0;
    virtual void SetMessage(const QString &text) = 0;
    virtual void SetTimeText(const QString &text) = 0;
};
void SetIndicatorView(IndicatorView *view);

// Shows the progress window: counted mode with `count` steps (bar starting at startValue when it is
// 1 or more) when count >= 1, else busy mode; the message in the label; the start time remembered.
void ShowIndicator(const QString &message, long count, long startValue = 0, bool modal = true);
// One step: the message (when not empty), the bar advanced, and for the unit "pages" the time label
// "elapsed/remaining/total(value/max)"; another unit text replaces the message. Then DoEventsN(20).
// Nothing when the window is not shown; only the DoEventsN in busy mode.
void StepIndicator(long step = 1, const QString &unit = QStringLiteral("pages"), const QString &message = QString());
// Lets events through once and unloads the window.
void HideIndicator();
// True from the window's load to its unload (also when the user closes it). The HTTP client
// (IndicatorWait) and the workbook preview stop waiting when it was set at their start and has been
// cleared meanwhile.
bool IndicatorShown();
// Called by the window when it is loaded or unloaded, also by the user.
void SetIndicatorShown(bool shown);

// How long the user waits on something (a service's reply, a long copy) before the progress window
// says what for, in milliseconds.
inline constexpr long long kWaitShownAfterMs = 1000;

// The shortest time between two steps that IndicatorSteps gives the progress window by default (ms).
inline constexpr long long kIndicatorStepMs = 30;

// The steps of a long run given to the progress window in bunches. Step counts one step and hands the
// steps counted to StepIndicator (which lets events through) once intervalMs have passed since the
// last hand-over (or since it was made); Flush hands over those still counted. Letting events through
// after each of ten thousand rows took longer than writing the rows.
class IndicatorSteps {
public:
    explicit IndicatorSteps(long long intervalMs = kIndicatorStepMs);
    void Step();
    void Flush();

private:
    long long m_intervalMs;
    QElapsedTimer m_sinceStep;
    long m_pending = 0;
};

// One wait on something outside the program (a service's reply) as the progress window shows it.
// Made when the wait starts: it notes whether the window is up then. Tick, called about every 100 ms
// with how long the wait has lasted: past kWaitShownAfterMs the window shows caption in busy mode
// (unless a window is up or was up at the start), and while a window is up, window events run
// (DoEventsN(20)) behind a busy guard, so that it paints and can be closed while other clicks are
// ignored. Closed: the window that was up at the start, or that Tick showed, has been closed since,
// by the user: the wait is to be given up. End (also on destruction) unloads the window Tick showed.
class IndicatorWait {
public:
    IndicatorWait();
    ~IndicatorWait();
    IndicatorWait(const IndicatorWait &) = delete;
    IndicatorWait &operator=(const IndicatorWait &) = delete;
    void Tick(long long waitedMs, const QString &caption);
    bool Closed() const;
    void End();

private:
    bool m_watched = false;  // a window was up at the start or was shown by Tick
    bool m_shownHere = false;
};

// What the procedures last gave the window: shown, busy mode, the bar's range and value (the value
// stays 0 in busy mode, where the window cycles the bar itself), the message and the time text.
struct IndicatorState {
    bool shown = false;
    bool busy = false;
    long min = 0;
    long max = 0;
    long value = 0;
    QString message;
    QString timeText;
};
IndicatorState CurrentIndicator();

// The main window's status line. ShowStatusText replaces its text, AppendStatusText adds n copies
// of ch; both then DoEventsN(5). The hook receives the whole new text; the default keeps it only.
void ShowStatusText(const QString &text);
void AppendStatusText(const QString &ch, int n);
QString StatusText();
void SetStatusHook(std::function<void(const QString &)> hook);
