// A record device that dies while recording is switched on, and comes back:
// virtual devices removed and added under the test's control, on a stepped
// device and the manual clock.
#include "ZuRecorderTestSupport.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "recording/ZuDeviceReturn.h"
#include "support/NwConsoleCapture.h"

namespace {

class DeviceReturnTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this, [this](const ZuNotification& n) {
                if (n.object.toString() == ZuLogEvent::someReportHappen)
                    reports << n.userInfo.value(ZuLogEvent::messageKey).toString();
            });
    }
    void TearDown() override {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        RecorderFixture::TearDown();
    }

    ZuRecorder& armed(int32_t mode) {
        ZuSettings::standard().setInteger(mode, "RecordMode");
        ZuSettings::standard().setInteger(10, "AutoStartLevel");
        ZuRecorder& r = launch();
        switchRecording(1);
        return r;
    }
    // The microphone the fixture starts with, or one like it.
    static AuVirtualDeviceConfig microphone(const QString& name = "Virtual Microphone",
                                            const QString& uid = "vm") {
        AuVirtualDeviceConfig config = AuVirtualDeviceConfig::standard(name, uid, 2, 2);
        config.input.kind = AuVirtualInput::Kind::File;
        config.input.path = nwTestDir() + "/ramp.wav";
        return config;
    }
    void unplug() { hardware->unplugDevice(controler->devicer()->recordDevice()->deviceID()); }
    QStringList reportsWith(const QString& part) const { return reports.filter(part); }
    // Every recording is finished, named and readable, and none is left open.
    void expectFinishedRecordings(int count) {
        const QStringList names = recordings();
        ASSERT_EQ(names.size(), count) << names.join(' ').toStdString();
        for (const QString& name : names) {
            EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
            EXPECT_GT(readSound(folder() + "/" + name).samples.size(), 0u) << name.toStdString();
        }
        EXPECT_FALSE(QFile::exists(folder() + "/.NightwardenTempFile"));
    }

    // Half a second more of the recording, then the switch off: every
    // recording made is whole.
    void finish(int recordingsMade) {
        run(0.5);
        switchRecording(0);
        expectFinishedRecordings(recordingsMade);
    }

    QStringList reports;
};

} // namespace

TEST_F(DeviceReturnTest, TheRecordingEndsTheSwitchStaysOnAndANewRecordingStartsOnTheReturn) {
    ZuRecorder& r = armed(0);
    run(2.0);
    NwConsoleCapture console;
    unplug();

    // The recording before the loss is finished and named as at a stop.
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.recordButton.state(), 1);
    EXPECT_TRUE(r.recordState());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("RecordSwitch"));
    EXPECT_TRUE(r.waitingForDevice());
    EXPECT_EQ(r.conditionText.text(), ZuLocalized::text("WaitingInputDevice"));
    EXPECT_TRUE(answerer->modalAlerts.empty());
    expectFinishedRecordings(1);
    const Sound first = readSound(folder() + "/" + recordings()[0]);
    EXPECT_NEAR(double(first.samples.size()) / first.channels / first.rate, 2.0, 0.1);
    ASSERT_EQ(reportsWith("is lost at").size(), 1);
    EXPECT_EQ(reports[0], "ZuRecorder: record device \"Virtual Microphone\" is lost at "
                          "2007-03-15 14:30:24; waiting for the input device.");
    EXPECT_TRUE(console.lines().contains(reports[0]));

    // Waiting starts nothing, however long.
    ZuClock::advance(7.0);
    for (int i = 0; i < 20; ++i)
        r.controlAutoDelay();
    EXPECT_EQ(r.condition(), 0);
    expectFinishedRecordings(1);

    // Another device is not the lost one.
    hardware->plugDevice(microphone("Other Microphone", "om"));
    EXPECT_TRUE(r.waitingForDevice());
    EXPECT_EQ(r.condition(), 0);

    hardware->plugDevice(microphone());
    EXPECT_FALSE(r.waitingForDevice());
    EXPECT_EQ(r.condition(), 1);
    EXPECT_EQ(controler->devicer()->presentRecordSourceName(), "Virtual Microphone");
    ASSERT_EQ(reportsWith("is back at").size(), 1);
    EXPECT_EQ(reportsWith("is back at")[0],
              "ZuRecorder: record device \"Virtual Microphone\" is back at 2007-03-15 14:30:31, "
              "lost since 2007-03-15 14:30:24 (0:00'07\" without recording); recording resumes.");
    EXPECT_TRUE(reportsWith("no longer offers").isEmpty());

    run(1.0);
    switchRecording(0);
    expectFinishedRecordings(2);
    const Sound second = readSound(folder() + "/" + recordings()[1]);
    EXPECT_NEAR(double(second.samples.size()) / second.channels / second.rate, 1.0, 0.1);
}

TEST_F(DeviceReturnTest, ADeviceIsKnownByItsNameWhenItsUIDChanged) {
    ZuRecorder& r = armed(0);
    run(0.5);
    unplug();
    hardware->plugDevice(microphone("Virtual Microphone", "vm-renamed"));
    EXPECT_FALSE(r.waitingForDevice());
    EXPECT_EQ(r.condition(), 1);
    finish(2);
}

TEST_F(DeviceReturnTest, TheLevelModeComesBackListening) {
    ZuRecorder& r = armed(1);
    level = 15;
    run(0.1);
    r.controlAutoDelay();
    ASSERT_EQ(r.condition(), 1);
    run(1.0);
    unplug();
    level = 0;
    hardware->plugDevice(microphone());
    EXPECT_EQ(r.recordMode(), 1);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.conditionText.text(), ZuLocalized::text("Standby"));
    expectFinishedRecordings(1);

    level = 15;
    run(0.1);
    r.controlAutoDelay();
    EXPECT_EQ(r.condition(), 1);
    finish(2);
}

TEST_F(DeviceReturnTest, SwitchingOffWhileWaitingEndsTheWait) {
    ZuRecorder& r = armed(0);
    run(0.5);
    unplug();
    switchRecording(0);
    EXPECT_FALSE(r.waitingForDevice());
    EXPECT_EQ(r.conditionText.text(), ZuLocalized::text("Stopped"));
    hardware->plugDevice(microphone());
    ZuClock::advance(3.0);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_TRUE(reportsWith("is back at").isEmpty());
    expectFinishedRecordings(1);
}

TEST_F(DeviceReturnTest, ADeviceWithoutTheStoredRateRecordsAtTheRuleRateAndSaysSo) {
    ZuRecorder& r = armed(0);
    run(0.5);
    ASSERT_EQ(controler->devicer()->recordSampleRate(), 44100.0);
    unplug();
    AuVirtualDeviceConfig only48k = microphone();
    only48k.info.sampleRates = {{32000.0, 32000.0}, {48000.0, 48000.0}};
    only48k.info.nominalSampleRate = 32000.0;
    hardware->plugDevice(only48k);
    EXPECT_EQ(r.condition(), 1);
    EXPECT_EQ(controler->devicer()->recordSampleRate(), 48000.0);
    EXPECT_EQ(reportsWith("no longer offers"),
              QStringList{"ZuRecorder: record device \"Virtual Microphone\" no longer offers "
                          "44100 Hz; by the rate rules it records at 48000 Hz."});
    finish(2);
    EXPECT_EQ(readSound(folder() + "/" + recordings()[1]).rate, 24000);
}

TEST_F(DeviceReturnTest, TenLossesAndReturnsLeaveElevenWholeRecordings) {
    ZuRecorder& r = armed(0);
    for (int i = 0; i < 10; ++i) {
        run(3.5);
        unplug();
        ASSERT_TRUE(r.waitingForDevice()) << i;
        ZuClock::advance(1.0);
        hardware->plugDevice(microphone());
        ASSERT_EQ(r.condition(), 1) << i;
    }
    run(1.0);
    switchRecording(0);
    expectFinishedRecordings(11);
    EXPECT_EQ(reportsWith("is lost at").size(), 10);
    EXPECT_EQ(reportsWith("is back at").size(), 10);
    EXPECT_TRUE(reportsWith("comes and goes").isEmpty());
    // Only the one microphone is left, however often it came.
    EXPECT_EQ(controler->devicer()->recordSourceCount(), 1);
}

// Gone and back every second: each further loss waits twice as long before
// the device is taken again; one that then stays a while is taken at once.
TEST_F(DeviceReturnTest, AFlappingDeviceIsTakenBackLessAndLessOften) {
    ZuRecorder& r = armed(0);
    run(0.5);
    unplug();
    hardware->plugDevice(microphone());
    ASSERT_EQ(r.condition(), 1);

    NwConsoleCapture console;
    const auto flap = [&](double waitedSeconds) {
        run(0.5);
        unplug();
        hardware->plugDevice(microphone());
        // Present, yet not taken before its wait is over.
        ZuClock::advance(waitedSeconds - 1.0);
        EXPECT_TRUE(r.waitingForDevice());
        EXPECT_EQ(r.condition(), 0);
        ZuClock::advance(1.0);
        EXPECT_FALSE(r.waitingForDevice());
        EXPECT_EQ(r.condition(), 1);
    };
    flap(2.0);
    flap(4.0);
    flap(8.0);
    EXPECT_EQ(console.lines().filter("comes and goes").size(), 3);
    EXPECT_EQ(reportsWith("comes and goes").last(),
              "ZuRecorder: record device \"Virtual Microphone\" comes and goes; it is looked "
              "for again in 8 seconds.");

    run(double(ZuDeviceReturn::stableSeconds));
    unplug();
    hardware->plugDevice(microphone());
    EXPECT_EQ(r.condition(), 1);
    EXPECT_EQ(reportsWith("comes and goes").size(), 3);
    finish(6);
}
