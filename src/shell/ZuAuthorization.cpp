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

} // namespace

int32_t ZuAuthorization() {
    ++checkCount;
    if (fixedAnswer())
        return fixedAnswer()();

    const QStringList command = launcherCommand();
    const bool found =
        !command.isEmpty() && (!QStandardPaths::findExecutable(command.first()).isEmpty() ||
                               QFileInfo(command.first()).isExecutable());
    if (!found) {
        ZuConsole::line(
            QStringLiteral("ZuAuthorization: no %1 to ask for the right.").arg(command.value(0)));
        return -1;
    }
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
        return -1;
    if (haveTool) {
        const QByteArray record = commandRecord();
        process.write(record.left(externalFormLength));
        ZuConsole::line(QStringLiteral("Passing child command."));
        process.write(record.mid(externalFormLength));
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);
    // The launcher runs the helper in its own place once the right is
    // granted, so a crash is the helper's and the right stands.
    if (process.exitStatus() != QProcess::NormalExit)
        return 0;
    const int status = process.exitCode();
    if (status == dismissedStatus || status == notAuthorizedStatus)
        return -1;
    // Any other status is the helper's own: the right was granted.
    return 0;
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
