#include "audio/AuConditionLock.h"

void AuConditionLock::lock() {
    std::unique_lock guard(mutex);
    changed.wait(guard, [this] { return !held; });
    held = true;
}

bool AuConditionLock::tryLock() {
    // The guard is held for a few instructions by either side; only a lock
    // that somebody holds makes this fail.
    std::lock_guard guard(mutex);
    if (held)
        return false;
    held = true;
    return true;
}

void AuConditionLock::unlock() {
    {
        std::lock_guard guard(mutex);
        held = false;
    }
    changed.notify_all();
}

void AuConditionLock::lockWhenCondition(int condition) {
    std::unique_lock guard(mutex);
    changed.wait(guard, [this, condition] { return !held && value == condition; });
    held = true;
}

void AuConditionLock::unlockWithCondition(int condition) {
    {
        std::lock_guard guard(mutex);
        held = false;
        value = condition;
    }
    changed.notify_all();
}

void AuConditionLock::setCondition(int condition) {
    {
        std::lock_guard guard(mutex);
        value = condition;
    }
    changed.notify_all();
}

int AuConditionLock::condition() {
    std::lock_guard guard(mutex);
    return value;
}
