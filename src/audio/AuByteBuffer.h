#pragma once

#include "audio/AuBuffer.h"

#include <memory>

// A ring of bytes.
class AuByteBuffer : public AuBuffer {
public:
    // Nothing for 0 bytes or when the storage cannot be had.
    static std::unique_ptr<AuByteBuffer> create(uint32_t capacity);

    uint32_t writeFromBytes(const void* bytes, uint32_t count, bool waitForRoom);
    uint32_t readToBytes(void* bytes, uint32_t count, bool waitForData);

protected:
    void performWriteFromContext(void* context, uint32_t offset, uint32_t count) override;
    void performReadToContext(void* context, uint32_t offset, uint32_t count) override;

private:
    AuByteBuffer(uint32_t capacity, std::unique_ptr<uint8_t[]> storage);

    std::unique_ptr<uint8_t[]> myBuffer;
};
