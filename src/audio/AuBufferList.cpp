#include "audio/AuBufferList.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

AuBufferList* AuBufferListNew(uint32_t channels, uint32_t frames, bool interleaved) {
    if (channels == 0 || frames == 0)
        return nullptr;
    const uint32_t buffers = interleaved ? 1 : channels;
    const uint32_t perBuffer = interleaved ? channels : 1;
    const uint64_t bytes = uint64_t(frames) * perBuffer * sizeof(float);
    if (bytes > UINT32_MAX)
        return nullptr;
    auto* list = static_cast<AuBufferList*>(std::calloc(1, auBufferListSize(buffers)));
    if (!list)
        return nullptr;
    list->mNumberBuffers = buffers;
    for (uint32_t i = 0; i < buffers; ++i) {
        list->mBuffers[i].mNumberChannels = perBuffer;
        list->mBuffers[i].mDataByteSize = uint32_t(bytes);
        list->mBuffers[i].mData = std::calloc(1, size_t(bytes));
        if (!list->mBuffers[i].mData) {
            AuBufferListDispose(list);
            return nullptr;
        }
    }
    return list;
}

void AuBufferListDispose(AuBufferList* list) {
    if (!list)
        return;
    for (uint32_t i = 0; i < list->mNumberBuffers; ++i)
        std::free(list->mBuffers[i].mData);
    std::free(list);
}

uint32_t AuBufferListChannelCount(const AuBufferList* list) {
    uint32_t channels = 0;
    for (uint32_t i = 0; list && i < list->mNumberBuffers; ++i)
        channels += list->mBuffers[i].mNumberChannels;
    return channels;
}

uint32_t AuBufferListFrameCount(const AuBufferList* list) {
    if (!list || list->mNumberBuffers == 0 || list->mBuffers[0].mNumberChannels == 0)
        return 0;
    return list->mBuffers[0].mDataByteSize / list->mBuffers[0].mNumberChannels / 4;
}

uint32_t AuBufferListClear(AuBufferList* list, uint32_t offset, uint32_t count) {
    const uint32_t frames = AuBufferListFrameCount(list);
    if (!list || frames < offset)
        return 0;
    const uint32_t n = std::min(frames - offset, count);
    for (uint32_t i = 0; i < list->mNumberBuffers; ++i) {
        AuChannelBuffer& b = list->mBuffers[i];
        std::memset(static_cast<float*>(b.mData) + size_t(offset) * b.mNumberChannels, 0,
                    size_t(n) * b.mNumberChannels * sizeof(float));
    }
    return n;
}

namespace {

// Which buffer and which channel within it hold a list-wide channel number.
struct ChannelWalk {
    const AuBufferList* list;
    uint32_t buffer = 0;
    uint32_t channel = 0;

    bool valid() const { return buffer < list->mNumberBuffers; }
    void next() {
        if (++channel >= list->mBuffers[buffer].mNumberChannels) {
            channel = 0;
            ++buffer;
            while (valid() && list->mBuffers[buffer].mNumberChannels == 0)
                ++buffer;
        }
    }
    static ChannelWalk start(const AuBufferList* list) {
        ChannelWalk walk{list};
        while (walk.valid() && list->mBuffers[walk.buffer].mNumberChannels == 0)
            ++walk.buffer;
        return walk;
    }
    float* sample(uint32_t frame) const {
        const AuChannelBuffer& b = list->mBuffers[buffer];
        return static_cast<float*>(b.mData) + size_t(frame) * b.mNumberChannels + channel;
    }
};

} // namespace

uint32_t AuBufferListCopy(const AuBufferList* source, uint32_t sourceOffset,
                          AuBufferList* destination, uint32_t destinationOffset, uint32_t count) {
    const uint32_t srcFrames = AuBufferListFrameCount(source);
    const uint32_t dstFrames = AuBufferListFrameCount(destination);
    if (srcFrames < sourceOffset || dstFrames < destinationOffset)
        return 0;
    const uint32_t n = std::min({count, srcFrames - sourceOffset, dstFrames - destinationOffset});
    if (n == 0)
        return 0;
    const uint32_t common = std::min(source->mNumberBuffers, destination->mNumberBuffers);
    bool sameLayout = true;
    for (uint32_t i = 0; i < common; ++i)
        sameLayout = sameLayout && source->mBuffers[i].mNumberChannels ==
                                       destination->mBuffers[i].mNumberChannels;
    if (sameLayout) {
        for (uint32_t i = 0; i < common; ++i) {
            const uint32_t channels = source->mBuffers[i].mNumberChannels;
            std::memcpy(static_cast<float*>(destination->mBuffers[i].mData) +
                            size_t(destinationOffset) * channels,
                        static_cast<const float*>(source->mBuffers[i].mData) +
                            size_t(sourceOffset) * channels,
                        size_t(n) * channels * sizeof(float));
        }
        for (uint32_t i = common; i < destination->mNumberBuffers; ++i) {
            const uint32_t channels = destination->mBuffers[i].mNumberChannels;
            std::memset(static_cast<float*>(destination->mBuffers[i].mData) +
                            size_t(destinationOffset) * channels,
                        0, size_t(n) * channels * sizeof(float));
        }
        return n;
    }
    for (uint32_t f = 0; f < n; ++f) {
        ChannelWalk src = ChannelWalk::start(source);
        ChannelWalk dst = ChannelWalk::start(destination);
        for (; src.valid() && dst.valid(); src.next(), dst.next())
            *dst.sample(destinationOffset + f) = *src.sample(sourceOffset + f);
        for (; dst.valid(); dst.next())
            *dst.sample(destinationOffset + f) = 0.0f;
    }
    return n;
}
