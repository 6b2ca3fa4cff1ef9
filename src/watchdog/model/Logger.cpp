#include "model/Logger.h"

#include "model/GhoulSettings.h"
#include "workspace/InstanceLock.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <unistd.h>

QString Logger::defaultLogBookPath() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QLatin1String("/ZuGhoulizer/LogBook.txt");
}

QString Logger::logBookPathFor(const QString& settingsFile) {
    const QString path = InstanceLock::canonicalSettingsPath(settingsFile);
    if (path == InstanceLock::canonicalSettingsPath(GhoulSettings::defaultPath()))
        return defaultLogBookPath();
    return path + QLatin1String(".LogBook.txt");
}

QString Logger::record(const QDateTime& date, const QString& title, const QString& text) {
    const QDateTime local = date.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return QString::asprintf("%d.%02d.%02d %02d:%02d:%02d --- ", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second()) +
           title + QLatin1String(" ---\n\t") + text + QLatin1String("\n\n");
}

Logger::Logger(const QString& path, QObject* parent) : QObject(parent), path_(path) {}

bool Logger::initLogBook() {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "Log book create error.";
        return false;
    }
    return true;
}

bool Logger::writeLog(const QDateTime& date, const QString& title, const QString& text) {
    const QByteArray bytes = record(date, title, text).toUtf8();
    // The console copy stands on its own: without windows it may be the only
    // one left.
    if (echo_) {
        std::fputs(bytes.constData(), stdout);
        std::fflush(stdout);
    }
    QFile file(path_);
    // Only initLogBook makes the book: one deleted meanwhile stays gone
    // rather than restarting quietly with a partial history.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) {
        qWarning() << "Log book open error.";
        return false;
    }
    const bool written =
        file.write(bytes) == bytes.size() && file.flush() && fsync(file.handle()) == 0;
    file.close();
    return written;
}

void Logger::reloadLog() {
    QFile file(path_);
    QString text;
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    emit logReloaded(text);
}

void Logger::actReadLog() {
    reloadLog();
    emit showLogPanel();
}
