// Hiding and showing the recordings of the record folder: the first
// character of a recording's name is its hidden marker. Waveform pictures
// need no renaming, since both forms of a name share one picture name.
#include "recording/ZuMechanic.h"

#include "platform/ZuFileLock.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"
#include "playback/ZuAnalyzer.h"
#include "playback/ZuPlayer.h"
#include "shell/ZuControler.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError() {
    return QString::fromLocal8Bit(strerror(errno));
}

// The names in a folder, in name order, read through its descriptor.
QStringList entryNames(int folderFd) {
    QStringList names;
    const int listFd = ::dup(folderFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir))
        names.append(QFile::decodeName(entry->d_name));
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Renames within a folder unless the new name is taken (errno EEXIST), in
// one step: a check before the rename could lose a file made in between.
bool renameNoReplace(int folderFd, const QByteArray& from, const QByteArray& to) {
    if (::renameat2(folderFd, from.constData(), folderFd, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a second link fails on a taken name,
    // then the old link goes.
    if (::linkat(folderFd, from.constData(), folderFd, to.constData(), 0) != 0)
        return false;
    if (::unlinkat(folderFd, from.constData(), 0) == 0)
        return true;
    const int saved = errno;
    ::unlinkat(folderFd, to.constData(), 0);
    errno = saved;
    return false;
}

// An open file of the folder, reached by a path that names its inode: the
// locks act on the very file checked, whatever is put under its name.
class FolderEntry {
public:
    FolderEntry(int folderFd, const QByteArray& name)
        : fd(::openat(folderFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {
    }
    ~FolderEntry() {
        if (fd >= 0)
            ::close(fd);
    }
    FolderEntry(const FolderEntry&) = delete;
    FolderEntry& operator=(const FolderEntry&) = delete;

    bool isRegularFile() const {
        struct stat info {};
        return fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    }
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd); }

private:
    int fd;
};

} // namespace

QStringList ZuMechanic::changeHiddenSoundFiles(bool hide) {
    QStringList kept;
    const int folderFd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        ZuLogEvent::error(QStringLiteral("ZuMechanic: cannot read the record folder %1: %2.")
                              .arg(folder, systemError()));
        return kept;
    }
    // A picture being made opens its recording by name: it is done first.
    if (ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr)
        analyzer->waitUntilDone();
    ZuSettings& store = ZuSettings::standard();
    const QFileInfo progress(store.stringForKey("ProgressSoundFileName"));
    const bool progressHere = progress.absolutePath() == QFileInfo(folder).absoluteFilePath();
    for (const QString& name : entryNames(folderFd)) {
        if (!isSoundFile(name) || isHidedFile(name) == hide)
            continue;
        const QString target = (hide ? QLatin1Char('.') : QLatin1Char('_')) + name.mid(1);
        const QByteArray from = QFile::encodeName(name);
        const QByteArray to = QFile::encodeName(target);
        const FolderEntry entry(folderFd, from);
        bool renamed = false;
        QString reason;
        // A link or anything else under a recording's name is left alone.
        if (!entry.isRegularFile()) {
            reason = QStringLiteral("it is not a regular file");
        } else {
            // Only the immutable flag stops a rename; the attribute's mark
            // goes with the file.
            const bool flagged = ZuFileLock::hasImmutableFlag(entry.path());
            if (!flagged || ZuFileLock::unlock(entry.path(), &reason)) {
                renamed = renameNoReplace(folderFd, from, to);
                if (!renamed)
                    reason =
                        errno == EEXIST ? QStringLiteral("%1 exists").arg(target) : systemError();
                QString lockReason;
                if (flagged && !ZuFileLock::lock(entry.path(), &lockReason))
                    ZuLogEvent::error(QStringLiteral("ZuMechanic: %1 could not be locked again: %2")
                                          .arg(renamed ? target : name, lockReason));
            }
        }
        if (!renamed) {
            kept.append(name);
            ZuLogEvent::error(
                QStringLiteral("ZuMechanic: %1 keeps its name: %2.").arg(name, reason));
            continue;
        }
        // The recording in progress is found under its new name at its stop.
        if (progressHere && progress.fileName() == name) {
            store.setString(folder + QLatin1Char('/') + target, "ProgressSoundFileName");
            store.synchronize();
        }
    }
    ::close(folderFd);
    if (controler && controler->player())
        controler->player()->renewListAndControl();
    return kept;
}
