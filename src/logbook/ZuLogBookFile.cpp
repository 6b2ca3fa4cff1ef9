#include "logbook/ZuLogBookFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ZuLogBookFile::~ZuLogBookFile() {
    close();
}

bool ZuLogBookFile::openLocked(const QString& path, int flags) {
    if (fd >= 0)
        ::close(fd);
    // Never through a link planted in the record folder.
    fd = ::open(QFile::encodeName(path).constData(),
                flags | O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    openPath = fd >= 0 ? path : QString();
    return fd >= 0;
}

bool ZuLogBookFile::openForUpdate(const QString& path) {
    std::lock_guard lock(mutex);
    return openLocked(path, 0);
}

bool ZuLogBookFile::create(const QString& path) {
    std::lock_guard lock(mutex);
    ::unlink(QFile::encodeName(path).constData());
    return openLocked(path, O_CREAT | O_TRUNC);
}

bool ZuLogBookFile::isOpen() const {
    std::lock_guard lock(mutex);
    return fd >= 0;
}

bool ZuLogBookFile::append(const QByteArray& block) {
    std::lock_guard lock(mutex);
    return appendLocked(block);
}

bool ZuLogBookFile::appendAndClose(const QByteArray& block) {
    std::lock_guard lock(mutex);
    const bool appended = appendLocked(block);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    openPath.clear();
    return appended;
}

void ZuLogBookFile::reopenIfRemovedLocked() {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_nlink > 0)
        return;
    const QByteArray path = QFile::encodeName(openPath);
    const int again =
        ::open(path.constData(), O_CREAT | O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    // While the folder is still missing the block goes where the others went;
    // the next append tries again.
    if (again < 0)
        return;
    ::close(fd);
    fd = again;
}

bool ZuLogBookFile::appendLocked(const QByteArray& block) {
    if (fd < 0)
        return false;
    reopenIfRemovedLocked();
    // One write in practice; the loop only finishes a write cut short by a
    // signal or a full disk, still under the lock.
    const char* data = block.constData();
    qsizetype left = block.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data += n;
        left -= n;
    }
    return true;
}

void ZuLogBookFile::close() {
    std::lock_guard lock(mutex);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    openPath.clear();
}
