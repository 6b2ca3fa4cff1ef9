#include "workspace/Workspace.h"

#include "workspace/DesktopLauncher.h"
#include "workspace/PidWatch.h"
#include "workspace/ProcessTable.h"

#include <QDebug>
#include <algorithm>
#include <limits>

namespace {

// A process is part of a launch when it runs in the launch's session and
// started with it or later. The first process itself must be the one
// launched: once it and every other process of the session have ended, its
// PID may name another session.
bool inLaunch(const ProcessInfo& process, const SessionLaunch& launch) {
    if (process.session != launch.session)
        return false;
    return process.pid == launch.session ? process.startTime == launch.startTime
                                         : process.startTime >= launch.startTime;
}

} // namespace

Workspace::Workspace(QObject* parent) : QObject(parent) {
    discoveryTimer_.setInterval(defaultDiscoveryIntervalMs);
    connect(&discoveryTimer_, &QTimer::timeout, this, &Workspace::discover);
}

Workspace::~Workspace() = default;

void Workspace::setLaunchRecord(const QString& path) {
    record_ = std::make_unique<LaunchRecord>(path);
    unclaimed_ = record_->load();
}

void Workspace::watchApplication(const QString& identifier, const QString& path) {
    if (applications_.contains(identifier))
        return;
    auto application = std::make_shared<Application>();
    application->path = path;
    application->entry = DesktopEntry::fromFile(fileOf(identifier, *application));
    application->launches = unclaimed_.take(identifier);
    applications_.insert(identifier, application);
    discoverFor(identifier, *application, ProcessTable::ownProcesses());
    if (!discoveryTimer_.isActive())
        discoveryTimer_.start();
}

void Workspace::unwatchApplication(const QString& identifier) {
    if (std::shared_ptr<Application> application = applications_.take(identifier);
        application && !application->launches.isEmpty())
        unclaimed_.insert(identifier, application->launches);
    if (applications_.isEmpty())
        discoveryTimer_.stop();
    saveLaunches();
}

QStringList Workspace::watchedApplications() const {
    return applications_.keys();
}

QString Workspace::fileOf(const QString& identifier, const Application& application) const {
    const QString located = DesktopEntry::locate(identifier);
    return located.isEmpty() ? application.path : located;
}

bool Workspace::launchApplication(const QString& identifier) {
    std::shared_ptr<Application> application = applications_.value(identifier);
    const QString file =
        application ? fileOf(identifier, *application) : DesktopEntry::locate(identifier);
    if (file.isEmpty()) {
        qWarning().noquote() << "Workspace:" << identifier
                             << "cannot be launched: no such entry in the applications folders";
        return false;
    }
    const DesktopEntry entry = DesktopEntry::fromFile(file);
    if (!entry.isValid()) {
        qWarning().noquote() << "Workspace:" << identifier
                             << "cannot be launched:" << entry.error();
        return false;
    }
    const quint64 before = ProcessTable::bootTicksNow();
    const DesktopLauncher::Result result = launcher_(file, !PidWatch::pidfdAvailable());
    if (!result.launched) {
        qWarning().noquote() << "Workspace:" << identifier << "cannot be launched:" << result.error;
        return false;
    }
    if (!application) {
        // Nobody follows it, but a child must still be reaped.
        for (const pid_t pid : result.pids) {
            if (result.children)
                PidWatch::forChild(pid);
        }
        return true;
    }
    application->entry = entry;
    // A tick's rounding either side of the launch moment is allowed for.
    const quint64 earliest = before > 0 ? before - 1 : 0;
    bool anyGone = false;
    for (const pid_t pid : result.pids) {
        std::unique_ptr<PidWatch> watch =
            result.children
                ? PidWatch::forChild(pid)
                : std::make_unique<PidWatch>(pid, earliest, std::numeric_limits<quint64>::max());
        // Each launch runs in a session of its own, named by its first PID.
        // One that has ended already may have left a process it started.
        switch (watch->outcome()) {
        case PidWatch::Outcome::Watching:
            application->launches << SessionLaunch{pid, watch->startTime()};
            follow(identifier, std::move(watch));
            break;
        case PidWatch::Outcome::Gone:
            application->launches << SessionLaunch{pid, earliest};
            anyGone = true;
            break;
        case PidWatch::Outcome::Mismatch:
        case PidWatch::Outcome::Failed:
            anyGone = true;
            break;
        }
    }
    application->everRunning = true;
    saveLaunches();
    // Without a PID the process can only be found in /proc, and it may not be
    // there yet: the scans get a few rounds before the launch counts as ended.
    if (result.pids.isEmpty())
        application->launchGrace = launchGraceScans;
    // A program that has already exited (or hands over to another process)
    // is looked for once more, then reported from the event loop, never from
    // inside this call.
    if (anyGone || result.pids.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this, identifier] {
                std::shared_ptr<Application> current = applications_.value(identifier);
                if (!current)
                    return;
                discoverFor(identifier, *current, ProcessTable::ownProcesses());
                reportIfTerminated(identifier);
            },
            Qt::QueuedConnection);
    }
    return true;
}

bool Workspace::isRunning(const QString& identifier) const {
    std::shared_ptr<Application> application = applications_.value(identifier);
    return application && !application->processes.empty();
}

QList<pid_t> Workspace::processesOf(const QString& identifier) const {
    QList<pid_t> pids;
    if (std::shared_ptr<Application> application = applications_.value(identifier)) {
        for (const auto& [pid, watch] : application->processes)
            pids << pid;
    }
    return pids;
}

void Workspace::setDiscoveryInterval(int milliseconds) {
    discoveryTimer_.setInterval(milliseconds);
}

void Workspace::discover() {
    const QList<ProcessInfo> processes = ProcessTable::ownProcesses();
    // Recorded launches of entries not watched now stay while they run, to
    // be followed again if their entries come back; ended ones go.
    bool ended = false;
    for (auto it = unclaimed_.begin(); it != unclaimed_.end();) {
        const qsizetype before = it->size();
        it->removeIf([&](const SessionLaunch& launch) {
            return std::none_of(processes.cbegin(), processes.cend(),
                                [&](const ProcessInfo& p) { return inLaunch(p, launch); });
        });
        ended = ended || it->size() != before;
        it = it->isEmpty() ? unclaimed_.erase(it) : std::next(it);
    }
    if (ended)
        saveLaunches();
    const QStringList identifiers = applications_.keys();
    for (const QString& identifier : identifiers) {
        std::shared_ptr<Application> application = applications_.value(identifier);
        if (!application)
            continue;
        discoverFor(identifier, *application, processes);
        if (application->launchGrace > 0 && --application->launchGrace == 0)
            reportIfTerminated(identifier);
    }
}

void Workspace::follow(const QString& identifier, std::unique_ptr<PidWatch> watch) {
    std::shared_ptr<Application> application = applications_.value(identifier);
    if (!application)
        return;
    connect(watch.get(), &PidWatch::exited, this,
            [this, identifier](pid_t pid) { onExited(identifier, pid); });
    application->processes[watch->pid()] = std::move(watch);
    application->everRunning = true;
    application->launchGrace = 0;
}

void Workspace::discoverFor(const QString& identifier, Application& application,
                            const QList<ProcessInfo>& processes) {
    if (!application.entry.isValid())
        application.entry = DesktopEntry::fromFile(fileOf(identifier, application));
    QList<SessionLaunch> running;
    for (const ProcessInfo& process : processes) {
        const auto launch =
            std::find_if(application.launches.cbegin(), application.launches.cend(),
                         [&](const SessionLaunch& l) { return inLaunch(process, l); });
        if (launch != application.launches.cend() && !running.contains(*launch))
            running << *launch;
        const auto known = application.processes.find(process.pid);
        if (known != application.processes.end() && known->second->startTime() == process.startTime)
            continue;
        if (launch == application.launches.cend() &&
            !ProcessTable::belongsTo(process, application.entry))
            continue;
        auto watch = std::make_unique<PidWatch>(process.pid, process.startTime, process.startTime);
        if (watch->outcome() == PidWatch::Outcome::Watching)
            follow(identifier, std::move(watch));
    }
    // A session without a process is over; its ID may come back as another's.
    if (running.size() != application.launches.size()) {
        application.launches = running;
        saveLaunches();
    }
}

void Workspace::onExited(const QString& identifier, pid_t pid) {
    std::shared_ptr<Application> application = applications_.value(identifier);
    if (!application)
        return;
    const auto found = application->processes.find(pid);
    if (found == application->processes.end())
        return;
    // The watch is the sender of this call: it is released from the event loop.
    found->second.release()->deleteLater();
    application->processes.erase(found);
    // A process that ends may have handed over to one it started: that one is
    // in the same session, and already in /proc.
    discoverFor(identifier, *application, ProcessTable::ownProcesses());
    reportIfTerminated(identifier);
}

void Workspace::saveLaunches() {
    if (!record_)
        return;
    LaunchRecord::Launches launches = unclaimed_;
    for (auto it = applications_.cbegin(); it != applications_.cend(); ++it) {
        if (!it.value()->launches.isEmpty())
            launches.insert(it.key(), it.value()->launches);
    }
    record_->save(launches);
}

void Workspace::reportIfTerminated(const QString& identifier) {
    std::shared_ptr<Application> application = applications_.value(identifier);
    if (!application || !application->processes.empty() || !application->everRunning ||
        application->launchGrace > 0)
        return;
    application->everRunning = false;
    emit applicationDidTerminate(QVariantMap{
        {QStringLiteral("NSApplicationName"), DesktopEntry::nameForIdentifier(identifier)},
        {QStringLiteral("NSApplicationBundleIdentifier"), identifier},
    });
}
