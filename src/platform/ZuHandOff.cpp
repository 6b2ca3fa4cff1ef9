#include "platform/ZuHandOff.h"

#include <QCoreApplication>
#include <QEvent>

void ZuHandOff::post(std::function<void()> work) {
    {
        std::lock_guard guard(mutex);
        pending.push_back(std::move(work));
    }
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

void ZuHandOff::customEvent(QEvent*) {
    std::deque<std::function<void()>> ready;
    {
        std::lock_guard guard(mutex);
        ready.swap(pending);
    }
    for (auto& work : ready)
        work();
}
