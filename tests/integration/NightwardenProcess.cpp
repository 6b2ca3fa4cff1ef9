#include "NightwardenProcess.h"

#include "support/NwTestSupport.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <csignal>
#include <sys/resource.h>

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

QString NightwardenProcess::program() {
    return nwBinaryDir() + "/src/app/nightwarden";
}

void NightwardenProcess::start(const QStringList& arguments) {
    process.start(program(), arguments);
    process.waitForStarted();
}

QString NightwardenProcess::output() {
    captured += QString::fromLocal8Bit(process.readAll());
    return captured;
}

bool NightwardenProcess::waitForOutput(const QString& text, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(text)) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return output().contains(text);
        process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

bool NightwardenProcess::waitForFinished(int timeoutMs) {
    const bool done = process.waitForFinished(timeoutMs);
    output();
    return done;
}
