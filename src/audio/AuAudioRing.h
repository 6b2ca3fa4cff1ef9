#pragma once

#include "audio/AuBufferList.h"

#include <atomic>
#include <cstdint>
#include <memory>

// A fixed-capacity ring of 32-bit float frames for exactly one producer thread
// and one consumer thread, neither of which ever waits for or is turned away
// by the other: each side owns one index and publishes it with release
// ordering, and reads the other's with acquire. Everything is allocated when
// the ring is made. Beside the frames it keeps the rate scalar each frame was
// written with, so that the average over the frames held stays exact while
// both sides move.
class AuAudioRing {
public:
    // Nothing for 0 channels or 0 frames, or when the storage cannot be had.
    static std::unique_ptr<AuAudioRing> create(uint32_t frames, uint32_t channels);
    ~AuAudioRing();
    AuAudioRing(const AuAudioRing&) = delete;
    AuAudioRing& operator=(const AuAudioRing&) = delete;

    // Producer side: copies min(maxFrames, the list's frame count, the free
    // room) frames, mapping channels as AuBufferListCopy does, and returns them.
    uint32_t writeFromAudioBufferList(const AuBufferList* list, uint32_t maxFrames,
                                      double rateScalar);
    // Consumer side: copies min(maxFrames, the list's frame count, the frames
    // held) frames from the list's start; the rest of the list keeps its samples.
    uint32_t readToAudioBufferList(AuBufferList* list, uint32_t maxFrames);
    // Consumer side: drops up to that many of the oldest frames.
    uint32_t discard(uint32_t frames);

    uint32_t capacity() const { return bufferSize; }
    // Either side, or a third thread for a glance.
    uint32_t count() const;
    // The average rate scalar of the frames held; 1.0 when empty.
    double rateScalar() const;
    // The sum of the rate scalars of the frames held.
    double scaledCount() const;
    uint32_t channels() const { return AuBufferListChannelCount(myBuffer); }

private:
    AuAudioRing(uint32_t frames, AuBufferList* storage, std::unique_ptr<double[]> rates);
    // Consumer side: advances the read index by n frames, with their scalars.
    void consume(uint64_t readIndex, uint32_t n);

    static_assert(std::atomic<uint64_t>::is_always_lock_free);
    static_assert(std::atomic<double>::is_always_lock_free);

    const uint32_t bufferSize;
    AuBufferList* myBuffer;
    std::unique_ptr<double[]> frameRates;
    // Frames ever written and read: 64 bits never wrap, so full and empty need
    // no spare slot. Apart so that each side's stores do not bounce the other's line.
    alignas(64) std::atomic<uint64_t> writeIndex{0};
    std::atomic<double> scaledWritten{0.0};
    alignas(64) std::atomic<uint64_t> readIndex{0};
    std::atomic<double> scaledRead{0.0};
};
