#include "audio/AuDevice.h"

#include "audio/AuDeviceDelegate.h"
#include "audio/AuHardwareDelegate.h"
#include "audio/AuIOProcMux.h"
#include "audio/AuProperties.h"
#include "platform/ZuConsole.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/hal/AuHardware.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>

namespace {

std::atomic<AuHardwareDelegate*> hardwareDelegateObject{nullptr};
std::mutex listenerInstallMutex;
uint64_t listenerInstalledFor = 0; // AuHardware::installCount() when installed

using namespace AuProperties;

void devicePropertyListener(const AuPropertyAddress& change, void*) {
    ZuNotificationCenter::defaultCenter().post(AuDeviceNotification, {},
                                               {{AuDeviceIDKey, change.object},
                                                {AuChannelKey, change.channel},
                                                {AuDirectionKey, change.direction != 0},
                                                {AuPropertyIDKey, change.property}});
}

void hardwarePropertyListener(const AuPropertyAddress& change, void*) {
    AuHardwareDelegate* delegate = hardwareDelegateObject.load();
    QString name;
    switch (change.property) {
    case auFourCC("dIn "):
        if (delegate)
            delegate->audioHardwareDefaultInputDeviceDidChange();
        name = AuHardwareDefaultInputDeviceDidChangeNotification;
        break;
    case auFourCC("dOut"):
        if (delegate)
            delegate->audioHardwareDefaultOutputDeviceDidChange();
        name = AuHardwareDefaultOutputDeviceDidChangeNotification;
        break;
    case auFourCC("sOut"):
        if (delegate)
            delegate->audioHardwareDefaultSystemOutputDeviceDidChange();
        name = AuHardwareDefaultSystemOutputDeviceDidChangeNotification;
        break;
    case auFourCC("dev#"):
        if (delegate)
            delegate->audioHardwareDeviceListDidChange();
        name = AuHardwareDeviceListDidChangeNotification;
        break;
    default:
        return;
    }
    ZuNotificationCenter::defaultCenter().post(name);
}

uint32_t clampFrames(double frames) {
    if (!(frames > 0))
        return 0;
    return frames >= 4294967295.0 ? 4294967295u : uint32_t(frames);
}

} // namespace

AuDevice::AuDevice(AuObjectID deviceID) : myDevice(deviceID) {
    // One hardware listener per backend, installed by the first device made on it.
    AuHardware& backend = AuHardware::current();
    std::lock_guard guard(listenerInstallMutex);
    const uint64_t installs = AuHardware::installCount();
    if (listenerInstalledFor != installs) {
        backend.addPropertyListener({AuScope::Hardware, kAuHardwareObject, kAuChannelWildcard,
                                     kAuDirectionWildcard, kAuPropertyWildcard},
                                    hardwarePropertyListener, nullptr);
        listenerInstalledFor = installs;
    }
}

AuDevice::~AuDevice() {
    removeIOProc();
    setDelegate(nullptr);
}

// Device lists.

std::vector<std::unique_ptr<AuDevice>> AuDevice::allDevices() {
    std::vector<std::unique_ptr<AuDevice>> devices;
    const auto ids = values<uint32_t>(hardware(auFourCC("dev#")));
    for (uint32_t id : ids.value_or(std::vector<uint32_t>{}))
        devices.push_back(std::make_unique<AuDevice>(id));
    sortDevices(devices);
    return devices;
}

void AuDevice::sortDevices(std::vector<std::unique_ptr<AuDevice>>& devices) {
    // Each device's keys are read once: a device going while the list sorts
    // would otherwise answer differently from one comparison to the next.
    std::vector<std::pair<SortKeys, std::unique_ptr<AuDevice>>> keyed;
    keyed.reserve(devices.size());
    for (auto& device : devices) {
        SortKeys keys = device->sortKeys();
        keyed.emplace_back(std::move(keys), std::move(device));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return sortsBefore(a.first, b.first); });
    for (size_t i = 0; i < devices.size(); ++i)
        devices[i] = std::move(keyed[i].second);
}

bool AuDevice::_compare(const AuDevice& other) const {
    return sortsBefore(sortKeys(), other.sortKeys());
}

AuDevice::SortKeys AuDevice::sortKeys() const {
    return {deviceName(), deviceUID()};
}

bool AuDevice::sortsBefore(const SortKeys& a, const SortKeys& b) {
    // An empty or unreadable key is missing: a device missing the key that
    // decides sorts after the other, and two devices missing it are equal.
    const auto before = [](const QString& key, const QString& otherKey) {
        if (key.isEmpty() || otherKey.isEmpty())
            return !key.isEmpty();
        return key < otherKey;
    };
    if (a.name.isEmpty() || b.name.isEmpty() || a.name != b.name)
        return before(a.name, b.name);
    return before(a.uid, b.uid);
}

std::vector<std::vector<std::unique_ptr<AuDevice>>> AuDevice::allDevicesByRelation() {
    std::vector<std::vector<std::unique_ptr<AuDevice>>> groups;
    std::set<AuObjectID> seen;
    for (const auto& device : allDevices()) {
        if (seen.count(device->deviceID()))
            continue;
        auto group = device->relatedDevices();
        for (const auto& member : group)
            seen.insert(member->deviceID());
        groups.push_back(std::move(group));
    }
    return groups;
}

std::vector<std::unique_ptr<AuDevice>> AuDevice::devicesWithName(const QString& name,
                                                                 uint32_t direction) {
    std::vector<std::unique_ptr<AuDevice>> found;
    for (auto& device : allDevices())
        if (device->deviceName() == name && device->channelsForDirection(direction) > 0)
            found.push_back(std::move(device));
    return found;
}

std::unique_ptr<AuDevice> AuDevice::deviceWithID(AuObjectID deviceID) {
    return std::make_unique<AuDevice>(deviceID);
}

std::unique_ptr<AuDevice> AuDevice::deviceWithUID(const QString& uid) {
    const auto id = value<uint32_t>(hardware(auFourCC("duid")), uid.toUtf8());
    if (!id)
        return nullptr;
    auto device = std::make_unique<AuDevice>(*id);
    if (device->deviceUID() != uid)
        return nullptr;
    return device;
}

std::unique_ptr<AuDevice> AuDevice::_defaultDevice(AuPropertyID property) {
    const auto id = value<uint32_t>(hardware(property));
    if (!id)
        return nullptr;
    return std::make_unique<AuDevice>(*id);
}

std::unique_ptr<AuDevice> AuDevice::defaultInputDevice() {
    return _defaultDevice(auFourCC("dIn "));
}

std::unique_ptr<AuDevice> AuDevice::defaultOutputDevice() {
    return _defaultDevice(auFourCC("dOut"));
}

std::unique_ptr<AuDevice> AuDevice::defaultSystemOutputDevice() {
    return _defaultDevice(auFourCC("sOut"));
}

void AuDevice::setHardwareDelegate(AuHardwareDelegate* delegate) {
    hardwareDelegateObject.store(delegate);
}

AuHardwareDelegate* AuDevice::hardwareDelegate() {
    return hardwareDelegateObject.load();
}

void AuDevice::attachNotificationsToThisThread() {
    // Backends here deliver changes on the thread that caused them; one that
    // keeps a notification thread may honour this.
    set(hardware(auFourCC("rnlp")), {});
}

// Identity.

std::unique_ptr<AuDevice> AuDevice::clone() const {
    return std::make_unique<AuDevice>(myDevice);
}

QString AuDevice::deviceName() const {
    return string(device(myDevice, 0, 0, auFourCC("lnam"))).value_or(QString());
}

QString AuDevice::deviceUID() const {
    return string(device(myDevice, 0, 0, auFourCC("uid "))).value_or(QString());
}

QString AuDevice::deviceManufacturer() const {
    return string(device(myDevice, 0, 0, auFourCC("lmak"))).value_or(QString());
}

QString AuDevice::description() const {
    return QStringLiteral("<AuDevice: 0x%1 id %2> %3")
        .arg(quintptr(this), 0, 16)
        .arg(myDevice)
        .arg(deviceName());
}

std::vector<std::unique_ptr<AuDevice>> AuDevice::relatedDevices() const {
    std::vector<std::unique_ptr<AuDevice>> related;
    related.push_back(clone());
    const auto ids = values<uint32_t>(device(myDevice, 0, 0, auFourCC("akin")));
    if (!ids)
        return related;
    std::vector<std::unique_ptr<AuDevice>> others;
    for (uint32_t id : *ids)
        if (id != myDevice)
            others.push_back(std::make_unique<AuDevice>(id));
    sortDevices(others);
    for (auto& other : others)
        related.push_back(std::move(other));
    return related;
}

// Delegate and events.

void AuDevice::setDelegate(AuDeviceDelegate* delegate) {
    ZuNotificationCenter& center = ZuNotificationCenter::defaultCenter();
    if (!myDelegate && delegate) {
        AuHardware::current().addPropertyListener(
            device(myDevice, kAuChannelWildcard, kAuDirectionWildcard, kAuPropertyWildcard),
            devicePropertyListener, nullptr);
        myDelegate = delegate;
        center.addObserver(AuDeviceNotification, this,
                           [this](const ZuNotification& n) { _dispatchDeviceNotification(n); });
    } else if (myDelegate && !delegate) {
        center.removeObserver(this, AuDeviceNotification);
        myDelegate = nullptr;
    } else {
        myDelegate = delegate;
    }
}

void AuDevice::_dispatchDeviceNotification(const ZuNotification& notification) {
    const QVariantMap& info = notification.userInfo;
    AuDeviceDelegate* target = myDelegate;
    if (!target || info.value(AuDeviceIDKey).toUInt() != myDevice)
        return;
    const uint32_t direction = info.value(AuDirectionKey).toBool() ? 1 : 0;
    const uint32_t channel = info.value(AuChannelKey).toUInt();
    switch (info.value(AuPropertyIDKey).toUInt()) {
    case auFourCC("livn"):
        target->audioDeviceDidDie(this);
        break;
    case auFourCC("over"):
        target->audioDeviceDidOverload(this);
        break;
    case auFourCC("diff"):
        target->audioDeviceSomethingDidChange(this);
        break;
    case auFourCC("fsiz"):
    case auFourCC("vfsz"):
        target->audioDeviceBufferSizeInFramesDidChange(this);
        break;
    case auFourCC("stm#"):
        streamsDirty[direction] = true;
        target->audioDeviceStreamsListDidChange(this);
        break;
    case auFourCC("slay"):
        target->audioDeviceChannelsByStreamDidChange(this, direction);
        break;
    case auFourCC("sfmt"):
        target->audioDeviceStreamDescriptionDidChange(this, channel, direction);
        break;
    case auFourCC("nsrt"):
        if (channel == 0)
            target->audioDeviceNominalSampleRateDidChange(this);
        break;
    case auFourCC("nsr#"):
        if (channel == 0)
            target->audioDeviceNominalSampleRatesDidChange(this);
        break;
    case auFourCC("volm"):
        target->audioDeviceVolumeDidChange(this, channel, direction);
        break;
    case auFourCC("mute"):
        target->audioDeviceMuteDidChange(this, channel, direction);
        break;
    case auFourCC("thru"):
        target->audioDevicePlayThruDidChange(this, channel, direction);
        break;
    case auFourCC("ssrc"):
        if (channel != 0)
            ZuConsole::line(QStringLiteral("AuDevice data source property theChannel != 0"));
        target->audioDeviceSourceDidChange(this, direction);
        break;
    case auFourCC("csrc"):
        target->audioDeviceClockSourceDidChange(this, channel, direction);
        break;
    default:
        break;
    }
}

// Streams.

std::unique_ptr<AuStream> AuDevice::makeStream(AuObjectID streamID) {
    return std::make_unique<AuStream>(streamID, this);
}

const std::vector<std::unique_ptr<AuStream>>* AuDevice::streamsForDirection(uint32_t direction) {
    const uint32_t d = direction ? 1 : 0;
    // Cleared before the read, so that a change arriving during it marks the
    // list dirty again instead of being lost.
    if (streamsDirty[d].exchange(false)) {
        myStreams[d].clear();
        const auto ids = values<uint32_t>(device(myDevice, 0, d, auFourCC("stm#")));
        if (!ids) {
            streamsDirty[d] = true;
            return nullptr;
        }
        for (uint32_t id : *ids)
            myStreams[d].push_back(makeStream(id));
    }
    return &myStreams[d];
}

// Sources.

QString AuDevice::dataSourceForDirection(uint32_t direction) const {
    return sourceName(device(myDevice, 0, direction, 0), dataSourceCodes).value_or(QString());
}

QStringList AuDevice::dataSourcesForDirection(uint32_t direction) const {
    return sourceNames(device(myDevice, 0, direction, 0), dataSourceCodes).value_or(QStringList());
}

bool AuDevice::canSetDataSourceForDirection(uint32_t direction) const {
    return isWritable(device(myDevice, 0, direction, auFourCC("ssrc"))).value_or(false);
}

void AuDevice::setDataSource(const QString& name, uint32_t direction) {
    setSource(device(myDevice, 0, direction, 0), dataSourceCodes, name);
}

QString AuDevice::dataSourceForChannel(uint32_t, uint32_t direction) const {
    ZuConsole::line(QStringLiteral("-[AuDevice dataSourceForChannel:forDirection:] is deprecated, "
                                   "use -dataSourceForDirection:]"));
    return dataSourceForDirection(direction);
}

QStringList AuDevice::dataSourcesForChannel(uint32_t, uint32_t direction) const {
    ZuConsole::line(QStringLiteral("-[AuDevice dataSourcesForChannel:forDirection:] is "
                                   "deprecated, use -dataSourcesForDirection:]"));
    return dataSourcesForDirection(direction);
}

void AuDevice::setDataSource(const QString& name, uint32_t, uint32_t direction) {
    ZuConsole::line(QStringLiteral("-[AuDevice setDataSource:forChannel:forDirection:] is "
                                   "deprecated, use -setDataSource:forDirection:]"));
    setDataSource(name, direction);
}

QString AuDevice::clockSourceForChannel(uint32_t channel, uint32_t direction) const {
    return sourceName(device(myDevice, channel, direction, 0), clockSourceCodes)
        .value_or(QString());
}

std::optional<QStringList> AuDevice::clockSourcesForChannel(uint32_t channel,
                                                            uint32_t direction) const {
    return sourceNames(device(myDevice, channel, direction, 0), clockSourceCodes);
}

void AuDevice::setClockSource(const QString& name, uint32_t channel, uint32_t direction) {
    setSource(device(myDevice, channel, direction, 0), clockSourceCodes, name);
}

// Buffer size and timing.

uint32_t AuDevice::deviceBufferSizeInFrames() const {
    return value<uint32_t>(device(myDevice, 0, 0, auFourCC("fsiz"))).value_or(0);
}

void AuDevice::setDeviceBufferSizeInFrames(uint32_t frames) {
    set(device(myDevice, 0, 0, auFourCC("fsiz")), auPropertyBytes(frames));
}

uint32_t AuDevice::deviceMaxVariableBufferSizeInFrames() const {
    const auto frames = value<uint32_t>(device(myDevice, 0, 0, auFourCC("vfsz")));
    return frames ? *frames : deviceBufferSizeInFrames();
}

uint32_t AuDevice::deviceMinBufferSizeInFrames() const {
    const auto range = value<AuValueRange>(device(myDevice, 0, 0, auFourCC("fsz#")));
    return range ? clampFrames(range->mMinimum) : 0;
}

uint32_t AuDevice::deviceMaxBufferSizeInFrames() const {
    const auto range = value<AuValueRange>(device(myDevice, 0, 0, auFourCC("fsz#")));
    return range ? clampFrames(range->mMaximum) : 0;
}

uint32_t AuDevice::deviceLatencyFramesForDirection(uint32_t direction) const {
    return value<uint32_t>(device(myDevice, 0, direction, auFourCC("ltnc"))).value_or(0);
}

uint32_t AuDevice::deviceSafetyOffsetFramesForDirection(uint32_t direction) const {
    return value<uint32_t>(device(myDevice, 0, direction, auFourCC("saft"))).value_or(0);
}

// Channels.

std::vector<uint32_t> AuDevice::channelsByStreamForDirection(uint32_t direction) const {
    std::vector<uint32_t> channels;
    const auto raw = bytes(device(myDevice, 0, direction, auFourCC("slay")));
    if (!raw || size_t(raw->size()) < auBufferListSize(0))
        return channels;
    const auto* list = reinterpret_cast<const AuBufferList*>(raw->constData());
    if (size_t(raw->size()) < auBufferListSize(list->mNumberBuffers))
        return channels;
    for (uint32_t i = 0; i < list->mNumberBuffers; ++i)
        channels.push_back(list->mBuffers[i].mNumberChannels);
    return channels;
}

uint32_t AuDevice::channelsForDirection(uint32_t direction) const {
    uint32_t total = 0;
    for (uint32_t channels : channelsByStreamForDirection(direction))
        total += channels;
    return total;
}

// Volume, mute and play-through.

float AuDevice::volumeForChannel(uint32_t channel, uint32_t direction) const {
    return value<float>(device(myDevice, channel, direction, auFourCC("volm"))).value_or(0.0f);
}

float AuDevice::volumeInDecibelsForChannel(uint32_t channel, uint32_t direction) const {
    return value<float>(device(myDevice, channel, direction, auFourCC("vold"))).value_or(0.0f);
}

void AuDevice::setVolume(float volume, uint32_t channel, uint32_t direction) {
    set(device(myDevice, channel, direction, auFourCC("volm")), auPropertyBytes(volume));
}

void AuDevice::setVolumeDecibels(float decibels, uint32_t channel, uint32_t direction) {
    set(device(myDevice, channel, direction, auFourCC("vold")), auPropertyBytes(decibels));
}

float AuDevice::volumeInDecibelsForVolume(float volume, uint32_t channel,
                                          uint32_t direction) const {
    return value<float>(device(myDevice, channel, direction, auFourCC("v2db")),
                        auPropertyBytes(volume))
        .value_or(0.0f);
}

float AuDevice::volumeForVolumeInDecibels(float decibels, uint32_t channel,
                                          uint32_t direction) const {
    return value<float>(device(myDevice, channel, direction, auFourCC("db2v")),
                        auPropertyBytes(decibels))
        .value_or(0.0f);
}

void AuDevice::setMute(bool mute, uint32_t channel, uint32_t direction) {
    set(device(myDevice, channel, direction, auFourCC("mute")),
        auPropertyBytes(uint32_t(mute ? 1 : 0)));
}

void AuDevice::setPlayThru(bool playThru, uint32_t channel) {
    set(device(myDevice, channel, 0, auFourCC("thru")),
        auPropertyBytes(uint32_t(playThru ? 1 : 0)));
}

void AuDevice::setPlayThru(bool playThru, uint32_t channel, uint32_t) {
    std::printf("-[AuDevice setPlayThru:forChannel:forDirection:] is deprecated, please use "
                "-[AuDevice setPlayThru:forChannel:] instead.\n");
    std::fflush(stdout);
    setPlayThru(playThru, channel);
}

AuVolumeInfo AuDevice::volumeInfoForChannel(uint32_t channel, uint32_t direction) const {
    return volumeInfo(device(myDevice, channel, direction, 0));
}

// Formats and rates.

std::optional<AuStreamDescription> AuDevice::streamDescriptionForChannel(uint32_t channel,
                                                                         uint32_t direction) const {
    const auto record =
        value<AuStreamBasicDescription>(device(myDevice, channel, direction, auFourCC("sfmt")));
    if (!record)
        return std::nullopt;
    return AuStreamDescription(*record);
}

std::vector<AuStreamDescription> AuDevice::streamDescriptionsForChannel(uint32_t channel,
                                                                        uint32_t direction) const {
    std::vector<AuStreamDescription> list;
    const auto records =
        values<AuStreamBasicDescription>(device(myDevice, channel, direction, auFourCC("sfm#")));
    for (const auto& record : records.value_or(std::vector<AuStreamBasicDescription>{}))
        list.emplace_back(record);
    return list;
}

bool AuDevice::setStreamDescription(const AuStreamDescription& description, uint32_t channel,
                                    uint32_t direction) {
    return set(device(myDevice, channel, direction, auFourCC("sfmt")),
               auPropertyBytes(description.audioStreamBasicDescription())) == kAuNoError;
}

std::optional<AuStreamDescription>
AuDevice::matchStreamDescription(const AuStreamDescription& description, uint32_t channel,
                                 uint32_t direction) const {
    const auto record =
        value<AuStreamBasicDescription>(device(myDevice, channel, direction, auFourCC("sfmm")),
                                        auPropertyBytes(description.audioStreamBasicDescription()));
    if (!record)
        return std::nullopt;
    return AuStreamDescription(*record);
}

double AuDevice::nominalSampleRate() const {
    return value<double>(device(myDevice, 0, 0, auFourCC("nsrt"))).value_or(0.0);
}

std::vector<std::array<double, 2>> AuDevice::nominalSampleRates() const {
    std::vector<std::array<double, 2>> ranges;
    const auto list = values<AuValueRange>(device(myDevice, 0, 0, auFourCC("nsr#")));
    for (const AuValueRange& r : list.value_or(std::vector<AuValueRange>{}))
        ranges.push_back({r.mMinimum, r.mMaximum});
    return ranges;
}

bool AuDevice::supportsNominalSampleRate(double rate) const {
    for (const auto& range : nominalSampleRates())
        if (range[0] <= rate && rate <= range[1])
            return true;
    return false;
}

bool AuDevice::setNominalSampleRate(double rate) {
    return set(device(myDevice, 0, 0, auFourCC("nsrt")), auPropertyBytes(rate)) == kAuNoError;
}

double AuDevice::actualSampleRate() const {
    return value<double>(device(myDevice, 0, 0, auFourCC("asrt"))).value_or(0.0);
}

// The IO client.

void AuDevice::setIOProc(AuDeviceIOProc proc, void* clientData) {
    removeIOProc();
    myIOProc = proc;
    myIOProcClientData = clientData;
}

void AuDevice::setIOInvocation(IOInvocation invocation, void* clientData) {
    removeIOProc();
    myIOInvocation = std::move(invocation);
    myIOProcClientData = clientData;
}

void AuDevice::removeIOProc() {
    if (!myIOProc && !myIOInvocation)
        return;
    // Unregistering waits until the IO thread has left this device, so the
    // client can be cleared safely afterwards.
    deviceStop();
    myIOProc = nullptr;
    myIOInvocation = nullptr;
    myIOProcClientData = nullptr;
}

bool AuDevice::deviceStart() {
    if (!myIOProc && !myIOInvocation)
        return deviceIOStarted;
    deviceIOStarted = AuIOProcMux::registerDevice(this);
    return deviceIOStarted;
}

void AuDevice::deviceStop() {
    if (!deviceIOStarted)
        return;
    AuIOProcMux::unRegisterDevice(this);
    deviceIOStarted = false;
}

void AuDevice::setDevicePaused(bool paused) {
    AuIOProcMux::setPause(paused, this);
}

void AuDevice::setIOUsage(uint32_t directions, uint32_t latencyFrames) {
    usedDirections = directions;
    usedLatencyFrames = latencyFrames;
    if (deviceIOStarted)
        AuIOProcMux::muxForDevice(this).renewUsage();
}

void AuDevice::dispatchIOProc(const AuTimeStamp* now, const AuBufferList* inputData,
                              const AuTimeStamp* inputTime, AuBufferList* outputData,
                              const AuTimeStamp* outputTime) {
    if (isPaused.load())
        return;
    if (myIOProc)
        myIOProc(myDevice, now, inputData, inputTime, outputData, outputTime, myIOProcClientData);
    else if (myIOInvocation)
        myIOInvocation(this, now, inputData, inputTime, outputData, outputTime, myIOProcClientData);
}

void AuDevice::dispatchIOStartDidFailForReason(AuStatus reason) {
    if (myDelegate)
        myDelegate->audioDeviceStartDidFail(this, reason);
}
