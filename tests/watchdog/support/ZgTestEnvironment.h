#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/types.h>

// A temporary home for one test: XDG_DATA_HOME, XDG_CONFIG_HOME,
// XDG_RUNTIME_DIR and HOME point into it, and desktop entries of the test application are written
// to its applications folder.
class ZgTestEnvironment {
public:
    ZgTestEnvironment();
    ~ZgTestEnvironment();

    QString root() const { return dir_.path(); }
    QString applicationsFolder() const;
    QString runtimeFolder() const;
    QString settingsFile() const;
    QString logBookFile() const;
    QString pidFile(const QString& name) const;
    QString crashFile(const QString& name) const;

    // Writes NAME.desktop running program (the test application by default)
    // with its own PID file; returns the entry's path.
    QString writeEntry(const QString& name, const QString& program = QString());
    // Writes NAME.desktop with the given Exec line; returns the entry's path.
    QString writeEntryWithExec(const QString& name, const QString& exec);
    // The test application's arguments for NAME's PID file and crash file.
    QString testAppArguments(const QString& name) const;
    // Writes an executable shell script bin/NAME with the given body after
    // its "#!" line (default "/bin/sh"); returns its path.
    QString writeScript(const QString& name, const QByteArray& body,
                        const QByteArray& interpreter = "/bin/sh");
    // Writes a file with the given contents under the root; returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& contents);

    // Reads the PID the test application of NAME wrote, or 0.
    pid_t pidOf(const QString& name) const;
    // Starts the test application of NAME outside the watchdog and waits for
    // its PID file.
    pid_t startApplication(const QString& name);
    // The running test applications of NAME (those given its PID file).
    QList<pid_t> instancesOf(const QString& name) const;
    // Ends every process started from this environment's folder: test
    // applications, scripts and watchdogs.
    void killApplications();

    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir dir_;
    QByteArray saved_[5]; // one per variable the environment sets
};

// Runs the event loop until condition holds or timeoutMs passes; the result
// is the condition's last value.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs work on a thread of its own while this one turns the event loop, as a
// later start of the program does against the running one. An unfinished
// work fails the test after 10 s and is then waited for.
template <typename Work> auto fromAnotherProcess(Work work) {
    std::future<decltype(work())> result = std::async(std::launch::async, work);
    const bool done = waitUntil(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        10000);
    EXPECT_TRUE(done);
    return result.get();
}

// QStrings as text in the messages of failed tests.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
