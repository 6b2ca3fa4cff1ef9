#pragma once

#include <cstdint>

// The platform's linear-PCM stream description record: 40 bytes, the sample
// rate as a 64-bit float followed by eight unsigned 32-bit fields.
struct AuStreamBasicDescription {
    double mSampleRate = 0.0;
    uint32_t mFormatID = 0;
    uint32_t mFormatFlags = 0;
    uint32_t mBytesPerPacket = 0;
    uint32_t mFramesPerPacket = 0;
    uint32_t mBytesPerFrame = 0;
    uint32_t mChannelsPerFrame = 0;
    uint32_t mBitsPerChannel = 0;
    uint32_t mReserved = 0;
};
static_assert(sizeof(AuStreamBasicDescription) == 40);

// Format identifier and flags of the linear-PCM record.
constexpr uint32_t kAudioFormatLinearPCM = 0x6c70636d; // 'lpcm'
constexpr uint32_t kAudioFormatFlagIsFloat = 1u << 0;
constexpr uint32_t kAudioFormatFlagIsBigEndian = 1u << 1;
constexpr uint32_t kAudioFormatFlagIsSignedInteger = 1u << 2;
constexpr uint32_t kAudioFormatFlagIsPacked = 1u << 3;
constexpr uint32_t kAudioFormatFlagIsAlignedHigh = 1u << 4;
constexpr uint32_t kAudioFormatFlagIsNonInterleaved = 1u << 5;
constexpr uint32_t kAudioFormatFlagIsNonMixable = 1u << 6;
