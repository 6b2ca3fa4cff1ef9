// The preferences drawer in the main window over a real controller: edits in
// its widgets reach the owners, the settings file and the log book. Set
// NW_SHOT_DIR to keep a picture of each tab.
#include "ui/ZuPreferDrawer.h"
#include "keeping/ZuKeeper.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuPlayer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"
#include "support/NwShot.h"
#include "support/NwTestSupport.h"
#include "ui/ZuMainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct PreferDrawerTest : testing::Test {
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(nwTestDir() + "/records", "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        window = std::make_unique<ZuMainWindow>(&controler, [] {});
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        QApplication::processEvents();
        drawer = window->findChild<ZuPreferDrawer*>();
    }
    QToolButton* preferButton() const {
        for (QToolButton* button : window->findChildren<QToolButton*>())
            if (button->text() == "Preferences")
                return button;
        return nullptr;
    }
    template <typename Widget> Widget* find(const char* name) const {
        return drawer->findChild<Widget*>(QString::fromLatin1(name));
    }
    void choose(const char* name, int item) const {
        auto* box = find<QComboBox>(name);
        ASSERT_NE(box, nullptr) << name;
        box->setCurrentIndex(item);
        emit box->activated(item);
    }
    void type(const char* name, const QString& text) const {
        auto* field = find<QLineEdit>(name);
        ASSERT_NE(field, nullptr) << name;
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
    ZuPreferDrawer* drawer = nullptr;
};

} // namespace

TEST_F(PreferDrawerTest, EditsInTheDrawerReachTheOwnersTheSettingsAndTheLogBook) {
    ASSERT_NE(drawer, nullptr);
    QToolButton* button = preferButton();
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(drawer->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(drawer->isVisible());
    auto* ok = find<QPushButton>("okButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_FALSE(ok->isEnabled());

    for (int tab = 0; tab < drawer->tabs()->count(); ++tab) {
        drawer->tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
        nwKeepShot(drawer, QStringLiteral("prefer-tab%1").arg(tab + 1));
    }
    drawer->tabs()->setCurrentIndex(1);
    choose("channelsPopup", 1);
    type("preBufferSecText", "10");
    QTest::mouseClick(find<QCheckBox>("hideSoundFileCheck"), Qt::LeftButton);
    drawer->tabs()->setCurrentIndex(5);
    QTest::mouseClick(find<QCheckBox>("keepOperationCheck"), Qt::LeftButton);
    auto* stepper = find<QWidget>("keepPeriodStepper");
    ASSERT_NE(stepper, nullptr);
    ASSERT_TRUE(stepper->isEnabled());
    QTest::mouseClick(stepper->findChildren<QToolButton*>().first(), Qt::LeftButton);
    EXPECT_EQ(find<QLineEdit>("keepPeriodText")->text(), "11");
    drawer->tabs()->setCurrentIndex(2);
    choose("markerOptionPopup", 2);
    ASSERT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    QApplication::processEvents();

    EXPECT_FALSE(drawer->isVisible());
    EXPECT_FALSE(button->isChecked());
    ZuRecorder* recorder = controler.recorder();
    EXPECT_EQ(recorder->channels(), 2);
    EXPECT_EQ(recorder->preBufferSec(), 10);
    EXPECT_TRUE(recorder->hideSoundFile());
    EXPECT_EQ(recorder->markerOption(), 2);
    EXPECT_TRUE(controler.keeper()->keepOperation());
    EXPECT_EQ(controler.keeper()->keepPeriod(), 11);

    QSettings file(nwTestDir() + "/settings.conf", QSettings::IniFormat);
    EXPECT_EQ(file.value("ChannelsNumber").toInt(), 2);
    EXPECT_EQ(file.value("PreBufferingSeconds").toInt(), 10);
    EXPECT_EQ(file.value("HideSoundFileFlag").toString(), "true");
    EXPECT_EQ(file.value("MarkerSoundOption").toInt(), 2);
    EXPECT_EQ(file.value("KeepOperation").toString(), "true");
    EXPECT_EQ(file.value("KeepFileKeepPeriod").toInt(), 11);
    EXPECT_EQ(file.value("LastSelectedTabIndex").toInt(), 2);

    QFile log(ZuDutyLog::logBookPath(controler.mechanic()->recordFolder()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString book = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(book.contains("RECORD CHANNELS CHANGED")) << book.toStdString();
    EXPECT_TRUE(book.contains("PRIOR TIME CHANGED"));
    EXPECT_TRUE(book.contains("MARKER INTERVAL CHANGED"));
    EXPECT_FALSE(book.contains("SAMPLING RATE CHANGED"));
}

TEST_F(PreferDrawerTest, TheMarkerTabsPlayButtonPlaysTheChosenSoundOnThePlayDevice) {
    ASSERT_NE(drawer, nullptr);
    QTest::mouseClick(preferButton(), Qt::LeftButton);
    ASSERT_TRUE(drawer->isVisible());
    for (int tab = 0; tab < drawer->tabs()->count(); ++tab)
        if (drawer->tabs()->tabText(tab) == "Marker")
            drawer->tabs()->setCurrentIndex(tab);
    QApplication::processEvents();
    auto* play = find<QPushButton>("markerPlayButton");
    ASSERT_NE(play, nullptr);
    ASSERT_TRUE(play->isVisible());
    EXPECT_TRUE(play->isEnabled());
    EXPECT_TRUE(play->toolTip().isEmpty());
    EXPECT_FALSE(controler.player()->shortSoundPlaying());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(controler.player()->shortSoundPlaying());
}
