// Source numbering, represented and display names, and the rate and buffer
// size a role chooses for a device.
#include "AuTestHardware.h"
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuLocalized.h"

namespace {

class ZuDeviceSourcesTest : public AuHardwareFixture {
protected:
    static AuVirtualDeviceConfig withSources(AuVirtualDeviceConfig config, uint32_t direction,
                                             const QStringList& sources) {
        config.info.dataSources[direction] = sources;
        return config;
    }
    static AuVirtualDeviceConfig withRates(AuVirtualDeviceConfig config,
                                           std::vector<AuValueRange> rates) {
        config.info.sampleRates = std::move(rates);
        return config;
    }
    static AuVirtualDeviceConfig withBufferRange(AuVirtualDeviceConfig config, double minimum,
                                                 double maximum) {
        config.info.bufferFrameRange = {minimum, maximum};
        config.info.bufferFrames = uint32_t(minimum);
        return config;
    }
    std::unique_ptr<AuDevice> only() {
        auto devices = AuDevice::allDevices();
        return devices.empty() ? nullptr : std::move(devices.front());
    }

    ZuDevice devicer;
};

} // namespace

TEST_F(ZuDeviceSourcesTest, RecordSourcesNumberDevicesWithoutSourcesByNameAndOthersBySource) {
    install({device("A Input", "a", 2, 0),
             withSources(device("B Built-in", "b", 2, 2), kAuDirectionInput,
                         {"Internal microphone", "Line In"}),
             device("C Output", "c", 0, 2)});
    EXPECT_EQ(devicer.usableRecordSourceNames(),
              QStringList({"A Input", "Internal microphone", "Line In"}));
    EXPECT_EQ(devicer.recordSourceCount(), 3);
    EXPECT_EQ(devicer.sourceNameOfRecordSource(2), "Line In");
    EXPECT_EQ(devicer.deviceNumberOfRecordSource(0), 0);
    EXPECT_EQ(devicer.deviceNumberOfRecordSource(1), 1);
    EXPECT_EQ(devicer.deviceNumberOfRecordSource(2), 1);
    EXPECT_EQ(devicer.recordDeviceWithSource(2)->deviceName(), "B Built-in");
    // Out of range: no name, and the first device.
    EXPECT_EQ(devicer.sourceNameOfRecordSource(3), QString());
    EXPECT_EQ(devicer.sourceNameOfRecordSource(-1), QString());
    EXPECT_EQ(devicer.deviceNumberOfRecordSource(3), 0);
    // Playback counts only the devices with outputs; B has no output sources.
    EXPECT_EQ(devicer.usablePlaySourceNames(), QStringList({"B Built-in", "C Output"}));
    EXPECT_EQ(devicer.deviceNumberOfPlaySource(1), 2);
    EXPECT_EQ(devicer.sourceNameOfPlaySource(2), QString());
}

TEST_F(ZuDeviceSourcesTest, LineInputNamesMergeIntoOneLineInEntry) {
    EXPECT_EQ(ZuDevice::representRecordName(
                  {"Internal microphone", "Sound Input", "External microphone/Line In"}),
              QStringList({"Internal microphone", "Line In"}));
    EXPECT_EQ(ZuDevice::representRecordName({"Line In", "Digital In", "Sound Input"}),
              QStringList({"Line In", "Digital In"}));
    EXPECT_EQ(ZuDevice::representPlayName({"Headphones", "Digital Out", "Internal speakers"}),
              QStringList({"Internal speakers", "Digital Out"}));
    install({withSources(device("B Built-in", "b", 2, 2), kAuDirectionOutput,
                         {"Internal speakers", "Headphones"})});
    EXPECT_EQ(devicer.usablePlaySourceNames(), QStringList({"Internal speakers"}));
}

TEST_F(ZuDeviceSourcesTest, DisplayNamesReplaceTheKnownSourcesOnly) {
    EXPECT_EQ(ZuDevice::convertJapanRecordSourceName("Internal microphone"),
              ZuLocalized::text("InternalSource"));
    EXPECT_EQ(ZuDevice::convertJapanRecordSourceName("Line In"),
              ZuLocalized::text("ExternalSource"));
    EXPECT_EQ(ZuDevice::convertJapanRecordSourceName("Digital In"),
              ZuLocalized::text("DigitalSource"));
    EXPECT_NE(ZuLocalized::text("InternalSource"), "InternalSource");
    EXPECT_EQ(ZuDevice::convertJapanRecordSourceName("USB Mic"), "USB Mic");
    EXPECT_EQ(ZuDevice::convertJapanRecordSourceName("Internal speakers"), "Internal speakers");
    EXPECT_EQ(ZuDevice::convertJapanPlaySourceName("Internal speakers"),
              ZuLocalized::text("InternalOutput"));
    EXPECT_EQ(ZuDevice::convertJapanPlaySourceName("Line In"), "Line In");

    install({withSources(device("B Built-in", "b", 2, 2), kAuDirectionInput,
                         {"Internal microphone", "USB Mic"})});
    EXPECT_EQ(devicer.usableJapanRecordSourceNames(),
              QStringList({ZuLocalized::text("InternalSource"), "USB Mic"}));
    EXPECT_EQ(devicer.japanSourceNameOfRecordSource(0), ZuLocalized::text("InternalSource"));
    EXPECT_EQ(devicer.usableJapanPlaySourceNames(), QStringList({"B Built-in"}));
}

TEST_F(ZuDeviceSourcesTest, CheckedSourcesFallBackToTheFirstAndToNoneWithoutDevices) {
    install({withSources(device("B Built-in", "b", 2, 0), kAuDirectionInput,
                         {"Internal microphone", "Line In", "Digital In"})});
    EXPECT_EQ(devicer.checkRecordSource(2), 2);
    EXPECT_EQ(devicer.checkRecordSource(5), 0);
    EXPECT_EQ(devicer.checkRecordSource(3), 0);
    // A stored "none" is as out of range as any other number once sources exist.
    EXPECT_EQ(devicer.checkRecordSource(-1), 0);
    EXPECT_EQ(devicer.checkPlaySource(0), -1);
    EXPECT_EQ(devicer.checkPlaySource(-1), -1);
}

TEST_F(ZuDeviceSourcesTest, RateIsTheFirstFromCdRateUpOrTheLastWithHighQuality) {
    install({withRates(device("A", "a"), {{8000, 8000}, {44100, 44100}, {96000, 96000}})});
    EXPECT_EQ(devicer.sampleRateOfDevice(*only()), 44100.0);
    EXPECT_EQ(devicer.recordSampleRateWithSource(0), 44100.0);
    devicer.setUseHighQuality(true);
    EXPECT_EQ(devicer.sampleRateOfDevice(*only()), 96000.0);
    EXPECT_EQ(devicer.recordSampleRateWithSource(0, 1), 48000.0);
}

TEST_F(ZuDeviceSourcesTest, RateWalksEachRangeMinimumThenMaximum) {
    const struct {
        std::vector<AuValueRange> rates;
        double expected;
    } cases[] = {
        {{{22050, 48000}}, 48000.0},
        {{{44100, 96000}}, 44100.0},
        {{{8000, 8000}, {22050, 32000}}, 32000.0},
        {{}, 0.0},
    };
    for (const auto& c : cases) {
        install({withRates(device("A", "a"), c.rates)});
        EXPECT_EQ(devicer.sampleRateOfDevice(*only()), c.expected);
    }
}

TEST_F(ZuDeviceSourcesTest, RecordingRatesAreAQuarterAHalfOrTheWholeRate) {
    EXPECT_EQ(ZuDevice::sampleRateWithNominal(44100.0, 0), 11025.0);
    EXPECT_EQ(ZuDevice::sampleRateWithNominal(44100.0, 1), 22050.0);
    EXPECT_EQ(ZuDevice::sampleRateWithNominal(44100.0, 2), 44100.0);
    EXPECT_EQ(ZuDevice::sampleRateWithNominal(44100.0, 7), 44100.0);
}

TEST_F(ZuDeviceSourcesTest, BufferSizeIs512WhenTheRangeHoldsItElseTheNearestEnd) {
    const struct {
        double minimum, maximum;
        int32_t expected;
    } cases[] = {{14, 4096, 512}, {512, 512, 512}, {1024, 8192, 1024}, {64, 256, 256}};
    for (const auto& c : cases) {
        install({withBufferRange(device("A", "a"), c.minimum, c.maximum)});
        EXPECT_EQ(ZuDevice::bufferSizeOfDevice(*only()), c.expected) << c.minimum;
    }
}
