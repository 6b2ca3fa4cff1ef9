#include "support/ZgTestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <iterator>
#include <unistd.h>

namespace {

const char* const variables[5] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "HOME", "XDG_DATA_DIRS",
                                  "XDG_RUNTIME_DIR"};

} // namespace

ZgTestEnvironment::ZgTestEnvironment() {
    for (size_t i = 0; i < std::size(variables); ++i)
        saved_[i] = qgetenv(variables[i]);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path() + "/config"));
    qputenv("HOME", QFile::encodeName(dir_.path() + "/home"));
    // No system entries: the tests see only their own applications.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir_.path() + "/system"));
    // The watchdog's socket lives here, private to the user like the real one.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder()));
    QDir().mkpath(runtimeFolder());
    QFile::setPermissions(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(applicationsFolder());
    QDir().mkpath(dir_.path() + "/home");
    QDir().mkpath(dir_.path() + "/run");
}

ZgTestEnvironment::~ZgTestEnvironment() {
    killApplications();
    for (size_t i = 0; i < std::size(variables); ++i) {
        if (saved_[i].isNull())
            qunsetenv(variables[i]);
        else
            qputenv(variables[i], saved_[i]);
    }
}

QString ZgTestEnvironment::applicationsFolder() const {
    return dir_.path() + "/data/applications";
}

QString ZgTestEnvironment::runtimeFolder() const {
    return dir_.path() + "/runtime";
}

QString ZgTestEnvironment::settingsFile() const {
    return dir_.path() + "/config/ZuGhoulizer/ZuGhoulizer.conf";
}

QString ZgTestEnvironment::logBookFile() const {
    return dir_.path() + "/home/Documents/ZuGhoulizer/LogBook.txt";
}

QString ZgTestEnvironment::pidFile(const QString& name) const {
    return dir_.path() + "/run/" + name + ".pid";
}

QString ZgTestEnvironment::crashFile(const QString& name) const {
    return dir_.path() + "/run/" + name + ".crash";
}

QString ZgTestEnvironment::writeEntry(const QString& name, const QString& program) {
    return writeEntryWithExec(
        name,
        QStringLiteral("%1 %2 %U")
            .arg(program.isEmpty() ? QStringLiteral(ZG_TESTAPP) : program, testAppArguments(name)));
}

QString ZgTestEnvironment::writeEntryWithExec(const QString& name, const QString& exec) {
    // "%" in a name is a literal in a desktop file's Name, but a field code in Exec.
    const QByteArray text = "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() +
                            "\nIcon=utilities-terminal\nExec=" + exec.toUtf8() + "\n";
    return writeFile("data/applications/" + name + ".desktop", text);
}

QString ZgTestEnvironment::testAppArguments(const QString& name) const {
    return QStringLiteral("--pidfile %1 --crash-if-exists %2").arg(pidFile(name), crashFile(name));
}

QString ZgTestEnvironment::writeScript(const QString& name, const QByteArray& body,
                                       const QByteArray& interpreter) {
    const QString path = writeFile("bin/" + name, "#!" + interpreter + "\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString ZgTestEnvironment::writeFile(const QString& relativePath, const QByteArray& contents) {
    const QString path = dir_.path() + '/' + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
    return path;
}

pid_t ZgTestEnvironment::pidOf(const QString& name) const {
    return static_cast<pid_t>(readFile(pidFile(name)).trimmed().toInt());
}

pid_t ZgTestEnvironment::startApplication(const QString& name) {
    QFile::remove(pidFile(name));
    QProcess::startDetached(QStringLiteral(ZG_TESTAPP),
                            {"--pidfile", pidFile(name), "--crash-if-exists", crashFile(name)});
    waitUntil([&] { return pidOf(name) != 0; });
    return pidOf(name);
}

namespace {

// The processes of this user whose command line holds text, this one excluded.
QList<pid_t> processesMentioning(const QByteArray& text) {
    QList<pid_t> found;
    const QStringList names = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const pid_t pid = static_cast<pid_t>(name.toInt(&ok));
        if (!ok || pid == getpid())
            continue;
        const QByteArray stat = ZgTestEnvironment::readFile("/proc/" + name + "/stat");
        const qsizetype close = stat.lastIndexOf(')');
        // Zombies are gone for every purpose here.
        if (close < 0 || stat.mid(close + 2, 1) == "Z")
            continue;
        if (ZgTestEnvironment::readFile("/proc/" + name + "/cmdline").contains(text))
            found << pid;
    }
    return found;
}

} // namespace

QList<pid_t> ZgTestEnvironment::instancesOf(const QString& name) const {
    QList<pid_t> found;
    for (const pid_t pid : processesMentioning(QFile::encodeName(pidFile(name)))) {
        const QByteArray commandLine = readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (commandLine.startsWith(QFile::encodeName(QStringLiteral(ZG_TESTAPP))))
            found << pid;
    }
    return found;
}

void ZgTestEnvironment::killApplications() {
    for (const pid_t pid : processesMentioning(QFile::encodeName(dir_.path())))
        kill(pid, SIGKILL);
}

QByteArray ZgTestEnvironment::readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}
