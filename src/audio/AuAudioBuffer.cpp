#include "audio/AuAudioBuffer.h"

#include <algorithm>

std::unique_ptr<AuAudioBuffer> AuAudioBuffer::create(uint32_t frames, uint32_t channels,
                                                     bool interleaved) {
    if (channels == 0 || frames == 0)
        return nullptr;
    AuBufferList* storage = AuBufferListNew(channels, frames, interleaved);
    if (!storage)
        return nullptr;
    return std::unique_ptr<AuAudioBuffer>(new AuAudioBuffer(frames, storage));
}

std::unique_ptr<AuAudioBuffer> AuAudioBuffer::create() {
    return create(44100, 2, false);
}

AuAudioBuffer::AuAudioBuffer(uint32_t frames, AuBufferList* storage)
    : AuBuffer(frames), myBuffer(storage) {}

AuAudioBuffer::~AuAudioBuffer() {
    AuBufferListDispose(myBuffer);
}

uint32_t AuAudioBuffer::writeFromAudioBufferList(const AuBufferList* list, uint32_t maxFrames,
                                                 double rateScalar, bool waitForRoom) {
    Context context{nullptr, list, 0, rateScalar};
    return writeFromContext(&context, std::min(maxFrames, AuBufferListFrameCount(list)),
                            waitForRoom);
}

uint32_t AuAudioBuffer::readToAudioBufferList(AuBufferList* list, uint32_t maxFrames,
                                              bool waitForData) {
    Context context{list, nullptr, 0, 1.0};
    return readToContext(&context, std::min(maxFrames, AuBufferListFrameCount(list)), waitForData);
}

void AuAudioBuffer::performWriteFromContext(void* context, uint32_t offset, uint32_t count) {
    auto& c = *static_cast<Context*>(context);
    AuBufferListCopy(c.source, c.offset, myBuffer, offset, count);
    const double scaled =
        scaledFramesInBuffer.load(std::memory_order_relaxed) + count * c.rateScalar;
    scaledFramesInBuffer.store(scaled, std::memory_order_relaxed);
    effectiveRateScalar.store(scaled / (heldFrames() + count), std::memory_order_relaxed);
    c.offset += count;
}

void AuAudioBuffer::performReadToContext(void* context, uint32_t offset, uint32_t count) {
    auto& c = *static_cast<Context*>(context);
    AuBufferListCopy(myBuffer, offset, c.destination, c.offset, count);
    scaledFramesInBuffer.store((heldFrames() - count) *
                                   effectiveRateScalar.load(std::memory_order_relaxed),
                               std::memory_order_relaxed);
    c.offset += count;
}

void AuAudioBuffer::bufferDidEmpty() {
    AuBuffer::bufferDidEmpty();
    effectiveRateScalar.store(1.0, std::memory_order_relaxed);
    scaledFramesInBuffer.store(0.0, std::memory_order_relaxed);
}
