#pragma once

#include "platform/hal/AuStreamBasicDescription.h"
#include "playback/ZuWaveView.h"

#include <QString>
#include <cstdint>

class ZuAudioFile;
class ZuMechanic;

// The bytes of a recording's sound data that a selection of wave view columns
// stands for: all of them without a selection, else the columns' share,
// rounded down to whole frames. 64-bit throughout, since a recording may hold
// more than 2 GiB.
struct ZuSoundRange {
    int64_t head = 0;
    int64_t tail = 0;
    int64_t length() const { return tail - head; }

    static ZuSoundRange of(int64_t numDatas, int32_t channels, ZuRange selected, int32_t width);
};

// Naming and writing the copies the player exports.
class ZuExport {
public:
    // The recording's times as its name holds them ("20070305_235950~000510"),
    // or, with a selection, its date and the selection's clock times (seconds
    // of the day, not reduced: past midnight the hour reads 24 or more).
    static QString datePart(const QString& sourceName, bool selected, double fromSeconds,
                            double toSeconds);
    // The chosen path, given the extension "aif" when it lacks it, with the
    // date part and the note added to its name, each after "_". The note is
    // made fit for a name: it can neither leave the chosen folder nor make a
    // name the file system refuses.
    static QString destinationPath(const QString& chosen, const QString& datePart,
                                   const QString& note);
    static QString notePartOfName(const QString& note);

    // Copies the whole file. The destination is written under a temporary
    // name beside it and renamed when complete: it is complete or absent.
    static bool copyWhole(const QString& source, const QString& destination, QString* error);
    // Copies the range of the open source's sound data into a new sound file
    // of the same format with an empty note area, in the same way.
    static bool copyRange(ZuMechanic& mechanic, ZuAudioFile& source,
                          const AuStreamBasicDescription& format, ZuSoundRange range,
                          const QString& destination, QString* error);
    // The temporary name a copy is written under until it is complete.
    static QString partialPath(const QString& destination);

    static constexpr uint32_t chunkBytes = 8192;
};
