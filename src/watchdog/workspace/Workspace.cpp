#include "workspace/Workspace.h"

#include "workspace/DesktopLauncher.h"
#include "workspace/PidWatch.h"
#include "workspace/ProcessTable.h"

#include <QDebug>
#include <limits>

Workspace::Workspace(QObject* parent) : QObject(parent) {
    discoveryTimer_.setInterval(defaultDiscoveryIntervalMs);
    connect(&discoveryTimer_, &QTimer::timeout, this, &Workspace::discover);
}

Workspace::~Workspace() = default;

void Workspace::watchApplication(const QString& identifier, const QString& path) {
    if (applications_.contains(identifier))
        return;
    auto application = std::make_shared<Application>();
    application->path = path;
    application->entry = DesktopEntry::fromFile(fileOf(identifier, *application));
    applications_.insert(identifier, application);
    discoverFor(identifier, *application, ProcessTable::ownProcesses());
    if (!discoveryTimer_.isActive())
        discoveryTimer_.start();
}

void Workspace::unwatchApplication(const QString& identifier) {
    applications_.remove(identifier);
    if (applications_.isEmpty())
        discoveryTimer_.stop();
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
    const DesktopLauncher::Result result = launcher_(file);
    if (!result.launched) {
        qWarning().noquote() << "Workspace:" << identifier << "cannot be launched:" << result.error;
        return false;
    }
    if (!application)
        return true;
    application->entry = entry;
    // A tick's rounding either side of the launch moment is allowed for.
    const quint64 earliest = before > 0 ? before - 1 : 0;
    bool anyGone = false;
    for (const pid_t pid : result.pids) {
        auto watch = std::make_unique<PidWatch>(pid, earliest, std::numeric_limits<quint64>::max());
        if (watch->outcome() == PidWatch::Outcome::Watching)
            follow(identifier, std::move(watch));
        else
            anyGone = true;
    }
    application->everRunning = true;
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
    for (const ProcessInfo& process : processes) {
        const auto known = application.processes.find(process.pid);
        if (known != application.processes.end() && known->second->startTime() == process.startTime)
            continue;
        if (!ProcessTable::belongsTo(process, application.entry))
            continue;
        auto watch = std::make_unique<PidWatch>(process.pid, process.startTime, process.startTime);
        if (watch->outcome() == PidWatch::Outcome::Watching)
            follow(identifier, std::move(watch));
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
    if (application->processes.empty())
        discoverFor(identifier, *application, ProcessTable::ownProcesses());
    reportIfTerminated(identifier);
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
