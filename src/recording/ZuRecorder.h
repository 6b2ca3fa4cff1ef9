#pragma once

#include "platform/ZuControl.h"

#include <QString>
#include <cstdint>

class ZuControler;
class ZuMechanic;

// The recording engine: the switches, the record mode and the recording
// settings. Its controls are the recorder tab's.
class ZuRecorder {
public:
    static void initialize();

    ZuRecorder();
    void setControler(ZuControler* owner);

    void awakeFromNib();
    void saveUserDefaults();
    // Sets the buttons and the slider from the switches saved at the last quit.
    void initControlState();
    void setControlState() { initControlState(); }
    void mainTabSelected() {}
    void mainTabUnselected() {}
    // Re-applies the record or reservation switch restored from the settings.
    void reviveRecordCondition();
    // Switches recording (or reservations) on at launch when both are off.
    void autoRecordStart();
    void autoReserveStart();

    void actRecordButton(ZuControl& sender);
    void actReserveButton(ZuControl& sender);
    void recordON();
    void recordOFF();
    // Switches recording and reservations off without the administrator check.
    void emerRecordStop();

    // The recording rate: the record device's rate times a quarter, a half or
    // the whole for the rate number.
    double recordSampleRate() const;
    double sampleRate(int32_t number) const;
    static QString headerString() { return QStringLiteral("_Nightwarden_"); }
    static QString fileExtension() { return QStringLiteral("aif"); }

    int32_t recordMode() const { return mode; }
    void setRecordMode(int32_t value);
    int32_t autoLevel() const { return level; }
    void setAutoLevel(int32_t value) { level = value; }
    int32_t rateNumber() const { return rate; }
    void setRateNumber(int32_t value) { rate = value; }
    int32_t channels() const { return channelCount; }
    void setChannels(int32_t value) { channelCount = value; }
    int32_t delayTime() const { return delay; }
    void setDelayTime(int32_t value) { delay = value; }
    bool startOnTheHour() const { return onTheHour; }
    void setStartOnTheHour(bool value) { onTheHour = value; }
    bool sliderAlways() const { return sliderAlwaysEnable; }
    void setSliderAlways(bool value) { sliderAlwaysEnable = value; }
    bool hideSoundFile() const { return hideFile; }
    void setHideSoundFile(bool value) { hideFile = value; }
    int32_t preBufferSec() const { return preBuffer; }
    void setPreBufferSec(int32_t value) { preBuffer = value; }
    QString markerSound() const { return markerName; }
    void setMarkerSound(const QString& value) { markerName = value; }
    bool markerSwitch() const { return marker; }
    int32_t markerOption() const { return markerPeriod; }
    void setMarkerOption(int32_t value) { markerPeriod = value; }
    bool markerMonitor() const { return markerHeard; }
    void setMarkerMonitor(bool value) { markerHeard = value; }
    bool dispTotalTime() const { return showTotal; }
    void setDispTotalTime(bool value) { showTotal = value; }
    bool autoStartup() const { return startAtLaunch; }
    void setAutoStartup(bool value) { startAtLaunch = value; }
    bool recordState() const { return armed; }

    ZuControl recordButton{"recordButton"};
    ZuControl monitorButton{"monitorButton"};
    ZuControl reserveButton{"reserveButton"};
    ZuControl hourButton{"hourButton"};
    ZuControl markerButton{"markerButton"};
    ZuControl preferButton{"preferButton"};
    ZuControl levelSlider{"levelSlider"};
    ZuControl modeText{"modeText"};
    ZuControl conditionText{"conditionText"};
    ZuControl channelsText{"channelsText"};
    ZuControl samplingText{"samplingText"};
    ZuControl recordTimeText{"recordTimeText"};
    ZuControl recordTimeInfoText{"recordTimeInfoText"};
    ZuControl reserveNameText{"reserveNameText"};
    ZuControl timeInfoText{"timeInfoText"};
    ZuControl reserveTimeText{"reserveTimeText"};

private:
    bool administratorRefuses() const;

    ZuControler* controler = nullptr;
    ZuMechanic* mechanic = nullptr;
    bool armed = false;
    bool emergency = false;
    int32_t actionMethod = 0;
    int32_t mode = 0;
    int32_t level = 0;
    int32_t rate = 1;
    int32_t channelCount = 1;
    int32_t delay = 5;
    bool onTheHour = true;
    bool sliderAlwaysEnable = false;
    bool hideFile = false;
    int32_t preBuffer = 3;
    QString markerName;
    bool marker = false;
    int32_t markerPeriod = 0;
    bool markerHeard = false;
    bool showTotal = false;
    bool startAtLaunch = false;
};
