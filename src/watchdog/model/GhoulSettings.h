#pragma once

#include "model/GhoulEntry.h"

#include <QByteArray>
#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

// The watchdog's own settings file (INI): the watched list under "GhoulList"
// and the panel frames.
class GhoulSettings {
public:
    // "~/.config/ZuGhoulizer/ZuGhoulizer.conf" under the XDG config folder.
    static QString defaultPath();

    explicit GhoulSettings(const QString& path = defaultPath());

    QString fileName() const { return settings_->fileName(); }

    // Every entry that reads back whole, in order; no stored list reads as an
    // empty one. Each entry skipped, and a file that does not parse, adds a
    // line to *problems. The file is then copied aside before it is first
    // saved over.
    QList<GhoulEntry> loadGhoulList(QStringList* problems);
    // Replaces the stored list and writes the file at once. False when the
    // file was not written, and lastError() says why.
    bool saveGhoulList(const QList<GhoulEntry>& list);
    QString lastError() const { return lastError_; }
    // Where the file as it was before the first save over it is kept, once
    // loadGhoulList found problems and a save has happened; "" otherwise.
    QString keptCopy() const { return keptCopy_; }

    QByteArray frame(const QString& autosaveName);
    void setFrame(const QString& autosaveName, const QByteArray& geometry);

private:
    bool write();
    bool keepCopyOfDamagedFile();

    std::unique_ptr<QSettings> settings_;
    bool damaged_ = false;
    QString keptCopy_;
    QString lastError_;
};
