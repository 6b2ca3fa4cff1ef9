#include "model/Watchman.h"

#include "model/Logger.h"
#include "model/Secretary.h"
#include "workspace/DesktopEntry.h"
#include "workspace/Workspace.h"

#include <QDebug>
#include <QSet>
#include <QTimer>

namespace {

// The workspace names an application by its ID without ".desktop" already;
// taking an extension off again would make "x.desktop.desktop" into "x".
QString nameOf(const QVariantMap& info) {
    return info.value(QStringLiteral("NSApplicationName")).toString();
}

QString seconds(qint64 milliseconds) {
    return QString::number(static_cast<double>(milliseconds) / 1000.0, 'g', 4);
}

} // namespace

Watchman::Watchman(Secretary& secretary, Logger& logger, Workspace& workspace,
                   RelaunchBrake::Delays delays, QObject* parent)
    : QObject(parent), secretary(secretary), logger(logger), workspace_(workspace), brake_(delays) {
    clock_.start();
}

Watchman::~Watchman() = default;

void Watchman::startWatching() {
    connect(&workspace_, &Workspace::applicationDidTerminate, this,
            &Watchman::terminateApplicationHandle, Qt::UniqueConnection);
    syncWatchedApplications();
    logger.writeLog(QDateTime::currentDateTime(), QStringLiteral("ZuGhoulizer is started."),
                    QString());
}

void Watchman::stopWatching() {
    logger.writeLog(QDateTime::currentDateTime(), QStringLiteral("ZuGhoulizer is stopped."),
                    QString());
}

void Watchman::syncWatchedApplications() {
    QSet<QString> wanted;
    for (const GhoulEntry& entry : secretary.ghoulList()) {
        const QString identifier = entry.name + QLatin1String(".desktop");
        wanted.insert(identifier);
        workspace_.watchApplication(identifier, entry.fullPath);
    }
    for (const QString& identifier : workspace_.watchedApplications()) {
        if (wanted.contains(identifier))
            continue;
        workspace_.unwatchApplication(identifier);
        const QString name = DesktopEntry::nameForIdentifier(identifier);
        brake_.forget(name);
        dropTimer(pendingRelaunches_, name);
        dropTimer(stableTimers_, name);
    }
}

void Watchman::terminateApplicationHandle(const QVariantMap& info) {
    const QString name = nameOf(info);
    if (!secretary.isGhoulizeApplication(name))
        return;
    dropTimer(stableTimers_, name);
    const qint64 now = clock_.elapsed();
    const qint64 delay = brake_.delayBeforeRelaunch(name, now);
    if (delay == 0) {
        relaunch(info, false);
        return;
    }
    qInfo().noquote() << QStringLiteral("Watchman: %1 died again within %2 s of its relaunch; "
                                        "relaunching it in %3 s.")
                             .arg(name, seconds(brake_.delays().stableMs), seconds(delay));
    QTimer* timer = armTimer(pendingRelaunches_, name, delay);
    connect(timer, &QTimer::timeout, this, [this, info, name] {
        dropTimer(pendingRelaunches_, name);
        relaunch(info, true);
    });
}

QTimer* Watchman::armTimer(QHash<QString, QTimer*>& timers, const QString& name, qint64 delay) {
    dropTimer(timers, name);
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->start(static_cast<int>(delay));
    timers.insert(name, timer);
    return timer;
}

void Watchman::dropTimer(QHash<QString, QTimer*>& timers, const QString& name) {
    if (QTimer* timer = timers.take(name)) {
        timer->stop();
        // May be the timer whose timeout is being handled.
        timer->deleteLater();
    }
}

void Watchman::relaunch(const QVariantMap& info, bool delayed) {
    const QString name = nameOf(info);
    const QString identifier =
        info.value(QStringLiteral("NSApplicationBundleIdentifier")).toString();
    if (!secretary.isGhoulizeApplication(name))
        return;
    if (delayed && workspace_.isRunning(identifier)) {
        qInfo().noquote()
            << QStringLiteral("Watchman: %1 was started meanwhile; not relaunched.").arg(name);
        return;
    }
    if (workspace_.launchApplication(identifier)) {
        brake_.relaunched(name, clock_.elapsed());
        secretary.addGhoul(info);
        const int generation = secretary.generationOfGhoul(name);
        logger.writeLog(QDateTime::currentDateTime(), QStringLiteral("Ghoulize is succeed."),
                        QStringLiteral("%1(Generation %2) is ghoulized.")
                            .arg(name, QString::number(generation)));
        logger.reloadLog();
        if (brake_.strikes(name) > 0)
            armStableTimer(name);
    } else {
        qWarning() << "Ghoulizing error.";
        secretary.deadGhoul(info);
        logger.writeLog(QDateTime::currentDateTime(), QStringLiteral("Ghoulize is failed."),
                        QStringLiteral("%1 is dead.").arg(name));
    }
    secretary.renewalGhoulView();
}

void Watchman::armStableTimer(const QString& name) {
    QTimer* timer = armTimer(stableTimers_, name, brake_.delays().stableMs);
    connect(timer, &QTimer::timeout, this,
            [this, name] {
                dropTimer(stableTimers_, name);
                if (brake_.ranStably(name))
                    qInfo().noquote()
                        << QStringLiteral(
                               "Watchman: %1 has run stably for %2 s; the relaunch delay is reset.")
                               .arg(name, seconds(brake_.delays().stableMs));
            });
}
