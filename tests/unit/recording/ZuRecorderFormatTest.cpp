// A recording keeps the rate and channels it started with: settings changed
// while it runs, through a split or a sleep, apply from the next recording on.
#include "ZuRecorderTestSupport.h"
#include "playback/ZuPlayList.h"
#include "support/NwAiffHeader.h"

namespace {

class RecorderFormatTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        ZuSettings::standard().setInteger(2, "ChannelsNumber");
        ZuSettings::standard().setInteger(1, "SamplingRateNumber");
    }

    // The settings a preferences change gives while the recording runs.
    void switchToFullRateMono() {
        recorder().setChannels(1);
        recorder().setRateNumber(2);
    }

    // Every file frame is the left and right of every second input frame,
    // the files one after the other without gap or repeat.
    static void expectStereoHalfRate(const QStringList& paths) {
        std::vector<int16_t> all;
        for (const QString& path : paths) {
            const Sound sound = readSound(path);
            EXPECT_EQ(sound.rate, 22050) << path.toStdString();
            ASSERT_EQ(sound.channels, 2) << path.toStdString();
            nwExpectHeaderMatchesSize(path, 2);
            all.insert(all.end(), sound.samples.begin(), sound.samples.end());
        }
        ASSERT_FALSE(all.empty());
        const int64_t first = inputFrameOf(all[0]);
        ASSERT_GE(first, 0);
        for (size_t k = 0; k < all.size() / 2; ++k) {
            const uint64_t i = uint64_t(first) + 2 * k;
            ASSERT_EQ(all[2 * k], fileValue(rampLeft(i))) << k;
            ASSERT_EQ(all[2 * k + 1], fileValue(rampRight(i))) << k;
        }
    }

    QString pathOf(const QString& name) const { return folder() + "/" + name; }
};

} // namespace

TEST_F(RecorderFormatTest, ChangesWhileRecordingApplyFromTheNextRecording) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(2.0);
    r.writeSoundFile(0);
    switchToFullRateMono();
    EXPECT_EQ(r.channels(), 1);
    EXPECT_EQ(r.recordingChannels(), 2);
    EXPECT_EQ(r.recordingRate(), 22050.0);
    run(2.0);
    r.writeSoundFile(0);
    // The progress link's header is rewritten for the recording's channels.
    r.renewalProgressSoundFile();
    const QString progress = ZuSettings::standard().stringForKey("ProgressSoundFileName");
    nwExpectHeaderMatchesSize(progress, 2);
    run(1.0);
    switchRecording(0);
    QStringList names = recordings();
    ASSERT_EQ(names.size(), 1);
    expectStereoHalfRate({pathOf(names[0])});
    EXPECT_NEAR(double(readSound(pathOf(names[0])).samples.size()), 5.0 * 22050 * 2, 1200);
    EXPECT_EQ(ZuPlayList::noteOfFile(pathOf(names[0])), "22050SX");

    ZuClock::advance(10.0);
    switchRecording(1);
    run(1.0);
    switchRecording(0);
    names = recordings();
    ASSERT_EQ(names.size(), 2);
    const Sound next = readSound(pathOf(names[1]));
    EXPECT_EQ(next.rate, 44100);
    EXPECT_EQ(next.channels, 1);
    nwExpectHeaderMatchesSize(pathOf(names[1]), 1);
    EXPECT_EQ(ZuPlayList::noteOfFile(pathOf(names[1])), "44100MX");
    EXPECT_EQ(r.recordingChannels(), 1);
}

TEST_F(RecorderFormatTest, ASplitAtTheMaximumContinuesTheRecordingsFormat) {
    ZuSettings::standard().setFloat(30.0f, "MaxRecordTime");
    launch();
    switchRecording(1);
    run(10.0);
    switchToFullRateMono();
    // 14:30:22 to the minute tick of 14:31:00 and on: the surplus of the
    // first file goes through the relay into the second.
    run(38.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    expectStereoHalfRate({pathOf(names[0]), pathOf(names[1])});
    EXPECT_EQ(ZuPlayList::noteOfFile(pathOf(names[1])), "22050SX");
    // The log book tells the format the second file has.
    QFile log(pathOf("NightwardenLog.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    const qsizetype second = text.indexOf("RECORDING START #000002");
    ASSERT_GT(second, 0) << text.toStdString();
    EXPECT_TRUE(text.mid(second).startsWith("RECORDING START #000002\n\tstart method\t= internal\n"
                                            "\tsample rate\t= 22050Hz\n\tchannels\t= stereo\n"))
        << text.mid(second).toStdString();
}

TEST_F(RecorderFormatTest, AWakeContinuesTheRecordingsFormat) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(3.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::willSleepNotification);
    switchToFullRateMono();
    ZuClock::advance(20.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::didWakeNotification);
    ASSERT_EQ(r.condition(), 1);
    run(2.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2);
    for (const QString& name : names) {
        const Sound sound = readSound(pathOf(name));
        EXPECT_EQ(sound.rate, 22050) << name.toStdString();
        EXPECT_EQ(sound.channels, 2) << name.toStdString();
        nwExpectHeaderMatchesSize(pathOf(name), 2);
    }
}

namespace {

// A device that offers 44 100 and 48 000 Hz: the high-quality switch takes
// the higher rate at the next source change.
class RecorderSourceChangeTest : public RecorderFormatTest {
protected:
    void SetUp() override {
        RecorderFormatTest::SetUp();
        AuVirtualDeviceConfig config =
            AuVirtualDeviceConfig::standard("Virtual Microphone", "vm", 2, 2);
        config.input.kind = AuVirtualInput::Kind::Tone;
        config.input.frequency = 440.0;
        config.input.amplitude = 0.5;
        auto backend = std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{config}, AuVirtualHardware::Pacing::Stepped);
        hardware = backend.get();
        fileDevice = AuHardware::install(std::move(backend));
    }

    std::unique_ptr<AuHardware> fileDevice;
};

} // namespace

TEST_F(RecorderSourceChangeTest, ANewRateOfTheSourceEndsTheFileAndGoesOnInANewOne) {
    ZuRecorder& r = launch();
    ASSERT_EQ(controler->devicer()->recordSampleRate(), 44100.0);
    switchRecording(1);
    run(3.0);
    controler->devicer()->setUseHighQuality(true);
    controler->devicer()->setRecordSource(controler->devicer()->recordSource());
    ASSERT_EQ(controler->devicer()->recordSampleRate(), 48000.0);
    EXPECT_EQ(r.condition(), 1);
    EXPECT_EQ(r.recordingRate(), 24000.0);
    run(4.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    const Sound before = readSound(pathOf(names[0]));
    const Sound after = readSound(pathOf(names[1]));
    EXPECT_EQ(before.rate, 22050);
    EXPECT_EQ(after.rate, 24000);
    ASSERT_EQ(after.channels, 2);
    // Each file holds its own span of time at its own rate.
    EXPECT_NEAR(double(before.samples.size()) / 2, 3.0 * 22050, 600);
    EXPECT_NEAR(double(after.samples.size()) / 2, 4.0 * 24000, 600);
    EXPECT_TRUE(names[0].startsWith("_Nightwarden_20070315_143022~143025"));
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_143025~14302"));
}
