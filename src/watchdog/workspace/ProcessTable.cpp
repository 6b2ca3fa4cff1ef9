#include "workspace/ProcessTable.h"

#include "workspace/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <ctime>
#include <unistd.h>

namespace {

QByteArray readProcFile(pid_t pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString canonical(const QString& path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

bool isScript(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
}

bool samePath(const QString& candidate, const QString& program) {
    if (candidate.isEmpty())
        return false;
    if (!candidate.contains('/'))
        return candidate == QFileInfo(program).fileName();
    return candidate == program || canonical(candidate) == canonical(program);
}

bool argumentsFollow(const QStringList& commandLine, qsizetype from, const QStringList& arguments) {
    if (commandLine.size() - from < arguments.size() - 1)
        return false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (commandLine[from + i - 1] != arguments[i])
            return false;
    }
    return true;
}

} // namespace

std::optional<ProcessTable::Stat> ProcessTable::stat(pid_t pid) {
    const QByteArray line = readProcFile(pid, "stat");
    // The command name in parentheses may hold spaces; fields count from after it.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // Fields 3, 6 and 22 of the whole line: state, session, start time.
    if (fields.size() < 20 || fields[0].isEmpty())
        return std::nullopt;
    bool sessionOk = false;
    bool startOk = false;
    Stat result;
    result.state = fields[0][0];
    result.session = static_cast<pid_t>(fields[3].toInt(&sessionOk));
    result.startTime = fields[19].toULongLong(&startOk);
    if (!sessionOk || !startOk)
        return std::nullopt;
    return result;
}

std::optional<quint64> ProcessTable::startTimeOf(pid_t pid) {
    const std::optional<Stat> fields = stat(pid);
    return fields ? std::optional<quint64>(fields->startTime) : std::nullopt;
}

quint64 ProcessTable::bootTicksNow() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const quint64 ticks = static_cast<quint64>(sysconf(_SC_CLK_TCK));
    return static_cast<quint64>(now.tv_sec) * ticks +
           static_cast<quint64>(now.tv_nsec) * ticks / 1000000000ULL;
}

std::optional<ProcessInfo> ProcessTable::read(pid_t pid) {
    ProcessInfo info;
    info.pid = pid;
    const std::optional<Stat> fields = stat(pid);
    if (!fields || fields->ended())
        return std::nullopt;
    info.startTime = fields->startTime;
    info.session = fields->session;
    info.executable = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (info.executable.endsWith(QLatin1String(" (deleted)")))
        info.executable.chop(10);
    const QByteArray commandLine = readProcFile(pid, "cmdline");
    for (const QByteArray& part : commandLine.split('\0'))
        info.commandLine << QString::fromLocal8Bit(part);
    if (!info.commandLine.isEmpty() && info.commandLine.last().isEmpty())
        info.commandLine.removeLast();
    info.cgroup = QString::fromLocal8Bit(readProcFile(pid, "cgroup"));
    return info;
}

QList<ProcessInfo> ProcessTable::ownProcesses() {
    QList<ProcessInfo> processes;
    const pid_t self = getpid();
    const QStringList names =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const pid_t pid = name.toInt(&ok);
        if (!ok || pid == self)
            continue;
        if (QFileInfo(QStringLiteral("/proc/") + name).ownerId() != getuid())
            continue;
        if (std::optional<ProcessInfo> info = read(pid))
            processes << *info;
    }
    return processes;
}

QString ProcessTable::escapedUnitPart(const QString& text) {
    QString escaped;
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == ':' || c == '_' || c == '.';
        if (plain)
            escaped += QLatin1Char(c);
        else
            escaped +=
                QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    }
    return escaped;
}

bool ProcessTable::belongsTo(const ProcessInfo& process, const DesktopEntry& entry) {
    // Launchers put each application into "app-[LAUNCHER-]ID-RANDOM.scope" or
    // "app-[LAUNCHER-]ID@RANDOM.service"; the escaped ID holds no raw "-".
    const QString id = escapedUnitPart(entry.name());
    for (const QString& line : process.cgroup.split('\n', Qt::SkipEmptyParts)) {
        for (const QString& unit : line.section(':', 2).split('/', Qt::SkipEmptyParts)) {
            if (!unit.startsWith(QLatin1String("app-")))
                continue;
            if (unit.contains('-' + id + '-') || unit.contains('-' + id + '@'))
                return true;
        }
    }

    const QString program = entry.program();
    const QStringList arguments = entry.arguments();
    const QStringList& line = process.commandLine;
    if (program.isEmpty() || line.isEmpty())
        return false;
    const bool runsProgram =
        samePath(process.executable, program) || samePath(line.first(), program);
    if (runsProgram && argumentsFollow(line, 1, arguments))
        return true;
    // A script runs as "interpreter [its options] script arguments".
    if (!isScript(program))
        return false;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line[i].contains('/') && samePath(line[i], program))
            return argumentsFollow(line, i + 1, arguments);
        if (!line[i].startsWith('-'))
            return false;
    }
    return false;
}
