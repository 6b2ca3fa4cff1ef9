#include "platform/ZuNotificationCenter.h"

#include <QStringList>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(NotificationCenterTest, DeliversToTheObserversOfThatNameWithObjectAndUserInfo) {
    ZuNotificationCenter center;
    QStringList seen;
    int owner1 = 0, owner2 = 0;
    center.addObserver("A", &owner1, [&](const ZuNotification& n) {
        seen << n.name + ":" + n.object.toString() + ":" + n.userInfo.value("k").toString();
    });
    center.addObserver("B", &owner2, [&](const ZuNotification& n) { seen << n.name; });
    center.post("A", "obj", {{"k", "v"}});
    center.post("C");
    EXPECT_EQ(seen, QStringList{"A:obj:v"});

    center.removeObserver(&owner1);
    center.post("A");
    center.post("B");
    EXPECT_EQ(seen, (QStringList{"A:obj:v", "B"}));
}

TEST(NotificationCenterTest, RemovingByNameLeavesTheOwnersOtherObservations) {
    ZuNotificationCenter center;
    int owner = 0, calls = 0;
    center.addObserver("A", &owner, [&](const ZuNotification&) { ++calls; });
    center.addObserver("B", &owner, [&](const ZuNotification&) { calls += 10; });
    center.removeObserver(&owner, "A");
    center.post("A");
    center.post("B");
    EXPECT_EQ(calls, 10);
}

TEST(NotificationCenterTest, AnObserverRemovedDuringAPostIsNotCalledAfterwards) {
    ZuNotificationCenter center;
    int first = 0, second = 0;
    int secondCalls = 0;
    center.addObserver("N", &first, [&](const ZuNotification&) { center.removeObserver(&second); });
    center.addObserver("N", &second, [&](const ZuNotification&) { ++secondCalls; });
    center.post("N");
    center.post("N");
    EXPECT_EQ(secondCalls, 0);
}

TEST(NotificationCenterTest, AnObserverMayRemoveItselfAndPostFromItsCallback) {
    ZuNotificationCenter center;
    int owner = 0, calls = 0, echoes = 0;
    center.addObserver("Echo", &owner, [&](const ZuNotification&) { ++echoes; });
    center.addObserver("N", &owner, [&](const ZuNotification&) {
        ++calls;
        center.post("Echo");
        center.removeObserver(&owner);
    });
    center.post("N");
    center.post("N");
    center.post("Echo");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(echoes, 1);
}

TEST(NotificationCenterTest, ConcurrentPostingAndRemovalNeverCallsARemovedObserver) {
    ZuNotificationCenter center;
    constexpr int observers = 40;
    struct Owner {
        std::atomic<bool> removed{false};
        std::atomic<int> lateCalls{0};
        std::atomic<int> calls{0};
    };
    std::vector<Owner> owners(observers);
    for (auto& owner : owners)
        center.addObserver("Tick", &owner, [&owner](const ZuNotification&) {
            owner.calls++;
            if (owner.removed.load())
                owner.lateCalls++;
        });

    std::atomic<bool> stop{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&] {
            while (!stop.load())
                center.post("Tick");
        });
    std::thread adder([&] {
        // Registrations come and go meanwhile.
        int extra = 0;
        for (int i = 0; i < 500; ++i) {
            center.addObserver("Tick", &extra, [](const ZuNotification&) {});
            center.removeObserver(&extra);
        }
    });
    for (auto& owner : owners) {
        center.removeObserver(&owner);
        owner.removed = true;
    }
    adder.join();
    stop = true;
    for (auto& poster : posters)
        poster.join();
    for (const auto& owner : owners)
        EXPECT_EQ(owner.lateCalls.load(), 0);
}
