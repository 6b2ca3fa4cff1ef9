#pragma once

#include <QString>

// Locking a recording against deletion and change. Where the process may set
// it (root or CAP_LINUX_IMMUTABLE) the file gets the immutable inode flag,
// which the kernel enforces; otherwise the user extended attribute
// "user.nightwarden.locked" marks it (holding the permission bits to restore)
// and its write bits are cleared. A file is locked when either is present.
// The owner may still unlink a read-only file, so every path that deletes or
// renames a recording must ask isLocked itself.
class ZuFileLock {
public:
    enum class Method { Automatic, ImmutableFlag, ExtendedAttribute };

    static inline const char* const attributeName = "user.nightwarden.locked";

    // How lock() marks files: Automatic tries the flag and falls back to the
    // attribute when the flag is refused. Process-wide; tests pick one.
    static void setMethod(Method method);
    static Method method();

    static bool isLocked(const QString& path);
    // The same for a file already open, without looking its path up again.
    static bool isLockedOpenFile(int fd);
    // Other inode flags and attributes are kept. False, with the reason in
    // error, when the file cannot be marked.
    static bool lock(const QString& path, QString* error = nullptr);
    // Clears whichever marks are present, restoring the saved permission bits.
    static bool unlock(const QString& path, QString* error = nullptr);

    static bool hasImmutableFlag(const QString& path);
    static bool hasLockAttribute(const QString& path);
};
