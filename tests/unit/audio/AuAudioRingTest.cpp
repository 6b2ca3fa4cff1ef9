#include "audio/AuAudioRing.h"

#include <gtest/gtest.h>
#include <numeric>
#include <thread>
#include <vector>

namespace {

// An interleaved list of the given channels over its own samples.
struct Frames {
    Frames(uint32_t channels, uint32_t frames)
        : list(AuBufferListNew(channels, frames, true)), channels(channels) {}
    ~Frames() { AuBufferListDispose(list); }
    Frames(const Frames&) = delete;
    Frames& operator=(const Frames&) = delete;

    float* data() { return static_cast<float*>(list->mBuffers[0].mData); }
    float at(uint32_t frame, uint32_t channel = 0) {
        return data()[size_t(frame) * channels + channel];
    }
    // Frame f holds start + f in the first channel, its negative in the second.
    Frames& ramp(float start) {
        for (uint32_t f = 0; f < AuBufferListFrameCount(list); ++f)
            for (uint32_t c = 0; c < channels; ++c)
                data()[size_t(f) * channels + c] = c == 0 ? start + float(f) : -(start + float(f));
        return *this;
    }
    std::vector<float> left(uint32_t count) {
        std::vector<float> values(count);
        for (uint32_t f = 0; f < count; ++f)
            values[f] = at(f);
        return values;
    }

    AuBufferList* list;
    uint32_t channels;
};

std::vector<float> range(float start, uint32_t count) {
    std::vector<float> values(count);
    std::iota(values.begin(), values.end(), start);
    return values;
}

} // namespace

TEST(AuAudioRingPasses, AWriteWrapsAtTheEndOfStorageAndKeepsTheChannelsApart) {
    auto ring = AuAudioRing::create(8, 2);
    ASSERT_NE(ring, nullptr);
    Frames first(2, 6);
    Frames out(2, 8);
    EXPECT_EQ(ring->writeFromAudioBufferList(first.ramp(0).list, 6, 1.0), 6u);
    EXPECT_EQ(ring->readToAudioBufferList(out.list, 5), 5u);
    // One frame held at index 5: ten more fill the seven free, over the end.
    Frames second(2, 10);
    EXPECT_EQ(ring->writeFromAudioBufferList(second.ramp(10).list, 10, 1.0), 7u);
    EXPECT_EQ(ring->count(), 8u);
    EXPECT_EQ(ring->readToAudioBufferList(out.list, 8), 8u);
    const std::vector<float> expected = {5, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(out.left(8), expected);
    for (uint32_t f = 0; f < 8; ++f)
        ASSERT_EQ(out.at(f, 1), -expected[f]) << f;
    EXPECT_EQ(ring->count(), 0u);
}

TEST(AuAudioRingPasses, MaxFramesAndTheListBoundATransfer) {
    auto ring = AuAudioRing::create(16, 1);
    Frames in(1, 10);
    EXPECT_EQ(ring->writeFromAudioBufferList(in.ramp(0).list, 4, 1.0), 4u);
    EXPECT_EQ(ring->writeFromAudioBufferList(in.ramp(4).list, 100, 1.0), 10u);
    Frames small(1, 3);
    EXPECT_EQ(ring->readToAudioBufferList(small.list, 100), 3u);
    EXPECT_EQ(small.left(3), range(0, 3));
    Frames big(1, 16);
    EXPECT_EQ(ring->readToAudioBufferList(big.list, 5), 5u);
    EXPECT_EQ(big.left(5), range(3, 5));
    EXPECT_EQ(ring->count(), 6u);
}

TEST(AuAudioRingEnds, AFullRingTakesNothingAndKeepsItsFrames) {
    auto ring = AuAudioRing::create(8, 1);
    Frames in(1, 8);
    ASSERT_EQ(ring->writeFromAudioBufferList(in.ramp(0).list, 8, 1.0), 8u);
    EXPECT_EQ(ring->writeFromAudioBufferList(in.ramp(100).list, 3, 1.0), 0u);
    EXPECT_EQ(ring->count(), 8u);
    Frames out(1, 8);
    ASSERT_EQ(ring->readToAudioBufferList(out.list, 8), 8u);
    EXPECT_EQ(out.left(8), range(0, 8));
}

TEST(AuAudioRingEnds, AnEmptyRingGivesNothingAndLeavesTheListAlone) {
    auto ring = AuAudioRing::create(8, 1);
    Frames out(1, 4);
    out.ramp(50);
    EXPECT_EQ(ring->readToAudioBufferList(out.list, 4), 0u);
    EXPECT_EQ(out.left(4), range(50, 4));
    // A short read fills only the frames it has.
    Frames in(1, 2);
    ring->writeFromAudioBufferList(in.ramp(0).list, 2, 1.0);
    EXPECT_EQ(ring->readToAudioBufferList(out.list, 4), 2u);
    EXPECT_EQ(out.left(4), (std::vector<float>{0, 1, 52, 53}));
    EXPECT_EQ(ring->discard(3), 0u);
}

TEST(AuAudioRingEnds, DiscardDropsTheOldestFramesUpToThoseHeld) {
    auto ring = AuAudioRing::create(8, 1);
    Frames in(1, 6);
    ring->writeFromAudioBufferList(in.ramp(0).list, 6, 1.0);
    EXPECT_EQ(ring->discard(4), 4u);
    Frames out(1, 2);
    ASSERT_EQ(ring->readToAudioBufferList(out.list, 2), 2u);
    EXPECT_EQ(out.left(2), range(4, 2));
    ring->writeFromAudioBufferList(in.ramp(0).list, 6, 1.0);
    EXPECT_EQ(ring->discard(100), 6u);
    EXPECT_EQ(ring->count(), 0u);
}

TEST(AuAudioRingEnds, NoChannelsOrNoFramesMakeNoRing) {
    EXPECT_EQ(AuAudioRing::create(8, 0), nullptr);
    EXPECT_EQ(AuAudioRing::create(0, 2), nullptr);
    auto ring = AuAudioRing::create(8, 3);
    EXPECT_EQ(ring->capacity(), 8u);
    EXPECT_EQ(ring->channels(), 3u);
}

TEST(AuAudioRingRates, TheScalarOfEachFrameLeavesWithIt) {
    auto ring = AuAudioRing::create(1000, 1);
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 1.0);
    Frames block(1, 100);
    ring->writeFromAudioBufferList(block.list, 100, 1.0);
    ring->writeFromAudioBufferList(block.list, 100, 2.0);
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 1.5);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 300.0);
    Frames out(1, 150);
    ring->readToAudioBufferList(out.list, 50);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 250.0);
    ring->discard(100);
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 2.0);
    ring->readToAudioBufferList(out.list, 50);
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 1.0);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 0.0);
}

// One producer and one consumer at full speed, each moving blocks of sizes
// that keep changing over a ring of an odd capacity, so that every position
// of the wrap is met while the other side moves: every frame arrives once and
// in order, both channels intact.
TEST(AuAudioRingConcurrent, EveryFrameArrivesOnceAndInOrder) {
    constexpr uint32_t total = 1u << 18; // exact as floats
    auto ring = AuAudioRing::create(61, 2);
    std::thread producer([&] {
        Frames block(2, 97);
        uint32_t sent = 0;
        for (uint32_t size = 1; sent < total; size = size % 97 + 1) {
            const uint32_t want = std::min(size, total - sent);
            block.ramp(float(sent));
            const uint32_t n = ring->writeFromAudioBufferList(block.list, want, 1.0);
            sent += n;
            if (n == 0)
                std::this_thread::yield();
        }
    });
    Frames block(2, 89);
    uint32_t received = 0;
    uint32_t wrong = 0;
    for (uint32_t size = 89; received < total; size = size == 1 ? 89 : size - 1) {
        const uint32_t n = ring->readToAudioBufferList(block.list, size);
        for (uint32_t f = 0; f < n; ++f) {
            const auto expected = float(received + f);
            wrong += block.at(f) != expected || block.at(f, 1) != -expected;
        }
        received += n;
        if (n == 0)
            std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(received, total);
    EXPECT_EQ(ring->count(), 0u);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 0.0);
}
