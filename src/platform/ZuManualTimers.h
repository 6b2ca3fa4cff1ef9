#pragma once

#include <cstdint>
#include <vector>

class ZuTimer;

// The timers that wait on the manual clock.
class ZuManualTimers {
public:
    static void add(ZuTimer* timer, int64_t dueMSecs);
    static void remove(ZuTimer* timer);
    // Fires every timer due at or before target, in due order, moving the clock
    // to each due time first; returns when none is left. A timer that fell due
    // before the clock was set forward fires at the present time.
    static void runUntil(int64_t nowMSecs, int64_t targetMSecs, void (*setNow)(int64_t));

private:
    static std::vector<ZuTimer*>& timers();
};
