// The recorder's data path against plain baselines, side by side:
// - the write conversion (decimation and 16-bit big-endian) in multiples of
//   real time at 48 kHz stereo, beside a plain copy of the same samples;
// - one IO cycle of the capture path (ring, convert list, queue) as a share of
//   the cycle's duration, beside a device with an empty IO callback.
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr double rate = 48000.0;
constexpr uint32_t frames = 48000 * 5; // one write batch

std::vector<float> tone() {
    std::vector<float> samples(size_t(frames) * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float((i * 7919) % 2000) / 1000.0f - 1.0f;
    return samples;
}

void WriteConversion(benchmark::State& state) {
    const std::vector<float> source = tone();
    std::vector<float> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), source.size() * 4);
        benchmark::DoNotOptimize(ZuRecorder::convertToFileSamples(work.data(), frames, 1, 2));
    }
    state.counters["realtime_x"] =
        benchmark::Counter(double(state.iterations()) * frames / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(WriteConversion);

void PlainCopyBaseline(benchmark::State& state) {
    const std::vector<float> source = tone();
    std::vector<float> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), source.size() * 4);
        benchmark::DoNotOptimize(work.data());
    }
    state.counters["realtime_x"] =
        benchmark::Counter(double(state.iterations()) * frames / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(PlainCopyBaseline);

// A stepped virtual device at 48 kHz, 512 frames a cycle.
AuVirtualHardware* installDevice() {
    AuVirtualDeviceConfig config = AuVirtualDeviceConfig::standard("Bench", "bench", 2, 2);
    config.info.nominalSampleRate = rate;
    config.info.sampleRates = {{48000, 48000}};
    config.input = *AuVirtualInput::parse("tone:440:0.5");
    auto hardware = std::make_unique<AuVirtualHardware>(std::vector<AuVirtualDeviceConfig>{config},
                                                        AuVirtualHardware::Pacing::Stepped);
    AuVirtualHardware* raw = hardware.get();
    AuHardware::install(std::move(hardware));
    return raw;
}

void counterOfCycles(benchmark::State& state) {
    // Elapsed time over the sound the cycles carried: the callback's share.
    state.counters["cycle_share"] =
        benchmark::Counter(double(state.iterations()) * 512 / rate,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void CaptureCycle(benchmark::State& state) {
    QTemporaryDir home;
    ZuSettings::standard().setFilePath(home.filePath("bench.conf"));
    ZuSettings::standard().setString(home.filePath("records"), "DirectoryPath");
    ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
    AuVirtualHardware* hardware = installDevice();
    {
        ZuControler controler;
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        const AuObjectID device = controler.devicer()->recordDevice()->deviceID();
        for (auto _ : state)
            hardware->step(device, 1);
        counterOfCycles(state);
    }
    AuHardware::install(nullptr);
}
BENCHMARK(CaptureCycle);

AuStatus emptyIO(AuObjectID, const AuTimeStamp*, const AuBufferList*, const AuTimeStamp*,
                 AuBufferList*, const AuTimeStamp*, void*) {
    return 0;
}

void EmptyCycleBaseline(benchmark::State& state) {
    AuVirtualHardware* hardware = installDevice();
    {
        auto device = AuDevice::defaultInputDevice();
        device->setIOProc(emptyIO, nullptr);
        device->deviceStart();
        for (auto _ : state)
            hardware->step(device->deviceID(), 1);
        counterOfCycles(state);
        device->deviceStop();
    }
    AuHardware::install(nullptr);
}
BENCHMARK(EmptyCycleBaseline);

} // namespace
