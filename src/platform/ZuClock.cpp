#include "platform/ZuClock.h"

#include "platform/ZuManualTimers.h"

#include <atomic>

namespace {
std::atomic<bool> manual{false};
std::atomic<int64_t> manualNow{0};
std::atomic<int64_t> offset{0};

void setManualNow(int64_t ms) {
    manualNow.store(ms);
}
} // namespace

int64_t ZuClock::nowMSecs() {
    if (manual.load())
        return manualNow.load();
    return QDateTime::currentMSecsSinceEpoch() + offset.load();
}

QDateTime ZuClock::now() {
    return QDateTime::fromMSecsSinceEpoch(nowMSecs());
}

void ZuClock::useSystemTime(int64_t offsetMSecs) {
    offset.store(offsetMSecs);
    manual.store(false);
}

void ZuClock::startAt(const QDateTime& start) {
    useSystemTime(start.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch());
}

void ZuClock::useManual(const QDateTime& start) {
    manualNow.store(start.toMSecsSinceEpoch());
    manual.store(true);
}

bool ZuClock::isManual() {
    return manual.load();
}

void ZuClock::advance(double seconds) {
    if (!manual.load())
        return;
    const int64_t target = manualNow.load() + static_cast<int64_t>(seconds * 1000.0 + 0.5);
    ZuManualTimers::runUntil(manualNow.load(), target, setManualNow);
    manualNow.store(target);
}
