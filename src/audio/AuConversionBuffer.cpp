#include "audio/AuConversionBuffer.h"

#include "audio/AuDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <samplerate.h>

namespace {

// Two devices' callbacks run on their own threads, each a little early or late
// by the scheduler's whim; on a loaded machine a thread may wake 50 ms late or
// more. The ring holds ten times a source block and a staging list, and the
// reader starts once four of those are there (about 90 ms at 44.1 kHz): either
// side late by a few blocks neither starves the resampler nor overflows the
// ring. A monitor is listened to, not played along with, so the delay is the
// better trade than a dropout.
constexpr uint32_t kRingBlocks = 10;
constexpr uint32_t kPrimeBlocks = 4;

// The best sinc converter: about 2 % of real time for a second of stereo
// audio (bench/AuConversionBufferBench.cpp), far inside a callback's budget.
constexpr int kConverterType = SRC_SINC_BEST_QUALITY;

uint32_t clampToFrames(double frames) {
    if (!(frames > 0))
        return 0;
    return frames >= 4294967295.0 ? 4294967295u : uint32_t(frames);
}

} // namespace

uint32_t
AuConversionBuffer::numBufferFramesForSourceSampleRate(double, uint32_t sourceFrames,
                                                       uint32_t effectiveDestinationFrames) {
    return sourceFrames + effectiveDestinationFrames;
}

double AuConversionBuffer::_fudgeFactorFromTimeStamp(const AuTimeStamp* timeStamp) {
    if (!timeStamp || !(timeStamp->mFlags & kAuTimeStampRateScalarValid))
        return 1.0;
    return std::clamp(timeStamp->mRateScalar, 0.9900990099009901, 1.01);
}

bool AuConversionBuffer::_verifyDeviceIsCanonicalFormat(AuDevice& device, uint32_t direction) {
    const auto* streams = device.streamsForDirection(direction);
    if (!streams)
        return true;
    for (const auto& stream : *streams) {
        const auto format = stream->streamDescriptionForSide(0);
        if (!format || !format->isCanonicalFormat())
            return false;
    }
    return true;
}

std::unique_ptr<AuConversionBuffer> AuConversionBuffer::create(AuDevice& source,
                                                               AuDevice& destination) {
    if (!_verifyDeviceIsCanonicalFormat(source, kAuDirectionInput) ||
        !_verifyDeviceIsCanonicalFormat(destination, kAuDirectionOutput))
        return nullptr;
    return create(
        source.nominalSampleRate(), source.channelsForDirection(kAuDirectionInput),
        clampToFrames(std::ceil(1.01 * source.deviceMaxVariableBufferSizeInFrames())),
        destination.nominalSampleRate(), destination.channelsForDirection(kAuDirectionOutput),
        clampToFrames(std::ceil(1.01 * destination.deviceMaxVariableBufferSizeInFrames())));
}

std::unique_ptr<AuConversionBuffer>
AuConversionBuffer::create(double sourceSampleRate, uint32_t sourceChannelCount,
                           uint32_t sourceBufferFrames, double destinationSampleRate,
                           uint32_t destinationChannelCount, uint32_t destinationBufferFrames) {
    // A zero rate would make every size infinite; no rate, no conversion.
    if (!(sourceSampleRate > 0) || !(destinationSampleRate > 0))
        return nullptr;
    std::unique_ptr<AuConversionBuffer> buffer(new AuConversionBuffer);
    const uint32_t channels = std::min(sourceChannelCount, destinationChannelCount);
    uint32_t effective = clampToFrames(
        std::ceil(sourceSampleRate / destinationSampleRate * destinationBufferFrames));
    const uint32_t extra = sourceSampleRate != destinationSampleRate ? 8 : 0;
    // Sizes past 32 bits would wrap into a ring far too small: none is made.
    if (uint64_t(sourceBufferFrames) + effective + extra > UINT32_MAX)
        return nullptr;
    const uint32_t blocks =
        numBufferFramesForSourceSampleRate(sourceSampleRate, sourceBufferFrames, effective) + extra;
    if (uint64_t(blocks) * kRingBlocks > UINT32_MAX)
        return nullptr;
    effective += extra;
    buffer->primeFrames = blocks * kPrimeBlocks;
    buffer->audioBuffer = AuAudioRing::create(blocks * kRingBlocks, channels);
    buffer->conversionBufferList = AuBufferListNew(channels, effective, false);
    buffer->outputBufferList =
        AuBufferListNew(destinationChannelCount, destinationBufferFrames, false);
    if (!buffer->audioBuffer || !buffer->conversionBufferList || !buffer->outputBufferList)
        return nullptr;
    if (!buffer->_initAudioConverterWithSourceSampleRate(
            sourceSampleRate, channels, destinationSampleRate, destinationChannelCount))
        return nullptr;
    buffer->gainArray.reset(new (std::nothrow) std::atomic<float>[destinationChannelCount]);
    if (!buffer->gainArray)
        return nullptr;
    for (uint32_t i = 0; i < destinationChannelCount; ++i)
        buffer->gainArray[i].store(1.0f, std::memory_order_relaxed);
    buffer->interleavedInput.assign(size_t(effective) * channels, 0.0f);
    buffer->interleavedOutput.assign(size_t(destinationBufferFrames) * channels, 0.0f);
    return buffer;
}

bool AuConversionBuffer::_initAudioConverterWithSourceSampleRate(double sourceSampleRate,
                                                                 uint32_t channels,
                                                                 double destinationSampleRate,
                                                                 uint32_t destinationChannels) {
    int error = 0;
    converter =
        src_callback_new(_FillComplexBufferProc, kConverterType, int(channels), &error, this);
    if (!converter)
        return false;
    // The resampler works on the rates as 32-bit floats, like the formats
    // that describe them.
    ratio = double(float(destinationSampleRate)) / double(float(sourceSampleRate));
    sourceChannels = channels;
    this->destinationChannels = destinationChannels;
    channelMapAllZero = channels == 1 && destinationChannels > 1;
    return true;
}

AuConversionBuffer::~AuConversionBuffer() {
    if (converter)
        src_delete(converter);
    AuBufferListDispose(conversionBufferList);
    AuBufferListDispose(outputBufferList);
}

void AuConversionBuffer::writeFromAudioBufferList(const AuBufferList* list,
                                                  const AuTimeStamp* timeStamp) {
    const uint32_t frames = AuBufferListFrameCount(list);
    const double scalar = _fudgeFactorFromTimeStamp(timeStamp);
    if (audioBuffer->writeFromAudioBufferList(list, frames, scalar) < frames)
        overflowed.store(true, std::memory_order_release);
}

long AuConversionBuffer::_FillComplexBufferProc(void* userData, float** data) {
    return static_cast<AuConversionBuffer*>(userData)->_fillComplexBuffer(data);
}

// Hands the resampler what the ring holds, up to one staging list. The
// resampler's callback does not say how much it needs: waiting for a whole
// staging list would hand over silence whenever the ring holds a little less
// and let it overflow meanwhile. Silence goes only when the ring is empty.
long AuConversionBuffer::_fillComplexBuffer(float** data) {
    const uint32_t staging = AuBufferListFrameCount(conversionBufferList);
    uint32_t n = audioBuffer->readToAudioBufferList(conversionBufferList, staging);
    if (n == 0) {
        // An underrun: silence now, and the reader waits for the ring to fill
        // again rather than meet the next one at once.
        n = staging;
        AuBufferListClear(conversionBufferList, 0, n);
        primed = false;
    }
    const uint32_t c = sourceChannels;
    for (uint32_t ch = 0; ch < c; ++ch) {
        const float* from = static_cast<const float*>(conversionBufferList->mBuffers[ch].mData);
        for (uint32_t f = 0; f < n; ++f)
            interleavedInput[size_t(f) * c + ch] = from[f];
    }
    *data = interleavedInput.data();
    return long(n);
}

void AuConversionBuffer::readToAudioBufferList(AuBufferList* list, const AuTimeStamp*) {
    const uint32_t n =
        std::min(AuBufferListFrameCount(outputBufferList), AuBufferListFrameCount(list));
    if (n == 0)
        return;
    const uint32_t held = audioBuffer->count();
    if (!primed && held < primeFrames) {
        AuBufferListClear(list, 0, n);
        return;
    }
    primed = true;
    // The ring overflowed while the reader was away (a paused monitor): what
    // piled up is dropped down to the starting fill, so that the delay stays
    // short and the next writes fit.
    if (overflowed.exchange(false, std::memory_order_acquire) && held > primeFrames)
        audioBuffer->discard(held - primeFrames);
    const long produced = src_callback_read(converter, ratio, long(n), interleavedOutput.data());
    if (produced < 0 || (produced == 0 && src_error(converter) != 0))
        return;
    const uint32_t frames = uint32_t(produced);
    const uint32_t c = sourceChannels;
    for (uint32_t out = 0; out < destinationChannels; ++out) {
        float* into = static_cast<float*>(outputBufferList->mBuffers[out].mData);
        const float gain = gainArray[out].load(std::memory_order_relaxed);
        // With one input channel every output takes it; otherwise channels
        // map one to one and outputs past the input's stay silent.
        const uint32_t from = channelMapAllZero ? 0 : out;
        if (from < c) {
            for (uint32_t f = 0; f < frames; ++f)
                into[f] = interleavedOutput[size_t(f) * c + from] * gain;
        } else {
            std::fill(into, into + frames, 0.0f);
        }
    }
    AuBufferListCopy(outputBufferList, 0, list, 0, frames);
}

void AuConversionBuffer::setGain(float gain, uint32_t channel) {
    if (channel < destinationChannels)
        gainArray[channel].store(gain, std::memory_order_relaxed);
}

float AuConversionBuffer::gainForOutputChannel(uint32_t channel) const {
    return channel < destinationChannels ? gainArray[channel].load(std::memory_order_relaxed)
                                         : 0.0f;
}
