#include "platform/ZuNotificationCenter.h"

#include <algorithm>

ZuNotificationCenter& ZuNotificationCenter::defaultCenter() {
    static ZuNotificationCenter center;
    return center;
}

void ZuNotificationCenter::addObserver(const QString& name, const void* owner, Callback callback) {
    auto entry = std::make_shared<Entry>();
    entry->name = name;
    entry->owner = owner;
    entry->callback = std::move(callback);
    std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
}

void ZuNotificationCenter::retire(const std::shared_ptr<Entry>& entry) {
    // Waits for a call in progress on another thread; a callback removing
    // itself holds the recursive lock already.
    std::lock_guard wait(entry->calling);
    entry->removed = true;
}

void ZuNotificationCenter::removeObserver(const void* owner) {
    std::vector<std::shared_ptr<Entry>> gone;
    {
        std::lock_guard lock(mutex);
        auto keep = std::stable_partition(entries.begin(), entries.end(),
                                          [owner](const auto& e) { return e->owner != owner; });
        gone.assign(keep, entries.end());
        entries.erase(keep, entries.end());
    }
    for (const auto& entry : gone)
        retire(entry);
}

void ZuNotificationCenter::removeObserver(const void* owner, const QString& name) {
    std::vector<std::shared_ptr<Entry>> gone;
    {
        std::lock_guard lock(mutex);
        auto keep = std::stable_partition(entries.begin(), entries.end(), [&](const auto& e) {
            return e->owner != owner || e->name != name;
        });
        gone.assign(keep, entries.end());
        entries.erase(keep, entries.end());
    }
    for (const auto& entry : gone)
        retire(entry);
}

void ZuNotificationCenter::post(const QString& name, const QVariant& object,
                                const QVariantMap& userInfo) {
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard lock(mutex);
        for (const auto& entry : entries)
            if (entry->name == name)
                targets.push_back(entry);
    }
    const ZuNotification notification{name, object, userInfo};
    for (const auto& entry : targets) {
        std::lock_guard calling(entry->calling);
        if (!entry->removed)
            entry->callback(notification);
    }
}
