// 全局变量: the five system settings.
#include "sys_params.h"

#include "platform/numeric.h"
#include "storage/params.h"

namespace {

struct Settings {
    double initialCapital = 200000;
    double commissionRate = 0.3 / 1000;
    double addPositionMultiple = 1;
    double refreshSeconds = 10;
    double defaultPositionRatio = 0.075;
};

Settings &Current()
{
    static Settings s;
    return s;
}

std::function<void(int)> &TimerHook()
{
    static std::function<void(int)> hook;
    return hook;
}

}  // namespace

double InitialCapital()
{
    return Current().initialCapital;
}

double CommissionRate()
{
    return Current().commissionRate;
}

double AddPositionMultiple()
{
    return Current().addPositionMultiple;
}

double RefreshSeconds()
{
    return Current().refreshSeconds;
}

double DefaultPositionRatio()
{
    return Current().defaultPositionRatio;
}

void SetSysParams(double initialCapital, double commissionRate, double addPositionMultiple, double refreshSeconds,
                  double defaultPositionRatio)
{
    Current() = Settings{initialCapital, commissionRate, addPositionMultiple, refreshSeconds, defaultPositionRatio};
}

void LoadSysParams()
{
    Settings s;
    const std::vector<QString> &tt = SysSetParams().tt;
    auto element = [&tt](size_t i, double &target, double divisor) {
        if (i < tt.size())
            target = LeadingNumber(tt[i]) / divisor;
    };
    element(0, s.initialCapital, 1);
    element(1, s.commissionRate, 1000);
    element(4, s.defaultPositionRatio, 100);
    element(2, s.addPositionMultiple, 1);
    element(3, s.refreshSeconds, 1);
    Current() = s;

    // The interval is a whole number of ms, rounded with halves to even (0.0005 s stops the timer).
    // A negative or oversized interval cannot be set on a timer: leave the timer as it was.
    const auto ms = ClngOf(s.refreshSeconds * 1000);
    if (!ms || *ms < 0)
        return;
    if (TimerHook())
        TimerHook()(*ms);
}

void SetRefreshTimerHook(std::function<void(int intervalMs)> hook)
{
    TimerHook() = std::move(hook);
}
