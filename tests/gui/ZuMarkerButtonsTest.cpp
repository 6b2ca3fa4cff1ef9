// The recorder tab's marker switch and the record and monitor buttons it
// titles: image only while the marker is off, the interval beside the image
// while it marks. Set NW_SHOT_DIR to keep a picture of the tab with the marker on.
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"
#include "support/NwTestSupport.h"
#include "ui/ZuMainWindow.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct MarkerButtonsTest : testing::Test {
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings& store = ZuSettings::standard();
        store.setString(nwTestDir() + "/records", "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        store.setString("Tink", "MarkerSoundName");
        store.setInteger(3, "MarkerSoundOption");
        window = std::make_unique<ZuMainWindow>(&controler, [] {});
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        QApplication::processEvents();
    }

    QToolButton* button(const char* name) { return window->findChild<QToolButton*>(name); }

    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
};

} // namespace

TEST_F(MarkerButtonsTest, TheMarkerSwitchTitlesTheRecordAndMonitorButtons) {
    QToolButton* record = button("recordButton");
    QToolButton* monitor = button("monitorButton");
    QToolButton* marker = button("markerButton");
    ASSERT_TRUE(record && monitor && marker);
    EXPECT_EQ(record->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(monitor->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_FALSE(record->icon().isNull());
    EXPECT_EQ(record->toolTip(), "Record");

    QTest::mouseClick(marker, Qt::LeftButton);
    EXPECT_TRUE(controler.recorder()->markerSwitch());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("MarkerSoundSwitch"));
    EXPECT_EQ(record->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    EXPECT_EQ(record->text(), "15");
    // The monitor shows the interval only when it plays the marks too.
    EXPECT_EQ(monitor->toolButtonStyle(), Qt::ToolButtonIconOnly);
    controler.recorder()->setMarkerMonitor(true);
    EXPECT_EQ(monitor->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    EXPECT_EQ(monitor->text(), "15");
    if (const QString dir = qEnvironmentVariable("NW_SHOT_DIR"); !dir.isEmpty()) {
        QDir().mkpath(dir);
        QApplication::processEvents();
        window->grab().save(dir + "/marker-recorder-tab.png");
    }

    QTest::mouseClick(marker, Qt::LeftButton);
    EXPECT_FALSE(controler.recorder()->markerSwitch());
    EXPECT_EQ(record->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(monitor->toolButtonStyle(), Qt::ToolButtonIconOnly);
}
