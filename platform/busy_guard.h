// The program's busy guard. Long operations let window events through while they run, so a timer
// tick or a second command could start in the middle of them. An operation holds a BusyGuard for its
// whole run; the refresh timer skips its tick and re-entrant commands ignore the click while IsBusy().
#pragma once

// Marks the program busy from construction to destruction. Guards nest: the program stays busy until
// the last one is gone. User-interface thread only.
class BusyGuard {
public:
    BusyGuard();
    ~BusyGuard();
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;
};

// True while at least one BusyGuard exists.
bool IsBusy();
