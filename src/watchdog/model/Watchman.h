#pragma once

#include "model/RelaunchBrake.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QVariantMap>

class Logger;
class QTimer;
class Secretary;
class Workspace;

// Relaunches a watched application whenever it terminates, counts the
// generations and writes each outcome into the log book.
class Watchman : public QObject {
    Q_OBJECT
public:
    Watchman(Secretary& secretary, Logger& logger, Workspace& workspace,
             RelaunchBrake::Delays delays = RelaunchBrake::Delays(), QObject* parent = nullptr);
    ~Watchman() override;

    void startWatching();
    void stopWatching();
    void terminateApplicationHandle(const QVariantMap& info);
    // Follows exactly the applications on the watched list.
    void syncWatchedApplications();

private:
    void relaunch(const QVariantMap& info, bool delayed);
    void armStableTimer(const QString& name);
    QTimer* armTimer(QHash<QString, QTimer*>& timers, const QString& name, qint64 delay);
    static void dropTimer(QHash<QString, QTimer*>& timers, const QString& name);

    Secretary& secretary;
    Logger& logger;
    Workspace& workspace_;
    RelaunchBrake brake_;
    QElapsedTimer clock_;
    QHash<QString, QTimer*> pendingRelaunches_;
    QHash<QString, QTimer*> stableTimers_;
};
