#include "app/ZuApplicationRunner.h"

#include "platform/ZuConsole.h"
#include "platform/ZuMainThread.h"
#include "platform/ZuSettings.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop does the rest.
void onSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}
} // namespace

ZuApplicationRunner::ZuApplicationRunner(ZuControler* owner) : controler(owner) {}

ZuApplicationRunner::~ZuApplicationRunner() = default;

void ZuApplicationRunner::watchSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        ZuConsole::line(QStringLiteral("Nightwarden: cannot watch signals."));
        return;
    }
    signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(signalNotifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1)
            terminateBySignal();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void ZuApplicationRunner::quitAfter(double seconds) {
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), this, [this] { terminateBySignal(); });
}

void ZuApplicationRunner::terminateBySignal() {
    if (finished)
        return;
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
        ZuConsole::line(QStringLiteral("Nightwarden: quitting when keeping is complete."));
        break;
    case ZuTerminateReply::Cancel:
        // The duty goes on with recording stopped; the store says so too.
        store.setBool(false, "RecordSwitch");
        store.setBool(false, "ReserveSwitch");
        store.synchronize();
        break;
    }
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
