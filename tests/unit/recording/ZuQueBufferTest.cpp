#include "recording/ZuQueBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace {

std::vector<float> ramp(float first, uint32_t count) {
    std::vector<float> values(count);
    std::iota(values.begin(), values.end(), first);
    return values;
}

std::unique_ptr<ZuQueBuffer> queueOf(uint32_t bytes) {
    auto queue = ZuQueBuffer::initQueWithLength(bytes);
    EXPECT_NE(queue, nullptr);
    return queue;
}

} // namespace

TEST(ZuQueBufferOverflow, SixSamplesIntoFourKeepTheLastFourInOrder) {
    auto queue = queueOf(16);
    const auto input = ramp(1, 6);
    EXPECT_EQ(queue->writeFloat32Data(input.data(), 6), 24u);
    EXPECT_EQ(queue->remain(), 16u);
    EXPECT_EQ(queue->empty(), 0u);
    EXPECT_EQ(queue->getPoint(), queue->putPoint()); // full

    std::vector<float> out(10, -1.0f);
    EXPECT_EQ(queue->readFloat32Data(out.data(), 10), 16u);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 4), (std::vector<float>{3, 4, 5, 6}));
    EXPECT_EQ(out[4], -1.0f);
}

TEST(ZuQueBufferOverflow, WriteLongerThanCapacityInOneCallKeepsTheTail) {
    auto queue = queueOf(32);
    const auto first = ramp(100, 3);
    queue->writeFloat32Data(first.data(), 3);
    const auto input = ramp(1, 21);
    EXPECT_EQ(queue->writeFloat32Data(input.data(), 21), 84u);
    std::vector<float> out(8);
    EXPECT_EQ(queue->readFloat32Data(out.data(), 8), 32u);
    EXPECT_EQ(out, ramp(14, 8));
}

TEST(ZuQueBufferOverflow, RepeatedSmallOverflowsAcrossTheWrapStayInOrder) {
    auto queue = queueOf(20);
    float next = 0;
    for (int round = 0; round < 7; ++round) {
        const auto block = ramp(next, 3);
        queue->writeFloat32Data(block.data(), 3);
        next += 3;
    }
    std::vector<float> out(5);
    EXPECT_EQ(queue->readFloat32Data(out.data(), 5), 20u);
    EXPECT_EQ(out, ramp(16, 5));
}

TEST(ZuQueBufferRead, EmptyQueueDeliversNothingAndLeavesDestination) {
    auto queue = queueOf(16);
    float out[3] = {7, 7, 7};
    EXPECT_EQ(queue->readFloat32Data(out, 3), 0u);
    EXPECT_EQ(out[0], 7.0f);
    EXPECT_EQ(out[2], 7.0f);
}

TEST(ZuQueBufferRead, PartialReadsAcrossTheWrapThenIndexesMeet) {
    auto queue = queueOf(16);
    const auto a = ramp(1, 3);
    queue->writeFloat32Data(a.data(), 3);
    float out[4] = {};
    EXPECT_EQ(queue->readFloat32Data(out, 2), 8u);
    const auto b = ramp(4, 3);
    queue->writeFloat32Data(b.data(), 3); // wraps
    EXPECT_EQ(queue->remain(), 16u);
    EXPECT_EQ(queue->readFloat32Data(out, 4), 16u);
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{3, 4, 5, 6}));
    EXPECT_EQ(queue->remain(), 0u);
    EXPECT_EQ(queue->empty(), 16u);
    EXPECT_EQ(queue->getPoint(), queue->putPoint());
}

TEST(ZuQueBufferLength, SameLengthKeepsContentsNewLengthEmpties) {
    auto queue = queueOf(16);
    const auto input = ramp(1, 3);
    queue->writeFloat32Data(input.data(), 3);
    ZuQueBuffer* before = queue.get();
    EXPECT_TRUE(queue->setQueLength(16));
    EXPECT_EQ(queue.get(), before);
    EXPECT_EQ(queue->remain(), 12u);

    EXPECT_TRUE(queue->setQueLength(32));
    EXPECT_EQ(queue->queLength(), 32u);
    EXPECT_EQ(queue->remain(), 0u);
    EXPECT_EQ(queue->putPoint(), 0u);
    EXPECT_EQ(queue->getPoint(), 0u);
    const auto more = ramp(10, 8);
    queue->writeFloat32Data(more.data(), 8);
    EXPECT_EQ(queue->remain(), 32u);
}

TEST(ZuQueBufferKeepNewest, MoreThanHeldChangesNothing) {
    auto queue = queueOf(32);
    const auto input = ramp(1, 5);
    queue->writeFloat32Data(input.data(), 5);
    EXPECT_EQ(queue->clearDataWithLeftLengthFloat32(6), 20u);
    EXPECT_EQ(queue->remain(), 20u);
    EXPECT_EQ(queue->getPoint(), 0u);
}

TEST(ZuQueBufferKeepNewest, KeepsExactlyTheLatestSamplesAcrossTheWrap) {
    auto queue = queueOf(16);
    const auto input = ramp(1, 7);
    queue->writeFloat32Data(input.data(), 7);
    EXPECT_EQ(queue->clearDataWithLeftLengthFloat32(2), 8u);
    float out[4] = {};
    EXPECT_EQ(queue->readFloat32Data(out, 4), 8u);
    EXPECT_EQ(out[0], 6.0f);
    EXPECT_EQ(out[1], 7.0f);
}

TEST(ZuQueBufferKeepNewest, ZeroEmptiesButLeavesPutPoint) {
    auto queue = queueOf(32);
    const auto input = ramp(1, 5);
    queue->writeFloat32Data(input.data(), 5);
    const uint32_t put = queue->putPoint();
    EXPECT_EQ(queue->clearDataWithLeftLengthFloat32(0), 0u);
    EXPECT_EQ(queue->remain(), 0u);
    EXPECT_EQ(queue->putPoint(), put);
    EXPECT_EQ(queue->getPoint(), put);
}

TEST(ZuQueBufferIndexes, IncrementWrapsAtTheEndOfTheStorage) {
    auto queue = queueOf(12);
    uint32_t point = 1;
    queue->incPutFloat32Point(&point);
    EXPECT_EQ(point, 2u);
    queue->incGetFloat32Point(&point);
    EXPECT_EQ(point, 0u);
}

// One writer at audio pace that overflows the queue on purpose, one reader in
// bursts: every sample delivered was written, arrives once, in order, and is
// never a value from another lap of the ring.
TEST(ZuQueBufferConcurrent, WriterOverflowingWhileReaderBurstsDeliversEachSampleOnceInOrder) {
    constexpr uint32_t capacity = 1024;
    constexpr uint32_t block = 64;
    constexpr uint32_t total = 1 << 20; // exact as floats
    auto queue = queueOf(capacity * 4);
    std::atomic<uint32_t> producedSamples{0};
    std::atomic<bool> done{false};

    std::thread writer([&] {
        std::vector<float> samples(block);
        auto due = std::chrono::steady_clock::now();
        for (uint32_t next = 0; next < total; next += block) {
            std::iota(samples.begin(), samples.end(), float(next));
            queue->writeFloat32Data(samples.data(), block);
            producedSamples.store(next + block, std::memory_order_release);
            // Audio pace: a block every 20 microseconds, never faster.
            due += std::chrono::microseconds(20);
            std::this_thread::sleep_until(due);
        }
        done.store(true, std::memory_order_release);
    });

    std::vector<float> delivered;
    delivered.reserve(total);
    std::vector<float> burst(3000);
    uint32_t round = 0;
    bool finished = false;
    while (!finished) {
        finished = done.load(std::memory_order_acquire);
        // Every fourth round the reader stays away until the writer has lapped
        // the ring twice, so overflow is certain rather than hoped for.
        if (++round % 4 == 0 && !finished) {
            const uint32_t mark = producedSamples.load(std::memory_order_acquire);
            while (!done.load(std::memory_order_acquire) &&
                   producedSamples.load(std::memory_order_acquire) < mark + 2 * capacity)
                std::this_thread::yield();
        }
        for (;;) {
            const uint32_t want = 1 + (round * 7919) % burst.size();
            const uint32_t bytes = queue->readFloat32Data(burst.data(), want);
            ASSERT_EQ(bytes % 4, 0u);
            delivered.insert(delivered.end(), burst.begin(), burst.begin() + bytes / 4);
            if (bytes / 4 < want)
                break;
        }
    }
    writer.join();

    ASSERT_FALSE(delivered.empty());
    size_t gaps = 0;
    for (size_t i = 1; i < delivered.size(); ++i) {
        ASSERT_LT(delivered[i - 1], delivered[i]) << "at " << i;
        if (delivered[i] != delivered[i - 1] + 1)
            ++gaps;
    }
    EXPECT_LT(delivered.back(), float(total));
    EXPECT_EQ(delivered.back(), float(total - 1)); // the last write is read in full
    EXPECT_GT(gaps, 0u);                           // overflow did happen
    EXPECT_LT(delivered.size(), size_t(total));
}
