// Indicater and 状态栏: the state of the progress window and of the status line, pushed to the
// window and the status label through the installed view and hook.
#include "indicator.h"

#include <algorithm>
#include <climits>

#include <QDateTime>

#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/numeric.h"
#include "storage/common.h"

namespace {

struct IndicatorData : IndicatorState {
    IndicatorView *view = nullptr;
    QDateTime start;
};

IndicatorData &Data()
{
    static IndicatorData d;
    return d;
}

struct StatusData {
    QString text;
    std::function<void(const QString &)> hook;
};

StatusData &Status()
{
    static StatusData s;
    return s;
}

void SetMessageText(const QString &text)
{
    IndicatorData &d = Data();
    d.message = text;
    if (d.view)
        d.view->SetMessage(text);
}

void PushBar()
{
    IndicatorData &d = Data();
    auto bounded = [](long v) { return static_cast<int>(std::clamp<long>(v, 0, INT_MAX)); };
    if (d.view)
        d.view->SetBar(bounded(d.min), bounded(d.max), bounded(d.value));
}

void SetStatus(const QString &text)
{
    StatusData &s = Status();
    s.text = text;
    if (s.hook)
        s.hook(text);
    DoEventsN(5);
}

}  // namespace

void SetIndicatorView(IndicatorView *view)
{
    Data().view = view;
}

void ShowIndicator(const QString &message, long count, long startValue, bool modal)
{
    Q_UNUSED(modal);  // the window never blocks its caller
    IndicatorData &d = Data();
    if (!d.shown)
        d.timeText.clear();  // a window loaded afresh has an empty time label
    d.shown = true;
    d.min = 0;
    d.busy = count < 1;
    if (d.busy) {
        d.max = 10;
        d.value = 0;
    } else {
        d.max = count;
        // A start value beyond the count would put the bar past its end.
        d.value = startValue >= 1 ? std::min(startValue, count) : 0;
    }
    if (d.view)
        d.view->ShowWindow(d.busy);
    PushBar();
    SetMessageText(message);
    if (!d.busy) {
        DoEvents();
        d.start = ClockNow();
    }
}

void StepIndicator(long step, const QString &unit, const QString &message)
{
    IndicatorData &d = Data();
    if (!d.shown)
        return;
    if (!d.busy) {
        if (!message.isEmpty())
            SetMessageText(message);
        if (d.max < 1)
            d.max = 1;
        // Value stays within 0..Max (it is there already, so a step past Max is cut before adding).
        d.value = step > d.max - d.value ? d.max : std::max(d.value + step, d.min);
        PushBar();
        // The fraction done, cut (not rounded) to three decimals, in thousandths.
        const long long permille =
            d.max <= LLONG_MAX / 1000
                ? static_cast<long long>(d.value) * 1000 / d.max
                : static_cast<long long>(static_cast<double>(d.value) / static_cast<double>(d.max) * 1000);
        if (!unit.isEmpty()) {
            if (unit.compare(QStringLiteral("pages"), Qt::CaseInsensitive) == 0) {
                if (permille >= 1) {
                    const long long elapsed = d.start.secsTo(ClockNow());
                    const long long total =
                        static_cast<long long>(RoundHalfEven(static_cast<double>(elapsed) * 1000 / permille, 0));
                    d.timeText = FormatDuration(elapsed) + u'/' + FormatDuration(total - elapsed) + u'/' +
                                 FormatDuration(total) + u'(' + QString::number(d.value) + u'/' +
                                 QString::number(d.max) + u')';
                    if (d.view)
                        d.view->SetTimeText(d.timeText);
                }
            } else {
                SetMessageText(unit);
            }
        }
    }
    DoEventsN(20);
}

void HideIndicator()
{
    DoEvents();
    IndicatorData &d = Data();
    if (!d.shown)
        return;
    d.busy = false;
    d.shown = false;
    if (d.view)
        d.view->HideWindow();
}

bool IndicatorShown()
{
    return Data().shown;
}

void SetIndicatorShown(bool shown)
{
    IndicatorData &d = Data();
    d.shown = shown;
    if (!shown)
        d.busy = false;
}

IndicatorSteps::IndicatorSteps(long long intervalMs) : m_intervalMs(intervalMs)
{
    m_sinceStep.start();
}

void IndicatorSteps::Step()
{
    ++m_pending;
    if (m_sinceStep.elapsed() >= m_intervalMs)
        Flush();
}

void IndicatorSteps::Flush()
{
    if (m_pending > 0)
        StepIndicator(m_pending);
    m_pending = 0;
    m_sinceStep.restart();
}

IndicatorWait::IndicatorWait() : m_watched(IndicatorShown()) {}

IndicatorWait::~IndicatorWait()
{
    End();
}

void IndicatorWait::Tick(long long waitedMs, const QString &caption)
{
    if (waitedMs <= kWaitShownAfterMs)
        return;
    // A window the user closed is not shown again: the wait is being given up.
    if (!m_watched && !IndicatorShown()) {
        ShowIndicator(caption, 0);
        m_watched = true;
        m_shownHere = true;
    }
    if (IndicatorShown()) {
        BusyGuard busy;
        DoEventsN(20);
    }
}

bool IndicatorWait::Closed() const
{
    return m_watched && !IndicatorShown();
}

void IndicatorWait::End()
{
    if (m_shownHere && IndicatorShown())
        HideIndicator();
    m_shownHere = false;
}

IndicatorState CurrentIndicator()
{
    return Data();
}

void ShowStatusText(const QString &text)
{
    SetStatus(text);
}

void AppendStatusText(const QString &ch, int n)
{
    SetStatus(Status().text + ch.repeated(std::max(n, 0)));
}

QString StatusText()
{
    return Status().text;
}

void SetStatusHook(std::function<void(const QString &)> hook)
{
    Status().hook = std::move(hook);
}
