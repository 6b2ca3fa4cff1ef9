#pragma once

#include <QDateTime>
#include <cstdint>

// Every "now" of the recorder. System time plus an optional offset
// (--clock-start), or a manual clock that tests set and advance; advancing the
// manual clock fires the ZuTimers that fall due, in order, on the calling
// thread.
class ZuClock {
public:
    static QDateTime now();
    static int64_t nowMSecs();

    static void useSystemTime(int64_t offsetMSecs = 0);
    static void startAt(const QDateTime& start); // system pace from that local time
    static void useManual(const QDateTime& start);
    static bool isManual();

    // Manual clock only: moves time forward, firing due timers on the way.
    static void advance(double seconds);
};
