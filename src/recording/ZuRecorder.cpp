#include "recording/ZuRecorder.h"

#include "audio/ZuDevice.h"
#include "platform/ZuSettings.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"

#include <mutex>

namespace {
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
    reserveButton.setAction([this](ZuControl& sender) { actReserveButton(sender); });
}

void ZuRecorder::setControler(ZuControler* owner) {
    controler = owner;
    mechanic = owner ? owner->mechanic() : nullptr;
}

void ZuRecorder::awakeFromNib() {
    armed = false;
    emergency = false;
    mode = static_cast<int32_t>(store().integerForKey("RecordMode"));
    level = static_cast<int32_t>(store().integerForKey("AutoStartLevel"));
    rate = static_cast<int32_t>(store().floatForKey("SamplingRateNumber"));
    channelCount = static_cast<int32_t>(store().integerForKey("ChannelsNumber"));
    delay = static_cast<int32_t>(store().integerForKey("AutoStopDelayTime"));
    onTheHour = store().boolForKey("StartOnTheHour");
    sliderAlwaysEnable = store().boolForKey("SliderAlwaysEnable");
    hideFile = store().boolForKey("HideSoundFileFlag");
    preBuffer = static_cast<int32_t>(store().integerForKey("PreBufferingSeconds"));
    markerName = store().stringForKey("MarkerSoundName");
    marker = store().boolForKey("MarkerSoundSwitch");
    markerPeriod = static_cast<int32_t>(store().integerForKey("MarkerSoundOption"));
    markerHeard = store().boolForKey("MarkerSoundMonitor");
    showTotal = store().boolForKey("DisplayTotalTime");
    startAtLaunch = store().boolForKey("AutoRecordStartup");
    setRecordMode(mode);
    initControlState();
}

void ZuRecorder::saveUserDefaults() {
    store().setInteger(mode, "RecordMode");
    store().setInteger(level, "AutoStartLevel");
    store().setInteger(monitorButton.state(), "MonitorSwitch");
    store().setInteger(rate, "SamplingRateNumber");
    store().setInteger(channelCount, "ChannelsNumber");
    store().setFloat(static_cast<float>(delay), "AutoStopDelayTime");
    store().setBool(sliderAlwaysEnable, "SliderAlwaysEnable");
    store().setBool(hideFile, "HideSoundFileFlag");
    store().setInteger(preBuffer, "PreBufferingSeconds");
    store().setInteger(markerPeriod, "MarkerSoundOption");
    store().setString(markerName, "MarkerSoundName");
    store().setBool(markerHeard, "MarkerSoundMonitor");
    store().setBool(showTotal, "DisplayTotalTime");
    store().setBool(startAtLaunch, "AutoRecordStartup");
    store().synchronize();
}

void ZuRecorder::initControlState() {
    recordButton.setState(store().boolForKey("RecordSwitch") ? 1 : 0);
    monitorButton.setState(static_cast<int>(store().integerForKey("MonitorSwitch")));
    setRecordMode(mode);
    levelSlider.setValue(level);
    hourButton.setState(onTheHour ? 1 : 0);
    markerButton.setState(marker ? 1 : 0);
    reserveButton.setState(store().boolForKey("ReserveSwitch") ? 1 : 0);
}

void ZuRecorder::setRecordMode(int32_t value) {
    mode = value;
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

bool ZuRecorder::administratorRefuses() const {
    return controler && controler->authorization() && ZuAuthorization() != 0;
}

void ZuRecorder::actRecordButton(ZuControl& sender) {
    actionMethod = emergency ? 4 : 0;
    store().setBool(sender.state() != 0, "RecordSwitch");
    store().synchronize();
    if (sender.state() != 0) {
        reserveButton.setEnabled(false);
        recordON();
        return;
    }
    if (!emergency && administratorRefuses()) {
        sender.setState(1);
        store().setBool(true, "RecordSwitch");
        store().synchronize();
        return;
    }
    reserveButton.setEnabled(true);
    recordOFF();
}

void ZuRecorder::actReserveButton(ZuControl& sender) {
    store().setBool(sender.state() != 0, "ReserveSwitch");
    store().synchronize();
    recordButton.setEnabled(sender.state() == 0);
}

void ZuRecorder::emerRecordStop() {
    emergency = true;
    recordButton.setState(0);
    actRecordButton(recordButton);
    reserveButton.setState(0);
    actReserveButton(reserveButton);
    emergency = false;
}

void ZuRecorder::recordON() {
    armed = true;
}

void ZuRecorder::recordOFF() {
    armed = false;
}

double ZuRecorder::sampleRate(int32_t number) const {
    static constexpr double factors[] = {0.25, 0.5, 1.0};
    if (!controler || !controler->devicer() || number < 0 || number > 2)
        return 0.0;
    return controler->devicer()->recordSampleRate() * factors[number];
}

double ZuRecorder::recordSampleRate() const {
    return sampleRate(rate);
}
