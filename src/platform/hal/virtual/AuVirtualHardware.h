#pragma once

#include "platform/hal/AuTableHardware.h"
#include "platform/hal/virtual/AuVirtualDeviceConfig.h"

#include <condition_variable>
#include <thread>

class AuVirtualSignal;

// Devices that exist only in this process. Paced, each running device calls
// its IO proc on a thread of its own every buffer's worth of real time.
// Stepped, nothing runs until a test calls step(), which runs cycles on the
// calling thread.
class AuVirtualHardware : public AuTableHardware {
public:
    enum class Pacing { RealTime, Stepped };

    // The devices --audio virtual offers: one duplex device whose input is the
    // given signal; with a sound file, at the file's rate.
    static std::vector<AuVirtualDeviceConfig> defaultDevices(const AuVirtualInput& input = {});

    explicit AuVirtualHardware(const std::vector<AuVirtualDeviceConfig>& configs = defaultDevices(),
                               Pacing pacing = Pacing::RealTime);
    ~AuVirtualHardware() override;

    QString backendName() const override { return QStringLiteral("virtual"); }

    // Devices coming and going while the program runs. An unplugged device's
    // output file is closed.
    AuObjectID plugDevice(const AuVirtualDeviceConfig& config);
    void unplugDevice(AuObjectID device);

    // Stepped pacing: runs that many IO cycles of a started device on this
    // thread; returns the cycles run (0 when the device is not running).
    uint32_t step(AuObjectID device, uint32_t cycles = 1);

    // The last run's output, interleaved, and the frames that did not fit.
    std::vector<float> capturedOutput(AuObjectID device);
    uint64_t droppedOutputFrames(AuObjectID device);
    // Frames the device has run through in its current or last run.
    uint64_t framesRun(AuObjectID device);

protected:
    AuStatus openIO(const IOSetup& setup) override;
    void closeIO(AuObjectID device) override;

private:
    class Runner;
    class OutputFile;

    Pacing pacing;
    bool constructed = false;
    std::mutex runnersMutex;
    std::map<AuObjectID, AuVirtualDeviceConfig> configs;
    // Opened at a device's first start, closed when it goes; before the
    // runners, which write to them, so that they outlive them.
    std::map<AuObjectID, std::unique_ptr<OutputFile>> outputFiles;
    std::map<AuObjectID, std::unique_ptr<Runner>> runners;
};
