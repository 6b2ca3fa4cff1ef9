#pragma once

#include "platform/hal/AuHardware.h"

#include <QStringList>
#include <array>
#include <map>

// What a backend knows of one device. Index 0 of the per-direction arrays is
// playback (output), index 1 record (input).
struct AuHalDeviceInfo {
    QString name;
    QString uid;
    QString manufacturer;
    std::array<uint32_t, 2> channels{0, 0};
    std::vector<AuValueRange> sampleRates;
    double nominalSampleRate = 0.0;
    AuValueRange bufferFrameRange;
    uint32_t bufferFrames = 0;
    std::array<uint32_t, 2> latencyFrames{0, 0};
    std::array<uint32_t, 2> safetyOffsetFrames{0, 0};
    std::array<QStringList, 2> dataSources;
    std::array<uint32_t, 2> dataSource{0, 0}; // index into dataSources
    // What the IO clients use ('iodr', 'iolt'): the directions as bits
    // (1 << direction) and the latency they can bear in frames, 0 for the
    // backend's unhurried default.
    uint32_t ioDirections = 3;
    uint32_t ioLatencyFrames = 0;
};

// A backend whose devices are described by AuHalDeviceInfo records: it answers
// every property from the table and keeps the IO procs; subclasses run the IO.
class AuTableHardware : public AuHardware {
public:
    AuStatus getPropertyInfo(const AuPropertyAddress& address, uint32_t* size,
                             bool* writable) override;
    AuStatus getProperty(const AuPropertyAddress& address, QByteArray& value,
                         const QByteArray& qualifier = {}) override;
    AuStatus setProperty(const AuPropertyAddress& address, const QByteArray& value) override;

    AuStatus addIOProc(AuObjectID device, AuDeviceIOProc proc, void* clientData) override;
    AuStatus removeIOProc(AuObjectID device, AuDeviceIOProc proc) override;
    AuStatus startDevice(AuObjectID device, AuDeviceIOProc proc) override;
    AuStatus stopDevice(AuObjectID device, AuDeviceIOProc proc) override;

    // The device with that UID, or kAuUnknownObject.
    AuObjectID deviceWithUID(const QString& uid);
    std::vector<AuObjectID> deviceIDs();
    bool isRunning(AuObjectID device);

protected:
    // What an IO runner needs, copied when the device starts.
    struct IOSetup {
        AuObjectID device = 0;
        AuHalDeviceInfo info;
        AuDeviceIOProc proc = nullptr;
        void* clientData = nullptr;
    };

    // Adds a device and its streams; with notify, the device list change is told.
    AuObjectID addDevice(const AuHalDeviceInfo& info, bool notify);
    // Removes a device: its IO stops, it reports itself dead, the list
    // changes, and a default role it had is cleared and reported.
    void removeDevice(AuObjectID device);
    // Reports each default role that changes.
    void setDefaultDevices(AuObjectID input, AuObjectID output);
    // Reports a device-wide property (channel 0, direction 0).
    void deviceChanged(AuObjectID device, AuPropertyID property);
    // Stops every running device (subclass destructors call it).
    void stopAll();
    // Closes and opens a running device's IO again with its settings, after
    // the backend lost it, trying that often a tenth of a second apart; a
    // device that cannot open stays stopped, and one that no longer runs is
    // left alone.
    AuStatus reopenIO(AuObjectID device, int attempts);

    // Run or end the IO of a device. openIO returns a status; closeIO waits
    // until no callback is running.
    virtual AuStatus openIO(const IOSetup& setup) = 0;
    virtual void closeIO(AuObjectID device) = 0;
    // Applies a new IO usage ('iodr', 'iolt') to a running device; false
    // when the backend must reopen the IO for it. By default the IO runs on
    // as it is.
    virtual bool retuneIO(const IOSetup&, const AuHalDeviceInfo& previous) {
        (void)previous;
        return true;
    }

private:
    struct DeviceEntry {
        AuHalDeviceInfo info;
        std::array<AuObjectID, 2> stream{0, 0}; // 0 = none in that direction
        AuDeviceIOProc proc = nullptr;
        void* clientData = nullptr;
        bool running = false;
    };
    struct StreamEntry {
        AuObjectID device;
        uint32_t direction;
    };

    // Ends the IO of a running device (the table lock held).
    void stopRunning(AuObjectID device, DeviceEntry& entry);
    // The device's entry when it exists and runs this IO proc; under the lock.
    AuStatus entryWithProc(AuObjectID device, AuDeviceIOProc proc, DeviceEntry*& entry);
    AuStatus deviceProperty(const DeviceEntry& entry, const AuPropertyAddress& address,
                            QByteArray& value, const QByteArray& qualifier, bool* writable);
    AuStatus streamProperty(const StreamEntry& stream, const AuPropertyAddress& address,
                            QByteArray& value, const QByteArray& qualifier, bool* writable);
    AuStatus hardwareProperty(const AuPropertyAddress& address, QByteArray& value,
                              const QByteArray& qualifier, bool* writable);
    AuStatus read(const AuPropertyAddress& address, QByteArray& value, const QByteArray& qualifier,
                  bool* writable);
    // Reports the default input, and the default and system output.
    void defaultsChanged(bool input, bool output);
    // The property changes a new rate makes.
    static std::vector<AuPropertyAddress> rateChanges(AuObjectID device, const DeviceEntry& entry);
    // Reopens a running device's IO with its new settings; when that fails,
    // with the previous ones (left stopped if even that fails). Returns the
    // first open's status.
    AuStatus restart(AuObjectID device, DeviceEntry& entry, const AuHalDeviceInfo& previous);

    std::recursive_mutex mutex;
    std::map<AuObjectID, DeviceEntry> devices;
    std::map<AuObjectID, StreamEntry> streams;
    AuObjectID nextID = 1;
    AuObjectID defaultInput = kAuUnknownObject;
    AuObjectID defaultOutput = kAuUnknownObject;
};
