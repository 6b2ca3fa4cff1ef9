#pragma once

#include <cstddef>
#include <cstdint>

// The data types the audio hardware layer and the device layer above it share.

using AuObjectID = uint32_t;
using AuPropertyID = uint32_t;
using AuStatus = int32_t;

constexpr uint32_t auFourCC(const char (&code)[5]) {
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
           (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

constexpr AuObjectID kAuHardwareObject = 0;
constexpr AuObjectID kAuUnknownObject = 0;
constexpr uint32_t kAuChannelWildcard = 0xFFFFFFFF;
constexpr uint32_t kAuDirectionWildcard = 0xFF;
constexpr AuPropertyID kAuPropertyWildcard = auFourCC("****");

// The latency a backend gives a device whose clients bear any ('iolt' 0):
// long transfers, few wake-ups.
constexpr double kAuUnhurriedLatencySeconds = 0.2;

// Directions: 0 playback (output), 1 record (input).
constexpr uint32_t kAuDirectionOutput = 0;
constexpr uint32_t kAuDirectionInput = 1;

// Status codes a backend returns; 0 is success.
constexpr AuStatus kAuNoError = 0;
constexpr AuStatus kAuErrorUnknownProperty = auFourCC("who?");
constexpr AuStatus kAuErrorBadObject = auFourCC("!obj");
constexpr AuStatus kAuErrorBadSize = auFourCC("!siz");
constexpr AuStatus kAuErrorNotWritable = auFourCC("nope");
constexpr AuStatus kAuErrorUnsupportedValue = auFourCC("!val");
constexpr AuStatus kAuErrorNoIOProc = auFourCC("!prc");
constexpr AuStatus kAuErrorCannotStart = auFourCC("!sta");

// One buffer of a buffer list: 32-bit float samples, channels interleaved.
struct AuChannelBuffer {
    uint32_t mNumberChannels;
    uint32_t mDataByteSize;
    void* mData;
};

// A count followed by that many buffers (allocated to size by AuBufferListNew
// or a backend).
struct AuBufferList {
    uint32_t mNumberBuffers;
    AuChannelBuffer mBuffers[];
};

constexpr size_t auBufferListSize(uint32_t buffers) {
    return offsetof(AuBufferList, mBuffers) + size_t(buffers) * sizeof(AuChannelBuffer);
}

// The IO time stamp. The layer reads the rate scalar when its flag says it is valid.
struct AuTimeStamp {
    double mSampleTime = 0.0;
    uint64_t mHostTime = 0;
    double mRateScalar = 0.0;
    uint64_t mWordClockTime = 0;
    uint32_t mFlags = 0;
    uint32_t mReserved = 0;
};
constexpr uint32_t kAuTimeStampSampleTimeValid = 1;
constexpr uint32_t kAuTimeStampHostTimeValid = 2;
constexpr uint32_t kAuTimeStampRateScalarValid = 4;

// A closed range of values (sample rates, buffer sizes).
struct AuValueRange {
    double mMinimum = 0.0;
    double mMaximum = 0.0;
};

// The single IO callback of a device: (device, now, input, input time, output,
// output time, client data) -> status.
using AuDeviceIOProc = AuStatus (*)(AuObjectID device, const AuTimeStamp* now,
                                    const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                    AuBufferList* outputData, const AuTimeStamp* outputTime,
                                    void* clientData);

// Where a property lives: the hardware itself, a device on (channel,
// direction), or a stream on a channel.
enum class AuScope : uint8_t { Hardware, Device, Stream };

struct AuPropertyAddress {
    AuScope scope = AuScope::Hardware;
    AuObjectID object = kAuHardwareObject;
    uint32_t channel = 0;
    uint32_t direction = 0;
    AuPropertyID property = 0;

    bool matches(const AuPropertyAddress& change) const {
        return scope == change.scope && (object == change.object) &&
               (channel == kAuChannelWildcard || channel == change.channel) &&
               (direction == kAuDirectionWildcard || direction == change.direction) &&
               (property == kAuPropertyWildcard || property == change.property);
    }
};

// Called with the changed property's address (never a wildcard).
using AuPropertyListenerProc = void (*)(const AuPropertyAddress& change, void* clientData);
