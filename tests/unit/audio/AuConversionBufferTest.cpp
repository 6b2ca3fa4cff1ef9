#include "audio/AuConversionBuffer.h"
#include "AuTestHardware.h"
#include "audio/AuDevice.h"

#include <cmath>
#include <numbers>
#include <thread>

namespace {

struct List {
    List(uint32_t channels, uint32_t frames, bool interleaved)
        : list(AuBufferListNew(channels, frames, interleaved)) {}
    ~List() { AuBufferListDispose(list); }
    float* buffer(uint32_t i) { return static_cast<float*>(list->mBuffers[i].mData); }
    AuBufferList* list;
};

// Least-squares fit of a sine of the given frequency (with offset) to the
// samples; returns the signal-to-residual ratio in dB and the amplitude.
struct ToneFit {
    double snr;
    double amplitude;
};
ToneFit fitTone(const std::vector<float>& x, double frequency, double rate) {
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    const double w = 2 * std::numbers::pi * frequency / rate;
    double mean = 0;
    for (float v : x)
        mean += v;
    mean /= double(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double s = std::sin(w * double(i)), c = std::cos(w * double(i));
        ss += s * s;
        sc += s * c;
        cc += c * c;
        xs += (x[i] - mean) * s;
        xc += (x[i] - mean) * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double model = a * std::sin(w * double(i)) + b * std::cos(w * double(i));
        signal += model * model;
        const double r = x[i] - mean - model;
        noise += r * r;
    }
    return {10 * std::log10(signal / std::max(noise, 1e-30)), std::hypot(a, b)};
}

// The best fit near the nominal frequency: the resampler's fixed-point step
// may shift the frequency by a few millionths, which a long window would
// count as noise.
struct BestFit {
    double frequency;
    ToneFit fit;
};
BestFit bestFit(std::vector<float> x, double nominal, double rate) {
    x.resize(std::min<size_t>(x.size(), size_t(rate)));
    BestFit best{nominal, fitTone(x, nominal, rate)};
    for (double f = nominal - 0.02; f <= nominal + 0.02; f += 0.002) {
        const ToneFit fit = fitTone(x, f, rate);
        if (fit.snr > best.fit.snr)
            best = {f, fit};
    }
    return best;
}

// Pushes a 997 Hz tone through the buffer as two devices' callbacks would:
// the producer keeps the ring topped up in small blocks (so the resampler,
// which may pull two chunks for one block, never meets an underrun), the
// consumer reads blocks. Returns the output channels after settling.
std::vector<std::vector<float>> runTone(AuConversionBuffer& buffer, uint32_t sourceChannels,
                                        double sourceRate, uint32_t sourceFrames,
                                        uint32_t outFrames, int blocks) {
    List in(sourceChannels, sourceFrames, true);
    List out(buffer.outputChannels(), outFrames, false);
    std::vector<std::vector<float>> channels(buffer.outputChannels());
    uint64_t n = 0;
    for (int block = 0; block < blocks; ++block) {
        while (buffer.ring().capacity() - buffer.ring().count() >= sourceFrames) {
            for (uint32_t f = 0; f < sourceFrames; ++f, ++n) {
                const float v =
                    float(0.5 * std::sin(2 * std::numbers::pi * 997.0 * double(n) / sourceRate));
                for (uint32_t c = 0; c < sourceChannels; ++c)
                    in.buffer(0)[f * sourceChannels + c] = c == 0 ? v : 0.1f * float(c);
            }
            buffer.writeFromAudioBufferList(in.list, nullptr);
        }
        buffer.readToAudioBufferList(out.list, nullptr);
        if (block >= blocks / 4) // settled
            for (uint32_t c = 0; c < buffer.outputChannels(); ++c)
                channels[c].insert(channels[c].end(), out.buffer(c), out.buffer(c) + outFrames);
    }
    return channels;
}

class AuConversionBufferTest : public AuHardwareFixture {};

} // namespace

TEST(AuConversionSizes, SameRateHasNoExtraFrames) {
    auto buffer = AuConversionBuffer::create(48000, 2, 512, 48000, 2, 256);
    ASSERT_NE(buffer, nullptr);
    // Ten times a source block and a staging list, for callbacks that run late.
    EXPECT_EQ(buffer->ring().capacity(), 10 * (512u + 256u));
    EXPECT_EQ(buffer->stagingFrames(), 256u);
    EXPECT_EQ(buffer->outputFrames(), 256u);
}

TEST(AuConversionSizes, DifferentRatesGetEightFramesMore) {
    auto buffer = AuConversionBuffer::create(44100, 1, 517, 48000, 2, 517);
    ASSERT_NE(buffer, nullptr);
    const uint32_t effective = uint32_t(std::ceil(44100.0 / 48000.0 * 517)); // 475
    EXPECT_EQ(buffer->ring().capacity(), 10 * (517u + effective + 8));
    EXPECT_EQ(buffer->stagingFrames(), effective + 8);
    EXPECT_EQ(buffer->converterChannels(), 1u);
    EXPECT_EQ(buffer->outputChannels(), 2u);
    EXPECT_TRUE(buffer->hasChannelMap());
    auto down = AuConversionBuffer::create(44100, 2, 512, 48000, 1, 512);
    EXPECT_EQ(down->converterChannels(), 1u);
    EXPECT_FALSE(down->hasChannelMap());
    EXPECT_EQ(AuConversionBuffer::create(0, 2, 512, 48000, 2, 512), nullptr);
    EXPECT_EQ(AuConversionBuffer::create(44100, 0, 512, 48000, 2, 512), nullptr);
}

TEST(AuConversionSizes, SizesPastThirtyTwoBitsMakeNoBuffer) {
    // 192 kHz into 1 Hz: the staging list alone would need 4.3e9 frames.
    EXPECT_EQ(AuConversionBuffer::create(192000, 1, 10, 1.0, 1, 22400), nullptr);
}

TEST(AuConversionSizes, FudgeFactorIsAClampedValidRateScalar) {
    AuTimeStamp t;
    t.mRateScalar = 1.05;
    EXPECT_EQ(AuConversionBuffer::_fudgeFactorFromTimeStamp(&t), 1.0);
    t.mFlags = kAuTimeStampRateScalarValid;
    EXPECT_EQ(AuConversionBuffer::_fudgeFactorFromTimeStamp(&t), 1.01);
    t.mRateScalar = 0.9;
    EXPECT_EQ(AuConversionBuffer::_fudgeFactorFromTimeStamp(&t), 0.9900990099009901);
    t.mRateScalar = 1.002;
    EXPECT_EQ(AuConversionBuffer::_fudgeFactorFromTimeStamp(&t), 1.002);
    EXPECT_EQ(AuConversionBuffer::_fudgeFactorFromTimeStamp(nullptr), 1.0);
}

TEST(AuConversionSizes, TheFudgeFactorReachesTheRing) {
    auto buffer = AuConversionBuffer::create(48000, 1, 256, 48000, 1, 256);
    List in(1, 100, true);
    AuTimeStamp t;
    t.mFlags = kAuTimeStampRateScalarValid;
    t.mRateScalar = 1.2;
    buffer->writeFromAudioBufferList(in.list, &t);
    EXPECT_DOUBLE_EQ(buffer->ring().rateScalar(), 1.01);
}

TEST(AuConversionSizes, ReadingBeforeAnyWriteGivesSilence) {
    auto buffer = AuConversionBuffer::create(44100, 2, 512, 48000, 2, 512);
    List out(2, 512, true);
    std::fill(out.buffer(0), out.buffer(0) + 1024, 0.7f);
    buffer->readToAudioBufferList(out.list, nullptr);
    EXPECT_EQ(buffer->ring().count(), 0u);
    for (uint32_t i = 0; i < 1024; ++i)
        ASSERT_EQ(out.buffer(0)[i], 0.0f);
}

TEST(AuConversionSizes, GainsPerOutputChannel) {
    auto buffer = AuConversionBuffer::create(48000, 1, 512, 48000, 2, 512);
    EXPECT_EQ(buffer->gainForOutputChannel(1), 1.0f);
    EXPECT_EQ(buffer->gainForOutputChannel(2), 0.0f);
    buffer->setGain(0.5f, 1);
    buffer->setGain(3.0f, 2); // out of range: ignored
    EXPECT_EQ(buffer->gainForOutputChannel(1), 0.5f);
    const auto out = runTone(*buffer, 1, 48000, 512, 512, 40);
    const ToneFit left = fitTone(out[0], 997, 48000);
    const ToneFit right = fitTone(out[1], 997, 48000);
    EXPECT_NEAR(left.amplitude, 0.5, 0.005);
    EXPECT_NEAR(right.amplitude, 0.25, 0.0025);
}

TEST(AuConversionQuality, MonoToStereoUpsampledToneIsCleanOnBothChannels) {
    auto buffer = AuConversionBuffer::create(44100, 1, 517, 48000, 2, 517);
    const auto out = runTone(*buffer, 1, 44100, 16, 512, 400);
    for (const auto& channel : out) {
        const BestFit best = bestFit(channel, 997, 48000);
        EXPECT_NEAR(best.frequency, 997.0, 0.01);
        EXPECT_GT(best.fit.snr, 90.0) << "at " << best.frequency << " Hz";
        EXPECT_NEAR(best.fit.amplitude, 0.5, 0.005);
        // The same tone at a wrong frequency would fit nothing.
        EXPECT_LT(fitTone(channel, 997 * 48000.0 / 44100.0, 48000).snr, 10.0);
    }
}

// Two devices' callbacks in the order their clocks call them, each block
// on time: the resampler must never be handed silence nor the ring overflow.
TEST(AuConversionQuality, PacedDevicesAtTheirOwnRatesAndBlocksStayContinuous) {
    struct Case {
        double sourceRate;
        uint32_t sourceFrames;
        double destinationRate;
        uint32_t destinationFrames;
    };
    for (const Case& c : {Case{44100, 512, 48000, 512}, Case{48000, 512, 44100, 512},
                          Case{48000, 256, 48000, 512}}) {
        SCOPED_TRACE(testing::Message() << c.sourceRate << "/" << c.sourceFrames << " -> "
                                        << c.destinationRate << "/" << c.destinationFrames);
        auto buffer = AuConversionBuffer::create(
            c.sourceRate, 1, uint32_t(std::ceil(1.01 * c.sourceFrames)), c.destinationRate, 1,
            uint32_t(std::ceil(1.01 * c.destinationFrames)));
        ASSERT_NE(buffer, nullptr);
        List in(1, c.sourceFrames, true);
        List out(1, c.destinationFrames, false);
        std::vector<float> played;
        const double inPeriod = c.sourceFrames / c.sourceRate;
        const double outPeriod = c.destinationFrames / c.destinationRate;
        double inAt = 0, outAt = 0;
        uint64_t n = 0;
        while (played.size() < size_t(3 * c.destinationRate)) {
            if (inAt <= outAt) {
                for (uint32_t f = 0; f < c.sourceFrames; ++f, ++n)
                    in.buffer(0)[f] = float(
                        0.5 * std::sin(2 * std::numbers::pi * 997.0 * double(n) / c.sourceRate));
                buffer->writeFromAudioBufferList(in.list, nullptr);
                inAt += inPeriod;
            } else {
                buffer->readToAudioBufferList(out.list, nullptr);
                played.insert(played.end(), out.buffer(0), out.buffer(0) + c.destinationFrames);
                outAt += outPeriod;
            }
        }
        // The last second, well after the start's silence.
        const std::vector<float> settled(played.end() - int(c.destinationRate), played.end());
        const BestFit best = bestFit(settled, 997, c.destinationRate);
        EXPECT_GT(best.fit.snr, 60.0) << "a gap or a repeat breaks the tone";
        EXPECT_NEAR(best.fit.amplitude, 0.5, 0.01);
    }
}

TEST(AuConversionQuality, StereoToMonoKeepsTheFirstChannel) {
    auto buffer = AuConversionBuffer::create(44100, 2, 517, 48000, 1, 517);
    const auto out = runTone(*buffer, 2, 44100, 16, 512, 400);
    ASSERT_EQ(out.size(), 1u);
    const BestFit best = bestFit(out[0], 997, 48000);
    EXPECT_NEAR(best.frequency, 997.0, 0.01);
    EXPECT_GT(best.fit.snr, 90.0) << "at " << best.frequency << " Hz";
    EXPECT_NEAR(best.fit.amplitude, 0.5, 0.005);
}

TEST_F(AuConversionBufferTest, DevicesMustBeCanonicalAndSizeTheBuffer) {
    auto source = device("In", "in", 1, 0);
    auto destination = device("Out", "out", 0, 2);
    destination.info.nominalSampleRate = 48000;
    destination.info.bufferFrames = 1000;
    install({source, destination});
    auto in = AuDevice::deviceWithUID("in");
    auto out = AuDevice::deviceWithUID("out");
    auto buffer = AuConversionBuffer::create(*in, *out);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->outputFrames(), 1010u); // ceil(1.01 × 1000)
    EXPECT_EQ(buffer->converterChannels(), 1u);
    EXPECT_EQ(buffer->outputChannels(), 2u);
    // A device without input channels cannot feed it.
    EXPECT_EQ(AuConversionBuffer::create(*out, *out), nullptr);
}

TEST(AuConversionConcurrent, ProducerAndConsumerOnTheirOwnThreads) {
    auto buffer = AuConversionBuffer::create(44100, 2, 512, 48000, 2, 512);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::thread consumer([&] {
        List out(2, 512, true);
        while (!done.load()) {
            buffer->readToAudioBufferList(out.list, nullptr);
            buffer->setGain(0.5f, 0);
            reads.fetch_add(1);
        }
    });
    std::thread producer([&] {
        List in(2, 512, false);
        for (int i = 0; i < 2000; ++i)
            buffer->writeFromAudioBufferList(in.list, nullptr);
    });
    producer.join();
    // Let the consumer run at least once after the producer finished.
    const int before = reads.load();
    while (reads.load() == before)
        std::this_thread::yield();
    done = true;
    consumer.join();
    EXPECT_LE(buffer->ring().count(), buffer->ring().capacity());
    EXPECT_EQ(buffer->gainForOutputChannel(0), 0.5f);
}
