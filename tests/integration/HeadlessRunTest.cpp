// The headless program end to end: start, quit by time or by signal, the
// settings it leaves, and the command-line errors a user would make.
#include "NightwardenProcess.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QSettings>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString onDuty = QStringLiteral("on duty without a window");

struct HeadlessRunTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QStringList options() const { return {"--headless", "--settings", settings}; }
    // A run on duty needs an input device, which a test machine may lack.
    QStringList base() const {
        return options() << "--audio"
                         << "virtual";
    }
    QString stored(const QString& key) const {
        return QSettings(settings, QSettings::IniFormat).value(key).toString();
    }
};

} // namespace

TEST_F(HeadlessRunTest, QuitAfterEndsCleanlyAndSavesTheSettings) {
    NightwardenProcess run(nwTestDir());
    run.start(base() << "--quit-after"
                     << "0.5"
                     << "--set"
                     << "RecordMode=1");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("---applicationWillTerminate---"));
    EXPECT_EQ(stored("RecordMode"), "1");
    EXPECT_EQ(stored("WindowOpacity"), "1");
    EXPECT_EQ(stored("TroubleTermination"), "false");
    EXPECT_FALSE(QFile::exists(settings + ".running"));
}

TEST_F(HeadlessRunTest, SigtermAndSigintEndCleanlyKeepingTheRecordSwitch) {
    for (int signal : {SIGTERM, SIGINT}) {
        NightwardenProcess run(nwTestDir());
        run.start(base() << "--set"
                         << "RecordSwitch=true");
        ASSERT_TRUE(run.waitForOutput(onDuty)) << run.output().toStdString();
        ::kill(static_cast<pid_t>(run.pid()), signal);
        ASSERT_TRUE(run.waitForFinished());
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
        // Recording stops for the quit, but the next launch takes it up again.
        EXPECT_EQ(stored("RecordSwitch"), "true");
        EXPECT_FALSE(stored("DirectoryPath").isEmpty());
    }
}

TEST_F(HeadlessRunTest, ASecondRecorderOnTheSameSettingsIsRefused) {
    NightwardenProcess first(nwTestDir());
    first.start(base());
    ASSERT_TRUE(first.waitForOutput(onDuty));
    NightwardenProcess second(nwTestDir());
    second.start(base() << "--quit-after"
                        << "0");
    ASSERT_TRUE(second.waitForFinished());
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(second.output().contains("already running")) << second.output().toStdString();
    ::kill(static_cast<pid_t>(first.pid()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished());
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(HeadlessRunTest, AGarbledSettingsFileStartsWithDefaultsAndSaysWhich) {
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nRecordMode=loud\nTimerList=\"json:[[\"\nStepFast=fast\n\x01\x02 junk\n");
    file.close();
    NightwardenProcess run(nwTestDir());
    run.start(base() << "--quit-after"
                     << "0.2");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    for (const char* key : {"RecordMode", "StepFast", "TimerList"})
        EXPECT_EQ(run.output().count(QStringLiteral("stored value of %1 in").arg(key)), 1)
            << run.output().toStdString();
    EXPECT_EQ(stored("RecordMode"), "0");
}

TEST_F(HeadlessRunTest, CommandLineMistakesEndWithStatusTwoAndAClearMessage) {
    const QString notSound = nwTestDir() + "/notes.wav";
    QFile notes(notSound);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a sound\n");
    notes.close();
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"--set", "RecordMood=1"}, "unknown setting \"RecordMood\""},
        {{"--set", "RecordMode=always"}, "is not an integer"},
        {{"--set", "RecordSwitch=2"}, "is not a boolean"},
        {{"--set", "RecordMode"}, "is not KEY=VALUE"},
        {{"--clock-start", "yesterday"}, "is not YYYY-MM-DDTHH:MM:SS"},
        {{"--quit-after", "soon"}, "is not a number of seconds"},
        {{"--quit-after", "3000000"}, "is more than 2147483 seconds"},
        {{"--audio", "jack"}, "unknown audio backend"},
        {{"--audio", "virtual", "--virtual-input", "tone:loud"}, "--virtual-input"},
        {{"--audio", "virtual", "--virtual-input", "file:" + nwTestDir() + "/missing.wav"},
         "--virtual-input: cannot play"},
        {{"--audio", "virtual", "--virtual-input", "file:" + notSound}, "is not a sound file"},
        {{"--virtual-input", "silence"}, "needs --audio virtual"},
    };
    for (const auto& c : cases) {
        NightwardenProcess run(nwTestDir());
        run.start(options() << c.arguments);
        ASSERT_TRUE(run.waitForFinished());
        EXPECT_EQ(run.exitCode(), 2) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.output().contains(c.message)) << run.output().toStdString();
    }
    EXPECT_FALSE(QFile::exists(settings) && stored("RecordMode") == "always");
}

TEST_F(HeadlessRunTest, AnUnwritableSettingsLocationIsReportedWithItsPath) {
    NightwardenProcess run(nwTestDir());
    run.start({"--headless", "--settings", "/proc/nightwarden/x.conf", "--quit-after", "0"});
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_TRUE(run.output().contains("/proc/nightwarden/x.conf")) << run.output().toStdString();
}

TEST_F(HeadlessRunTest, TheDeviceListShowsTheVirtualDevice) {
    NightwardenProcess run(nwTestDir());
    run.start({"--audio", "virtual", "--virtual-input", "tone:440:0.5", "--list-devices"});
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_TRUE(run.output().contains("UID: nightwarden-virtual-0")) << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("Channels: 2 in, 2 out"));
    EXPECT_TRUE(run.output().contains("Record sources (recordSourceDevice):\n  0  "))
        << run.output().toStdString();
}

TEST_F(HeadlessRunTest, VersionAndHelpNeedNoSettings) {
    NightwardenProcess version(nwTestDir());
    version.start({"--version"});
    ASSERT_TRUE(version.waitForFinished());
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_TRUE(version.output().contains("Nightwarden 0.1.0"));
    NightwardenProcess help(nwTestDir());
    help.start({"--help"});
    ASSERT_TRUE(help.waitForFinished());
    for (const char* option : {"--headless", "--audio", "--virtual-input", "--settings", "--set",
                               "--clock-start", "--quit-after", "--list-devices"})
        EXPECT_TRUE(help.output().contains(option)) << option;
}
