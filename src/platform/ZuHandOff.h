#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

// Hands work to the thread this object lives in, through that thread's event
// loop. The work waits in a queue of its own under a standard mutex, and only
// a bare event passes through Qt's queue, so the race detector sees every
// hand-over ordered (Qt's own lock is invisible to it). Work still waiting
// when the object is destroyed is dropped with it.
class ZuHandOff : public QObject {
public:
    // Any thread.
    void post(std::function<void()> work);

protected:
    void customEvent(QEvent* event) override;

private:
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
};
