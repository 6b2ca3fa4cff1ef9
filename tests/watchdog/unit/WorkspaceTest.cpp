#include "workspace/Workspace.h"
#include "model/GhoulSettings.h"
#include "model/Secretary.h"
#include "support/ZgTestEnvironment.h"
#include "workspace/DesktopEntry.h"
#include "workspace/LaunchRecord.h"
#include "workspace/PidWatch.h"
#include "workspace/ProcessTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
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

TEST(ProcessTable, EnvPrefixesAndInterpreterOptionsAreSeenThrough) {
    ZgTestEnvironment env;
    const DesktopEntry withEnv = DesktopEntry::fromFile(
        env.writeEntryWithExec("tagged", "env -u LANG ZG_TAG=1 ZG_MORE=2 " ZG_TESTAPP " " +
                                             env.testAppArguments("tagged")));
    ASSERT_TRUE(withEnv.isValid()) << withEnv.error().toStdString();
    EXPECT_EQ(withEnv.program(), ZG_TESTAPP) << "env runs the program in its own place";
    QProcess tagged;
    tagged.setProgram("env");
    tagged.setArguments(QStringList{"ZG_TAG=1", ZG_TESTAPP} +
                        env.testAppArguments("tagged").split(' '));
    ASSERT_TRUE(tagged.startDetached());
    ASSERT_TRUE(waitUntil([&] { return env.pidOf("tagged") != 0; }));
    const std::optional<ProcessInfo> running = ProcessTable::read(env.pidOf("tagged"));
    ASSERT_TRUE(running);
    EXPECT_TRUE(ProcessTable::belongsTo(*running, withEnv));

    // A script whose "#!" line gives the interpreter an option runs as
    // "/bin/sh -e SCRIPT".
    const QString script = env.writeScript("viewer", "exec sleep 1000\n", "/bin/sh -e");
    const DesktopEntry viewer = DesktopEntry::fromFile(env.writeEntryWithExec("viewer", script));
    ProcessInfo interpreted;
    interpreted.executable = "/bin/dash";
    interpreted.commandLine = {"/bin/sh", "-e", script};
    EXPECT_TRUE(ProcessTable::belongsTo(interpreted, viewer));
    interpreted.commandLine = {"/bin/sh", "-e", "other", script};
    EXPECT_FALSE(ProcessTable::belongsTo(interpreted, viewer)) << "the script, not an argument";
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

TEST(DesktopLauncher, LaunchRunsInAScopeOfItsOwnWhereAUserManagerAnswers) {
    const QString runtime = QStringLiteral("/run/user/%1").arg(getuid());
    if (!QFileInfo::exists(runtime + "/bus"))
        GTEST_SKIP() << "no user bus in " << runtime.toStdString();
    QProcess probe;
    QProcessEnvironment probeEnvironment = QProcessEnvironment::systemEnvironment();
    probeEnvironment.insert("XDG_RUNTIME_DIR", runtime);
    probe.setProcessEnvironment(probeEnvironment);
    probe.start("systemctl", {"--user", "show-environment"});
    if (!probe.waitForFinished() || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        GTEST_SKIP() << "no systemd user manager answers";

    ZgTestEnvironment env;
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(runtime) + "/bus");
    const DesktopLauncher::Result result = DesktopLauncher::launch(env.writeEntryWithExec(
        "scoped", ZG_TESTAPP " " + env.testAppArguments("scoped") + " --by scope"));
    if (address.isNull())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    ASSERT_TRUE(result.launched) << result.error.toStdString();
    ASSERT_EQ(result.scopes.size(), 1);
    EXPECT_TRUE(result.scopes[0].startsWith("app-zughoulizer-scoped-"));
    ASSERT_TRUE(waitUntil([&] { return env.pidOf("scoped") != 0; }));
    const std::optional<ProcessInfo> running = ProcessTable::read(env.pidOf("scoped"));
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->cgroup.contains(result.scopes[0])) << running->cgroup.toStdString();
    // Another Exec line for the same entry: only the scope ties the process to it.
    const DesktopEntry changed = DesktopEntry::fromFile(env.writeEntry("scoped"));
    EXPECT_TRUE(ProcessTable::belongsTo(*running, changed));
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
DesktopLauncher::Result launchedWithoutPid(const QString&, bool) {
    return DesktopLauncher::Result{true, {}, {}, false, {}};
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

TEST_F(WorkspaceTest, LauncherThatHandsOverToItsProgramIsFollowedIntoIt) {
    // A start script that starts the real program, under other arguments, and
    // ends at once: only the launch's own session tells what belongs to it.
    const QString script = env.writeScript(
        "forker", ZG_TESTAPP " " + env.testAppArguments("mail").toUtf8() + " --by forker &\n");
    workspace.setDiscoveryInterval(3600 * 1000);
    workspace.watchApplication("mail.desktop", env.writeEntryWithExec("mail", script));
    ASSERT_TRUE(workspace.launchApplication("mail.desktop"));
    ASSERT_TRUE(waitUntil([&] { return env.instancesOf("mail").size() == 1; }));
    const pid_t program = env.instancesOf("mail").first();
    ASSERT_TRUE(waitUntil([&] { return workspace.processesOf("mail.desktop") == QList{program}; }));
    // Long enough for a mistaken "ended" to have come out of the event loop.
    for (int round = 0; round < 3; ++round)
        workspace.discover();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(terminated.isEmpty()) << "the launcher's end is not the application's";

    kill(program, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !terminated.isEmpty(); }));
    EXPECT_EQ(terminated.size(), 1);
}

TEST_F(WorkspaceTest, LaterWorkspaceFollowsWhatAnEarlierOneLaunched) {
    // A start script that becomes the real program under other arguments:
    // nothing in /proc ties that program to its entry.
    const QString script =
        env.writeScript("wrapper", "exec " ZG_TESTAPP " " + env.testAppArguments("mail").toUtf8() +
                                       " --by wrapper\n");
    const QString entry = env.writeEntryWithExec("mail", script);
    const QString record = env.root() + "/config/ZuGhoulizer/ZuGhoulizer.conf.launched";
    pid_t program = 0;
    {
        Workspace earlier;
        earlier.setLaunchRecord(record);
        earlier.watchApplication("mail.desktop", entry);
        ASSERT_TRUE(earlier.launchApplication("mail.desktop"));
        ASSERT_TRUE(waitUntil([&] { return env.pidOf("mail") != 0; }));
        program = env.pidOf("mail");
    }
    Workspace unrecorded;
    unrecorded.watchApplication("mail.desktop", entry);
    EXPECT_TRUE(unrecorded.processesOf("mail.desktop").isEmpty());

    workspace.setLaunchRecord(record);
    workspace.watchApplication("mail.desktop", entry);
    EXPECT_EQ(workspace.processesOf("mail.desktop"), QList<pid_t>{program});
    kill(program, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !terminated.isEmpty(); }));
    EXPECT_EQ(terminated.size(), 1);

    EXPECT_TRUE(LaunchRecord(record).load().value("mail.desktop").isEmpty())
        << "an ended launch leaves the record: its session ID may come back";
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
