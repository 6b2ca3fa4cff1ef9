#include "audio/AuBufferList.h"

#include <gtest/gtest.h>

namespace {

float* samples(AuBufferList* list, uint32_t buffer) {
    return static_cast<float*>(list->mBuffers[buffer].mData);
}

// Channel c of frame f holds 10 × f + c + 1 (channels numbered across the list).
void fillPattern(AuBufferList* list) {
    const uint32_t frames = AuBufferListFrameCount(list);
    uint32_t first = 0;
    for (uint32_t b = 0; b < list->mNumberBuffers; ++b) {
        const uint32_t n = list->mBuffers[b].mNumberChannels;
        for (uint32_t f = 0; f < frames; ++f)
            for (uint32_t c = 0; c < n; ++c)
                samples(list, b)[f * n + c] = float(10 * f + first + c + 1);
        first += n;
    }
}

struct ListGuard {
    AuBufferList* list;
    ~ListGuard() { AuBufferListDispose(list); }
};

} // namespace

TEST(AuBufferListShapes, NewMakesZeroFilledLayouts) {
    ListGuard interleaved{AuBufferListNew(3, 5, true)};
    ASSERT_NE(interleaved.list, nullptr);
    EXPECT_EQ(interleaved.list->mNumberBuffers, 1u);
    EXPECT_EQ(interleaved.list->mBuffers[0].mDataByteSize, 60u);
    EXPECT_EQ(AuBufferListFrameCount(interleaved.list), 5u);
    EXPECT_EQ(samples(interleaved.list, 0)[14], 0.0f);
    ListGuard split{AuBufferListNew(3, 5, false)};
    EXPECT_EQ(split.list->mNumberBuffers, 3u);
    EXPECT_EQ(AuBufferListChannelCount(split.list), 3u);
    EXPECT_EQ(AuBufferListFrameCount(split.list), 5u);
    EXPECT_EQ(AuBufferListNew(0, 5, true), nullptr);
    EXPECT_EQ(AuBufferListNew(2, 0, false), nullptr);
    EXPECT_EQ(AuBufferListFrameCount(nullptr), 0u);
}

TEST(AuBufferListShapes, ClearStopsAtTheEnd) {
    ListGuard list{AuBufferListNew(2, 4, false)};
    fillPattern(list.list);
    EXPECT_EQ(AuBufferListClear(list.list, 3, 10), 1u);
    EXPECT_EQ(samples(list.list, 1)[3], 0.0f);
    EXPECT_EQ(samples(list.list, 1)[2], 22.0f);
    EXPECT_EQ(AuBufferListClear(list.list, 5, 1), 0u);
}

TEST(AuBufferListCopies, StereoInterleavedIntoTwoMonoBuffersDeinterleaves) {
    ListGuard from{AuBufferListNew(2, 4, true)};
    ListGuard to{AuBufferListNew(2, 4, false)};
    fillPattern(from.list);
    EXPECT_EQ(AuBufferListCopy(from.list, 1, to.list, 0, 3), 3u);
    EXPECT_EQ(samples(to.list, 0)[0], 11.0f);
    EXPECT_EQ(samples(to.list, 1)[0], 12.0f);
    EXPECT_EQ(samples(to.list, 1)[2], 32.0f);
}

TEST(AuBufferListCopies, MonoIntoStereoFillsTheFirstChannelAndSilencesTheSecond) {
    ListGuard from{AuBufferListNew(1, 4, true)};
    ListGuard to{AuBufferListNew(2, 4, true)};
    fillPattern(from.list);
    for (uint32_t i = 0; i < 8; ++i)
        samples(to.list, 0)[i] = -1;
    EXPECT_EQ(AuBufferListCopy(from.list, 0, to.list, 0, 4), 4u);
    EXPECT_EQ(samples(to.list, 0)[2], 11.0f);
    EXPECT_EQ(samples(to.list, 0)[3], 0.0f);
}

TEST(AuBufferListCopies, MoreChannelsIntoFewerKeepsTheFirstOnes) {
    ListGuard from{AuBufferListNew(3, 2, false)};
    ListGuard to{AuBufferListNew(2, 2, true)};
    fillPattern(from.list);
    AuBufferListCopy(from.list, 0, to.list, 0, 2);
    EXPECT_EQ(samples(to.list, 0)[2], 11.0f);
    EXPECT_EQ(samples(to.list, 0)[3], 12.0f);
}

TEST(AuBufferListCopies, SameLayoutWithExtraDestinationBuffersSilencesThem) {
    ListGuard from{AuBufferListNew(2, 3, false)};
    ListGuard to{AuBufferListNew(3, 3, false)};
    fillPattern(from.list);
    fillPattern(to.list);
    AuBufferListCopy(from.list, 0, to.list, 1, 2);
    EXPECT_EQ(samples(to.list, 1)[1], 2.0f);
    EXPECT_EQ(samples(to.list, 2)[1], 0.0f);
    EXPECT_EQ(samples(to.list, 2)[0], 3.0f); // before the destination offset
}

TEST(AuBufferListCopies, RangesAreClippedToBothLists) {
    ListGuard from{AuBufferListNew(1, 10, true)};
    ListGuard to{AuBufferListNew(1, 4, true)};
    fillPattern(from.list);
    EXPECT_EQ(AuBufferListCopy(from.list, 8, to.list, 0, 100), 2u);
    EXPECT_EQ(AuBufferListCopy(from.list, 0, to.list, 3, 100), 1u);
    EXPECT_EQ(AuBufferListCopy(from.list, 0, to.list, 5, 1), 0u);
    EXPECT_EQ(samples(to.list, 0)[3], 1.0f);
}
