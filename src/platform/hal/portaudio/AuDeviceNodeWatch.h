#pragma once

#include "platform/ZuTimer.h"

#include <QFileSystemWatcher>
#include <functional>

// Watches the folder of the kernel's sound device nodes (/dev/snd), whose
// entries appear and vanish with the hardware, for a backend that cannot tell
// device arrival and removal itself. After a burst of changes has been quiet
// for the debounce period it asks once for a rescan; while the backend
// streams, a rescan would interrupt the streams, so it waits until the last
// one stops (and the debounce period passes again). A folder missing at the
// start is not watched.
class AuDeviceNodeWatch {
public:
    static constexpr double kDebounceSeconds = 0.5;

    // busy: whether the backend runs a stream; rescan: refresh its device list.
    AuDeviceNodeWatch(const QString& folder, std::function<bool()> busy,
                      std::function<void()> rescan);

    bool watching() const { return !watcher.directories().isEmpty(); }
    // A change was seen and its rescan is not done yet.
    bool rescanPending() const { return debounce.isValid() || deferred; }
    // The backend's last stream stopped; callable from any thread.
    void streamsStopped();

private:
    void due();

    QFileSystemWatcher watcher;
    ZuTimer debounce;
    std::function<bool()> busy;
    std::function<void()> rescan;
    bool deferred = false; // main thread only
};
