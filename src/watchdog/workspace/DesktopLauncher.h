#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <sys/types.h>

// Starts a desktop entry the way a desktop session would, through GIO, and
// reports the processes it created.
class DesktopLauncher {
public:
    struct Result {
        bool launched = false;
        QList<pid_t> pids;
        QString error;
        // The PIDs are children of this process, to be reaped by it.
        bool children = false;
        // The transient systemd scopes the processes were moved into, where a
        // user manager answers.
        QStringList scopes;
    };

    // Runs the entry's Exec without files or URLs. The program is started in a
    // session of its own (its session ID is its PID), and, where a systemd
    // user manager answers, in a scope of its own. It is not the watchdog's
    // child, so it outlives the watchdog and is never left as a zombie;
    // asChildren keeps it a child, for the caller to wait for and reap.
    static Result launch(const QString& desktopFile, bool asChildren = false);
};
