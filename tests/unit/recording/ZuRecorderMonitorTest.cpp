// The monitor button of the recorder: it un-pauses and pauses the monitor
// device, asks for the administrator when that is required, and is switched
// off and disabled while the internal microphone would feed the internal
// speakers.
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"
#include "support/NwTestSupport.h"

#include <gtest/gtest.h>

namespace {

class RecorderMonitorTest : public testing::Test {
protected:
    void SetUp() override {
        ZuSettings& store = ZuSettings::standard();
        store.setString(nwTestDir() + "/records", "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
        // Record sources: 0 "Internal microphone", 1 "Line In"; monitor
        // sources: 0 "Internal speakers", 1 "USB Phones".
        AuVirtualDeviceConfig builtIn = AuVirtualDeviceConfig::standard("Built-in", "bi", 2, 2);
        builtIn.info.dataSources = {QStringList{"Internal speakers"},
                                    QStringList{"Internal microphone", "Line In"}};
        AuVirtualDeviceConfig phones = AuVirtualDeviceConfig::standard("USB Phones", "up", 0, 2);
        previous = AuHardware::install(
            std::make_unique<AuVirtualHardware>(std::vector<AuVirtualDeviceConfig>{builtIn, phones},
                                                AuVirtualHardware::Pacing::Stepped));
    }
    void TearDown() override {
        controler.reset();
        AuHardware::install(std::move(previous));
        ZuAuthorizationSetup::setAnswer({});
    }

    ZuRecorder& launch(int recordSource, int monitorSource, bool monitorOn) {
        ZuSettings& store = ZuSettings::standard();
        store.setInteger(recordSource, "recordSourceDevice");
        store.setInteger(monitorSource, "MonitorSourceDevice");
        store.setInteger(monitorOn ? 1 : 0, "MonitorSwitch");
        controler = std::make_unique<ZuControler>();
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        return *controler->recorder();
    }
    ZuDevice& devicer() { return *controler->devicer(); }
    bool monitorPaused() { return devicer().monitorDevice()->isDevicePaused(); }
    static void press(ZuControl& button, int state) {
        button.setState(state);
        button.perform();
    }

    std::unique_ptr<AuHardware> previous;
    std::unique_ptr<ZuControler> controler;
};

} // namespace

TEST_F(RecorderMonitorTest, TheInternalMicrophoneNeverFeedsTheInternalSpeakers) {
    ZuRecorder& r = launch(0, 0, true);
    EXPECT_EQ(r.monitorButton.state(), 0);
    EXPECT_FALSE(r.monitorButton.isEnabled());
    EXPECT_TRUE(monitorPaused());
    EXPECT_EQ(r.monitorButton.imageName(), "MonitorSwitch.tif");
    // Line In may be heard on the speakers.
    devicer().setRecordSource(1);
    EXPECT_TRUE(r.monitorButton.isEnabled());
    press(r.monitorButton, 1);
    EXPECT_FALSE(monitorPaused());
    // Back to the microphone: off again.
    devicer().setRecordSource(0);
    EXPECT_EQ(r.monitorButton.state(), 0);
    EXPECT_TRUE(monitorPaused());
}

TEST_F(RecorderMonitorTest, TheButtonPlaysTheMonitorAndIsSavedUnlessTheAdministratorRefuses) {
    ZuRecorder& r = launch(0, 1, true);
    // A saved switch plays at once on the external phones.
    EXPECT_EQ(r.monitorButton.state(), 1);
    EXPECT_FALSE(monitorPaused());
    EXPECT_EQ(r.monitorButton.imageName(), "ExternalSpeaker.png");
    press(r.monitorButton, 0);
    EXPECT_TRUE(monitorPaused());
    r.saveUserDefaults();
    EXPECT_FALSE(ZuSettings::standard().boolForKey("MonitorSwitch"));

    ZuAuthorizationSetup::setAnswer([] { return 0; });
    press(controler->authorizationButton, 1);
    ASSERT_TRUE(controler->authorization());
    ZuAuthorizationSetup::setAnswer([] { return -1; });
    press(r.monitorButton, 1);
    EXPECT_EQ(r.monitorButton.state(), 0);
    EXPECT_TRUE(monitorPaused());
    ZuAuthorizationSetup::setAnswer([] { return 0; });
    press(r.monitorButton, 1);
    EXPECT_FALSE(monitorPaused());
    r.saveUserDefaults();
    EXPECT_TRUE(ZuSettings::standard().boolForKey("MonitorSwitch"));
}
