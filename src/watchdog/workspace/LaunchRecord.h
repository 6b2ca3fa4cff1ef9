#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <sys/types.h>

// A launch the watchdog made: the session the launched program was started
// in (its ID is the first process's PID) and that process's start time in
// clock ticks after boot. Every process of the session is the application.
struct SessionLaunch {
    pid_t session = 0;
    quint64 startTime = 0;

    bool operator==(const SessionLaunch&) const = default;
};

// The launches that still run, kept in a file beside the settings file, so
// that a restarted watchdog goes on following what an earlier run launched.
class LaunchRecord {
public:
    using Launches = QHash<QString, QList<SessionLaunch>>; // by desktop-file ID

    explicit LaunchRecord(const QString& path) : path_(path) {}

    QString path() const { return path_; }
    // An absent or unreadable file holds no launches.
    Launches load() const;
    // Replaces the file; false when it cannot be written, said on the console
    // the first time of a row.
    bool save(const Launches& launches);

private:
    QString path_;
    bool failing_ = false;
};
