// The capture side of the recorder: the record and monitor IO callbacks on
// the audio threads, and the sound queue they fill. Nothing here allocates,
// logs or waits.
#include "recording/ZuRecorder.h"

#include "audio/AuAudioBuffer.h"
#include "audio/AuBufferList.h"
#include "audio/AuConversionBuffer.h"
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuLogEvent.h"
#include "recording/ZuQueBuffer.h"
#include "shell/ZuControler.h"

#include <algorithm>
#include <cmath>

AuStatus ZuRecorder::recordIOForDevice(AuDevice* device, const AuTimeStamp* now,
                                       const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                       AuBufferList*, const AuTimeStamp*, void*) {
    noteInputTime(device, inputTime, inputData);
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer || !inputData)
        return 0;
    if (AuConversionBuffer* monitor = devicer->monitorConverter())
        monitor->writeFromAudioBufferList(inputData, now);
    AuAudioBuffer* ring = devicer->recordBuffer();
    AuBufferList* converted = devicer->convertBuffer();
    if (!ring || !converted || converted->mNumberBuffers == 0)
        return 0;
    const auto frames = static_cast<uint32_t>(devicer->recordBufferSize());
    ring->writeFromAudioBufferList(inputData, frames, devicer->recordSampleRate(), false);
    // Only what this cycle brought: cycles vary in length, and the rest of
    // the list still holds an earlier cycle's frames.
    const uint32_t got = ring->readToAudioBufferList(converted, frames, false);
    const AuChannelBuffer& first = converted->mBuffers[0];
    const uint32_t bytes = std::min<uint32_t>(first.mDataByteSize, got * first.mNumberChannels * 4);
    timeMarkerObject->mixRecord(static_cast<float*>(first.mData), bytes / 4);
    captureSamples(static_cast<const float*>(first.mData), bytes);
    return 0;
}

// A cycle's input time follows the previous cycle's by exactly its frames
// unless the backend lost sound in between; one that goes back, or comes from
// another device, belongs to a stream opened anew.
void ZuRecorder::noteInputTime(const AuDevice* device, const AuTimeStamp* inputTime,
                               const AuBufferList* inputData) {
    const uint32_t frames = inputData ? AuBufferListFrameCount(inputData) : 0;
    if (!inputTime || !(inputTime->mFlags & kAuTimeStampSampleTimeValid) || frames == 0) {
        nextSampleTime.store(-1.0, std::memory_order_relaxed);
        return;
    }
    const double time = inputTime->mSampleTime;
    const double expected = nextSampleTime.load(std::memory_order_relaxed);
    const bool sameStream =
        expected >= 0.0 && sampleTimeDevice.load(std::memory_order_relaxed) == device;
    if (sameStream && time - expected >= 0.5 && conditionValue.load(std::memory_order_relaxed) == 1)
        inputGapFrames.fetch_add(uint64_t(std::llround(time - expected)),
                                 std::memory_order_relaxed);
    sampleTimeDevice.store(device, std::memory_order_relaxed);
    nextSampleTime.store(time + frames, std::memory_order_relaxed);
}

AuStatus ZuRecorder::monitorIOForDevice(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                                        const AuTimeStamp*, AuBufferList* outputData,
                                        const AuTimeStamp* outputTime, void*) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer || !outputData)
        return 0;
    if (AuConversionBuffer* monitor = devicer->monitorConverter())
        monitor->readToAudioBufferList(outputData, outputTime);
    timeMarkerObject->mixMonitor(outputData);
    return 0;
}

void ZuRecorder::captureSamples(const float* samples, uint32_t byteSize) {
    ZuQueBuffer* que = soundQueue.get();
    if (!que || !samples)
        return;
    const uint32_t room = que->empty();
    if (byteSize > room && conditionValue.load(std::memory_order_relaxed) == 1)
        overflowCountValue.fetch_add(int64_t(byteSize - room), std::memory_order_relaxed);
    que->writeFloat32Data(samples, byteSize / 4);
}

double ZuRecorder::inputCount() const {
    ZuQueBuffer* que = soundQueue.get();
    const uint64_t end = que ? que->writtenTotal() : 0;
    return double(end > recordingFirst ? end - recordingFirst : 0) * 4.0 + relayInput;
}

uint32_t ZuRecorder::preBufferSize() const {
    // The write thread asks too: it reads the rate noted at the queue's
    // sizing, never the device manager.
    return static_cast<uint32_t>(deviceRate.load() * 80.0 * 2.0 * 4.0);
}

void ZuRecorder::initSoundQue() {
    // The queue is resized only while no recording reads it, and with the
    // record device paused, so that no capture callback is writing it. The
    // running recording keeps the rate its queue and counts were made for.
    if (conditionValue.load() == 1) {
        queNeedsSizing = true;
        return;
    }
    queNeedsSizing = false;
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    deviceRate.store(devicer ? devicer->recordSampleRate() : 0.0);
    const uint32_t length = preBufferSize();
    AuDevice* device = devicer ? devicer->recordDevice() : nullptr;
    const bool pause = device && !device->isDevicePaused();
    if (pause)
        device->setDevicePaused(true);
    if (length == 0)
        soundQueue.reset();
    else if (!soundQueue || !soundQueue->setQueLength(length))
        soundQueue = ZuQueBuffer::initQueWithLength(length);
    if (pause)
        device->setDevicePaused(false);
    if (length != 0 && !soundQueue)
        ZuLogEvent::error(QStringLiteral("ZuRecorder: no enough memory for Que buffer."));
}
