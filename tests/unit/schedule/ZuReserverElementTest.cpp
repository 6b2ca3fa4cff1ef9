#include "schedule/ZuReserverElement.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuSettings.h"
#include "schedule/ZuReserveList.h"

#include <gtest/gtest.h>

TEST(ReserverElementTest, AFreshEntryIsADisabledAllDayEveryDayEntry) {
    const ZuReserverElement entry;
    EXPECT_EQ(entry.valueArray(),
              (QVariantList{ZuLocalized::text("NoNamedTimer"), 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}));
}

TEST(ReserverElementTest, ValueArraysRoundTripAndDeriveTheClockParts) {
    const QVariantList values{
        "Night", 1, 22 * 3600 + 30 * 60, 6 * 3600 + 15 * 60 + 7, 1, 2, 2, 3, 12, 31, 7};
    const ZuReserverElement entry(values);
    EXPECT_EQ(entry.valueArray(), values);
    EXPECT_EQ(entry.clone()->valueArray(), values);
    EXPECT_EQ(entry.startHour(), 22);
    EXPECT_EQ(entry.startMinute(), 30);
    EXPECT_EQ(entry.stopHour(), 6);
    EXPECT_EQ(entry.stopMinute(), 15);
    EXPECT_EQ(entry.stopSecond(), 7);
    // Out-of-range values are kept as they are.
    EXPECT_EQ(ZuReserverElement({"x", 1, 0, 0, 0, 0, 1, 0, 13, 0, 0}).month(), 13);
}

TEST(ReserveListTest, SavingKeepsTheLoadedSourceUnlessTheUserChoseOne) {
    ZuReserveList::initialize();
    ZuSettings::standard().setArray({QVariantList{"A", 1, 0, 3600, 0, 1, 1, 3, 0, 0, 0},
                                     QVariantList{"B", 1, 0, 3600, 0, 1, 1, 3, 0, 0, 0}},
                                    "TimerList");
    ZuReserveList list;
    list.awakeFromNib();
    ASSERT_EQ(list.timers().size(), 2u);
    // Both rows show another source (as when source 3 does not exist here);
    // the user then picks source 1 for the second entry.
    list.timers()[0]->setDevice(0);
    list.timers()[1]->setDevice(1);
    list.renewFlags()[1] = true;
    list.saveUserDefaults();
    const QVariantList saved = ZuSettings::standard().arrayForKey("TimerList");
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].toList()[ZuReserverElement::deviceIndex].toInt(), 3);
    EXPECT_EQ(saved[1].toList()[ZuReserverElement::deviceIndex].toInt(), 1);
}
