#include "platform/ZuClock.h"
#include "platform/ZuTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <gtest/gtest.h>

namespace {
const QDateTime start = QDateTime(QDate(2026, 12, 8), QTime(13, 59, 30));
} // namespace

TEST(ManualClockTest, AnHourOfMinuteTicksRunsInOneCall) {
    ZuClock::useManual(start);
    ZuTimer minute;
    QList<QDateTime> fired;
    minute.start(60.0, true, [&] { fired << ZuClock::now(); });
    ZuClock::advance(3600.0);
    ASSERT_EQ(fired.size(), 60);
    EXPECT_EQ(fired.first(), start.addSecs(60));
    EXPECT_EQ(fired.last(), start.addSecs(3600));
    EXPECT_EQ(ZuClock::now(), start.addSecs(3600));
    EXPECT_TRUE(minute.isValid());
}

TEST(ManualClockTest, TimersFireInDueOrderAndOneShotsOnce) {
    ZuClock::useManual(start);
    QStringList order;
    ZuTimer tick, once, late;
    tick.start(0.2, true, [&] { order << "tick"; });
    once.start(0.3, false, [&] { order << "once"; });
    late.start(5.0, false, [&] { order << "late"; });
    ZuClock::advance(0.7);
    EXPECT_EQ(order, (QStringList{"tick", "once", "tick", "tick"}));
    EXPECT_FALSE(once.isValid());
    EXPECT_TRUE(late.isValid());
}

TEST(ManualClockTest, ATimerMayStopOrRestartItselfWhenItFires) {
    ZuClock::useManual(start);
    int count = 0;
    ZuTimer timer;
    timer.start(1.0, true, [&] {
        if (++count == 3)
            timer.invalidate();
    });
    ZuClock::advance(10.0);
    EXPECT_EQ(count, 3);

    // A one-shot that re-arms itself, as a display tick does.
    int rearmed = 0;
    std::function<void()> tickFn = [&] {
        if (++rearmed < 5)
            timer.start(0.2, false, tickFn);
    };
    timer.start(0.2, false, tickFn);
    ZuClock::advance(2.0);
    EXPECT_EQ(rearmed, 5);
}

TEST(ManualClockTest, SettingTheClockNeverMakesTimeRunBackwards) {
    ZuClock::useManual(start);
    QList<QDateTime> fired;
    ZuTimer tick;
    tick.start(1.0, true, [&] { fired << ZuClock::now(); });
    // A jump forward: the overdue tick fires once, at the new time, then on.
    ZuClock::useManual(start.addSecs(3600));
    ZuClock::advance(2.0);
    EXPECT_EQ(fired,
              (QList<QDateTime>{start.addSecs(3600), start.addSecs(3601), start.addSecs(3602)}));
    EXPECT_EQ(ZuClock::now(), start.addSecs(3602));
}

TEST(ManualClockTest, ADestroyedTimerNeverFires) {
    ZuClock::useManual(start);
    int count = 0;
    {
        ZuTimer timer;
        timer.start(1.0, true, [&] { ++count; });
    }
    ZuClock::advance(5.0);
    EXPECT_EQ(count, 0);
}

TEST(SystemClockTest, StartAtMovesNowToThatTimeThenRunsOn) {
    const QDateTime then = QDateTime(QDate(2030, 1, 1), QTime(23, 59, 58));
    ZuClock::startAt(then);
    EXPECT_FALSE(ZuClock::isManual());
    const qint64 offset = ZuClock::now().msecsTo(then);
    EXPECT_LE(std::abs(offset), 1000);
    ZuClock::useSystemTime();
}

TEST(SystemClockTest, QtTimersDriveZuTimersUnderTheSystemClock) {
    ZuClock::useSystemTime();
    ZuTimer timer;
    int count = 0;
    timer.start(0.01, true, [&] {
        if (++count == 3)
            timer.invalidate();
    });
    QElapsedTimer guard;
    guard.start();
    while (count < 3 && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(timer.isValid());
}
