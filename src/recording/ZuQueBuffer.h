#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// The sound queue: a fixed-size ring of 32-bit float samples between one
// writer and one reader running at different paces. A write into a full queue
// drops the oldest samples, so the queue always holds the latest stretch of
// sound.
//
// One writer and one reader may work at the same time without locks. Both
// sides count samples with 64-bit totals that only grow (so a stale value can
// never be mistaken for a current one); the indexes and the byte count are
// derived from them. The writer pushes the read total forward before it
// overwrites unread samples; the reader copies first and then commits its read
// total with a compare-and-swap, which fails exactly when the writer pushed it
// meanwhile, and then copies again from the new oldest sample. A delivered
// sample is therefore never one the writer was overwriting. Samples are
// relaxed atomics, which compile to plain loads and stores.
//
// setQueLength and clearData belong to the owner and must not run while a
// writer or reader is working.
class ZuQueBuffer {
public:
    ZuQueBuffer();
    ~ZuQueBuffer();
    ZuQueBuffer(const ZuQueBuffer&) = delete;
    ZuQueBuffer& operator=(const ZuQueBuffer&) = delete;

    // A queue of the given length in bytes, or none when the storage cannot be
    // allocated.
    static std::unique_ptr<ZuQueBuffer> initQueWithLength(uint32_t length);

    // The same length keeps storage and contents; another length replaces the
    // storage and empties the queue. False when the allocation fails (the
    // queue is then left without storage and a length of 0).
    bool setQueLength(uint32_t length);

    // Appends count samples; always accepts them all (count x 4 bytes).
    uint32_t writeFloat32Data(const float* data, uint32_t length);
    // Moves up to length samples into data; answers the bytes delivered.
    uint32_t readFloat32Data(float* data, uint32_t length);
    // Keeps only the newest samples; answers the bytes now held. Runs on the
    // reader's side.
    uint32_t clearDataWithLeftLengthFloat32(uint32_t samples);
    void clearData();

    uint32_t empty() const;
    uint32_t queLength() const { return length; }
    uint32_t remain() const;
    uint32_t getPoint() const;
    uint32_t putPoint() const;
    // Samples ever written, and ever read or dropped: positions in the
    // stream of sound that only grow until the owner clears the queue.
    uint64_t writtenTotal() const { return written.load(std::memory_order_acquire); }
    uint64_t consumedTotal() const { return consumed.load(std::memory_order_acquire); }

    // Advances an index by one sample, wrapping at the end of the storage.
    void incPutFloat32Point(uint32_t* point) const;
    void incGetFloat32Point(uint32_t* point) const;

private:
    uint32_t capacity() const { return length / 4; }
    void store(uint64_t position, const float* data, uint32_t count);
    void load(uint64_t position, float* data, uint32_t count) const;

    std::unique_ptr<std::atomic<float>[]> queBuffer;
    uint32_t length = 0;
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> consumed{0};
};
