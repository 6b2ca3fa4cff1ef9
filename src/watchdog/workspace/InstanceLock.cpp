#include "workspace/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace {

QString socketFolder() {
    // The runtime folder is the user's own; the temporary folder is shared,
    // so the server also checks who connects.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
}

} // namespace

InstanceLock::InstanceLock(const QString& settingsFile)
    : lockPath_(settingsFile + QLatin1String(".running")), lock_(lockPath_) {
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    const QByteArray key = QCryptographicHash::hash(canonicalSettingsPath(settingsFile).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    serverPath_ = QStringLiteral("%1/zughoulizer-%2-%3")
                      .arg(socketFolder(), QString::number(getuid()), QString::fromLatin1(key));
    // The holder runs for days: only a holder that has ended makes the lock
    // stale, never the lock's age.
    lock_.setStaleLockTime(0);
}

QString InstanceLock::canonicalSettingsPath(const QString& settingsFile) {
    const QFileInfo file(settingsFile);
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? file.absolutePath() : folder) + '/' + file.fileName();
}

bool InstanceLock::tryLock() {
    if (lock_.tryLock(0))
        return true;
    if (lock_.error() != QLockFile::LockFailedError)
        return false;
    // A lock file that names no holder was cut short by a crash while it was
    // written; removing it respects a holder that still has it open.
    qint64 pid = 0;
    QString hostname;
    QString application;
    if (!lock_.getLockInfo(&pid, &hostname, &application) && lock_.removeStaleLockFile())
        return lock_.tryLock(0);
    return false;
}

QString InstanceLock::failure() const {
    switch (lock_.error()) {
    case QLockFile::NoError:
        return QString();
    case QLockFile::LockFailedError:
        return QStringLiteral("%1 is held by another process").arg(lockPath_);
    case QLockFile::PermissionError:
        return QStringLiteral("%1 cannot be made: no permission").arg(lockPath_);
    case QLockFile::UnknownError:
        break;
    }
    return QStringLiteral("%1 cannot be made").arg(lockPath_);
}

qint64 InstanceLock::holderPid() const {
    qint64 pid = 0;
    QString hostname;
    QString application;
    return lock_.getLockInfo(&pid, &hostname, &application) ? pid : 0;
}
