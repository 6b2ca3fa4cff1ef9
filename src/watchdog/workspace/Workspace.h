#pragma once

#include "workspace/DesktopEntry.h"
#include "workspace/DesktopLauncher.h"
#include "workspace/LaunchRecord.h"
#include "workspace/ProcessTable.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <map>
#include <memory>
#include <sys/types.h>

class PidWatch;

// The desktop as the watchdog needs it: applications are desktop entries, an
// application "terminates" when the last process belonging to its entry has
// exited, and an application is launched by its desktop-file ID.
//
// Only the applications named with watchApplication() are followed. Their
// processes are held by pidfds, so exits arrive through the event loop; a
// slow scan of /proc picks up instances started by other means. What the
// watchdog launches itself runs in a session of its own, and every process of
// that session counts as the application, whatever it runs: a launcher that
// hands over to its real program is followed into it.
class Workspace : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultDiscoveryIntervalMs = 2000;
    // A launch that names no process (an entry started over D-Bus gives no
    // PID) is not taken for a termination before this many scans of /proc
    // have not found the application.
    static constexpr int launchGraceScans = 5;
    // Starts an entry's file, its processes as children of this one when
    // asked (to wait for them where pidfds are missing); DesktopLauncher::launch
    // by default.
    using Launcher =
        std::function<DesktopLauncher::Result(const QString& desktopFile, bool asChildren)>;

    explicit Workspace(QObject* parent = nullptr);
    ~Workspace() override;

    // Keeps the running launches in the file at path, and goes on following
    // those an earlier run recorded there once their entries are watched.
    void setLaunchRecord(const QString& path);

    // path: the entry's file, used when the ID is not found in the
    // applications folders (an entry added from elsewhere).
    void watchApplication(const QString& identifier, const QString& path);
    void unwatchApplication(const QString& identifier);
    QStringList watchedApplications() const;

    // Launches the entry and follows the processes it starts. False when the
    // entry is gone, invalid, or its program could not be started.
    bool launchApplication(const QString& identifier);
    bool isRunning(const QString& identifier) const;
    QList<pid_t> processesOf(const QString& identifier) const;

    void setLauncher(Launcher launcher) { launcher_ = std::move(launcher); }
    void setDiscoveryInterval(int milliseconds);
    // Looks for processes of the watched entries not yet followed.
    void discover();

signals:
    // userInfo: "NSApplicationName" (the ID without ".desktop") and
    // "NSApplicationBundleIdentifier" (the ID).
    void applicationDidTerminate(const QVariantMap& userInfo);

private:
    struct Application {
        QString path;
        DesktopEntry entry;
        std::map<pid_t, std::unique_ptr<PidWatch>> processes;
        // The sessions of its launches that still have a process.
        QList<SessionLaunch> launches;
        bool everRunning = false;
        // Scans left before a launch that named no process counts as ended.
        int launchGrace = 0;
    };

    QString fileOf(const QString& identifier, const Application& application) const;
    void follow(const QString& identifier, std::unique_ptr<PidWatch> watch);
    void discoverFor(const QString& identifier, Application& application,
                     const QList<ProcessInfo>& processes);
    void saveLaunches();
    void onExited(const QString& identifier, pid_t pid);
    void reportIfTerminated(const QString& identifier);

    QHash<QString, std::shared_ptr<Application>> applications_;
    std::unique_ptr<LaunchRecord> record_;
    // Launches of entries not watched (yet, or any more).
    LaunchRecord::Launches unclaimed_;
    QTimer discoveryTimer_;
    Launcher launcher_ = &DesktopLauncher::launch;
};
