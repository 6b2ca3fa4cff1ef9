#include "workspace/Workspace.h"
#include "model/GhoulSettings.h"
#include "model/Secretary.h"
#include "support/ZgTestEnvironment.h"
#include "workspace/DesktopEntry.h"
#include "workspace/PidWatch.h"
#include "workspace/ProcessTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(DesktopEntry, IdentifiersNamesAndCommandLine) {
    ZgTestEnvironment env;
    const QString path = env.writeFile("data/applications/tools/org.example.Mail.desktop",
                                       "[Desktop Entry]\nType=Application\nName=Mail\nIcon=mail\n"
                                       "Exec=sh -c 'echo 100%%' %U --name %c\n");
    const DesktopEntry entry = DesktopEntry::fromFile(path);
    ASSERT_TRUE(entry.isValid()) << entry.error().toStdString();
    EXPECT_EQ(entry.identifier(), "tools-org.example.Mail.desktop");
    EXPECT_EQ(entry.name(), "tools-org.example.Mail") << "dots inside an ID stay";
    EXPECT_EQ(entry.arguments(), (QStringList{"sh", "-c", "echo 100%", "--name"}));
    EXPECT_EQ(entry.program(), QStandardPaths::findExecutable("sh"));
    EXPECT_EQ(entry.icon(), "mail");
    EXPECT_EQ(DesktopEntry::locate("tools-org.example.Mail.desktop"), path);
    EXPECT_EQ(DesktopEntry::locate("missing.desktop"), "");

    const QString outside =
        env.writeFile("Downloads/Notes.desktop", ZgTestEnvironment::readFile(path));
    EXPECT_EQ(DesktopEntry::identifierForPath(outside), "Notes.desktop");
}

TEST(ProcessTable, AppScopesAndCommandLinesDecideMembership) {
    ZgTestEnvironment env;
    const DesktopEntry mail = DesktopEntry::fromFile(env.writeEntry("my-mail"));
    const DesktopEntry notes = DesktopEntry::fromFile(env.writeEntry("notes"));

    ProcessInfo scoped;
    scoped.commandLine = {"/usr/bin/other"};
    scoped.cgroup = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                    "app-gnome-my\\x2dmail-4242.scope\n";
    EXPECT_TRUE(ProcessTable::belongsTo(scoped, mail));
    EXPECT_FALSE(ProcessTable::belongsTo(scoped, notes));
    scoped.cgroup = "0::/user.slice/app.slice/app-my\\x2dmail@a1b2.service\n";
    EXPECT_TRUE(ProcessTable::belongsTo(scoped, mail));
    scoped.cgroup = "0::/user.slice/app.slice/app-gnome-my\\x2dmail\\x2dold-1.scope\n";
    EXPECT_FALSE(ProcessTable::belongsTo(scoped, mail)) << "a longer ID is another application";

    const pid_t pid = env.startApplication("notes");
    ASSERT_GT(pid, 0);
    const std::optional<ProcessInfo> running = ProcessTable::read(pid);
    ASSERT_TRUE(running);
    EXPECT_TRUE(ProcessTable::belongsTo(*running, notes));
    EXPECT_FALSE(ProcessTable::belongsTo(*running, mail)) << "same program, other arguments";
}

TEST(PidWatch, ExitArrivesThroughTheEventLoopAndReusedPidsAreRefused) {
    ZgTestEnvironment env;
    const pid_t pid = env.startApplication("notes");
    const quint64 start = *ProcessTable::startTimeOf(pid);

    PidWatch other(pid, start + 1, start + 1);
    EXPECT_EQ(other.outcome(), PidWatch::Outcome::Mismatch);

    PidWatch watch(pid, start, start);
    ASSERT_EQ(watch.outcome(), PidWatch::Outcome::Watching);
    bool exited = false;
    QObject::connect(&watch, &PidWatch::exited, [&](pid_t which) { exited = which == pid; });
    kill(pid, SIGTERM);
    EXPECT_TRUE(waitUntil([&] { return exited; }));

    EXPECT_TRUE(waitUntil([&] {
        return !ProcessTable::read(pid) || ProcessTable::read(pid)->commandLine.isEmpty();
    }));
}

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&workspace, &Workspace::applicationDidTerminate,
                         [this](const QVariantMap& info) { terminated << info; });
    }

    ZgTestEnvironment env;
    Workspace workspace;
    QList<QVariantMap> terminated;
};

TEST_F(WorkspaceTest, LaunchedApplicationTerminatesWithItsLastProcess) {
    workspace.watchApplication("mail.desktop", env.writeEntry("mail"));
    EXPECT_FALSE(workspace.isRunning("mail.desktop"));
    ASSERT_TRUE(workspace.launchApplication("mail.desktop"));
    ASSERT_TRUE(waitUntil([&] { return env.pidOf("mail") != 0; }));
    const pid_t first = env.pidOf("mail");
    EXPECT_EQ(workspace.processesOf("mail.desktop"), QList<pid_t>{first});
    EXPECT_NE(getpgid(first), getpgid(0)) << "launched in a session of its own";

    // A second instance started by other means counts too.
    QFile::remove(env.pidFile("mail"));
    const pid_t second = env.startApplication("mail");
    workspace.discover();
    EXPECT_EQ(workspace.processesOf("mail.desktop").size(), 2);

    kill(first, SIGKILL);
    ASSERT_TRUE(
        waitUntil([&] { return workspace.processesOf("mail.desktop") == QList<pid_t>{second}; }));
    EXPECT_TRUE(terminated.isEmpty()) << "one instance still runs";

    kill(second, SIGUSR1);
    ASSERT_TRUE(waitUntil([&] { return !terminated.isEmpty(); }));
    ASSERT_EQ(terminated.size(), 1);
    EXPECT_EQ(terminated[0].value("NSApplicationName").toString(), "mail");
    EXPECT_EQ(terminated[0].value("NSApplicationBundleIdentifier").toString(), "mail.desktop");
}

TEST_F(WorkspaceTest, RunningInstancesAreFoundAndUnwatchedOnesIgnored) {
    const pid_t mail = env.startApplication("mail");
    const pid_t notes = env.startApplication("notes");
    env.writeEntry("notes");
    workspace.watchApplication("mail.desktop", env.writeEntry("mail"));
    EXPECT_EQ(workspace.processesOf("mail.desktop"), QList<pid_t>{mail});

    kill(notes, SIGKILL);
    kill(mail, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !terminated.isEmpty(); }));
    EXPECT_EQ(terminated.size(), 1);
    EXPECT_EQ(terminated[0].value("NSApplicationName").toString(), "mail");
}

TEST_F(WorkspaceTest, ProgramThatEndsAtOnceIsReportedAfterTheLaunch) {
    workspace.watchApplication("mail.desktop", env.writeEntry("mail"));
    env.writeFile("run/mail.crash", "");
    ASSERT_TRUE(workspace.launchApplication("mail.desktop"));
    EXPECT_TRUE(terminated.isEmpty()) << "never reported from inside the launch";
    EXPECT_TRUE(waitUntil([&] { return terminated.size() == 1; }));
}

// As a launch over D-Bus: the entry is started, but no PID comes back.
DesktopLauncher::Result launchedWithoutPid(const QString&) {
    return DesktopLauncher::Result{true, {}, {}};
}

TEST_F(WorkspaceTest, LaunchWithoutPidIsFollowedOnceTheScansFindIt) {
    // The test runs the scans itself.
    workspace.setDiscoveryInterval(3600 * 1000);
    workspace.watchApplication("mail.desktop", env.writeEntry("mail"));
    workspace.setLauncher(launchedWithoutPid);
    ASSERT_TRUE(workspace.launchApplication("mail.desktop"));
    QCoreApplication::sendPostedEvents();
    for (int scan = 1; scan < Workspace::launchGraceScans; ++scan)
        workspace.discover();
    EXPECT_TRUE(terminated.isEmpty()) << "a process slow to appear is no termination";

    const pid_t mail = env.startApplication("mail");
    workspace.discover();
    EXPECT_EQ(workspace.processesOf("mail.desktop"), QList<pid_t>{mail});
    kill(mail, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return workspace.processesOf("mail.desktop").isEmpty(); }));
    for (int scan = 0; scan < Workspace::launchGraceScans; ++scan)
        workspace.discover();
    EXPECT_EQ(terminated.size(), 1) << "one termination, one report";
}

TEST_F(WorkspaceTest, LaunchWithoutPidThatNeverShowsIsReportedAfterTheGrace) {
    workspace.setDiscoveryInterval(3600 * 1000);
    workspace.watchApplication("mail.desktop", env.writeEntry("mail"));
    workspace.setLauncher(launchedWithoutPid);
    ASSERT_TRUE(workspace.launchApplication("mail.desktop"));
    QCoreApplication::sendPostedEvents();
    for (int scan = 1; scan < Workspace::launchGraceScans; ++scan)
        workspace.discover();
    EXPECT_TRUE(terminated.isEmpty());
    workspace.discover();
    EXPECT_EQ(terminated.size(), 1);
}

TEST_F(WorkspaceTest, ShippedRecorderEntryIsAddedAndLaunchedWithItsProcess) {
    // The recorder's program on PATH is the test application under its name.
    const QString bin = env.root() + "/bin";
    QDir().mkpath(bin);
    ASSERT_TRUE(QFile::copy(ZG_TESTAPP, bin + "/nightwarden"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ':' + path);
    struct Restore {
        Workspace& workspace;
        QByteArray path;
        ~Restore() {
            for (const pid_t pid : workspace.processesOf("nightwarden.desktop"))
                kill(pid, SIGKILL);
            qputenv("PATH", path);
        }
    } restore{workspace, path};
    const QString entry = env.writeFile("data/applications/nightwarden.desktop",
                                        ZgTestEnvironment::readFile(ZG_RECORDER_ENTRY));

    GhoulSettings settings(env.settingsFile());
    Secretary secretary(settings);
    QString message;
    ASSERT_EQ(secretary.addApplicationFile(entry, &message), Secretary::AddOutcome::Added)
        << message.toStdString();
    EXPECT_EQ(secretary.ghoulList()[0].name, "nightwarden");

    workspace.watchApplication("nightwarden.desktop", entry);
    ASSERT_TRUE(workspace.launchApplication("nightwarden.desktop"));
    const QList<pid_t> pids = workspace.processesOf("nightwarden.desktop");
    ASSERT_EQ(pids.size(), 1) << "started with its PID, not over D-Bus";
    kill(pids[0], SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return terminated.size() == 1; }));
}

TEST_F(WorkspaceTest, LaunchFailsForMissingEntriesAndPrograms) {
    EXPECT_FALSE(workspace.launchApplication("nothing.desktop"));
    const QString program = env.root() + "/bin/vanishing";
    QDir().mkpath(env.root() + "/bin");
    ASSERT_TRUE(QFile::copy(ZG_TESTAPP, program));
    workspace.watchApplication("vanishing.desktop", env.writeEntry("vanishing", program));
    QFile::remove(program);
    EXPECT_FALSE(workspace.launchApplication("vanishing.desktop"));
}

} // namespace
