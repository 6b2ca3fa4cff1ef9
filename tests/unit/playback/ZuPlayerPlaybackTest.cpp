// Playback of a recording: the conversion to float stereo at the play rate,
// the position arithmetic (64-bit, so files past 2 GiB play), the transport
// moves, and what the play device actually outputs, on a stepped virtual
// output device and the manual clock.
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuPaths.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuPlayer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuAudioFile.h"
#include "shell/ZuControler.h"
#include "support/NwAiff.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<int16_t> bigEndian(const std::vector<int16_t>& samples) {
    std::vector<int16_t> big(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        big[i] = qToBigEndian(samples[i]);
    return big;
}

std::vector<float> convert(const std::vector<int16_t>& samples, double ratio, int32_t channels) {
    const std::vector<int16_t> big = bigEndian(samples);
    std::vector<float> out(size_t(double(samples.size()) * 4 / ratio) + 8, -9.0f);
    const uint32_t n = ZuPlayer::transformSoundData(big.data(), out.data(),
                                                    uint32_t(samples.size() * 2), ratio, channels);
    out.resize(n);
    return out;
}

float f(int16_t sample) {
    return float(sample) / 32768.0f;
}

} // namespace

TEST(ZuPlayerConversion, AtTheDeviceRateEveryStereoSampleIsItsValueOver32768InOrder) {
    const std::vector<int16_t> samples = {1, -1, 32767, -32768, 1000, -2000, 0, 5};
    const std::vector<float> out = convert(samples, 1.0, 2);
    ASSERT_EQ(out.size(), samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(out[i], f(samples[i])) << i;
    EXPECT_EQ(out[3], -1.0f);
}

TEST(ZuPlayerConversion, AtHalfTheDeviceRateEachFrameIsHeldForTwoOutputFrames) {
    // Mono: every sample becomes two stereo frames, four floats.
    const std::vector<int16_t> mono = {10, 20, 30};
    const std::vector<float> monoOut = convert(mono, 0.5, 1);
    ASSERT_EQ(monoOut.size(), 12u);
    for (size_t i = 0; i < monoOut.size(); ++i)
        EXPECT_EQ(monoOut[i], f(mono[i / 4])) << i;
    // Stereo: left stays left and right stays right.
    const std::vector<int16_t> stereo = {1, -1, 2, -2, 3, -3};
    const std::vector<float> stereoOut = convert(stereo, 0.5, 2);
    ASSERT_EQ(stereoOut.size(), 12u);
    for (size_t frame = 0; frame < 6; ++frame) {
        EXPECT_EQ(stereoOut[frame * 2], f(int16_t(frame / 2 + 1))) << frame;
        EXPECT_EQ(stereoOut[frame * 2 + 1], f(int16_t(-int(frame / 2 + 1)))) << frame;
    }
}

TEST(ZuPlayerConversion, AboveTheDeviceRateFramesAreSkippedWholeAndMonoIsDoubled) {
    const std::vector<int16_t> stereo = {1, -1, 2, -2, 3, -3, 4, -4};
    EXPECT_EQ(convert(stereo, 2.0, 2), (std::vector<float>{f(1), f(-1), f(3), f(-3)}));
    const std::vector<int16_t> mono = {7, 8};
    EXPECT_EQ(convert(mono, 1.0, 1), (std::vector<float>{f(7), f(7), f(8), f(8)}));
}

TEST(ZuPlayerPositions, PlayedBytesMapBackToFileBytesAndPositionsAreWholeFrames) {
    // Mono 22 050 Hz on a 44 100 Hz device: g × 1 × 22050 / (44100 × 4).
    EXPECT_EQ(ZuPlayer::fileBytesOfPlayed(4096, 1, 22050, 44100), 512);
    EXPECT_EQ(ZuPlayer::fileBytesOfPlayed(4096, 2, 44100, 44100), 2048);
    EXPECT_EQ(ZuPlayer::fileBytesOfPlayed(4096, 2, 44100, 0), 0);
    EXPECT_EQ(ZuPlayer::adjustReadPosition(7, 1), 6);
    EXPECT_EQ(ZuPlayer::adjustReadPosition(7, 2), 4);
    // Past 2 and 4 GiB nothing wraps.
    const int64_t threeGiB = int64_t(3) << 30;
    EXPECT_EQ(ZuPlayer::adjustReadPosition(threeGiB + 3, 2), threeGiB);
    EXPECT_EQ(ZuPlayer::fileBytesOfPlayed(uint64_t(threeGiB) * 2, 2, 44100, 44100), threeGiB);
    EXPECT_EQ(ZuPlayer::fileBytesOfPlayed(uint64_t(5) << 32, 1, 22050, 44100), int64_t(5) << 29);
}

namespace {

// The player of a launched application whose play device is a stepped
// virtual output at 44 100 Hz, 512 frames a cycle, selected like
// --virtual-output's device: the second playback source.
class PlayerFixture : public testing::Test {
protected:
    static constexpr double deviceRate = 44100.0;
    static constexpr uint32_t cycleFrames = 512;

    void SetUp() override {
        ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(14, 30, 22)));
        ZuSettings& store = ZuSettings::standard();
        store.setString(folder(), "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        store.setInteger(1, "PlaybackSourceDevice");
        QDir().mkpath(folder());
        ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
        const auto output =
            AuVirtualDeviceConfig::outputToFile("44100:" + nwTestDir() + "/played.wav");
        AuVirtualDeviceConfig config = *output;
        config.captureFrames = 44100 * 30;
        auto backend = std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{
                AuVirtualDeviceConfig::standard("Virtual Microphone", "vm", 2, 2), config},
            AuVirtualHardware::Pacing::Stepped);
        hardware = backend.get();
        previous = AuHardware::install(std::move(backend));
    }

    void TearDown() override {
        controler.reset();
        AuHardware::install(std::move(previous));
        ZuClock::useSystemTime();
    }

    QString folder() const { return nwTestDir() + "/records"; }

    ZuPlayer& launch() {
        controler = std::make_unique<ZuControler>();
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        return *controler->player();
    }
    ZuPlayer& player() { return *controler->player(); }

    // A recording of distinct, never silent samples.
    static int16_t sampleAt(int64_t i) { return int16_t(i % 30000 + 1); }
    QString writeRecording(const QString& name, double rate, int channels, int64_t frames) {
        const QString path = folder() + "/" + name;
        nwWriteAiff(path, frames * channels, sampleAt, channels, rate);
        return path;
    }

    void select(int row) {
        player().renewListAndControl();
        player().dataView.setSelectedIndex(row);
        player().changeSelectRow();
    }
    static void press(ZuControl& control, int state = 1) {
        control.setState(state);
        control.perform();
    }

    // Runs the play device for that many cycles, the clock keeping pace.
    void run(uint32_t cycles) {
        AuDevice* device = controler->devicer()->playDevice();
        for (uint32_t done = 0; done < cycles; ++done) {
            hardware->step(device->deviceID(), 1);
            ZuClock::advance(cycleFrames / deviceRate);
        }
    }
    std::vector<float> played() {
        return hardware->capturedOutput(controler->devicer()->playDevice()->deviceID());
    }
    // The played floats up to the first silent one.
    std::vector<float> sounded() {
        std::vector<float> out = played();
        const auto silent = std::find(out.begin(), out.end(), 0.0f);
        out.erase(silent, out.end());
        return out;
    }

    std::unique_ptr<AuHardware> previous;
    AuVirtualHardware* hardware = nullptr;
    std::unique_ptr<ZuControler> controler;
};

} // namespace

TEST_F(PlayerFixture, AStereoRecordingAtTheDeviceRatePlaysItsSamplesOver32768ThenStops) {
    const int64_t frames = 44100 * 3 + 100;
    writeRecording("_Nightwarden_20070315_120000~120003.aif", 44100, 2, frames);
    ZuPlayer& p = launch();
    select(0);
    press(p.endlessPlayCheck, 0);
    ASSERT_TRUE(p.playButton.isEnabled());
    EXPECT_EQ(p.numDatas(), frames * 4);
    EXPECT_EQ(p.fastSize(), 2 * 512 * 2);
    press(p.playButton);
    EXPECT_TRUE(p.playbacking());
    run(uint32_t(frames / cycleFrames) + 20);
    const std::vector<float> out = sounded();
    ASSERT_EQ(out.size(), size_t(frames * 2));
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], f(sampleAt(int64_t(i)))) << i;
    // The end stops playback and leaves the position at the tail; the next
    // play starts at the head.
    EXPECT_FALSE(p.playbacking());
    EXPECT_EQ(p.playButton.state(), 0);
    EXPECT_EQ(p.readPos(), p.numDatas());
    EXPECT_EQ(p.pointSlider.value(), double(p.numDatas()));
    EXPECT_EQ(p.currentTimeText.text(), "12:00:03.00");
    press(p.playButton);
    EXPECT_EQ(p.readPos(), 0);
    run(4);
    EXPECT_EQ(p.readPos(), 4 * 512 * 4);
}

TEST_F(PlayerFixture, AMonoRecordingAtHalfTheRatePlaysEachSampleAsTwoStereoFrames) {
    writeRecording("_Nightwarden_20070315_120000~120001.aif", 22050, 1, 22050);
    ZuPlayer& p = launch();
    select(0);
    press(p.playButton);
    run(10);
    // 10 cycles of 512 frames took 2560 samples: 5120 bytes of the file.
    EXPECT_EQ(p.readPos(), 10 * 512 * 8 * 22050 / (44100 * 4));
    const std::vector<float> out = played();
    ASSERT_GE(out.size(), 10u * 512 * 2);
    for (size_t i = 0; i < 10 * 512 * 2; ++i)
        ASSERT_EQ(out[i], f(sampleAt(int64_t(i / 4)))) << i;
}

TEST_F(PlayerFixture, ASelectedRangePlaysExactlyItsRangeAndEndlessPlayLoopsIt) {
    const int64_t frames = 44100 * 4;
    writeRecording("_Nightwarden_20070315_120000~120004.aif", 44100, 2, frames);
    ZuPlayer& p = launch();
    select(0);
    p.waveView()->setSelectedRange({120, 24});
    const int64_t head = p.headPosition();
    const int64_t tail = p.tailPosition();
    EXPECT_EQ(head, frames * 4 * 120 / 480);
    EXPECT_EQ(tail, frames * 4 * 144 / 480);
    const size_t rangeFloats = size_t(tail - head) / 2;
    const auto rangeAt = [head](size_t i) {
        return f(sampleAt(head / 2 + int64_t(i)));
    };

    press(p.endlessPlayCheck, 0);
    press(p.playButton);
    run(uint32_t(rangeFloats / 1024) + 20);
    std::vector<float> out = sounded();
    ASSERT_EQ(out.size(), rangeFloats);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], rangeAt(i)) << i;
    EXPECT_FALSE(p.playbacking());

    // Endless: the range again and again, not a sample missing or repeated
    // at the loop, for longer than the queue holds.
    press(p.endlessPlayCheck, 1);
    const size_t before = played().size();
    press(p.playButton);
    run(uint32_t(44100 * 6 / 512));
    // The device ran on, silent, while playback was stopped.
    out = played();
    out.erase(out.begin(), out.begin() + ptrdiff_t(before));
    ASSERT_GE(out.size(), rangeFloats * 3);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], rangeAt(i % rangeFloats)) << i;
    EXPECT_TRUE(p.playbacking());
    EXPECT_GE(p.readPos(), head);
    EXPECT_LE(p.readPos(), tail);
}

TEST_F(PlayerFixture, BackStopsAtTheHeadAndFastAtTheTail) {
    const int64_t frames = 44100 * 2;
    writeRecording("_Nightwarden_20070315_120000~120002.aif", 44100, 2, frames);
    ZuPlayer& p = launch();
    select(0);
    p.setStepFast(10);
    press(p.fastButton);
    EXPECT_EQ(p.readPos(), 10 * p.fastSize());
    press(p.backButton);
    EXPECT_EQ(p.readPos(), 0);
    press(p.backButton);
    EXPECT_EQ(p.readPos(), 0);
    for (int i = 0; i < 20; ++i)
        press(p.fastButton);
    EXPECT_EQ(p.readPos(), p.numDatas());
    EXPECT_EQ(p.pointSlider.value(), double(p.numDatas()));
    // Within a selection the moves stay inside it; head and tail go to its ends.
    p.waveView()->setSelectedRange({240, 48});
    press(p.headButton);
    EXPECT_EQ(p.readPos(), p.headPosition());
    press(p.backButton);
    EXPECT_EQ(p.readPos(), p.headPosition());
    press(p.tailButton);
    EXPECT_EQ(p.readPos(), p.tailPosition());
    press(p.fastButton);
    EXPECT_EQ(p.readPos(), p.tailPosition());
    // The slider lands on whole frames inside the range.
    p.pointSlider.setValue(double(p.headPosition() + 4099));
    p.pointSlider.perform();
    EXPECT_EQ(p.readPos(), p.headPosition() + 4096);
    p.pointSlider.setValue(0);
    p.pointSlider.perform();
    EXPECT_EQ(p.readPos(), p.headPosition());
}

TEST_F(PlayerFixture, TheTimeLabelsOfARecordingOverMidnightWrapToTheNextDay) {
    writeRecording("_Nightwarden_20070315_230000~030000.aif", 44100, 2, 1000);
    ZuPlayer& p = launch();
    select(0);
    EXPECT_EQ(p.headTimeText.text(), "23:00:00");
    EXPECT_EQ(p.tailTimeText.text(), "03:00:00");
    EXPECT_EQ(p.quarterTimeText.text(), "00:00:00");
    EXPECT_EQ(p.halfTimeText.text(), "01:00:00");
    EXPECT_EQ(p.threeQuarterTimeText.text(), "02:00:00");
    EXPECT_EQ(p.currentTimeText.text(), "23:00:00.00");
    // A selection from the middle column to three quarters.
    p.waveView()->setSelectedRange({240, 120});
    p.pointSlider.setValue(double(p.numDatas() * 3 / 4));
    p.pointSlider.perform();
    EXPECT_EQ(p.currentTimeText.text(), "02:00:00.00");
}

TEST_F(PlayerFixture, WhenTheQueueRunsShortTheRestOfTheBufferIsSilence) {
    writeRecording("_Nightwarden_20070315_120000~120001.aif", 44100, 2, 100);
    ZuPlayer& p = launch();
    select(0);
    press(p.endlessPlayCheck, 0);
    press(p.playButton);
    // The device's buffer still holds an older cycle's sound.
    std::vector<float> samples(512 * 2, 0.75f);
    alignas(AuBufferList) unsigned char storage[auBufferListSize(1)];
    auto* output = reinterpret_cast<AuBufferList*>(storage);
    output->mNumberBuffers = 1;
    output->mBuffers[0] = {2, uint32_t(samples.size() * 4), samples.data()};
    p.playbackIOForDevice(nullptr, nullptr, nullptr, nullptr, output, nullptr, nullptr);
    for (size_t i = 0; i < 200; ++i)
        ASSERT_EQ(samples[i], f(sampleAt(int64_t(i)))) << i;
    for (size_t i = 200; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], 0.0f) << i;
}

TEST_F(PlayerFixture, ARecordingPast2GiBSeeksPlaysAndShowsItsTimes) {
    // A sparse file: 3 GiB of silence ending in two distinct frames.
    const int64_t size = int64_t(3) << 30;
    nwWriteAiff(folder() + "/_Nightwarden_20070315_200000~010420.aif", size / 2, sampleAt, 2,
                44100.0, size / 2 - 4);
    ZuPlayer& p = launch();
    select(0);
    ASSERT_EQ(p.numDatas(), int64_t(3) << 30);
    EXPECT_EQ(p.pointSlider.maxValue(), double(int64_t(3) << 30));
    EXPECT_EQ(p.tailPosition(), int64_t(3) << 30);
    // The last three quarters of the picture: from 2.25 GiB.
    p.waveView()->setSelectedRange({360, 120});
    EXPECT_EQ(p.headPosition(), int64_t(9) << 28);
    press(p.tailButton);
    EXPECT_EQ(p.readPos(), int64_t(3) << 30);
    p.waveView()->setSelectedRange({});
    p.pointSlider.setValue(double(size - 8));
    p.pointSlider.perform();
    EXPECT_EQ(p.readPos(), size - 8);
    // 20:00:00 and almost all of 5 h 4' 20": past midnight.
    const double at = 72000.0 + 18260.0 * double(size - 8) / double(size) - 86400.0;
    EXPECT_EQ(p.currentTimeText.text(), ZuPlayList::timeStringWithMiliSeconds(at));
    press(p.endlessPlayCheck, 0);
    press(p.playButton);
    run(1);
    const std::vector<float> out = played();
    ASSERT_GE(out.size(), 6u);
    for (int64_t i = 0; i < 4; ++i)
        EXPECT_EQ(out[size_t(i)], f(sampleAt(size / 2 - 4 + i))) << i;
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_EQ(p.readPos(), size);
}

TEST_F(PlayerFixture, AStereoRecordingAtMoreThanTwiceTheDeviceRateReadsItsLargerFeedWhole) {
    // Its feed reads more than two seconds at once, past a buffer sized for
    // the device's rate alone.
    writeRecording("_Nightwarden_20070315_120000~120003.aif", 96000, 2, 96000 * 3);
    ZuPlayer& p = launch();
    select(0);
    press(p.endlessPlayCheck, 0);
    press(p.playButton);
    run(10);
    const double ratio = 96000.0 / deviceRate;
    const std::vector<float> out = played();
    ASSERT_GE(out.size(), 10u * 512 * 2);
    double at = 0.0;
    for (size_t frame = 0; frame < 10 * 512; ++frame, at += ratio) {
        const auto source = int64_t(at);
        ASSERT_EQ(out[frame * 2], f(sampleAt(source * 2))) << frame;
        ASSERT_EQ(out[frame * 2 + 1], f(sampleAt(source * 2 + 1))) << frame;
    }
}

namespace {

// Distinct, never silent stereo floats from a starting value.
std::vector<float> shortSound(size_t frames, float from) {
    std::vector<float> sound(frames * 2);
    for (size_t i = 0; i < sound.size(); ++i)
        sound[i] = from + float(i + 1) / 32768.0f;
    return sound;
}

std::vector<float> after(const std::vector<float>& out, size_t start) {
    return std::vector<float>(out.begin() + ptrdiff_t(std::min(start, out.size())), out.end());
}

// The player with a stereo recording at the device rate selected, to be
// played once through.
class ShortSoundFixture : public PlayerFixture {
protected:
    ZuPlayer& launchWithRecording() {
        writeRecording("_Nightwarden_20070315_120000~120003.aif", 44100, 2, 44100 * 3);
        ZuPlayer& p = launch();
        select(0);
        press(p.endlessPlayCheck, 0);
        return p;
    }
};

} // namespace

TEST_F(ShortSoundFixture, AShortSoundPlaysOnceThenSilenceAndANewOneStartsOverItsRest) {
    ZuPlayer& p = launchWithRecording();
    // A recording played and stopped leaves sound in its queue.
    press(p.playButton);
    run(4);
    press(p.playButton, 0);
    const size_t start = played().size();
    const std::vector<float> first = shortSound(700, 0.0f);
    const std::vector<float> second = shortSound(1000, 0.5f);
    ASSERT_TRUE(p.playShortSound(first));
    EXPECT_TRUE(p.shortSoundPlaying());
    run(1);
    ASSERT_TRUE(p.playShortSound(second));
    run(4);
    const std::vector<float> out = after(played(), start);
    ASSERT_EQ(out.size(), 5u * cycleFrames * 2);
    std::vector<float> expected(first.begin(), first.begin() + cycleFrames * 2);
    expected.insert(expected.end(), second.begin(), second.end());
    expected.resize(out.size(), 0.0f);
    EXPECT_EQ(out, expected);
    // The device rests once a sound server has had time to play the last
    // buffers, and the sound is let go.
    EXPECT_TRUE(p.shortSoundPlaying());
    ZuClock::advance(2.0);
    EXPECT_FALSE(p.shortSoundPlaying());
    EXPECT_TRUE(controler->devicer()->playDevice()->isDevicePaused());
}

TEST_F(ShortSoundFixture, AShortSoundIsRefusedWhileARecordingPlaysAndEndsWhenOneStarts) {
    ZuPlayer& p = launchWithRecording();
    const size_t start = played().size();
    const std::vector<float> sound = shortSound(44100, 0.0f);
    ASSERT_TRUE(p.playShortSound(sound));
    run(1);
    press(p.playButton);
    EXPECT_FALSE(p.shortSoundPlaying());
    EXPECT_FALSE(p.playShortSound(shortSound(100, 0.0f)));
    run(2);
    const std::vector<float> out = after(played(), start);
    ASSERT_EQ(out.size(), 3u * cycleFrames * 2);
    for (size_t i = 0; i < cycleFrames * 2; ++i)
        ASSERT_EQ(out[i], sound[i]) << i;
    for (size_t i = cycleFrames * 2; i < out.size(); ++i)
        ASSERT_EQ(out[i], f(sampleAt(int64_t(i - cycleFrames * 2)))) << i;
}

TEST_F(PlayerFixture, TheDrawersMarkerPreviewPlaysTheChosenSoundAtTheDeviceRate) {
    ZuPlayer& p = launch();
    ZuPrefer& prefer = *controler->prefer();
    press(prefer.preferButton);
    ASSERT_TRUE(prefer.isOpen());
    EXPECT_TRUE(prefer.markerPlayButton.isEnabled());
    EXPECT_TRUE(prefer.markerPlayButton.toolTip().isEmpty());
    const int item = int(prefer.markerSoundPopup.items().indexOf("Tink"));
    ASSERT_GE(item, 0);
    // Choosing a sound plays it.
    prefer.markerSoundPopup.setSelectedIndex(item);
    prefer.markerSoundPopup.perform();
    EXPECT_TRUE(p.shortSoundPlaying());
    // Mono at 22 050 Hz, read independently: on the 44 100 Hz device each
    // sample is two frames, in both channels.
    const NwSound tink = NwSound::read(ZuPaths::systemSoundFolder() + "/Tink.aiff");
    ASSERT_EQ(tink.channels, 1);
    ASSERT_EQ(tink.rate, 22050);
    const size_t floats = tink.samples.size() * 4;
    run(uint32_t(floats / (cycleFrames * 2)) + 3);
    const std::vector<float> out = played();
    ASSERT_GE(out.size(), floats + cycleFrames * 2);
    for (size_t i = 0; i < floats; ++i)
        ASSERT_EQ(out[i], f(tink.samples[i / 4])) << i;
    for (size_t i = floats; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
    // The play button plays it again.
    ZuClock::advance(3.0);
    ASSERT_FALSE(p.shortSoundPlaying());
    press(prefer.markerPlayButton);
    EXPECT_TRUE(p.shortSoundPlaying());
}
