// The record, level, play and monitor roles built from a backend's devices:
// start-up, the source setters, pausing, the alerts of a missing device.
#include "AuTestHardware.h"
#include "ZuDeviceTestClients.h"
#include "audio/AuBufferList.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "support/NwConsoleCapture.h"

namespace {

class ZuDeviceRolesTest : public AuHardwareFixture {
protected:
    void SetUp() override {
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this, [this](const ZuNotification& n) {
                logEvents << n.object.toString() + ": " +
                                 n.userInfo.value(ZuLogEvent::messageKey).toString();
            });
    }
    void TearDown() override {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        AuHardwareFixture::TearDown();
    }

    static AuVirtualDeviceConfig withSources(AuVirtualDeviceConfig config, uint32_t direction,
                                             const QStringList& sources) {
        config.info.dataSources[direction] = sources;
        return config;
    }
    static void store(const QString& key, int64_t value) {
        ZuSettings::standard().setInteger(value, key);
    }
    QStringList alertKeys() const {
        QStringList keys;
        for (const ZuAlert& alert : answerer->modalAlerts)
            keys << alert.messageKey + "/" + alert.informativeKey + "/" + alert.defaultKey;
        return keys;
    }

    std::shared_ptr<ZuScriptedAnswerer> answerer;
    QStringList logEvents;
};

} // namespace

TEST_F(ZuDeviceRolesTest, StartUpBuildsEveryRoleWithItsRateSizeAndBuffers) {
    AuTestHardware& hardware = install({device("A Duplex", "a", 1, 2)});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();

    EXPECT_FALSE(devicer.awakeError());
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    ASSERT_TRUE(devicer.recordDevice() && devicer.levelDevice());
    EXPECT_EQ(devicer.levelDevice()->deviceID(), devicer.recordDevice()->deviceID());
    EXPECT_NE(devicer.levelDevice(), devicer.recordDevice());
    EXPECT_EQ(devicer.recordDevice()->delegate(),
              static_cast<AuDeviceDelegate*>(static_cast<ZuRecordDeviceClient*>(&clients)));
    EXPECT_EQ(devicer.levelDevice()->delegate(),
              static_cast<AuDeviceDelegate*>(static_cast<ZuLevelDeviceClient*>(&clients)));
    EXPECT_EQ(devicer.recordSampleRate(), 44100.0);
    EXPECT_EQ(devicer.recordBufferSize(), 512);
    EXPECT_EQ(devicer.recordChannels(), 1);
    for (AuDevice* each : {devicer.recordDevice(), devicer.levelDevice()}) {
        EXPECT_EQ(each->nominalSampleRate(), 44100.0);
        EXPECT_EQ(each->deviceBufferSizeInFrames(), 512u);
    }
    EXPECT_EQ(devicer.recordBuffer()->channels(), 1u);
    const AuBufferList* convert = devicer.convertBuffer();
    ASSERT_NE(convert, nullptr);
    EXPECT_EQ(convert->mNumberBuffers, 1u);
    EXPECT_EQ(convert->mBuffers[0].mNumberChannels, 2u);
    EXPECT_EQ(AuBufferListFrameCount(convert), 512u);

    ASSERT_TRUE(devicer.playDevice() && devicer.monitorDevice());
    EXPECT_EQ(devicer.playChannels(), 2);
    EXPECT_EQ(devicer.monitorChannels(), 2);
    EXPECT_EQ(devicer.monitorBuffer()->channels(), 2u);
    EXPECT_EQ(AuBufferListFrameCount(devicer.monitorConvertBuffer()), 512u);
    ASSERT_NE(devicer.monitorConverter(), nullptr);
    EXPECT_EQ(devicer.monitorConverter()->converterChannels(), 1u);

    // Only the play and monitor devices run, and paused: their clients are
    // not called until asked for. The record side waits for its start.
    EXPECT_FALSE(devicer.recordDevice()->isDeviceStarted());
    EXPECT_TRUE(devicer.playDevice()->isDeviceStarted() && devicer.playDevice()->isDevicePaused());
    EXPECT_TRUE(devicer.monitorDevice()->isDevicePaused());
    hardware.step(devicer.playDevice()->deviceID(), 3);
    EXPECT_EQ(clients.playCycles, 0u);
    EXPECT_EQ(clients.monitorCycles, 0u);
    devicer.recordDeviceStart();
    hardware.step(devicer.recordDevice()->deviceID(), 2);
    EXPECT_EQ(clients.recordCycles, 2u);
    EXPECT_EQ(clients.levelCycles, 2u);
    devicer.playDevicePause(false);
    devicer.monitorDevicePaused(false);
    hardware.step(devicer.playDevice()->deviceID(), 1);
    EXPECT_EQ(clients.playCycles, 1u);
    EXPECT_EQ(clients.monitorCycles, 1u);
    EXPECT_EQ(clients.calls,
              QStringList({"willSetRecordIOTarget", "willSetLevelIOTarget", "renewDispSampleRate",
                           "willSetPlayIOTarget", "willSetMonitorIOTarget"}));
}

TEST_F(ZuDeviceRolesTest, AMonoRecordDeviceFillsTheLeftChannelOfTheConvertBuffer) {
    AuVirtualDeviceConfig mono = device("A Mono", "a", 1, 0);
    mono.input = *AuVirtualInput::parse("tone:1000:0.5");
    AuTestHardware& hardware = install({mono});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    hardware.step(devicer.recordDevice()->deviceID(), 1);

    const float* samples = static_cast<const float*>(devicer.convertBuffer()->mBuffers[0].mData);
    float loudest = 0.0f;
    for (int frame = 0; frame < devicer.recordBufferSize(); ++frame) {
        loudest = std::max(loudest, std::abs(samples[2 * frame]));
        ASSERT_EQ(samples[2 * frame + 1], 0.0f) << frame;
    }
    EXPECT_NEAR(loudest, 0.5f, 0.01f);
}

TEST_F(ZuDeviceRolesTest, AStoredSourceSelectsItsDeviceAndTheDataSourceBehindAMergedName) {
    install({device("A Input", "a", 2, 0),
             withSources(device("B Built-in", "b", 2, 2), kAuDirectionInput,
                         {"Internal microphone", "Sound Input"})});
    store("recordSourceDevice", 2);
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    EXPECT_EQ(devicer.recordSource(), 2);
    EXPECT_EQ(devicer.presentRecordSourceName(), "Line In");
    EXPECT_TRUE(devicer.isPresentExternalRecord());
    EXPECT_FALSE(devicer.isPresentInternalRecord());
    EXPECT_EQ(devicer.recordDevice()->deviceName(), "B Built-in");
    // "Line In" stands for the device's "Sound Input".
    EXPECT_EQ(devicer.recordDevice()->dataSourceForDirection(kAuDirectionInput), "Sound Input");
    EXPECT_EQ(devicer.levelDevice()->dataSourceForDirection(kAuDirectionInput), "Sound Input");

    devicer.setRecordSource(1);
    EXPECT_TRUE(devicer.isPresentInternalRecord());
    EXPECT_EQ(devicer.presentJapanRecordSourceName(), ZuLocalized::text("InternalSource"));
    EXPECT_EQ(devicer.recordDevice()->dataSourceForDirection(kAuDirectionInput),
              "Internal microphone");
}

TEST_F(ZuDeviceRolesTest, OutOfRangeStoredSourcesFallBackToTheFirst) {
    install({withSources(device("B Built-in", "b", 2, 2), kAuDirectionOutput,
                         {"Internal speakers", "Digital Out"})});
    store("recordSourceDevice", 5);
    store("PlaybackSourceDevice", -1);
    store("MonitorSourceDevice", 1);
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    EXPECT_EQ(devicer.recordSource(), 0);
    EXPECT_EQ(devicer.playSource(), 0);
    EXPECT_TRUE(devicer.isPresentInternalPlay());
    EXPECT_EQ(devicer.monitorSource(), 1);
    EXPECT_FALSE(devicer.isPresentInternalMonitor());
    EXPECT_EQ(devicer.monitorDevice()->dataSourceForDirection(kAuDirectionOutput), "Digital Out");
}

TEST_F(ZuDeviceRolesTest, ARecordSourceChangeIsSavedAndToldBeforeTheNewDeviceRuns) {
    AuTestHardware& hardware = install({device("A Input", "a", 2, 0), device("B Duplex", "b")});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    clients.calls.clear();

    devicer.changeRecordSource(1);
    EXPECT_EQ(ZuSettings::standard().integerForKey("recordSourceDevice"), 1);
    EXPECT_EQ(clients.calls, QStringList({"willSetRecordIOTarget", "willSetLevelIOTarget",
                                          "renewDispSampleRate", "recordSourceChanged"}));
    // The recorder resizes its queue while no capture runs; the device then
    // starts with the converter already made for it.
    EXPECT_FALSE(clients.recordStartedAtChange);
    EXPECT_EQ(devicer.recordDevice()->deviceName(), "B Duplex");
    EXPECT_TRUE(devicer.recordDevice()->isDeviceStarted());
    EXPECT_TRUE(devicer.levelDevice()->isDeviceStarted());
    ASSERT_NE(devicer.monitorConverter(), nullptr);
    EXPECT_EQ(devicer.monitorConverter()->converterChannels(), 2u);
    hardware.step(devicer.recordDevice()->deviceID(), 1);
    EXPECT_EQ(clients.recordCycles, 1u);
}

TEST_F(ZuDeviceRolesTest, PlayAndMonitorChangesAreSavedAndTold) {
    AuVirtualDeviceConfig mono = device("B Mono out", "b", 0, 1);
    install({device("A Duplex", "a"), mono});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    clients.calls.clear();

    devicer.changePlaySource(1);
    EXPECT_EQ(ZuSettings::standard().integerForKey("PlaybackSourceDevice"), 1);
    EXPECT_EQ(devicer.playDevice()->deviceName(), "B Mono out");
    EXPECT_EQ(devicer.playChannels(), 1);
    EXPECT_TRUE(devicer.playDevice()->isDevicePaused());

    devicer.changeMonitorSource(1);
    EXPECT_EQ(ZuSettings::standard().integerForKey("MonitorSourceDevice"), 1);
    EXPECT_EQ(devicer.monitorChannels(), 1);
    ASSERT_NE(devicer.monitorConverter(), nullptr);
    EXPECT_EQ(devicer.monitorConverter()->outputChannels(), 1u);
    // The recorder, told of the change, may unpause a device its converter fits.
    EXPECT_TRUE(clients.monitorConverterFitAtChange);
    EXPECT_EQ(clients.calls, QStringList({"willSetPlayIOTarget", "playSourceChanged",
                                          "willSetMonitorIOTarget", "monitorSourceChanged"}));
}

TEST_F(ZuDeviceRolesTest, HighQualityTakesEffectAtTheNextRecordSourceChange) {
    install({device("A Duplex", "a")});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.setUseHighQuality(true);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("UseHightQualitySampling"));
    EXPECT_EQ(devicer.recordSampleRate(), 44100.0);
    EXPECT_EQ(devicer.recordDevice()->nominalSampleRate(), 44100.0);
    devicer.setRecordSource(0);
    EXPECT_EQ(devicer.recordSampleRate(), 48000.0);
    EXPECT_EQ(devicer.recordDevice()->nominalSampleRate(), 48000.0);
    EXPECT_EQ(devicer.levelDevice()->nominalSampleRate(), 48000.0);
}

// Roles on one duplex device share its nominal rate: the record role's rate is
// the one the hardware runs at, whatever renews the output roles.
TEST_F(ZuDeviceRolesTest, OutputRolesOnTheRecordHardwareTakeTheRecordRate) {
    AuVirtualDeviceConfig duplex = device("A Duplex", "a");
    duplex.info.sampleRates = {{8000, 8000}, {44100, 44100}, {96000, 96000}};
    AuTestHardware& hardware = install({duplex, device("B Output", "b", 0, 2)});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    ASSERT_EQ(devicer.recordSampleRate(), 44100.0);

    devicer.setUseHighQuality(true);
    devicer.setPlaySource(0);
    devicer.setMonitorSource(0);
    EXPECT_EQ(devicer.recordDevice()->nominalSampleRate(), 44100.0);
    EXPECT_EQ(devicer.recordSampleRate(), 44100.0);
    EXPECT_EQ(devicer.playSampleRate(), 44100.0);
    EXPECT_EQ(devicer.monitorSampleRate(), 44100.0);
    EXPECT_EQ(devicer.playBufferSize(), devicer.recordBufferSize());

    // A role on hardware of its own chooses its rate.
    devicer.setPlaySource(1);
    EXPECT_EQ(devicer.playDevice()->deviceName(), "B Output");
    EXPECT_EQ(devicer.playSampleRate(), 48000.0);

    // The record role changes the duplex rate: the monitor role on it is
    // renewed to match and told, the play role elsewhere is left alone.
    clients.calls.clear();
    devicer.setRecordSource(0);
    EXPECT_EQ(devicer.recordSampleRate(), 96000.0);
    EXPECT_EQ(devicer.recordDevice()->nominalSampleRate(), 96000.0);
    EXPECT_EQ(devicer.monitorSampleRate(), 96000.0);
    EXPECT_EQ(devicer.monitorDevice()->nominalSampleRate(), 96000.0);
    EXPECT_TRUE(devicer.monitorDevice()->isDevicePaused());
    EXPECT_EQ(devicer.playSampleRate(), 48000.0);
    EXPECT_EQ(clients.calls, QStringList({"willSetRecordIOTarget", "willSetLevelIOTarget",
                                          "renewDispSampleRate", "recordSourceChanged",
                                          "willSetMonitorIOTarget", "monitorSourceChanged"}));

    // Back on the duplex, the play role is renewed along with a record change.
    devicer.setPlaySource(0);
    EXPECT_EQ(devicer.playSampleRate(), 96000.0);
    devicer.setUseHighQuality(false);
    clients.calls.clear();
    devicer.setRecordSource(0);
    EXPECT_EQ(devicer.recordSampleRate(), 44100.0);
    EXPECT_EQ(devicer.playSampleRate(), 44100.0);
    EXPECT_EQ(devicer.monitorSampleRate(), 44100.0);
    EXPECT_TRUE(clients.calls.contains("playSourceChanged"));
    devicer.monitorDevicePaused(false);
    hardware.step(devicer.recordDevice()->deviceID(), 2);
    EXPECT_EQ(clients.recordCycles, 2u);
    EXPECT_EQ(clients.monitorCycles, 2u);
}

TEST_F(ZuDeviceRolesTest, NoInputDeviceRaisesTheAlertLogsTheErrorAndSetsAwakeError) {
    install({device("C Output", "c", 0, 2)});
    NwConsoleCapture console;
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    EXPECT_TRUE(devicer.awakeError());
    EXPECT_EQ(devicer.recordSource(), -1);
    EXPECT_EQ(devicer.recordDevice(), nullptr);
    EXPECT_EQ(devicer.monitorConverter(), nullptr);
    EXPECT_EQ(alertKeys(), QStringList({"NoRecordSource/RecheckDevice/Understand"}));
    EXPECT_TRUE(console.lines().contains("ZuRecorder: no sound data input device."));
    EXPECT_EQ(logEvents, QStringList({"SomeErrorHappen: ZuRecorder: no sound data input device."}));
    // Starting the missing record side does nothing.
    devicer.recordDeviceStart();
    EXPECT_NE(devicer.playDevice(), nullptr);
}

TEST_F(ZuDeviceRolesTest, NoOutputDeviceAlertsOncePerRoleWithoutAwakeError) {
    install({device("A Input", "a", 2, 0)});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    EXPECT_FALSE(devicer.awakeError());
    EXPECT_EQ(alertKeys(), QStringList({"NoPlaybackSource/UnablePlayback/Understand",
                                        "NoPlaybackSource/UnablePlayback/Understand"}));
    EXPECT_EQ(devicer.playSource(), -1);
    EXPECT_EQ(devicer.monitorSource(), -1);
    EXPECT_EQ(devicer.playDevice(), nullptr);
    EXPECT_EQ(devicer.monitorConverter(), nullptr);
    // Pausing a missing role is harmless.
    devicer.playDevicePause(false);
    devicer.monitorDevicePaused(false);
    EXPECT_FALSE(devicer.isPresentInternalPlay());
}

TEST_F(ZuDeviceRolesTest, ASourceThatDisappearsLeavesTheRoleEmptyWithoutAnAlert) {
    AuTestHardware& hardware = install({device("A Duplex", "a")});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    hardware.unplugDevice(devicer.recordDevice()->deviceID());
    NwConsoleCapture console;

    devicer.setRecordSource(0);
    devicer.setMonitorSource(0);
    devicer.setPlaySource(0);
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    EXPECT_FALSE(devicer.awakeError());
    EXPECT_EQ(devicer.recordSource(), -1);
    EXPECT_EQ(devicer.recordDevice(), nullptr);
    EXPECT_EQ(devicer.recordBuffer(), nullptr);
    EXPECT_EQ(devicer.recordSampleRate(), 0.0);
    EXPECT_EQ(devicer.monitorConverter(), nullptr);
    EXPECT_EQ(devicer.playDevice(), nullptr);
    for (const char* line : {"No recording source is exist.", "No monitoring device is exist.",
                             "No playback device is exist."})
        EXPECT_TRUE(console.lines().contains(line)) << line;

    // Back again: the role comes back at the first source.
    hardware.plugDevice(device("A Duplex", "a2"));
    devicer.setRecordSource(-1);
    EXPECT_EQ(devicer.recordSource(), 0);
    EXPECT_NE(devicer.recordDevice(), nullptr);
}

TEST_F(ZuDeviceRolesTest, ARecordDeviceGoingBetweenTheListReadsLeavesNoRecordRole) {
    AuTestHardware& hardware = install({device("A Duplex", "a")});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    const AuObjectID id = devicer.recordDevice()->deviceID();
    // The renewal counts the sources on one read of the device list and
    // takes the device on the next; the device goes in between.
    int listReads = 0;
    hardware.beforeRead = [&](const AuPropertyAddress& address) {
        if (address.scope == AuScope::Hardware && address.property == auFourCC("dev#") &&
            ++listReads == 2)
            hardware.unplugDevice(id);
    };
    NwConsoleCapture console;
    clients.calls.clear();

    devicer.setRecordSource(0);
    hardware.beforeRead = nullptr;
    EXPECT_EQ(devicer.recordSource(), -1);
    EXPECT_EQ(devicer.recordDevice(), nullptr);
    EXPECT_EQ(devicer.levelDevice(), nullptr);
    EXPECT_EQ(devicer.recordBuffer(), nullptr);
    EXPECT_EQ(devicer.convertBuffer(), nullptr);
    EXPECT_EQ(devicer.recordSampleRate(), 0.0);
    EXPECT_EQ(devicer.recordBufferSize(), 0);
    EXPECT_EQ(devicer.recordChannels(), 0);
    EXPECT_EQ(devicer.monitorConverter(), nullptr);
    EXPECT_TRUE(console.lines().contains("No recording source is exist."));
    // The meter is told that its device went without a successor.
    EXPECT_EQ(clients.calls, QStringList({"willSetLevelIOTarget", "recordSourceChanged"}));
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
}

TEST_F(ZuDeviceRolesTest, AwakeErrorIsClearedByAStartWithAnInput) {
    AuTestHardware& hardware = install({device("C Output", "c", 0, 2)});
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    ASSERT_TRUE(devicer.awakeError());
    hardware.plugDevice(device("A Input", "a", 2, 0));
    devicer.awakeFromNib();
    EXPECT_FALSE(devicer.awakeError());
    EXPECT_EQ(devicer.recordSource(), 0);
}
