#include "platform/hal/AuTableHardware.h"

#include "platform/hal/AuStreamBasicDescription.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

AuStreamBasicDescription nativeFormat(double rate, uint32_t channels) {
    AuStreamBasicDescription d;
    d.mSampleRate = rate;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    d.mBytesPerPacket = 4 * channels;
    d.mFramesPerPacket = 1;
    d.mBytesPerFrame = 4 * channels;
    d.mChannelsPerFrame = channels;
    d.mBitsPerChannel = 32;
    return d;
}

bool rateSupported(const AuHalDeviceInfo& info, double rate) {
    for (const AuValueRange& r : info.sampleRates)
        if (r.mMinimum <= rate && rate <= r.mMaximum)
            return true;
    return false;
}

std::vector<AuStreamBasicDescription> formatList(const AuHalDeviceInfo& info, uint32_t direction) {
    std::vector<AuStreamBasicDescription> list;
    for (const AuValueRange& r : info.sampleRates) {
        list.push_back(nativeFormat(r.mMinimum, info.channels[direction]));
        if (r.mMaximum != r.mMinimum)
            list.push_back(nativeFormat(r.mMaximum, info.channels[direction]));
    }
    return list;
}

// The closest supported native format: the requested rate when a range holds
// it, otherwise the nearest range end.
AuStreamBasicDescription matchFormat(const AuHalDeviceInfo& info, uint32_t direction,
                                     const AuStreamBasicDescription& wanted) {
    double best = info.nominalSampleRate;
    double distance = INFINITY;
    for (const AuValueRange& r : info.sampleRates) {
        const double rate = std::clamp(wanted.mSampleRate, r.mMinimum, r.mMaximum);
        if (std::abs(rate - wanted.mSampleRate) < distance) {
            distance = std::abs(rate - wanted.mSampleRate);
            best = rate;
        }
    }
    return nativeFormat(best, info.channels[direction]);
}

bool isUsableFormat(const AuHalDeviceInfo& info, uint32_t direction,
                    const AuStreamBasicDescription& d) {
    const AuStreamBasicDescription n = nativeFormat(d.mSampleRate, info.channels[direction]);
    return d.mFormatID == n.mFormatID && d.mFormatFlags == n.mFormatFlags &&
           d.mChannelsPerFrame == n.mChannelsPerFrame && d.mBitsPerChannel == 32 &&
           rateSupported(info, d.mSampleRate);
}

QByteArray streamLayout(uint32_t channels) {
    const uint32_t buffers = channels > 0 ? 1 : 0;
    QByteArray bytes(qsizetype(auBufferListSize(buffers)), '\0');
    auto* list = reinterpret_cast<AuBufferList*>(bytes.data());
    list->mNumberBuffers = buffers;
    if (buffers)
        list->mBuffers[0] = {channels, 0, nullptr};
    return bytes;
}

QByteArray sourceIDs(const QStringList& sources) {
    std::vector<uint32_t> ids;
    for (qsizetype i = 0; i < sources.size(); ++i)
        ids.push_back(uint32_t(i + 1));
    return auPropertyBytes(ids);
}

} // namespace

AuObjectID AuTableHardware::addDevice(const AuHalDeviceInfo& info, bool notify) {
    AuObjectID id;
    {
        std::lock_guard guard(mutex);
        id = nextID++;
        DeviceEntry& entry = devices[id];
        entry.info = info;
        for (uint32_t direction = 0; direction < 2; ++direction) {
            if (info.channels[direction] > 0) {
                entry.stream[direction] = nextID++;
                streams[entry.stream[direction]] = {id, direction};
            }
        }
    }
    if (notify)
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dev#")});
    return id;
}

void AuTableHardware::removeDevice(AuObjectID device) {
    bool inputGone, outputGone;
    {
        std::lock_guard guard(mutex);
        auto it = devices.find(device);
        if (it == devices.end())
            return;
        if (it->second.running)
            closeIO(device);
        for (AuObjectID stream : it->second.stream)
            streams.erase(stream);
        devices.erase(it);
        inputGone = defaultInput == device;
        outputGone = defaultOutput == device;
        if (inputGone)
            defaultInput = kAuUnknownObject;
        if (outputGone)
            defaultOutput = kAuUnknownObject;
    }
    deviceChanged(device, auFourCC("livn"));
    propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dev#")});
    defaultsChanged(inputGone, outputGone);
}

void AuTableHardware::setDefaultDevices(AuObjectID input, AuObjectID output) {
    bool inputChanged, outputChanged;
    {
        std::lock_guard guard(mutex);
        inputChanged = defaultInput != input;
        outputChanged = defaultOutput != output;
        defaultInput = input;
        defaultOutput = output;
    }
    defaultsChanged(inputChanged, outputChanged);
}

void AuTableHardware::defaultsChanged(bool input, bool output) {
    if (input)
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dIn ")});
    if (output) {
        // The system output follows the default output here.
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dOut")});
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("sOut")});
    }
}

void AuTableHardware::deviceChanged(AuObjectID device, AuPropertyID property) {
    propertyChanged({AuScope::Device, device, 0, 0, property});
}

void AuTableHardware::stopAll() {
    std::lock_guard guard(mutex);
    for (auto& [id, entry] : devices) {
        if (entry.running) {
            closeIO(id);
            entry.running = false;
        }
    }
}

AuStatus AuTableHardware::reopenIO(AuObjectID device, int attempts) {
    std::lock_guard guard(mutex);
    auto it = devices.find(device);
    if (it == devices.end())
        return kAuErrorBadObject;
    DeviceEntry& entry = it->second;
    if (!entry.running)
        return kAuErrorCannotStart;
    closeIO(device);
    AuStatus status = kAuErrorCannotStart;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        status = openIO({device, entry.info, entry.proc, entry.clientData});
        if (status == kAuNoError)
            break;
    }
    entry.running = status == kAuNoError;
    return status;
}

AuObjectID AuTableHardware::deviceWithUID(const QString& uid) {
    std::lock_guard guard(mutex);
    for (const auto& [id, entry] : devices)
        if (entry.info.uid == uid)
            return id;
    return kAuUnknownObject;
}

std::vector<AuObjectID> AuTableHardware::deviceIDs() {
    std::lock_guard guard(mutex);
    std::vector<AuObjectID> ids;
    for (const auto& [id, entry] : devices)
        ids.push_back(id);
    return ids;
}

bool AuTableHardware::isRunning(AuObjectID device) {
    std::lock_guard guard(mutex);
    auto it = devices.find(device);
    return it != devices.end() && it->second.running;
}

AuStatus AuTableHardware::hardwareProperty(const AuPropertyAddress& address, QByteArray& value,
                                           const QByteArray& qualifier, bool* writable) {
    *writable = false;
    switch (address.property) {
    case auFourCC("dev#"): {
        std::vector<uint32_t> ids;
        for (const auto& [id, entry] : devices)
            ids.push_back(id);
        value = auPropertyBytes(ids);
        return kAuNoError;
    }
    case auFourCC("dIn "):
    case auFourCC("dOut"):
    case auFourCC("sOut"): {
        const AuObjectID id = address.property == auFourCC("dIn ") ? defaultInput : defaultOutput;
        if (id == kAuUnknownObject)
            return kAuErrorBadObject;
        value = auPropertyBytes(id);
        return kAuNoError;
    }
    case auFourCC("duid"): {
        const QString uid = QString::fromUtf8(qualifier);
        for (const auto& [id, entry] : devices) {
            if (entry.info.uid == uid) {
                value = auPropertyBytes(id);
                return kAuNoError;
            }
        }
        return kAuErrorBadObject;
    }
    default:
        return kAuErrorUnknownProperty;
    }
}

AuStatus AuTableHardware::deviceProperty(const DeviceEntry& entry, const AuPropertyAddress& address,
                                         QByteArray& value, const QByteArray& qualifier,
                                         bool* writable) {
    const AuHalDeviceInfo& info = entry.info;
    const uint32_t direction = address.direction == kAuDirectionInput ? 1 : 0;
    *writable = false;
    switch (address.property) {
    case auFourCC("lnam"):
        value = info.name.toUtf8();
        return kAuNoError;
    case auFourCC("uid "):
        value = info.uid.toUtf8();
        return kAuNoError;
    case auFourCC("lmak"):
        value = info.manufacturer.toUtf8();
        return kAuNoError;
    case auFourCC("livn"):
        value = auPropertyBytes(uint32_t(1));
        return kAuNoError;
    case auFourCC("akin"):
        value = auPropertyBytes(std::vector<uint32_t>{});
        return kAuNoError;
    case auFourCC("stm#"): {
        std::vector<uint32_t> ids;
        if (entry.stream[direction])
            ids.push_back(entry.stream[direction]);
        value = auPropertyBytes(ids);
        return kAuNoError;
    }
    case auFourCC("slay"):
        value = streamLayout(info.channels[direction]);
        return kAuNoError;
    case auFourCC("ssrc"):
        if (info.dataSources[direction].isEmpty())
            return kAuErrorUnknownProperty;
        *writable = info.dataSources[direction].size() > 1;
        value = auPropertyBytes(uint32_t(info.dataSource[direction] + 1));
        return kAuNoError;
    case auFourCC("ssc#"):
        if (info.dataSources[direction].isEmpty())
            return kAuErrorUnknownProperty;
        value = sourceIDs(info.dataSources[direction]);
        return kAuNoError;
    case auFourCC("lscn"): {
        uint32_t source = 0;
        if (!auPropertyValue(qualifier, source) || source == 0 ||
            source > uint32_t(info.dataSources[direction].size()))
            return kAuErrorUnsupportedValue;
        value = info.dataSources[direction][source - 1].toUtf8();
        return kAuNoError;
    }
    case auFourCC("fsiz"):
        *writable = true;
        value = auPropertyBytes(info.bufferFrames);
        return kAuNoError;
    case auFourCC("vfsz"):
        value = auPropertyBytes(info.bufferFrames);
        return kAuNoError;
    case auFourCC("fsz#"):
        value = auPropertyBytes(info.bufferFrameRange);
        return kAuNoError;
    case auFourCC("ltnc"):
        value = auPropertyBytes(info.latencyFrames[direction]);
        return kAuNoError;
    case auFourCC("iodr"):
        *writable = true;
        value = auPropertyBytes(info.ioDirections);
        return kAuNoError;
    case auFourCC("iolt"):
        *writable = true;
        value = auPropertyBytes(info.ioLatencyFrames);
        return kAuNoError;
    case auFourCC("saft"):
        value = auPropertyBytes(info.safetyOffsetFrames[direction]);
        return kAuNoError;
    case auFourCC("nsrt"):
        *writable = true;
        value = auPropertyBytes(info.nominalSampleRate);
        return kAuNoError;
    case auFourCC("asrt"):
        value = auPropertyBytes(entry.running ? info.nominalSampleRate : 0.0);
        return kAuNoError;
    case auFourCC("nsr#"):
        value = auPropertyBytes(info.sampleRates);
        return kAuNoError;
    case auFourCC("sfmt"):
        if (info.channels[direction] == 0)
            return kAuErrorUnknownProperty;
        *writable = true;
        value = auPropertyBytes(nativeFormat(info.nominalSampleRate, info.channels[direction]));
        return kAuNoError;
    case auFourCC("sfm#"):
        if (info.channels[direction] == 0)
            return kAuErrorUnknownProperty;
        value = auPropertyBytes(formatList(info, direction));
        return kAuNoError;
    case auFourCC("sfmm"): {
        AuStreamBasicDescription wanted;
        if (info.channels[direction] == 0 || !auPropertyValue(qualifier, wanted))
            return kAuErrorUnsupportedValue;
        value = auPropertyBytes(matchFormat(info, direction, wanted));
        return kAuNoError;
    }
    default:
        return kAuErrorUnknownProperty;
    }
}

AuStatus AuTableHardware::streamProperty(const StreamEntry& stream,
                                         const AuPropertyAddress& address, QByteArray& value,
                                         const QByteArray& qualifier, bool* writable) {
    const DeviceEntry& entry = devices.at(stream.device);
    *writable = false;
    AuPropertyAddress onDevice{AuScope::Device, stream.device, 0, stream.direction,
                               address.property};
    switch (address.property) {
    case auFourCC("sdir"):
        value = auPropertyBytes(stream.direction);
        return kAuNoError;
    case auFourCC("lnam"):
        value = (entry.info.name +
                 (stream.direction ? QStringLiteral(" input") : QStringLiteral(" output")))
                    .toUtf8();
        return kAuNoError;
    case auFourCC("schn"):
        value = auPropertyBytes(uint32_t(1));
        return kAuNoError;
    case auFourCC("pft "):
    case auFourCC("pft#"):
    case auFourCC("pftm"):
        // Every stream here runs in its physical format.
        onDevice.property = address.property == auFourCC("pft ")   ? auFourCC("sfmt")
                            : address.property == auFourCC("pft#") ? auFourCC("sfm#")
                                                                   : auFourCC("sfmm");
        return deviceProperty(entry, onDevice, value, qualifier, writable);
    case auFourCC("sfmt"):
    case auFourCC("sfm#"):
    case auFourCC("sfmm"):
    case auFourCC("ssrc"):
    case auFourCC("ssc#"):
    case auFourCC("lscn"):
        // A stream's formats and sources are those of its direction.
        return deviceProperty(entry, onDevice, value, qualifier, writable);
    default:
        return kAuErrorUnknownProperty;
    }
}

AuStatus AuTableHardware::read(const AuPropertyAddress& address, QByteArray& value,
                               const QByteArray& qualifier, bool* writable) {
    std::lock_guard guard(mutex);
    switch (address.scope) {
    case AuScope::Hardware:
        return hardwareProperty(address, value, qualifier, writable);
    case AuScope::Device: {
        auto it = devices.find(address.object);
        if (it == devices.end())
            return kAuErrorBadObject;
        return deviceProperty(it->second, address, value, qualifier, writable);
    }
    case AuScope::Stream: {
        auto it = streams.find(address.object);
        if (it == streams.end())
            return kAuErrorBadObject;
        return streamProperty(it->second, address, value, qualifier, writable);
    }
    }
    return kAuErrorUnknownProperty;
}

AuStatus AuTableHardware::getPropertyInfo(const AuPropertyAddress& address, uint32_t* size,
                                          bool* writable) {
    QByteArray value;
    bool canWrite = false;
    const AuStatus status = read(address, value, {}, &canWrite);
    if (status != kAuNoError && status != kAuErrorUnsupportedValue)
        return status;
    if (size)
        *size = uint32_t(value.size());
    if (writable)
        *writable = canWrite;
    return kAuNoError;
}

AuStatus AuTableHardware::getProperty(const AuPropertyAddress& address, QByteArray& value,
                                      const QByteArray& qualifier) {
    bool writable = false;
    return read(address, value, qualifier, &writable);
}

AuStatus AuTableHardware::setProperty(const AuPropertyAddress& address, const QByteArray& value) {
    AuObjectID device;
    uint32_t direction = address.direction == kAuDirectionInput ? 1 : 0;
    std::vector<AuPropertyAddress> changes;
    AuStatus status = kAuNoError;
    bool died = false;
    bool retuned = false;
    {
        std::lock_guard guard(mutex);
        AuPropertyID property = address.property;
        if (address.scope == AuScope::Stream) {
            auto it = streams.find(address.object);
            if (it == streams.end())
                return kAuErrorBadObject;
            device = it->second.device;
            direction = it->second.direction;
            if (property == auFourCC("pft "))
                property = auFourCC("sfmt");
        } else if (address.scope == AuScope::Device) {
            device = address.object;
        } else {
            return kAuErrorNotWritable;
        }
        auto it = devices.find(device);
        if (it == devices.end())
            return kAuErrorBadObject;
        DeviceEntry& entry = it->second;
        AuHalDeviceInfo& info = entry.info;
        const AuHalDeviceInfo previous = info;
        switch (property) {
        case auFourCC("nsrt"): {
            double rate = 0;
            if (!auPropertyValue(value, rate))
                return kAuErrorBadSize;
            if (!rateSupported(info, rate))
                return kAuErrorUnsupportedValue;
            if (rate == info.nominalSampleRate)
                return kAuNoError;
            info.nominalSampleRate = rate;
            changes = rateChanges(device, entry);
            break;
        }
        case auFourCC("sfmt"): {
            AuStreamBasicDescription format;
            if (!auPropertyValue(value, format))
                return kAuErrorBadSize;
            if (!isUsableFormat(info, direction, format))
                return kAuErrorUnsupportedValue;
            if (format.mSampleRate == info.nominalSampleRate)
                return kAuNoError;
            info.nominalSampleRate = format.mSampleRate;
            changes = rateChanges(device, entry);
            break;
        }
        case auFourCC("fsiz"): {
            uint32_t frames = 0;
            if (!auPropertyValue(value, frames))
                return kAuErrorBadSize;
            if (frames < info.bufferFrameRange.mMinimum || frames > info.bufferFrameRange.mMaximum)
                return kAuErrorUnsupportedValue;
            if (frames == info.bufferFrames)
                return kAuNoError;
            info.bufferFrames = frames;
            changes = {{AuScope::Device, device, 0, 0, auFourCC("fsiz")}};
            break;
        }
        case auFourCC("iodr"):
        case auFourCC("iolt"): {
            uint32_t setting = 0;
            if (!auPropertyValue(value, setting))
                return kAuErrorBadSize;
            if (property == auFourCC("iodr") && (setting == 0 || setting > 3))
                return kAuErrorUnsupportedValue;
            uint32_t& field =
                property == auFourCC("iodr") ? info.ioDirections : info.ioLatencyFrames;
            if (setting == field)
                return kAuNoError;
            field = setting;
            changes = {{AuScope::Device, device, 0, 0, property}};
            retuned =
                !entry.running || retuneIO({device, info, entry.proc, entry.clientData}, previous);
            break;
        }
        case auFourCC("ssrc"): {
            uint32_t source = 0;
            if (!auPropertyValue(value, source))
                return kAuErrorBadSize;
            if (source == 0 || source > uint32_t(info.dataSources[direction].size()))
                return kAuErrorUnsupportedValue;
            info.dataSource[direction] = source - 1;
            changes = {{AuScope::Device, device, 0, direction, auFourCC("ssrc")}};
            if (entry.stream[direction])
                changes.push_back(
                    {AuScope::Stream, entry.stream[direction], 0, 0, auFourCC("ssrc")});
            break;
        }
        default:
            return kAuErrorNotWritable;
        }
        if (property != auFourCC("ssrc") && !retuned && entry.running) {
            status = restart(device, entry, previous);
            died = !entry.running;
        }
    }
    // A device that cannot run with its old settings either has gone for its
    // clients: they hear it as the device dying, and stop or switch over.
    if (died)
        deviceChanged(device, auFourCC("livn"));
    if (status != kAuNoError)
        return status;
    for (const AuPropertyAddress& change : changes)
        propertyChanged(change);
    return kAuNoError;
}

std::vector<AuPropertyAddress> AuTableHardware::rateChanges(AuObjectID device,
                                                            const DeviceEntry& entry) {
    // The rate is device-wide: every direction's format and every stream's
    // formats (the physical one is the IO one here) change with it.
    std::vector<AuPropertyAddress> changes{{AuScope::Device, device, 0, 0, auFourCC("nsrt")}};
    for (uint32_t direction = 0; direction < 2; ++direction)
        if (entry.info.channels[direction] > 0)
            changes.push_back({AuScope::Device, device, 0, direction, auFourCC("sfmt")});
    for (AuObjectID stream : entry.stream) {
        if (!stream)
            continue;
        changes.push_back({AuScope::Stream, stream, 0, 0, auFourCC("sfmt")});
        changes.push_back({AuScope::Stream, stream, 0, 0, auFourCC("pft ")});
    }
    return changes;
}

AuStatus AuTableHardware::restart(AuObjectID device, DeviceEntry& entry,
                                  const AuHalDeviceInfo& previous) {
    closeIO(device);
    const AuStatus status = openIO({device, entry.info, entry.proc, entry.clientData});
    if (status == kAuNoError)
        return kAuNoError;
    // The change is refused as a whole: the old settings come back and the
    // device runs on with them if it can.
    entry.info = previous;
    entry.running = openIO({device, entry.info, entry.proc, entry.clientData}) == kAuNoError;
    return status;
}

AuStatus AuTableHardware::addIOProc(AuObjectID device, AuDeviceIOProc proc, void* clientData) {
    std::lock_guard guard(mutex);
    auto it = devices.find(device);
    if (it == devices.end())
        return kAuErrorBadObject;
    if (it->second.proc && it->second.proc != proc)
        return kAuErrorCannotStart;
    it->second.proc = proc;
    it->second.clientData = clientData;
    return kAuNoError;
}

AuStatus AuTableHardware::entryWithProc(AuObjectID device, AuDeviceIOProc proc,
                                        DeviceEntry*& entry) {
    auto it = devices.find(device);
    if (it == devices.end())
        return kAuErrorBadObject;
    if (it->second.proc != proc)
        return kAuErrorNoIOProc;
    entry = &it->second;
    return kAuNoError;
}

AuStatus AuTableHardware::removeIOProc(AuObjectID device, AuDeviceIOProc proc) {
    std::lock_guard guard(mutex);
    DeviceEntry* entry = nullptr;
    if (const AuStatus status = entryWithProc(device, proc, entry); status != kAuNoError)
        return status;
    stopRunning(device, *entry);
    entry->proc = nullptr;
    entry->clientData = nullptr;
    return kAuNoError;
}

AuStatus AuTableHardware::startDevice(AuObjectID device, AuDeviceIOProc proc) {
    std::lock_guard guard(mutex);
    DeviceEntry* entry = nullptr;
    if (const AuStatus status = entryWithProc(device, proc, entry); status != kAuNoError)
        return status;
    if (!proc)
        return kAuErrorNoIOProc;
    if (entry->running)
        return kAuNoError;
    const AuStatus status = openIO({device, entry->info, entry->proc, entry->clientData});
    entry->running = status == kAuNoError;
    return status;
}

AuStatus AuTableHardware::stopDevice(AuObjectID device, AuDeviceIOProc proc) {
    std::lock_guard guard(mutex);
    DeviceEntry* entry = nullptr;
    if (const AuStatus status = entryWithProc(device, proc, entry); status != kAuNoError)
        return status;
    stopRunning(device, *entry);
    return kAuNoError;
}

void AuTableHardware::stopRunning(AuObjectID device, DeviceEntry& entry) {
    if (entry.running) {
        closeIO(device);
        entry.running = false;
    }
}
