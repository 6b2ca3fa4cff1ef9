#include "platform/ZuManualTimers.h"

#include "platform/ZuTimer.h"

#include <algorithm>

std::vector<ZuTimer*>& ZuManualTimers::timers() {
    static std::vector<ZuTimer*> list;
    return list;
}

void ZuManualTimers::add(ZuTimer* timer, int64_t dueMSecs) {
    timer->dueMSecs = dueMSecs;
    auto& list = timers();
    if (std::find(list.begin(), list.end(), timer) == list.end())
        list.push_back(timer);
}

void ZuManualTimers::remove(ZuTimer* timer) {
    auto& list = timers();
    list.erase(std::remove(list.begin(), list.end(), timer), list.end());
}

void ZuManualTimers::runUntil(int64_t nowMSecs, int64_t targetMSecs, void (*setNow)(int64_t)) {
    for (;;) {
        auto& list = timers();
        // Earliest due first; among equals, the one started first.
        auto next = std::min_element(list.begin(), list.end(), [](ZuTimer* a, ZuTimer* b) {
            return a->dueMSecs < b->dueMSecs;
        });
        if (next == list.end() || (*next)->dueMSecs > targetMSecs)
            return;
        ZuTimer* timer = *next;
        nowMSecs = std::max(nowMSecs, timer->dueMSecs);
        timer->dueMSecs = nowMSecs;
        setNow(nowMSecs);
        if (timer->repeating) {
            const auto step =
                std::max<int64_t>(1, static_cast<int64_t>(timer->intervalSeconds * 1000.0 + 0.5));
            timer->dueMSecs += step;
        } else {
            remove(timer);
            timer->valid = false;
        }
        timer->fired();
    }
}
