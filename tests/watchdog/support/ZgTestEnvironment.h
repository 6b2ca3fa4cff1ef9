#pragma once

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <sys/types.h>

// A temporary home for one test: XDG_DATA_HOME, XDG_CONFIG_HOME and HOME
// point into it, and desktop entries of the test application are written to
// its applications folder.
class ZgTestEnvironment {
public:
    ZgTestEnvironment();
    ~ZgTestEnvironment();

    QString root() const { return dir_.path(); }
    QString applicationsFolder() const;
    QString settingsFile() const;
    QString logBookFile() const;
    QString pidFile(const QString& name) const;
    QString crashFile(const QString& name) const;

    // Writes NAME.desktop running program (the test application by default)
    // with its own PID file; returns the entry's path.
    QString writeEntry(const QString& name, const QString& program = QString());
    // Writes a file with the given contents under the root; returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& contents);

    // Reads the PID the test application of NAME wrote, or 0.
    pid_t pidOf(const QString& name) const;
    // Starts the test application of NAME outside the watchdog and waits for
    // its PID file.
    pid_t startApplication(const QString& name);
    // Ends every test application that has written a PID file here.
    void killApplications();

    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir dir_;
    QByteArray saved_[4];
};

// Runs the event loop until condition holds or timeoutMs passes; the result
// is the condition's last value.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
