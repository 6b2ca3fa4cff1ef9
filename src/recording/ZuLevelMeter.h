#pragma once

#include "audio/ZuLevelDeviceClient.h"
#include "platform/ZuControl.h"
#include "platform/ZuTimer.h"
#include "recording/ZuSilenceAlarm.h"

#include <array>
#include <atomic>
#include <cstdint>

class ZuControler;

// The LED level meter of the recorder tab, and the recorder's clock for level
// decisions: every 0.05 second it turns the latest input snapshot into a level
// on a 0 to 20 scale and hands over to the recorder's level tick. The tick
// runs only while a window shows the meter or the level-triggered mode needs
// it; the sampling callback keeps the snapshot current either way.
class ZuLevelMeter : public ZuLevelDeviceClient {
public:
    static constexpr int ledCount = 20;
    // LEDs from this index up are red.
    static constexpr int firstRedLed = 17;
    static constexpr uint32_t snapshotCapacity = 1024;
    static constexpr double tickSeconds = 0.05;

    static void initialize();

    ZuLevelMeter();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();

    // Clears the column and restarts the 0.05-second tick when it is needed.
    void initLEDDisplay();
    // Whether a window shows the meter.
    void setDisplayed(bool value);
    // Starts or stops the tick as the window and the recorder need it.
    void renewTicking();
    bool isTicking() const { return timer.isValid(); }
    // Redraws every LED without changing the state.
    void renewLEDDisplay();

    // The level device's IO method: samples the input's first buffer.
    AuStatus levelInputIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                   const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                   AuBufferList* outputData, const AuTimeStamp* outputTime,
                                   void* clientData) override;
    void willSetLevelIOTarget(AuDevice* device) override;

    // Audio thread, once per IO cycle: one cycle in eight keeps a snapshot of
    // the input's first buffer (interleaved floats).
    void sampleInput(const float* samples, uint32_t count);

    // The tick: re-arms the timer, then levelAnalyzer.
    void execLevelMeter();
    void levelAnalyzer();
    void dispLevel(int32_t level);

    int32_t level() const { return currentLevel; }
    double peekHoldTime() const { return holdTime; }
    void setPeekHoldTime(double seconds) { holdTime = seconds; }
    int32_t litLeds() const { return lastNum; }
    int32_t peakLed() const { return maxNum; }

    // The LED views, index 0 at the bottom; each shows one image by name.
    std::array<ZuControl, ledCount> leds;

    ZuSilenceAlarm& silenceAlarm() { return silence; }
    // Starts or stops the silence alarm's once-a-second check as its settings ask.
    void renewSilenceWatch();
    // The loudest absolute sample of the snapshots taken since the last call.
    float takeInputPeak() { return inputPeak.exchange(0.0f, std::memory_order_relaxed); }

private:
    void showLed(int index, bool on);
    int32_t snapshotLevel() const;

    void checkSilence();

    ZuControler* controler = nullptr;
    ZuTimer timer;
    ZuSilenceAlarm silence;
    ZuTimer silenceTimer;
    std::atomic<float> inputPeak{0.0f};
    std::atomic<int32_t> counter{0};
    // Written by the audio thread, read by the tick: a tick may see a partly
    // replaced snapshot, which only disturbs one displayed value.
    std::array<std::atomic<float>, snapshotCapacity> buffer{};
    std::atomic<uint32_t> frames{0};
    int32_t lastNum = 0;
    int32_t maxNum = 0;
    int32_t maxCount = 0;
    int32_t currentLevel = 0;
    double holdTime = 1.0;
    bool displayed = false;
};
