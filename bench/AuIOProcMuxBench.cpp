// The multiplexer's cost per IO cycle with 1, 2 and 4 clients, beside the
// same clients called directly on the hardware's lists. The counter
// "realtime" is the share of the cycle's real time (512 frames at 48 kHz)
// that the run took (printed in seconds per second: 50us reads 0.005 %).
#include "audio/AuDevice.h"
#include "platform/hal/virtual/AuVirtualHardware.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

constexpr uint32_t kFrames = 512;
constexpr double kRate = 48000;
constexpr double kCycleSeconds = kFrames / kRate;

// A client doing what a light one does: read its input, add to its output.
struct Client {
    float gain = 0.5f;
    float sink = 0;
    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList* in, const AuTimeStamp*,
                AuBufferList* out, const AuTimeStamp*, void*) {
        const auto* x = static_cast<const float*>(in->mBuffers[0].mData);
        auto* y = static_cast<float*>(out->mBuffers[0].mData);
        const uint32_t n = out->mBuffers[0].mDataByteSize / 4;
        for (uint32_t i = 0; i < n; ++i)
            y[i] += gain * x[i];
        sink += y[0];
        return 0;
    }
};

AuVirtualDeviceConfig benchDevice() {
    auto config = AuVirtualDeviceConfig::standard("Bench", "bench", 2, 2);
    config.info.nominalSampleRate = kRate;
    config.info.bufferFrames = kFrames;
    config.captureFrames = 0;
    return config;
}

void realtime(benchmark::State& state, double secondsPerIteration) {
    state.counters["realtime"] =
        benchmark::Counter(secondsPerIteration, benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
}

void BM_MuxCycle(benchmark::State& state) {
    auto previous = AuHardware::install(std::make_unique<AuVirtualHardware>(
        std::vector<AuVirtualDeviceConfig>{benchDevice()}, AuVirtualHardware::Pacing::Stepped));
    auto& hardware = static_cast<AuVirtualHardware&>(AuHardware::current());
    const AuObjectID id = hardware.deviceIDs().front();
    std::vector<Client> clients(size_t(state.range(0)));
    std::vector<std::unique_ptr<AuDevice>> devices;
    for (Client& client : clients) {
        devices.push_back(AuDevice::deviceWithID(id));
        devices.back()->setIOTarget(&client, &Client::io, nullptr);
        devices.back()->deviceStart();
    }
    for (auto _ : state)
        hardware.step(id);
    realtime(state, kCycleSeconds);
    devices.clear();
    AuHardware::install(std::move(previous));
}
BENCHMARK(BM_MuxCycle)->Arg(1)->Arg(2)->Arg(4);

// Baseline: the hardware's cycle (input rendered, output cleared and kept)
// with the clients summed into the output by hand.
void BM_DirectCycle(benchmark::State& state) {
    std::vector<float> input(kFrames * 2, 0.25f), output(kFrames * 2), each(kFrames * 2);
    AuBufferList* in = static_cast<AuBufferList*>(std::malloc(auBufferListSize(1)));
    AuBufferList* out = static_cast<AuBufferList*>(std::malloc(auBufferListSize(1)));
    in->mNumberBuffers = out->mNumberBuffers = 1;
    in->mBuffers[0] = {2, uint32_t(input.size() * 4), input.data()};
    out->mBuffers[0] = {2, uint32_t(each.size() * 4), each.data()};
    std::vector<Client> clients(size_t(state.range(0)));
    for (auto _ : state) {
        std::memset(input.data(), 0, input.size() * 4);
        std::memset(output.data(), 0, output.size() * 4);
        for (Client& client : clients) {
            std::memset(each.data(), 0, each.size() * 4);
            client.io(nullptr, nullptr, in, nullptr, out, nullptr, nullptr);
            for (size_t i = 0; i < output.size(); ++i)
                output[i] += each[i];
        }
        benchmark::DoNotOptimize(output.data());
    }
    realtime(state, kCycleSeconds);
    std::free(in);
    std::free(out);
}
BENCHMARK(BM_DirectCycle)->Arg(1)->Arg(2)->Arg(4);

} // namespace

BENCHMARK_MAIN();
