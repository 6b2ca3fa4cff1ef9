#include "audio/AuDevice.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/portaudio/AuPortAudioHardware.h"
#include "support/NwConsoleCapture.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr double kRate = 48000;

// Keeps channel 0 of every input block in storage made beforehand, and the
// times of the first and the latest block.
struct Capture {
    std::vector<float> samples = std::vector<float>(size_t(kRate) * 30);
    std::atomic<size_t> frames{0};
    std::atomic<int64_t> firstNs{0}, lastNs{0};
    // Counts the blocks, and the deadline of a wait, for the waiting thread.
    std::atomic<uint32_t> events{0};

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
        events.fetch_add(1, std::memory_order_release);
        events.notify_all();
        return 0;
    }

    // Waits until that many frames have come (or the storage is full); false
    // when the stream stalls, so that a broken server fails the test instead
    // of hanging it.
    bool waitForFrames(size_t count) {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        std::atomic<bool> late{false};
        std::thread deadline([&] {
            std::unique_lock lock(mutex);
            if (!ended.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) {
                late = true;
                events.fetch_add(1, std::memory_order_release);
                events.notify_all();
            }
        });
        bool arrived = false;
        while (!late) {
            const uint32_t seen = events.load(std::memory_order_acquire);
            const size_t now = frames.load(std::memory_order_acquire);
            arrived = now >= count || now >= samples.size();
            if (arrived)
                break;
            events.wait(seen, std::memory_order_acquire);
        }
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        ended.notify_all();
        deadline.join();
        return arrived;
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

struct stat standardError() {
    struct stat now {};
    fstat(STDERR_FILENO, &now);
    return now;
}

// Real devices, except that duplex opens may be refused (a device that
// cannot run both directions at once); notes whether standard error still
// went to the same place whenever a stream opened.
class RefusingHardware : public AuPortAudioHardware {
public:
    bool refuseDuplex = false;
    int opens = 0;
    bool standardErrorMoved = false;

protected:
    PaError openStream(PaStream** stream, const PaStreamParameters* input,
                       const PaStreamParameters* output, double rate, unsigned long frames,
                       PaStreamCallback* callback, void* userData) override {
        ++opens;
        const struct stat now = standardError();
        standardErrorMoved =
            standardErrorMoved || now.st_dev != before.st_dev || now.st_ino != before.st_ino;
        if (refuseDuplex && input && output)
            return paInvalidDevice;
        return AuPortAudioHardware::openStream(stream, input, output, rate, frames, callback,
                                               userData);
    }

private:
    const struct stat before = standardError();
};

std::unique_ptr<AuDevice> deviceWithBothDirections() {
    for (auto& device : AuDevice::allDevices())
        if (device->channelsForDirection(0) > 0 && device->channelsForDirection(1) > 0)
            return std::move(device);
    return nullptr;
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
    const bool started = capture.waitForFrames(size_t(kRate / 2));
    if (started) {
        EXPECT_EQ(run(paplay,
                      {"-d", sink, nwWriteTone(nwTestDir() + "/tone.wav", kRate, 2.0, 997.0, 0.5)}),
                  0);
        EXPECT_TRUE(capture.waitForFrames(capture.frames.load() + size_t(kRate / 2)))
            << "the stream stalled after " << capture.frames.load() << " frames";
    }
    monitor->deviceStop();
    AuHardware::install(nullptr);
    ASSERT_TRUE(started) << "the stream stalled: " << capture.frames.load() << " of "
                         << size_t(kRate / 2) << " frames in 30 s";

    const size_t frames = capture.frames.load();
    // The loudest second is the tone.
    ASSERT_GT(frames, size_t(kRate));
    const NwToneCheck tone = NwToneCheck::loudestSecond(capture.samples, frames, kRate);
    EXPECT_NEAR(tone.rms, 0.5 / std::sqrt(2.0), 0.5 / std::sqrt(2.0) * 0.06); // about 0.5 dB
    EXPECT_NEAR(tone.hz, 997.0, 3.0);

    const double seconds = double(capture.lastNs - capture.firstNs) * 1e-9;
    ASSERT_GT(seconds, 1.0);
    // The first block arrives at the first time stamp, so the frames after it
    // span the measured time.
    const double rate = double(frames - 1024) / seconds;
    std::printf("captured %zu frames: tone rms %.4f, %.1f Hz, %.1f frames/s\n", frames, tone.rms,
                tone.hz, rate);
    EXPECT_NEAR(rate, kRate, kRate * 0.02) << "frames " << frames << " in " << seconds << " s";
}

// Opening a stream leaves standard error alone: other threads may be writing
// console lines meanwhile. A device that refuses duplex runs its input, and
// the silent output is said once.
TEST(AuPulseCapture, AStreamOpensWithoutMovingStandardErrorAndAHalfOpenDeviceSaysSo) {
    if (qEnvironmentVariable("NW_PULSE_SINK").isEmpty())
        GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                        "(eval \"$(scripts/pulse-test-server)\" starts one)";
    auto backend = std::make_unique<RefusingHardware>();
    RefusingHardware& hardware = *backend;
    AuHardware::install(std::move(backend));
    auto duplex = deviceWithBothDirections();
    ASSERT_NE(duplex, nullptr) << "the server offers no device with both directions";

    Capture capture;
    duplex->setIOTarget(&capture, &Capture::io, nullptr);
    ASSERT_TRUE(duplex->deviceStart());
    duplex->deviceStop();
    EXPECT_GT(hardware.opens, 0);
    EXPECT_FALSE(hardware.standardErrorMoved);

    NwConsoleCapture console;
    hardware.refuseDuplex = true;
    ASSERT_TRUE(duplex->deviceStart());
    const bool flowing = capture.waitForFrames(capture.frames.load() + 1024);
    duplex->deviceStop();
    ASSERT_TRUE(duplex->deviceStart());
    duplex->deviceStop();
    const QString name = duplex->deviceName();
    duplex.reset();
    AuHardware::install(nullptr);
    EXPECT_TRUE(flowing) << "no input after " << capture.frames.load() << " frames";
    EXPECT_EQ(console.lines().join('\n').toStdString(),
              QStringLiteral("portaudio: %1 opens for input only; its output is silent.")
                  .arg(name)
                  .toStdString());
}
