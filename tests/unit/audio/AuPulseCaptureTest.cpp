#include "audio/AuDevice.h"
#include "platform/hal/AuHardware.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <numbers>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kRate = 48000;

// Keeps channel 0 of every input block in storage made beforehand, and the
// times of the first and the latest block.
struct Capture {
    std::vector<float> samples = std::vector<float>(size_t(kRate) * 30);
    std::atomic<size_t> frames{0};
    std::atomic<int64_t> firstNs{0}, lastNs{0};

    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList* in, const AuTimeStamp*,
                AuBufferList*, const AuTimeStamp*, void*) {
        const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
        if (!in)
            return 0;
        const uint32_t channels = in->mBuffers[0].mNumberChannels;
        const uint32_t count = in->mBuffers[0].mDataByteSize / 4 / channels;
        const auto* data = static_cast<const float*>(in->mBuffers[0].mData);
        size_t at = frames.load(std::memory_order_relaxed);
        for (uint32_t f = 0; f < count && at < samples.size(); ++f, ++at)
            samples[at] = data[size_t(f) * channels];
        if (firstNs.load(std::memory_order_relaxed) == 0)
            firstNs.store(now, std::memory_order_relaxed);
        lastNs.store(now, std::memory_order_relaxed);
        frames.store(at, std::memory_order_release);
        frames.notify_all();
        return 0;
    }

    void waitForFrames(size_t count) {
        size_t now = frames.load(std::memory_order_acquire);
        while (now < count && now < samples.size()) {
            frames.wait(now, std::memory_order_acquire);
            now = frames.load(std::memory_order_acquire);
        }
    }
};

// Runs a program to its end; its exit status, or -1. A plain fork: the
// vfork-style spawn of QProcess shares memory with the child, which
// ThreadSanitizer then mistakes for this process.
int run(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

QString writeTone(double seconds) {
    const QString path = nwTestDir() + "/tone.wav";
    SF_INFO info{};
    info.samplerate = int(kRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples(size_t(seconds * kRate) * 2);
    for (size_t f = 0; f < samples.size() / 2; ++f)
        samples[2 * f] = samples[2 * f + 1] =
            float(0.5 * std::sin(2 * std::numbers::pi * 997.0 * double(f) / kRate));
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    sf_writef_float(file, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(file);
    return path;
}

} // namespace

// Against the server scripts/pulse-test-server starts: a tone played into its
// null sink with paplay comes back from the sink's monitor through the
// PortAudio backend, AuDevice and the multiplexer.
TEST(AuPulseCapture, ToneFromPaplayArrivesAtLevelAndRate) {
    const QString sink = qEnvironmentVariable("NW_PULSE_SINK");
    if (sink.isEmpty())
        GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                        "(eval \"$(scripts/pulse-test-server)\" starts one)";
    const QString paplay = QStandardPaths::findExecutable("paplay");
    ASSERT_FALSE(paplay.isEmpty()) << "paplay is missing";
    const QString pcm = qEnvironmentVariable("NW_PULSE_PCM", "nw_monitor");

    AuHardware::install(AuHardware::create("portaudio"));
    std::unique_ptr<AuDevice> monitor;
    for (auto& device : AuDevice::allDevices())
        if (device->deviceName() == pcm && device->channelsForDirection(1) > 0)
            monitor = std::move(device);
    ASSERT_NE(monitor, nullptr) << "no input device named " << pcm.toStdString();
    ASSERT_TRUE(monitor->setNominalSampleRate(kRate));
    monitor->setDeviceBufferSizeInFrames(1024);

    Capture capture;
    monitor->setIOTarget(&capture, &Capture::io, nullptr);
    ASSERT_TRUE(monitor->deviceStart());
    capture.waitForFrames(size_t(kRate / 2));

    EXPECT_EQ(run(paplay, {"-d", sink, writeTone(2.0)}), 0);
    capture.waitForFrames(capture.frames.load() + size_t(kRate / 2));
    monitor->deviceStop();
    AuHardware::install(nullptr);

    const size_t frames = capture.frames.load();
    const std::vector<float>& x = capture.samples;
    // The loudest second is the tone.
    const size_t window = size_t(kRate);
    ASSERT_GT(frames, window);
    double bestEnergy = -1;
    size_t bestStart = 0;
    for (size_t start = 0; start + window <= frames; start += window / 10) {
        double energy = 0;
        for (size_t i = start; i < start + window; ++i)
            energy += double(x[i]) * x[i];
        if (energy > bestEnergy) {
            bestEnergy = energy;
            bestStart = start;
        }
    }
    const double rms = std::sqrt(bestEnergy / double(window));
    EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.5 / std::sqrt(2.0) * 0.06); // within about 0.5 dB
    int crossings = 0;
    for (size_t i = bestStart + 1; i < bestStart + window; ++i)
        crossings += (x[i - 1] < 0) != (x[i] < 0);
    EXPECT_NEAR(crossings / 2.0, 997.0, 3.0);

    const double seconds = double(capture.lastNs - capture.firstNs) * 1e-9;
    ASSERT_GT(seconds, 1.0);
    // The first block arrives at the first time stamp, so the frames after it
    // span the measured time.
    const double rate = double(frames - 1024) / seconds;
    std::printf("captured %zu frames: tone rms %.4f, %.1f Hz, %.1f frames/s\n", frames, rms,
                crossings / 2.0, rate);
    EXPECT_NEAR(rate, kRate, kRate * 0.02) << "frames " << frames << " in " << seconds << " s";
}
