#include "audio/AuByteBuffer.h"

#include <cstring>
#include <new>

std::unique_ptr<AuByteBuffer> AuByteBuffer::create(uint32_t capacity) {
    if (capacity == 0)
        return nullptr;
    std::unique_ptr<uint8_t[]> storage(new (std::nothrow) uint8_t[capacity]);
    if (!storage)
        return nullptr;
    return std::unique_ptr<AuByteBuffer>(new AuByteBuffer(capacity, std::move(storage)));
}

AuByteBuffer::AuByteBuffer(uint32_t capacity, std::unique_ptr<uint8_t[]> storage)
    : AuBuffer(capacity), myBuffer(std::move(storage)) {}

uint32_t AuByteBuffer::writeFromBytes(const void* bytes, uint32_t count, bool waitForRoom) {
    auto cursor = static_cast<const uint8_t*>(bytes);
    return writeFromContext(&cursor, count, waitForRoom);
}

uint32_t AuByteBuffer::readToBytes(void* bytes, uint32_t count, bool waitForData) {
    auto cursor = static_cast<uint8_t*>(bytes);
    return readToContext(&cursor, count, waitForData);
}

void AuByteBuffer::performWriteFromContext(void* context, uint32_t offset, uint32_t count) {
    auto& cursor = *static_cast<const uint8_t**>(context);
    std::memcpy(myBuffer.get() + offset, cursor, count);
    cursor += count;
}

void AuByteBuffer::performReadToContext(void* context, uint32_t offset, uint32_t count) {
    auto& cursor = *static_cast<uint8_t**>(context);
    std::memcpy(cursor, myBuffer.get() + offset, count);
    cursor += count;
}
