#pragma once

#include "audio/AuDeviceDelegate.h"
#include "platform/hal/AuHardwareTypes.h"

class AuDevice;

// What ZuDevice needs of the player: the IO method of the play device and the
// call after the play source changed. The player becomes that device's
// delegate.
class ZuPlayDeviceClient : public AuDeviceDelegate {
public:
    // Once per IO cycle of the unpaused play device, on its IO thread; returns 0.
    virtual AuStatus playbackIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                         const AuBufferList* inputData,
                                         const AuTimeStamp* inputTime, AuBufferList* outputData,
                                         const AuTimeStamp* outputTime, void* clientData) = 0;

    // A new play device (not yet started) is about to get this client as its
    // IO target.
    virtual void willSetPlayIOTarget(AuDevice* /*device*/) {}

    virtual void playSourceChanged() = 0;

protected:
    ~ZuPlayDeviceClient() override = default;
};
