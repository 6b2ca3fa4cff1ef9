#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <memory>

class ZuSignalWatch;

// Turns the system's sleep and wake into the workspace notifications the
// recorder observes: logind's PrepareForSleep on the system bus, and SIGUSR1
// (will sleep) and SIGUSR2 (did wake) for runs without a bus and for tests.
// A delay lock held between the events lets the recorder note the moment of
// sleep before the system goes down, rather than after it comes back.
// One per process, started by the first recorder that wakes.
class ZuSleepWatch : public QObject {
    Q_OBJECT
public:
    static void start();
    ~ZuSleepWatch() override;

private slots:
    void prepareForSleep(bool sleeping);

private:
    ZuSleepWatch();
    void watchBus();
    void watchSignals();
    void takeSleepDelay();

    std::unique_ptr<ZuSignalWatch> signalWatch;
    QDBusUnixFileDescriptor sleepDelay;
};
