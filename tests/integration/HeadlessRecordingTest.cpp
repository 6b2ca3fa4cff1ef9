// Recording end to end with the headless program on the paced virtual
// backend: what lands in the record folder, read back with an independent
// reader and compared with the input sample by sample.
#include "NightwardenProcess.h"
#include "NwHeadlessFixture.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <csignal>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

namespace {

using Sound = NwSound;

Sound readSound(const QString& path) {
    return NwSound::read(path);
}

struct HeadlessRecordingTest : NwHeadlessFixture {
    static double secondsOfName(const QString& name, bool stop) {
        const QTime start = QTime::fromString(name.mid(22, 6), "HHmmss");
        const QTime end = QTime::fromString(name.mid(29, 6), "HHmmss");
        return stop ? start.secsTo(end) : 0.0;
    }
};

} // namespace

TEST_F(HeadlessRecordingTest, AlwaysModeRecordsTheInputBetweenStartAndStop) {
    NightwardenProcess run(nwTestDir());
    run.start(base("file:" + ramp()) << "--set"
                                     << "RecordSwitch=true"
                                     << "--set"
                                     << "SamplingRateNumber=1"
                                     << "--set"
                                     << "ChannelsNumber=2"
                                     << "--quit-after"
                                     << "3");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1) << run.output().toStdString();
    EXPECT_EQ(names[0].size(), 39);
    const Sound sound = readSound(folder + "/" + names[0]);
    EXPECT_EQ(sound.rate, 22050);
    ASSERT_EQ(sound.channels, 2);
    const double seconds = double(sound.samples.size()) / 2 / 22050;
    EXPECT_NEAR(seconds, secondsOfName(names[0], true), 1.0);
    EXPECT_NEAR(seconds, 3.0, 0.5);
    expectRamp(leftOf(sound), 2);
    for (size_t i = 0; i < sound.samples.size(); i += 2)
        ASSERT_EQ(sound.samples[i + 1], fileValue(-rampLeft(rampFrameOf(sound.samples[i]))));
    // Recording ended for the quit, but the switch is kept for the next launch.
    EXPECT_EQ(stored("RecordSwitch"), "true");
    EXPECT_TRUE(stored("ProgressSoundFileName").isEmpty());
}

TEST_F(HeadlessRecordingTest, LevelTriggeredBurstsMakeOneFileEachWithPriorTimeAndDelay) {
    // Two-second bursts every eleven seconds; the meter's tick starts and
    // stops the recordings.
    NightwardenProcess run(nwTestDir());
    run.start(base("bursts:2:9:0.5") << "--set"
                                     << "RecordSwitch=true"
                                     << "--set"
                                     << "RecordMode=1"
                                     << "--set"
                                     << "AutoStartLevel=10"
                                     << "--set"
                                     << "PreBufferingSeconds=3"
                                     << "--set"
                                     << "AutoStopDelayTime=5"
                                     << "--set"
                                     << "SamplingRateNumber=2"
                                     << "--set"
                                     << "ChannelsNumber=1"
                                     << "--quit-after"
                                     << "19.5");
    ASSERT_TRUE(run.waitForFinished(40000));
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString() << run.output().toStdString();

    // The second burst's file: the prior time (silence), the burst, then the
    // delay (silence) before the stop.
    const Sound sound = readSound(folder + "/" + names[1]);
    ASSERT_EQ(sound.channels, 1);
    const double rate = sound.rate;
    size_t first = sound.samples.size(), last = 0;
    for (size_t i = 0; i < sound.samples.size(); ++i)
        if (sound.samples[i] != 0) {
            first = std::min(first, i);
            last = i;
        }
    ASSERT_LT(first, sound.samples.size());
    EXPECT_NEAR(first / rate, 3.0, 0.3);
    EXPECT_NEAR((last - first) / rate, 2.0, 0.2);
    EXPECT_NEAR((sound.samples.size() - last) / rate, 5.0, 1.1);
}

TEST_F(HeadlessRecordingTest, ASplitOnTheHourLosesNothing) {
    NightwardenProcess run(nwTestDir());
    run.start(base("file:" + ramp(), "2007-03-15T13:59:56") << "--set"
                                                            << "RecordSwitch=true"
                                                            << "--set"
                                                            << "SamplingRateNumber=2"
                                                            << "--set"
                                                            << "StartOnTheHour=true"
                                                            << "--quit-after"
                                                            << "7");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString() << run.output().toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_135956~140000.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_140000~14000"));
    std::vector<int16_t> all;
    for (const QString& name : names) {
        const Sound sound = readSound(folder + "/" + name);
        ASSERT_EQ(sound.rate, 44100);
        all.insert(all.end(), sound.samples.begin(), sound.samples.end());
    }
    expectRamp(all, 1);
}

TEST_F(HeadlessRecordingTest, ASplitAtTheMaximumLengthCarriesTheSurplusThroughTheRelayFile) {
    NightwardenProcess run(nwTestDir());
    // 8 s at the minute tick of 14:01:00 with a 5 s maximum: the first file is
    // cut to 5 s and its last 3 s begin the next one.
    run.start(base("file:" + ramp(), "2007-03-15T14:00:52") << "--set"
                                                            << "RecordSwitch=true"
                                                            << "--set"
                                                            << "SamplingRateNumber=2"
                                                            << "--set"
                                                            << "StartOnTheHour=false"
                                                            << "--set"
                                                            << "MaxRecordTime=5"
                                                            << "--quit-after"
                                                            << "11");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString() << run.output().toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_140052~140057.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_140057~1401"));
    EXPECT_FALSE(QFile::exists(folder + "/.NightwardenRelayFile"));
    const Sound a = readSound(folder + "/" + names[0]);
    EXPECT_NEAR(double(a.samples.size()) / 44100, 5.0, 0.3);
    std::vector<int16_t> all = a.samples;
    const Sound b = readSound(folder + "/" + names[1]);
    all.insert(all.end(), b.samples.begin(), b.samples.end());
    expectRamp(all, 1);
}

TEST_F(HeadlessRecordingTest, AKilledRecordingIsRescuedAtTheNextLaunch) {
    NightwardenProcess first(nwTestDir());
    first.start(base("file:" + ramp()) << "--set"
                                       << "RecordSwitch=true"
                                       << "--set"
                                       << "SamplingRateNumber=2");
    ASSERT_TRUE(first.waitForOutput("on duty without a window"));
    const QString temp = folder + "/.NightwardenTempFile";
    // The first write batch comes at once; the file is valid AIFF from then on.
    QDeadlineTimer deadline(10000);
    while (QFileInfo(temp).size() <= 4096 && !deadline.hasExpired())
        first.waitForOutput("never printed", 50);
    const Sound before = readSound(temp);
    ASSERT_GT(before.samples.size(), 0u) << "the temporary file is not valid AIFF";
    ::kill(pid_t(first.pid()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished());
    const qint64 written = QFileInfo(temp).size() - 4096;

    NightwardenProcess second(nwTestDir());
    second.start(base("silence", "2007-03-15T10:40:00") << "--quit-after"
                                                        << "0.5");
    ASSERT_TRUE(second.waitForFinished());
    EXPECT_EQ(second.exitCode(), 0) << second.output().toStdString();
    EXPECT_FALSE(QFile::exists(temp));
    const QStringList names = recordings();
    ASSERT_FALSE(names.isEmpty()) << second.output().toStdString();
    const QString rescued = folder + "/" + names[0];
    const Sound sound = readSound(rescued);
    EXPECT_EQ(qint64(sound.samples.size() * 2), written);
    expectRamp(sound.samples, 1);
    QFile file(rescued);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(256);
    const QByteArray block = file.read(64).split('\0').first();
    EXPECT_TRUE(block.endsWith("44100MX*")) << block.toStdString();
}

TEST_F(HeadlessRecordingTest, SleepEndsTheFileAndWakeBeginsANewOne) {
    NightwardenProcess run(nwTestDir());
    run.start(base("tone:440:0.5", "2007-03-15T10:00:10") << "--set"
                                                          << "RecordSwitch=true");
    ASSERT_TRUE(run.waitForOutput("on duty without a window"));
    // Real seconds pass between the events, so that the names tell them apart.
    const auto let = [&run](int ms) {
        QDeadlineTimer passed(ms);
        while (!passed.hasExpired())
            run.waitForOutput("never printed", int(passed.remainingTime()));
    };
    let(1500);
    ::kill(pid_t(run.pid()), SIGUSR1);
    let(2500);
    ::kill(pid_t(run.pid()), SIGUSR2);
    QDeadlineTimer renamed(5000);
    while (recordings().isEmpty() && !renamed.hasExpired())
        run.waitForOutput("never printed", 50);
    let(1000);
    ::kill(pid_t(run.pid()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished());
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << run.output().toStdString();
    // The first file ends at the sleep, the second begins at the wake.
    const double asleepFor = QTime::fromString(names[0].mid(29, 6), "HHmmss")
                                 .secsTo(QTime::fromString(names[1].mid(22, 6), "HHmmss"));
    EXPECT_GE(asleepFor, 2.0);
    EXPECT_LE(asleepFor, 3.0);
}

TEST_F(HeadlessRecordingTest, AFileSizeLimitEndsTheRecordingCleanlyWithTheAlert) {
    NightwardenProcess run(nwTestDir());
    // 200 kB holds about nine seconds of quarter-rate mono (22 kB a second);
    // the recording runs twelve.
    run.limitFileSize(200 * 1024);
    run.start(base("tone:440:0.5") << "--set"
                                   << "RecordSwitch=true"
                                   << "--set"
                                   << "SamplingRateNumber=0"
                                   << "--set"
                                   << "ChannelsNumber=1"
                                   << "--quit-after"
                                   << "12");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("ZuRecorder: audio file write error."))
        << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1);
    // What was written before the failure is kept, finished and named.
    EXPECT_GT(readSound(folder + "/" + names[0]).samples.size(), 0u);
    EXPECT_EQ(stored("RecordSwitch"), "false");
}

TEST_F(HeadlessRecordingTest, NoInputDeviceEndsWithStatusOne) {
    NightwardenProcess listing(nwTestDir());
    listing.start({"--list-devices"});
    ASSERT_TRUE(listing.waitForFinished());
    if (listing.output().contains(QRegularExpression("Channels: [1-9][0-9]* in")))
        GTEST_SKIP() << "this machine has an audio input";
    NightwardenProcess run(nwTestDir());
    run.start({"--headless", "--settings", settings, "--set", "RecordSwitch=true"});
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 1);
    EXPECT_TRUE(run.output().contains("ZuRecorder: no sound data input device."))
        << run.output().toStdString();
}
