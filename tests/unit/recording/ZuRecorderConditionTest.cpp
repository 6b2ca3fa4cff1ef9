// The condition machine row by row, the level delay, the displays and the
// switches, on a stepped device and the manual clock.
#include "ZuRecorderTestSupport.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuManualTimers.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuLevelMeter.h"
#include "support/NwConsoleCapture.h"
#include "support/NwFileSizeLimit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

class RecorderConditionTest : public RecorderFixture {
protected:
    // Moves the manual clock on as ZuClock::advance does, answering how many
    // timers fired on the way.
    static int wakeupsOver(double seconds) {
        static int fired;
        fired = 0;
        const int64_t from = ZuClock::nowMSecs();
        const int64_t to = from + std::llround(seconds * 1000.0);
        ZuManualTimers::runUntil(from, to, [](int64_t now) {
            ++fired;
            ZuClock::useManual(QDateTime::fromMSecsSinceEpoch(now));
        });
        ZuClock::useManual(QDateTime::fromMSecsSinceEpoch(to));
        return fired;
    }
    ZuRecorder& armed(int32_t mode, int32_t autoLevel = 10) {
        ZuSettings::standard().setInteger(mode, "RecordMode");
        ZuSettings::standard().setInteger(autoLevel, "AutoStartLevel");
        ZuRecorder& r = launch();
        switchRecording(1);
        return r;
    }
    void tick(double seconds = 0.05) {
        run(seconds);
        recorder().controlAutoDelay();
    }
};

} // namespace

TEST_F(RecorderConditionTest, DisarmedStopsARecordingAndOtherwiseStaysStopped) {
    ZuRecorder& r = armed(0);
    ASSERT_EQ(r.condition(), 1);
    run(1.0);
    switchRecording(0);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_FALSE(r.recordState());
    EXPECT_EQ(recordings().size(), 1);
    r.resetCondition();
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(recordings().size(), 1);
    EXPECT_EQ(r.conditionText.text(), ZuLocalized::text("Stopped"));
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::black));
}

TEST_F(RecorderConditionTest, AlwaysModeStartsOnceAndKeepsRecording) {
    ZuRecorder& r = armed(0);
    EXPECT_EQ(r.condition(), 1);
    EXPECT_TRUE(r.writeThread());
    for (int i = 0; i < 10; ++i)
        tick();
    EXPECT_EQ(r.condition(), 1);
    EXPECT_TRUE(QFile::exists(folder() + "/.NightwardenTempFile"));
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::red));
}

TEST_F(RecorderConditionTest, LevelModeFollowsTheThresholdAndTheDelay) {
    ZuSettings::standard().setFloat(5.0f, "AutoStopDelayTime");
    ZuRecorder& r = armed(1, 10);
    // Below the threshold and not recording: unchanged, shown as red standby.
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.conditionText.text(), ZuLocalized::text("Standby"));
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::red));
    level = 10;
    tick();
    EXPECT_EQ(r.condition(), 1);
    tick();
    EXPECT_EQ(r.condition(), 1);
    // Low for less than the delay keeps it; a rise cancels the pending stop.
    level = 3;
    tick();
    run(3.0);
    tick();
    EXPECT_EQ(r.condition(), 1);
    level = 12;
    tick();
    level = 3;
    tick();
    run(4.5);
    tick();
    EXPECT_EQ(r.condition(), 1);
    run(0.6);
    tick();
    EXPECT_EQ(r.condition(), 2);
    EXPECT_EQ(recordings().size(), 1);
    // Still low while in standby: unchanged.
    tick();
    EXPECT_EQ(r.condition(), 2);
    EXPECT_EQ(r.actionMethod(), 0);
}

TEST_F(RecorderConditionTest, TheDelayCountsWholeSecondsFromTheFirstLowTick) {
    ZuSettings::standard().setFloat(5.0f, "AutoStopDelayTime");
    ZuRecorder& r = armed(1, 10);
    level = 15;
    tick();
    level = 0;
    tick();
    const QDateTime low = ZuClock::now();
    while (r.condition() == 1)
        tick();
    // The stop comes at the first tick at which the truncated time since the
    // drop reaches the delay. The meter's own tick may have seen the drop up
    // to one tick before the test's.
    const double stoppedAfter = low.msecsTo(ZuClock::now()) / 1000.0;
    EXPECT_GE(stoppedAfter, 5.0 - 0.05);
    EXPECT_LT(stoppedAfter, 5.1);
}

TEST_F(RecorderConditionTest, StandbyModeStopsARecordingAndNeverRecords) {
    ZuRecorder& r = armed(0);
    ASSERT_EQ(r.condition(), 1);
    run(0.5);
    r.setRecordMode(2);
    EXPECT_EQ(r.condition(), 2);
    EXPECT_EQ(recordings().size(), 1);
    EXPECT_TRUE(r.levelSlider.isEnabled());
    level = 20;
    tick();
    EXPECT_EQ(r.condition(), 2);
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::red));
    level = 0;
    tick();
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::black));
    EXPECT_EQ(recordings().size(), 1);
    EXPECT_FALSE(QFile::exists(folder() + "/.NightwardenTempFile"));
}

TEST_F(RecorderConditionTest, AnUnknownModeLeavesTheConditionAlone) {
    ZuRecorder& r = armed(0);
    ASSERT_EQ(r.condition(), 1);
    r.setRecordMode(7);
    EXPECT_EQ(r.condition(), 1);
    r.setRecordMode(2);
    r.setRecordMode(7);
    EXPECT_EQ(r.condition(), 2);
}

TEST_F(RecorderConditionTest, DisplaysShowModeChannelsRateAndButtonImages) {
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuRecorder& r = armed(1);
    EXPECT_EQ(r.modeText.text(), ZuLocalized::text("AutoMode"));
    EXPECT_EQ(r.channelsText.text(), ZuLocalized::text("ChannelStereo"));
    EXPECT_EQ(r.samplingText.text(), "22.05");
    EXPECT_EQ(r.recordButton.imageName(), "RecordOnOtherButton.tif");
    switchRecording(0);
    EXPECT_EQ(r.recordButton.imageName(), "RecordOffOtherButton.tif");
    r.setRecordMode(0);
    EXPECT_EQ(r.modeText.text(), ZuLocalized::text("AlwaysMode"));
    r.setChannels(1);
    EXPECT_EQ(r.channelsText.text(), ZuLocalized::text("ChannelMono"));
    EXPECT_EQ(ZuRecorder::timeText(3723.9), "1:02'03\"");
}

TEST_F(RecorderConditionTest, TheRecordingTextBlinksEightTicksOnAndTwoOff) {
    window = &modelWindow;
    ZuRecorder& r = armed(0);
    QString shown;
    int hidden = 0;
    for (int i = 0; i < 20; ++i) {
        ZuClock::advance(0.2);
        if (r.conditionText.text().isEmpty())
            ++hidden;
        else
            shown = r.conditionText.text();
    }
    EXPECT_EQ(shown, ZuLocalized::text("Recording"));
    EXPECT_EQ(hidden, 4);
    EXPECT_EQ(r.recordTimeText.text(), "0:00'04\"");
}

TEST_F(RecorderConditionTest, EachWriteBatchLightsTheWriteIndicatorForOneTick) {
    window = &modelWindow;
    ZuRecorder& r = armed(1, 10);
    run(2.0);
    level = 20;
    tick();
    ASSERT_EQ(r.condition(), 1);
    // The prior time is written as soon as the write thread runs.
    QDeadlineTimer deadline(10000);
    while (r.writeIndicator.state() == 0 && !deadline.hasExpired())
        ZuClock::advance(0.2);
    EXPECT_EQ(r.writeIndicator.state(), 1);
    EXPECT_FALSE(r.writeIndicator.text().isEmpty());
    ZuClock::advance(0.2);
    EXPECT_EQ(r.writeIndicator.state(), 0);
    EXPECT_TRUE(r.writeIndicator.text().isEmpty());
}

TEST_F(RecorderConditionTest, TheEmergencyStopEndsTheRecordingAndBothSwitches) {
    ZuRecorder& r = armed(0);
    run(0.5);
    r.emerRecordStop();
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.recordButton.state(), 0);
    EXPECT_EQ(r.reserveButton.state(), 0);
    EXPECT_EQ(r.actionMethod(), 4);
    EXPECT_FALSE(ZuSettings::standard().boolForKey("RecordSwitch"));
    EXPECT_EQ(recordings().size(), 1);
}

TEST_F(RecorderConditionTest, ADeviceThatDiesWhileDisarmedIsOnlyReported) {
    ZuRecorder& r = launch();
    NwConsoleCapture console;
    hardware->unplugDevice(controler->devicer()->recordDevice()->deviceID());
    EXPECT_EQ(r.condition(), 0);
    EXPECT_TRUE(console.lines().contains("ZuRecorder: record device is lost."));
    EXPECT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_TRUE(recordings().isEmpty());
}

TEST_F(RecorderConditionTest, ASplitWhoseNewFileCannotBeCreatedStopsOnceAndKeepsTheFinishedFile) {
    ZuRecorder& r = armed(0);
    run(1.0);
    QStringList events;
    const QString moved = nwTestDir() + "/moved";
    ZuNotificationCenter::defaultCenter().addObserver(
        ZuLogEvent::notificationName, this, [&](const ZuNotification& n) {
            events << n.object.toString();
            // The record folder goes away between the split's stop and start.
            if (n.object.toString() == "RecordingStop" && !QFileInfo::exists(moved))
                QDir().rename(folder(), moved);
        });
    NwConsoleCapture console;
    r.restartRecording();
    ZuNotificationCenter::defaultCenter().removeObserver(this);

    EXPECT_EQ(events.count("RecordingStop"), 1) << events.join(", ").toStdString();
    EXPECT_FALSE(console.lines().contains("ZuRecorder: record file rename error."));
    EXPECT_TRUE(console.lines().contains("ZuRecorder: record file create error."));
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.recordButton.state(), 0);
    EXPECT_EQ(QDir(moved).entryList({"_Nightwarden_*.aif"}, QDir::Files).size(), 1);
}

TEST_F(RecorderConditionTest, WithoutAWindowOnlyTheLevelTriggeredModeTicksOftenerThanOnceASecond) {
    ZuSettings::standard().setFloat(120.0f, "MaxRecordTime");
    ZuSettings::standard().setInteger(10, "AutoStartLevel");
    ZuRecorder& r = launch();
    ZuLevelMeter& meter = *controler->meter();
    EXPECT_LE(wakeupsOver(30.0), 30);
    EXPECT_FALSE(meter.isTicking());

    // Recording in the always mode: the minute work still splits at the
    // longest length, at second 0.
    switchRecording(1);
    ASSERT_EQ(r.condition(), 1);
    EXPECT_LE(wakeupsOver(150.0), 153);
    EXPECT_EQ(r.recordTimeText.text(), "0:00'00\"");
    EXPECT_TRUE(QFile::exists(folder() + "/_Nightwarden_20070315_143052~143252.aif"))
        << recordings().join(' ').toStdString();
    EXPECT_EQ(r.actionMethod(), 1);

    r.setRecordMode(2);
    EXPECT_EQ(r.condition(), 2);
    EXPECT_LE(wakeupsOver(30.0), 30);

    // The level-triggered mode decides at the meter's pace.
    level = 15;
    r.setRecordMode(1);
    EXPECT_TRUE(meter.isTicking());
    EXPECT_EQ(r.condition(), 1);
    level = 0;
    EXPECT_GE(wakeupsOver(10.0), 200);
    EXPECT_EQ(r.condition(), 2);
    switchRecording(0);
    EXPECT_FALSE(meter.isTicking());
    EXPECT_EQ(recordings().size(), 3) << recordings().join(' ').toStdString();

    // A window brings the display ticks back.
    controler->setWindow(&modelWindow);
    EXPECT_TRUE(meter.isTicking());
    EXPECT_GE(wakeupsOver(1.0), 20);
}

TEST_F(RecorderConditionTest, AWriteThatFailsWithoutAWindowIsAnsweredOnTheMainThread) {
    ZuRecorder& r = armed(1, 10);
    run(4.0);
    {
        // The prior time is the first batch, and the disk is full.
        NwFileSizeLimit limit(ZuAudioFile::headerLength);
        level = 15;
        r.controlAutoDelay();
        ASSERT_EQ(r.condition(), 1);
        QDeadlineTimer deadline(10000);
        while (r.fileWriteing() && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        ASSERT_FALSE(r.fileWriteing());
    }
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    QDeadlineTimer deadline(10000);
    while (answerer->modalAlerts.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileWriteError");
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.actionMethod(), 4);
    EXPECT_FALSE(ZuSettings::standard().boolForKey("RecordSwitch"));
    EXPECT_EQ(recordings().size(), 1);
}
