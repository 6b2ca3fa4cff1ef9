#include "logbook/ZuConsoleUser.h"
#include "logbook/ZuDutyLog.h"
#include "logbook/ZuDutyLogText.h"
#include "platform/ZuClock.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

constexpr int threadCount = 8;
constexpr int errorsPerThread = 150;

QString messageOf(int thread, int n) {
    // Long messages make a torn write far more likely to show.
    return QStringLiteral("ZuRecorder: thread %1 error %2 ").arg(thread).arg(n) +
           QString(600, QLatin1Char('a' + thread));
}

} // namespace

// Errors come from the write thread and the analyzer's threads while the main
// thread logs its own events and finally closes the duty.
TEST(DutyLogConcurrentTest, ConcurrentErrorsFromManyThreadsLeaveEveryBlockIntact) {
    ZuClock::useManual(QDateTime(QDate(2007, 3, 5), QTime(9, 0, 0)));
    ZuDutyLogValues values;
    values.recordFolder = nwTestDir() + "/records";
    values.channels = 2;
    ZuDutyLog log;
    log.setValueSource([&values] { return values; });
    log.awakeFromNib();
    ZuLogEvent::post("DutyStart");
    ASSERT_TRUE(log.isLogging());

    std::atomic<int> posted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([t, &posted, &log] {
            for (int n = 0; n < errorsPerThread; ++n) {
                // Half the threads bypass the notification center, which
                // happens to call one observer at a time: the log book must
                // not rely on that.
                if (t % 2 == 0)
                    ZuLogEvent::post(ZuLogEvent::someErrorHappen, messageOf(t, n));
                else
                    log.logEventNotificationHandler(
                        {ZuLogEvent::notificationName, ZuLogEvent::someErrorHappen,
                         QVariantMap{{ZuLogEvent::messageKey, messageOf(t, n)}}});
                posted.fetch_add(1);
            }
        });
    int changes = 0;
    const int total = threadCount * errorsPerThread;
    while (posted.load() < total / 2) {
        ZuLogEvent::post("ChannelsChange");
        ++changes;
    }
    const int postedBeforeFinish = posted.load();
    ZuLogEvent::post("DutyFinish");
    for (std::thread& thread : threads)
        thread.join();

    QFile file(ZuDutyLog::logBookPath(values.recordFolder));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    const QString head =
        ZuDutyLogText::titleLine() +
        ZuDutyLogText::dutyStartBlock(ZuConsoleUser::shortName(),
                                      QDateTime(QDate(2007, 3, 5), QTime(9, 0, 0)), values);
    const QString finish = "2007.3.5 09:00:00 DUTY FINISH\n\tduty time\t= 00:00'00\"\n";
    ASSERT_TRUE(text.startsWith(head));
    ASSERT_TRUE(text.endsWith(finish)) << "the finish is the last block";
    text = text.mid(head.size(), text.size() - head.size() - finish.size());

    static const QRegularExpression errorBlock(
        R"(^2007\.3\.5 09:00:00 ERROR HAPPEN\n\t(ZuRecorder: thread (\d) error (\d+) ([a-z])+)\t$)");
    static const QRegularExpression changeBlock(
        R"(^2007\.3\.5 09:00:00 RECORD CHANNELS CHANGED\n\tchannels\t= stereo$)");
    ASSERT_TRUE(text.endsWith("\n\n"));
    const QStringList blocks = text.left(text.size() - 2).split("\n\n");
    QSet<QString> seen;
    int changeBlocks = 0;
    for (const QString& block : blocks) {
        if (changeBlock.match(block).hasMatch()) {
            ++changeBlocks;
            continue;
        }
        const QRegularExpressionMatch m = errorBlock.match(block);
        ASSERT_TRUE(m.hasMatch()) << "torn block: " << block.left(200).toStdString();
        EXPECT_EQ(m.captured(1), messageOf(m.captured(2).toInt(), m.captured(3).toInt()));
        EXPECT_FALSE(seen.contains(m.captured(1))) << "written twice";
        seen.insert(m.captured(1));
    }
    EXPECT_EQ(changeBlocks, changes);
    EXPECT_GE(seen.size(), postedBeforeFinish);
    EXPECT_LE(seen.size(), total);
}
