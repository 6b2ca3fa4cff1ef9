#pragma once

#include "platform/ZuConsole.h"

#include <QStringList>
#include <mutex>

// Collects the console lines written while it lives.
class NwConsoleCapture {
public:
    NwConsoleCapture() {
        previous = ZuConsole::setSink([this](const QString& line) {
            std::lock_guard lock(mutex);
            captured << line;
        });
    }
    ~NwConsoleCapture() { ZuConsole::setSink(previous); }

    QStringList lines() const {
        std::lock_guard lock(mutex);
        return captured;
    }

private:
    ZuConsole::Sink previous;
    mutable std::mutex mutex;
    QStringList captured;
};
