#include "recording/ZuSleepWatch.h"

#include "platform/ZuConsole.h"
#include "platform/ZuNotificationCenter.h"
#include "recording/ZuRecorder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int sleepPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop posts the notification.
void onSleepSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(sleepPipe[1], &byte, 1);
}

void postSleep(bool sleeping) {
    ZuNotificationCenter::defaultCenter().post(sleeping ? ZuRecorder::willSleepNotification
                                                        : ZuRecorder::didWakeNotification);
}
} // namespace

void ZuSleepWatch::start() {
    static ZuSleepWatch* watch = nullptr;
    if (watch || !QCoreApplication::instance())
        return;
    // Lives as long as the application.
    watch = new ZuSleepWatch();
    watch->setParent(QCoreApplication::instance());
}

ZuSleepWatch::ZuSleepWatch() {
    watchBus();
    watchSignals();
}

ZuSleepWatch::~ZuSleepWatch() = default;

void ZuSleepWatch::watchBus() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() ||
        !bus.connect(QStringLiteral("org.freedesktop.login1"),
                     QStringLiteral("/org/freedesktop/login1"),
                     QStringLiteral("org.freedesktop.login1.Manager"),
                     QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)))) {
        ZuConsole::line(QStringLiteral("ZuRecorder: no system bus, sleep and wake are not "
                                       "watched (SIGUSR1 and SIGUSR2 stand for them)."));
        return;
    }
    takeSleepDelay();
}

void ZuSleepWatch::takeSleepDelay() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Nightwarden")
         << QStringLiteral("Noting the moment of sleep for the recording")
         << QStringLiteral("delay");
    const QDBusReply<QDBusUnixFileDescriptor> reply = QDBusConnection::systemBus().call(call);
    if (reply.isValid())
        sleepDelay = reply.value();
    else
        ZuConsole::line(QStringLiteral("ZuRecorder: sleep is not delayed for the recording (%1).")
                            .arg(reply.error().message()));
}

void ZuSleepWatch::watchSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sleepPipe) != 0)
        return;
    signalNotifier = std::make_unique<QSocketNotifier>(sleepPipe[0], QSocketNotifier::Read);
    connect(signalNotifier.get(), &QSocketNotifier::activated, this, [] {
        char byte = 0;
        if (::read(sleepPipe[0], &byte, 1) == 1)
            postSleep(byte == SIGUSR1);
    });
    struct sigaction action = {};
    action.sa_handler = onSleepSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGUSR2, &action, nullptr);
}

void ZuSleepWatch::prepareForSleep(bool sleeping) {
    postSleep(sleeping);
    // The moment is noted: the system may go down now. Back up, the next
    // sleep is delayed again.
    if (sleeping)
        sleepDelay = QDBusUnixFileDescriptor();
    else
        takeSleepDelay();
}
