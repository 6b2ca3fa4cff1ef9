#include "recording/ZuLevelMeter.h"
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuClock.h"
#include "platform/hal/virtual/AuVirtualHardware.h"

#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace {

// A meter on the manual clock, fed one sampled IO cycle at a time.
struct LevelMeterTest : testing::Test {
    void SetUp() override {
        ZuClock::useManual(QDateTime(QDate(2026, 12, 8), QTime(2, 0)));
        meter.setDisplayed(true);
        meter.awakeFromNib();
    }

    // Feeds eight cycles of a constant input, so that exactly one is sampled.
    void feed(float value, uint32_t count = 1024) {
        const std::vector<float> samples(count, value);
        for (int i = 0; i < 8; ++i)
            meter.sampleInput(samples.data(), count);
    }
    void ticks(int n) { ZuClock::advance(n * ZuLevelMeter::tickSeconds); }

    int litCount() const {
        int lit = 0;
        for (const ZuControl& led : meter.leds)
            lit += led.imageName().endsWith("On.tif") ? 1 : 0;
        return lit;
    }

    ZuLevelMeter meter;
};

} // namespace

TEST_F(LevelMeterTest, LevelsFollowTheLogarithmicScale) {
    const struct {
        float sample;
        int level;
    } cases[] = {{0.0f, 0}, {0.01f, 3}, {0.1f, 10}, {1.0f, 20}, {2.0f, 23}, {-0.9f, 0}};
    for (const auto& c : cases) {
        feed(c.sample);
        meter.levelAnalyzer();
        EXPECT_EQ(meter.level(), c.level) << c.sample;
    }
}

TEST_F(LevelMeterTest, NonFiniteSamplesAreSkipped) {
    std::vector<float> samples(1024, 0.0f);
    samples[0] = std::numeric_limits<float>::infinity();
    samples[8] = std::numeric_limits<float>::quiet_NaN();
    samples[16] = 0.1f;
    for (int i = 0; i < 8; ++i)
        meter.sampleInput(samples.data(), 1024);
    meter.levelAnalyzer();
    EXPECT_EQ(meter.level(), 10);
}

TEST_F(LevelMeterTest, OnlyOneCycleInEightIsSampledAndOnlyEveryEighthFloatExamined) {
    std::vector<float> loud(1024, 0.0f);
    loud[3] = 1.0f; // never examined
    loud[16] = 0.1f;
    for (int i = 0; i < 7; ++i)
        meter.sampleInput(loud.data(), 1024);
    meter.levelAnalyzer();
    EXPECT_EQ(meter.level(), 0);
    meter.sampleInput(loud.data(), 1024);
    meter.levelAnalyzer();
    EXPECT_EQ(meter.level(), 10);
}

TEST_F(LevelMeterTest, TheSnapshotHoldsAtMost1024Floats) {
    std::vector<float> big(4096, 0.0f);
    big[2048] = 1.0f;
    for (int i = 0; i < 8; ++i)
        meter.sampleInput(big.data(), 4096);
    meter.levelAnalyzer();
    EXPECT_EQ(meter.level(), 0);
}

TEST_F(LevelMeterTest, AFullScaleInputClimbsOneLedPerTickWithRedAtTheTop) {
    feed(1.0f);
    ticks(1);
    EXPECT_EQ(meter.litLeds(), 1);
    ticks(16);
    EXPECT_EQ(meter.litLeds(), 17);
    EXPECT_EQ(meter.leds[16].imageName(), "LevelGreenOn.tif");
    EXPECT_EQ(meter.leds[17].imageName(), "LevelRedOff.tif");
    ticks(3);
    EXPECT_EQ(meter.litLeds(), 20);
    EXPECT_EQ(litCount(), 20);
    EXPECT_EQ(meter.leds[17].imageName(), "LevelRedOn.tif");
    EXPECT_EQ(meter.leds[19].imageName(), "LevelRedOn.tif");
    // Beyond full scale still shows twenty.
    feed(2.0f);
    ticks(5);
    EXPECT_EQ(meter.level(), 23);
    EXPECT_EQ(litCount(), 20);
}

TEST_F(LevelMeterTest, ThePeakIsHeldForTheHoldTimeThenDropsToTheColumn) {
    feed(0.1f); // level 10
    ticks(10);
    ASSERT_EQ(meter.litLeds(), 10);
    feed(0.0f);
    ticks(10);
    EXPECT_EQ(meter.litLeds(), 0);
    EXPECT_EQ(meter.peakLed(), 10);
    EXPECT_EQ(meter.leds[9].imageName(), "LevelGreenOn.tif");
    EXPECT_EQ(litCount(), 1);
    // Held 20 ticks after the level began to fall, then gone.
    ticks(9);
    EXPECT_EQ(meter.peakLed(), 10);
    ticks(1);
    EXPECT_EQ(meter.peakLed(), 0);
    EXPECT_EQ(litCount(), 0);
}

TEST_F(LevelMeterTest, SilenceClearsTheColumnWithinTwentyTicks) {
    feed(1.0f);
    ticks(20);
    feed(0.0f);
    ticks(20);
    EXPECT_EQ(meter.level(), 0);
    EXPECT_EQ(meter.litLeds(), 0);
    ticks(20);
    EXPECT_EQ(litCount(), 0);
}

// The level device of a real device manager on a stepped virtual input.
TEST_F(LevelMeterTest, ARecordSourceThatGoesLeavesSilenceNotItsLastLevel) {
    AuVirtualDeviceConfig microphone = AuVirtualDeviceConfig::standard("Mic", "mic", 1, 0);
    microphone.input = *AuVirtualInput::parse("tone:1000:0.5");
    auto backend = std::make_unique<AuVirtualHardware>(std::vector{microphone},
                                                       AuVirtualHardware::Pacing::Stepped);
    AuVirtualHardware& hardware = *backend;
    std::unique_ptr<AuHardware> previous = AuHardware::install(std::move(backend));
    {
        ZuDevice devicer;
        devicer.setClients(nullptr, &meter, nullptr);
        devicer.awakeFromNib();
        devicer.recordDeviceStart();
        const AuObjectID id = devicer.levelDevice()->deviceID();
        hardware.step(id, 8);
        ticks(20);
        ASSERT_GT(meter.level(), 10);
        ASSERT_GT(litCount(), 10);

        hardware.unplugDevice(id);
        devicer.setRecordSource(0);
        ASSERT_EQ(devicer.levelDevice(), nullptr);
        ticks(40);
        EXPECT_EQ(meter.level(), 0);
        EXPECT_EQ(litCount(), 0);
    }
    AuHardware::install(std::move(previous));
}

TEST_F(LevelMeterTest, InitClearsTheDisplay) {
    feed(1.0f);
    ticks(5);
    meter.initLEDDisplay();
    EXPECT_EQ(litCount(), 0);
    EXPECT_EQ(meter.level(), 0);
    EXPECT_EQ(meter.leds[0].imageName(), "LevelGreenOff.tif");
    EXPECT_EQ(meter.leds[19].imageName(), "LevelRedOff.tif");
}

TEST_F(LevelMeterTest, WithoutAWindowTheTickRestsAndALevelReadAtItsReturnIsCurrent) {
    meter.setDisplayed(false);
    EXPECT_FALSE(meter.isTicking());
    feed(0.1f);
    ticks(20);
    EXPECT_EQ(meter.level(), 0);
    EXPECT_EQ(meter.litLeds(), 0);
    meter.setDisplayed(true);
    EXPECT_TRUE(meter.isTicking());
    EXPECT_EQ(meter.level(), 10);
    ticks(1);
    EXPECT_EQ(meter.litLeds(), 1);
}
