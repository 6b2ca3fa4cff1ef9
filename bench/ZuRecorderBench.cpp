// The recorder's data path against plain baselines, side by side:
// - the write conversion (decimation and 16-bit big-endian) in multiples of
//   real time at 48 kHz stereo, beside a plain copy of the same samples;
// - one IO cycle of the capture path (ring, convert list, queue) as a share of
//   the cycle's duration, beside a device with an empty IO callback;
// - a minute of sound through the write path (queue, conversion, file write
//   and header update) in one-second batches beside five-second ones, with
//   the ratio of their costs.
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuQueBuffer.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
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

// Seconds taken to move a minute of 48 kHz stereo through the write path in
// batches of the given length, as the write thread does: read the queue,
// convert, append to the file and bring its header up to date.
double minuteInBatches(const QString& path, uint32_t batchSeconds) {
    constexpr uint32_t minute = 60;
    const uint32_t batchSamples = uint32_t(rate) * 2 * batchSeconds;
    auto que = ZuQueBuffer::initQueWithLength(uint32_t(rate) * 80 * 2 * 4);
    std::vector<float> second(size_t(rate) * 2);
    for (size_t i = 0; i < second.size(); ++i)
        second[i] = float((i * 7919) % 2000) / 1000.0f - 1.0f;
    std::vector<float> work(batchSamples);
    AuStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = 2;
    auto file = ZuAudioFile::create(path, format);
    int64_t position = 0;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t s = 0; s < minute; s += batchSeconds) {
        for (uint32_t k = 0; k < batchSeconds; ++k)
            que->writeFloat32Data(second.data(), uint32_t(second.size()));
        const uint32_t got = que->readFloat32Data(work.data(), batchSamples);
        const uint32_t bytes = ZuRecorder::convertToFileSamples(work.data(), got / 8, 1, 2);
        file->writeBytes(position, bytes, work.data());
        file->synchronize();
        position += bytes;
    }
    file->close();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteBatchesOfOneSecondBesideFive(benchmark::State& state) {
    QTemporaryDir folder;
    double one = 0.0;
    double five = 0.0;
    for (auto _ : state) {
        one += minuteInBatches(folder.filePath("one.aif"), 1);
        five += minuteInBatches(folder.filePath("five.aif"), 5);
    }
    const double n = double(state.iterations());
    state.counters["one_s_batches_ms_per_min"] = one / n * 1000.0;
    state.counters["five_s_batches_ms_per_min"] = five / n * 1000.0;
    state.counters["cost_ratio"] = one / five;
    // The share of a core the one-second batches take while recording.
    state.counters["one_s_core_share"] = one / n / 60.0;
}
BENCHMARK(WriteBatchesOfOneSecondBesideFive)->Unit(benchmark::kMillisecond);

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
