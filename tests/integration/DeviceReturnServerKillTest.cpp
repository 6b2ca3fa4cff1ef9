#include "NightwardenProcess.h"
#include "NwPulseTestServer.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <gtest/gtest.h>

// The sound server killed under a recording from its sink's monitor through
// PortAudio (ALSA's pulse plugin), and started again, ten times: each loss
// ends its recording cleanly, each return starts a new one, and the log book
// holds both with the time lost between them.

namespace {

class DeviceReturnServerKillTest : public ::testing::Test {
protected:
    QString dir;
    std::unique_ptr<NwPulseTestServer> pulse;

    void SetUp() override {
        if (qEnvironmentVariable("NW_PULSE_SINK").isEmpty())
            GTEST_SKIP()
                << "real sound runs with a test server (eval \"$(scripts/pulse-test-server)\")";
        for (const char* tool : {"pulseaudio", "pactl"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is missing (scripts/bootstrap installs it)";
        dir = nwTestDir();
        pulse = std::make_unique<NwPulseTestServer>(dir, "nw_return", 48000);
        const QString failure = pulse->start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    }

    static QStringList recordings(const QString& folder) {
        return QDir(folder).entryList({"_Nightwarden_*.aif*"}, QDir::Files, QDir::Name);
    }
    // Descriptors and threads of a process: what a leak would grow.
    static qint64 entriesOf(qint64 pid, const char* what) {
        return QDir(QStringLiteral("/proc/%1/%2").arg(pid).arg(what))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
            .size();
    }
};

} // namespace

TEST_F(DeviceReturnServerKillTest, TheServerKilledAndStartedTenTimesGivesElevenWholeRecordings) {
    constexpr int kCycles = 10;
    const int source = pulse->monitorSource("portaudio");
    ASSERT_GE(source, 0);
    const QString folder = dir + "/records";
    QDir().mkpath(folder);
    NightwardenProcess recorder(dir);
    pulse->prepare(recorder);
    recorder.start({"--headless", "--audio", "portaudio", "--settings", folder + "/s.conf", "--set",
                    "DirectoryPath=" + folder, "--set", "RecordSwitch=true", "--set",
                    "RecordMode=0", "--set", "StartOnTheHour=false", "--set",
                    "recordSourceDevice=" + QString::number(source)});
    ASSERT_TRUE(recorder.waitForOutput("on duty without a window", 20000))
        << recorder.output().toStdString();
    const QString temp = folder + "/.NightwardenTempFile";
    const auto recording = [&] {
        QDeadlineTimer deadline(20000);
        while (!QFile::exists(temp) && !deadline.hasExpired())
            recorder.waitForOutput("never printed", 20);
        return QFile::exists(temp);
    };
    ASSERT_TRUE(recording()) << recorder.output().toStdString();

    qint64 descriptors = -1;
    qint64 threads = -1;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        // Long enough a recording that the device counts as steady, not
        // flapping.
        recorder.waitForOutput("never printed", 2500);
        pulse->kill();
        ASSERT_TRUE(recorder.waitForOutput("waiting for the input device", 20000, cycle))
            << recorder.output().toStdString();
        EXPECT_FALSE(QFile::exists(temp));
        EXPECT_EQ(recordings(folder).size(), cycle);
        const QString failure = pulse->start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        QElapsedTimer back;
        back.start();
        ASSERT_TRUE(recorder.waitForOutput("recording resumes", 20000, cycle))
            << recorder.output().toStdString();
        ASSERT_TRUE(recording());
        std::printf("cycle %d: recording again %lld ms after the server's return\n", cycle,
                    static_cast<long long>(back.elapsed()));
        if (cycle == 2) {
            descriptors = entriesOf(recorder.pid(), "fd");
            threads = entriesOf(recorder.pid(), "task");
        }
    }
    recorder.waitForOutput("never printed", 1000);
    const qint64 descriptorsAtEnd = entriesOf(recorder.pid(), "fd");
    const qint64 threadsAtEnd = entriesOf(recorder.pid(), "task");
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(30000));
    const QString output = recorder.output();
    EXPECT_EQ(recorder.exitCode(), 0) << output.toStdString();
    // Nothing grows from one loss to the next.
    EXPECT_LE(descriptorsAtEnd, descriptors + 2);
    EXPECT_LE(threadsAtEnd, threads + 2);
    EXPECT_FALSE(output.contains("comes and goes")) << output.toStdString();

    const QStringList names = recordings(folder);
    ASSERT_EQ(names.size(), kCycles + 1) << names.join(' ').toStdString();
    // Each a whole sound file, read back by another reader. A fresh null
    // sink's monitor may deliver its first second late, so a recording may
    // hold less sound than its span, or none.
    for (const QString& name : names) {
        const NwSound sound = NwSound::read(folder + "/" + name);
        EXPECT_EQ(sound.channels, 1) << name.toStdString();
        EXPECT_EQ(sound.rate, 22050) << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(folder + "/.NightwardenTempFile"));

    QFile log(folder + "/NightwardenLog.txt");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString book = QString::fromUtf8(log.readAll());
    EXPECT_EQ(book.count("is lost at"), kCycles) << book.toStdString();
    EXPECT_EQ(book.count("without recording); recording resumes."), kCycles) << book.toStdString();
}

// A server that hangs instead of dying leaves ALSA's pulse plugin waiting with
// neither sound nor an error: the stalled stream is aborted and reopened, and
// recording goes on once the server answers again.
TEST_F(DeviceReturnServerKillTest, AHungServerStallsTheStreamWhichIsAbortedAndRecordingGoesOn) {
    const int source = pulse->monitorSource("portaudio");
    ASSERT_GE(source, 0);
    const QString folder = dir + "/records";
    QDir().mkpath(folder);
    NightwardenProcess recorder(dir);
    pulse->prepare(recorder);
    recorder.start({"--headless", "--audio", "portaudio", "--settings", folder + "/s.conf", "--set",
                    "DirectoryPath=" + folder, "--set", "RecordSwitch=true", "--set",
                    "RecordMode=0", "--set", "StartOnTheHour=false", "--set",
                    "recordSourceDevice=" + QString::number(source)});
    ASSERT_TRUE(recorder.waitForOutput("on duty without a window", 20000))
        << recorder.output().toStdString();
    recorder.waitForOutput("never printed", 2000);

    pulse->freeze(true);
    const bool aborted = recorder.waitForOutput("stalled and was aborted", 15000);
    pulse->freeze(false);
    ASSERT_TRUE(aborted) << recorder.output().toStdString();
    ASSERT_TRUE(recorder.waitForOutput("was reopened", 15000)) << recorder.output().toStdString();
    const QString temp = folder + "/.NightwardenTempFile";
    // The write thread writes in batches: the file grows within a few of them.
    const qint64 before = QFileInfo(temp).size();
    QDeadlineTimer deadline(15000);
    while (QFileInfo(temp).size() <= before && !deadline.hasExpired())
        recorder.waitForOutput("never printed", 100);
    EXPECT_GT(QFileInfo(temp).size(), before) << "recording goes on after the server's return";

    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(30000));
    EXPECT_EQ(recorder.exitCode(), 0) << recorder.output().toStdString();
    const QStringList names = recordings(folder);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        const NwSound sound = NwSound::read(folder + "/" + name);
        EXPECT_EQ(sound.rate, 22050) << name.toStdString();
    }
}
