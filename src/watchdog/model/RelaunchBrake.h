#pragma once

#include <QHash>
#include <QString>

struct RelaunchDelays {
    qint64 initialMs = 1000;
    qint64 maximumMs = 60000;
    qint64 stableMs = 60000;
};

// Slows down an application that keeps dying right after each relaunch: the
// first relaunch is immediate; a death within the stable time of the last
// relaunch waits initial, then twice as long each time, up to the maximum.
// Running for the stable time clears the count.
class RelaunchBrake {
public:
    using Delays = RelaunchDelays;

    explicit RelaunchBrake(Delays delays = Delays()) : delays_(delays) {}

    const Delays& delays() const { return delays_; }
    // An application terminated at nowMs: the wait before relaunching it.
    qint64 delayBeforeRelaunch(const QString& name, qint64 nowMs);
    void relaunched(const QString& name, qint64 nowMs);
    // The application ran for the stable time: true when a count was cleared.
    bool ranStably(const QString& name);
    void forget(const QString& name) { states_.remove(name); }
    int strikes(const QString& name) const { return states_.value(name).strikes; }

private:
    struct State {
        qint64 lastLaunchMs = -1;
        int strikes = 0;
    };

    Delays delays_;
    QHash<QString, State> states_;
};
