#pragma once

#include "audio/AuAudioRing.h"

#include <atomic>
#include <memory>
#include <vector>

class AuDevice;
struct SRC_STATE_tag;

// Carries audio from one device's IO callback to another's, which may run at
// another rate, with another channel count and on another clock: the producer
// writes into a ring, the consumer pulls converted frames through the
// resampler, which reads the ring in chunks, and a gain per output channel.
// One producer thread and one consumer thread; the ring between them is free
// of locks, so neither waits for the other or is turned away by it, and
// nothing is allocated after creation.
class AuConversionBuffer {
public:
    // Nothing when either device is not in the canonical format, or when a
    // part cannot be made.
    static std::unique_ptr<AuConversionBuffer> create(AuDevice& sourceDevice,
                                                      AuDevice& destinationDevice);
    static std::unique_ptr<AuConversionBuffer>
    create(double sourceSampleRate, uint32_t sourceChannels, uint32_t sourceBufferFrames,
           double destinationSampleRate, uint32_t destinationChannels,
           uint32_t destinationBufferFrames);
    ~AuConversionBuffer();
    AuConversionBuffer(const AuConversionBuffer&) = delete;
    AuConversionBuffer& operator=(const AuConversionBuffer&) = delete;

    static uint32_t numBufferFramesForSourceSampleRate(double sourceSampleRate,
                                                       uint32_t sourceFrames,
                                                       uint32_t effectiveDestinationFrames);
    // The time stamp's rate scalar clamped to [1/1.01, 1.01], or 1.0 without one.
    static double _fudgeFactorFromTimeStamp(const AuTimeStamp* timeStamp);
    // Every stream of the device in that direction runs a canonical format.
    static bool _verifyDeviceIsCanonicalFormat(AuDevice& device, uint32_t direction);

    // Producer side: the whole list goes into the ring; what does not fit is lost.
    void writeFromAudioBufferList(const AuBufferList* list, const AuTimeStamp* timeStamp);
    // Consumer side: fills min(output list, given list) frames; silence until
    // the ring holds twice a source block and a staging list, after an
    // underrun too; a converter error leaves the list as handed in.
    void readToAudioBufferList(AuBufferList* list, const AuTimeStamp* timeStamp);

    void setGain(float gain, uint32_t channel);
    float gainForOutputChannel(uint32_t channel) const;

    const AuAudioRing& ring() const { return *audioBuffer; }
    uint32_t stagingFrames() const { return AuBufferListFrameCount(conversionBufferList); }
    uint32_t outputFrames() const { return AuBufferListFrameCount(outputBufferList); }
    uint32_t converterChannels() const { return sourceChannels; }
    uint32_t outputChannels() const { return destinationChannels; }
    // Every output channel takes the single input channel.
    bool hasChannelMap() const { return channelMapAllZero; }

private:
    AuConversionBuffer() = default;
    bool _initAudioConverterWithSourceSampleRate(double sourceSampleRate, uint32_t channels,
                                                 double destinationSampleRate,
                                                 uint32_t destinationChannels);
    static long _FillComplexBufferProc(void* userData, float** data);
    long _fillComplexBuffer(float** data);

    SRC_STATE_tag* converter = nullptr;
    AuBufferList* conversionBufferList = nullptr;
    AuBufferList* outputBufferList = nullptr;
    std::unique_ptr<AuAudioRing> audioBuffer;
    std::unique_ptr<std::atomic<float>[]> gainArray;
    uint32_t sourceChannels = 0;      // C
    uint32_t destinationChannels = 0; // D
    double ratio = 1.0;               // output frames per input frame
    bool channelMapAllZero = false;
    // The fill the reader starts from: twice a source block and a staging list.
    uint32_t primeFrames = 0;
    // The consumer's own: reading since the ring last reached primeFrames.
    bool primed = false;
    // The producer lost frames to a full ring since the consumer last looked.
    std::atomic<bool> overflowed{false};
    std::vector<float> interleavedInput;  // staging frames × C
    std::vector<float> interleavedOutput; // output frames × C
};
