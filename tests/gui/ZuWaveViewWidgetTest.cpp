// The wave view widget driven by the mouse, and the player tab showing the
// picture of the selected recording. Set NW_SHOT_DIR to keep a picture.
#include "ui/ZuWaveViewWidget.h"

#include "platform/ZuNotificationCenter.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuAnalyzer.h"
#include "playback/ZuPlayer.h"
#include "playback/ZuWaveView.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"
#include "support/NwAiff.h"
#include "support/NwTestSupport.h"
#include "ui/ZuMainWindow.h"
#include "ui/ZuPlayerTab.h"
#include "ui/ZuTableView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMouseEvent>
#include <QTabWidget>
#include <QtEndian>
#include <gtest/gtest.h>
#include <vector>

namespace {

void mouse(QWidget* widget, QEvent::Type type, int x, Qt::KeyboardModifiers modifiers = {}) {
    const QPointF at(x + 0.4, 10.0);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, modifiers);
    QApplication::sendEvent(widget, &event);
}

int magentaColumns(const QImage& shown) {
    int count = 0;
    for (int x = 0; x < shown.width(); ++x)
        count += shown.pixelColor(x, 2) == QColor(255, 0, 255);
    return count;
}

void keepPicture(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("NW_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + "/" + name + ".png");
}

} // namespace

TEST(WaveViewWidget, TheMouseSelectsExtendsAndRestoresColumnsOnScreen) {
    ZuWaveView view;
    QImage black(ZuWaveView::defaultSize, QImage::Format_RGB32);
    black.fill(Qt::black);
    view.setImage(black);
    ZuWaveViewWidget widget(&view);
    widget.show();
    QStringList ends;
    ZuNotificationCenter::defaultCenter().addObserver(
        ZuWaveView::selectRangeEnd, &ends, [&ends](const ZuNotification& note) {
            ends << note.userInfo.value(ZuWaveView::selectedRangeKey).toString();
        });

    mouse(&widget, QEvent::MouseButtonPress, 100);
    mouse(&widget, QEvent::MouseMove, 150);
    mouse(&widget, QEvent::MouseButtonRelease, 150);
    EXPECT_EQ(magentaColumns(widget.grab().toImage()), 50);

    mouse(&widget, QEvent::MouseButtonPress, 150, Qt::ShiftModifier);
    mouse(&widget, QEvent::MouseMove, 150, Qt::ShiftModifier);
    mouse(&widget, QEvent::MouseMove, 200, Qt::ShiftModifier);
    mouse(&widget, QEvent::MouseButtonRelease, 200, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedRange(), (ZuRange{100, 100}));
    EXPECT_EQ(magentaColumns(widget.grab().toImage()), 100);

    // A move without the button held drags nothing; a plain click clears.
    QMouseEvent hover(QEvent::MouseMove, QPointF(300, 10), widget.mapToGlobal(QPointF(300, 10)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &hover);
    mouse(&widget, QEvent::MouseButtonPress, 300);
    mouse(&widget, QEvent::MouseButtonRelease, 300);
    EXPECT_EQ(magentaColumns(widget.grab().toImage()), 0);
    EXPECT_EQ(view.selectedRange().length, 0u);
    EXPECT_EQ(ends, (QStringList{"{100, 50}", "{100, 100}"}));
    ZuNotificationCenter::defaultCenter().removeObserver(&ends);
}

TEST(WaveViewWidget, ThePlayerTabShowsTheSelectedRecordingsPictureOnceBuilt) {
    AuHardware::install(std::make_unique<AuVirtualHardware>(AuVirtualHardware::defaultDevices(),
                                                            AuVirtualHardware::Pacing::Stepped));
    const QString folder = nwTestDir() + "/records";
    ZuSettings::standard().setString(folder, "DirectoryPath");
    ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
    QDir().mkpath(folder);
    // Ten seconds of a loud square wave.
    const QString sound = folder + "/_Nightwarden_20070315_143022~143032.aif";
    nwWriteAiff(
        sound, 220500, [](int64_t i) -> int16_t { return i % 2 ? -20000 : 20000; }, 1, 22050.0);
    ZuControler controler;
    ZuMainWindow window(&controler, [] {});
    controler.setWindow(&window);
    controler.awakeFromNib();
    controler.applicationDidFinishLaunching();
    window.tabs()->setCurrentIndex(1);
    QApplication::processEvents();

    auto* tab = window.findChild<ZuPlayerTab*>();
    auto* wave = window.findChild<ZuWaveViewWidget*>("waveView");
    ASSERT_TRUE(tab && wave);
    ZuTableView* table = tab->table();
    ASSERT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(table->model()->index(0, 2).data().toString(), "14:30:22");
    table->selectRow(0);
    ZuWaveView& view = *controler.player()->waveView();
    // The progress image until the builder reports.
    EXPECT_FALSE(view.image().isNull());
    const QDeadlineTimer deadline(10000);
    while (!ZuAnalyzer::imageFileExistAtPath(sound) ||
           view.image().pixelColor(301, 20) != QColor(0, 255, 255)) {
        ASSERT_FALSE(deadline.hasExpired());
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    mouse(wave, QEvent::MouseButtonPress, 100);
    mouse(wave, QEvent::MouseMove, 200);
    mouse(wave, QEvent::MouseButtonRelease, 200);
    // Cyan under magenta turns white.
    EXPECT_EQ(wave->grab().toImage().pixelColor(150, 20), QColor(255, 255, 255));
    EXPECT_EQ(wave->grab().toImage().pixelColor(150, 5), QColor(255, 0, 255));
    // The position line at a third of the sound, drawn on the shown picture.
    ASSERT_TRUE(controler.mechanic()->openAIFFFileWithPath(sound));
    ZuAnalyzer& analyzer = *controler.analyzer();
    analyzer.drawPositionLine(analyzer.pointAtPosition(controler.mechanic()->numDatas() / 3));
    EXPECT_EQ(analyzer.savePoint(), 160);
    QApplication::processEvents();
    EXPECT_EQ(wave->grab().toImage().pixelColor(160, 5), QColor(255, 0, 0));
    keepPicture(&window, "player-tab-selection");
    analyzer.erasePositionLine();
    QApplication::processEvents();
    EXPECT_EQ(wave->grab().toImage().pixelColor(160, 5), QColor(255, 0, 255));
    controler.applicationWillTerminate();
}
