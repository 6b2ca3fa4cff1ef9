#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the nightwarden program of this build with a home folder of the test's
// own, so that nothing touches the user's files.
class NightwardenProcess {
public:
    explicit NightwardenProcess(const QString& home);

    // An environment variable of the program's own, set before it starts.
    void setEnvironmentValue(const QString& name, const QString& value);
    void start(const QStringList& arguments);
    // The program may write no file beyond this size (as "ulimit -f" does):
    // writes past it fail instead of ending the program.
    void limitFileSize(qint64 bytes);
    // The program's standard output (and, with errorsToo, its standard error)
    // goes into a pipe whose reading end is already closed, as when the reader
    // of a log pipe has gone. Call before start.
    void writeIntoClosedPipe(bool errorsToo);
    // Waits until the program has written text (that many times) to its output.
    bool waitForOutput(const QString& text, int timeoutMs = 10000, int times = 1);
    bool waitForFinished(int timeoutMs = 20000);
    // Asks the program to end, as SIGTERM does.
    void terminate() { process.terminate(); }
    int exitCode() const { return process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process.exitStatus(); }
    QString output();
    qint64 pid() const { return process.processId(); }

    static QString program();

private:
    QProcess process;
    QString captured;
    int closedPipe = -1;
};
