#pragma once

#include "audio/AuDeviceDelegate.h"
#include "platform/hal/AuHardwareTypes.h"

class AuDevice;

// What ZuDevice needs of the recorder: the capture and monitor IO methods,
// which run on the devices' IO threads, and the main-thread calls after a
// source change. The recorder becomes the delegate of the record and monitor
// devices.
class ZuRecordDeviceClient : public AuDeviceDelegate {
public:
    // Once per IO cycle of the record device; returns 0.
    virtual AuStatus recordIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                       const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                       AuBufferList* outputData, const AuTimeStamp* outputTime,
                                       void* clientData) = 0;
    // Once per IO cycle of the unpaused monitor device; returns 0.
    virtual AuStatus monitorIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                        const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                        AuBufferList* outputData, const AuTimeStamp* outputTime,
                                        void* clientData) = 0;

    // A new record device (not yet started) or monitor device is about to get
    // this client as its IO target.
    virtual void willSetRecordIOTarget(AuDevice* /*device*/) {}
    virtual void willSetMonitorIOTarget(AuDevice* /*device*/) {}

    // The record role has a new device, rate and buffers.
    virtual void renewDispSampleRate() = 0;
    virtual void recordSourceChanged() = 0;
    virtual void monitorSourceChanged() = 0;

protected:
    ~ZuRecordDeviceClient() override = default;
};
