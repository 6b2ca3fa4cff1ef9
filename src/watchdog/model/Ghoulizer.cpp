#include "model/Ghoulizer.h"

#include "model/GhoulTexts.h"
#include "model/Secretary.h"
#include "model/Watchman.h"

Ghoulizer::Ghoulizer(Watchman& watchman, Secretary& secretary, QObject* parent)
    : QObject(parent), watchman(watchman), secretary(secretary) {
    // The watch follows the list as it is edited.
    connect(&secretary, &Secretary::listChanged, &watchman, &Watchman::syncWatchedApplications);
}

void Ghoulizer::applicationDidFinishLaunching() {
    if (secretary.ghoulList().isEmpty()) {
        if (runAlert_)
            runAlert_(Alert{GhoulTexts::text(QStringLiteral("NoGhoulCaution")),
                            GhoulTexts::text(QStringLiteral("NoGhoulInfo")),
                            GhoulTexts::text(QStringLiteral("Understand"))});
        secretary.actShowGhoulListPanel();
    }
    watchman.startWatching();
}

void Ghoulizer::applicationShouldTerminate() {
    watchman.stopWatching();
    emit saveFrames();
}
