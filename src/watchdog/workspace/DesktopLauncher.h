#pragma once

#include <QList>
#include <QString>
#include <sys/types.h>

// Starts a desktop entry the way a desktop session would, through GIO, and
// reports the processes it created.
class DesktopLauncher {
public:
    struct Result {
        bool launched = false;
        QList<pid_t> pids;
        QString error;
    };

    // Runs the entry's Exec without files or URLs. The program is started in a
    // session of its own and is not the watchdog's child, so it outlives the
    // watchdog and is never left as a zombie.
    static Result launch(const QString& desktopFile);
};
