#pragma once

#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cmath>
#include <functional>
#include <mutex>

// Collects console lines, logged errors and keeper notifications from any
// thread while it lives.
class KeeperEvents {
public:
    KeeperEvents() {
        previous = ZuConsole::setSink([this](const QString& line) {
            std::lock_guard guard(lock);
            consoleLines << line;
        });
        auto& center = ZuNotificationCenter::defaultCenter();
        center.addObserver(ZuLogEvent::notificationName, this, [this](const ZuNotification& n) {
            if (n.object.toString() != ZuLogEvent::someErrorHappen)
                return;
            std::lock_guard guard(lock);
            errorList << n.userInfo.value(ZuLogEvent::messageKey).toString();
        });
        center.addObserver("DataKeepCompleteNotification", this, [this](const ZuNotification&) {
            std::lock_guard guard(lock);
            ++drains;
        });
        center.addObserver("CompressCompleteNotification", this, [this](const ZuNotification& n) {
            std::lock_guard guard(lock);
            completions << n.object.toString() + "|" +
                               n.userInfo.value("CompressErrorMessage").toString();
        });
        center.addObserver("CompressRatioNotification", this, [this](const ZuNotification& n) {
            std::lock_guard guard(lock);
            ratios << n.object.toDouble();
        });
    }
    ~KeeperEvents() {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        ZuConsole::setSink(previous);
    }
    KeeperEvents(const KeeperEvents&) = delete;
    KeeperEvents& operator=(const KeeperEvents&) = delete;

    QStringList errors() const {
        std::lock_guard guard(lock);
        return errorList;
    }
    QStringList lines() const {
        std::lock_guard guard(lock);
        return consoleLines;
    }
    QStringList completed() const {
        std::lock_guard guard(lock);
        return completions;
    }
    QList<double> ratioPosts() const {
        std::lock_guard guard(lock);
        return ratios;
    }
    int drainCount() const {
        std::lock_guard guard(lock);
        return drains;
    }

private:
    mutable std::mutex lock;
    QStringList consoleLines;
    QStringList errorList;
    QStringList completions;
    QList<double> ratios;
    int drains = 0;
    ZuConsole::Sink previous;
};

// Runs the main event loop until the condition holds; false at the deadline.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    tick.start(10);
    if (!done())
        loop.exec();
    return done();
}

// Bytes that look like a quiet recording: compressible, not trivial.
inline QByteArray recordingBytes(int size, int seed = 0) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(int(40.0 * std::sin(double(i + seed) / 9.0)) + (i * 7 + seed) % 3);
    return bytes;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A command that waits for the file "release" in its folder before it runs
// bzip2 on its argument, and fails if another copy of it is running.
inline QString slowCommand(const QString& folder) {
    const QString path = folder + "/slow-compress";
    writeFile(path, QStringLiteral("#!/bin/sh\n"
                                   "mkdir '%1/running' 2>/dev/null || exit 3\n"
                                   "touch '%1/started'\n"
                                   "while [ ! -e '%1/release' ]; do sleep 0.02; done\n"
                                   "rmdir '%1/running'\n"
                                   "exec /usr/bin/bzip2 -f \"$1\"\n")
                        .arg(folder)
                        .toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}
