#include "AuTestHardware.h"
#include "audio/AuDevice.h"
#include "audio/AuDeviceDelegate.h"
#include "audio/AuDeviceListing.h"
#include "platform/hal/virtual/AuVirtualSignal.h"
#include "support/NwTestSupport.h"

#include <QTextStream>
#include <chrono>
#include <cmath>
#include <sndfile.h>
#include <thread>

namespace {

class AuVirtualHardwareTest : public AuHardwareFixture {};

// Keeps every input frame it is handed (channel 0) and writes a ramp out.
struct Recorder {
    std::vector<float> input;
    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList* in, const AuTimeStamp*,
                AuBufferList* out, const AuTimeStamp*, void*) {
        const uint32_t ch = in->mBuffers[0].mNumberChannels;
        const auto* s = static_cast<const float*>(in->mBuffers[0].mData);
        for (uint32_t f = 0; f < in->mBuffers[0].mDataByteSize / 4 / ch; ++f)
            input.push_back(s[f * ch]);
        if (out) {
            auto* o = static_cast<float*>(out->mBuffers[0].mData);
            for (uint32_t i = 0; i < out->mBuffers[0].mDataByteSize / 4; ++i)
                o[i] = float(i) / 1000.0f;
        }
        return 0;
    }
};

QString writeWav(const std::vector<float>& samples, int channels, int rate) {
    const QString path = nwTestDir() + "/input.wav";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    sf_writef_float(file, samples.data(), sf_count_t(samples.size()) / channels);
    sf_close(file);
    return path;
}

} // namespace

TEST(AuVirtualInputParse, AcceptsTheFourFormsAndExplainsMistakes) {
    EXPECT_EQ(AuVirtualInput::parse("silence")->kind, AuVirtualInput::Kind::Silence);
    const auto tone = AuVirtualInput::parse("tone:997:0.25");
    ASSERT_TRUE(tone);
    EXPECT_EQ(tone->frequency, 997.0);
    EXPECT_EQ(tone->amplitude, 0.25);
    const auto bursts = AuVirtualInput::parse("bursts:0.5:1.5:0.8");
    ASSERT_TRUE(bursts);
    EXPECT_EQ(bursts->offSeconds, 1.5);
    const auto file = AuVirtualInput::parse("file:/tmp/a:b.wav");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->path, "/tmp/a:b.wav");
    QString error;
    EXPECT_FALSE(AuVirtualInput::parse("tone:997", &error));
    EXPECT_TRUE(error.contains("tone:HZ:AMP"));
    EXPECT_FALSE(AuVirtualInput::parse("tone:-5:0.5", &error));
    EXPECT_FALSE(AuVirtualInput::parse("tone:440:1.5", &error));
    EXPECT_FALSE(AuVirtualInput::parse("bursts:x:1:0.5", &error));
    EXPECT_FALSE(AuVirtualInput::parse("file:", &error));
    EXPECT_FALSE(AuVirtualInput::parse("noise", &error));
    EXPECT_TRUE(error.contains("silence"));
    EXPECT_EQ(AuVirtualInput::parse(tone->text())->frequency, 997.0);
}

TEST(AuVirtualSignals, BurstsAlternateNoiseAndSilence) {
    AuVirtualSignal signal(*AuVirtualInput::parse("bursts:0.01:0.02:0.5"), 1000);
    std::vector<float> samples(60);
    signal.render(samples.data(), 60, 1);
    double onEnergy = 0, offEnergy = 0;
    for (int i = 0; i < 60; ++i)
        ((i % 30) < 10 ? onEnergy : offEnergy) += samples[i] * samples[i];
    EXPECT_GT(onEnergy, 0.1);
    EXPECT_EQ(offEnergy, 0.0);
    for (float v : samples)
        ASSERT_LE(std::abs(v), 0.5f);
}

TEST(AuVirtualSignals, ToneHasItsFrequencyAndAmplitude) {
    AuVirtualSignal signal(*AuVirtualInput::parse("tone:1000:0.5"), 48000);
    std::vector<float> samples(48000 * 2);
    signal.render(samples.data(), 48000, 2);
    int crossings = 0;
    float peak = 0;
    for (int i = 1; i < 48000; ++i) {
        crossings += (samples[2 * (i - 1)] < 0) != (samples[2 * i] < 0);
        peak = std::max(peak, std::abs(samples[2 * i + 1]));
    }
    EXPECT_NEAR(crossings, 2000, 2);
    EXPECT_NEAR(peak, 0.5f, 0.001f);
}

TEST(AuVirtualSignals, FilePlaysLoopedOrOnce) {
    const QString path = writeWav({0.1f, 0.2f, 0.3f}, 1, 8000);
    AuVirtualInput input = *AuVirtualInput::parse("file:" + path);
    AuVirtualSignal looped(input, 8000);
    std::vector<float> out(7 * 2);
    looped.render(out.data(), 7, 2);
    EXPECT_EQ(out[12], 0.1f); // frame 6 is the file's first again, on both channels
    EXPECT_EQ(out[13], 0.1f);
    EXPECT_FALSE(looped.ended());
    input.loop = false;
    AuVirtualSignal once(input, 8000);
    once.render(out.data(), 7, 2);
    EXPECT_EQ(out[4], 0.3f);
    EXPECT_EQ(out[6], 0.0f);
    EXPECT_TRUE(once.ended());
    AuVirtualSignal missing(*AuVirtualInput::parse("file:/nonexistent.wav"), 8000);
    EXPECT_FALSE(missing.isValid());
    missing.render(out.data(), 7, 2);
    EXPECT_EQ(out[0], 0.0f);
}

TEST_F(AuVirtualHardwareTest, SteppedDeviceDeliversInputAndKeepsOutput) {
    auto config = device("Dev", "dev", 1, 2);
    config.input = *AuVirtualInput::parse("tone:100:0.5");
    config.info.bufferFrames = 100;
    config.outputFile = nwTestDir() + "/out.wav";
    auto& hardware = install({config});
    auto dev = AuDevice::deviceWithUID("dev");
    Recorder recorder;
    dev->setIOTarget(&recorder, &Recorder::io, nullptr);
    ASSERT_TRUE(dev->deviceStart());
    EXPECT_EQ(hardware.step(dev->deviceID(), 4), 4u);
    dev->deviceStop();
    EXPECT_EQ(recorder.input.size(), 400u);
    EXPECT_NEAR(recorder.input[441 - 400 + 100], 0.5f * std::sin(2 * M_PI * 100 * 141 / 44100.0),
                1e-5);
    const auto out = hardware.capturedOutput(dev->deviceID());
    ASSERT_EQ(out.size(), 800u);
    EXPECT_FLOAT_EQ(out[199], 0.199f);
    SF_INFO info{};
    SNDFILE* file = sf_open((nwTestDir() + "/out.wav").toUtf8().constData(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.frames, 400);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    sf_close(file);
}

TEST_F(AuVirtualHardwareTest, UnpluggedDeviceDiesAndLeavesTheList) {
    auto& hardware = install({device("A", "a"), device("B", "b")});
    auto dev = AuDevice::deviceWithUID("b");
    struct Dying : AuDeviceDelegate {
        int died = 0;
        void audioDeviceDidDie(AuDevice*) override { ++died; }
    } delegate;
    dev->setDelegate(&delegate);
    Recorder recorder;
    dev->setIOTarget(&recorder, &Recorder::io, nullptr);
    dev->deviceStart();
    hardware.unplugDevice(dev->deviceID());
    EXPECT_EQ(delegate.died, 1);
    EXPECT_EQ(AuDevice::allDevices().size(), 1u);
    EXPECT_TRUE(dev->deviceName().isNull());
    EXPECT_EQ(dev->nominalSampleRate(), 0.0);
    dev->deviceStop();
}

TEST_F(AuVirtualHardwareTest, ListingShowsWhatTheDevicesReport) {
    auto config = device("Desk Mic", "desk-mic", 1, 0);
    config.info.dataSources[1] = {"Internal microphone", "Line In"};
    config.info.sampleRates = {{44100, 44100}, {8000, 96000}};
    install({config, device("Speakers", "spk", 0, 2)});
    QString text;
    QTextStream out(&text);
    EXPECT_EQ(auWriteDeviceListing(out), 2);
    EXPECT_TRUE(text.contains("Desk Mic\n  UID: desk-mic\n  Channels: 1 in, 0 out\n"));
    EXPECT_TRUE(text.contains("  Rates: 44100, 8000-96000 Hz\n"));
    EXPECT_TRUE(text.contains("  Buffer size: 512 frames (64-4096)\n"));
    EXPECT_TRUE(text.contains("  Input sources: Internal microphone, Line In\n"));
    EXPECT_TRUE(text.contains("Speakers\n  UID: spk\n  Channels: 0 in, 2 out\n"));
}

TEST_F(AuVirtualHardwareTest, ListingSaysPlainlyWhenThereAreNoDevices) {
    install({});
    QString text;
    QTextStream out(&text);
    EXPECT_EQ(auWriteDeviceListing(out), 0);
    EXPECT_TRUE(text.contains("No audio devices found."));
    EXPECT_EQ(AuDevice::defaultInputDevice(), nullptr);
}

// A measurement rather than a check of logic: ten seconds of real-time pacing.
TEST_F(AuVirtualHardwareTest, MeasureRealTimePacingDeliversTheNominalRate) {
    auto config = device("Paced", "paced", 2, 2);
    config.info.nominalSampleRate = 48000;
    config.info.bufferFrames = 256;
    install({config}, AuVirtualHardware::Pacing::RealTime);
    struct Timing {
        std::thread::id thread;
        std::atomic<uint64_t> frames{0};
        std::chrono::steady_clock::time_point first, last;
        std::atomic<bool> done{false};
        AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList* in, const AuTimeStamp*,
                    AuBufferList*, const AuTimeStamp*, void*) {
            const auto now = std::chrono::steady_clock::now();
            const uint64_t n = frames.load(std::memory_order_relaxed);
            if (n == 0) {
                first = now;
                thread = std::this_thread::get_id();
            }
            const uint64_t total = n + in->mBuffers[0].mDataByteSize / 8;
            if (!done.load(std::memory_order_relaxed) && total >= 48000 * 10 + 256) {
                last = now;
                done.store(true, std::memory_order_release);
                done.notify_all();
            }
            frames.store(total, std::memory_order_relaxed);
            return 0;
        }
    } timing;
    auto dev = AuDevice::deviceWithUID("paced");
    dev->setIOTarget(&timing, &Timing::io, nullptr);
    ASSERT_TRUE(dev->deviceStart());
    timing.done.wait(false, std::memory_order_acquire);
    dev->deviceStop();
    const double seconds = std::chrono::duration<double>(timing.last - timing.first).count();
    const double rate = (48000.0 * 10 + 256 - 256) / seconds;
    EXPECT_NE(timing.thread, std::this_thread::get_id());
    EXPECT_NEAR(rate, 48000.0, 48000.0 * 0.005) << "measured " << rate << " frames/s";
}
