#pragma once

#include "model/RelaunchBrake.h"

#include <QString>
#include <QStringList>

// The watchdog's command line.
class GhoulOptions {
public:
    // Reads the arguments (the program name first). -1: go on. Otherwise the
    // program ends with that status and *message: 0 for --help and --version
    // (standard output), 2 for a mistake (standard error).
    int parse(const QStringList& arguments, QString* message);

    bool headless = false;
    QString settingsFile;
    QStringList add;
    QStringList remove;
    bool list = false;
    RelaunchBrake::Delays delays;
};
