// The conversion buffer's cost per second of audio (44.1 kHz stereo in,
// 48 kHz stereo out, 512-frame blocks on both sides), beside a plain copy of
// the same blocks, and libsamplerate's converter qualities on their own. The
// counter "realtime" is the share of the second of audio the run took
// (printed in seconds per second: 6.5ms reads 0.65 %).
#include "audio/AuConversionBuffer.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <samplerate.h>
#include <vector>

namespace {

constexpr double kSourceRate = 44100;
constexpr double kDestinationRate = 48000;
constexpr uint32_t kBlock = 512;

void realtime(benchmark::State& state, double secondsPerIteration) {
    state.counters["realtime"] =
        benchmark::Counter(secondsPerIteration, benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
}

AuBufferList* toneList(uint32_t frames) {
    AuBufferList* list = AuBufferListNew(2, frames, true);
    auto* x = static_cast<float*>(list->mBuffers[0].mData);
    for (uint32_t f = 0; f < frames; ++f)
        x[2 * f] = x[2 * f + 1] = float(0.5 * std::sin(0.14 * f));
    return list;
}

void BM_ConversionBufferSecond(benchmark::State& state) {
    auto buffer = AuConversionBuffer::create(kSourceRate, 2, kBlock, kDestinationRate, 2, kBlock);
    AuBufferList* in = toneList(kBlock);
    AuBufferList* out = AuBufferListNew(2, kBlock, true);
    const int writes = int(std::ceil(kSourceRate / kBlock));
    const int reads = int(std::ceil(kDestinationRate / kBlock));
    for (auto _ : state) {
        for (int i = 0, w = 0; i < reads; ++i) {
            // Interleave the two sides at their own paces.
            for (; w < writes && w * reads <= i * writes; ++w)
                buffer->writeFromAudioBufferList(in, nullptr);
            buffer->readToAudioBufferList(out, nullptr);
        }
        benchmark::DoNotOptimize(out->mBuffers[0].mData);
    }
    realtime(state, 1.0);
    AuBufferListDispose(in);
    AuBufferListDispose(out);
}
BENCHMARK(BM_ConversionBufferSecond)->Unit(benchmark::kMillisecond);

// Baseline: the same blocks copied through a ring-sized staging list.
void BM_PlainCopySecond(benchmark::State& state) {
    AuBufferList* in = toneList(kBlock);
    AuBufferList* staging = AuBufferListNew(2, kBlock, false);
    AuBufferList* out = AuBufferListNew(2, kBlock, true);
    const int reads = int(std::ceil(kDestinationRate / kBlock));
    for (auto _ : state) {
        for (int i = 0; i < reads; ++i) {
            AuBufferListCopy(in, 0, staging, 0, kBlock);
            AuBufferListCopy(staging, 0, out, 0, kBlock);
        }
        benchmark::DoNotOptimize(out->mBuffers[0].mData);
    }
    realtime(state, 1.0);
    AuBufferListDispose(in);
    AuBufferListDispose(staging);
    AuBufferListDispose(out);
}
BENCHMARK(BM_PlainCopySecond)->Unit(benchmark::kMillisecond);

// libsamplerate's sinc converters on one second of stereo audio, to choose
// the quality the monitor path uses.
struct Feed {
    std::vector<float> block = std::vector<float>(kBlock * 2, 0.25f);
    static long pull(void* self, float** data) {
        *data = static_cast<Feed*>(self)->block.data();
        return kBlock;
    }
};

void BM_ResamplerSecond(benchmark::State& state) {
    Feed feed;
    int error = 0;
    SRC_STATE* converter = src_callback_new(Feed::pull, int(state.range(0)), 2, &error, &feed);
    std::vector<float> out(kBlock * 2);
    const int reads = int(std::ceil(kDestinationRate / kBlock));
    for (auto _ : state) {
        for (int i = 0; i < reads; ++i)
            src_callback_read(converter, kDestinationRate / kSourceRate, kBlock, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    realtime(state, 1.0);
    src_delete(converter);
}
BENCHMARK(BM_ResamplerSecond)
    ->Arg(SRC_SINC_BEST_QUALITY)
    ->Arg(SRC_SINC_MEDIUM_QUALITY)
    ->Arg(SRC_SINC_FASTEST)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
