#pragma once

#include <condition_variable>
#include <mutex>

// A lock with an integer condition: take it at once, or only once the
// condition has a value; release it with a new condition. Either side of a
// ring may set the other side's condition without holding that lock, which
// wakes every thread waiting on it.
class AuConditionLock {
public:
    explicit AuConditionLock(int condition) : value(condition) {}

    void lock();
    // Takes the lock only if nobody holds it; never waits beyond the short
    // guard of the flag itself.
    bool tryLock();
    // Releases the lock leaving the condition as the other side last set it.
    void unlock();
    void lockWhenCondition(int condition);
    void unlockWithCondition(int condition);
    void setCondition(int condition);
    int condition();

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    int value;
};
