#include "model/GhoulTexts.h"

#include <QHash>

QString GhoulTexts::text(const QString& key) {
    static const QHash<QString, QString> table{
        {QStringLiteral("NoGhoulCaution"), QStringLiteral("No application is watched yet.")},
        {QStringLiteral("NoGhoulInfo"),
         QStringLiteral("Add the applications ZuGhoulizer should bring back whenever they end: "
                        "use Add… or drop a desktop entry on the list.")},
        {QStringLiteral("Understand"), QStringLiteral("OK")},
        {QStringLiteral("Add application for ghoulize"),
         QStringLiteral("Add application for ghoulize")},
        {QStringLiteral("Add"), QStringLiteral("Add")},
        {QStringLiteral("Remove"), QStringLiteral("Remove")},
        {QStringLiteral("LogBook"), QStringLiteral("Log Book…")},
        {QStringLiteral("Quit"), QStringLiteral("Quit")},
        {QStringLiteral("GhoulListPanel"), QStringLiteral("ZuGhoulizer — Watched Applications")},
        {QStringLiteral("GhoulLogPanel"), QStringLiteral("ZuGhoulizer — Log Book")},
        {QStringLiteral("GhoulName"), QStringLiteral("Application")},
        {QStringLiteral("GhoulBirthday"), QStringLiteral("Birthday")},
        {QStringLiteral("GhoulGeneration"), QStringLiteral("Generation")},
        {QStringLiteral("EditRefused"), QStringLiteral("The watched list is unchanged.")},
    };
    return table.value(key, key);
}
