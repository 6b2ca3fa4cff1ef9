#include "recording/ZuQueBuffer.h"

#include <algorithm>
#include <new>

namespace {
// Large reads are taken and committed in pieces of this many samples, so a
// writer that overflows meanwhile costs the reader at most one piece again.
constexpr uint32_t readPiece = 4096;
} // namespace

ZuQueBuffer::ZuQueBuffer() = default;
ZuQueBuffer::~ZuQueBuffer() = default;

std::unique_ptr<ZuQueBuffer> ZuQueBuffer::initQueWithLength(uint32_t length) {
    auto queue = std::make_unique<ZuQueBuffer>();
    if (!queue->setQueLength(length))
        return nullptr;
    return queue;
}

bool ZuQueBuffer::setQueLength(uint32_t newLength) {
    if (newLength == length)
        return true;
    queBuffer.reset();
    length = 0;
    clearData();
    if (newLength / 4 > 0) {
        queBuffer.reset(new (std::nothrow) std::atomic<float>[newLength / 4]);
        if (!queBuffer)
            return false;
    }
    length = newLength;
    return true;
}

void ZuQueBuffer::store(uint64_t position, const float* data, uint32_t count) {
    const uint32_t slot = static_cast<uint32_t>(position % capacity());
    const uint32_t first = std::min(count, capacity() - slot);
    std::atomic<float>* to = queBuffer.get() + slot;
    for (uint32_t i = 0; i < first; ++i)
        to[i].store(data[i], std::memory_order_relaxed);
    to = queBuffer.get();
    for (uint32_t i = first; i < count; ++i)
        to[i - first].store(data[i], std::memory_order_relaxed);
}

void ZuQueBuffer::load(uint64_t position, float* data, uint32_t count) const {
    const uint32_t slot = static_cast<uint32_t>(position % capacity());
    const uint32_t first = std::min(count, capacity() - slot);
    const std::atomic<float>* from = queBuffer.get() + slot;
    for (uint32_t i = 0; i < first; ++i)
        data[i] = from[i].load(std::memory_order_relaxed);
    from = queBuffer.get();
    for (uint32_t i = first; i < count; ++i)
        data[i] = from[i - first].load(std::memory_order_relaxed);
}

uint32_t ZuQueBuffer::writeFloat32Data(const float* data, uint32_t count) {
    const uint32_t cap = capacity();
    if (cap == 0 || count == 0)
        return count * 4;
    const uint64_t start = written.load(std::memory_order_relaxed);
    const uint64_t end = start + count;
    // Only the last capacity samples of a long write survive it.
    const uint32_t kept = std::min(count, cap);
    const uint64_t keptStart = end - kept;
    if (end > cap) {
        // Drop the oldest unread samples before their slots are overwritten.
        const uint64_t oldestKept = end - cap;
        uint64_t oldest = consumed.load(std::memory_order_acquire);
        while (oldest < oldestKept &&
               !consumed.compare_exchange_weak(oldest, oldestKept, std::memory_order_acq_rel,
                                               std::memory_order_acquire)) {
        }
    }
    store(keptStart, data + (count - kept), kept);
    written.store(end, std::memory_order_release);
    return count * 4;
}

uint32_t ZuQueBuffer::readFloat32Data(float* data, uint32_t count) {
    const uint32_t cap = capacity();
    uint32_t delivered = 0;
    while (delivered < count && cap > 0) {
        uint64_t oldest = consumed.load(std::memory_order_acquire);
        const uint64_t newest = written.load(std::memory_order_acquire);
        if (newest <= oldest)
            break;
        const uint32_t piece = static_cast<uint32_t>(
            std::min<uint64_t>({count - delivered, newest - oldest, cap, readPiece}));
        load(oldest, data + delivered, piece);
        // Fails only when the writer dropped samples meanwhile: copy again.
        if (consumed.compare_exchange_strong(oldest, oldest + piece, std::memory_order_acq_rel,
                                             std::memory_order_acquire))
            delivered += piece;
    }
    return delivered * 4;
}

uint32_t ZuQueBuffer::clearDataWithLeftLengthFloat32(uint32_t samples) {
    for (;;) {
        uint64_t oldest = consumed.load(std::memory_order_acquire);
        const uint64_t newest = written.load(std::memory_order_acquire);
        const uint64_t held = newest > oldest ? std::min<uint64_t>(newest - oldest, capacity()) : 0;
        if (held < samples)
            return static_cast<uint32_t>(held * 4);
        if (consumed.compare_exchange_strong(oldest, newest - samples, std::memory_order_acq_rel,
                                             std::memory_order_acquire))
            return samples * 4;
    }
}

void ZuQueBuffer::clearData() {
    written.store(0, std::memory_order_release);
    consumed.store(0, std::memory_order_release);
}

uint32_t ZuQueBuffer::remain() const {
    const uint64_t oldest = consumed.load(std::memory_order_acquire);
    const uint64_t newest = written.load(std::memory_order_acquire);
    if (newest <= oldest)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(newest - oldest, capacity()) * 4);
}

uint32_t ZuQueBuffer::empty() const {
    return length - remain();
}

uint32_t ZuQueBuffer::getPoint() const {
    return capacity() ? static_cast<uint32_t>(consumed.load(std::memory_order_acquire) % capacity())
                      : 0;
}

uint32_t ZuQueBuffer::putPoint() const {
    return capacity() ? static_cast<uint32_t>(written.load(std::memory_order_acquire) % capacity())
                      : 0;
}

void ZuQueBuffer::incPutFloat32Point(uint32_t* point) const {
    incGetFloat32Point(point);
}

void ZuQueBuffer::incGetFloat32Point(uint32_t* point) const {
    ++*point;
    if (uint64_t(*point) * 4 >= length)
        *point = 0;
}
