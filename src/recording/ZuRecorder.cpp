#include "recording/ZuRecorder.h"

#include "audio/ZuDevice.h"
#include "platform/ZuClock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuSettings.h"
#include "platform/ZuTimer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuDeviceReturn.h"
#include "recording/ZuLevelMeter.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuQueBuffer.h"
#include "recording/ZuSleepWatch.h"
#include "shell/ZuControler.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {
// The write path makes mono or stereo only; any other stored count would
// describe the data wrongly in the file's header.
int32_t validChannels(int64_t value) {
    return value == 1 ? 1 : 2;
}

ZuSettings& store() {
    return ZuSettings::standard();
}
} // namespace

void ZuRecorder::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({
            {"RecordMode", 0},
            {"AutoStartLevel", 0},
            {"MonitorSwitch", false},
            {"RecordSwitch", false},
            {"ReserveSwitch", false},
            {"SamplingRateNumber", 1},
            {"ChannelsNumber", 1},
            {"AutoStopDelayTime", 5.0f},
            {"StartOnTheHour", true},
            {"SliderAlwaysEnable", false},
            {"HideSoundFileFlag", false},
            {"PreBufferingSeconds", 3},
            {"MarkerSoundSwitch", false},
            {"MarkerSoundOption", 0},
            {"MarkerSoundName", QString()},
            {"MarkerSoundMonitor", false},
            {"WriteStartTempFile", QString()},
            {"DisplayTotalTime", false},
            {"AutoRecordStartup", false},
        });
    });
}

ZuRecorder::ZuRecorder() {
    initialize();
    levelSlider.setRange(0, 20);
    recordButton.setAction([this](ZuControl& sender) { actRecordButton(sender); });
    monitorButton.setAction([this](ZuControl& sender) { actMonitorButton(sender); });
    levelSlider.setAction([this](ZuControl& sender) { actLevelSlider(sender); });
    hourButton.setAction([this](ZuControl& sender) { actHourButton(sender); });
    timeMarkerObject = std::make_unique<ZuTimeMarker>(*this);
    reserveButton.setAction([this](ZuControl& sender) { actReserveButton(sender); });
}

ZuRecorder::~ZuRecorder() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
    endWriteThread();
}

void ZuRecorder::endWriteThread() {
    {
        // Under the nap's lock, so that a thread about to nap sees the flag.
        std::lock_guard guard(napLock);
        writeThreadFlag.store(false, std::memory_order_release);
    }
    napWake.notify_all();
    if (writer.joinable())
        writer.join();
}

void ZuRecorder::setControler(ZuControler* owner) {
    controler = owner;
    mechanic = owner ? owner->mechanic() : nullptr;
}

void ZuRecorder::awakeFromNib() {
    recordStateValue = false;
    conditionValue = 0;
    recordStartDateValue = QDateTime();
    recordStopDateValue = QDateTime();
    totalRecordTimeValue = 0.0;
    blinkCounter = 0;
    dispTimer.reset();
    emergency = false;
    sleepinDate = QDateTime();
    recordingString = ZuLocalized::text(QStringLiteral("Recording"));

    recordModeValue = static_cast<int32_t>(store().integerForKey("RecordMode"));
    autoLevelValue = static_cast<int32_t>(store().integerForKey("AutoStartLevel"));
    rateNumberValue = static_cast<int32_t>(store().floatForKey("SamplingRateNumber"));
    channelsValue = validChannels(store().integerForKey("ChannelsNumber"));
    delayTimeValue = static_cast<int32_t>(store().integerForKey("AutoStopDelayTime"));
    startOnTheHourValue = store().boolForKey("StartOnTheHour");
    sliderAlwaysValue = store().boolForKey("SliderAlwaysEnable");
    hideSoundFileValue = store().boolForKey("HideSoundFileFlag");
    preBufferSecValue = static_cast<int32_t>(store().integerForKey("PreBufferingSeconds"));
    setRecordMode(recordModeValue);
    timeMarkerObject->awakeFromNib();
    setDispTotalTime(store().boolForKey("DisplayTotalTime"));
    setAutoStartup(store().boolForKey("AutoRecordStartup"));
    initControlState();

    auto& center = ZuNotificationCenter::defaultCenter();
    center.removeObserver(this);
    center.addObserver(willSleepNotification, this,
                       [this](const ZuNotification&) { willSleepHandle(); });
    center.addObserver(didWakeNotification, this,
                       [this](const ZuNotification&) { didWakeHandle(); });
    ZuSleepWatch::start();
}

void ZuRecorder::saveUserDefaults() {
    store().setInteger(recordModeValue, "RecordMode");
    store().setInteger(autoLevelValue, "AutoStartLevel");
    store().setBool(monitorButton.state() != 0, "MonitorSwitch");
    store().setInteger(rateNumberValue, "SamplingRateNumber");
    store().setInteger(channelsValue, "ChannelsNumber");
    store().setFloat(static_cast<float>(delayTimeValue), "AutoStopDelayTime");
    store().setBool(sliderAlwaysValue, "SliderAlwaysEnable");
    store().setBool(hideSoundFileValue, "HideSoundFileFlag");
    store().setInteger(preBufferSecValue, "PreBufferingSeconds");
    store().setInteger(markerOption(), "MarkerSoundOption");
    store().setString(markerSound(), "MarkerSoundName");
    store().setBool(markerMonitor(), "MarkerSoundMonitor");
    store().setBool(dispTotalTimeValue, "DisplayTotalTime");
    store().setBool(autoStartupValue, "AutoRecordStartup");
    store().synchronize();
}

void ZuRecorder::initControlState() {
    recordButton.setState(store().boolForKey("RecordSwitch") ? 1 : 0);
    resetRecordButtonImage();
    monitorButton.setState(store().boolForKey("MonitorSwitch") ? 1 : 0);
    resetMonitorButtonImage();
    setRecordMode(recordModeValue);
    levelSlider.setValue(autoLevelValue);
    setChannels(channelsValue);
    setRateNumber(rateNumberValue);
    totalRecordTimeValue = 0.0;
    recordTimeText.setText(QString());
    hourButton.setState(startOnTheHourValue ? 1 : 0);
    markerButton.setState(markerSwitch() ? 1 : 0);
    reserveButton.setState(store().boolForKey("ReserveSwitch") ? 1 : 0);
    reserveNameText.setText(QString());
    reserveNameText.setToolTip(ZuLocalized::text(QStringLiteral("ReserveName")));
    timeInfoText.setText(ZuLocalized::text(QStringLiteral("ReserveStartTime")));
    reserveTimeText.setText(QString());
}

void ZuRecorder::reviveRecordCondition() {
    if (recordButton.state() != 0)
        actRecordButton(recordButton);
    else if (reserveButton.state() != 0)
        actReserveButton(reserveButton);
}

void ZuRecorder::autoRecordStart() {
    if (recordButton.state() != 0 || reserveButton.state() != 0)
        return;
    recordButton.setState(1);
    actRecordButton(recordButton);
}

void ZuRecorder::autoReserveStart() {
    if (recordButton.state() != 0 || reserveButton.state() != 0)
        return;
    reserveButton.setState(1);
    actReserveButton(reserveButton);
}

void ZuRecorder::recordSourceChanged() {
    protectHowling();
    resetRecordButtonImage();
    initMarkerBuffer();
    // The new device has not run yet. Its sound, perhaps at another rate,
    // does not fit the running file: that recording ends with what the old
    // device gave, and a new one goes on in the new source's format.
    if (conditionValue.load() == 1) {
        actionMethodValue = 1;
        stopRecording();
        initSoundQue();
        startRecording();
        return;
    }
    initSoundQue();
}

void ZuRecorder::monitorSourceChanged() {
    protectHowling();
    resetMonitorButtonImage();
    timeMarkerObject->monitorSourceChanged();
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (devicer && monitorButton.state() != 0)
        devicer->monitorDevicePaused(false);
}

void ZuRecorder::renewDispSampleRate() {
    setRateNumber(rateNumberValue);
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer)
        return;
    if (!deviceReturn)
        deviceReturn = std::make_unique<ZuDeviceReturn>(
            *devicer, [this](int32_t source) { return resumeRecordSource(source); });
    deviceReturn->remember();
}

void ZuRecorder::setRecordMode(int32_t value) {
    modeTimer = false;
    recordModeValue = value;
    dispRecordMode();
}

void ZuRecorder::setStartOnTheHour(bool value) {
    startOnTheHourValue = value;
    hourButton.setState(value ? 1 : 0);
}

void ZuRecorder::setSliderAlways(bool value) {
    sliderAlwaysValue = value;
    levelSlider.setEnabled(value);
}

void ZuRecorder::setRateNumber(int32_t value) {
    rateNumberValue = value;
    samplingText.setText(QString::number(sampleRate() / 1000.0));
}

void ZuRecorder::setChannels(int32_t value) {
    channelsValue = validChannels(value);
    channelsText.setText(channels(value));
}

QString ZuRecorder::channels(int32_t count) {
    return ZuLocalized::text(count == 1 ? QStringLiteral("ChannelMono")
                                        : QStringLiteral("ChannelStereo"));
}

void ZuRecorder::setDispTotalTime(bool value) {
    dispTotalTimeValue = value;
    recordTimeInfoText.setText(ZuLocalized::text(value ? QStringLiteral("TotalRecordTime")
                                                       : QStringLiteral("PresetRecordTime")));
}

double ZuRecorder::sampleRate(int32_t number) const {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer)
        return 0.0;
    return ZuDevice::sampleRateWithNominal(devicer->recordSampleRate(), number);
}

QDateTime ZuRecorder::recordStopDate() const {
    return sleepinDate.isValid() ? sleepinDate : recordStopDateValue;
}

int32_t ZuRecorder::actionMethod() const {
    return sleepinDate.isValid() ? 5 : actionMethodValue;
}

double ZuRecorder::maxRecordTime() const {
    return mechanic ? mechanic->maxRecordTime() : 0.0;
}

int32_t ZuRecorder::inputLevel() const {
    if (levelSource)
        return levelSource();
    ZuLevelMeter* meter = controler ? controler->meter() : nullptr;
    return meter ? meter->level() : 0;
}

double ZuRecorder::recordingRate() const {
    return recordingChannelsValue != 0 ? recordingRateValue : sampleRate();
}

int32_t ZuRecorder::recordingChannels() const {
    return recordingChannelsValue != 0 ? recordingChannelsValue : channelsValue;
}

double ZuRecorder::needPerSecond() const {
    return sampleRate() * channelsValue * 2.0;
}

double ZuRecorder::dataSize() const {
    return lastWriteValue + lastLostValue;
}

double ZuRecorder::maxFileSeconds() const {
    const double limit = maxRecordTime();
    const double perSecond = recordingRate() * recordingChannels() * 2.0;
    if (perSecond <= 0.0)
        return limit;
    // Room for the minute between two checks, the over-record carried at most
    // and a write batch.
    constexpr double margin = 60.0 + 60.0 + 10.0;
    const double capacity =
        double(ZuAudioFile::maxFileSize - ZuAudioFile::headerLength) / perSecond - margin;
    return std::min(limit, std::floor(capacity));
}
