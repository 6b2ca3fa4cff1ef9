#pragma once

#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// Collects the console lines and the error and report messages posted while
// it lives.
class LogCapture {
public:
    LogCapture() {
        previous = ZuConsole::setSink([this](const QString& line) { lines.append(line); });
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this, [this](const ZuNotification& note) {
                const QString message = note.userInfo.value(ZuLogEvent::messageKey).toString();
                if (note.object.toString() == ZuLogEvent::someErrorHappen)
                    errors.append(message);
                else if (note.object.toString() == ZuLogEvent::someReportHappen)
                    reports.append(message);
            });
    }
    ~LogCapture() {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        ZuConsole::setSink(previous);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines;
    QStringList errors;
    QStringList reports;

private:
    ZuConsole::Sink previous;
};

inline void writeBytesTo(const QString& path, qint64 size) {
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QByteArray(size, 'x'));
}
