#include "workspace/InstanceClient.h"

#include "workspace/InstanceLock.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>

InstanceClient::Contact InstanceClient::lockOrConnect(InstanceLock& lock, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (lock.tryLock())
            return Contact::Locked;
        if (!lock.isHeldElsewhere())
            return Contact::Unavailable;
        socket_.connectToServer(lock.serverPath());
        if (socket_.waitForConnected(
                static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
            return Contact::Connected;
        socket_.abort();
        if (deadline.hasExpired())
            return Contact::Silent;
        // No event loop runs yet in a starting program; the holder is polled.
        QThread::msleep(50);
    }
}

std::optional<InstanceReply> InstanceClient::ask(const InstanceRequest& request, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    socket_.write(InstanceProtocol::encode(request));
    while (socket_.bytesToWrite() > 0) {
        if (!socket_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return std::nullopt;
    }
    for (;;) {
        bool unreadable = false;
        if (std::optional<InstanceReply> reply = InstanceProtocol::takeReply(buffer_, &unreadable))
            return reply;
        if (unreadable || deadline.hasExpired() ||
            !socket_.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return std::nullopt;
        buffer_ += socket_.readAll();
    }
}
