// The program's busy guard: a count of the guards alive.
#include "busy_guard.h"

#include <QtGlobal>

namespace {

int &GuardCount()
{
    static int count = 0;
    return count;
}

}  // namespace

BusyGuard::BusyGuard()
{
    ++GuardCount();
}

BusyGuard::~BusyGuard()
{
    Q_ASSERT(GuardCount() > 0);
    --GuardCount();
}

bool IsBusy()
{
    return GuardCount() > 0;
}
