// One IO cycle of playback (the player's callback taking 512 frames from its
// queue and moving the play position) beside a plain memcpy of the same
// floats, timed side by side in the same loop: the ratio of the two times,
// and the callback's share of the cycle's duration at 48 kHz.
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuAudioFile.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr double rate = 48000.0;
constexpr uint32_t cycleFrames = 512;
using Clock = std::chrono::steady_clock;

// Ten seconds of 16-bit sound at the given rate and channels.
void writeRecording(const QString& path, double fileRate, uint32_t channels) {
    AuStreamBasicDescription format;
    format.mSampleRate = fileRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = channels;
    auto file = ZuAudioFile::create(path, format);
    std::vector<int16_t> samples(size_t(fileRate) * channels * 10);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = qToBigEndian(int16_t((i * 7919) % 20000 - 10000));
    file->writeBytes(0, uint32_t(samples.size() * 2), samples.data());
    file->close();
}

// Arguments: the file's rate and channels (48 kHz stereo needs no
// conversion; 22.05 kHz mono is converted the most).
void PlaybackCycleBesidePlainCopy(benchmark::State& state) {
    QTemporaryDir home;
    ZuSettings::standard().setFilePath(home.filePath("bench.conf"));
    ZuSettings::standard().setString(home.filePath("records"), "DirectoryPath");
    ZuSettings::standard().setBool(true, "EndressPlayMode");
    ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
    QDir().mkpath(home.filePath("records"));
    writeRecording(home.filePath("records/_Nightwarden_20070315_120000~120010.aif"),
                   double(state.range(0)), uint32_t(state.range(1)));
    AuVirtualDeviceConfig config = AuVirtualDeviceConfig::standard("Bench", "bench", 2, 2);
    config.info.nominalSampleRate = rate;
    config.info.sampleRates = {{48000, 48000}};
    AuHardware::install(std::make_unique<AuVirtualHardware>(
        std::vector<AuVirtualDeviceConfig>{config}, AuVirtualHardware::Pacing::Stepped));
    {
        ZuControler controler;
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        ZuPlayer& player = *controler.player();
        player.renewListAndControl();
        player.dataView.setSelectedIndex(0);
        player.changeSelectRow();
        player.actPlayback();

        std::vector<float> samples(cycleFrames * 2);
        std::vector<unsigned char> storage(auBufferListSize(1));
        auto* output = reinterpret_cast<AuBufferList*>(storage.data());
        output->mNumberBuffers = 1;
        output->mBuffers[0] = {2, uint32_t(samples.size() * 4), samples.data()};
        std::vector<float> plainSource(size_t(rate) * 8, 0.25f);
        size_t plainAt = 0;
        double playSeconds = 0.0;
        double plainSeconds = 0.0;
        uint64_t cycles = 0;
        for (auto _ : state) {
            const auto start = Clock::now();
            player.playbackIOForDevice(nullptr, nullptr, nullptr, nullptr, output, nullptr,
                                       nullptr);
            const auto middle = Clock::now();
            std::memcpy(samples.data(), plainSource.data() + plainAt, samples.size() * 4);
            benchmark::ClobberMemory();
            const auto end = Clock::now();
            plainAt = (plainAt + samples.size()) % (plainSource.size() - samples.size());
            playSeconds += std::chrono::duration<double>(middle - start).count();
            plainSeconds += std::chrono::duration<double>(end - middle).count();
            // The feed's second, outside the timed stretches.
            if (++cycles % uint64_t(rate / cycleFrames) == 0)
                player.readSoundFileTimer();
        }
        const double n = double(cycles);
        state.counters["play_ns_per_cycle"] = playSeconds / n * 1e9;
        state.counters["plain_ns_per_cycle"] = plainSeconds / n * 1e9;
        state.counters["play_over_plain_time"] = playSeconds / plainSeconds;
        state.counters["cycle_share"] = playSeconds / (n * cycleFrames / rate);
        player.stopPlayback();
    }
    AuHardware::install(nullptr);
}
BENCHMARK(PlaybackCycleBesidePlainCopy)->Args({48000, 2})->Args({22050, 1})->Args({44100, 2});

} // namespace
