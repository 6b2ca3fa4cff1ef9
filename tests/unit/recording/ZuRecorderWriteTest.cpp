// Capture and write: conversion, decimation, the prior time, the content of
// a recording against its input, and the size fields kept up to date.
#include "ZuRecorderTestSupport.h"
#include "recording/ZuAudioFile.h"

#include <cmath>
#include <limits>

namespace {

class RecorderWriteTest : public RecorderFixture {};

std::vector<uint8_t> converted(std::vector<float> frames, uint32_t ratio, int32_t channels) {
    const uint32_t count = uint32_t(frames.size() / 2);
    const uint32_t bytes = ZuRecorder::convertToFileSamples(frames.data(), count, ratio, channels);
    const auto* p = reinterpret_cast<const uint8_t*>(frames.data());
    return std::vector<uint8_t>(p, p + bytes);
}

} // namespace

TEST(RecorderConversion, SixteenBitBigEndianTruncatedAndClamped) {
    EXPECT_EQ(converted({0.5f, -0.5f}, 1, 2), (std::vector<uint8_t>{0x3f, 0xff, 0xc0, 0x01}));
    EXPECT_EQ(converted({1.0f, -1.0f}, 1, 2), (std::vector<uint8_t>{0x7f, 0xff, 0x80, 0x01}));
    // Beyond full scale clamps instead of wrapping; not-a-number is silence.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(converted({2.0f, -3.0f, nan, 1e30f}, 1, 2),
              (std::vector<uint8_t>{0x7f, 0xff, 0x80, 0x01, 0x00, 0x00, 0x7f, 0xff}));
}

TEST(RecorderConversion, DecimationTakesEveryRthFrameAndMonoKeepsTheLeft) {
    std::vector<float> frames;
    for (int i = 0; i < 7; ++i) {
        frames.push_back(float(i) / 32767.0f * 1.0001f);
        frames.push_back(float(-i) / 32767.0f * 1.0001f);
    }
    // Seven frames at ratio 2: three output frames, the seventh is dropped.
    EXPECT_EQ(converted(frames, 2, 2),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 2, 0xff, 0xfe, 0, 4, 0xff, 0xfc}));
    EXPECT_EQ(converted(frames, 1, 1),
              (std::vector<uint8_t>{0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}));
    std::vector<float> many(2048, 0.25f);
    EXPECT_EQ(converted(many, 2, 2).size(), 2048u);
}

TEST_F(RecorderWriteTest, AlwaysModeHoldsTheInputFromTheStartDecimated) {
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuSettings::standard().setInteger(1, "SamplingRateNumber");
    ZuRecorder& r = launch();
    run(2.0);
    switchRecording(1);
    run(3.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(names[0], "_Nightwarden_20070315_143024~143027.aif");
    const Sound sound = readSound(folder() + "/" + names[0]);
    EXPECT_EQ(sound.rate, 22050);
    ASSERT_EQ(sound.channels, 2);
    const size_t frames = sound.samples.size() / 2;
    EXPECT_NEAR(double(frames), 3.0 * 22050, 600);
    const int64_t first = inputFrameOf(sound.samples[0]);
    ASSERT_GE(first, 0);
    for (size_t k = 0; k < frames; ++k) {
        const uint64_t i = uint64_t(first) + 2 * k;
        ASSERT_EQ(sound.samples[2 * k], fileValue(rampLeft(i))) << k;
        ASSERT_EQ(sound.samples[2 * k + 1], fileValue(rampRight(i))) << k;
    }
    EXPECT_EQ(r.lastWrite(), double(frames * 4));
}

TEST_F(RecorderWriteTest, LevelModeStartsWithThePriorTimeAndMovesTheStartBack) {
    ZuSettings::standard().setInteger(1, "RecordMode");
    ZuSettings::standard().setInteger(10, "AutoStartLevel");
    ZuSettings::standard().setInteger(3, "PreBufferingSeconds");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuRecorder& r = launch();
    switchRecording(1);
    run(5.0);
    const uint64_t framesBefore = uint64_t(std::llround(5.0 * deviceRate / cycleFrames)) * 512;
    level = 15;
    r.controlAutoDelay();
    ASSERT_EQ(r.condition(), 1);
    EXPECT_EQ(r.inputCount(), 3.0 * deviceRate * 8);
    EXPECT_EQ(r.recordStartDate().msecsTo(ZuClock::now()), 3000);
    EXPECT_EQ(ZuSettings::standard().stringForKey("WriteStartTempFile"), "20070315_143024");
    run(1.0);
    level = 0;
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1);
    const Sound sound = readSound(folder() + "/" + names[0]);
    ASSERT_EQ(sound.channels, 1);
    // The file begins with the input of three seconds before the trigger.
    EXPECT_EQ(sound.samples[0], fileValue(rampLeft(framesBefore - 3 * 44100)));
    EXPECT_NEAR(double(sound.samples.size()), 4.0 * 44100, 1100);
}

TEST_F(RecorderWriteTest, TheTemporaryFileIsValidAiffAfterEveryBatch) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(2.0);
    const uint32_t written = r.writeSoundFile(0);
    EXPECT_GT(written, 0u);
    const QString temp = folder() + "/.NightwardenTempFile";
    const Sound sound = readSound(temp);
    EXPECT_EQ(sound.rate, 22050);
    EXPECT_EQ(double(sound.samples.size() * 2), r.writeCount());
    // The progress link shows the same growing file.
    const QString progress = ZuSettings::standard().stringForKey("ProgressSoundFileName");
    EXPECT_EQ(QFileInfo(progress).size(), QFileInfo(temp).size());
    switchRecording(0);
    EXPECT_FALSE(QFile::exists(progress));
    EXPECT_TRUE(ZuSettings::standard().stringForKey("ProgressSoundFileName").isEmpty());
}

TEST_F(RecorderWriteTest, FilesSplitBeforeTheirSoundOutgrowsTheHeaderFields) {
    ZuSettings::standard().setFloat(200000.0f, "MaxRecordTime");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuRecorder& r = launch();
    const double perSecond = 44100.0 * 2 * 2;
    const double capacity = double(ZuAudioFile::maxFileSize - 4096) / perSecond;
    EXPECT_LT(r.maxFileSeconds(), capacity - 120);
    EXPECT_GT(r.maxFileSeconds(), capacity - 200);
    ZuSettings::standard().setFloat(600.0f, "MaxRecordTime");
    controler->mechanic()->setMaxRecordTime(600.0);
    EXPECT_EQ(r.maxFileSeconds(), 600.0);
}

TEST_F(RecorderWriteTest, AStoredProgressNameOutsideTheRecordFolderIsNeverDeleted) {
    // A stale or edited setting naming some other file of the user's.
    const QString elsewhere = nwTestDir() + "/_Nightwarden_20070315_143022~143023.aif";
    const QString notARecording = folder() + "/notes.txt";
    for (const QString& path : {elsewhere, notARecording}) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    for (const QString& path : {elsewhere, notARecording}) {
        ZuSettings::standard().setString(path, "ProgressSoundFileName");
        ZuRecorder& r = launch();
        r.deleteProgressSoundFile();
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        EXPECT_TRUE(ZuSettings::standard().stringForKey("ProgressSoundFileName").isEmpty());
    }
}

TEST_F(RecorderWriteTest, AnImpossibleChannelCountRecordsStereoWithAMatchingHeader) {
    ZuSettings::standard().setInteger(5, "ChannelsNumber");
    ZuRecorder& r = launch();
    EXPECT_EQ(r.channels(), 2);
    switchRecording(1);
    run(1.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(readSound(folder() + "/" + names[0]).channels, 2);
}
