// The main window over a real controller: tabs, sizes and the recorder tab's
// bindings. Set NW_SHOT_DIR to keep a picture of each tab.
#include "ui/ZuMainWindow.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"
#include "support/NwTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct MainWindowTest : testing::Test {
    void SetUp() override {
        // A stepped virtual input, so that the record button has something to record.
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(nwTestDir() + "/records", "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        window = std::make_unique<ZuMainWindow>(&controler, [this] { ++quitRequests; });
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        QApplication::processEvents();
    }

    void keepPicture(const QString& name) {
        const QString dir = qEnvironmentVariable("NW_SHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        window->grab().save(dir + "/" + name + ".png");
    }

    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
    int quitRequests = 0;
};

} // namespace

TEST_F(MainWindowTest, ClickingATabResizesTheWindowAroundItsTopLeftCorner) {
    window->setFrame(QRect(120, 80, 352, 262), false);
    const QSize sizes[] = {{352, 262}, {510, 318}, {706, 318}, {376, 318}};
    const char* names[] = {"recorder", "player", "reservations", "keeping"};
    for (int tab : {1, 2, 3, 0}) {
        window->tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
        EXPECT_EQ(window->geometry(), QRect(QPoint(120, 80), sizes[tab])) << tab;
        keepPicture(QStringLiteral("tab-%1-%2").arg(tab).arg(names[tab]));
    }
}

TEST_F(MainWindowTest, TheRecorderTabShowsAndDrivesTheRecordersControls) {
    auto* record = window->findChild<QToolButton*>("recordButton");
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->isChecked());
    QTest::mouseClick(record, Qt::LeftButton);
    EXPECT_EQ(controler.recorder()->recordButton.state(), 1);
    EXPECT_TRUE(controler.recorder()->recordState());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("RecordSwitch"));

    controler.recorder()->conditionText.setText("Recording");
    controler.recorder()->conditionText.setColor(Qt::red);
    auto* condition = window->findChild<QLabel*>("conditionText");
    ASSERT_NE(condition, nullptr);
    EXPECT_EQ(condition->text(), "Recording");
    EXPECT_EQ(condition->palette().color(QPalette::WindowText), QColor(Qt::red));

    auto* slider = window->findChild<QSlider*>("levelSlider");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->maximum(), 20);
    controler.recorder()->levelSlider.setValue(12);
    EXPECT_EQ(slider->value(), 12);
}

TEST_F(MainWindowTest, ClosingTheWindowAsksTheControllerInsteadOfQuitting) {
    ASSERT_TRUE(window->isVisible());
    QWidget* widget = window.get();
    widget->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(quitRequests, 1);
}

TEST_F(MainWindowTest, TheAuthorizationBoxFollowsTheSetting) {
    auto* box = window->findChild<QCheckBox*>("authorizationButton");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(controler.authorization());
}
