#include "shell/ZuControler.h"
#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuApplicationPort.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuModelWindow.h"
#include "support/NwConsoleCapture.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

class RecordingApplication : public ZuApplicationPort {
public:
    void hide() override { hidden = true; }
    bool terminate() override {
        ++terminateRequests;
        return quitsAtOnce;
    }
    void replyToApplicationShouldTerminate(bool yes) override { replies << yes; }
    void openUrl(const QUrl& url) override { opened << url; }

    bool hidden = false;
    bool quitsAtOnce = false;
    int terminateRequests = 0;
    QList<bool> replies;
    QList<QUrl> opened;
};

class ControlerTest : public testing::Test {
protected:
    void SetUp() override {
        // One duplex device, so that the device manager finds its sources.
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(nwTestDir() + "/records", "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuAuthorizationSetup::resetChecks();
        ZuAuthorizationSetup::setAnswer([this] { return adminAnswer; });
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this,
            [this](const ZuNotification& n) { logEvents << n.object.toString(); });
    }
    void TearDown() override {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        ZuAuthorizationSetup::setAnswer({});
        AuHardware::install(nullptr);
    }

    // Wires and launches a controller with the settings stored so far.
    std::unique_ptr<ZuControler> launch() {
        auto controler = std::make_unique<ZuControler>();
        controler->setWindow(&window);
        controler->setApplication(&app);
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        return controler;
    }

    void requireAdministrator() { ZuSettings::standard().setBool(true, "AuthorizationRequired"); }

    ZuModelWindow window;
    RecordingApplication app;
    std::shared_ptr<ZuScriptedAnswerer> answerer;
    int32_t adminAnswer = 0;
    QStringList logEvents;
};

} // namespace

TEST_F(ControlerTest, LaunchShowsTheRecorderTabAndLogsTheDutyStart) {
    auto controler = launch();
    EXPECT_EQ(window.selectedTab(), 0);
    EXPECT_EQ(window.frame().size(), QSize(352, 262));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(controler->authorizationButton.isEnabled());
    EXPECT_EQ(logEvents, QStringList{"DutyStart"});
    EXPECT_EQ(ZuAuthorizationSetup::checks(), 0);
}

TEST_F(ControlerTest, WithoutAnInputAQuitThatGoesAheadEndsTheLaunch) {
    for (const bool quits : {true, false}) {
        SCOPED_TRACE(quits ? "the quit goes ahead" : "the quit is refused");
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{
                AuVirtualDeviceConfig::standard("Speakers", "spk", 0, 2)},
            AuVirtualHardware::Pacing::Stepped));
        app.quitsAtOnce = quits;
        app.terminateRequests = 0;
        logEvents.clear();
        answerer->modalAlerts.clear();
        auto controler = launch();
        EXPECT_EQ(app.terminateRequests, 1);
        ASSERT_FALSE(answerer->modalAlerts.isEmpty());
        EXPECT_EQ(answerer->modalAlerts[0].messageKey, "NoRecordSource");
        // Only a refused quit opens the duty and shows the window.
        EXPECT_EQ(logEvents.contains("DutyStart"), !quits);
        EXPECT_EQ(window.isVisible(), !quits);
        window.close();
    }
}

TEST_F(ControlerTest, TabsResizeTheWindowKeepingItsTopLeftCorner) {
    auto controler = launch();
    window.setFrame(QRect(200, 150, 352, 262), false);
    const QSize sizes[] = {{352, 262}, {510, 318}, {706, 318}, {376, 318}};
    for (int tab : {2, 1, 3, 0}) {
        controler->selectTabViewItem(tab);
        EXPECT_EQ(window.frame(), QRect(QPoint(200, 150), sizes[tab])) << "tab " << tab;
        EXPECT_EQ(controler->authorizationButton.isEnabled(), tab == 0);
    }
    EXPECT_EQ(ZuAuthorizationSetup::checks(), 0);
}

TEST_F(ControlerTest, ARefusedAdministratorCheckReturnsToTheRecorderTab) {
    requireAdministrator();
    auto controler = launch();
    adminAnswer = -1;
    window.setFrame(QRect(10, 20, 352, 262), false);
    controler->selectTabViewItem(1);
    EXPECT_EQ(window.selectedTab(), 0);
    EXPECT_EQ(window.frame(), QRect(10, 20, 352, 262));
    EXPECT_TRUE(controler->authorizationButton.isEnabled());

    adminAnswer = 0;
    controler->selectTabViewItem(2);
    EXPECT_EQ(window.selectedTab(), 2);
    EXPECT_EQ(window.frame().size(), QSize(706, 318));
}

TEST_F(ControlerTest, SwitchingTheRequirementOffNeedsTheAdministrator) {
    requireAdministrator();
    auto controler = launch();
    EXPECT_EQ(controler->authorizationButton.state(), 1);
    adminAnswer = -1;
    controler->authorizationButton.setState(0);
    controler->authorizationButton.perform();
    EXPECT_EQ(controler->authorizationButton.state(), 1);
    EXPECT_TRUE(controler->authorization());

    adminAnswer = 0;
    controler->authorizationButton.setState(0);
    controler->authorizationButton.perform();
    EXPECT_FALSE(controler->authorization());

    // Switching it on asks nobody.
    ZuAuthorizationSetup::resetChecks();
    controler->authorizationButton.setState(1);
    controler->authorizationButton.perform();
    EXPECT_TRUE(controler->authorization());
    EXPECT_EQ(ZuAuthorizationSetup::checks(), 0);
}

TEST_F(ControlerTest, QuittingIsRefusedWhileRecordingOrReservationsAreOn) {
    auto controler = launch();
    controler->keeper()->setCompressing(true);
    for (ZuControl* button :
         {&controler->recorder()->recordButton, &controler->recorder()->reserveButton}) {
        answerer->modalAlerts.clear();
        button->setState(1);
        EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Cancel);
        ASSERT_EQ(answerer->modalAlerts.size(), 1);
        EXPECT_EQ(answerer->modalAlerts.first().messageKey, "UnableExit");
        EXPECT_EQ(answerer->modalAlerts.first().informativeKey, "StopRecording");
        EXPECT_EQ(answerer->modalAlerts.first().defaultKey, "Understand");
        button->setState(0);
    }
}

TEST_F(ControlerTest, QuittingAsksTheAdministratorWhenRequired) {
    requireAdministrator();
    auto controler = launch();
    adminAnswer = -1;
    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Cancel);
    // A signal's quit has nobody to ask.
    EXPECT_EQ(controler->applicationShouldTerminate(false), ZuTerminateReply::Now);
    adminAnswer = 0;
    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Now);
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
}

TEST_F(ControlerTest, QuittingWhileCompressingCanWaitForTheKeeper) {
    auto controler = launch();
    controler->keeper()->setCompressing(true);

    answerer->alertAnswers = {ZuAlertButton::Alternate};
    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Cancel);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts.first().messageKey, "CompressingCaution");
    EXPECT_EQ(answerer->modalAlerts.first().otherKey, "ApplicationStop");

    NwConsoleCapture console;
    answerer->alertAnswers = {ZuAlertButton::Default};
    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Later);
    EXPECT_TRUE(app.hidden);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(app.replies.isEmpty());
    EXPECT_TRUE(console.lines().contains("standing by complete keeping."));

    ZuNotificationCenter::defaultCenter().post("DataKeepCompleteNotification");
    EXPECT_EQ(app.replies, QList<bool>{true});
    ZuNotificationCenter::defaultCenter().post("DataKeepCompleteNotification");
    EXPECT_EQ(app.replies, QList<bool>{true});
}

TEST_F(ControlerTest, OnlyApplicationStopDeletesTheHiddenRecordings) {
    auto controler = launch();
    const QString recordFolder = controler->mechanic()->recordFolder();
    const QString keepFolder = controler->keeper()->keepFolder();
    const QString hidden = "/.Nightwarden_20070315_143022~153022.aif";
    auto touch = [](const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    touch(recordFolder + hidden);
    touch(keepFolder + hidden);

    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Now);
    EXPECT_TRUE(QFile::exists(recordFolder + hidden));

    controler->keeper()->setCompressing(true);
    answerer->alertAnswers = {ZuAlertButton::Default, ZuAlertButton::Other};
    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Later);
    // A second quit that gives up waiting ends the pending one too.
    EXPECT_EQ(controler->applicationShouldTerminate(), ZuTerminateReply::Now);
    EXPECT_EQ(app.replies, QList<bool>{true});
    EXPECT_FALSE(QFile::exists(recordFolder + hidden));
    EXPECT_FALSE(QFile::exists(keepFolder + hidden));
}

TEST_F(ControlerTest, WithBothAutoStartFlagsOnlyRecordingStarts) {
    ZuSettings::standard().setBool(true, "AutoRecordStartup");
    ZuSettings::standard().setBool(true, "ReserveAutoStartup");
    auto controler = launch();
    EXPECT_EQ(controler->recorder()->recordButton.state(), 1);
    EXPECT_TRUE(controler->recorder()->recordState());
    EXPECT_EQ(controler->recorder()->reserveButton.state(), 0);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("RecordSwitch"));
    EXPECT_FALSE(ZuSettings::standard().boolForKey("ReserveSwitch"));
}

TEST_F(ControlerTest, TheSwitchesSavedAtTheLastQuitAreAppliedAgain) {
    ZuSettings::standard().setBool(true, "ReserveSwitch");
    auto controler = launch();
    EXPECT_EQ(controler->recorder()->reserveButton.state(), 1);
    EXPECT_FALSE(controler->recorder()->recordButton.isEnabled());
}

TEST_F(ControlerTest, TerminationLogsTheFinishAndSavesEverySetting) {
    auto controler = launch();
    controler->setOpacity(0.5f);
    EXPECT_FLOAT_EQ(window.alphaValue(), 0.5f);
    window.setFrame(QRect(30, 40, 352, 262), false);
    controler->recorder()->setRecordMode(1);
    NwConsoleCapture console;
    controler->applicationWillTerminate();
    EXPECT_EQ(logEvents.last(), "DutyFinish");
    EXPECT_TRUE(console.lines().contains("---applicationWillTerminate---"));

    ZuSettings reread;
    reread.setFilePath(ZuSettings::standard().filePath());
    EXPECT_EQ(reread.integerForKey("RecordMode"), 1);
    EXPECT_FLOAT_EQ(reread.floatForKey("WindowOpacity"), 0.5f);
    EXPECT_EQ(reread.stringForKey("MainWindow"), "30 40 352 262");
    EXPECT_FALSE(reread.boolForKey("TroubleTermination"));
    EXPECT_EQ(reread.arrayForKey("TimerList").size(), 1);

    // The next launch puts the window where it was.
    ZuModelWindow next;
    ZuControler again;
    again.setWindow(&next);
    again.awakeFromNib();
    again.applicationDidFinishLaunching();
    EXPECT_EQ(next.frame(), QRect(30, 40, 352, 262));
}

TEST_F(ControlerTest, TheVersionButtonOpensTheManualOnlyWhenAsked) {
    auto controler = launch();
    answerer->alertAnswers = {ZuAlertButton::Alternate, ZuAlertButton::Default};
    controler->versionButton.perform();
    EXPECT_TRUE(app.opened.isEmpty());
    controler->versionButton.perform();
    ASSERT_EQ(app.opened.size(), 1);
    EXPECT_TRUE(app.opened.first().isLocalFile());
    EXPECT_EQ(answerer->modalAlerts.last().messageKey, "SupportPage");
    answerer->alertAnswers = {ZuAlertButton::Default};
    controler->copyrightButton.perform();
    EXPECT_EQ(answerer->modalAlerts.last().defaultKey, "Send");
    EXPECT_EQ(app.opened.last().fragment(), "reporting-a-problem");
}
