#pragma once

#include <QDateTime>
#include <functional>
#include <memory>

class QTimer;

// A one-shot or repeating timer of the main thread. Under the system clock it
// runs on a QTimer; under the manual clock it fires from ZuClock::advance.
class ZuTimer {
public:
    ZuTimer();
    ~ZuTimer();
    ZuTimer(const ZuTimer&) = delete;
    ZuTimer& operator=(const ZuTimer&) = delete;

    void start(double intervalSeconds, bool repeats, std::function<void()> fire);
    void invalidate();
    bool isValid() const { return valid; }
    bool repeats() const { return repeating; }
    double interval() const { return intervalSeconds; }

private:
    friend class ZuManualTimers;
    void fired();

    std::function<void()> action;
    std::unique_ptr<QTimer> qtimer;
    double intervalSeconds = 0.0;
    int64_t dueMSecs = 0; // manual clock only
    bool repeating = false;
    bool valid = false;
};
