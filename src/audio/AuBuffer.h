#pragma once

#include "audio/AuConditionLock.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// A fixed-capacity ring of frames for one producer and one consumer thread,
// with waiting and non-waiting transfers. It keeps the indices and the
// locking; subclasses own the storage and copy frames in the hooks, which run
// with the general lock held and never see a range that wraps.
class AuBuffer {
public:
    // Conditions of the read and write locks.
    static constexpr int kEmpty = 0;
    static constexpr int kHasData = 1;
    static constexpr int kHasRoom = 2;
    static constexpr int kFull = 3;

    virtual ~AuBuffer();

    // A waiting transfer returns once count frames have moved, over as many
    // passes as it takes; a non-waiting one makes a single pass and returns
    // what moved, possibly 0.
    uint32_t writeFromContext(void* context, uint32_t count, bool waitForRoom);
    uint32_t readToContext(void* context, uint32_t count, bool waitForData);
    void flush();

    uint32_t capacity() const { return bufferSize; }
    uint32_t count() const { return framesInBuffer.load(std::memory_order_acquire); }

    int readCondition() { return readLock.condition(); }
    int writeCondition() { return writeLock.condition(); }

protected:
    // Capacity 0 would make a waiting write wait forever; owners refuse it.
    explicit AuBuffer(uint32_t capacity);

    virtual void performWriteFromContext(void* context, uint32_t offset, uint32_t count);
    virtual void performReadToContext(void* context, uint32_t offset, uint32_t count);
    virtual void bufferDidEmpty();

    // Frames held as the hooks see them: before the current piece is added
    // or removed.
    uint32_t heldFrames() const { return framesInBuffer.load(std::memory_order_relaxed); }

private:
    AuConditionLock readLock{kEmpty};
    AuConditionLock writeLock{kHasRoom};
    std::mutex generalLock;
    uint32_t bufferHead = 0;
    std::atomic<uint32_t> framesInBuffer{0};
    const uint32_t bufferSize;
};
