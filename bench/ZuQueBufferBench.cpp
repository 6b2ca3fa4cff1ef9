// The sound queue against a plain single-threaded ring of the same size that
// copies with memcpy: the price of being safe for a concurrent writer and
// reader, as a ratio of the two times per sample.
#include "recording/ZuQueBuffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

class PlainRing {
public:
    explicit PlainRing(uint32_t samples) : storage(samples) {}
    void write(const float* data, uint32_t count) {
        const uint32_t first = std::min<uint32_t>(count, uint32_t(storage.size()) - put);
        std::memcpy(storage.data() + put, data, first * sizeof(float));
        std::memcpy(storage.data(), data + first, (count - first) * sizeof(float));
        put = (put + count) % uint32_t(storage.size());
        held = std::min<uint32_t>(held + count, uint32_t(storage.size()));
    }
    uint32_t read(float* data, uint32_t count) {
        count = std::min(count, held);
        const uint32_t get = (put + uint32_t(storage.size()) - held) % uint32_t(storage.size());
        const uint32_t first = std::min<uint32_t>(count, uint32_t(storage.size()) - get);
        std::memcpy(data, storage.data() + get, first * sizeof(float));
        std::memcpy(data + first, storage.data(), (count - first) * sizeof(float));
        held -= count;
        return count * 4;
    }

private:
    std::vector<float> storage;
    uint32_t put = 0;
    uint32_t held = 0;
};

using Clock = std::chrono::steady_clock;

// Blocks of an IO cycle written, then drained in the write thread's larger
// reads; a 44.1 kHz stereo queue of 160 seconds.
void BM_QueBufferWriteReadVsPlainRing(benchmark::State& state) {
    const uint32_t block = uint32_t(state.range(0));
    const uint32_t capacity = 44100 * 2 * 160;
    const uint32_t perRound = block * 64;
    auto queue = ZuQueBuffer::initQueWithLength(capacity * 4);
    PlainRing plain(capacity);
    std::vector<float> in(block, 0.25f);
    std::vector<float> out(perRound);
    double queSeconds = 0.0;
    double plainSeconds = 0.0;
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < 64; ++i)
            queue->writeFloat32Data(in.data(), block);
        benchmark::DoNotOptimize(queue->readFloat32Data(out.data(), perRound));
        auto middle = Clock::now();
        for (int i = 0; i < 64; ++i)
            plain.write(in.data(), block);
        benchmark::DoNotOptimize(plain.read(out.data(), perRound));
        auto end = Clock::now();
        queSeconds += std::chrono::duration<double>(middle - start).count();
        plainSeconds += std::chrono::duration<double>(end - middle).count();
        benchmark::ClobberMemory();
    }
    const double samples = double(state.iterations()) * perRound;
    state.counters["que_Msamples_per_s"] = samples / queSeconds / 1e6;
    state.counters["plain_Msamples_per_s"] = samples / plainSeconds / 1e6;
    state.counters["que_over_plain_time"] = queSeconds / plainSeconds;
}
BENCHMARK(BM_QueBufferWriteReadVsPlainRing)->Arg(256)->Arg(512)->Arg(4096);

} // namespace

BENCHMARK_MAIN();
