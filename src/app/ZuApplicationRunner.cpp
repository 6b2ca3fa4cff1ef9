#include "app/ZuApplicationRunner.h"

#include "keeping/ZuKeeper.h"
#include "platform/ZuConsole.h"
#include "platform/ZuMainThread.h"
#include "platform/ZuSettings.h"
#include "platform/ZuSignalWatch.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QWidget>
#include <csignal>

ZuApplicationRunner::ZuApplicationRunner(ZuControler* owner) : controler(owner) {}

ZuApplicationRunner::~ZuApplicationRunner() = default;

void ZuApplicationRunner::watchSignals() {
    signalWatch = std::make_unique<ZuSignalWatch>(
        std::initializer_list<int>{SIGINT, SIGTERM, SIGHUP}, [this](int) { terminateBySignal(); });
    if (!signalWatch->isWatching())
        ZuConsole::line(QStringLiteral("Nightwarden: cannot watch signals."));
}

void ZuApplicationRunner::quitAfter(double seconds) {
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), this, [this] { terminateBySignal(); });
}

void ZuApplicationRunner::terminateBySignal() {
    if (finished)
        return;
    // A second signal while the keeper's work is awaited ends at once.
    if (waitingForKeeper) {
        quitWithoutKeeper();
        return;
    }
    // Recording ends cleanly, but the switches stay as stored so that the next
    // launch takes up the duty where this one left it.
    ZuSettings& store = ZuSettings::standard();
    const bool recordSwitch = store.boolForKey("RecordSwitch");
    const bool reserveSwitch = store.boolForKey("ReserveSwitch");
    controler->recorder()->emerRecordStop();
    store.setBool(recordSwitch, "RecordSwitch");
    store.setBool(reserveSwitch, "ReserveSwitch");
    store.synchronize();
    switch (controler->applicationShouldTerminate(false)) {
    case ZuTerminateReply::Now:
        finish();
        break;
    case ZuTerminateReply::Later:
        ZuConsole::line(QStringLiteral("Nightwarden: quitting when keeping is complete (at "
                                       "once on a second signal or after %1 seconds).")
                            .arg(keeperWaitSeconds));
        waitingForKeeper = true;
        QTimer::singleShot(keeperWaitSeconds * 1000, this, [this] { quitWithoutKeeper(); });
        break;
    case ZuTerminateReply::Cancel:
        // The duty goes on with recording stopped; the store says so too.
        store.setBool(false, "RecordSwitch");
        store.setBool(false, "ReserveSwitch");
        store.synchronize();
        break;
    }
}

void ZuApplicationRunner::quitWithoutKeeper() {
    if (finished)
        return;
    ZuConsole::line(QStringLiteral("Nightwarden: quitting without waiting for compression; the "
                                   "copies not yet compressed stay in the keep folder."));
    controler->keeper()->stopCompressing();
    finish();
}

void ZuApplicationRunner::hide() {
    if (mainWindow)
        mainWindow->hide();
}

bool ZuApplicationRunner::terminate() {
    if (!finished && controler->applicationShouldTerminate() == ZuTerminateReply::Now)
        finish();
    return finished;
}

// The keeper answers from its compression thread; the quit itself runs on
// the main thread like every other.
void ZuApplicationRunner::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (shouldTerminate)
        zuPerformOnMainThread([this] { finish(); });
}

void ZuApplicationRunner::openUrl(const QUrl& url) {
    if (!QDesktopServices::openUrl(url))
        ZuConsole::line(QStringLiteral("Nightwarden: cannot open %1").arg(url.toString()));
}

void ZuApplicationRunner::finish() {
    if (finished)
        return;
    finished = true;
    controler->applicationWillTerminate();
    // Queued, so that a quit decided before the event loop runs is not lost.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
