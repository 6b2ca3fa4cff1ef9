#include "audio/AuBuffer.h"

#include <algorithm>

AuBuffer::AuBuffer(uint32_t capacity) : bufferSize(capacity) {}

AuBuffer::~AuBuffer() = default;

void AuBuffer::performWriteFromContext(void*, uint32_t, uint32_t) {}
void AuBuffer::performReadToContext(void*, uint32_t, uint32_t) {}
void AuBuffer::bufferDidEmpty() {}

uint32_t AuBuffer::writeFromContext(void* context, uint32_t count, bool waitForRoom) {
    uint32_t total = 0;
    while (count > 0) {
        // The non-waiting form serves the audio threads: when the other side
        // is in the middle of its copy it transfers nothing rather than wait.
        if (waitForRoom)
            writeLock.lockWhenCondition(kHasRoom);
        else if (!writeLock.tryLock())
            break;
        std::unique_lock general(generalLock, std::defer_lock);
        if (waitForRoom) {
            general.lock();
        } else if (!general.try_lock()) {
            writeLock.unlock();
            break;
        }
        uint32_t frames = framesInBuffer.load(std::memory_order_relaxed);
        // In 64 bits: head and count may each be near a 32-bit size.
        uint64_t pos = uint64_t(bufferHead) + frames;
        while (frames < bufferSize && count > 0) {
            if (pos >= bufferSize)
                pos -= bufferSize;
            const uint32_t n = std::min({count, bufferSize - frames, uint32_t(bufferSize - pos)});
            performWriteFromContext(context, uint32_t(pos), n);
            pos += n;
            total += n;
            count -= n;
            frames += n;
            framesInBuffer.store(frames, std::memory_order_release);
        }
        readLock.setCondition(kHasData);
        writeLock.unlockWithCondition(frames == bufferSize ? kFull : kHasRoom);
        if (!waitForRoom)
            break;
    }
    return total;
}

uint32_t AuBuffer::readToContext(void* context, uint32_t count, bool waitForData) {
    uint32_t total = 0;
    while (count > 0) {
        if (waitForData)
            readLock.lockWhenCondition(kHasData);
        else if (!readLock.tryLock())
            break;
        std::unique_lock general(generalLock, std::defer_lock);
        if (waitForData) {
            general.lock();
        } else if (!general.try_lock()) {
            readLock.unlock();
            break;
        }
        uint32_t frames = framesInBuffer.load(std::memory_order_relaxed);
        while (frames > 0 && count > 0) {
            const uint32_t n = std::min({count, frames, bufferSize - bufferHead});
            performReadToContext(context, bufferHead, n);
            frames -= n;
            framesInBuffer.store(frames, std::memory_order_release);
            total += n;
            count -= n;
            bufferHead += n;
            if (bufferHead == bufferSize)
                bufferHead = 0;
        }
        writeLock.setCondition(kHasRoom);
        if (frames == 0) {
            bufferDidEmpty();
            readLock.unlockWithCondition(kEmpty);
        } else {
            readLock.unlockWithCondition(kHasData);
        }
        if (!waitForData)
            break;
    }
    return total;
}

void AuBuffer::flush() {
    std::lock_guard general(generalLock);
    framesInBuffer.store(0, std::memory_order_release);
    bufferDidEmpty();
    writeLock.setCondition(kHasRoom);
    readLock.setCondition(kEmpty);
}
