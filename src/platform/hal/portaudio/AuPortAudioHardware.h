#pragma once

#include "platform/hal/AuTableHardware.h"

// Real devices through PortAudio: one float32 interleaved stream per device,
// duplex when the device has both directions. PortAudio tells no data or
// clock sources, so those lists are empty. A machine without devices, or
// without a working PortAudio, gives an empty device list.
class AuPortAudioHardware : public AuTableHardware {
public:
    AuPortAudioHardware();
    ~AuPortAudioHardware() override;

    QString backendName() const override { return QStringLiteral("portaudio"); }

    // Reads the device list again when no device runs (PortAudio only sees
    // new devices after re-initialising); devices keep their identifiers by
    // UID, and a changed list is reported as 'dev#'. False when a device runs.
    bool rescan();

protected:
    AuStatus openIO(const IOSetup& setup) override;
    void closeIO(AuObjectID device) override;

private:
    struct Stream;
    struct Probe {
        AuHalDeviceInfo info;
        int index;
        bool isDefaultInput;
        bool isDefaultOutput;
    };
    std::vector<Probe> probe();
    void apply(const std::vector<Probe>& found, bool notify);
    static void streamFinished(void* userData);

    bool initialized = false;
    std::mutex streamsMutex;
    std::map<AuObjectID, std::unique_ptr<Stream>> streams;
    std::map<AuObjectID, int> paIndex;
};
