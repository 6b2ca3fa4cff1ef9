#include "model/RelaunchBrake.h"

#include <gtest/gtest.h>

namespace {

TEST(RelaunchBrake, QuickDeathsWaitTwiceAsLongUpToTheMaximum) {
    RelaunchBrake brake(RelaunchBrake::Delays{1000, 60000, 60000});
    qint64 now = 5000;
    EXPECT_EQ(brake.delayBeforeRelaunch("Mail", now), 0)
        << "the first termination relaunches at once";
    brake.relaunched("Mail", now);
    QList<qint64> delays;
    for (int i = 0; i < 9; ++i) {
        now += 500;
        const qint64 delay = brake.delayBeforeRelaunch("Mail", now);
        delays << delay;
        now += delay;
        brake.relaunched("Mail", now);
    }
    EXPECT_EQ(delays, (QList<qint64>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
    EXPECT_EQ(brake.delayBeforeRelaunch("Notes", now), 0) << "each application counts alone";
}

TEST(RelaunchBrake, StableRunningClearsTheCount) {
    RelaunchBrake brake(RelaunchBrake::Delays{100, 800, 2000});
    brake.relaunched("Mail", 0);
    EXPECT_EQ(brake.delayBeforeRelaunch("Mail", 10), 100);
    brake.relaunched("Mail", 110);
    EXPECT_EQ(brake.delayBeforeRelaunch("Mail", 120), 200);
    brake.relaunched("Mail", 320);
    EXPECT_EQ(brake.delayBeforeRelaunch("Mail", 320 + 2000), 0) << "ran for the stable time";
    EXPECT_EQ(brake.strikes("Mail"), 0);

    brake.relaunched("Mail", 3000);
    EXPECT_EQ(brake.delayBeforeRelaunch("Mail", 3001), 100);
    EXPECT_TRUE(brake.ranStably("Mail"));
    EXPECT_FALSE(brake.ranStably("Mail")) << "nothing left to clear";
    brake.relaunched("Mail", 3200);
    EXPECT_EQ(brake.delayBeforeRelaunch("Mail", 3201), 100);
}

} // namespace
