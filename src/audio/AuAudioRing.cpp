#include "audio/AuAudioRing.h"

#include <algorithm>
#include <new>

std::unique_ptr<AuAudioRing> AuAudioRing::create(uint32_t frames, uint32_t channels) {
    if (channels == 0 || frames == 0)
        return nullptr;
    std::unique_ptr<double[]> rates(new (std::nothrow) double[frames]);
    if (!rates)
        return nullptr;
    AuBufferList* storage = AuBufferListNew(channels, frames, false);
    if (!storage)
        return nullptr;
    return std::unique_ptr<AuAudioRing>(new AuAudioRing(frames, storage, std::move(rates)));
}

AuAudioRing::AuAudioRing(uint32_t frames, AuBufferList* storage, std::unique_ptr<double[]> rates)
    : bufferSize(frames), myBuffer(storage), frameRates(std::move(rates)) {}

AuAudioRing::~AuAudioRing() {
    AuBufferListDispose(myBuffer);
}

uint32_t AuAudioRing::count() const {
    // The read index first: the write index loaded after it is never behind it.
    const uint64_t read = readIndex.load(std::memory_order_acquire);
    const uint64_t written = writeIndex.load(std::memory_order_acquire);
    return uint32_t(written - read);
}

uint32_t AuAudioRing::writeFromAudioBufferList(const AuBufferList* list, uint32_t maxFrames,
                                               double rateScalar) {
    const uint64_t written = writeIndex.load(std::memory_order_relaxed);
    const uint64_t read = readIndex.load(std::memory_order_acquire);
    const uint32_t room = bufferSize - uint32_t(written - read);
    const uint32_t n = std::min({maxFrames, AuBufferListFrameCount(list), room});
    if (n == 0)
        return 0;
    const auto pos = uint32_t(written % bufferSize);
    const uint32_t first = std::min(n, bufferSize - pos);
    AuBufferListCopy(list, 0, myBuffer, pos, first);
    AuBufferListCopy(list, first, myBuffer, 0, n - first);
    std::fill(frameRates.get() + pos, frameRates.get() + pos + first, rateScalar);
    std::fill(frameRates.get(), frameRates.get() + (n - first), rateScalar);
    scaledWritten.store(scaledWritten.load(std::memory_order_relaxed) + n * rateScalar,
                        std::memory_order_relaxed);
    writeIndex.store(written + n, std::memory_order_release);
    return n;
}

uint32_t AuAudioRing::readToAudioBufferList(AuBufferList* list, uint32_t maxFrames) {
    const uint64_t read = readIndex.load(std::memory_order_relaxed);
    const uint64_t written = writeIndex.load(std::memory_order_acquire);
    const uint32_t n =
        std::min({maxFrames, AuBufferListFrameCount(list), uint32_t(written - read)});
    if (n == 0)
        return 0;
    const auto pos = uint32_t(read % bufferSize);
    const uint32_t first = std::min(n, bufferSize - pos);
    AuBufferListCopy(myBuffer, pos, list, 0, first);
    AuBufferListCopy(myBuffer, 0, list, first, n - first);
    consume(read, n);
    return n;
}

uint32_t AuAudioRing::discard(uint32_t frames) {
    const uint64_t read = readIndex.load(std::memory_order_relaxed);
    const uint64_t written = writeIndex.load(std::memory_order_acquire);
    const uint32_t n = std::min(frames, uint32_t(written - read));
    if (n > 0)
        consume(read, n);
    return n;
}

void AuAudioRing::consume(uint64_t read, uint32_t n) {
    const auto pos = uint32_t(read % bufferSize);
    const uint32_t first = std::min(n, bufferSize - pos);
    double scaled = 0.0;
    for (uint32_t i = 0; i < first; ++i)
        scaled += frameRates[pos + i];
    for (uint32_t i = 0; i < n - first; ++i)
        scaled += frameRates[i];
    scaledRead.store(scaledRead.load(std::memory_order_relaxed) + scaled,
                     std::memory_order_relaxed);
    // Release: the producer may overwrite these frames only after the copy.
    readIndex.store(read + n, std::memory_order_release);
}

double AuAudioRing::scaledCount() const {
    if (count() == 0)
        return 0.0;
    const double read = scaledRead.load(std::memory_order_relaxed);
    return std::max(0.0, scaledWritten.load(std::memory_order_relaxed) - read);
}

double AuAudioRing::rateScalar() const {
    const uint32_t held = count();
    if (held == 0)
        return 1.0;
    const double read = scaledRead.load(std::memory_order_relaxed);
    return std::max(0.0, scaledWritten.load(std::memory_order_relaxed) - read) / held;
}
