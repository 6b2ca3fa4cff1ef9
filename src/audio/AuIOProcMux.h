#pragma once

#include "platform/ZuTimer.h"
#include "platform/hal/AuHardwareTypes.h"

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

class AuDevice;
class AuHardware;

// The one IO callback of a hardware device, shared by every AuDevice object
// registered on it: each cycle calls every client with the same input and sums
// their outputs into the real output (a single client writes it directly).
//
// The IO thread takes no lock: it reads an immutable snapshot of the clients
// and their private output list through an atomic pointer. A change publishes
// a new snapshot and waits until the cycle that may still use the old one has
// ended before retiring it, so once a registration call returns no cycle uses
// what it replaced.
//
// An output list the private one cannot take (another layout than the device
// reported, or more frames) still runs every client, with no output list, so
// that input keeps flowing; the IO thread only raises a flag, which the main
// thread reports once per snapshot.
class AuIOProcMux {
public:
    explicit AuIOProcMux(AuObjectID deviceID);
    ~AuIOProcMux();
    AuIOProcMux(const AuIOProcMux&) = delete;
    AuIOProcMux& operator=(const AuIOProcMux&) = delete;

    // The multiplexer of the device's hardware, made on first use.
    static AuIOProcMux& muxForDevice(const AuDevice* device);
    static bool registerDevice(AuDevice* device);
    static void unRegisterDevice(AuDevice* device);
    static void setPause(bool paused, AuDevice* device);

    // Adds the device and starts the hardware when it is the first; false
    // (and the device's delegate told) when the hardware cannot start.
    bool addDevice(AuDevice* device);
    void removeDevice(AuDevice* device);
    // Returns once no IO call of the device is in progress.
    void pauseDevice(bool paused, AuDevice* device);
    // Runs the hardware with what the unpaused clients use together, and
    // stops it while every client is paused (on the main thread; elsewhere
    // a pause only skips the client). Returns the status of a start.
    AuStatus renewUsage();

    bool isRunning() const { return running; }
    size_t deviceCount() const;

    // One IO cycle; the callback the hardware calls, through demuxIOProc.
    AuStatus dispatchIOProcs(const AuTimeStamp* now, const AuBufferList* inputData,
                             const AuTimeStamp* inputTime, AuBufferList* outputData,
                             const AuTimeStamp* outputTime);
    static AuStatus demuxIOProc(AuObjectID device, const AuTimeStamp* now,
                                const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                AuBufferList* outputData, const AuTimeStamp* outputTime,
                                void* clientData);

private:
    struct Snapshot;

    void publish(const std::set<AuDevice*>& devices);
    // Main thread: restarts the watch for a new snapshot, or ends it.
    void watchOutputMismatch(bool watching);
    void reportOutputMismatch();
    void waitForCycleEnd();
    static bool matchBufferToAudioBufferList(Snapshot& snapshot, const AuBufferList* output);
    static void mixIntoAudioBufferList(const AuBufferList* each, AuBufferList* output);
    static void resetAudioBufferListBufferSizesFrom(AuBufferList* each, const AuBufferList* output);

    const AuObjectID myDeviceID;
    std::recursive_mutex registrationLock;
    std::set<AuDevice*> deviceProxies; // guarded by registrationLock
    bool running = false;              // guarded by registrationLock: the IO proc is installed
    bool hardwareStarted = false;      // guarded by registrationLock
    AuHardware* runningOn = nullptr;   // the backend started, for the matching stop
    std::atomic<Snapshot*> deviceProxyListCache{nullptr};
    // Odd while the IO thread is inside a cycle.
    std::atomic<uint64_t> cycle{0};
    // Set by the IO thread when an output list did not fit the private one.
    std::atomic<bool> outputMismatch{false};
    bool mismatchReported = false; // main thread
    ZuTimer mismatchWatch;         // main thread
};
