// 全局变量: the five system settings, derived from the saved text boxes of the system settings window.
#pragma once

#include <functional>

// Initial capital in yuan (default 200000).
double InitialCapital();
// Commission rate as a fraction: the per-mille setting / 1000 (default 0.0003).
double CommissionRate();
// Add-position multiple (default 1).
double AddPositionMultiple();
// Real-time refresh interval in seconds, 0 = no refresh (default 10).
double RefreshSeconds();
// Default opening position as a fraction: the percent setting / 100 (default 0.075).
double DefaultPositionRatio();

// Overrides the settings (tests).
void SetSysParams(double initialCapital, double commissionRate, double addPositionMultiple, double refreshSeconds,
                  double defaultPositionRatio);

// Sets the five settings from SysSetParams().tt: element 0 capital, 1 commission per mille, 2 multiple,
// 3 refresh seconds, 4 position percent, each by its leading number. A missing element keeps the
// default; an element present but empty gives 0. Then sets the refresh timer through the hook:
// RefreshSeconds × 1000 ms rounded (halves to even), 0 stopping the timer; an interval beyond the
// timer's range leaves the timer as it was.
void LoadSysParams();

// The main window registers how its refresh timer is set: interval in ms, 0 = stop. Until then
// LoadSysParams only computes the settings.
void SetRefreshTimerHook(std::function<void(int intervalMs)> hook);
