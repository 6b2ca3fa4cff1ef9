#include "support/ZgTestEnvironment.h"
#include "workspace/InstanceClient.h"
#include "workspace/InstanceLock.h"
#include "workspace/InstanceServer.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utime.h>

namespace {

TEST(InstanceLock, OnePerSettingsFileHeldForAsLongAsTheHolderRuns) {
    ZgTestEnvironment env;
    InstanceLock first(env.settingsFile());
    ASSERT_TRUE(first.tryLock());
    EXPECT_EQ(QFileInfo(first.lockPath()).fileName(), "ZuGhoulizer.conf.running");

    InstanceLock second(env.settingsFile());
    EXPECT_FALSE(second.tryLock());
    EXPECT_TRUE(second.isHeldElsewhere());
    EXPECT_EQ(second.holderPid(), getpid());
    EXPECT_EQ(second.serverPath(), first.serverPath());

    // A watchdog runs for days: an old lock of a live holder still holds.
    const QByteArray path = QFile::encodeName(first.lockPath());
    const utimbuf dayAgo{time(nullptr) - 86400, time(nullptr) - 86400};
    ASSERT_EQ(utime(path.constData(), &dayAgo), 0);
    EXPECT_FALSE(second.tryLock());

    InstanceLock other(env.root() + "/config/ZuGhoulizer/Other.conf");
    EXPECT_TRUE(other.tryLock()) << "another settings file, another watchdog";
    EXPECT_NE(other.serverPath(), first.serverPath());
    const QString respelled = env.root() + "/config/ZuGhoulizer/../ZuGhoulizer/ZuGhoulizer.conf";
    EXPECT_EQ(InstanceLock(respelled).serverPath(), first.serverPath())
        << "the same file by another spelling";

    first.unlock();
    EXPECT_TRUE(second.tryLock());
}

TEST(InstanceLock, LockFilesThatHoldNobodyAreTakenOver) {
    ZgTestEnvironment env;
    InstanceLock lock(env.settingsFile());
    // Cut short by a crash while it was written: no holder in it.
    env.writeFile("config/ZuGhoulizer/ZuGhoulizer.conf.running", "");
    EXPECT_TRUE(lock.tryLock());
    lock.unlock();

    // Left by a holder that has ended.
    QProcess ended;
    ended.start(ZG_TESTAPP, {});
    ASSERT_TRUE(ended.waitForStarted());
    const qint64 pid = ended.processId();
    ended.kill();
    ASSERT_TRUE(ended.waitForFinished());
    env.writeFile("config/ZuGhoulizer/ZuGhoulizer.conf.running",
                  QByteArray::number(pid) + "\nzughoulizer\n\n");
    EXPECT_TRUE(lock.tryLock());
}

class InstanceMeetingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(holder.tryLock()); }

    ZgTestEnvironment env;
    InstanceLock holder{env.settingsFile()};
    QList<InstanceRequest> served;
    InstanceServer server{[this](const InstanceRequest& request) {
        served << request;
        return InstanceReply{request.command == "show" ? 0 : 1, "out:" + request.argument,
                             "err:" + request.command};
    }};
};

TEST_F(InstanceMeetingTest, LaterStartTalksToTheHolderOrTakesTheLock) {
    const QString settings = env.settingsFile();
    // Nobody answers yet: the later start gives up.
    EXPECT_EQ(fromAnotherProcess([&] {
                  InstanceLock lock(settings);
                  return InstanceClient().lockOrConnect(lock, 100);
              }),
              InstanceClient::Contact::Silent);

    ASSERT_TRUE(server.listen(holder.serverPath()));
    const std::vector<InstanceReply> replies = fromAnotherProcess([&] {
        InstanceLock lock(settings);
        InstanceClient client;
        std::vector<InstanceReply> answers;
        if (client.lockOrConnect(lock) != InstanceClient::Contact::Connected)
            return answers;
        for (const InstanceRequest& request :
             {InstanceRequest{"show", ""}, InstanceRequest{"add", "/apps/über mail.desktop"}}) {
            if (std::optional<InstanceReply> reply = client.ask(request))
                answers.push_back(*reply);
        }
        return answers;
    });
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].status, 0);
    EXPECT_EQ(replies[1].status, 1);
    EXPECT_EQ(replies[1].out, "out:/apps/über mail.desktop");
    EXPECT_EQ(replies[1].err, "err:add");
    ASSERT_EQ(served.size(), 2);
    EXPECT_EQ(served[1].argument, "/apps/über mail.desktop");

    holder.unlock();
    EXPECT_EQ(fromAnotherProcess([&] {
                  InstanceLock lock(settings);
                  return InstanceClient().lockOrConnect(lock);
              }),
              InstanceClient::Contact::Locked);
}

TEST_F(InstanceMeetingTest, UnreadableRequestsAreAnsweredAndCutOff) {
    ASSERT_TRUE(server.listen(holder.serverPath()));
    for (const QByteArray& garbage : {QByteArray("not json\n"), QByteArray("{\"command\": 7}\n"),
                                      QByteArray(InstanceProtocol::maximumLineSize + 1, 'x')}) {
        QLocalSocket socket;
        socket.connectToServer(holder.serverPath());
        ASSERT_TRUE(socket.waitForConnected());
        socket.write(garbage);
        QByteArray received;
        EXPECT_TRUE(waitUntil([&] {
            received += socket.readAll();
            return socket.state() == QLocalSocket::UnconnectedState;
        }));
        bool unreadable = false;
        const std::optional<InstanceReply> reply =
            InstanceProtocol::takeReply(received, &unreadable);
        ASSERT_TRUE(reply) << garbage.left(20).constData();
        EXPECT_EQ(reply->status, 2);
    }
    EXPECT_TRUE(served.isEmpty());
}

} // namespace
