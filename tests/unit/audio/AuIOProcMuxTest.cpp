#include "audio/AuIOProcMux.h"
#include "AuTestHardware.h"
#include "audio/AuBufferList.h"
#include "audio/AuDevice.h"
#include "platform/ZuClock.h"
#include "support/NwConsoleCapture.h"

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

namespace {

// Writes its constant into every output sample and remembers the first input
// sample it saw.
struct ConstantClient {
    float value = 0;
    int cycles = 0;
    float lastInput = -100;
    const AuBufferList* lastOutputList = nullptr;
    uint32_t shortenTo = 0; // bytes; 0 keeps the size

    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList* in, const AuTimeStamp*,
                AuBufferList* out, const AuTimeStamp*, void*) {
        ++cycles;
        if (in)
            lastInput = static_cast<const float*>(in->mBuffers[0].mData)[0];
        lastOutputList = out;
        seenSize = out ? out->mBuffers[0].mDataByteSize : 0;
        if (out) {
            auto* samples = static_cast<float*>(out->mBuffers[0].mData);
            for (uint32_t i = 0; i < out->mBuffers[0].mDataByteSize / 4; ++i)
                samples[i] += value;
            if (shortenTo)
                out->mBuffers[0].mDataByteSize = shortenTo;
        }
        return 0;
    }
    uint32_t seenSize = 0;
};

class AuIOProcMuxTest : public AuHardwareFixture {
protected:
    AuTestHardware* hardware = nullptr;
    AuObjectID id = 0;
    void SetUp() override {
        auto config = device("Dev", "dev", 1, 2);
        config.input = *AuVirtualInput::parse("tone:1000:0.5");
        config.info.bufferFrames = 64;
        hardware = &install({config});
        id = hardware->deviceIDs().front();
    }
    std::unique_ptr<AuDevice> client(ConstantClient& c) {
        auto dev = AuDevice::deviceWithID(id);
        dev->setIOTarget(&c, &ConstantClient::io, nullptr);
        return dev;
    }
    float lastOutputSample() {
        const auto out = hardware->capturedOutput(id);
        return out.empty() ? -1000.0f : out.back();
    }
};

} // namespace

TEST_F(AuIOProcMuxTest, SingleClientGetsThePlatformListsUnchanged) {
    ConstantClient a{0.25f};
    auto dev = client(a);
    ASSERT_TRUE(dev->deviceStart());
    hardware->step(id, 3);
    EXPECT_EQ(a.cycles, 3);
    EXPECT_EQ(lastOutputSample(), 0.25f);
    const AuBufferList* platformList = a.lastOutputList;
    hardware->step(id);
    EXPECT_EQ(a.lastOutputList, platformList); // the same list object every cycle
}

TEST_F(AuIOProcMuxTest, TwoClientsShareInputAndOutputsAreSummed) {
    ConstantClient a{0.25f}, b{0.5f};
    auto devA = client(a);
    auto devB = client(b);
    devA->deviceStart();
    devB->deviceStart();
    hardware->step(id, 5);
    EXPECT_EQ(a.cycles, 5);
    EXPECT_EQ(b.cycles, 5);
    EXPECT_EQ(a.lastInput, b.lastInput);
    EXPECT_EQ(lastOutputSample(), 0.75f);
    ASSERT_NE(a.lastOutputList, nullptr); // both wrote into a private list
}

TEST_F(AuIOProcMuxTest, StartingTwiceRegistersOnce) {
    ConstantClient a{0.25f}, b{0.5f};
    auto devA = client(a);
    auto devB = client(b);
    devA->deviceStart();
    devA->deviceStart();
    devB->deviceStart();
    EXPECT_EQ(AuIOProcMux::muxForDevice(devA.get()).deviceCount(), 2u);
    hardware->step(id);
    EXPECT_EQ(a.cycles, 1);
    EXPECT_EQ(lastOutputSample(), 0.75f);
}

TEST_F(AuIOProcMuxTest, StoppingOneOfTwoKeepsTheHardwareRunning) {
    ConstantClient a{0.25f}, b{0.5f};
    auto devA = client(a);
    auto devB = client(b);
    devA->deviceStart();
    devB->deviceStart();
    devA->deviceStop();
    EXPECT_TRUE(hardware->isRunning(id));
    hardware->step(id);
    EXPECT_EQ(a.cycles, 0);
    EXPECT_EQ(lastOutputSample(), 0.5f);
    devB->deviceStop();
    EXPECT_FALSE(hardware->isRunning(id));
    EXPECT_FALSE(AuIOProcMux::muxForDevice(devB.get()).isRunning());
    EXPECT_EQ(hardware->step(id), 0u);
}

TEST_F(AuIOProcMuxTest, PausedClientContributesSilence) {
    ConstantClient a{0.25f}, b{0.5f};
    auto devA = client(a);
    auto devB = client(b);
    devA->deviceStart();
    devB->deviceStart();
    devB->setDevicePaused(true);
    hardware->step(id, 2);
    EXPECT_EQ(b.cycles, 0);
    EXPECT_EQ(lastOutputSample(), 0.25f);
    devB->setDevicePaused(false);
    hardware->step(id);
    EXPECT_EQ(b.cycles, 1);
    EXPECT_EQ(lastOutputSample(), 0.75f);
}

TEST_F(AuIOProcMuxTest, AShortenedBufferAffectsOnlyItsOwnMix) {
    ConstantClient a{0.25f}, b{0.5f};
    a.shortenTo = 8; // one stereo frame
    auto devA = client(a);
    auto devB = client(b);
    devA->deviceStart();
    devB->deviceStart();
    hardware->step(id);
    const auto out = hardware->capturedOutput(id);
    ASSERT_EQ(out.size(), 128u);
    const bool aFirst = a.seenSize == 512u && b.seenSize == 512u;
    EXPECT_TRUE(aFirst); // both saw the full size despite a's shortening
    EXPECT_EQ(out[0], 0.75f);
    EXPECT_EQ(out[1], 0.75f);
    EXPECT_EQ(out[2], 0.5f); // past a's shortened mix
}

TEST_F(AuIOProcMuxTest, AnOutputThePrivateListCannotTakeStillRunsEveryClientAndIsReportedOnce) {
    ZuClock::useManual(QDateTime(QDate(2026, 5, 1), QTime(3, 0)));
    NwConsoleCapture console;
    ConstantClient a{0.25f}, b{0.5f};
    auto devA = client(a);
    auto devB = client(b);
    devA->deviceStart();
    devB->deviceStart();
    AuIOProcMux& mux = AuIOProcMux::muxForDevice(devA.get());
    const auto reports = [&console] {
        return console.lines().filter("does not fit its stream layout").size();
    };

    // The device reported two output channels and at most 4096 frames.
    const std::unique_ptr<AuBufferList, void (*)(AuBufferList*)> input(AuBufferListNew(1, 64, true),
                                                                       AuBufferListDispose);
    for (const auto& [channels, frames] : {std::pair{3u, 64u}, std::pair{2u, 8192u}}) {
        const std::unique_ptr<AuBufferList, void (*)(AuBufferList*)> output(
            AuBufferListNew(channels, frames, true), AuBufferListDispose);
        const AuTimeStamp now;
        mux.dispatchIOProcs(&now, input.get(), &now, output.get(), &now);
        EXPECT_EQ(a.lastOutputList, nullptr) << channels;
        EXPECT_EQ(b.lastOutputList, nullptr) << channels;
        const auto* samples = static_cast<const float*>(output->mBuffers[0].mData);
        EXPECT_EQ(samples[0], 0.0f) << channels; // left as handed in
    }
    EXPECT_EQ(a.cycles, 2);
    EXPECT_EQ(b.cycles, 2);
    EXPECT_EQ(reports(), 0); // nothing is written on the IO thread

    ZuClock::advance(1.0);
    EXPECT_EQ(reports(), 1);
    const std::unique_ptr<AuBufferList, void (*)(AuBufferList*)> misfit(
        AuBufferListNew(3, 64, true), AuBufferListDispose);
    const AuTimeStamp now;
    mux.dispatchIOProcs(&now, input.get(), &now, misfit.get(), &now);
    ZuClock::advance(5.0);
    EXPECT_EQ(reports(), 1);

    // An output that fits is mixed as before.
    hardware->step(id);
    EXPECT_EQ(lastOutputSample(), 0.75f);
    EXPECT_NE(a.lastOutputList, nullptr);
}

TEST_F(AuIOProcMuxTest, FailedStartLeavesTheMultiplexerEmpty) {
    auto busyConfig = device("Busy", "busy");
    busyConfig.failToStart = true;
    const AuObjectID busyID = hardware->plugDevice(busyConfig);
    ConstantClient a{0.25f};
    auto dev = AuDevice::deviceWithID(busyID);
    dev->setIOTarget(&a, &ConstantClient::io, nullptr);
    EXPECT_FALSE(dev->deviceStart());
    EXPECT_FALSE(dev->isDeviceStarted());
    auto& mux = AuIOProcMux::muxForDevice(dev.get());
    EXPECT_FALSE(mux.isRunning());
    EXPECT_EQ(mux.deviceCount(), 0u);
}

TEST_F(AuIOProcMuxTest, ConcurrentRegistrationWhileTheDeviceRuns) {
    // A real-time paced device: its own IO thread calls both clients while
    // this thread keeps starting, pausing and stopping one of them.
    auto config = device("Paced", "paced", 1, 2);
    config.input = *AuVirtualInput::parse("tone:440:0.5");
    config.info.bufferFrames = 64;
    install({config}, AuVirtualHardware::Pacing::RealTime);
    struct Counting {
        std::atomic<int> cycles{0};
        AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList*, const AuTimeStamp*,
                    AuBufferList* out, const AuTimeStamp*, void*) {
            if (out)
                static_cast<float*>(out->mBuffers[0].mData)[0] += 1.0f;
            cycles.fetch_add(1);
            cycles.notify_all();
            return 0;
        }
    } steady, flapping;
    auto devSteady = AuDevice::deviceWithUID("paced");
    auto devFlapping = AuDevice::deviceWithUID("paced");
    devSteady->setIOTarget(&steady, &Counting::io, nullptr);
    devFlapping->setIOTarget(&flapping, &Counting::io, nullptr);
    ASSERT_TRUE(devSteady->deviceStart());
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(devFlapping->deviceStart());
        const int seen = steady.cycles.load();
        steady.cycles.wait(seen); // at least one cycle with both registered
        devFlapping->setDevicePaused(true);
        const int paused = flapping.cycles.load();
        const int seenPaused = steady.cycles.load();
        steady.cycles.wait(seenPaused);
        EXPECT_EQ(flapping.cycles.load(), paused); // a returned pause means no more calls
        devFlapping->setDevicePaused(false);
        devFlapping->deviceStop();
    }
    devSteady->deviceStop();
    EXPECT_GT(flapping.cycles.load(), 0);
}

// The hardware runs with what its unpaused clients use together: the union of
// their directions, the shortest latency any of them needs, and no IO at all
// while every client is paused.
TEST_F(AuIOProcMuxTest, TheHardwareRunsWithWhatItsUnpausedClientsUse) {
    ConstantClient recorder, monitor;
    auto input = client(recorder);
    auto output = client(monitor);
    input->setIOUsage(1u << kAuDirectionInput, 0);
    output->setIOUsage(1u << kAuDirectionOutput, 256);
    const auto read = [&](const char(&code)[5]) {
        QByteArray bytes;
        static_cast<AuHardware*>(hardware)->getProperty({AuScope::Device, id, 0, 0, auFourCC(code)},
                                                        bytes);
        uint32_t value = 0;
        auPropertyValue(bytes, value);
        return value;
    };

    output->setDevicePaused(true);
    ASSERT_TRUE(output->deviceStart());
    EXPECT_FALSE(hardware->isRunning(id)) << "a paused client alone runs no IO";
    ASSERT_TRUE(input->deviceStart());
    EXPECT_TRUE(hardware->isRunning(id));
    EXPECT_EQ(read("iodr"), 1u << kAuDirectionInput);
    EXPECT_EQ(read("iolt"), 0u);

    output->setDevicePaused(false);
    EXPECT_EQ(read("iodr"), 3u);
    EXPECT_EQ(read("iolt"), 256u);
    hardware->step(id);
    EXPECT_EQ(monitor.cycles, 1);

    input->setIOUsage(1u << kAuDirectionInput, 128);
    EXPECT_EQ(read("iolt"), 128u) << "the shortest latency a client needs wins";

    input->setDevicePaused(true);
    output->setDevicePaused(true);
    EXPECT_FALSE(hardware->isRunning(id));
    output->setDevicePaused(false);
    EXPECT_TRUE(hardware->isRunning(id));
    EXPECT_EQ(read("iodr"), 1u << kAuDirectionOutput);
    EXPECT_EQ(read("iolt"), 256u);
    hardware->step(id);
    EXPECT_EQ(monitor.cycles, 2);
    EXPECT_EQ(recorder.cycles, 1) << "a paused client is skipped";
}
