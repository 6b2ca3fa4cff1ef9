#include "platform/ZuTimer.h"

#include "platform/ZuClock.h"
#include "platform/ZuManualTimers.h"

#include <QTimer>
#include <cmath>

ZuTimer::ZuTimer() = default;

ZuTimer::~ZuTimer() {
    invalidate();
}

void ZuTimer::start(double seconds, bool repeat, std::function<void()> fire) {
    invalidate();
    action = std::move(fire);
    intervalSeconds = seconds;
    repeating = repeat;
    valid = true;
    const int64_t ms = std::max<int64_t>(0, std::llround(seconds * 1000.0));
    if (ZuClock::isManual()) {
        ZuManualTimers::add(this, ZuClock::nowMSecs() + ms);
        return;
    }
    qtimer = std::make_unique<QTimer>();
    qtimer->setTimerType(Qt::PreciseTimer);
    qtimer->setSingleShot(!repeat);
    QObject::connect(qtimer.get(), &QTimer::timeout, [this] {
        if (!repeating)
            valid = false;
        fired();
    });
    qtimer->start(static_cast<int>(ms));
}

void ZuTimer::invalidate() {
    valid = false;
    ZuManualTimers::remove(this);
    if (qtimer) {
        qtimer->stop();
        // A timer may be invalidated from its own callback: let Qt finish with it first.
        qtimer.release()->deleteLater();
    }
}

void ZuTimer::fired() {
    // The action may invalidate or restart this timer; keep the callable alive.
    auto run = action;
    if (run)
        run();
}
