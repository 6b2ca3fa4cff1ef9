#pragma once

#include "audio/AuStreamDelegate.h"
#include "platform/hal/AuHardwareTypes.h"

class AuDevice;

// Receives a device's property changes and a failed start; every method does
// nothing unless overridden. Volume, mute and play-through changes fall back
// to the volume-info event when their own method is not overridden. A stream
// without a delegate of its own reports to its device's delegate.
class AuDeviceDelegate : public AuStreamDelegate {
public:
    virtual void audioDeviceDidDie(AuDevice*) {}
    virtual void audioDeviceDidOverload(AuDevice*) {}
    virtual void audioDeviceSomethingDidChange(AuDevice*) {}
    virtual void audioDeviceBufferSizeInFramesDidChange(AuDevice*) {}
    virtual void audioDeviceStreamsListDidChange(AuDevice*) {}
    virtual void audioDeviceChannelsByStreamDidChange(AuDevice*, uint32_t /*direction*/) {}
    virtual void audioDeviceStreamDescriptionDidChange(AuDevice*, uint32_t /*channel*/,
                                                       uint32_t /*direction*/) {}
    virtual void audioDeviceNominalSampleRateDidChange(AuDevice*) {}
    virtual void audioDeviceNominalSampleRatesDidChange(AuDevice*) {}
    virtual void audioDeviceVolumeDidChange(AuDevice* device, uint32_t channel,
                                            uint32_t direction) {
        audioDeviceVolumeInfoDidChange(device, channel, direction);
    }
    virtual void audioDeviceMuteDidChange(AuDevice* device, uint32_t channel, uint32_t direction) {
        audioDeviceVolumeInfoDidChange(device, channel, direction);
    }
    virtual void audioDevicePlayThruDidChange(AuDevice* device, uint32_t channel,
                                              uint32_t direction) {
        audioDeviceVolumeInfoDidChange(device, channel, direction);
    }
    virtual void audioDeviceVolumeInfoDidChange(AuDevice*, uint32_t /*channel*/,
                                                uint32_t /*direction*/) {}
    virtual void audioDeviceSourceDidChange(AuDevice*, uint32_t /*direction*/) {}
    virtual void audioDeviceClockSourceDidChange(AuDevice*, uint32_t /*channel*/,
                                                 uint32_t /*direction*/) {}
    virtual void audioDeviceStartDidFail(AuDevice*, AuStatus /*reason*/) {}
};
