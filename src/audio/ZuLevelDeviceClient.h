#pragma once

#include "audio/AuDeviceDelegate.h"
#include "platform/hal/AuHardwareTypes.h"

class AuDevice;

// What ZuDevice needs of the level meter: the IO method of the level device
// (the second object on the record hardware). The meter becomes that device's
// delegate.
class ZuLevelDeviceClient : public AuDeviceDelegate {
public:
    // Once per IO cycle of the level device, on its IO thread; returns 0.
    virtual AuStatus levelInputIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                           const AuBufferList* inputData,
                                           const AuTimeStamp* inputTime, AuBufferList* outputData,
                                           const AuTimeStamp* outputTime, void* clientData) = 0;

    // A new level device (not yet started) is about to get this client as its
    // IO target: the moment to reset the display. Null when the level device
    // went and none replaces it.
    virtual void willSetLevelIOTarget(AuDevice* /*device*/) {}

protected:
    ~ZuLevelDeviceClient() override = default;
};
