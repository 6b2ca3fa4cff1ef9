#include "AuTestHardware.h"
#include "audio/AuDevice.h"
#include "audio/AuDeviceDelegate.h"
#include "audio/AuDeviceListing.h"
#include "platform/hal/virtual/AuVirtualSignal.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <chrono>
#include <cmath>
#include <sndfile.h>
#include <thread>

namespace {

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

// The device events a test looks at.
struct Events : AuDeviceDelegate {
    std::vector<QString> calls;
    void audioDeviceDidDie(AuDevice*) override { calls.push_back("died"); }
    void audioDeviceNominalSampleRateDidChange(AuDevice*) override { calls.push_back("rate"); }
    void audioDeviceBufferSizeInFramesDidChange(AuDevice*) override { calls.push_back("size"); }
};

// A WAV file's samples, interleaved; its format in info.
std::vector<float> readWav(const QString& path, SF_INFO& info) {
    info = {};
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

class AuVirtualHardwareTest : public AuHardwareFixture {
protected:
    // One input and two output channels in cycles of 100 frames, the output
    // also written to out.wav.
    static AuVirtualDeviceConfig writingDevice() {
        auto config = device("Dev", "dev", 1, 2);
        config.info.bufferFrames = 100;
        config.outputFile = nwTestDir() + "/out.wav";
        return config;
    }
    // The device with that UID, started with the recorder as its client and
    // telling its events.
    static std::unique_ptr<AuDevice> started(const QString& uid, Recorder& recorder,
                                             Events* events = nullptr) {
        auto dev = AuDevice::deviceWithUID(uid);
        if (events)
            dev->setDelegate(events);
        dev->setIOTarget(&recorder, &Recorder::io, nullptr);
        EXPECT_TRUE(dev->deviceStart());
        return dev;
    }
};

// Whether this process holds the file open.
bool isOpen(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
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

TEST(AuVirtualSignals, AFileInputTellsItsRateOrWhyItCannotPlay) {
    const QString path = writeWav({0.1f, 0.2f, 0.3f}, 1, 22050);
    EXPECT_EQ(AuVirtualSignal::fileSampleRate(path), 22050.0);
    const auto devices = AuVirtualHardware::defaultDevices(*AuVirtualInput::parse("file:" + path));
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].info.nominalSampleRate, 22050.0); // the file never plays at another
    ASSERT_EQ(devices[0].info.sampleRates.size(), 1u);
    EXPECT_EQ(devices[0].info.sampleRates[0].mMinimum, 22050.0);
    EXPECT_EQ(devices[0].info.sampleRates[0].mMaximum, 22050.0);

    QFile text(nwTestDir() + "/notes.txt");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a sound\n");
    text.close();
    const QString headerOnly = writeWav({}, 2, 48000);
    const struct {
        QString path;
        const char* reason;
    } cases[] = {{nwTestDir() + "/missing.wav", "no such file"},
                 {nwTestDir(), "it is a folder"},
                 {text.fileName(), "it is not a sound file"},
                 {headerOnly, "it holds no sound"}};
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(AuVirtualSignal::fileSampleRate(c.path, &error));
        EXPECT_EQ(error, QStringLiteral("cannot play \"%1\": %2").arg(c.path, c.reason));
    }
}

TEST_F(AuVirtualHardwareTest, SteppedDeviceDeliversInputAndKeepsOutput) {
    auto config = writingDevice();
    config.input = *AuVirtualInput::parse("tone:100:0.5");
    auto& hardware = install({config});
    Recorder recorder;
    const auto dev = started("dev", recorder);
    EXPECT_EQ(hardware.step(dev->deviceID(), 4), 4u);
    dev->deviceStop();
    EXPECT_EQ(recorder.input.size(), 400u);
    EXPECT_NEAR(recorder.input[441 - 400 + 100], 0.5f * std::sin(2 * M_PI * 100 * 141 / 44100.0),
                1e-5);
    const auto out = hardware.capturedOutput(dev->deviceID());
    ASSERT_EQ(out.size(), 800u);
    EXPECT_FLOAT_EQ(out[199], 0.199f);
    SF_INFO info;
    EXPECT_EQ(readWav(config.outputFile, info).size(), 800u);
    EXPECT_EQ(info.frames, 400);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
}

TEST_F(AuVirtualHardwareTest, TheOutputFileRunsOnAcrossRestartsAndClosesWithTheDevice) {
    const auto config = writingDevice();
    auto& hardware = install({config});
    Recorder recorder;
    const auto dev = started("dev", recorder);
    EXPECT_EQ(hardware.step(dev->deviceID(), 2), 2u);
    dev->setDeviceBufferSizeInFrames(200); // a restart
    EXPECT_EQ(hardware.step(dev->deviceID()), 1u);
    dev->deviceStop();
    ASSERT_TRUE(dev->deviceStart());
    EXPECT_EQ(hardware.step(dev->deviceID()), 1u);
    dev->deviceStop();

    // Complete between runs: every cycle's ramp, in order.
    SF_INFO info;
    const auto samples = readWav(config.outputFile, info);
    ASSERT_EQ(info.frames, 100 + 100 + 200 + 200);
    for (size_t cycleStart : {0, 100, 200, 400})
        EXPECT_EQ(samples[cycleStart * 2], 0.0f) << "frame " << cycleStart;
    EXPECT_FLOAT_EQ(samples[2 * 199 + 1], 0.199f);
    EXPECT_FLOAT_EQ(samples[2 * 399 + 1], 0.399f);
    EXPECT_FLOAT_EQ(samples.back(), 0.399f);

    EXPECT_TRUE(isOpen(config.outputFile));
    hardware.unplugDevice(dev->deviceID());
    EXPECT_FALSE(isOpen(config.outputFile));
}

TEST_F(AuVirtualHardwareTest, AChangeARunningDeviceCannotOpenWithIsTakenBack) {
    auto& hardware = install({device("Dev", "dev")});
    Recorder recorder;
    Events events;
    const auto dev = started("dev", recorder, &events);
    hardware.refuseOpen = [](const AuHalDeviceInfo& info) {
        return info.nominalSampleRate == 48000 || info.bufferFrames == 1024;
    };
    EXPECT_FALSE(dev->setNominalSampleRate(48000));
    dev->setDeviceBufferSizeInFrames(1024);
    EXPECT_EQ(dev->nominalSampleRate(), 44100.0);
    EXPECT_EQ(dev->deviceBufferSizeInFrames(), 512u);
    EXPECT_EQ(dev->actualSampleRate(), 44100.0);
    // It runs on with the old settings, and nothing changed for its clients.
    EXPECT_EQ(hardware.step(dev->deviceID(), 2), 2u);
    EXPECT_EQ(recorder.input.size(), 1024u);
    EXPECT_TRUE(events.calls.empty());
    dev->deviceStop();
}

TEST_F(AuVirtualHardwareTest, ARunningDeviceThatCannotReopenAfterAChangeDies) {
    auto& hardware = install({device("Dev", "dev")});
    Recorder recorder;
    Events events;
    const auto dev = started("dev", recorder, &events);
    hardware.refuseOpen = [](const AuHalDeviceInfo&) {
        return true;
    };
    EXPECT_FALSE(dev->setNominalSampleRate(48000));
    EXPECT_EQ(events.calls, std::vector<QString>{"died"});
    EXPECT_EQ(dev->nominalSampleRate(), 44100.0);
    EXPECT_FALSE(hardware.isRunning(dev->deviceID()));
    EXPECT_EQ(hardware.step(dev->deviceID()), 0u);
    dev->deviceStop();
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
