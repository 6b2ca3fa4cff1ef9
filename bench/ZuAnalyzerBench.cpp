// The waveform picture of a one-hour 44.1 kHz mono recording (317 520 000
// bytes of sound) beside a plain sequential read of the same file from the
// page cache, the bound a picture cannot beat, and beside ffmpeg's
// showwavespic filter on the same file where ffmpeg is installed. One run;
// the counters are the median times of five rounds and their ratios. A last figure shows that a
// picture drawn from a file not in the page cache leaves it out of the cache.
#include "playback/ZuAnalyzer.h"
#include "playback/ZuPageCacheKeeper.h"
#include "playback/ZuWaveView.h"
#include "recording/ZuAudioFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t hourSamples = 3600LL * 44100;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An hour of a tone whose loudness rises and falls every minute.
QString writeHour(const QString& folder) {
    const QString path = folder + "/_Nightwarden_20070305_140000~150000.aif";
    AuStreamBasicDescription format;
    format.mSampleRate = 44100;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = 1;
    auto file = ZuAudioFile::create(path, format);
    std::vector<int16_t> chunk(44100);
    for (int64_t second = 0; second < 3600; ++second) {
        const double loudness = 0.1 + 0.8 * std::fabs(std::sin(second * M_PI / 60.0));
        for (int64_t i = 0; i < 44100; ++i)
            chunk[size_t(i)] = qToBigEndian(
                int16_t(32767.0 * loudness * std::sin(2.0 * M_PI * 440.0 * double(i) / 44100.0)));
        file->writeBytes(second * 88200, uint32_t(chunk.size() * 2), chunk.data());
    }
    file->close();
    return path;
}

// Reads the whole file front to back in pieces of one column's size.
double plainRead(const QString& path, int64_t pieceBytes) {
    const auto start = Clock::now();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    std::vector<char> buffer(static_cast<size_t>(pieceBytes));
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0)
        benchmark::DoNotOptimize(buffer.data());
    ::close(fd);
    return secondsSince(start);
}

// The whole picture: reading and drawing, then writing the file (which
// waits for the disk, so that a crash never leaves an empty picture); the
// drawing alone goes into drawn.
double picture(const QString& path, QSize size, double* drawn = nullptr) {
    const auto start = Clock::now();
    auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read);
    ZuAnalyzer::ReadFailure failure;
    QImage image;
    {
        ZuPageCacheKeeper keeper(path);
        image = ZuAnalyzer::drawImage(*file, file->audioDataByteCount(), size, &failure, &keeper);
    }
    if (drawn)
        *drawn = secondsSince(start);
    QString error;
    ZuAnalyzer::writeImageFile(image, ZuAnalyzer::imageFilePath(path), &error);
    return secondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void dropFromCache(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void BM_PictureOfAnHourVsPlainReadVsFfmpeg(benchmark::State& state) {
    QTemporaryDir folder(QDir::tempPath() + "/nw_bench_picture-XXXXXX");
    const QString path = writeHour(folder.path());
    const QSize size = ZuWaveView::defaultSize;
    const int64_t column = 2 * ZuAnalyzer::samplesPerColumn(hourSamples * 2, size.width());
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    // Five rounds, the picture and the read in turns, each figure the median.
    std::vector<double> plains, pictures, drawings;
    double theirs = 0.0;
    for (auto _ : state) {
        plainRead(path, column); // into the page cache
        for (int round = 0; round < 5; ++round) {
            plains.push_back(plainRead(path, column));
            double drawn = 0.0;
            pictures.push_back(picture(path, size, &drawn));
            drawings.push_back(drawn);
        }
        if (!ffmpeg.isEmpty()) {
            const auto start = Clock::now();
            QProcess::execute(
                ffmpeg,
                {"-v", "error", "-y", "-i", path, "-filter_complex",
                 QStringLiteral("showwavespic=s=%1x%2").arg(size.width()).arg(size.height()),
                 "-frames:v", "1", folder.path() + "/ffmpeg.png"});
            theirs = secondsSince(start);
        }
    }
    const double plain = median(plains);
    const double ours = median(pictures);
    const double drawing = median(drawings);
    state.counters["plain_read_s"] = plain;
    state.counters["picture_s"] = ours;
    state.counters["picture_over_plain"] = ours / plain;
    state.counters["drawing_over_plain"] = drawing / plain;
    if (!ffmpeg.isEmpty()) {
        state.counters["ffmpeg_s"] = theirs;
        state.counters["ffmpeg_over_picture"] = theirs / ours;
    }

    // From a cold file: how much of it the picture leaves in the cache.
    dropFromCache(path);
    const double cold = picture(path, size);
    const int64_t pages = (QFile(path).size() + 4095) / 4096;
    const int64_t left = ZuPageCacheKeeper(path).pagesCachedBefore();
    state.counters["cold_picture_s"] = cold;
    state.counters["cold_pages_left_cached"] = double(left);
    std::printf("picture %.3f s (drawing %.3f s, the rest writing it), plain read %.3f s: "
                "%.2fx the read (drawing %.2fx); %s\n",
                ours, drawing, plain, ours / plain, drawing / plain,
                ffmpeg.isEmpty() ? "ffmpeg not installed, its column skipped"
                                 : qPrintable(QStringLiteral("ffmpeg %1 s: %2x the picture")
                                                  .arg(theirs, 0, 'f', 3)
                                                  .arg(theirs / ours, 0, 'f', 2)));
    std::printf("cold picture %.3f s leaves %lld of the file's %lld pages in the page cache\n",
                cold, static_cast<long long>(left), static_cast<long long>(pages));
}

} // namespace

BENCHMARK(BM_PictureOfAnHourVsPlainReadVsFfmpeg)->Iterations(1)->Unit(benchmark::kMillisecond);
