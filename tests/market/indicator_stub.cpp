// Test-only stand-in for the progress window's shown flag, until the indicator procedures are in
// the storage library. Remove when storage/indicator.cpp exists.
#include "storage/indicator.h"

#include <atomic>

namespace {
std::atomic<bool> g_shown{false};
}

bool IndicatorShown()
{
    return g_shown.load();
}

void SetIndicatorShown(bool shown)
{
    g_shown.store(shown);
}
