#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

class DesktopEntry;

// What /proc tells about one process, and whether it belongs to a desktop
// entry.
struct ProcessInfo {
    pid_t pid = 0;
    // Clock ticks after boot, from /proc/PID/stat: with the PID it names one
    // process for good, since a PID may be reused but not at the same tick.
    quint64 startTime = 0;
    // The session the process belongs to: launches get one of their own.
    pid_t session = 0;
    QString executable;
    QStringList commandLine;
    QString cgroup;
};

class ProcessTable {
public:
    // The fields of /proc/PID/stat the watchdog uses.
    struct Stat {
        char state = '?';
        pid_t session = 0;
        quint64 startTime = 0;
        // Exited, only waiting to be reaped: no longer running.
        bool ended() const { return state == 'Z' || state == 'X' || state == 'x'; }
    };

    // Nothing for a process that is gone or has ended.
    static std::optional<ProcessInfo> read(pid_t pid);
    static std::optional<Stat> stat(pid_t pid);
    static std::optional<quint64> startTimeOf(pid_t pid);
    // Clock ticks after boot now, in the unit of ProcessInfo::startTime.
    static quint64 bootTicksNow();
    // The running processes of this user, the caller excluded.
    static QList<ProcessInfo> ownProcesses();
    // A process belongs to an entry when it runs in the systemd app scope or
    // service of the entry's ID, or when it runs the entry's program with the
    // entry's arguments: directly, or as the script an interpreter runs, with
    // or without the interpreter's own options before the script.
    static bool belongsTo(const ProcessInfo& process, const DesktopEntry& entry);
    // The systemd unit name of an app scope for an entry: "-" and other
    // special characters escaped as in unit names.
    static QString escapedUnitPart(const QString& text);
};
