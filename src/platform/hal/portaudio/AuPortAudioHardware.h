#pragma once

#include "platform/hal/AuTableHardware.h"
#include "platform/hal/portaudio/AuDeviceNodeWatch.h"

#include <QTimer>
#include <chrono>
#include <portaudio.h>
#include <set>

// Real devices through PortAudio: one float32 interleaved stream per device,
// duplex when the device has both directions and takes it, else one direction
// only (said once on the console). PortAudio tells no data or
// clock sources, so those lists are empty. A machine without devices, or
// without a working PortAudio, gives an empty device list.
class AuPortAudioHardware : public AuTableHardware {
public:
    // nodeFolder: where the kernel's sound device nodes come and go; changes
    // there rescan the devices.
    explicit AuPortAudioHardware(const QString& nodeFolder = QStringLiteral("/dev/snd"));
    ~AuPortAudioHardware() override;

    QString backendName() const override { return QStringLiteral("portaudio"); }

    // PortAudio only sees devices come and go when it initialises again,
    // which ends every stream: running devices are closed for it and reopened
    // after (one that cannot open again is reported dead). Devices keep their
    // identifiers by UID.
    void rescan() override;
    // A change of the device nodes waits for its rescan.
    bool deviceRescanPending() const { return nodeWatch && nodeWatch->rescanPending(); }

protected:
    AuStatus openIO(const IOSetup& setup) override;
    void closeIO(AuObjectID device) override;
    bool retuneIO(const IOSetup& setup, const AuHalDeviceInfo& previous) override;
    // Pa_OpenStream for one device's stream (no input or no output when null);
    // tests stand in a device that refuses some opens.
    virtual PaError openStream(PaStream** stream, const PaStreamParameters* input,
                               const PaStreamParameters* output, double rate, unsigned long frames,
                               PaStreamCallback* callback, void* userData);

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
    void checkStalledStreams();
    // Says once per device, on the main thread, that a device with both
    // directions opened with one of them only.
    void reportOneDirection(AuObjectID device, const QString& name, bool input);

    bool initialized = false;
    std::mutex streamsMutex;
    std::map<AuObjectID, std::unique_ptr<Stream>> streams;
    std::map<AuObjectID, int> paIndex;
    std::set<AuObjectID> oneDirectionReported; // guarded by streamsMutex
    // Where a stream the backend lost stood, for its reopening.
    struct LostStream {
        double sampleTime;
        std::chrono::steady_clock::time_point at;
    };
    std::map<AuObjectID, LostStream> lostStreams; // guarded by streamsMutex
    std::unique_ptr<AuDeviceNodeWatch> nodeWatch;
    QTimer stallCheck;
};
