#include "platform/ZuMainThread.h"

#include "platform/ZuHandOff.h"

#include <QCoreApplication>
#include <QThread>
#include <mutex>

namespace {

// The hand-off of the running application, made by the first call from
// another thread and gone with the application, whose pending work it drops.
struct MainHandOff {
    std::mutex mutex;
    QCoreApplication* app = nullptr;
    ZuHandOff* handOff = nullptr;
};

MainHandOff& mainHandOff() {
    static MainHandOff state;
    return state;
}

} // namespace

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
    MainHandOff& state = mainHandOff();
    std::lock_guard guard(state.mutex);
    if (state.app != app) {
        auto* handOff = new ZuHandOff;
        handOff->moveToThread(app->thread());
        QObject::connect(app, &QObject::destroyed, handOff, [handOff] {
            MainHandOff& gone = mainHandOff();
            {
                std::lock_guard lock(gone.mutex);
                if (gone.handOff == handOff) {
                    gone.app = nullptr;
                    gone.handOff = nullptr;
                }
            }
            delete handOff;
        });
        state.app = app;
        state.handOff = handOff;
    }
    state.handOff->post(std::move(work));
}
