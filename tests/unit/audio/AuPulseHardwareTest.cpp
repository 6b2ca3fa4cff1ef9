#include "platform/hal/pulse/AuPulseHardware.h"

#include "audio/AuDevice.h"
#include "audio/AuDeviceDelegate.h"
#include "support/NwConsoleCapture.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <pulse/pulseaudio.h>

// The native backend against the server scripts/pulse-test-server starts
// (NW_PULSE_SINK names its null sink): the server's devices, a tone through
// them, the server failing a stream, and devices coming and going while one
// runs.

namespace {

// Keeps channel 0 of every input block in storage made beforehand, and
// checks that each block's sample time follows the one before.
struct Capture {
    std::vector<float> samples = std::vector<float>(48000 * 40);
    std::atomic<size_t> frames{0};
    std::atomic<uint32_t> calls{0};
    std::atomic<uint32_t> oddSizes{0};
    std::atomic<double> gapFrames{0.0};
    double nextSampleTime = -1.0;
    uint32_t expectedFrames = 0;

    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList* in, const AuTimeStamp* inTime,
                AuBufferList*, const AuTimeStamp*, void*) {
        if (!in)
            return 0;
        const uint32_t channels = in->mBuffers[0].mNumberChannels;
        const uint32_t count = in->mBuffers[0].mDataByteSize / 4 / channels;
        if (count != expectedFrames)
            oddSizes.fetch_add(1);
        if ((inTime->mFlags & kAuTimeStampSampleTimeValid) && nextSampleTime >= 0.0 &&
            inTime->mSampleTime != nextSampleTime)
            gapFrames.store(gapFrames.load() + inTime->mSampleTime - nextSampleTime);
        nextSampleTime = inTime->mSampleTime + count;
        const auto* data = static_cast<const float*>(in->mBuffers[0].mData);
        size_t at = frames.load(std::memory_order_relaxed);
        for (uint32_t f = 0; f < count && at < samples.size(); ++f, ++at)
            samples[at] = data[size_t(f) * channels];
        frames.store(at, std::memory_order_release);
        calls.fetch_add(1);
        return 0;
    }
};

// Hears the device's death.
struct DeathWatch : AuDeviceDelegate {
    int deaths = 0;
    void audioDeviceDidDie(AuDevice*) override { ++deaths; }
};

// Spins the event loop (posted device changes arrive through it) until the
// condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, double seconds = 10.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

QString pactl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Ends a record stream on the server's side, as a server in trouble does
// (pactl has no command for it).
bool killSourceOutput(uint32_t index) {
    struct Result {
        bool done = false;
        bool killed = false;
    } result;
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "nw-test");
    bool asked = false;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
        for (int i = 0; i < 2000 && !result.done; ++i) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
                break;
            if (state == PA_CONTEXT_READY && !asked) {
                asked = true;
                pa_operation_unref(pa_context_kill_source_output(
                    context, index,
                    [](pa_context*, int success, void* data) {
                        auto* r = static_cast<Result*>(data);
                        r->killed = success != 0;
                        r->done = true;
                    },
                    &result));
            }
            pa_mainloop_iterate(loop, 1, nullptr);
        }
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return result.killed;
}

// Our record streams on the server (the float ones: the test server's own
// reader takes 16-bit samples).
QStringList ourSourceOutputs() {
    QStringList ids;
    for (const QString& line : pactl({"list", "short", "source-outputs"}).split('\n'))
        if (line.contains("float32"))
            ids << line.section('\t', 0, 0);
    return ids;
}

class AuPulseHardwareTest : public ::testing::Test {
protected:
    QString sink;
    double rate = 48000;
    AuPulseHardware* hardware = nullptr;

    void SetUp() override {
        sink = qEnvironmentVariable("NW_PULSE_SINK");
        if (sink.isEmpty())
            GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                            "(eval \"$(scripts/pulse-test-server)\" starts one)";
        rate = qEnvironmentVariable("NW_PULSE_RATE", "48000").toDouble();
        auto backend = std::make_unique<AuPulseHardware>();
        hardware = backend.get();
        ASSERT_TRUE(hardware->isConnected());
        AuHardware::install(std::move(backend));
    }
    void TearDown() override { AuHardware::install(nullptr); }

    std::unique_ptr<AuDevice> deviceWithUID(const QString& uid) {
        return AuDevice::deviceWithUID(uid);
    }
    // Waits until that many more frames have come.
    static bool more(Capture& capture, size_t frames) {
        const size_t until = capture.frames.load() + frames;
        return waitFor([&] { return capture.frames.load() >= until; });
    }
};

} // namespace

TEST_F(AuPulseHardwareTest, TheServersSinksAndSourcesAreDevicesWithTheirOwnRateAndTwoChannels) {
    EXPECT_EQ(hardware->backendName(), "pulse");
    auto output = deviceWithUID("sink:" + sink);
    auto input = deviceWithUID("source:" + sink + ".monitor");
    ASSERT_NE(output, nullptr);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(output->deviceName(), sink);
    EXPECT_EQ(input->deviceName(), "Monitor of " + sink);
    EXPECT_EQ(output->channelsForDirection(kAuDirectionOutput), 2u);
    EXPECT_EQ(output->channelsForDirection(kAuDirectionInput), 0u);
    EXPECT_EQ(input->channelsForDirection(kAuDirectionInput), 2u);
    EXPECT_EQ(input->nominalSampleRate(), rate);
    // Only the rate the server runs at, so that it converts nothing.
    ASSERT_EQ(input->nominalSampleRates().size(), 1u);
    EXPECT_FALSE(input->setNominalSampleRate(rate == 48000 ? 44100 : 48000));

    pactl({"set-default-source", sink + ".monitor"});
    pactl({"set-default-sink", sink});
    ASSERT_TRUE(waitFor([&] {
        auto in = AuDevice::defaultInputDevice();
        auto out = AuDevice::defaultOutputDevice();
        return in && out && in->deviceUID() == input->deviceUID() &&
               out->deviceUID() == output->deviceUID();
    })) << "the server's default roles are the backend's";
}

TEST_F(AuPulseHardwareTest, AToneComesBackWholeInBuffersOfTheAskedSizeWithoutGaps) {
    const QString paplay = QStandardPaths::findExecutable("paplay");
    ASSERT_FALSE(paplay.isEmpty()) << "paplay is missing";
    auto monitor = deviceWithUID("source:" + sink + ".monitor");
    ASSERT_NE(monitor, nullptr);
    monitor->setDeviceBufferSizeInFrames(1024);
    Capture capture;
    capture.expectedFrames = 1024;
    monitor->setIOTarget(&capture, &Capture::io, nullptr);
    monitor->setIOUsage(1u << kAuDirectionInput, 0);
    ASSERT_TRUE(monitor->deviceStart());
    ASSERT_TRUE(more(capture, size_t(rate / 4))) << "the stream stalled";
    EXPECT_EQ(ourSourceOutputs().size(), 1);

    QProcess play;
    play.start(paplay, {"-d", sink, nwWriteTone(nwTestDir() + "/tone.wav", rate, 2.0, 997.0, 0.5)});
    ASSERT_TRUE(play.waitForFinished(20000));
    ASSERT_TRUE(more(capture, size_t(rate / 2)));
    monitor->deviceStop();
    EXPECT_TRUE(ourSourceOutputs().isEmpty()) << "a stopped device leaves no stream";

    EXPECT_EQ(capture.oddSizes.load(), 0u);
    EXPECT_EQ(capture.gapFrames.load(), 0.0);
    ASSERT_GT(capture.frames.load(), size_t(rate));
    const NwToneCheck tone = NwToneCheck::loudestSecond(capture.samples, capture.frames, rate);
    EXPECT_NEAR(tone.rms, 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(tone.hz, 997.0, 3.0);
}

TEST_F(AuPulseHardwareTest, AStreamTheServerEndsIsReopenedWithItsGapInTheSampleTimes) {
    auto monitor = deviceWithUID("source:" + sink + ".monitor");
    ASSERT_NE(monitor, nullptr);
    DeathWatch watch;
    monitor->setDelegate(&watch);
    Capture capture;
    capture.expectedFrames = monitor->deviceBufferSizeInFrames();
    monitor->setIOTarget(&capture, &Capture::io, nullptr);
    ASSERT_TRUE(monitor->deviceStart());
    ASSERT_TRUE(more(capture, size_t(rate / 4)));

    NwConsoleCapture console;
    const QStringList streams = ourSourceOutputs();
    ASSERT_EQ(streams.size(), 1);
    ASSERT_TRUE(killSourceOutput(streams.front().toUInt()));
    ASSERT_TRUE(waitFor([&] { return capture.gapFrames.load() > 0.0; }))
        << "no sound after the stream was ended";
    ASSERT_TRUE(more(capture, size_t(rate / 4)));
    monitor->deviceStop();

    EXPECT_EQ(watch.deaths, 0) << "a device still there is not dead";
    // Half a second passes before the reopening.
    EXPECT_GT(capture.gapFrames.load(), rate * 0.4);
    EXPECT_LT(capture.gapFrames.load(), rate * 3.0);
    const QString lines = console.lines().join('\n');
    EXPECT_TRUE(lines.contains("pulse: the stream of Monitor of " + sink + " failed"))
        << lines.toStdString();
    EXPECT_TRUE(lines.contains("runs again")) << lines.toStdString();
    monitor->setDelegate(nullptr);
}

TEST_F(AuPulseHardwareTest, ADeviceAddedAndRemovedWhileRunningIsSeenAndItsStreamDies) {
    std::atomic<int> listChanges{0};
    const AuPropertyAddress list{AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dev#")};
    const auto counter = [](const AuPropertyAddress&, void* data) {
        static_cast<std::atomic<int>*>(data)->fetch_add(1);
    };
    hardware->addPropertyListener(list, counter, &listChanges);
    const QString extra = sink + "_extra";
    const QString module = pactl(
        {"load-module", "module-null-sink", "sink_name=" + extra, "rate=" + QString::number(rate)});
    ASSERT_FALSE(module.isEmpty()) << "the server took no new sink";
    ASSERT_TRUE(waitFor([&] { return deviceWithUID("source:" + extra + ".monitor") != nullptr; }))
        << "the new device did not come";
    EXPECT_GE(listChanges.load(), 1);

    auto added = deviceWithUID("source:" + extra + ".monitor");
    DeathWatch watch;
    added->setDelegate(&watch);
    Capture capture;
    capture.expectedFrames = added->deviceBufferSizeInFrames();
    added->setIOTarget(&capture, &Capture::io, nullptr);
    ASSERT_TRUE(added->deviceStart());
    ASSERT_TRUE(more(capture, size_t(rate / 4)));

    const int before = listChanges.load();
    pactl({"unload-module", module});
    EXPECT_TRUE(waitFor([&] { return watch.deaths > 0; })) << "the running device did not die";
    EXPECT_TRUE(waitFor([&] { return !deviceWithUID("source:" + extra + ".monitor"); }));
    EXPECT_GT(listChanges.load(), before);
    added->setDelegate(nullptr);
    added.reset();

    // Back again, as a device plugged in once more.
    const QString again = pactl(
        {"load-module", "module-null-sink", "sink_name=" + extra, "rate=" + QString::number(rate)});
    EXPECT_TRUE(waitFor([&] { return deviceWithUID("source:" + extra + ".monitor") != nullptr; }));
    pactl({"unload-module", again});
    hardware->removePropertyListener(list, counter, &listChanges);
}

TEST_F(AuPulseHardwareTest, AllClientsPausedLeaveNoStreamAndTheLatencyFollowsTheMonitor) {
    auto monitor = deviceWithUID("source:" + sink + ".monitor");
    ASSERT_NE(monitor, nullptr);
    Capture capture;
    capture.expectedFrames = monitor->deviceBufferSizeInFrames();
    monitor->setIOTarget(&capture, &Capture::io, nullptr);
    monitor->setIOUsage(1u << kAuDirectionInput, 0);
    ASSERT_TRUE(monitor->deviceStart());
    ASSERT_TRUE(more(capture, size_t(rate / 4)));
    // A short latency is taken by the running stream, without a gap.
    monitor->setIOUsage(1u << kAuDirectionInput, 1024);
    ASSERT_TRUE(more(capture, size_t(rate / 4)));
    EXPECT_EQ(capture.gapFrames.load(), 0.0);
    EXPECT_EQ(ourSourceOutputs().size(), 1);

    monitor->setDevicePaused(true);
    EXPECT_TRUE(ourSourceOutputs().isEmpty());
    monitor->setDevicePaused(false);
    EXPECT_EQ(ourSourceOutputs().size(), 1);
    ASSERT_TRUE(more(capture, size_t(rate / 4)));
    monitor->deviceStop();
}
