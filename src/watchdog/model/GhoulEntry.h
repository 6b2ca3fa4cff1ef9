#pragma once

#include <QDateTime>
#include <QString>

// One watched application.
struct GhoulEntry {
    QString name;       // "GhoulName": the desktop-file ID without ".desktop"
    QString fullPath;   // "GhoulFullPath": the entry's file as chosen
    QDateTime birthday; // "GhoulBirthday": added, later last relaunched
    int generation = 0; // "GhoulGeneration": relaunches in a row, -1 after a failed one

    bool operator==(const GhoulEntry&) const = default;
};
