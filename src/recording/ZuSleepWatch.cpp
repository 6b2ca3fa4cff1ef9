#include "recording/ZuSleepWatch.h"

#include "platform/ZuConsole.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuSignalWatch.h"
#include "recording/ZuRecorder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <csignal>

namespace {
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
    signalWatch = std::make_unique<ZuSignalWatch>(std::initializer_list<int>{SIGUSR1, SIGUSR2},
                                                  [](int number) { postSleep(number == SIGUSR1); });
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
