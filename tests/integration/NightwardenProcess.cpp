#include "NightwardenProcess.h"

#include "support/NwTestSupport.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

NightwardenProcess::NightwardenProcess(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_RUNTIME_DIR", home);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
}

void NightwardenProcess::setEnvironmentValue(const QString& name, const QString& value) {
    QProcessEnvironment env = process.processEnvironment();
    env.insert(name, value);
    process.setProcessEnvironment(env);
}

void NightwardenProcess::limitFileSize(qint64 bytes) {
    process.setChildProcessModifier([bytes] {
        const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    });
}

void NightwardenProcess::writeIntoClosedPipe(bool errorsToo) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    ::close(ends[0]);
    closedPipe = ends[1];
    process.setProcessChannelMode(errorsToo ? QProcess::ForwardedChannels
                                            : QProcess::ForwardedOutputChannel);
    process.setReadChannel(QProcess::StandardError);
    process.setChildProcessModifier([fd = closedPipe, errorsToo] {
        ::dup2(fd, STDOUT_FILENO);
        if (errorsToo)
            ::dup2(fd, STDERR_FILENO);
    });
}

QString NightwardenProcess::program() {
    return nwBinaryDir() + "/src/app/nightwarden";
}

void NightwardenProcess::start(const QStringList& arguments) {
    process.start(program(), arguments);
    process.waitForStarted();
    if (closedPipe >= 0) {
        ::close(closedPipe);
        closedPipe = -1;
    }
}

QString NightwardenProcess::output() {
    captured += QString::fromLocal8Bit(process.readAll());
    return captured;
}

bool NightwardenProcess::waitForOutput(const QString& text, int timeoutMs, int times) {
    QDeadlineTimer deadline(timeoutMs);
    while (output().count(text) < times) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return output().count(text) >= times;
        process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

bool NightwardenProcess::waitForFinished(int timeoutMs) {
    const bool done = process.waitForFinished(timeoutMs);
    output();
    return done;
}
