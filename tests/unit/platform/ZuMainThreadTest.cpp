#include "platform/ZuMainThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

// Work from other threads runs on the main thread, in the order each thread
// queued it, and sees what its thread wrote before queuing it: the values
// below are plain, so the race detector checks that the hand-over orders them.
TEST(MainThreadTest, WorkFromOtherThreadsRunsThereInOrderAfterWhatPrecededIt) {
    constexpr int perThread = 200;
    std::vector<int> written(2 * perThread, 0);
    std::vector<int> seen[2];
    bool allOnMainThread = true;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                const int slot = t * perThread + i;
                written[size_t(slot)] = slot + 1;
                zuPerformOnMainThread([&, t, slot] {
                    allOnMainThread = allOnMainThread && zuIsMainThread();
                    seen[t].push_back(written[size_t(slot)]);
                });
            }
        });
    for (auto& thread : threads)
        thread.join();
    while (seen[0].size() + seen[1].size() < size_t(2 * perThread))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(allOnMainThread);
    for (int t = 0; t < 2; ++t) {
        ASSERT_EQ(seen[t].size(), size_t(perThread));
        for (int i = 0; i < perThread; ++i)
            ASSERT_EQ(seen[t][size_t(i)], t * perThread + i + 1) << t << " " << i;
    }
}

TEST(MainThreadTest, OnTheMainThreadWorkRunsAtOnce) {
    bool ran = false;
    zuPerformOnMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}
