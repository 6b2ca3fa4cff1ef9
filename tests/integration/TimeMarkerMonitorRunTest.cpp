// The time marker and the monitor heard from outside: the headless program on
// the paced virtual backend, its recording and its monitor output read back
// with an independent reader.
#include "NightwardenProcess.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int deviceRate = 44100;
constexpr int cycleFrames = 512;
constexpr int rampFrames = 40000;

float rampLeft(int64_t i) {
    return float(int(i % rampFrames) - 20000) / 32768.0f;
}
int16_t fileValue(float x) {
    return int16_t(std::clamp(x, -1.0f, 1.0f) * 32767.0f);
}
int16_t withMarker(float x, int16_t m) {
    return fileValue(x + float(m) / 32767.0f);
}

struct TimeMarkerMonitorRunTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QString folder = nwTestDir() + "/records";

    // Left and right of every frame differ, and from every other frame.
    QString ramp() const {
        std::vector<float> samples;
        for (int i = 0; i < rampFrames; ++i)
            samples.insert(samples.end(), {rampLeft(i), -rampLeft(i)});
        return nwWriteStereo(nwTestDir() + "/ramp.wav", deviceRate, samples);
    }
};

// The shipped marker at the device rate, as the program must make it: each
// 22 050 Hz sample of the mono sound twice, in both channels.
std::vector<int16_t> beepAtDeviceRate() {
    const NwSound beep = NwSound::read(nwSourceDir() + "/resources/sounds/Beep.aiff");
    EXPECT_EQ(beep.rate, 22050);
    EXPECT_EQ(beep.channels, 1);
    std::vector<int16_t> frames;
    for (int16_t sample : beep.samples)
        frames.insert(frames.end(), {sample, sample, sample, sample});
    return frames;
}

} // namespace

// A recording across 10:00 holds three copies of the marker, the first from
// the capture cycle after the minute tick, each of the others from a cycle
// after the one before ended; every other sample is the input.
TEST_F(TimeMarkerMonitorRunTest, TheHourIsMarkedThreeTimesOverTheUntouchedInput) {
    NightwardenProcess run(nwTestDir());
    run.start({"--headless",
               "--settings",
               settings,
               "--audio",
               "virtual",
               "--virtual-input",
               "file:" + ramp(),
               "--clock-start",
               "2007-03-15T09:59:52",
               "--set",
               "DirectoryPath=" + folder,
               "--set",
               "RecordSwitch=true",
               "--set",
               "SamplingRateNumber=2",
               "--set",
               "ChannelsNumber=2",
               "--set",
               "StartOnTheHour=false",
               "--set",
               "MarkerSoundSwitch=true",
               "--set",
               "MarkerSoundName=Beep",
               "--set",
               "MarkerSoundOption=2",
               "--quit-after",
               "12"});
    ASSERT_TRUE(run.waitForFinished(40000));
    ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList names =
        QDir(folder).entryList({"_Nightwarden_*.aif"}, QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 1) << names.join(", ").toStdString();
    EXPECT_TRUE(names[0].startsWith("_Nightwarden_20070315_0959")) << names[0].toStdString();
    const NwSound sound = NwSound::read(folder + "/" + names[0]);
    ASSERT_EQ(sound.rate, deviceRate);
    ASSERT_EQ(sound.channels, 2);
    const std::vector<int16_t> marker = beepAtDeviceRate();
    const int64_t markerFrames = int64_t(marker.size() / 2);
    ASSERT_GT(markerFrames, 0);

    // The device frame of the recording's first frame: the ramp says it, as
    // the recording begins within a ramp's length of the device's start.
    const auto frames = int64_t(sound.samples.size() / 2);
    int64_t first = -1;
    for (int i = 0; i < rampFrames && first < 0; ++i)
        if (fileValue(rampLeft(i)) == sound.samples[0])
            first = i;
    ASSERT_GE(first, 0);
    auto plain = [&](int64_t f) {
        const float x = rampLeft(first + f);
        return sound.samples[2 * f] == fileValue(x) && sound.samples[2 * f + 1] == fileValue(-x);
    };
    auto copyAt = [&](int64_t s) {
        if (s + markerFrames > frames)
            return false;
        for (int64_t j = 0; j < markerFrames; ++j) {
            const float x = rampLeft(first + s + j);
            if (sound.samples[2 * (s + j)] != withMarker(x, marker[2 * j]) ||
                sound.samples[2 * (s + j) + 1] != withMarker(-x, marker[2 * j + 1]))
                return false;
        }
        return true;
    };
    std::vector<int64_t> copies;
    int64_t f = 0;
    while (f < frames) {
        if (plain(f)) {
            ++f;
            continue;
        }
        // The copy's first samples may leave the input as it was.
        int64_t start = -1;
        const int64_t from =
            std::max<int64_t>(copies.empty() ? 0 : copies.back() + markerFrames, f - markerFrames);
        for (int64_t s = from; s <= f && start < 0; ++s)
            if (copyAt(s))
                start = s;
        ASSERT_GE(start, 0) << "frame " << f << " is neither the input nor in a marker copy";
        copies.push_back(start);
        f = start + markerFrames;
    }
    ASSERT_EQ(copies.size(), 3u);
    // The first from the cycle after 10:00:00, eight seconds of the clock
    // after the device began (less the moments the program took to start).
    const int64_t firstAt = first + copies[0];
    EXPECT_GE(firstAt, int64_t(7.5 * deviceRate));
    EXPECT_LE(firstAt, int64_t(8.05 * deviceRate));
    for (size_t i = 0; i < copies.size(); ++i) {
        EXPECT_EQ((first + copies[i]) % cycleFrames, 0) << "copy " << i;
        if (i > 0) {
            const int64_t gap = copies[i] - (copies[i - 1] + markerFrames);
            EXPECT_GE(gap, 0);
            EXPECT_LE(gap, int64_t(0.1 * deviceRate) + 2 * cycleFrames) << "copy " << i;
        }
    }
}

// The monitor device at 48 kHz, the record device at 44.1 kHz: a minute of
// the input tone comes out at its frequency and level, without a break.
TEST_F(TimeMarkerMonitorRunTest, TheMonitorPlaysTheInputAtItsOwnRateForAMinute) {
    const QString output = nwTestDir() + "/monitor.wav";
    NightwardenProcess run(nwTestDir());
    run.start({"--headless", "--settings", settings, "--audio", "virtual", "--virtual-input",
               "tone:1000:0.5", "--virtual-output", "48000:" + output, "--set",
               "DirectoryPath=" + folder, "--set", "MonitorSourceDevice=1", "--set",
               "MonitorSwitch=1", "--quit-after", "62"});
    ASSERT_TRUE(run.waitForFinished(90000));
    ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();

    SF_INFO info{};
    SNDFILE* file = sf_open(output.toUtf8().constData(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << output.toStdString();
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.channels, 2);
    std::vector<float> samples(size_t(info.frames) * 2);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    ASSERT_GE(info.frames, 61 * 48000);

    // From the second second to the last but one: a sine of 1000 Hz meets
    // x[n-1] + x[n+1] = 2 cos(w) x[n]; a dropout, a repeat or a jump breaks it
    // for a few dozen samples. Not one may break: the ring holds two blocks
    // ahead of the reader, so only a thread stalled for tens of
    // milliseconds could starve it.
    const double twoCos = 2.0 * std::cos(2.0 * std::numbers::pi * 1000.0 / 48000.0);
    const size_t begin = 48000;
    const size_t end = size_t(info.frames) - 48000;
    size_t broken = 0;
    size_t firstBroken = 0;
    double power[2] = {0.0, 0.0};
    for (size_t n = begin; n < end; ++n) {
        for (int c = 0; c < 2; ++c) {
            const double x = samples[2 * n + size_t(c)];
            const double residual =
                samples[2 * (n - 1) + size_t(c)] + samples[2 * (n + 1) + size_t(c)] - twoCos * x;
            if (std::abs(residual) > 0.01 && broken++ == 0)
                firstBroken = n;
            power[c] += x * x;
        }
    }
    EXPECT_EQ(broken, 0u) << "the first at frame " << firstBroken;
    for (double p : power)
        EXPECT_NEAR(std::sqrt(p / double(end - begin)), 0.5 / std::sqrt(2.0), 0.005);
}
