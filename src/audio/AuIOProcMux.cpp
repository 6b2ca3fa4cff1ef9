#include "audio/AuIOProcMux.h"

#include "audio/AuBufferList.h"
#include "audio/AuDevice.h"
#include "audio/AuProperties.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"
#include "platform/hal/AuHardware.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

// What one IO cycle reads: the clients in order, and the private output list
// with room for the largest buffer the hardware may hand in. Only the IO
// thread touches the list.
struct AuIOProcMux::Snapshot {
    std::vector<AuDevice*> devices;
    AuBufferList* eachOutputData = nullptr;
    std::vector<uint32_t> capacityBytes;

    ~Snapshot() { AuBufferListDispose(eachOutputData); }
};

namespace {

std::mutex muxesMutex;
// Multiplexers live as long as the process: a backend thread may still be
// ending while the program exits.
auto* muxes = new std::map<AuObjectID, std::unique_ptr<AuIOProcMux>>;

// A zero-filled list shaped like the device's output streams, each buffer
// large enough for the largest IO buffer the device allows.
AuBufferList* newPrivateOutputList(AuObjectID device, std::vector<uint32_t>& capacity) {
    using namespace AuProperties;
    const auto layout = bytes(AuProperties::device(device, 0, 0, auFourCC("slay")));
    if (!layout || size_t(layout->size()) < auBufferListSize(0))
        return nullptr;
    const auto* shape = reinterpret_cast<const AuBufferList*>(layout->constData());
    if (shape->mNumberBuffers == 0 ||
        size_t(layout->size()) < auBufferListSize(shape->mNumberBuffers))
        return nullptr;
    double frames =
        value<uint32_t>(AuProperties::device(device, 0, 0, auFourCC("fsiz"))).value_or(0);
    frames = std::max<double>(
        frames, value<uint32_t>(AuProperties::device(device, 0, 0, auFourCC("vfsz"))).value_or(0));
    if (const auto range =
            value<AuValueRange>(AuProperties::device(device, 0, 0, auFourCC("fsz#"))))
        frames = std::max(frames, range->mMaximum);
    if (!(frames > 0) || frames > 1 << 20)
        return nullptr;
    auto* list =
        static_cast<AuBufferList*>(std::calloc(1, auBufferListSize(shape->mNumberBuffers)));
    if (!list)
        return nullptr;
    list->mNumberBuffers = shape->mNumberBuffers;
    for (uint32_t i = 0; i < shape->mNumberBuffers; ++i) {
        const uint32_t bytes = uint32_t(frames) * shape->mBuffers[i].mNumberChannels * 4;
        list->mBuffers[i] = {shape->mBuffers[i].mNumberChannels, bytes, std::calloc(1, bytes)};
        capacity.push_back(bytes);
        if (!list->mBuffers[i].mData) {
            AuBufferListDispose(list);
            return nullptr;
        }
    }
    return list;
}

} // namespace

AuIOProcMux::AuIOProcMux(AuObjectID deviceID) : myDeviceID(deviceID) {}

AuIOProcMux::~AuIOProcMux() {
    delete deviceProxyListCache.exchange(nullptr);
}

AuIOProcMux& AuIOProcMux::muxForDevice(const AuDevice* device) {
    std::lock_guard guard(muxesMutex);
    auto& mux = (*muxes)[device->deviceID()];
    if (!mux)
        mux = std::make_unique<AuIOProcMux>(device->deviceID());
    return *mux;
}

bool AuIOProcMux::registerDevice(AuDevice* device) {
    return muxForDevice(device).addDevice(device);
}

void AuIOProcMux::unRegisterDevice(AuDevice* device) {
    muxForDevice(device).removeDevice(device);
}

void AuIOProcMux::setPause(bool paused, AuDevice* device) {
    muxForDevice(device).pauseDevice(paused, device);
}

size_t AuIOProcMux::deviceCount() const {
    const Snapshot* snapshot = deviceProxyListCache.load();
    return snapshot ? snapshot->devices.size() : 0;
}

void AuIOProcMux::publish(const std::set<AuDevice*>& devices) {
    Snapshot* next = nullptr;
    if (!devices.empty()) {
        next = new Snapshot;
        next->devices.assign(devices.begin(), devices.end());
        if (devices.size() > 1)
            next->eachOutputData = newPrivateOutputList(myDeviceID, next->capacityBytes);
    }
    Snapshot* old = deviceProxyListCache.exchange(next);
    waitForCycleEnd();
    delete old;
    watchOutputMismatch(devices.size() > 1);
}

void AuIOProcMux::watchOutputMismatch(bool watching) {
    // The watch is a main-thread timer; registration from elsewhere leaves it.
    if (!zuIsMainThread())
        return;
    // What the replaced snapshot met is still told.
    reportOutputMismatch();
    mismatchReported = false;
    outputMismatch.store(false);
    if (watching)
        mismatchWatch.start(1.0, true, [this] { reportOutputMismatch(); });
    else
        mismatchWatch.invalidate();
}

void AuIOProcMux::reportOutputMismatch() {
    if (mismatchReported || !outputMismatch.load())
        return;
    mismatchReported = true;
    mismatchWatch.invalidate();
    ZuLogEvent::error(QStringLiteral("AuIOProcMux: the output of device %1 does not fit its "
                                     "stream layout; its clients run without output.")
                          .arg(myDeviceID));
}

void AuIOProcMux::waitForCycleEnd() {
    const uint64_t now = cycle.load();
    if (now & 1)
        cycle.wait(now);
}

bool AuIOProcMux::addDevice(AuDevice* device) {
    AuStatus status = kAuNoError;
    {
        std::lock_guard registration(registrationLock);
        if (deviceProxies.count(device))
            return true;
        deviceProxies.insert(device);
        publish(deviceProxies);
        if (!running) {
            running = true;
            runningOn = &AuHardware::current();
            status = runningOn->addIOProc(myDeviceID, demuxIOProc, this);
        }
        if (status == kAuNoError)
            status = renewUsage();
        if (status != kAuNoError)
            removeDevice(device);
    }
    if (status == kAuNoError)
        return true;
    device->dispatchIOStartDidFailForReason(status);
    return false;
}

void AuIOProcMux::removeDevice(AuDevice* device) {
    std::lock_guard registration(registrationLock);
    deviceProxies.erase(device);
    publish(deviceProxies);
    if (deviceProxies.empty() && running) {
        running = false;
        hardwareStarted = false;
        runningOn->stopDevice(myDeviceID, demuxIOProc);
        runningOn->removeIOProc(myDeviceID, demuxIOProc);
        runningOn = nullptr;
    } else {
        renewUsage();
    }
}

void AuIOProcMux::pauseDevice(bool paused, AuDevice* device) {
    device->doSetPause(paused);
    waitForCycleEnd();
    if (!zuIsMainThread())
        return;
    std::lock_guard registration(registrationLock);
    if (!deviceProxies.count(device))
        return;
    if (const AuStatus status = renewUsage(); status != kAuNoError)
        device->dispatchIOStartDidFailForReason(status);
}

AuStatus AuIOProcMux::renewUsage() {
    std::lock_guard registration(registrationLock);
    if (!running || !zuIsMainThread())
        return kAuNoError;
    uint32_t directions = 0;
    uint32_t latency = 0;
    for (AuDevice* device : deviceProxies) {
        if (device->isDevicePaused())
            continue;
        directions |= device->ioDirections();
        const uint32_t bearable = device->ioLatencyFrames();
        if (bearable != 0 && (latency == 0 || bearable < latency))
            latency = bearable;
    }
    if (directions == 0) {
        // Every client is paused: no stream runs for nobody.
        if (hardwareStarted)
            runningOn->stopDevice(myDeviceID, demuxIOProc);
        hardwareStarted = false;
        return kAuNoError;
    }
    // Backends that cannot take these properties run the device whole.
    runningOn->setProperty({AuScope::Device, myDeviceID, 0, 0, auFourCC("iodr")},
                           auPropertyBytes(directions));
    runningOn->setProperty({AuScope::Device, myDeviceID, 0, 0, auFourCC("iolt")},
                           auPropertyBytes(latency));
    if (hardwareStarted)
        return kAuNoError;
    const AuStatus status = runningOn->startDevice(myDeviceID, demuxIOProc);
    hardwareStarted = status == kAuNoError;
    return status;
}

AuStatus AuIOProcMux::demuxIOProc(AuObjectID, const AuTimeStamp* now, const AuBufferList* inputData,
                                  const AuTimeStamp* inputTime, AuBufferList* outputData,
                                  const AuTimeStamp* outputTime, void* clientData) {
    return static_cast<AuIOProcMux*>(clientData)
        ->dispatchIOProcs(now, inputData, inputTime, outputData, outputTime);
}

AuStatus AuIOProcMux::dispatchIOProcs(const AuTimeStamp* now, const AuBufferList* inputData,
                                      const AuTimeStamp* inputTime, AuBufferList* outputData,
                                      const AuTimeStamp* outputTime) {
    cycle.fetch_add(1);
    Snapshot* snapshot = deviceProxyListCache.load();
    if (snapshot && snapshot->devices.size() == 1) {
        snapshot->devices.front()->dispatchIOProc(now, inputData, inputTime, outputData,
                                                  outputTime);
    } else if (snapshot) {
        // A misfit output still runs every client, without output: the input
        // (a recording) must not stop with it.
        const bool fits = matchBufferToAudioBufferList(*snapshot, outputData);
        if (!fits)
            outputMismatch.store(true);
        AuBufferList* each = outputData && fits ? snapshot->eachOutputData : nullptr;
        for (AuDevice* device : snapshot->devices) {
            if (each) {
                for (uint32_t i = 0; i < each->mNumberBuffers; ++i)
                    std::memset(each->mBuffers[i].mData, 0, each->mBuffers[i].mDataByteSize);
            }
            device->dispatchIOProc(now, inputData, inputTime, each, outputTime);
            if (each) {
                mixIntoAudioBufferList(each, outputData);
                resetAudioBufferListBufferSizesFrom(each, outputData);
            }
        }
    }
    cycle.fetch_add(1);
    cycle.notify_all();
    return kAuNoError;
}

bool AuIOProcMux::matchBufferToAudioBufferList(Snapshot& snapshot, const AuBufferList* output) {
    if (!output)
        return true;
    AuBufferList* each = snapshot.eachOutputData;
    if (!each || each->mNumberBuffers != output->mNumberBuffers)
        return false;
    for (uint32_t i = 0; i < output->mNumberBuffers; ++i)
        if (each->mBuffers[i].mNumberChannels != output->mBuffers[i].mNumberChannels ||
            output->mBuffers[i].mDataByteSize > snapshot.capacityBytes[i])
            return false;
    resetAudioBufferListBufferSizesFrom(each, output);
    return true;
}

void AuIOProcMux::mixIntoAudioBufferList(const AuBufferList* each, AuBufferList* output) {
    for (uint32_t i = 0; i < output->mNumberBuffers; ++i) {
        const uint32_t samples =
            std::min(each->mBuffers[i].mDataByteSize, output->mBuffers[i].mDataByteSize) / 4;
        const float* from = static_cast<const float*>(each->mBuffers[i].mData);
        float* into = static_cast<float*>(output->mBuffers[i].mData);
        for (uint32_t s = 0; s < samples; ++s)
            into[s] += from[s];
    }
}

void AuIOProcMux::resetAudioBufferListBufferSizesFrom(AuBufferList* each,
                                                      const AuBufferList* output) {
    for (uint32_t i = 0; i < output->mNumberBuffers; ++i)
        each->mBuffers[i].mDataByteSize = output->mBuffers[i].mDataByteSize;
}
