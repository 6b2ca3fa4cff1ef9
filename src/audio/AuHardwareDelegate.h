#pragma once

// Receives changes of the hardware as a whole, before the matching
// notification is posted; every method does nothing unless overridden.
class AuHardwareDelegate {
public:
    virtual ~AuHardwareDelegate() = default;

    virtual void audioHardwareDefaultInputDeviceDidChange() {}
    virtual void audioHardwareDefaultOutputDeviceDidChange() {}
    virtual void audioHardwareDefaultSystemOutputDeviceDidChange() {}
    virtual void audioHardwareDeviceListDidChange() {}
};
