// The player's drawer under the main window: opened by its switch, taller
// with the file operations, its transport driving the player; and a slider
// bound to a range past what an int holds.
#include "ui/ZuPlayerDrawer.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuControl.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuPlayer.h"
#include "shell/ZuControler.h"
#include "support/NwAiff.h"
#include "support/NwTestSupport.h"
#include "ui/ZuControlBinding.h"
#include "ui/ZuMainWindow.h"
#include "ui/ZuPlayerTab.h"
#include "ui/ZuTableView.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct PlayerDrawerTest : testing::Test {
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(records, "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        QDir().mkpath(records);
        nwWriteAiff(
            records + "/_Nightwarden_20070316_080000~080002.aif", 88200,
            [](int64_t i) -> int16_t { return int16_t(i % 1000 + 1); }, 2, 44100.0);
        ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
        window = std::make_unique<ZuMainWindow>(&controler, [] {});
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        window->tabs()->setCurrentIndex(1);
        QApplication::processEvents();
        tab = qobject_cast<ZuPlayerTab*>(window->tabs()->currentWidget());
        ASSERT_TRUE(tab);
        drawer = window->findChild<ZuPlayerDrawer*>();
        ASSERT_TRUE(drawer);
        player = controler.player();
    }
    void TearDown() override { controler.applicationWillTerminate(); }

    template <typename T> T* in(QWidget* parent, const char* name) const {
        return parent->findChild<T*>(name);
    }

    QString records = nwTestDir() + "/records";
    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
    ZuPlayerTab* tab = nullptr;
    ZuPlayerDrawer* drawer = nullptr;
    ZuPlayer* player = nullptr;
};

} // namespace

TEST_F(PlayerDrawerTest, TheDrawerOpensUnderTheWindowAndItsTransportPlays) {
    EXPECT_FALSE(drawer->isVisible());
    QTest::mouseClick(in<QPushButton>(tab, "controlButton"), Qt::LeftButton);
    ASSERT_TRUE(drawer->isVisible());
    EXPECT_EQ(drawer->height(), 201);
    EXPECT_EQ(drawer->geometry().top(), window->frameGeometry().bottom() + 1);
    EXPECT_FALSE(in<QPushButton>(drawer, "drawer-lockButton")->isVisible());
    QTest::mouseClick(in<QPushButton>(tab, "workButton"), Qt::LeftButton);
    EXPECT_EQ(drawer->height(), 249);
    EXPECT_TRUE(in<QPushButton>(drawer, "drawer-lockButton")->isVisible());

    // Nothing selected: nothing to play.
    EXPECT_FALSE(in<QPushButton>(drawer, "drawer-playButton")->isEnabled());
    tab->table()->selectRow(0);
    QPushButton* play = in<QPushButton>(drawer, "drawer-playButton");
    ASSERT_TRUE(play->isEnabled());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(player->playbacking());
    EXPECT_TRUE(in<QPushButton>(tab, "playButton")->isChecked());
    QTest::mouseClick(in<QPushButton>(tab, "playButton"), Qt::LeftButton);
    EXPECT_FALSE(player->playbacking());
    EXPECT_FALSE(play->isChecked());

    // Forward moves by the step; the settings keep the switches.
    QTest::mouseClick(in<QPushButton>(drawer, "drawer-fastButton"), Qt::LeftButton);
    EXPECT_EQ(player->readPos(), int64_t(player->fastSize()) * player->stepFast());
    EXPECT_EQ(in<QSlider>(drawer, "pointSlider")->value(), player->readPos());

    // Leaving the tab closes the drawer.
    window->tabs()->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_FALSE(drawer->isVisible());
}

TEST(ZuControlBindingSlider, ARangePastAnIntMovesInStepsAndKeepsItsEnds) {
    ZuControl control("position");
    const double size = double(int64_t(3) << 30);
    control.setRange(0.0, size);
    control.setValue(size);
    QSlider slider;
    ZuControlBinding::bind(&slider, &control);
    EXPECT_EQ(slider.maximum(), slider.value());
    EXPECT_GT(slider.maximum(), 0);
    control.setValue(size / 2);
    EXPECT_NEAR(slider.value(), slider.maximum() / 2, 1);
    double seen = -1.0;
    control.setAction([&seen](ZuControl& sender) { seen = sender.value(); });
    slider.setValue(slider.maximum());
    EXPECT_GE(seen, size - 2.0);
    EXPECT_LE(seen, size);
}
