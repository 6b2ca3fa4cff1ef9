#include "recording/ZuLevelMeter.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuSettings.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {
const QString greenOn = QStringLiteral("LevelGreenOn.tif");
const QString greenOff = QStringLiteral("LevelGreenOff.tif");
const QString redOn = QStringLiteral("LevelRedOn.tif");
const QString redOff = QStringLiteral("LevelRedOff.tif");
} // namespace

void ZuLevelMeter::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({{"PeekLevelHoldTime", 1.0}});
    });
    ZuSilenceAlarm::initialize();
}

ZuLevelMeter::ZuLevelMeter() {
    initialize();
}

void ZuLevelMeter::awakeFromNib() {
    holdTime = ZuSettings::standard().floatForKey("PeekLevelHoldTime");
    silence.awakeFromNib();
    initLEDDisplay();
    renewSilenceWatch();
}

void ZuLevelMeter::saveUserDefaults() {
    ZuSettings::standard().setFloat(static_cast<float>(holdTime), "PeekLevelHoldTime");
    ZuSettings::standard().synchronize();
}

void ZuLevelMeter::showLed(int index, bool on) {
    const bool red = index >= firstRedLed;
    leds[static_cast<size_t>(index)].setImageName(red ? (on ? redOn : redOff)
                                                      : (on ? greenOn : greenOff));
}

void ZuLevelMeter::initLEDDisplay() {
    timer.invalidate();
    lastNum = maxNum = maxCount = currentLevel = 0;
    counter = 0;
    // The last snapshot belongs to the device that went: until a new one
    // samples, the level is silence.
    frames.store(0, std::memory_order_release);
    for (int i = 0; i < ledCount; ++i)
        showLed(i, false);
    renewLEDDisplay();
    renewTicking();
}

void ZuLevelMeter::setDisplayed(bool value) {
    displayed = value;
    renewTicking();
    // Without a window the log book's report and its console line are the alarm.
    if (value)
        silence.setAlertSink([](const QString& text) {
            ZuAlert alert;
            alert.messageText = text;
            alert.defaultKey = QStringLiteral("Understand");
            ZuAlerts::show(alert);
        });
    else
        silence.setAlertSink({});
}

void ZuLevelMeter::renewSilenceWatch() {
    if (!silence.enabled()) {
        silenceTimer.invalidate();
        return;
    }
    if (!silenceTimer.isValid()) {
        takeInputPeak();
        silenceTimer.start(ZuSilenceAlarm::checkSeconds, true, [this] { checkSilence(); });
    }
}

void ZuLevelMeter::checkSilence() {
    ZuRecorder* recorder = controler ? controler->recorder() : nullptr;
    silence.check(takeInputPeak(), recorder && recorder->recordState(), ZuClock::now());
}

void ZuLevelMeter::renewTicking() {
    ZuRecorder* recorder = controler ? controler->recorder() : nullptr;
    const bool needed = displayed || (recorder && recorder->needsLevelTick());
    if (!needed) {
        timer.invalidate();
        return;
    }
    if (timer.isValid())
        return;
    // The level of an idle meter is stale: a decision taken before the first
    // tick sees the input as it is now.
    currentLevel = snapshotLevel();
    timer.start(tickSeconds, false, [this] { execLevelMeter(); });
}

void ZuLevelMeter::renewLEDDisplay() {
    for (ZuControl& led : leds)
        emit led.changed();
}

AuStatus ZuLevelMeter::levelInputIOForDevice(AuDevice*, const AuTimeStamp*,
                                             const AuBufferList* inputData, const AuTimeStamp*,
                                             AuBufferList*, const AuTimeStamp*, void*) {
    if (inputData && inputData->mNumberBuffers > 0 && inputData->mBuffers[0].mData)
        sampleInput(static_cast<const float*>(inputData->mBuffers[0].mData),
                    inputData->mBuffers[0].mDataByteSize / sizeof(float));
    return 0;
}

// Also told, with no device, when the level device goes without a successor.
void ZuLevelMeter::willSetLevelIOTarget(AuDevice*) {
    initLEDDisplay();
}

void ZuLevelMeter::sampleInput(const float* samples, uint32_t count) {
    int32_t cycle = counter.load(std::memory_order_relaxed) + 1;
    if (cycle <= 7) {
        counter.store(cycle, std::memory_order_relaxed);
        return;
    }
    counter.store(0, std::memory_order_relaxed);
    const uint32_t n = std::min(count, snapshotCapacity);
    float peak = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        buffer[i].store(samples[i], std::memory_order_relaxed);
        peak = std::max(peak, std::fabs(samples[i]));
    }
    frames.store(n, std::memory_order_release);
    // Only the silence check takes the peak, once a second: the loop ends at once.
    float held = inputPeak.load(std::memory_order_relaxed);
    while (peak > held && !inputPeak.compare_exchange_weak(held, peak, std::memory_order_relaxed)) {
    }
}

void ZuLevelMeter::execLevelMeter() {
    // A one-shot re-armed at each tick, so a slow tick never piles up.
    timer.start(tickSeconds, false, [this] { execLevelMeter(); });
    levelAnalyzer();
}

int32_t ZuLevelMeter::snapshotLevel() const {
    float m = 0.0f;
    const uint32_t n = frames.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < n / 8; ++i) {
        const float x = buffer[8 * i].load(std::memory_order_relaxed);
        // An infinite sample would make the level overflow its integer.
        if (std::isfinite(x) && x > m)
            m = x;
    }
    return static_cast<int32_t>(10.0 * std::log10(100.0 * m + 1.0));
}

void ZuLevelMeter::levelAnalyzer() {
    currentLevel = snapshotLevel();
    if (controler && controler->recorder())
        controler->recorder()->controlAutoDelay();
    dispLevel(currentLevel);
}

void ZuLevelMeter::dispLevel(int32_t level) {
    const int32_t t = std::min(level, ledCount);
    if (t > lastNum) {
        ++lastNum;
        showLed(lastNum - 1, true);
    } else if (t < lastNum) {
        showLed(lastNum - 1, false);
        --lastNum;
    }
    const auto holdTicks = static_cast<int32_t>(holdTime / tickSeconds);
    if (lastNum > maxNum) {
        maxNum = lastNum;
        maxCount = holdTicks;
    } else if (--maxCount <= 0) {
        if (maxNum > 0)
            showLed(maxNum - 1, false);
        maxNum = lastNum;
        if (t > 0)
            maxCount = holdTicks;
    }
    if (maxNum > 0)
        showLed(maxNum - 1, true);
}
