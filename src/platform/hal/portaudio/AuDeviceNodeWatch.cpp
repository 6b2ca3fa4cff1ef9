#include "platform/hal/portaudio/AuDeviceNodeWatch.h"

#include <QFileInfo>

AuDeviceNodeWatch::AuDeviceNodeWatch(const QString& folder, std::function<bool()> isBusy,
                                     std::function<void()> doRescan)
    : busy(std::move(isBusy)), rescan(std::move(doRescan)) {
    if (!QFileInfo(folder).isDir())
        return;
    watcher.addPath(folder);
    // Every change restarts the wait, so a device whose nodes come one after
    // another is rescanned once, when they are all there.
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &watcher,
                     [this] { debounce.start(kDebounceSeconds, false, [this] { due(); }); });
}

void AuDeviceNodeWatch::streamsStopped() {
    // Queued on the watcher when called off the main thread, so a call that
    // arrives after the watch is gone is dropped.
    QMetaObject::invokeMethod(&watcher, [this] {
        if (deferred && !debounce.isValid())
            debounce.start(kDebounceSeconds, false, [this] { due(); });
    });
}

void AuDeviceNodeWatch::due() {
    deferred = busy();
    if (!deferred)
        rescan();
}
