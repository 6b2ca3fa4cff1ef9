#include "platform/ZuLocalized.h"

#include "platform/ZuConsole.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QHash<QString, QString>& table() {
    static const QHash<QString, QString> texts = [] {
        QHash<QString, QString> map;
        QFile file(QStringLiteral(":/strings/en.json"));
        if (!file.open(QIODevice::ReadOnly)) {
            ZuConsole::line(QStringLiteral("ZuLocalized: string table missing."));
            return map;
        }
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), it.value().toString());
        return map;
    }();
    return texts;
}
} // namespace

QString ZuLocalized::text(const QString& key) {
    return table().value(key, key);
}

bool ZuLocalized::has(const QString& key) {
    return table().contains(key);
}
