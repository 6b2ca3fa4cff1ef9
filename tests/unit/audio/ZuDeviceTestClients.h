#pragma once

#include "audio/AuAudioBuffer.h"
#include "audio/AuConversionBuffer.h"
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "audio/ZuLevelDeviceClient.h"
#include "audio/ZuPlayDeviceClient.h"
#include "audio/ZuRecordDeviceClient.h"

#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>

// Recorder, level meter and player as ZuDevice sees them. The record cycle
// does what the recorder's does with ZuDevice's buffers; main-thread calls are
// listed in order.
class ZuDeviceTestClients : public ZuRecordDeviceClient,
                            public ZuLevelDeviceClient,
                            public ZuPlayDeviceClient {
public:
    explicit ZuDeviceTestClients(ZuDevice& devicer) : devicer(devicer) {
        devicer.setClients(this, this, this);
    }

    AuStatus recordIOForDevice(AuDevice*, const AuTimeStamp* timeStamp,
                               const AuBufferList* inputData, const AuTimeStamp*, AuBufferList*,
                               const AuTimeStamp*, void*) override {
        AuConversionBuffer* converter = devicer.monitorConverter();
        if (converter)
            converter->writeFromAudioBufferList(inputData, timeStamp);
        const uint32_t frames = uint32_t(devicer.recordBufferSize());
        devicer.recordBuffer()->writeFromAudioBufferList(inputData, frames, 1.0, false);
        devicer.recordBuffer()->readToAudioBufferList(devicer.convertBuffer(), frames, false);
        if (duringRecordCycle)
            duringRecordCycle(converter);
        recordCycles.fetch_add(1);
        return 0;
    }
    AuStatus monitorIOForDevice(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                                const AuTimeStamp*, AuBufferList* outputData,
                                const AuTimeStamp* outputTime, void*) override {
        if (AuConversionBuffer* converter = devicer.monitorConverter())
            converter->readToAudioBufferList(outputData, outputTime);
        float peak = 0.0f;
        const uint32_t samples = outputData->mBuffers[0].mDataByteSize / sizeof(float);
        for (uint32_t i = 0; i < samples; ++i)
            peak = std::max(peak,
                            std::abs(static_cast<const float*>(outputData->mBuffers[0].mData)[i]));
        if (peak > 0.1f)
            loudMonitorCycles.fetch_add(1);
        monitorCycles.fetch_add(1);
        return 0;
    }
    AuStatus levelInputIOForDevice(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                                   const AuTimeStamp*, AuBufferList*, const AuTimeStamp*,
                                   void*) override {
        levelCycles.fetch_add(1);
        return 0;
    }
    AuStatus playbackIOForDevice(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                                 const AuTimeStamp*, AuBufferList*, const AuTimeStamp*,
                                 void*) override {
        playCycles.fetch_add(1);
        return 0;
    }

    void willSetRecordIOTarget(AuDevice*) override { calls << "willSetRecordIOTarget"; }
    void willSetMonitorIOTarget(AuDevice*) override { calls << "willSetMonitorIOTarget"; }
    void willSetLevelIOTarget(AuDevice*) override { calls << "willSetLevelIOTarget"; }
    void willSetPlayIOTarget(AuDevice*) override { calls << "willSetPlayIOTarget"; }
    void renewDispSampleRate() override { calls << "renewDispSampleRate"; }
    void recordSourceChanged() override {
        calls << "recordSourceChanged";
        recordStartedAtChange = devicer.recordDevice() && devicer.recordDevice()->isDeviceStarted();
    }
    void monitorSourceChanged() override {
        calls << "monitorSourceChanged";
        AuConversionBuffer* converter = devicer.monitorConverter();
        monitorConverterFitAtChange =
            converter && converter->outputChannels() == uint32_t(devicer.monitorChannels());
    }
    void playSourceChanged() override { calls << "playSourceChanged"; }

    ZuDevice& devicer;
    QStringList calls;
    bool recordStartedAtChange = false;
    bool monitorConverterFitAtChange = false;
    // Runs inside the record cycle with the converter that cycle used.
    std::function<void(AuConversionBuffer*)> duringRecordCycle;
    std::atomic<uint64_t> recordCycles{0};
    std::atomic<uint64_t> monitorCycles{0};
    // Monitor cycles with a sample above 0.1 in the first buffer.
    std::atomic<uint64_t> loudMonitorCycles{0};
    std::atomic<uint64_t> levelCycles{0};
    std::atomic<uint64_t> playCycles{0};
};
