// The program end to end, mostly headless: real desktop entries, real
// processes, the real log book and settings file, in a temporary XDG
// environment. Runs with windows use the offscreen platform.

#include "support/ZgTestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class HeadlessWatchTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (watchdog_.state() != QProcess::NotRunning) {
            watchdog_.kill();
            watchdog_.waitForFinished();
        }
    }

    int command(const QStringList& arguments, QString* output = nullptr) {
        QProcess process;
        process.start(ZG_PROGRAM, QStringList{"--settings", env.settingsFile()} + arguments);
        process.waitForFinished();
        if (output != nullptr)
            *output =
                QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitCode();
    }

    void launchWatchdog(const QStringList& arguments) {
        watchdog_.setProcessChannelMode(QProcess::MergedChannels);
        watchdog_.start(ZG_PROGRAM, QStringList{"--settings", env.settingsFile()} + arguments);
        ASSERT_TRUE(watchdog_.waitForStarted());
    }

    void startWatchdog(const QStringList& extra = {}, bool windows = false) {
        launchWatchdog(windows ? extra : QStringList{"--headless"} + extra);
        ASSERT_TRUE(waitUntil([&] { return logBook().contains("ZuGhoulizer is started."); }));
    }

    QString stopWatchdog() {
        watchdog_.terminate();
        watchdog_.waitForFinished();
        console_ += QString::fromUtf8(watchdog_.readAll());
        return console_;
    }

    QString console() {
        console_ += QString::fromUtf8(watchdog_.readAll());
        return console_;
    }

    QString logBook() const {
        return QString::fromUtf8(ZgTestEnvironment::readFile(env.logBookFile()));
    }

    // Titles and texts of the records, in order; the date line must match the layout.
    QStringList records() const {
        static const QRegularExpression record(
            "^\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2} --- (.*) ---\\n\\t(.*)\\n\\n",
            QRegularExpression::MultilineOption);
        QStringList found;
        QString rest = logBook();
        while (!rest.isEmpty()) {
            const QRegularExpressionMatch match =
                record.match(rest, 0, QRegularExpression::NormalMatch,
                             QRegularExpression::AnchorAtOffsetMatchOption);
            if (!match.hasMatch()) {
                found << "unreadable: " + rest;
                break;
            }
            found << match.captured(1) + " | " + match.captured(2);
            rest = rest.mid(match.capturedLength());
        }
        return found;
    }

    // Waits for a new PID in NAME's PID file and says how long it took.
    qint64 relaunchAfter(const QString& name, pid_t old, int signalNumber) {
        QElapsedTimer clock;
        clock.start();
        kill(old, signalNumber);
        if (!waitUntil([&] { return env.pidOf(name) != old && env.pidOf(name) != 0; }))
            return -1;
        return clock.elapsed();
    }

    ZgTestEnvironment env;
    QProcess watchdog_;
    QString console_;
};

TEST_F(HeadlessWatchTest, KilledOrQuittingApplicationComesBackAndUnwatchedOneDoesNot) {
    ASSERT_EQ(command({"--add", env.writeEntry("mail")}), 0);
    env.writeEntry("notes");
    const pid_t mail = env.startApplication("mail");
    const pid_t notes = env.startApplication("notes");
    // Deaths in quick succession here are the test's, not a crash loop: the brake is held open.
    startWatchdog({"--relaunch-delays", "1,1,1"});

    const qint64 afterKill = relaunchAfter("mail", mail, SIGKILL);
    ASSERT_GE(afterKill, 0) << "killed application was not relaunched";
    const qint64 afterQuit = relaunchAfter("mail", env.pidOf("mail"), SIGUSR1);
    ASSERT_GE(afterQuit, 0) << "quitting application was not relaunched";
    std::printf("relaunched %lld ms after a kill, %lld ms after a quit\n",
                static_cast<long long>(afterKill), static_cast<long long>(afterQuit));

    kill(notes, SIGKILL);
    // Another watched death after the unwatched one: once it is handled, the
    // unwatched one has been seen too.
    ASSERT_GE(relaunchAfter("mail", env.pidOf("mail"), SIGTERM), 0);
    EXPECT_EQ(env.pidOf("notes"), notes) << "an unwatched application is not relaunched";

    stopWatchdog();
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ",
                                      "Ghoulize is succeed. | mail(Generation 1) is ghoulized.",
                                      "Ghoulize is succeed. | mail(Generation 2) is ghoulized.",
                                      "Ghoulize is succeed. | mail(Generation 3) is ghoulized.",
                                      "ZuGhoulizer is stopped. | "}));
    EXPECT_TRUE(console_.contains("mail(Generation 3) is ghoulized."))
        << "records also reach the console";
}

TEST_F(HeadlessWatchTest, DeletedProgramGivesTheFailureRecord) {
    const QString program = env.root() + "/bin/gamma";
    QDir().mkpath(env.root() + "/bin");
    ASSERT_TRUE(QFile::copy(ZG_TESTAPP, program));
    ASSERT_EQ(command({"--add", env.writeEntry("gamma", program)}), 0);
    QProcess::startDetached(
        program, {"--pidfile", env.pidFile("gamma"), "--crash-if-exists", env.crashFile("gamma")});
    ASSERT_TRUE(waitUntil([&] { return env.pidOf("gamma") != 0; }));
    startWatchdog();

    QFile::remove(program);
    kill(env.pidOf("gamma"), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return logBook().contains("is dead."); }));
    stopWatchdog();
    EXPECT_EQ(records(),
              (QStringList{"ZuGhoulizer is started. | ", "Ghoulize is failed. | gamma is dead.",
                           "ZuGhoulizer is stopped. | "}));
    EXPECT_TRUE(console_.contains("Ghoulizing error."));
}

TEST_F(HeadlessWatchTest, CrashLoopIsSlowedDownAndTheBrakeReleasesAfterStableRunning) {
    ASSERT_EQ(command({"--add", env.writeEntry("mail")}), 0);
    const pid_t mail = env.startApplication("mail");
    startWatchdog({"--relaunch-delays", "100,400,1500"});

    env.writeFile("run/mail.crash", "");
    kill(mail, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return console().count("relaunching it in") >= 4; }));
    QFile::remove(env.crashFile("mail"));
    ASSERT_TRUE(waitUntil([&] { return console().contains("has run stably"); }));
    stopWatchdog();

    static const QRegularExpression delay("relaunching it in ([0-9.]+) s");
    QStringList delays;
    for (auto it = delay.globalMatch(console_); it.hasNext();)
        delays << it.next().captured(1);
    ASSERT_GE(delays.size(), 4);
    EXPECT_EQ(delays.mid(0, 4), (QStringList{"0.1", "0.2", "0.4", "0.4"}));
    EXPECT_TRUE(records().contains("Ghoulize is succeed. | mail(Generation 5) is ghoulized."));
    EXPECT_TRUE(env.pidOf("mail") != 0 && kill(env.pidOf("mail"), 0) == 0)
        << "runs again after the loop";
}

TEST_F(HeadlessWatchTest, CommandLineEditsTheListWithThePanelsRules) {
    QString output;
    EXPECT_EQ(command({"--list"}, &output), 0);
    EXPECT_EQ(output, "");
    EXPECT_EQ(command({"--add", env.writeEntry("mail")}, &output), 0);
    EXPECT_EQ(command({"--add", env.writeFile("elsewhere/mail.desktop",
                                              "[Desktop Entry]\nType=Application\nExec=true\n")},
                      &output),
              1);
    EXPECT_TRUE(output.contains("already watched"));
    EXPECT_EQ(
        command({"--add", env.writeFile("bad.desktop", "[Desktop Entry]\nType=Application\n")},
                &output),
        1);
    EXPECT_TRUE(output.contains("has no Exec command"));
    EXPECT_EQ(command({"--list"}, &output), 0);
    EXPECT_EQ(output, "mail\tNo Ghoul\t\t" + env.applicationsFolder() + "/mail.desktop\n");
    EXPECT_EQ(command({"--remove", "nobody"}, &output), 1);
    EXPECT_EQ(command({"--remove", "mail"}, &output), 0);
    EXPECT_EQ(command({"--list"}, &output), 0);
    EXPECT_EQ(output, "");

    EXPECT_EQ(command({"--headless", "--relaunch-delays", "1000,2147483648,60000"}, &output), 2);
    EXPECT_TRUE(output.contains("too long")) << output.toStdString();

    // Empty list: the caution goes to the console, and the watch starts anyway.
    startWatchdog();
    EXPECT_TRUE(waitUntil([&] { return console().contains("No application is watched yet."); }));
}

TEST_F(HeadlessWatchTest, CommandLineEditsGoThroughTheRunningWatchdog) {
    const QString mailEntry = env.writeEntry("mail");
    const QString notesEntry = env.writeEntry("notes");
    const pid_t mail = env.startApplication("mail");
    const pid_t notes = env.startApplication("notes");
    startWatchdog({"--relaunch-delays", "1,1,1"});

    QString output;
    ASSERT_EQ(command({"--add", mailEntry}, &output), 0);
    EXPECT_EQ(output, "Added mail.\n");
    ASSERT_GE(relaunchAfter("mail", mail, SIGKILL), 0) << "the running watchdog watches it";
    EXPECT_EQ(command({"--add", mailEntry}, &output), 1);
    EXPECT_EQ(output, "mail is already watched.\n");

    ASSERT_EQ(command({"--add", notesEntry, "--remove", "mail"}, &output), 0);
    EXPECT_EQ(output, "Added notes.\nRemoved mail.\n");
    const pid_t unwatched = env.pidOf("mail");
    kill(unwatched, SIGKILL);
    ASSERT_GE(relaunchAfter("notes", notes, SIGKILL), 0);
    EXPECT_EQ(env.pidOf("mail"), unwatched) << "removed through the running watchdog";

    stopWatchdog();
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ",
                                      "Ghoulize is succeed. | mail(Generation 1) is ghoulized.",
                                      "Ghoulize is succeed. | notes(Generation 1) is ghoulized.",
                                      "ZuGhoulizer is stopped. | "}));
    EXPECT_EQ(command({"--list"}, &output), 0);
    EXPECT_EQ(output, "notes\tNo Ghoul\t\t" + notesEntry + "\n");
}

TEST_F(HeadlessWatchTest, SecondWatchdogOnTheSameSettingsIsRefusedAndAnEndedOneIsReplaced) {
    startWatchdog();
    const QByteArray book = ZgTestEnvironment::readFile(env.logBookFile());
    QString output;
    EXPECT_EQ(command({"--headless"}, &output), 1);
    EXPECT_TRUE(output.contains("already runs")) << output.toStdString();
    EXPECT_EQ(command({}, &output), 1) << "a start with windows finds no panel to show";
    EXPECT_TRUE(output.contains("without windows")) << output.toStdString();
    EXPECT_EQ(ZgTestEnvironment::readFile(env.logBookFile()), book)
        << "the running watchdog's log book is left alone";
    EXPECT_EQ(watchdog_.state(), QProcess::Running);

    watchdog_.kill();
    watchdog_.waitForFinished();
    QFile::remove(env.logBookFile());
    startWatchdog();
    EXPECT_EQ(records(), QStringList{"ZuGhoulizer is started. | "})
        << "the lock of a watchdog that ended is taken over";
}

TEST_F(HeadlessWatchTest, SecondStartWithWindowsShowsTheRunningOne) {
    // A watched application, so that no caution alert waits for a click.
    ASSERT_EQ(command({"--add", env.writeEntry("mail")}), 0);
    startWatchdog({}, true);
    QString output;
    EXPECT_EQ(command({}, &output), 0) << output.toStdString();
    EXPECT_EQ(watchdog_.state(), QProcess::Running);
    stopWatchdog();
    EXPECT_EQ(watchdog_.exitCode(), 0);
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ", "ZuGhoulizer is stopped. | "}));
}

TEST_F(HeadlessWatchTest, SignalWhileTheFirstAlertIsOpenStopsTheWatchdog) {
    // With windows and an empty list, the caution alert waits for a click;
    // the log book is made just before it.
    launchWatchdog({});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(env.logBookFile()); }));
    stopWatchdog();
    EXPECT_EQ(watchdog_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watchdog_.exitCode(), 0);
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ", "ZuGhoulizer is stopped. | "}));
}

} // namespace
