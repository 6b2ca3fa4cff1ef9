#include "platform/ZuMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool zuIsMainThread() {
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void zuPerformOnMainThread(std::function<void()> work) {
    auto* app = QCoreApplication::instance();
    if (!app || zuIsMainThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}
