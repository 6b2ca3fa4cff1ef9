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

    // wrapper: a program that runs the watchdog, given as its first argument.
    void launchWatchdog(const QStringList& arguments, const QString& wrapper = QString()) {
        watchdog_.setProcessChannelMode(QProcess::MergedChannels);
        const QStringList all = QStringList{"--settings", env.settingsFile()} + arguments;
        if (wrapper.isEmpty())
            watchdog_.start(ZG_PROGRAM, all);
        else
            watchdog_.start(wrapper, QStringList{ZG_PROGRAM} + all);
        ASSERT_TRUE(watchdog_.waitForStarted());
    }

    void startWatchdog(const QStringList& extra = {}, bool windows = false,
                       const QString& wrapper = QString()) {
        launchWatchdog(windows ? extra : QStringList{"--headless"} + extra, wrapper);
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

    QString logBook(const QString& path = QString()) const {
        return QString::fromUtf8(
            ZgTestEnvironment::readFile(path.isEmpty() ? env.logBookFile() : path));
    }

    // Titles and texts of the records, in order; the date line must match the layout.
    QStringList records(const QString& path = QString()) const {
        static const QRegularExpression record(
            "^\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2} --- (.*) ---\\n\\t(.*)\\n\\n",
            QRegularExpression::MultilineOption);
        QStringList found;
        QString rest = logBook(path);
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

    // Sends the signal to victim, waits for a new PID in NAME's PID file and
    // says how long it took.
    qint64 relaunchAfter(const QString& name, pid_t victim, int signalNumber) {
        const pid_t old = env.pidOf(name);
        QElapsedTimer clock;
        clock.start();
        kill(victim, signalNumber);
        if (!waitUntil([&] { return env.pidOf(name) != old && env.pidOf(name) != 0; }))
            return -1;
        return clock.elapsed();
    }

    // Watches the start script bin/NAME, started by hand, then starts the
    // watchdog. By hand (ZG_BY_HAND set) the script runs the test application
    // and waits for it, so it is recognised as the entry's script; otherwise
    // it runs watchdogStart, a shell line in which PROGRAM stands for the test
    // application's command. The script's PID goes to the PID file of
    // "NAME-script".
    void startScriptByHandAndWatch(const QString& name, QByteArray watchdogStart) {
        const QByteArray program = ZG_TESTAPP " " + env.testAppArguments(name).toUtf8();
        const QString script = env.writeScript(
            name, "echo $$ > " + env.pidFile(name + "-script").toUtf8() +
                      "\nif [ -n \"$ZG_BY_HAND\" ]; then " + program + " --by hand; exit; fi\n" +
                      watchdogStart.replace("PROGRAM", program) + '\n');
        ASSERT_EQ(command({"--add", env.writeEntryWithExec(name, script)}), 0);
        startByHand("env", {"ZG_BY_HAND=1", script});
        ASSERT_TRUE(waitUntil([&] { return env.pidOf(name) != 0; }));
        startWatchdog({"--relaunch-delays", "1,1,1"});
    }

    // Starts a program as a user would, outside the watchdog.
    void startByHand(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        ASSERT_TRUE(process.startDetached());
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

TEST_F(HeadlessWatchTest, EnvAndWrapperEntriesAreRelaunchedAgainAndAgain) {
    const QString tagged = env.writeEntryWithExec("tagged", "env ZG_TAG=1 " ZG_TESTAPP " " +
                                                                env.testAppArguments("tagged"));
    // Run by an interpreter that has an option of its own; it runs the
    // program and waits for it.
    const QString script =
        env.writeScript("viewer",
                        "echo $$ > " + env.pidFile("viewer-script").toUtf8() + "\n" ZG_TESTAPP " " +
                            env.testAppArguments("viewer").toUtf8() + " --by viewer\n",
                        "/bin/sh -e");
    ASSERT_EQ(command({"--add", tagged, "--add", env.writeEntryWithExec("viewer", script)}), 0);
    startByHand("env",
                QStringList{"ZG_TAG=1", ZG_TESTAPP} + env.testAppArguments("tagged").split(' '));
    startByHand(script, {});
    ASSERT_TRUE(waitUntil([&] { return env.pidOf("tagged") != 0 && env.pidOf("viewer") != 0; }));
    startWatchdog({"--relaunch-delays", "1,1,1"});

    ASSERT_GE(relaunchAfter("tagged", env.pidOf("tagged"), SIGKILL), 0)
        << "the program an env entry runs is recognised";
    ASSERT_GE(relaunchAfter("tagged", env.pidOf("tagged"), SIGKILL), 0) << "and so is its relaunch";
    ASSERT_GE(relaunchAfter("viewer", env.pidOf("viewer-script"), SIGKILL), 0)
        << "the interpreter running the script is the application";
    ASSERT_GE(relaunchAfter("viewer", env.pidOf("viewer"), SIGKILL), 0)
        << "the script of a relaunch ends with its program, and is relaunched";
    stopWatchdog();
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ",
                                      "Ghoulize is succeed. | tagged(Generation 1) is ghoulized.",
                                      "Ghoulize is succeed. | tagged(Generation 2) is ghoulized.",
                                      "Ghoulize is succeed. | viewer(Generation 1) is ghoulized.",
                                      "Ghoulize is succeed. | viewer(Generation 2) is ghoulized.",
                                      "ZuGhoulizer is stopped. | "}));
}

TEST_F(HeadlessWatchTest, RestartedWatchdogRelaunchesWhatAnEarlierRunLaunched) {
    // Started by the watchdog the script becomes the program, which nothing
    // in /proc ties to the entry.
    ASSERT_NO_FATAL_FAILURE(startScriptByHandAndWatch("wrapped", "exec PROGRAM --by watchdog"));
    ASSERT_GE(relaunchAfter("wrapped", env.pidOf("wrapped-script"), SIGKILL), 0);
    stopWatchdog();

    // Gone, so that the next start is seen by its own first record.
    QFile::remove(env.logBookFile());
    startWatchdog({"--relaunch-delays", "1,1,1"});
    ASSERT_GE(relaunchAfter("wrapped", env.pidOf("wrapped"), SIGKILL), 0)
        << "the launch of the earlier run is followed on";
    stopWatchdog();
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ",
                                      "Ghoulize is succeed. | wrapped(Generation 1) is ghoulized.",
                                      "ZuGhoulizer is stopped. | "}));
}

TEST_F(HeadlessWatchTest, TwoWatchdogsOnTwoSettingsFilesKeepTwoLogBooks) {
    const QString otherSettings = env.root() + "/night/other.conf";
    const QString otherBook = otherSettings + ".LogBook.txt";
    ASSERT_EQ(command({"--add", env.writeEntry("mail")}), 0);
    ASSERT_EQ(QProcess::execute(ZG_PROGRAM,
                                {"--settings", otherSettings, "--add", env.writeEntry("notes")}),
              0);
    const pid_t mail = env.startApplication("mail");
    const pid_t notes = env.startApplication("notes");
    startWatchdog();
    QProcess other;
    other.start(ZG_PROGRAM, {"--settings", otherSettings, "--headless"});
    ASSERT_TRUE(waitUntil([&] { return logBook(otherBook).contains("ZuGhoulizer is started."); }));

    ASSERT_GE(relaunchAfter("mail", mail, SIGKILL), 0);
    ASSERT_GE(relaunchAfter("notes", notes, SIGKILL), 0);
    other.terminate();
    ASSERT_TRUE(other.waitForFinished());
    stopWatchdog();
    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ",
                                      "Ghoulize is succeed. | mail(Generation 1) is ghoulized.",
                                      "ZuGhoulizer is stopped. | "}));
    EXPECT_EQ(records(otherBook),
              (QStringList{"ZuGhoulizer is started. | ",
                           "Ghoulize is succeed. | notes(Generation 1) is ghoulized.",
                           "ZuGhoulizer is stopped. | "}));
}

TEST_F(HeadlessWatchTest, AddThatCannotBeSavedFailsAndListAsksTheRunningWatchdog) {
    // A folder where the settings file should be.
    const QString blocked = env.root() + "/blocked.conf";
    QDir().mkpath(blocked);
    QProcess add;
    add.start(ZG_PROGRAM, {"--settings", blocked, "--add", env.writeEntry("notes")});
    ASSERT_TRUE(add.waitForFinished());
    const QString output =
        QString::fromUtf8(add.readAllStandardOutput() + add.readAllStandardError());
    EXPECT_NE(add.exitCode(), 0);
    EXPECT_TRUE(output.contains("notes is not added: the watched list cannot be saved"))
        << output.toStdString();
    EXPECT_FALSE(output.contains("Added")) << output.toStdString();

    const QString entry = env.writeEntry("mail");
    ASSERT_EQ(command({"--add", entry}), 0);
    const pid_t mail = env.startApplication("mail");
    startWatchdog();
    ASSERT_GE(relaunchAfter("mail", mail, SIGKILL), 0);
    QString list;
    EXPECT_EQ(command({"--list"}, &list), 0);
    EXPECT_TRUE(list.startsWith("mail\tGhoul(1)\t")) << list.toStdString();
    EXPECT_TRUE(list.endsWith("\t" + entry + "\n")) << list.toStdString();
}

TEST_F(HeadlessWatchTest, HeadlessRecordsReachTheConsoleWithoutTheLogBook) {
    ASSERT_EQ(command({"--add", env.writeEntry("mail")}), 0);
    const pid_t mail = env.startApplication("mail");
    startWatchdog();
    ASSERT_TRUE(QFile::remove(env.logBookFile()));
    ASSERT_GE(relaunchAfter("mail", mail, SIGKILL), 0);
    stopWatchdog();
    EXPECT_TRUE(
        console_.contains("--- Ghoulize is succeed. ---\n\tmail(Generation 1) is ghoulized.\n"))
        << console_.toStdString();
    EXPECT_TRUE(console_.contains("--- ZuGhoulizer is stopped. ---\n"));
    EXPECT_TRUE(console_.contains("Log book open error."));
}

TEST_F(HeadlessWatchTest, NamesAreRecordedAsTheyAreAndStrippedOfOneExtensionOnly) {
    // Exec names the PID files by other names: "%" in Exec is a field code.
    ASSERT_EQ(
        command(
            {"--add",
             env.writeEntryWithExec("50%1off%2", ZG_TESTAPP " " + env.testAppArguments("percent")),
             "--add",
             env.writeEntryWithExec("x.desktop", ZG_TESTAPP " " + env.testAppArguments("double"))}),
        0);
    const pid_t percent = env.startApplication("percent");
    const pid_t twice = env.startApplication("double");
    startWatchdog();
    ASSERT_GE(relaunchAfter("percent", percent, SIGKILL), 0);
    ASSERT_GE(relaunchAfter("double", twice, SIGKILL), 0) << "x.desktop.desktop is relaunched";
    stopWatchdog();
    EXPECT_EQ(records(),
              (QStringList{"ZuGhoulizer is started. | ",
                           "Ghoulize is succeed. | 50%1off%2(Generation 1) is ghoulized.",
                           "Ghoulize is succeed. | x.desktop(Generation 1) is ghoulized.",
                           "ZuGhoulizer is stopped. | "}));
}

TEST_F(HeadlessWatchTest, WithoutPidfdsEndsAreStillNoticedAndTheConsoleSaysSo) {
    ASSERT_EQ(command({"--add", env.writeEntry("mail")}), 0);
    const pid_t mail = env.startApplication("mail");
    startWatchdog({"--relaunch-delays", "1,1,1"}, false, ZG_NOPIDFD);
    ASSERT_GE(relaunchAfter("mail", mail, SIGKILL), 0) << "an instance started elsewhere";
    ASSERT_GE(relaunchAfter("mail", env.pidOf("mail"), SIGKILL), 0) << "a launch of its own";
    ASSERT_GE(relaunchAfter("mail", env.pidOf("mail"), SIGUSR1), 0);
    stopWatchdog();
    EXPECT_EQ(console_.count("pidfd_open is not available"), 1) << console_.toStdString();
    EXPECT_EQ(records().size(), 5) << records().join('\n').toStdString();
}

TEST_F(HeadlessWatchTest, LauncherThatStartsItsProgramAndEndsMakesOneInstance) {
    // Started by the watchdog the script starts the program in the background
    // and ends at once.
    ASSERT_NO_FATAL_FAILURE(startScriptByHandAndWatch("forker", "PROGRAM --by launcher &"));
    ASSERT_GE(relaunchAfter("forker", env.pidOf("forker-script"), SIGKILL), 0);
    ASSERT_GE(relaunchAfter("forker", env.pidOf("forker"), SIGKILL), 0);
    stopWatchdog();

    EXPECT_EQ(records(), (QStringList{"ZuGhoulizer is started. | ",
                                      "Ghoulize is succeed. | forker(Generation 1) is ghoulized.",
                                      "Ghoulize is succeed. | forker(Generation 2) is ghoulized.",
                                      "ZuGhoulizer is stopped. | "}));
    int launched = 0;
    for (const pid_t pid : env.instancesOf("forker"))
        launched += ZgTestEnvironment::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid))
                        .contains("launcher");
    EXPECT_EQ(launched, 1);
}

TEST_F(HeadlessWatchTest, DamagedEntryIsSkippedAloneAndTheFileIsKeptBeforeItIsSavedOver) {
    const QString mail = env.writeEntry("mail");
    const QByteArray text =
        "[GhoulList]\nsize=2\n1\\GhoulName=mail\n1\\GhoulFullPath=" + mail.toUtf8() +
        "\n1\\GhoulBirthday=2024-01-01T00:00:00\n1\\GhoulGeneration=3\n"
        "2\\GhoulName=web\n2\\GhoulBirthday=soon\n2\\GhoulGeneration=0\n";
    env.writeFile("config/ZuGhoulizer/ZuGhoulizer.conf", text);
    QString output;
    EXPECT_EQ(command({"--list"}, &output), 0);
    EXPECT_TRUE(output.contains("mail\tGhoul(3)\t2024.01.01/00:00:00\t" + mail + "\n"))
        << output.toStdString();
    EXPECT_TRUE(output.contains("entry 2 is skipped")) << output.toStdString();

    EXPECT_EQ(command({"--add", env.writeEntry("notes")}, &output), 0) << output.toStdString();
    EXPECT_EQ(command({"--list"}, &output), 0);
    EXPECT_TRUE(output.startsWith("mail\tGhoul(3)")) << output.toStdString();
    EXPECT_TRUE(output.contains("\nnotes\tNo Ghoul")) << output.toStdString();
    const QStringList copies =
        QDir(env.root() + "/config/ZuGhoulizer").entryList({"ZuGhoulizer.conf.damaged-*"});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(ZgTestEnvironment::readFile(env.root() + "/config/ZuGhoulizer/" + copies[0]), text);
}

} // namespace
