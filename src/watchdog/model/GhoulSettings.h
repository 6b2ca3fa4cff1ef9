#pragma once

#include "model/GhoulEntry.h"

#include <QByteArray>
#include <QList>
#include <QSettings>
#include <QString>

// The watchdog's own settings file (INI): the watched list under "GhoulList"
// and the panel frames.
class GhoulSettings {
public:
    // "~/.config/ZuGhoulizer/ZuGhoulizer.conf" under the XDG config folder.
    static QString defaultPath();

    explicit GhoulSettings(const QString& path = defaultPath());

    QString fileName() const { return settings_.fileName(); }

    // No stored list reads as an empty one. A list that cannot be read back
    // whole also gives an empty list, and sets *corrupt.
    QList<GhoulEntry> loadGhoulList(bool* corrupt);
    // Replaces the stored list and writes the file at once.
    bool saveGhoulList(const QList<GhoulEntry>& list);

    QByteArray frame(const QString& autosaveName);
    void setFrame(const QString& autosaveName, const QByteArray& geometry);

private:
    QSettings settings_;
};
