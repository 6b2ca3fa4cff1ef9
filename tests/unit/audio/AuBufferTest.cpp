#include "audio/AuAudioBuffer.h"
#include "audio/AuByteBuffer.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>
#include <vector>

namespace {

// A mono interleaved list over the given samples.
struct MonoList {
    explicit MonoList(std::vector<float> values) : samples(std::move(values)) {
        list = AuBufferListNew(1, uint32_t(samples.size()), true);
        std::copy(samples.begin(), samples.end(), static_cast<float*>(list->mBuffers[0].mData));
    }
    explicit MonoList(uint32_t frames) : MonoList(std::vector<float>(frames, -1.0f)) {}
    ~MonoList() { AuBufferListDispose(list); }
    float at(uint32_t i) const { return static_cast<const float*>(list->mBuffers[0].mData)[i]; }

    std::vector<float> samples;
    AuBufferList* list;
};

std::vector<float> ramp(uint32_t count, float start = 0) {
    std::vector<float> values(count);
    std::iota(values.begin(), values.end(), start);
    return values;
}

} // namespace

TEST(AuBufferRingPasses, NonWaitingWriteIntoFullRingMovesNothingAndStaysFull) {
    auto ring = AuByteBuffer::create(8);
    const char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ring->writeFromBytes(bytes, 8, false), 8u);
    EXPECT_EQ(ring->writeCondition(), AuBuffer::kFull);
    EXPECT_EQ(ring->writeFromBytes(bytes, 3, false), 0u);
    EXPECT_EQ(ring->count(), 8u);
    EXPECT_EQ(ring->writeCondition(), AuBuffer::kFull);
    EXPECT_EQ(ring->readCondition(), AuBuffer::kHasData);
}

TEST(AuBufferRingPasses, OversizedWriteFillsTheRoomWrappingOnce) {
    auto ring = AuByteBuffer::create(8);
    char out[8] = {};
    const char first[6] = {1, 2, 3, 4, 5, 6};
    ring->writeFromBytes(first, 6, false);
    EXPECT_EQ(ring->readToBytes(out, 5, false), 5u); // head now at 5, one byte held
    const char second[10] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    EXPECT_EQ(ring->writeFromBytes(second, 10, false), 7u);
    EXPECT_EQ(ring->writeCondition(), AuBuffer::kFull);
    char all[8] = {};
    EXPECT_EQ(ring->readToBytes(all, 8, false), 8u);
    const char expected[8] = {6, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(std::memcmp(all, expected, 8), 0);
    EXPECT_EQ(ring->readCondition(), AuBuffer::kEmpty);
    EXPECT_EQ(ring->writeCondition(), AuBuffer::kHasRoom);
}

TEST(AuBufferRingPasses, ZeroCountAndEmptyReadsMoveNothing) {
    auto ring = AuByteBuffer::create(4);
    char out[4];
    EXPECT_EQ(ring->readToBytes(out, 0, true), 0u); // would block forever if it waited
    EXPECT_EQ(ring->readToBytes(out, 4, false), 0u);
    EXPECT_EQ(ring->writeCondition(), AuBuffer::kHasRoom);
    EXPECT_EQ(ring->readCondition(), AuBuffer::kEmpty);
}

// Records where the base class asks its hooks to copy.
class HookProbe : public AuBuffer {
public:
    HookProbe() : AuBuffer(4) {}
    std::vector<std::pair<uint32_t, uint32_t>> writes, reads;
    int emptied = 0;

protected:
    void performWriteFromContext(void*, uint32_t offset, uint32_t count) override {
        writes.emplace_back(offset, count);
    }
    void performReadToContext(void*, uint32_t offset, uint32_t count) override {
        reads.emplace_back(offset, count);
    }
    void bufferDidEmpty() override { ++emptied; }
};

TEST(AuBufferRingPasses, FlushKeepsTheHeadSoWritesContinueThere) {
    HookProbe ring;
    ring.writeFromContext(nullptr, 3, false);
    ring.readToContext(nullptr, 2, false); // head at 2
    ring.flush();
    EXPECT_EQ(ring.emptied, 1);
    EXPECT_EQ(ring.count(), 0u);
    ring.writes.clear();
    EXPECT_EQ(ring.writeFromContext(nullptr, 4, false), 4u);
    // From the old head to the end of storage, then wrapped once to the start.
    const std::vector<std::pair<uint32_t, uint32_t>> expected{{2, 2}, {0, 2}};
    EXPECT_EQ(ring.writes, expected);
}

TEST(AuBufferRingPasses, ReadTakingTheLastFramesReportsEmpty) {
    HookProbe ring;
    ring.writeFromContext(nullptr, 4, false);
    ring.readToContext(nullptr, 3, false);
    EXPECT_EQ(ring.emptied, 0);
    EXPECT_EQ(ring.readCondition(), AuBuffer::kHasData);
    ring.readToContext(nullptr, 3, false);
    EXPECT_EQ(ring.emptied, 1);
    EXPECT_EQ(ring.readCondition(), AuBuffer::kEmpty);
}

TEST(AuBufferRingPasses, ShortReadLeavesTheRestOfTheListAlone) {
    auto ring = AuAudioBuffer::create(16, 1, true);
    MonoList in(ramp(3, 1));
    ring->writeFromAudioBufferList(in.list, 3, 1.0, false);
    MonoList out(6);
    EXPECT_EQ(ring->readToAudioBufferList(out.list, 6, false), 3u);
    EXPECT_EQ(out.at(2), 3.0f);
    EXPECT_EQ(out.at(3), -1.0f);
    EXPECT_EQ(out.list->mBuffers[0].mDataByteSize, 6u * 4);
}

TEST(AuBufferRingPasses, RefusesZeroSizes) {
    EXPECT_EQ(AuAudioBuffer::create(16, 0), nullptr);
    EXPECT_EQ(AuAudioBuffer::create(0, 2), nullptr);
    EXPECT_EQ(AuByteBuffer::create(0), nullptr);
    auto standard = AuAudioBuffer::create();
    EXPECT_EQ(standard->capacity(), 44100u);
    EXPECT_EQ(standard->channels(), 2u);
}

TEST(AuBufferConcurrent, WaitingTransfersLargerThanTheRingComplete) {
    auto ring = AuAudioBuffer::create(64, 1, true);
    const uint32_t total = 10000;
    MonoList source(ramp(total));
    MonoList destination(total);
    std::thread writer([&] {
        // Bursts of odd sizes, each waiting for room.
        uint32_t done = 0;
        while (done < total) {
            const uint32_t n = std::min<uint32_t>(37, total - done);
            AuBufferList* view = AuBufferListNew(1, n, true);
            std::memcpy(view->mBuffers[0].mData, source.samples.data() + done, n * 4);
            done += ring->writeFromAudioBufferList(view, n, 1.0, true);
            AuBufferListDispose(view);
        }
    });
    EXPECT_EQ(ring->readToAudioBufferList(destination.list, total, true), total);
    writer.join();
    for (uint32_t i = 0; i < total; i += 997)
        ASSERT_EQ(destination.at(i), float(i));
    EXPECT_EQ(destination.at(total - 1), float(total - 1));
}

TEST(AuBufferRateBookkeeping, AveragesRateScalarsOfHeldFrames) {
    auto ring = AuAudioBuffer::create(1000, 1, true);
    MonoList block(100);
    ring->writeFromAudioBufferList(block.list, 100, 1.0, false);
    ring->writeFromAudioBufferList(block.list, 100, 2.0, false);
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 1.5);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 300.0);
    MonoList out(50);
    ring->readToAudioBufferList(out.list, 50, false);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 225.0);
}

TEST(AuBufferRateBookkeeping, EmptyingResetsTheRate) {
    auto ring = AuAudioBuffer::create(1000, 1, true);
    MonoList block(100);
    ring->writeFromAudioBufferList(block.list, 100, 1.01, false);
    MonoList out(100);
    ring->readToAudioBufferList(out.list, 100, false);
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 1.0);
    EXPECT_DOUBLE_EQ(ring->scaledCount(), 0.0);
    ring->writeFromAudioBufferList(block.list, 100, 0.99, false);
    ring->flush();
    EXPECT_DOUBLE_EQ(ring->rateScalar(), 1.0);
}

namespace {

// A ring whose reader can be held in the middle of its copy.
class HeldRing : public AuBuffer {
public:
    HeldRing() : AuBuffer(64) {}
    std::atomic<bool> reading{false};
    std::atomic<bool> release{false};

protected:
    void performReadToContext(void*, uint32_t, uint32_t) override {
        reading = true;
        while (!release.load())
            std::this_thread::yield();
    }
};

} // namespace

TEST(AuBufferConcurrentTest, ANonWaitingTransferNeverWaitsForTheOtherSidesCopy) {
    HeldRing ring;
    ASSERT_EQ(ring.writeFromContext(nullptr, 16, false), 16u);
    std::thread reader([&] { ring.readToContext(nullptr, 8, false); });
    while (!ring.reading.load())
        std::this_thread::yield();
    // The reader is inside its copy: the writer moves nothing and returns.
    EXPECT_EQ(ring.writeFromContext(nullptr, 8, false), 0u);
    EXPECT_EQ(ring.readToContext(nullptr, 8, false), 0u);
    ring.release = true;
    reader.join();
    EXPECT_EQ(ring.count(), 8u);
    EXPECT_EQ(ring.writeFromContext(nullptr, 8, false), 8u);
    EXPECT_EQ(ring.count(), 16u);
}

namespace {

// A ring with no storage that notes where each write lands, so that sizes
// near 32 bits cost no memory.
class PositionRing : public AuBuffer {
public:
    explicit PositionRing(uint32_t capacity) : AuBuffer(capacity) {}
    uint32_t lastWrite = 0;

protected:
    void performWriteFromContext(void*, uint32_t position, uint32_t) override {
        lastWrite = position;
    }
};

} // namespace

TEST(AuBufferRingPasses, PositionsNearThirtyTwoBitsDoNotWrap) {
    PositionRing ring(4'200'000'000u);
    ASSERT_EQ(ring.writeFromContext(nullptr, 4'200'000'000u, false), 4'200'000'000u);
    ASSERT_EQ(ring.readToContext(nullptr, 4'100'000'000u, false), 4'100'000'000u);
    ASSERT_EQ(ring.writeFromContext(nullptr, 100'000'000u, false), 100'000'000u);
    EXPECT_EQ(ring.lastWrite, 0u);
    // Head 4.1e9 plus 2e8 held passes 2^32: the next write lands at 1e8.
    ASSERT_EQ(ring.writeFromContext(nullptr, 50'000'000u, false), 50'000'000u);
    EXPECT_EQ(ring.lastWrite, 100'000'000u);
}
