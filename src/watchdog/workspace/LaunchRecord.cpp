#include "workspace/LaunchRecord.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <utility>

LaunchRecord::Launches LaunchRecord::load() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Launches launches;
    const QJsonArray entries = QJsonDocument::fromJson(file.readAll()).array();
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const QString identifier = entry.value(QStringLiteral("id")).toString();
        const qint64 session = entry.value(QStringLiteral("session")).toInteger();
        // Tick counts stay far below 2^53, so a JSON number holds them exactly.
        const qint64 start = entry.value(QStringLiteral("start")).toInteger(-1);
        if (identifier.isEmpty() || session <= 0 || start < 0)
            continue;
        launches[identifier] << SessionLaunch{static_cast<pid_t>(session),
                                              static_cast<quint64>(start)};
    }
    return launches;
}

bool LaunchRecord::save(const Launches& launches) {
    QJsonArray entries;
    for (auto it = launches.cbegin(); it != launches.cend(); ++it) {
        for (const SessionLaunch& launch : it.value())
            entries << QJsonObject{
                {QStringLiteral("id"), it.key()},
                {QStringLiteral("session"), launch.session},
                {QStringLiteral("start"), static_cast<qint64>(launch.startTime)}};
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(QJsonDocument(entries).toJson(QJsonDocument::Compact)) >= 0 && file.commit()) {
        failing_ = false;
        return true;
    }
    if (std::exchange(failing_, true))
        return false;
    qWarning().noquote() << "Workspace: the launches cannot be recorded in" << path_ << "-"
                         << file.errorString();
    return false;
}
