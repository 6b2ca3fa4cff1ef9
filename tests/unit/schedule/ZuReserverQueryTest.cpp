// Which entry is due and which comes next, on the manual clock: windows over
// midnight, ties, entries limited to a weekday or a date, and the nights the
// clocks change.
#include "ZuScheduleTestSupport.h"

namespace {
const QDate monday(2007, 3, 12);
const QDate tuesday(2007, 3, 13);

class ReserverQueryTest : public ScheduleFixture {};
} // namespace

TEST_F(ReserverQueryTest, AWindowOverMidnightHoldsBothOfItsEnds) {
    store({{"Night", 1, at(22, 0), at(2, 0), 0, 1, 1, 0, 0, 0, 0}});
    launch();
    for (auto [h, m, s, inside] : std::vector<std::tuple<int, int, int, bool>>{{23, 30, 0, true},
                                                                               {1, 59, 59, true},
                                                                               {2, 0, 0, true},
                                                                               {2, 0, 1, false},
                                                                               {21, 59, 59, false},
                                                                               {22, 0, 0, true}}) {
        setNow(tuesday, h, m, s);
        EXPECT_EQ(reserver().withinElement() != nullptr, inside) << h << ":" << m << ":" << s;
    }
    // An entry whose stop equals its start holds every moment of the day.
    store({{"All", 1, at(7, 0), at(7, 0), 0, 1, 1, 0, 0, 0, 0}});
    list().awakeFromNib();
    for (int h : {0, 6, 7, 12, 23}) {
        setNow(tuesday, h, 59, 59);
        EXPECT_EQ(nameOf(reserver().withinElement()), "All") << h;
    }
}

TEST_F(ReserverQueryTest, TheEarlierEntryInTheListWinsTies) {
    store({{"A", 1, at(10, 0), at(11, 0), 0, 1, 1, 0, 0, 0, 0},
           {"B", 1, at(10, 30), at(12, 0), 0, 1, 1, 0, 0, 0, 0},
           {"Off", 0, at(9, 0), at(13, 0), 0, 1, 1, 0, 0, 0, 0},
           {"C", 1, at(13, 0), at(14, 0), 0, 1, 1, 0, 0, 0, 0},
           {"D", 1, at(13, 0), at(15, 0), 0, 1, 1, 0, 0, 0, 0}});
    launch();
    setNow(tuesday, 10, 45);
    EXPECT_EQ(nameOf(reserver().withinElement()), "A");
    setNow(tuesday, 11, 0, 0);
    EXPECT_EQ(nameOf(reserver().withinElement()), "A");
    // The window ending at this second has no time left; the other has.
    EXPECT_EQ(nameOf(reserver().withinElement(true)), "B");
    setNow(tuesday, 11, 0, 1);
    EXPECT_EQ(nameOf(reserver().withinElement()), "B");
    setNow(tuesday, 12, 30);
    EXPECT_EQ(reserver().withinElement(), nullptr);
    EXPECT_EQ(nameOf(reserver().nextElement()), "C");
    EXPECT_EQ(reserver().nextStartTime(), 1800);
    EXPECT_EQ(reserver().validReserves(), 4);
}

TEST_F(ReserverQueryTest, AWeeklyEntryIsDueOnlyOnItsWeekday) {
    // Monday is weekday 2.
    store({{"Mon", 1, at(10, 0), at(11, 0), 0, 1, 1, 0, 0, 0, 2},
           {"MonNight", 1, at(23, 0), at(1, 0), 0, 1, 1, 0, 0, 0, 2}});
    launch();
    setNow(tuesday, 10, 30);
    EXPECT_EQ(reserver().withinElement(), nullptr);
    setNow(monday, 10, 30);
    EXPECT_EQ(nameOf(reserver().withinElement()), "Mon");
    for (int s : {0, 59}) {
        setNow(monday, 10, 0, s);
        EXPECT_EQ(nameOf(reserver().startElement()), "Mon");
        setNow(tuesday, 10, 0, s);
        EXPECT_EQ(reserver().startElement(), nullptr);
    }
    setNow(monday, 10, 1, 0);
    EXPECT_EQ(reserver().startElement(), nullptr);
    // A window over midnight belongs to the date it began on.
    setNow(tuesday, 0, 30);
    EXPECT_EQ(nameOf(reserver().withinElement()), "MonNight");
    setNow(monday, 0, 30);
    EXPECT_EQ(reserver().withinElement(), nullptr);
}

TEST_F(ReserverQueryTest, AMonthlyEntryIsDueOnlyOnItsDate) {
    store({{"Ides", 1, at(10, 0), at(11, 0), 0, 1, 1, 0, 3, 15, 0},
           {"Fifteenth", 1, at(12, 0), at(13, 0), 0, 1, 1, 0, 0, 15, 0}});
    launch();
    setNow(QDate(2007, 3, 15), 10, 30);
    EXPECT_EQ(nameOf(reserver().withinElement()), "Ides");
    setNow(QDate(2007, 4, 15), 10, 30);
    EXPECT_EQ(reserver().withinElement(), nullptr);
    setNow(QDate(2007, 4, 15), 12, 30);
    EXPECT_EQ(nameOf(reserver().withinElement()), "Fifteenth");
    setNow(QDate(2007, 3, 14), 12, 30);
    EXPECT_EQ(reserver().withinElement(), nullptr);
    // On the evening before, the next start is tomorrow's.
    setNow(QDate(2007, 3, 14), 20, 0);
    EXPECT_EQ(nameOf(reserver().nextElement()), "Ides");
    EXPECT_EQ(reserver().nextStartTime(), 14 * 3600);
}

TEST_F(ReserverQueryTest, TheNextStartIsCountedOnTheCandidatesOwnDate) {
    // Monday 10:00, Tuesday 00:30 (weekday 3), and one never due this week.
    store({{"Mon", 1, at(10, 0), at(11, 0), 0, 1, 1, 0, 0, 0, 2},
           {"TueEarly", 1, at(0, 30), at(1, 0), 0, 1, 1, 0, 0, 0, 3},
           {"Sat", 1, at(9, 0), at(10, 0), 0, 1, 1, 0, 0, 0, 7}});
    launch();
    setNow(monday, 9, 59, 30);
    EXPECT_EQ(reserver().nextStartTime(), 30);
    EXPECT_EQ(nameOf(reserver().nextElement()), "Mon");
    setNow(monday, 23, 50);
    EXPECT_EQ(reserver().nextStartTime(), 2400);
    EXPECT_EQ(nameOf(reserver().nextElement()), "TueEarly");
    // Nothing within a day.
    setNow(tuesday, 1, 0);
    ZuReserverElement* entry = nullptr;
    int32_t seconds = 0;
    reserver().nextElement(&entry, &seconds);
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(seconds, 86400);
}

TEST_F(ReserverQueryTest, OnTheSpringNightAWindowInTheSkippedHourOpensLateButOpens) {
    const BerlinTime berlin;
    const QDate night(2026, 3, 29); // 02:00 CET becomes 03:00 CEST
    store({{"Gap", 1, at(2, 30), at(2, 45), 0, 1, 1, 0, 0, 0, 0},
           {"Across", 1, at(1, 30), at(3, 30), 0, 1, 1, 0, 0, 0, 0}});
    launch();
    // From 00:00 to 05:00 the next start and every period stay within a day.
    int opened = 0;
    ZuClock::useManual(QDateTime(night, QTime(0, 0)));
    for (int step = 0; step < 4 * 3600; step += 15) {
        const int32_t next = reserver().nextStartTime();
        EXPECT_GE(next, 0);
        EXPECT_LE(next, 86400);
        for (int32_t i = 0; i < reserver().count(); ++i) {
            const int32_t period = reserver().recordPeriodOf(*reserver().elementAtIndex(i));
            EXPECT_GE(period, 0);
            EXPECT_LE(period, 86400);
        }
        if (nameOf(reserver().withinElement()) == "Gap")
            ++opened;
        ZuClock::advance(15);
    }
    // 02:30 and 02:45 do not exist: the window runs 03:30 to 03:45 summer time.
    EXPECT_EQ(opened, 61);
    setNow(night, 3, 30);
    EXPECT_EQ(nameOf(reserver().startElement()), "Gap");
    // 01:30 to 03:30 lasts one hour of real time that night.
    setNow(night, 1, 30);
    EXPECT_EQ(nameOf(reserver().withinElement()), "Across");
    EXPECT_EQ(reserver().recordPeriodOf(*reserver().elementAtIndex(1)), 3600);
}

TEST_F(ReserverQueryTest, OnTheAutumnNightAWindowInTheRepeatedHourOpensOnce) {
    const BerlinTime berlin;
    const QDate night(2026, 10, 25); // 03:00 CEST becomes 02:00 CET
    store({{"Twice", 1, at(2, 15), at(2, 30), 0, 1, 1, 0, 0, 0, 0}});
    launch();
    const int64_t firstTwoFifteen =
        QDateTime(night, QTime(2, 15), QTimeZone(7200)).toSecsSinceEpoch();
    ZuClock::useManual(QDateTime(night, QTime(1, 0)));
    std::vector<int64_t> inside;
    for (int step = 0; step < 4 * 3600; step += 60) {
        const int32_t next = reserver().nextStartTime();
        EXPECT_GE(next, 0);
        EXPECT_LE(next, 86400);
        if (reserver().withinElement())
            inside.push_back(ZuClock::nowMSecs() / 1000);
        ZuClock::advance(60);
    }
    // 16 minutes of the first 02:15 to 02:30, none of the second.
    ASSERT_EQ(inside.size(), 16u);
    EXPECT_EQ(inside.front(), firstTwoFifteen);
    EXPECT_EQ(inside.back(), firstTwoFifteen + 15 * 60);
}
