// Reading the play list of a folder of 10 000 recordings against `ls -l` of
// the same folder, side by side in each round: the list reads each file's
// name, size, lock and note, where ls reads names, sizes and attributes. The
// goal is a ratio within 3.
#include "playback/ZuPlayList.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// Recordings of a minute each with a note, as the recorder leaves them.
void fillFolder(const QString& folder, int count) {
    QByteArray header(4096 + 2048, '\0');
    const QByteArray note = "checked by the night shift";
    header.replace(ZuPlayList::noteOffset, note.size(), note);
    for (int i = 0; i < count; ++i) {
        const int day = 1 + i / 1440;
        const int minute = i % 1440;
        const QString name =
            QString::asprintf("_Nightwarden_2007%02d%02d_%02d%02d00~%02d%02d59.aif", 1 + day / 29,
                              1 + day % 29, minute / 60, minute % 60, minute / 60, minute % 60);
        QFile file(folder + '/' + name);
        file.open(QIODevice::WriteOnly);
        file.write(header);
    }
}

void BM_PlayListVsLsLong(benchmark::State& state) {
    const int count = int(state.range(0));
    QTemporaryDir dir;
    fillFolder(dir.path(), count);
    ZuPlayList list;
    double oursSeconds = 0.0;
    double lsSeconds = 0.0;
    for (auto _ : state) {
        const auto start = Clock::now();
        list.initWithDirPath(dir.path());
        const auto middle = Clock::now();
        QProcess ls;
        ls.start(QStringLiteral("ls"), {QStringLiteral("-l"), dir.path()});
        ls.waitForFinished(-1);
        benchmark::DoNotOptimize(ls.readAllStandardOutput());
        const auto end = Clock::now();
        if (list.totalFiles() != count)
            state.SkipWithError("the list missed recordings");
        oursSeconds += std::chrono::duration<double>(middle - start).count();
        lsSeconds += std::chrono::duration<double>(end - middle).count();
    }
    state.counters["ours_ms"] = oursSeconds * 1000.0 / double(state.iterations());
    state.counters["ls_ms"] = lsSeconds * 1000.0 / double(state.iterations());
    state.counters["ours_over_ls_time"] = oursSeconds / lsSeconds;
}
BENCHMARK(BM_PlayListVsLsLong)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
