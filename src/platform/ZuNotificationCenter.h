#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct ZuNotification {
    QString name;
    QVariant object;
    QVariantMap userInfo;
};

// Process-wide notifications. Observers are called synchronously on the
// posting thread. Registration is thread-safe; once removeObserver returns, the
// owner's callbacks are neither running on another thread nor called again,
// so an owner may remove itself in its destructor.
class ZuNotificationCenter {
public:
    using Callback = std::function<void(const ZuNotification&)>;

    static ZuNotificationCenter& defaultCenter();

    void addObserver(const QString& name, const void* owner, Callback callback);
    void removeObserver(const void* owner);
    void removeObserver(const void* owner, const QString& name);
    void post(const QString& name, const QVariant& object = {}, const QVariantMap& userInfo = {});

private:
    struct Entry {
        QString name;
        const void* owner;
        Callback callback;
        std::recursive_mutex calling;
        bool removed = false; // guarded by calling
    };
    void retire(const std::shared_ptr<Entry>& entry);

    std::mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;
};
