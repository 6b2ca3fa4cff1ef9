#include "audio/ZuDevice.h"

#include "audio/AuAudioBuffer.h"
#include "audio/AuBufferList.h"
#include "audio/AuConversionBuffer.h"
#include "audio/AuDevice.h"
#include "audio/ZuLevelDeviceClient.h"
#include "audio/ZuPlayDeviceClient.h"
#include "audio/ZuRecordDeviceClient.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"

#include <mutex>

namespace {

const QString internalMicrophone = QStringLiteral("Internal microphone");
const QString lineIn = QStringLiteral("Line In");
const QString externalLineIn = QStringLiteral("External microphone/Line In");
const QString digitalIn = QStringLiteral("Digital In");
const QString internalSpeakers = QStringLiteral("Internal speakers");

// The data source names one entry stands for, the entry's own name first.
QStringList mergedNames(uint32_t direction) {
    if (direction == kAuDirectionInput)
        return {lineIn, externalLineIn, QStringLiteral("Sound Input")};
    return {internalSpeakers, QStringLiteral("Headphones")};
}

// The device's own data source behind a represented name: for a merged entry
// the first of its names the device lists. Empty when the device has none.
QString dataSourceForEntry(const AuDevice& device, const QString& entry, uint32_t direction) {
    const QStringList sources = device.dataSourcesForDirection(direction);
    if (sources.contains(entry))
        return entry;
    const QStringList merged = mergedNames(direction);
    if (merged.first() != entry)
        return {};
    for (const QString& source : sources)
        if (merged.contains(source))
            return source;
    return {};
}

} // namespace

struct ZuDevice::SourceEntry {
    int32_t deviceIndex;
    QString name;
};

void ZuDevice::BufferListDisposer::operator()(AuBufferList* list) const {
    AuBufferListDispose(list);
}

void ZuDevice::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({
            {"recordSourceDevice", 0},
            {"PlaybackSourceDevice", 0},
            {"MonitorSourceDevice", 0},
            {"UseHightQualitySampling", false},
        });
    });
}

ZuDevice::ZuDevice() {
    initialize();
}

ZuDevice::~ZuDevice() {
    // No callback may run once the converter goes.
    releaseDevices();
    delete monitorConverterPointer.exchange(nullptr);
}

void ZuDevice::releaseDevices() {
    recordDeviceObject.reset();
    levelDeviceObject.reset();
    monitorDeviceObject.reset();
    playDeviceObject.reset();
}

void ZuDevice::setClients(ZuRecordDeviceClient* recorderClient, ZuLevelDeviceClient* meterClient,
                          ZuPlayDeviceClient* playerClient) {
    recorder = recorderClient;
    meter = meterClient;
    player = playerClient;
}

void ZuDevice::awakeFromNib() {
    startError = false;
    const ZuSettings& store = ZuSettings::standard();
    recordSourceNumber = static_cast<int32_t>(store.integerForKey("recordSourceDevice"));
    playSourceNumber = static_cast<int32_t>(store.integerForKey("PlaybackSourceDevice"));
    monitorSourceNumber = static_cast<int32_t>(store.integerForKey("MonitorSourceDevice"));
    highQuality = store.boolForKey("UseHightQualitySampling");
    initRecordDevice();
    initPlayDevice();
    initMonitorDevice();
    replaceMonitorConverter(nullptr);
    newMonitorConverter();
}

// Role set-up.

void ZuDevice::initRecordDevice() {
    recordSourceNumber = checkRecordSource(recordSourceNumber);
    if (recordSourceNumber == -1) {
        noRecordDeviceAlert();
        return;
    }
    recordDeviceObject.reset();
    levelDeviceObject.reset();
    recordRing.reset();
    convertList.reset();
    renewRecordSource();
}

void ZuDevice::initPlayDevice() {
    playSourceNumber = checkPlaySource(playSourceNumber);
    if (playSourceNumber == -1) {
        noPlayDeviceAlert();
        return;
    }
    playDeviceObject.reset();
    renewPlaySource();
}

void ZuDevice::initMonitorDevice() {
    monitorSourceNumber = checkPlaySource(monitorSourceNumber);
    if (monitorSourceNumber == -1) {
        noPlayDeviceAlert();
        return;
    }
    monitorDeviceObject.reset();
    monitorRing.reset();
    monitorConvertList.reset();
    renewMonitorSource();
}

// A number below 0 is as out of range as one past the end: with sources it
// falls back to the first.
int32_t ZuDevice::checkRecordSource(int32_t number) const {
    const int32_t count = recordSourceCount();
    if (count == 0)
        return -1;
    return number >= 0 && number < count ? number : 0;
}

int32_t ZuDevice::checkPlaySource(int32_t number) const {
    const int32_t count = playSourceCount();
    if (count == 0)
        return -1;
    return number >= 0 && number < count ? number : 0;
}

void ZuDevice::recordDeviceStart() {
    if (recordDeviceObject)
        recordDeviceObject->deviceStart();
    if (levelDeviceObject)
        levelDeviceObject->deviceStart();
}

void ZuDevice::renewRecordSource() {
    // Stopping the devices first means no callback runs while the buffers change.
    recordDeviceObject.reset();
    levelDeviceObject.reset();
    recordSourceNumber = checkRecordSource(recordSourceNumber);
    std::unique_ptr<AuDevice> chosen;
    if (recordSourceNumber != -1)
        chosen = recordDeviceWithSource(recordSourceNumber);
    // The device may also have gone between the two reads of the device list.
    if (!chosen) {
        clearRecordRole();
        return;
    }
    recordDeviceObject = std::make_unique<AuDevice>(chosen->deviceID());
    levelDeviceObject = std::make_unique<AuDevice>(chosen->deviceID());
    setRecordIOTargetWithDevice(recordDeviceObject.get());
    setLevelIOTargetWithDevice(levelDeviceObject.get());

    const QString source = dataSourceForEntry(
        *recordDeviceObject, sourceNameOfRecordSource(recordSourceNumber), kAuDirectionInput);
    if (!source.isEmpty()) {
        recordDeviceObject->setDataSource(source, kAuDirectionInput);
        levelDeviceObject->setDataSource(source, kAuDirectionInput);
    }
    recordRate = sampleRateOfDevice(*recordDeviceObject);
    recordDeviceObject->setNominalSampleRate(recordRate);
    recordFrames = bufferSizeOfDevice(*recordDeviceObject);
    recordDeviceObject->setDeviceBufferSizeInFrames(uint32_t(recordFrames));
    levelDeviceObject->setNominalSampleRate(recordRate);
    levelDeviceObject->setDeviceBufferSizeInFrames(uint32_t(recordFrames));
    recordChannelCount = channelsOfRecordDevice(*recordDeviceObject);
    renewRecordLatency();

    recordRing = AuAudioBuffer::create(uint32_t(recordFrames), uint32_t(recordChannelCount));
    convertList.reset(AuBufferListNew(2, uint32_t(recordFrames), true));
    if (recorder)
        recorder->renewDispSampleRate();
}

void ZuDevice::clearRecordRole() {
    ZuConsole::line(QStringLiteral("No recording source is exist."));
    recordSourceNumber = -1;
    recordRing.reset();
    convertList.reset();
    recordRate = 0.0;
    recordFrames = 0;
    recordChannelCount = 0;
    // Without a successor device the meter would keep the last level it saw.
    if (meter)
        meter->willSetLevelIOTarget(nullptr);
}

// The nominal rate and the buffer size belong to the hardware, and changing
// either restarts its running IO: an output role on the hardware of a role
// already set up takes that role's values, so that neither role's fields
// (nor the recording's rate) go stale behind it.
void ZuDevice::chooseOutputRateAndSize(const AuDevice& device, double& rate,
                                       int32_t& frames) const {
    const auto shares = [&device](const std::unique_ptr<AuDevice>& role) {
        return role && role.get() != &device && role->deviceID() == device.deviceID();
    };
    if (shares(recordDeviceObject)) {
        rate = recordRate;
        frames = recordFrames;
    } else if (shares(playDeviceObject)) {
        rate = playRate;
        frames = playFrames;
    } else if (shares(monitorDeviceObject)) {
        rate = monitorRate;
        frames = monitorFrames;
    } else {
        rate = sampleRateOfDevice(device);
        frames = bufferSizeOfDevice(device);
    }
}

bool ZuDevice::outputRoleDisagreesWithRecord(const AuDevice* device, double rate,
                                             int32_t frames) const {
    return device && recordDeviceObject && device->deviceID() == recordDeviceObject->deviceID() &&
           (rate != recordRate || frames != recordFrames);
}

void ZuDevice::renewPlaySource() {
    playDeviceObject.reset();
    playSourceNumber = checkPlaySource(playSourceNumber);
    if (playSourceNumber == -1) {
        ZuConsole::line(QStringLiteral("No playback device is exist."));
        return;
    }
    std::vector<std::unique_ptr<AuDevice>> devices = AuDevice::allDevices();
    const size_t index = size_t(deviceNumberOfPlaySource(playSourceNumber));
    if (index >= devices.size()) {
        noPlayDeviceAlert();
        playSourceNumber = -1;
        return;
    }
    playDeviceObject = std::move(devices[index]);
    setPlayIOTargetWithDevice(playDeviceObject.get());
    const QString source = dataSourceForEntry(
        *playDeviceObject, sourceNameOfPlaySource(playSourceNumber), kAuDirectionOutput);
    if (!source.isEmpty())
        playDeviceObject->setDataSource(source, kAuDirectionOutput);
    chooseOutputRateAndSize(*playDeviceObject, playRate, playFrames);
    playDeviceObject->setNominalSampleRate(playRate);
    playDeviceObject->setDeviceBufferSizeInFrames(uint32_t(playFrames));
    playChannelCount = channelsOfPlayDevice(*playDeviceObject);
    playDeviceObject->setIOUsage(1u << kAuDirectionOutput, 0);
    // Paused before it starts, so the player is never called unasked.
    playDeviceObject->setDevicePaused(true);
    playDeviceObject->deviceStart();
}

void ZuDevice::renewMonitorSource() {
    monitorDeviceObject.reset();
    monitorSourceNumber = checkPlaySource(monitorSourceNumber);
    if (monitorSourceNumber == -1) {
        ZuConsole::line(QStringLiteral("No monitoring device is exist."));
        return;
    }
    std::vector<std::unique_ptr<AuDevice>> devices = AuDevice::allDevices();
    const size_t index = size_t(deviceNumberOfPlaySource(monitorSourceNumber));
    if (index >= devices.size()) {
        noPlayDeviceAlert();
        monitorSourceNumber = -1;
        return;
    }
    monitorDeviceObject = std::move(devices[index]);
    setMonitorIOTargetWithDevice(monitorDeviceObject.get());
    const QString source = dataSourceForEntry(
        *monitorDeviceObject, sourceNameOfPlaySource(monitorSourceNumber), kAuDirectionOutput);
    if (!source.isEmpty())
        monitorDeviceObject->setDataSource(source, kAuDirectionOutput);
    chooseOutputRateAndSize(*monitorDeviceObject, monitorRate, monitorFrames);
    monitorDeviceObject->setNominalSampleRate(monitorRate);
    monitorDeviceObject->setDeviceBufferSizeInFrames(uint32_t(monitorFrames));
    monitorChannelCount = channelsOfPlayDevice(*monitorDeviceObject);
    monitorDeviceObject->setIOUsage(1u << kAuDirectionOutput,
                                    uint32_t(monitorFrames) * monitorLatencyBuffers);
    monitorRing = AuAudioBuffer::create(uint32_t(monitorFrames), uint32_t(monitorChannelCount));
    monitorConvertList.reset(AuBufferListNew(2, uint32_t(monitorFrames), true));
    monitorDeviceObject->setDevicePaused(true);
    monitorDeviceObject->deviceStart();
}

void ZuDevice::newMonitorConverter() {
    std::unique_ptr<AuConversionBuffer> converter;
    if (recordDeviceObject && monitorDeviceObject)
        converter = AuConversionBuffer::create(*recordDeviceObject, *monitorDeviceObject);
    replaceMonitorConverter(std::move(converter));
}

void ZuDevice::replaceMonitorConverter(std::unique_ptr<AuConversionBuffer> converter) {
    AuConversionBuffer* old = monitorConverterPointer.exchange(converter.release());
    if (!old)
        return;
    // A callback that began before the exchange may still hold the old one;
    // one that begins after it sees the new one.
    waitForCycleEnd(recordCycle);
    waitForCycleEnd(monitorCycle);
    delete old;
}

void ZuDevice::waitForCycleEnd(const std::atomic<uint64_t>& cycle) {
    const uint64_t now = cycle.load();
    if (now & 1)
        cycle.wait(now);
}

// IO targets.

void ZuDevice::setRecordIOTargetWithDevice(AuDevice* device) {
    if (!device || !recorder)
        return;
    recorder->willSetRecordIOTarget(device);
    device->setDelegate(recorder);
    device->setIOTarget(this, &ZuDevice::recordIOForDevice, nullptr);
}

void ZuDevice::setMonitorIOTargetWithDevice(AuDevice* device) {
    if (!device || !recorder)
        return;
    recorder->willSetMonitorIOTarget(device);
    device->setDelegate(recorder);
    device->setIOTarget(this, &ZuDevice::monitorIOForDevice, nullptr);
}

void ZuDevice::setLevelIOTargetWithDevice(AuDevice* device) {
    if (!device || !meter)
        return;
    meter->willSetLevelIOTarget(device);
    device->setDelegate(meter);
    device->setIOTarget(meter, &ZuLevelDeviceClient::levelInputIOForDevice, nullptr);
}

void ZuDevice::setPlayIOTargetWithDevice(AuDevice* device) {
    if (!device || !player)
        return;
    player->willSetPlayIOTarget(device);
    device->setDelegate(player);
    device->setIOTarget(player, &ZuPlayDeviceClient::playbackIOForDevice, nullptr);
}

AuStatus ZuDevice::recordIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                     const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                     AuBufferList* outputData, const AuTimeStamp* outputTime,
                                     void* clientData) {
    recordCycle.fetch_add(1);
    const AuStatus status = recorder->recordIOForDevice(device, timeStamp, inputData, inputTime,
                                                        outputData, outputTime, clientData);
    recordCycle.fetch_add(1);
    recordCycle.notify_all();
    return status;
}

AuStatus ZuDevice::monitorIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                      const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                      AuBufferList* outputData, const AuTimeStamp* outputTime,
                                      void* clientData) {
    monitorCycle.fetch_add(1);
    const AuStatus status = recorder->monitorIOForDevice(device, timeStamp, inputData, inputTime,
                                                         outputData, outputTime, clientData);
    monitorCycle.fetch_add(1);
    monitorCycle.notify_all();
    return status;
}

// Source setters.

void ZuDevice::changeRecordSource(int32_t number) {
    ZuSettings::standard().setInteger(number, "recordSourceDevice");
    ZuSettings::standard().synchronize();
    setRecordSource(number);
}

void ZuDevice::setRecordSource(int32_t number) {
    recordSourceNumber = number;
    renewRecordSource();
    // The recorder resizes its queue and the converter is made before the new
    // device runs, so the capture callback never meets either half-replaced.
    if (recorder)
        recorder->recordSourceChanged();
    // An output role on the same hardware now runs at the record role's rate:
    // renewed, its fields and the monitor converter follow.
    const bool renewPlay =
        outputRoleDisagreesWithRecord(playDeviceObject.get(), playRate, playFrames);
    const bool renewMonitor =
        outputRoleDisagreesWithRecord(monitorDeviceObject.get(), monitorRate, monitorFrames);
    if (renewPlay)
        renewPlaySource();
    if (renewMonitor)
        renewMonitorSource();
    newMonitorConverter();
    if (renewMonitor && recorder)
        recorder->monitorSourceChanged();
    if (renewPlay && player)
        player->playSourceChanged();
    recordDeviceStart();
}

void ZuDevice::changePlaySource(int32_t number) {
    ZuSettings::standard().setInteger(number, "PlaybackSourceDevice");
    ZuSettings::standard().synchronize();
    setPlaySource(number);
}

void ZuDevice::setPlaySource(int32_t number) {
    playSourceNumber = number;
    renewPlaySource();
    if (player)
        player->playSourceChanged();
}

void ZuDevice::changeMonitorSource(int32_t number) {
    ZuSettings::standard().setInteger(number, "MonitorSourceDevice");
    ZuSettings::standard().synchronize();
    setMonitorSource(number);
}

void ZuDevice::setMonitorSource(int32_t number) {
    monitorSourceNumber = number;
    renewMonitorSource();
    // The converter fits the new device before the recorder may unpause it.
    newMonitorConverter();
    if (recorder)
        recorder->monitorSourceChanged();
}

void ZuDevice::setUseHighQuality(bool flag) {
    highQuality = flag;
    ZuSettings::standard().setBool(flag, "UseHightQualitySampling");
    ZuSettings::standard().synchronize();
}

// Pausing.

void ZuDevice::playDevicePause(bool flag) {
    if (!playDeviceObject)
        return;
    playDeviceObject->deviceStart();
    playDeviceObject->setDevicePaused(flag);
}

void ZuDevice::monitorDevicePaused(bool flag) {
    if (monitorDeviceObject)
        monitorDeviceObject->setDevicePaused(flag);
    renewRecordLatency();
}

void ZuDevice::renewRecordLatency() {
    // What is heard on the monitor comes through the record device: only
    // then must its input come in small steps. Unheard, long transfers cost
    // the least.
    const bool monitoring = monitorDeviceObject && !monitorDeviceObject->isDevicePaused();
    if (recordDeviceObject)
        recordDeviceObject->setIOUsage(1u << kAuDirectionInput,
                                       monitoring ? uint32_t(recordFrames) * monitorLatencyBuffers
                                                  : 0);
    if (levelDeviceObject)
        levelDeviceObject->setIOUsage(1u << kAuDirectionInput, 0);
}

// Names.

QStringList ZuDevice::representNames(const QStringList& names, uint32_t direction) {
    const QStringList merged = mergedNames(direction);
    QStringList represented;
    bool mergedSeen = false;
    for (const QString& name : names) {
        if (!merged.contains(name)) {
            represented.append(name);
        } else if (!mergedSeen) {
            represented.append(merged.first());
            mergedSeen = true;
        }
    }
    return represented;
}

QStringList ZuDevice::representRecordName(const QStringList& names) {
    return representNames(names, kAuDirectionInput);
}

QStringList ZuDevice::representPlayName(const QStringList& names) {
    return representNames(names, kAuDirectionOutput);
}

QString ZuDevice::convertJapanRecordSourceName(const QString& name) {
    if (name == internalMicrophone)
        return ZuLocalized::text(QStringLiteral("InternalSource"));
    if (name == lineIn)
        return ZuLocalized::text(QStringLiteral("ExternalSource"));
    if (name == digitalIn)
        return ZuLocalized::text(QStringLiteral("DigitalSource"));
    return name;
}

QString ZuDevice::convertJapanPlaySourceName(const QString& name) {
    if (name == internalSpeakers)
        return ZuLocalized::text(QStringLiteral("InternalOutput"));
    return name;
}

bool ZuDevice::isRecordableDevice(const AuDevice& device) {
    return device.channelsForDirection(kAuDirectionInput) != 0;
}

bool ZuDevice::isPlayableDevice(const AuDevice& device) {
    return device.channelsForDirection(kAuDirectionOutput) != 0;
}

std::vector<ZuDevice::SourceEntry> ZuDevice::sourceEntries(uint32_t direction) {
    std::vector<SourceEntry> entries;
    const std::vector<std::unique_ptr<AuDevice>> devices = AuDevice::allDevices();
    for (size_t index = 0; index < devices.size(); ++index) {
        const AuDevice& device = *devices[index];
        if (device.channelsForDirection(direction) == 0)
            continue;
        const QStringList names =
            representNames(device.dataSourcesForDirection(direction), direction);
        if (names.isEmpty()) {
            entries.push_back({int32_t(index), device.deviceName()});
            continue;
        }
        for (const QString& name : names)
            entries.push_back({int32_t(index), name});
    }
    return entries;
}

QString ZuDevice::sourceName(uint32_t direction, int32_t number) const {
    const std::vector<SourceEntry> entries = sourceEntries(direction);
    if (number < 0 || size_t(number) >= entries.size())
        return {};
    return entries[size_t(number)].name;
}

int32_t ZuDevice::deviceNumber(uint32_t direction, int32_t number) const {
    const std::vector<SourceEntry> entries = sourceEntries(direction);
    if (number < 0 || size_t(number) >= entries.size())
        return 0;
    return entries[size_t(number)].deviceIndex;
}

QStringList ZuDevice::usableRecordSourceNames() const {
    QStringList names;
    for (const SourceEntry& entry : sourceEntries(kAuDirectionInput))
        names.append(entry.name);
    return names;
}

QStringList ZuDevice::usablePlaySourceNames() const {
    QStringList names;
    for (const SourceEntry& entry : sourceEntries(kAuDirectionOutput))
        names.append(entry.name);
    return names;
}

QStringList ZuDevice::usableJapanRecordSourceNames() const {
    QStringList names;
    for (const QString& name : usableRecordSourceNames())
        names.append(convertJapanRecordSourceName(name));
    return names;
}

QStringList ZuDevice::usableJapanPlaySourceNames() const {
    QStringList names;
    for (const QString& name : usablePlaySourceNames())
        names.append(convertJapanPlaySourceName(name));
    return names;
}

int32_t ZuDevice::recordSourceCount() const {
    return int32_t(sourceEntries(kAuDirectionInput).size());
}

int32_t ZuDevice::playSourceCount() const {
    return int32_t(sourceEntries(kAuDirectionOutput).size());
}

QString ZuDevice::sourceNameOfRecordSource(int32_t number) const {
    return sourceName(kAuDirectionInput, number);
}

QString ZuDevice::sourceNameOfPlaySource(int32_t number) const {
    return sourceName(kAuDirectionOutput, number);
}

QString ZuDevice::japanSourceNameOfRecordSource(int32_t number) const {
    return convertJapanRecordSourceName(sourceNameOfRecordSource(number));
}

int32_t ZuDevice::deviceNumberOfRecordSource(int32_t number) const {
    return deviceNumber(kAuDirectionInput, number);
}

int32_t ZuDevice::deviceNumberOfPlaySource(int32_t number) const {
    return deviceNumber(kAuDirectionOutput, number);
}

std::unique_ptr<AuDevice> ZuDevice::recordDeviceWithSource(int32_t number) const {
    std::vector<std::unique_ptr<AuDevice>> devices = AuDevice::allDevices();
    const size_t index = size_t(deviceNumberOfRecordSource(number));
    if (index >= devices.size())
        return nullptr;
    return std::move(devices[index]);
}

QString ZuDevice::presentRecordSourceName() const {
    return sourceNameOfRecordSource(recordSourceNumber);
}

QString ZuDevice::presentJapanRecordSourceName() const {
    return convertJapanRecordSourceName(presentRecordSourceName());
}

bool ZuDevice::isPresentInternalRecord() const {
    return presentRecordSourceName() == internalMicrophone;
}

bool ZuDevice::isPresentExternalRecord() const {
    const QString name = presentRecordSourceName();
    return name == lineIn || name == externalLineIn;
}

bool ZuDevice::isPresentDigitalRecord() const {
    return presentRecordSourceName() == digitalIn;
}

bool ZuDevice::isPresentInternalPlay() const {
    return sourceNameOfPlaySource(playSourceNumber) == internalSpeakers;
}

bool ZuDevice::isPresentInternalMonitor() const {
    return sourceNameOfPlaySource(monitorSourceNumber) == internalSpeakers;
}

// Rates and sizes.

double ZuDevice::sampleRateOfDevice(const AuDevice& device) const {
    double last = 0.0;
    for (const auto& range : device.nominalSampleRates()) {
        for (double rate : range) {
            if (!highQuality && rate >= 44100.0)
                return rate;
            last = rate;
        }
    }
    return last;
}

double ZuDevice::sampleRateWithNominal(double rate, int32_t quality) {
    if (quality == 0)
        return rate * 0.25;
    if (quality == 1)
        return rate * 0.5;
    return rate;
}

double ZuDevice::recordSampleRateWithSource(int32_t number) const {
    const std::unique_ptr<AuDevice> device = recordDeviceWithSource(number);
    return device ? sampleRateOfDevice(*device) : 0.0;
}

double ZuDevice::recordSampleRateWithSource(int32_t number, int32_t quality) const {
    return sampleRateWithNominal(recordSampleRateWithSource(number), quality);
}

int32_t ZuDevice::bufferSizeOfDevice(const AuDevice& device) {
    const uint32_t minimum = device.deviceMinBufferSizeInFrames();
    const uint32_t maximum = device.deviceMaxBufferSizeInFrames();
    if (maximum >= 512 && minimum <= 512)
        return 512;
    if (maximum > 512)
        return int32_t(minimum);
    // A range the device cannot tell reads as 0; a buffer of 0 frames would
    // stall the role, so the size the device runs with is kept.
    if (maximum == 0)
        return int32_t(device.deviceBufferSizeInFrames());
    return int32_t(maximum);
}

int32_t ZuDevice::channelsOfRecordDevice(const AuDevice& device) {
    return int32_t(device.channelsForDirection(kAuDirectionInput));
}

int32_t ZuDevice::channelsOfPlayDevice(const AuDevice& device) {
    return int32_t(device.channelsForDirection(kAuDirectionOutput));
}

// Alerts.

void ZuDevice::noRecordDeviceAlert() {
    ZuAlerts::run(ZuAlert(QStringLiteral("NoRecordSource"), QStringLiteral("RecheckDevice"),
                          QStringLiteral("Understand")));
    ZuLogEvent::error(QStringLiteral("ZuRecorder: no sound data input device."));
    startError = true;
}

void ZuDevice::noPlayDeviceAlert() {
    ZuAlerts::run(ZuAlert(QStringLiteral("NoPlaybackSource"), QStringLiteral("UnablePlayback"),
                          QStringLiteral("Understand")));
    ZuLogEvent::error(QStringLiteral("ZuRecorder: no sound data output device."));
}
