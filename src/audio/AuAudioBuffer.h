#pragma once

#include "audio/AuBuffer.h"
#include "audio/AuBufferList.h"

#include <memory>

// A ring of 32-bit float frames held in a buffer list. Beside the frames it
// keeps the average rate scalar of the frames it holds.
class AuAudioBuffer : public AuBuffer {
public:
    // Nothing for 0 channels or 0 frames, or when the storage cannot be had.
    static std::unique_ptr<AuAudioBuffer> create(uint32_t frames, uint32_t channels,
                                                 bool interleaved = false);
    // 44100 frames of 2 non-interleaved channels.
    static std::unique_ptr<AuAudioBuffer> create();
    ~AuAudioBuffer() override;

    // Both move min(maxFrames, the list's frame count) frames. A short read
    // leaves the rest of the destination as it was.
    uint32_t writeFromAudioBufferList(const AuBufferList* list, uint32_t maxFrames,
                                      double rateScalar, bool waitForRoom);
    uint32_t readToAudioBufferList(AuBufferList* list, uint32_t maxFrames, bool waitForData);

    double rateScalar() const { return effectiveRateScalar.load(std::memory_order_relaxed); }
    double scaledCount() const { return scaledFramesInBuffer.load(std::memory_order_relaxed); }
    uint32_t channels() const { return AuBufferListChannelCount(myBuffer); }

protected:
    void performWriteFromContext(void* context, uint32_t offset, uint32_t count) override;
    void performReadToContext(void* context, uint32_t offset, uint32_t count) override;
    void bufferDidEmpty() override;

private:
    AuAudioBuffer(uint32_t frames, AuBufferList* storage);

    struct Context {
        AuBufferList* destination;
        const AuBufferList* source;
        uint32_t offset;
        double rateScalar;
    };

    AuBufferList* myBuffer;
    std::atomic<double> scaledFramesInBuffer{0.0};
    std::atomic<double> effectiveRateScalar{1.0};
};
