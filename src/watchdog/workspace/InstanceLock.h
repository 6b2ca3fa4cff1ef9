#pragma once

#include <QLockFile>
#include <QString>

// One watchdog per settings file: the lock "<settings file>.running", and the
// path of the local socket on which the holder answers later starts.
class InstanceLock {
public:
    // Makes the settings file's folder, so that the lock can be taken there.
    explicit InstanceLock(const QString& settingsFile);

    // The settings file with its folder resolved: the same file reached
    // through another spelling of its folder (a symbolic link, "..") gives
    // the same path, and so the same socket.
    static QString canonicalSettingsPath(const QString& settingsFile);

    // True when this process now holds the lock. A lock left by a process that
    // has ended is taken over.
    bool tryLock();
    void unlock() { lock_.unlock(); }
    bool isLocked() const { return lock_.isLocked(); }
    // The last tryLock failed because another process holds the lock (not
    // because the lock file cannot be made).
    bool isHeldElsewhere() const { return lock_.error() == QLockFile::LockFailedError; }
    // Why the last tryLock failed, for the console.
    QString failure() const;
    // The process holding the lock, or 0 when it cannot be read.
    qint64 holderPid() const;

    QString lockPath() const { return lockPath_; }
    QString serverPath() const { return serverPath_; }

private:
    QString lockPath_;
    QString serverPath_;
    QLockFile lock_;
};
