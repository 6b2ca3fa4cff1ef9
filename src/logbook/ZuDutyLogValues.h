#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

// The values the log book prints, read from the recorder, the mechanic, the
// device manager and the player at the moment an event is handled.
struct ZuDutyLogValues {
    // Recording settings.
    double sampleRate = 0.0; // the recording rate
    int32_t channels = 1;
    QString inputSource; // display name of the present record source
    int32_t recordMode = 0;
    bool startOnTheHour = false;
    int32_t preBufferSec = 0;
    int32_t delayTime = 0;
    bool markerSwitch = false;
    int32_t markerOption = 0;
    QString markerSound;
    QString recordFolder;
    double maxRecordTime = 0.0; // seconds
    double maxTotalTime = 0.0;  // seconds

    // The current or last recording.
    QDateTime recordStartDate;
    QDateTime recordStopDate;
    int32_t actionMethod = 0;
    QString reserveName;
    double totalRecordTime = 0.0; // seconds recorded since launch
    double dataSize = 0.0;        // file bytes the last recording should hold: written + lost
    double lastWrite = 0.0;       // file bytes it got
    QDateTime lastCrashDate;      // invalid unless a recording was rescued

    // The player's last file operations (names without folder).
    QString originalFile;
    QString destinationFile;
    QString deleteFile;
    QString deleteImage;
};
