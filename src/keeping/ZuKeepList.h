#pragma once

#include "playback/ZuRecordingTable.h"

// The keep tab's table: one row per kept (compressed) recording of the keep
// folder, its date, times and length read from its name, its size, and the
// totals. Rows are in time order; rows dragged out carry the files' paths.
class ZuKeepList : public ZuRecordingTable {
    Q_OBJECT
public:
    // The columns, by the row keys that are also their identifiers.
    static const QStringList& columnKeys();

    ZuKeepList();

    // Rebuilds the rows from the folder, subfolders included; a name is
    // relative to the folder.
    ZuKeepList& initWithDirPath(const QString& path);
};
