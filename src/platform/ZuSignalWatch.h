#pragma once

#include <QObject>
#include <functional>
#include <initializer_list>
#include <memory>

class QSocketNotifier;

// Brings POSIX signals to the main thread's event loop. The handler itself
// only writes the signal's number to a socket pair (async-signal-safe); the
// callback runs on the event loop. A signal belongs to the watch that named
// it last.
class ZuSignalWatch : public QObject {
public:
    using Handler = std::function<void(int signalNumber)>;

    ZuSignalWatch(std::initializer_list<int> signalNumbers, Handler handler,
                  QObject* parent = nullptr);
    ~ZuSignalWatch() override;
    ZuSignalWatch(const ZuSignalWatch&) = delete;
    ZuSignalWatch& operator=(const ZuSignalWatch&) = delete;

    // False when no socket pair could be made: the signals keep their
    // previous handling.
    bool isWatching() const { return notifier != nullptr; }

    // The signal no longer ends the process. A handler that does nothing,
    // rather than SIG_IGN, so that programs started from here get the default
    // back at exec.
    static void ignore(int signalNumber);

private:
    int pair[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    Handler handler;
};
