#include "platform/ZuSignalWatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <csignal>
#include <gtest/gtest.h>

namespace {

void processUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool handledByDefault(int number) {
    struct sigaction current = {};
    sigaction(number, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

} // namespace

TEST(SignalWatchTest, EachWatchGetsItsOwnSignalsOnTheEventLoopAndGivesThemBack) {
    QList<int> first;
    QList<int> second;
    {
        ZuSignalWatch a({SIGUSR1}, [&first](int number) { first << number; });
        ZuSignalWatch b({SIGUSR2}, [&second](int number) { second << number; });
        ASSERT_TRUE(a.isWatching());
        ASSERT_TRUE(b.isWatching());
        std::raise(SIGUSR1);
        std::raise(SIGUSR2);
        std::raise(SIGUSR1);
        // Nothing runs inside the handler: only the event loop calls back.
        EXPECT_TRUE(first.isEmpty());
        processUntil([&] { return first.size() == 2 && second.size() == 1; });
        EXPECT_EQ(first, (QList<int>{SIGUSR1, SIGUSR1}));
        EXPECT_EQ(second, QList<int>{SIGUSR2});
        EXPECT_FALSE(handledByDefault(SIGUSR1));
    }
    EXPECT_TRUE(handledByDefault(SIGUSR1));
    EXPECT_TRUE(handledByDefault(SIGUSR2));
}

TEST(SignalWatchTest, ALaterWatchTakesTheSignalOver) {
    QList<int> earlier;
    QList<int> later;
    ZuSignalWatch a({SIGUSR1}, [&earlier](int number) { earlier << number; });
    {
        ZuSignalWatch b({SIGUSR1}, [&later](int number) { later << number; });
        std::raise(SIGUSR1);
        processUntil([&] { return !later.isEmpty(); });
        EXPECT_EQ(later, QList<int>{SIGUSR1});
        EXPECT_TRUE(earlier.isEmpty());
    }
    // The later watch gave the signal back to its default, not to the
    // earlier watch: ownership is not stacked.
    EXPECT_TRUE(handledByDefault(SIGUSR1));
}
