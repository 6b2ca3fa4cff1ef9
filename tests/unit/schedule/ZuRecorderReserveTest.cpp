// The recorder's reservation mode on the stepped device and the manual
// clock: entries recorded with their own settings, handed over without a
// gap, the waiting display, and switching off with and without warnings.
#include "ZuScheduleTestSupport.h"

#include <QDir>
#include <QFile>

namespace {
const QDate day(2007, 3, 15);

class RecorderReserveTest : public ScheduleFixture {
protected:
    QByteArray information(const QString& name) const {
        QFile file(folder() + "/" + name);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(256))
            return {};
        return file.read(200);
    }
};
} // namespace

TEST_F(RecorderReserveTest, SwitchingOnInsideAWindowRecordsTheEntryAtOnceWithItsSettings) {
    ZuSettings::standard().setInteger(2, "RecordMode");
    store({{"Talk", 1, at(10, 0), at(11, 0), 0, 2, 2, 1, 0, 0, 0}});
    setNow(day, 10, 30);
    ZuRecorder& r = launch();
    switchReservation(1);
    EXPECT_EQ(r.condition(), 1);
    EXPECT_EQ(r.recordPeriod(), 1800.0);
    EXPECT_EQ(r.actionMethod(), 3);
    EXPECT_EQ(r.timeInfoText.text(), ZuLocalized::text("ReserveStopTime"));
    EXPECT_EQ(r.reserveTimeText.text(), "11:00");
    EXPECT_EQ(r.reserveName(), "Talk");
    EXPECT_EQ(controler->devicer()->recordSource(), 1);
    EXPECT_EQ(r.sampleRate(), 48000.0);
    EXPECT_EQ(r.channels(), 2);
    EXPECT_FALSE(r.recordButton.isEnabled());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("ReserveSwitch"));
    run(2.0);

    // Switching off while it records warns first; the default stops it and
    // brings the user's own settings back.
    switchReservation(0);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].informativeKey, "TimerStopInfo");
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.recordMode(), 2);
    EXPECT_EQ(controler->devicer()->recordSource(), 0);
    EXPECT_TRUE(r.recordButton.isEnabled());
    EXPECT_EQ(r.reserveName(), "");
    EXPECT_FALSE(ZuSettings::standard().boolForKey("ReserveSwitch"));
    ASSERT_EQ(recordings().size(), 1);
    const Sound sound = readSound(folder() + "/" + recordings()[0]);
    EXPECT_EQ(sound.rate, 48000);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_TRUE(information(recordings()[0]).contains("Talk"));
}

TEST_F(RecorderReserveTest, BackToBackWindowsHandOverWithoutAGapAndAreNotSplitOnTheHour) {
    ZuSettings::standard().setBool(true, "StartOnTheHour");
    store({{"First", 1, at(9, 59, 50), at(10, 0, 10), 0, 0, 1, 0, 0, 0, 0},
           {"Second", 1, at(10, 0, 10), at(10, 0, 30), 0, 1, 2, 0, 0, 0, 0}});
    setNow(day, 9, 59, 45);
    ZuRecorder& r = launch();
    switchReservation(1);
    EXPECT_EQ(r.condition(), 3);
    EXPECT_EQ(r.modeText.text(), ZuLocalized::text("TimerMode"));
    EXPECT_EQ(r.reserveName(), "First");
    EXPECT_EQ(r.reserveTimeText.text(), "09:59");
    EXPECT_FALSE(r.startOnTheHour());
    run(50.0);
    EXPECT_EQ(recordings(), (QStringList{"_Nightwarden_20070315_095950~100010.aif",
                                         "_Nightwarden_20070315_100010~100030.aif"}));
    EXPECT_EQ(readSound(folder() + "/" + recordings()[0]).rate, 11025);
    EXPECT_EQ(readSound(folder() + "/" + recordings()[1]).channels, 2);
    EXPECT_EQ(r.condition(), 3);
    switchReservation(0);
    EXPECT_TRUE(r.startOnTheHour());
}

TEST_F(RecorderReserveTest, AWindowOverMidnightRecordsUntilItsStop) {
    store({{"Late", 1, at(23, 0), at(1, 0), 1, 1, 1, 0, 0, 0, 0}});
    setNow(day, 22, 59, 59);
    ZuRecorder& r = launch();
    switchReservation(1);
    EXPECT_EQ(r.condition(), 3);
    run(1.5);
    EXPECT_EQ(r.recordPeriod(), 7200.0);
    EXPECT_TRUE(r.recordState());
    EXPECT_EQ(r.recordMode(), 1);
    EXPECT_EQ(r.actionMethod(), 2);
}

TEST_F(RecorderReserveTest, TheWaitingDisplayCountsDownTheLastFiveMinutes) {
    EXPECT_EQ(ZuRecorder::countdownText(245), "4'05\"" + ZuLocalized::text("Before"));
    EXPECT_EQ(ZuRecorder::countdownText(45), "45\"" + ZuLocalized::text("Before"));
    store({{"Soon", 1, at(12, 0), at(12, 30), 0, 1, 1, 0, 0, 0, 0}});
    setNow(day, 11, 54, 0);
    ZuRecorder& r = launch();
    switchReservation(1);
    EXPECT_EQ(r.conditionText.text(), ZuLocalized::text("Standby"));
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::black));
    ZuClock::advance(75);
    EXPECT_EQ(r.conditionText.text(), "4'45\"" + ZuLocalized::text("Before"));
    EXPECT_EQ(r.conditionText.color(), QColor(Qt::red));
    ZuClock::advance(240);
    EXPECT_EQ(r.conditionText.text(), "45\"" + ZuLocalized::text("Before"));
}

TEST_F(RecorderReserveTest, SwitchingOffShortlyBeforeAStartAsksAndCancelKeepsTheSwitch) {
    store({{"Soon", 1, at(12, 0), at(12, 30), 0, 1, 1, 0, 0, 0, 0}});
    setNow(day, 11, 56, 0);
    ZuRecorder& r = launch();
    switchReservation(1);
    answerer->alertAnswers.push_back(ZuAlertButton::Alternate);
    switchReservation(0);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "TimerStopCaution");
    EXPECT_EQ(answerer->modalAlerts[0].informativeKey, "ReserveCancelInfo");
    EXPECT_EQ(r.reserveButton.state(), 1);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("ReserveSwitch"));
    // The schedule goes on.
    ZuClock::advance(241);
    EXPECT_TRUE(r.recordState());
    // The emergency stop switches off without asking.
    r.emerRecordStop();
    EXPECT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(r.reserveButton.state(), 0);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.actionMethod(), 4);
    ZuClock::advance(5);
    EXPECT_FALSE(r.recordState());
}

TEST_F(RecorderReserveTest, OnTheNightsTheClocksChangeEachWindowIsRecordedOnce) {
    const BerlinTime berlin;
    // Autumn: 02:00 to 03:00 comes twice; the window opens at its first 02:15.
    store({{"Twice", 1, at(2, 15), at(2, 20), 0, 0, 1, 0, 0, 0, 0}});
    ZuClock::useManual(QDateTime(QDate(2026, 10, 25), QTime(2, 10), QTimeZone(7200)));
    launch();
    switchReservation(1);
    run(75 * 60);
    EXPECT_EQ(recordings(), QStringList{"_Nightwarden_20261025_021500~022000.aif"});
    switchReservation(0);
    controler.reset();
    QDir(folder()).removeRecursively();

    // Spring: 02:00 to 03:00 never comes; the window opens an hour late.
    store({{"Skipped", 1, at(2, 30), at(2, 35), 0, 0, 1, 0, 0, 0, 0}});
    setNow(QDate(2026, 3, 29), 1, 55);
    launch();
    switchReservation(1);
    run(50 * 60);
    EXPECT_EQ(recordings(), QStringList{"_Nightwarden_20260329_033000~033500.aif"});
    EXPECT_EQ(recorder().condition(), 3);
}

TEST_F(RecorderReserveTest, ReservationsSwitchOnAtLaunchOnlyWhenRecordingDoesNot) {
    store({{"Later", 1, at(20, 0), at(21, 0), 0, 1, 1, 0, 0, 0, 0}});
    ZuSettings::standard().setBool(true, "ReserveAutoStartup");
    setNow(day, 10, 0);
    launch();
    EXPECT_EQ(recorder().reserveButton.state(), 1);
    EXPECT_EQ(recorder().condition(), 3);
    EXPECT_EQ(recorder().reserveName(), "Later");
    switchReservation(0);
    controler.reset();

    ZuSettings::standard().setBool(true, "AutoRecordStartup");
    launch();
    EXPECT_EQ(recorder().reserveButton.state(), 0);
    EXPECT_EQ(recorder().recordButton.state(), 1);
    switchRecording(0);
}

TEST_F(RecorderReserveTest, AFileThatCannotBeMadeSwitchesReservationsOffForGood) {
    store({{"Now", 1, at(10, 0), at(11, 0), 0, 1, 1, 0, 0, 0, 0},
           {"Soon", 1, at(10, 31), at(11, 0), 0, 1, 1, 0, 0, 0, 0}});
    setNow(day, 10, 30);
    ZuRecorder& r = launch();
    // A file where the folder was: no file can be made there.
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    switchReservation(1);
    EXPECT_EQ(r.reserveButton.state(), 0);
    EXPECT_FALSE(ZuSettings::standard().boolForKey("ReserveSwitch"));
    EXPECT_EQ(r.actionMethod(), 4);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileCreateError");
    ZuClock::advance(120);
    EXPECT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_FALSE(r.recordState());
}
