#include "model/GhoulSettings.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace {

const QString listKey = QStringLiteral("GhoulList");

QString itemKey(int index, const char* field) {
    return QStringLiteral("GhoulList/%1/%2").arg(index + 1).arg(QLatin1String(field));
}

} // namespace

QString GhoulSettings::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/ZuGhoulizer/ZuGhoulizer.conf");
}

GhoulSettings::GhoulSettings(const QString& path) : settings_(path, QSettings::IniFormat) {}

QList<GhoulEntry> GhoulSettings::loadGhoulList(bool* corrupt) {
    *corrupt = false;
    settings_.sync();
    if (settings_.status() == QSettings::FormatError) {
        *corrupt = true;
        return {};
    }
    if (settings_.contains(listKey)) {
        *corrupt = true;
        return {};
    }
    const QVariant sizeValue = settings_.value(listKey + QLatin1String("/size"));
    const QStringList stored =
        settings_.allKeys().filter(QRegularExpression(QStringLiteral("^GhoulList/")));
    if (!sizeValue.isValid()) {
        *corrupt = !stored.isEmpty();
        return {};
    }
    bool ok = false;
    const int size = sizeValue.toString().toInt(&ok);
    if (!ok || size < 0) {
        *corrupt = true;
        return {};
    }
    QList<GhoulEntry> list;
    for (int i = 0; i < size; ++i) {
        GhoulEntry entry;
        entry.name = settings_.value(itemKey(i, "GhoulName")).toString();
        entry.fullPath = settings_.value(itemKey(i, "GhoulFullPath")).toString();
        entry.birthday = QDateTime::fromString(
            settings_.value(itemKey(i, "GhoulBirthday")).toString(), Qt::ISODateWithMs);
        bool numeric = false;
        entry.generation =
            settings_.value(itemKey(i, "GhoulGeneration")).toString().toInt(&numeric);
        const bool duplicate = std::any_of(
            list.cbegin(), list.cend(), [&](const GhoulEntry& e) { return e.name == entry.name; });
        if (entry.name.isEmpty() || !entry.birthday.isValid() || !numeric ||
            entry.generation < -1 || duplicate) {
            *corrupt = true;
            return {};
        }
        list << entry;
    }
    return list;
}

bool GhoulSettings::saveGhoulList(const QList<GhoulEntry>& list) {
    settings_.remove(listKey);
    settings_.setValue(listKey + QLatin1String("/size"), list.size());
    for (int i = 0; i < list.size(); ++i) {
        settings_.setValue(itemKey(i, "GhoulName"), list[i].name);
        settings_.setValue(itemKey(i, "GhoulFullPath"), list[i].fullPath);
        settings_.setValue(itemKey(i, "GhoulBirthday"),
                           list[i].birthday.toString(Qt::ISODateWithMs));
        settings_.setValue(itemKey(i, "GhoulGeneration"), list[i].generation);
    }
    settings_.sync();
    return settings_.status() == QSettings::NoError;
}

QByteArray GhoulSettings::frame(const QString& autosaveName) {
    return settings_.value(QStringLiteral("Frames/") + autosaveName).toByteArray();
}

void GhoulSettings::setFrame(const QString& autosaveName, const QByteArray& geometry) {
    settings_.setValue(QStringLiteral("Frames/") + autosaveName, geometry);
    settings_.sync();
}
