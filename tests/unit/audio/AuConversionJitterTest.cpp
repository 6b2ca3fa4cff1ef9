// The monitor's conversion buffer between two devices whose callbacks the
// scheduler runs late by a few milliseconds each, as the record and monitor
// threads are: the tone comes out whole, and a reader that was away (a paused
// monitor) comes back with a short delay instead of a stream of overflows.
#include "audio/AuBufferList.h"
#include "audio/AuConversionBuffer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace {

constexpr double inRate = 44100;
constexpr double outRate = 48000;
constexpr uint32_t blockFrames = 512;
constexpr double hz = 1000;

class JitteredDevices {
public:
    JitteredDevices()
        : buffer(AuConversionBuffer::create(inRate, 2, 518, outRate, 2, 518)),
          in(AuBufferListNew(2, blockFrames, true)), out(AuBufferListNew(2, blockFrames, true)) {}
    ~JitteredDevices() {
        AuBufferListDispose(in);
        AuBufferListDispose(out);
    }

    // Runs both callbacks for that long, each late by up to maxLate seconds
    // (a fixed pseudo-random sequence); the consumer only while reading.
    void run(double seconds, double maxLate, bool reading) {
        const double end = clock + seconds;
        while (clock < end) {
            const double produceAt = double(produced) * blockFrames / inRate + late(maxLate);
            const double consumeAt = double(consumed) * blockFrames / outRate + late(maxLate);
            if (!reading || produceAt <= consumeAt) {
                produce();
                clock = std::max(clock, produceAt);
            } else {
                consume();
                clock = std::max(clock, consumeAt);
            }
        }
        if (!reading)
            consumed = uint64_t(clock * outRate / blockFrames);
    }

    // Output samples of the left channel from `from` seconds on that break
    // x[n-1] + x[n+1] = 2 cos(w) x[n], which every stretch of the tone keeps.
    size_t breaks(double from) const {
        const double twoCos = 2 * std::cos(2 * std::numbers::pi * hz / outRate);
        size_t count = 0;
        for (size_t n = size_t(from * outRate) + 1; n + 1 < played.size(); ++n)
            if (std::abs(played[n - 1] + played[n + 1] - twoCos * played[n]) > 0.01)
                ++count;
        return count;
    }

    std::unique_ptr<AuConversionBuffer> buffer;
    std::vector<float> played;

private:
    double late(double maxLate) {
        seed = seed * 1103515245u + 12345u;
        return maxLate * double((seed >> 8) & 0xffff) / 65536.0;
    }
    void produce() {
        auto* samples = static_cast<float*>(in->mBuffers[0].mData);
        for (uint32_t f = 0; f < blockFrames; ++f, ++frame)
            samples[2 * f] = samples[2 * f + 1] =
                float(0.5 * std::sin(2 * std::numbers::pi * hz * double(frame) / inRate));
        buffer->writeFromAudioBufferList(in, nullptr);
        ++produced;
    }
    void consume() {
        buffer->readToAudioBufferList(out, nullptr);
        const auto* samples = static_cast<const float*>(out->mBuffers[0].mData);
        for (uint32_t f = 0; f < blockFrames; ++f)
            played.push_back(samples[2 * f]);
        ++consumed;
    }

    AuBufferList* in;
    AuBufferList* out;
    uint64_t frame = 0;
    uint64_t produced = 0;
    uint64_t consumed = 0;
    double clock = 0;
    uint32_t seed = 1;
};

} // namespace

TEST(AuConversionJitter, CallbacksLateByMillisecondsKeepTheToneWhole) {
    JitteredDevices devices;
    ASSERT_NE(devices.buffer, nullptr);
    devices.run(60, 0.008, true);
    EXPECT_EQ(devices.breaks(0.5), 0u);
    EXPECT_GT(devices.played.size(), size_t(59.9 * outRate));
}

TEST(AuConversionJitter, AReaderBackFromAPauseHearsTheInputSoonAndWhole) {
    JitteredDevices devices;
    devices.run(1, 0.002, true);
    devices.run(2, 0.002, false);
    const size_t resumed = devices.played.size();
    devices.run(3, 0.002, true);
    // What piled up in the pause is dropped at once, not played late nor
    // lost bit by bit to a full ring: one step where the pause was, heard
    // after the buffer's short delay, and the tone whole after it.
    EXPECT_LE(devices.buffer->ring().count(), devices.buffer->ring().capacity() / 2);
    EXPECT_EQ(devices.breaks(double(resumed) / outRate + 0.1), 0u);
}
