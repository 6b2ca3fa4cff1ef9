#include "platform/ZuFileLock.h"

#include <QByteArray>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

std::atomic<ZuFileLock::Method> chosenMethod{ZuFileLock::Method::Automatic};

QString reason(const QString& what, const QString& path) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(strerror(errno)));
}

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

// Reads the inode flags; -1 with errno when the file system has none.
int readFlags(int fd, int* flags) {
    return ::ioctl(fd, FS_IOC_GETFLAGS, flags);
}

// Sets or clears the immutable flag keeping all other flags.
bool changeImmutable(const QString& path, bool on, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(error, reason(QStringLiteral("cannot open"), path));
    int flags = 0;
    bool ok = readFlags(fd, &flags) == 0;
    if (ok && bool(flags & FS_IMMUTABLE_FL) != on) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (!ok)
        return fail(error, reason(QStringLiteral("cannot change the immutable flag of"), path));
    return true;
}

bool lockWithAttribute(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return fail(error, reason(QStringLiteral("cannot read"), path));
    // A second lock must not save the bits the first one cleared.
    const bool marking = !ZuFileLock::hasLockAttribute(path);
    if (marking) {
        const QByteArray mode = QByteArray::number(info.st_mode & 07777, 8);
        if (::setxattr(name.constData(), ZuFileLock::attributeName, mode.constData(),
                       size_t(mode.size()), 0) != 0)
            return fail(error, reason(QStringLiteral("cannot mark"), path));
    }
    if (::chmod(name.constData(), info.st_mode & 07777 & ~mode_t(0222)) != 0) {
        const QString why = reason(QStringLiteral("cannot make read-only"), path);
        // A mark without the read-only bits would read as locked, and unlocking
        // would meet the same refusal.
        if (marking)
            ::removexattr(name.constData(), ZuFileLock::attributeName);
        return fail(error, why);
    }
    return true;
}

bool unlockAttribute(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    char saved[16] = {};
    const ssize_t length =
        ::getxattr(name.constData(), ZuFileLock::attributeName, saved, sizeof saved - 1);
    if (length < 0)
        return errno == ENODATA || errno == ENOTSUP
                   ? true
                   : fail(error, reason(QStringLiteral("cannot read the mark of"), path));
    bool parsed = false;
    mode_t mode = mode_t(QByteArray(saved, int(length)).toUInt(&parsed, 8)) & 07777;
    if (!parsed) {
        struct stat info {};
        if (::stat(name.constData(), &info) != 0)
            return fail(error, reason(QStringLiteral("cannot read"), path));
        mode = (info.st_mode & 07777) | S_IWUSR;
    }
    if (::chmod(name.constData(), mode) != 0)
        return fail(error, reason(QStringLiteral("cannot make writable"), path));
    if (::removexattr(name.constData(), ZuFileLock::attributeName) != 0)
        return fail(error, reason(QStringLiteral("cannot remove the mark of"), path));
    return true;
}

} // namespace

void ZuFileLock::setMethod(Method method) {
    chosenMethod.store(method);
}

ZuFileLock::Method ZuFileLock::method() {
    return chosenMethod.load();
}

bool ZuFileLock::hasImmutableFlag(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    const bool set = readFlags(fd, &flags) == 0 && (flags & FS_IMMUTABLE_FL);
    ::close(fd);
    return set;
}

bool ZuFileLock::isLockedOpenFile(int fd) {
    int flags = 0;
    return (readFlags(fd, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) ||
           ::fgetxattr(fd, attributeName, nullptr, 0) >= 0;
}

bool ZuFileLock::hasLockAttribute(const QString& path) {
    return ::getxattr(QFile::encodeName(path).constData(), attributeName, nullptr, 0) >= 0;
}

bool ZuFileLock::isLocked(const QString& path) {
    return hasImmutableFlag(path) || hasLockAttribute(path);
}

bool ZuFileLock::lock(const QString& path, QString* error) {
    switch (method()) {
    case Method::ImmutableFlag:
        return changeImmutable(path, true, error);
    case Method::ExtendedAttribute:
        return lockWithAttribute(path, error);
    case Method::Automatic:
        break;
    }
    if (changeImmutable(path, true, nullptr))
        return true;
    // No right to the flag, or a file system without inode flags.
    if (errno != EPERM && errno != EACCES && errno != ENOTTY && errno != EOPNOTSUPP &&
        errno != EINVAL)
        return fail(error, reason(QStringLiteral("cannot lock"), path));
    return lockWithAttribute(path, error);
}

bool ZuFileLock::unlock(const QString& path, QString* error) {
    if (hasImmutableFlag(path) && !changeImmutable(path, false, error))
        return false;
    return unlockAttribute(path, error);
}
