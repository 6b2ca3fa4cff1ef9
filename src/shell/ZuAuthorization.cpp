#include "shell/ZuAuthorization.h"

#include "platform/ZuConsole.h"
#include "platform/ZuPaths.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <atomic>
#include <cstring>

namespace {

QStringList& launcherCommand() {
    static QStringList command{QStringLiteral("pkexec")};
    return command;
}

std::function<int32_t()>& fixedAnswer() {
    static std::function<int32_t()> answer;
    return answer;
}

std::atomic<int> checkCount{0};

// pkexec's own exit codes: the dialog was dismissed, or the right refused.
constexpr int dismissedStatus = 126;
constexpr int notAuthorizedStatus = 127;

// The record the helper reads: a 32-byte external form of the right, then
// the command code 1 and a 1024-byte field holding "/tmp".
constexpr int externalFormLength = 32;
QByteArray commandRecord() {
    QByteArray record(externalFormLength + 4 + 1024, '\0');
    for (int i = 0; i < externalFormLength; ++i)
        record[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
    const int32_t code = 1;
    std::memcpy(record.data() + externalFormLength, &code, sizeof code);
    std::memcpy(record.data() + externalFormLength + 4, "/tmp", 5);
    return record;
}

int32_t refused(const QString& reason) {
    ZuConsole::line(QStringLiteral("ZuAuthorization: the right is refused: %1.").arg(reason));
    return -1;
}

} // namespace

int32_t ZuAuthorization() {
    ++checkCount;
    if (fixedAnswer())
        return fixedAnswer()();

    const QStringList command = launcherCommand();
    const bool found =
        !command.isEmpty() && (!QStandardPaths::findExecutable(command.first()).isEmpty() ||
                               QFileInfo(command.first()).isExecutable());
    if (!found)
        return refused(QStringLiteral("no %1 to ask for it").arg(command.value(0)));
    QString tool = ZuPaths::helperFolder() + QStringLiteral("/nightwarden-authtool");
    const bool haveTool = QFileInfo(tool).isExecutable();
    if (!haveTool)
        tool = QStringLiteral("/bin/true"); // still asks for the right itself

    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1) << tool);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    if (!process.waitForStarted(-1))
        return refused(QStringLiteral("%1 could not be started").arg(command.first()));
    if (haveTool) {
        const QByteArray record = commandRecord();
        process.write(record.left(externalFormLength));
        ZuConsole::line(QStringLiteral("Passing child command."));
        process.write(record.mid(externalFormLength));
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);
    // Only the helper's own "yes" grants: it exits 0 once it has read the
    // whole record. A launcher or helper killed on the way, or any other
    // status, leaves the guarded action undone.
    if (process.exitStatus() != QProcess::NormalExit)
        return refused(QStringLiteral("%1 was ended by a signal").arg(command.first()));
    if (process.error() == QProcess::WriteError)
        return refused(QStringLiteral("the helper did not read the whole request"));
    switch (const int status = process.exitCode()) {
    case 0:
        return 0;
    case dismissedStatus:
        return refused(QStringLiteral("the authentication was dismissed"));
    case notAuthorizedStatus:
        return refused(QStringLiteral("not authorized"));
    default:
        return refused(QStringLiteral("the helper answered with status %1").arg(status));
    }
}

void ZuAuthorizationSetup::setLauncher(const QStringList& launcher) {
    launcherCommand() = launcher;
}

QStringList ZuAuthorizationSetup::launcher() {
    return launcherCommand();
}

void ZuAuthorizationSetup::setAnswer(std::function<int32_t()> answer) {
    fixedAnswer() = std::move(answer);
}

int ZuAuthorizationSetup::checks() {
    return checkCount.load();
}

void ZuAuthorizationSetup::resetChecks() {
    checkCount = 0;
}
