#include "preferences/ZuPrefer.h"
#include "audio/ZuDevice.h"
#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuApplicationPort.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"
#include "shell/ZuModelWindow.h"
#include "support/NwTestSupport.h"
#include "unit/audio/ZuDeviceTestClients.h"
#include "unit/keeping/ZuKeeperTestSupport.h"

#include <QFile>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class QuietApplication : public ZuApplicationPort {
public:
    void hide() override {}
    bool terminate() override { return false; }
    void replyToApplicationShouldTerminate(bool) override {}
    void openUrl(const QUrl&) override {}
};

class PreferTest : public testing::Test {
protected:
    void SetUp() override {
        // A duplex device and a second output, so that play and monitor have a choice.
        std::vector<AuVirtualDeviceConfig> devices = AuVirtualHardware::defaultDevices();
        devices.push_back(AuVirtualDeviceConfig::standard("Speakers", "spk", 0, 2));
        AuHardware::install(
            std::make_unique<AuVirtualHardware>(devices, AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(nwTestDir() + "/records", "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuPanels::setAnswerer(answerer);
        ZuAuthorizationSetup::resetChecks();
        ZuAuthorizationSetup::setAnswer([this] { return adminAnswer; });
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this,
            [this](const ZuNotification& n) { logEvents << n.object.toString(); });
    }
    void TearDown() override {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        ZuAuthorizationSetup::setAnswer({});
        controler.reset();
        AuHardware::install(nullptr);
    }

    ZuPrefer& launch() {
        controler = std::make_unique<ZuControler>();
        controler->setWindow(&window);
        controler->setApplication(&app);
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        logEvents.clear();
        return *controler->prefer();
    }

    static void click(ZuControl& control, int state) {
        control.setState(state);
        control.perform();
    }
    static void choose(ZuControl& popup, int item) {
        popup.setSelectedIndex(item);
        popup.perform();
    }
    static void type(ZuControl& field, const QString& text) {
        field.setText(text);
        field.perform();
    }
    static QByteArray settingsFile() {
        ZuSettings::standard().synchronize();
        QFile file(nwTestDir() + "/settings.conf");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The calls a source change makes to the device manager's clients.
    static QStringList sourceCalls(const QStringList& calls) {
        QStringList found;
        for (const QString& call : calls)
            if (call.endsWith("SourceChanged"))
                found << call;
        return found;
    }

    ZuModelWindow window;
    QuietApplication app;
    std::shared_ptr<ZuScriptedAnswerer> answerer;
    int32_t adminAnswer = 0;
    QStringList logEvents;
    std::unique_ptr<ZuControler> controler;
};

} // namespace

TEST_F(PreferTest, OpeningFillsEveryControlFromItsOwnerAndClosingUneditedAppliesNothing) {
    ZuSettings::standard().setInteger(7, "PreBufferingSeconds");
    ZuSettings::standard().setInteger(3 * 86400, "MaxTotalTime");
    ZuSettings::standard().setInteger(7200, "MaxRecordTime");
    ZuSettings::standard().setFloat(0.5f, "CompressRatio");
    ZuSettings::standard().setDouble(2.5, "PeekLevelHoldTime");
    ZuPrefer& prefer = launch();
    const QByteArray before = settingsFile();

    click(prefer.preferButton, 1);
    EXPECT_TRUE(prefer.isOpen());
    EXPECT_FALSE(prefer.okButton.isEnabled());
    EXPECT_FALSE(controler->recorder()->recordButton.isEnabled());
    EXPECT_EQ(prefer.preBufferSecText.text(), "7");
    EXPECT_EQ(prefer.preBufferSecStepper.value(), 7);
    EXPECT_EQ(prefer.maxTotalText.text(), "3");
    EXPECT_EQ(prefer.maxRecordPopup.selectedIndex(), 1);
    EXPECT_EQ(prefer.compressRatioText.text(), "0.5");
    EXPECT_EQ(prefer.peekHoldTimeText.text(), "2.5");
    EXPECT_EQ(prefer.samplePopup.items(), (QStringList{"11025 Hz", "22050 Hz", "44100 Hz"}));
    EXPECT_EQ(prefer.samplePopup.selectedIndex(), 1);
    EXPECT_EQ(prefer.playSourcePopup.items().size(), 2);
    EXPECT_EQ(prefer.recordFolderText.text(), nwTestDir() + "/records");
    EXPECT_EQ(prefer.opacitySlider.value(), 100);
    EXPECT_FALSE(prefer.markerSoundPopup.items().isEmpty());
    EXPECT_EQ(prefer.markerSoundPopup.selectedItem(), controler->recorder()->markerSound());

    // Edits undone by hand leave nothing to apply either.
    type(prefer.delayTimeText, "9");
    EXPECT_TRUE(prefer.okButton.isEnabled());
    EXPECT_EQ(prefer.delayTimeStepper.value(), 9);
    prefer.delayTimeStepper.setValue(5);
    prefer.delayTimeStepper.perform();
    EXPECT_EQ(prefer.delayTimeText.text(), "5");
    EXPECT_FALSE(prefer.okButton.isEnabled());

    click(prefer.preferButton, 0);
    EXPECT_FALSE(prefer.isOpen());
    EXPECT_EQ(prefer.preferButton.state(), 0);
    EXPECT_TRUE(controler->recorder()->recordButton.isEnabled());
    EXPECT_TRUE(logEvents.isEmpty()) << logEvents.join(", ").toStdString();
    EXPECT_EQ(settingsFile(), before);
}

TEST_F(PreferTest, TheButtonKeepsTheDrawerOpenWhileSomethingChanged) {
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    click(prefer.verifyCheck, prefer.verifyCheck.state() ? 0 : 1);
    click(prefer.preferButton, 0);
    EXPECT_TRUE(prefer.isOpen());
    EXPECT_EQ(prefer.preferButton.state(), 1);
    EXPECT_FALSE(controler->recorder()->recordButton.isEnabled());
}

TEST_F(PreferTest, ARefusedAdministratorLeavesTheDrawerClosed) {
    ZuSettings::standard().setBool(true, "AuthorizationRequired");
    adminAnswer = -1;
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    EXPECT_FALSE(prefer.isOpen());
    EXPECT_EQ(prefer.preferButton.state(), 0);
    EXPECT_EQ(ZuAuthorizationSetup::checks(), 1);
    adminAnswer = 0;
    click(prefer.preferButton, 1);
    EXPECT_TRUE(prefer.isOpen());
}

TEST_F(PreferTest, SourceChangesReachOnlyTheirRoles) {
    ZuPrefer& prefer = launch();
    ZuDeviceTestClients clients(*controler->devicer());
    {
        SCOPED_TRACE("the play source alone");
        click(prefer.preferButton, 1);
        choose(prefer.playSourcePopup, 1);
        ASSERT_TRUE(prefer.okButton.isEnabled());
        prefer.okButton.perform();
        EXPECT_FALSE(prefer.isOpen());
        EXPECT_EQ(logEvents, QStringList{"InputSourceChange"});
        EXPECT_EQ(sourceCalls(clients.calls), QStringList{"playSourceChanged"});
        EXPECT_EQ(controler->devicer()->playSource(), 1);
        EXPECT_EQ(controler->devicer()->recordSource(), 0);
        EXPECT_EQ(controler->devicer()->monitorSource(), 0);
        EXPECT_EQ(ZuSettings::standard().integerForKey("PlaybackSourceDevice"), 1);
    }
    {
        SCOPED_TRACE("the high-quality switch");
        logEvents.clear();
        clients.calls.clear();
        click(prefer.preferButton, 1);
        click(prefer.useHighQualityCheck, 1);
        prefer.okButton.perform();
        EXPECT_TRUE(logEvents.isEmpty());
        EXPECT_TRUE(controler->devicer()->useHighQuality());
        // Record first (which may renew its output roles), then monitor, then play.
        const QStringList calls = sourceCalls(clients.calls);
        ASSERT_GE(calls.size(), 3);
        EXPECT_EQ(calls.first(), "recordSourceChanged");
        EXPECT_EQ(calls.mid(calls.size() - 2),
                  (QStringList{"monitorSourceChanged", "playSourceChanged"}));
        EXPECT_EQ(controler->devicer()->playSource(), 1);
        EXPECT_TRUE(ZuSettings::standard().boolForKey("UseHightQualitySampling"));
    }
    // The devices go while these clients still exist.
    controler.reset();
}

TEST_F(PreferTest, AppliedRowsPostTheirEventsAndTheOwnersSave) {
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    choose(prefer.samplePopup, 2);
    choose(prefer.channelsPopup, 1);
    choose(prefer.modePopup, 1);
    type(prefer.preBufferSecText, "10");
    click(prefer.hideSoundFileCheck, 1);
    choose(prefer.markerOptionPopup, 3);
    type(prefer.keepPeriodText, "20");
    prefer.okButton.perform();
    EXPECT_EQ(logEvents, (QStringList{"SampleRateChange", "ChannelsChange", "RecordModeChange",
                                      "PreTimeChange", "MarkerPeriodChange"}));
    ZuRecorder* recorder = controler->recorder();
    EXPECT_EQ(recorder->rateNumber(), 2);
    EXPECT_EQ(recorder->channels(), 2);
    EXPECT_EQ(recorder->recordMode(), 1);
    EXPECT_EQ(recorder->preBufferSec(), 10);
    EXPECT_TRUE(recorder->hideSoundFile());
    EXPECT_EQ(recorder->markerOption(), 3);
    EXPECT_EQ(controler->keeper()->keepPeriod(), 20);
    // The recorder saved after its last row.
    ZuSettings& store = ZuSettings::standard();
    EXPECT_TRUE(store.boolForKey("HideSoundFileFlag"));
    EXPECT_EQ(store.integerForKey("PreBufferingSeconds"), 10);
    EXPECT_EQ(store.integerForKey("SamplingRateNumber"), 2);
    EXPECT_EQ(store.integerForKey("KeepFileKeepPeriod"), 20);

    // Opened again, the applied values are the copies: nothing differs.
    click(prefer.preferButton, 1);
    EXPECT_FALSE(prefer.okButton.isEnabled());
    EXPECT_EQ(prefer.samplePopup.selectedIndex(), 2);
}

TEST_F(PreferTest, DiskFiguresCountInSixtyFourBits) {
    ZuSettings::standard().setInteger(2 * 86400, "MaxTotalTime");
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    ASSERT_EQ(controler->recorder()->sampleRate(prefer.samplePopup.selectedIndex()), 22050);
    ASSERT_EQ(prefer.channelsPopup.selectedIndex(), 0);
    ASSERT_EQ(prefer.maxRecordPopup.selectedIndex(), 0);
    EXPECT_EQ(prefer.needPerSecond(), 44100);
    EXPECT_EQ(prefer.needRecordSpace(), 158764096.0);
    EXPECT_NEAR(prefer.needRecordSpacePerSecond(), 44101.1378, 0.00005);
    EXPECT_EQ(prefer.needTotalSpace(), 7620676608.0);
    EXPECT_EQ(prefer.needTotalText.text(), "7.10");
    // A day-long stereo file alone is past 32 bits.
    choose(prefer.samplePopup, 2);
    choose(prefer.channelsPopup, 1);
    prefer.maxRecordPopup.setSelectedIndex(23);
    EXPECT_EQ(prefer.needRecordSpace(), 44100.0 * 4 * 86400 + 4096);
    EXPECT_EQ(prefer.needTotalSpace(), 2 * (44100.0 * 4 * 86400 + 4096));

    // Everything allowed already recorded: no reserve is left to keep free.
    controler->mechanic()->setMaxTotalTime(controler->player()->dataSource()->totalTime());
    EXPECT_EQ(prefer.reserveSpace(), 0);
}

TEST_F(PreferTest, AMaximumLengthOfNoWholeHourLeavesThePopupUnchosenAndTheFiguresFinite) {
    ZuSettings::standard().setInteger(1800, "MaxRecordTime");
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    EXPECT_EQ(prefer.maxRecordPopup.selectedIndex(), -1);
    EXPECT_FALSE(prefer.okButton.isEnabled());
    EXPECT_TRUE(std::isfinite(prefer.needRecordSpacePerSecond()));
    EXPECT_NE(prefer.freeTimeText.text(), "nan");
}

TEST_F(PreferTest, LengthsTheDiskCannotHoldAreSetBackWithAnAlert) {
    ZuPrefer& prefer = launch();
    double free = 200e6;
    controler->mechanic()->setFreeSpaceProbe([&free](const QString&) { return free; });
    click(prefer.preferButton, 1);
    {
        SCOPED_TRACE("a file longer than half the free space");
        choose(prefer.maxRecordPopup, 1);
        ASSERT_EQ(answerer->modalAlerts.size(), 1);
        EXPECT_EQ(answerer->modalAlerts[0].messageKey, "TooBigError");
        EXPECT_EQ(answerer->modalAlerts[0].informativeKey, "SelectSmaller");
        // One hour, even though an hour does not fit either.
        EXPECT_EQ(prefer.maxRecordPopup.selectedIndex(), 0);
    }
    {
        SCOPED_TRACE("more days than the free space");
        answerer->modalAlerts.clear();
        prefer.maxTotalStepper.setValue(3);
        prefer.maxTotalStepper.perform();
        ASSERT_EQ(answerer->modalAlerts.size(), 1);
        EXPECT_EQ(answerer->modalAlerts[0].messageKey, "TooLongError");
        EXPECT_EQ(answerer->modalAlerts[0].informativeKey, "SelectShorter");
        EXPECT_EQ(prefer.maxTotalText.text(), "1");
        EXPECT_EQ(prefer.maxTotalStepper.value(), 1);
    }
    {
        SCOPED_TRACE("room enough");
        answerer->modalAlerts.clear();
        free = 1e12;
        choose(prefer.maxRecordPopup, 5);
        type(prefer.maxTotalText, "4");
        EXPECT_TRUE(answerer->modalAlerts.isEmpty());
        EXPECT_EQ(prefer.maxRecordPopup.selectedIndex(), 5);
        EXPECT_EQ(prefer.maxTotalStepper.value(), 4);
        EXPECT_NEAR(prefer.freeSpaceText.value(), 1e12 / (1 << 30), 1e-9);
        prefer.okButton.perform();
        EXPECT_EQ(controler->mechanic()->maxRecordTime(), 6 * 3600);
        EXPECT_EQ(controler->mechanic()->maxTotalTime(), 4 * 86400);
        EXPECT_EQ(logEvents, (QStringList{"MaxRecordChange", "KeepPeriodChange"}));
    }
}

TEST_F(PreferTest, StartUpRecordingAndStartUpReservationExcludeEachOther) {
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    EXPECT_TRUE(prefer.autoStartupCheck.isEnabled());
    EXPECT_TRUE(prefer.autoReserveCheck.isEnabled());
    click(prefer.autoStartupCheck, 1);
    EXPECT_FALSE(prefer.autoReserveCheck.isEnabled());
    EXPECT_TRUE(prefer.autoStartupCheck.isEnabled());
    click(prefer.autoStartupCheck, 0);
    click(prefer.autoReserveCheck, 1);
    EXPECT_FALSE(prefer.autoStartupCheck.isEnabled());
    EXPECT_TRUE(prefer.autoReserveCheck.isEnabled());
}

TEST_F(PreferTest, TheOpacityPreviewsAtOnceAndCancelRestoresIt) {
    ZuSettings::standard().setFloat(0.9f, "WindowOpacity");
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    prefer.opacitySlider.setValue(50);
    prefer.opacitySlider.perform();
    EXPECT_FLOAT_EQ(window.alphaValue(), 0.5f);
    EXPECT_TRUE(prefer.okButton.isEnabled());
    click(prefer.hideSoundFileCheck, 1);
    prefer.cancelButton.perform();
    EXPECT_FALSE(prefer.isOpen());
    EXPECT_FLOAT_EQ(window.alphaValue(), 0.9f);
    EXPECT_FLOAT_EQ(controler->opacity(), 0.9f);
    EXPECT_FALSE(controler->recorder()->hideSoundFile());
    EXPECT_TRUE(logEvents.isEmpty());
}

TEST_F(PreferTest, OwnersSwitchTheirControlsWhileTheyWork) {
    ZuPrefer& prefer = launch();
    ZuRecorder* recorder = controler->recorder();
    click(recorder->recordButton, 1);
    for (ZuControl* c : {&prefer.samplePopup, &prefer.channelsPopup, &prefer.recordSourcePopup,
                         &prefer.modePopup, &prefer.maxRecordPopup, &prefer.useHighQualityCheck})
        EXPECT_FALSE(c->isEnabled()) << c->name().toStdString();
    EXPECT_TRUE(prefer.playSourcePopup.isEnabled());
    click(recorder->recordButton, 0);
    EXPECT_TRUE(prefer.samplePopup.isEnabled());

    click(recorder->reserveButton, 1);
    EXPECT_FALSE(prefer.recordSourcePopup.isEnabled());
    EXPECT_FALSE(prefer.useHighQualityCheck.isEnabled());
    click(recorder->reserveButton, 0);
    EXPECT_TRUE(prefer.recordSourcePopup.isEnabled());
    EXPECT_TRUE(prefer.useHighQualityCheck.isEnabled());

    click(recorder->markerButton, 1);
    EXPECT_FALSE(prefer.markerSoundPopup.isEnabled());
    EXPECT_FALSE(prefer.markerOptionPopup.isEnabled());
    click(recorder->markerButton, 0);
    EXPECT_TRUE(prefer.markerSoundPopup.isEnabled());
}

TEST_F(PreferTest, ALearnedRatioFillsTheFieldAndReleasesTheTrial) {
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    prefer.checkKeepActionButton.setEnabled(false);
    ZuNotificationCenter::defaultCenter().post("CompressRatioNotification", 0.25f);
    EXPECT_EQ(prefer.compressRatioText.text(), "0.25");
    EXPECT_EQ(prefer.compressRatioStepper.value(), 0.25);
    EXPECT_TRUE(prefer.checkKeepActionButton.isEnabled());
    EXPECT_TRUE(prefer.okButton.isEnabled());
    prefer.okButton.perform();
    EXPECT_FLOAT_EQ(controler->keeper()->compressRatio(), 0.25f);
}

TEST_F(PreferTest, TheLastSelectedTabComesBack) {
    launch().tabViewDidSelectTabViewItem(3);
    EXPECT_EQ(ZuSettings::standard().integerForKey("LastSelectedTabIndex"), 3);
    controler.reset();
    EXPECT_EQ(launch().prefTabView.selectedIndex(), 3);
}

TEST_F(PreferTest, TheTrialCompressionLearnsTheRatioAndGivesTheKeeperItsSettingsBack) {
    ZuPrefer& prefer = launch();
    click(prefer.preferButton, 1);
    EXPECT_FALSE(prefer.checkKeepActionButton.isEnabled());
    click(prefer.keepOperationCheck, 1);
    ASSERT_TRUE(prefer.testFileExists());
    ASSERT_TRUE(prefer.checkKeepActionButton.isEnabled());
    const QString before = prefer.compressRatioText.text();
    prefer.checkKeepActionButton.perform();
    ASSERT_FALSE(answerer->modalAlerts.isEmpty());
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "CheckKeepAction");
    EXPECT_FALSE(prefer.checkKeepActionButton.isEnabled());
    // The keeper works on with the drawer's copies; the trial copy is gone.
    EXPECT_FALSE(controler->keeper()->keepOperation());
    EXPECT_FALSE(QFile::exists(controler->mechanic()->recordFolder() + "/Blow.aiff.test"));
    ASSERT_TRUE(waitUntil([&] { return prefer.compressRatioText.text() != before; }));
    const float ratio = prefer.compressRatioText.text().toFloat();
    EXPECT_GT(ratio, 0.0f);
    EXPECT_LT(ratio, 1.0f);
    EXPECT_TRUE(prefer.checkKeepActionButton.isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !controler->keeper()->isCompressing(); }));
}
