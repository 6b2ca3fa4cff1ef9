// Writing sound data through ZuAudioFile against plain write(2) calls of the
// same bytes to a file descriptor: the overhead of the file service, as a
// ratio of the two times (each including its close).
#include "recording/ZuAudioFile.h"

#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void BM_AudioFileWriteVsPlainWrite(benchmark::State& state) {
    const uint32_t block = uint32_t(state.range(0));
    const int blocks = int((16 << 20) / block); // 16 MiB per round
    const QString folder = QDir::tempPath();
    const QString ours = folder + "/nw_bench_ours.aif";
    const QByteArray plainName = QFile::encodeName(folder + "/nw_bench_plain.raw");
    std::vector<unsigned char> data(block, 0x5A);
    AuStreamBasicDescription format;
    format.mSampleRate = 44100;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = 2;
    double oursSeconds = 0.0;
    double plainSeconds = 0.0;
    for (auto _ : state) {
        auto start = Clock::now();
        {
            auto file = ZuAudioFile::create(ours, format);
            for (int i = 0; i < blocks; ++i)
                file->writeBytes(int64_t(i) * block, block, data.data());
            file->close();
        }
        auto middle = Clock::now();
        {
            const int fd = ::open(plainName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (int i = 0; i < blocks; ++i)
                benchmark::DoNotOptimize(::write(fd, data.data(), block));
            ::close(fd);
        }
        auto end = Clock::now();
        oursSeconds += std::chrono::duration<double>(middle - start).count();
        plainSeconds += std::chrono::duration<double>(end - middle).count();
    }
    QFile::remove(ours);
    QFile::remove(QFile::decodeName(plainName));
    const double bytes = double(state.iterations()) * blocks * block;
    state.counters["ours_MiB_per_s"] = bytes / oursSeconds / 1048576.0;
    state.counters["plain_MiB_per_s"] = bytes / plainSeconds / 1048576.0;
    state.counters["ours_over_plain_time"] = oursSeconds / plainSeconds;
}
// The write thread's five-second chunks at 22 050 Hz mono and 44 100 Hz stereo,
// and a small block.
BENCHMARK(BM_AudioFileWriteVsPlainWrite)
    ->Arg(4096)
    ->Arg(220500)
    ->Arg(882000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
