#pragma once

#include "playback/ZuRecordingTable.h"

// The recordings of a folder as the player's table shows them: one row per
// sound file, read from its name (date, start, end, length), its size, its
// lock and the note in its header. Rows are in name order, which is time
// order. As the table's model it shows the recording in progress in italics
// and lets the note be edited in place; the edited text goes to remarkEdited,
// the file is written by the player.
class ZuPlayList : public ZuRecordingTable {
    Q_OBJECT
public:
    // Where the note starts in a sound file, and its longest length.
    static constexpr qint64 noteOffset = 291;
    static constexpr int noteLength = 128;

    // The columns, by the row keys that are also their identifiers.
    static const QStringList& columnKeys();
    static constexpr int lockColumn = 0;
    static constexpr int remarkColumn = 6;

    ZuPlayList();

    // Rebuilds the rows from the folder; a missing or unreadable folder gives
    // no rows. progressName is the file name of the recording in progress.
    ZuPlayList& initWithDirPath(const QString& path, const QString& progressName = {});
    bool isProgressAtRow(int row) const;

    QString startTimeStringAtRow(int row) const;
    QString endTimeStringAtRow(int row) const;
    QString noteStringAtRow(int row) const;
    bool isLockedAtRow(int row) const;

    double totalTimeExceptLocked() const;

    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The note stored in a sound file; empty when it cannot be read.
    static QString noteOfFile(const QString& path);

signals:
    void remarkEdited(int row, const QString& note);

private:
    QVariantMap rowFor(const QString& folder, const QString& name) const;

    QString progress;
};
