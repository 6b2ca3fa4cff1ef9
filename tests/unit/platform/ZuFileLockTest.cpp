#include "platform/ZuFileLock.h"

#include "support/NwTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace {

QString makeFile(const QString& name, mode_t mode = 0640) {
    const QString path = nwTestDir() + "/" + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("sound");
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
    return path;
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// Capabilities are per thread: this thread alone loses that right (the
// immutable flag, or changing the mode of another user's file).
bool dropCapability(unsigned capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~(1u << capability);
    return ::syscall(SYS_capset, &header, data) == 0;
}

class MethodGuard {
public:
    explicit MethodGuard(ZuFileLock::Method method) { ZuFileLock::setMethod(method); }
    ~MethodGuard() { ZuFileLock::setMethod(ZuFileLock::Method::Automatic); }
};

// Skips when this process may not set the flag here (no capability, or a
// file system without inode flags).
bool flagUsable(const QString& path) {
    MethodGuard guard(ZuFileLock::Method::ImmutableFlag);
    if (!ZuFileLock::lock(path))
        return false;
    return ZuFileLock::unlock(path);
}

} // namespace

TEST(ZuFileLockAttribute, LockMarksAndClearsWriteBitsUnlockRestoresThem) {
    MethodGuard guard(ZuFileLock::Method::ExtendedAttribute);
    const QString path = makeFile("a.aif", 0664);
    EXPECT_FALSE(ZuFileLock::isLocked(path));
    ASSERT_TRUE(ZuFileLock::lock(path));
    EXPECT_TRUE(ZuFileLock::isLocked(path));
    EXPECT_TRUE(ZuFileLock::hasLockAttribute(path));
    EXPECT_FALSE(ZuFileLock::hasImmutableFlag(path));
    EXPECT_EQ(modeOf(path), mode_t(0444));
    // A second lock must not save the read-only bits as the ones to restore.
    ASSERT_TRUE(ZuFileLock::lock(path));
    ASSERT_TRUE(ZuFileLock::unlock(path));
    EXPECT_FALSE(ZuFileLock::isLocked(path));
    EXPECT_EQ(modeOf(path), mode_t(0664));
}

TEST(ZuFileLockAttribute, AMarkWhoseModeCannotChangeIsTakenBack) {
    MethodGuard guard(ZuFileLock::Method::ExtendedAttribute);
    // Another user's file: the attribute may be written, the mode not.
    const QString path = makeFile("other.aif", 0664);
    if (::chown(QFile::encodeName(path).constData(), 4321, 4321) != 0)
        GTEST_SKIP() << "cannot give a file to another user here";
    bool dropped = false;
    bool locked = true;
    QString error;
    std::thread worker([&] {
        dropped = dropCapability(CAP_FOWNER);
        locked = ZuFileLock::lock(path, &error);
    });
    worker.join();
    ASSERT_TRUE(dropped);
    EXPECT_FALSE(locked);
    EXPECT_TRUE(error.startsWith("cannot make read-only")) << error.toStdString();
    EXPECT_FALSE(ZuFileLock::hasLockAttribute(path));
    EXPECT_FALSE(ZuFileLock::isLocked(path));
    EXPECT_EQ(modeOf(path), mode_t(0664));
}

TEST(ZuFileLockAttribute, UnlockingAnUnlockedFileChangesNothing) {
    const QString path = makeFile("b.aif", 0600);
    EXPECT_TRUE(ZuFileLock::unlock(path));
    EXPECT_EQ(modeOf(path), mode_t(0600));
    EXPECT_FALSE(ZuFileLock::lock(nwTestDir() + "/absent.aif"));
}

TEST(ZuFileLockFlag, LockSetsTheImmutableFlagWhichTheKernelEnforces) {
    const QString path = makeFile("c.aif");
    if (!flagUsable(path))
        GTEST_SKIP() << "the immutable flag cannot be set here";
    MethodGuard guard(ZuFileLock::Method::ImmutableFlag);
    ASSERT_TRUE(ZuFileLock::lock(path));
    EXPECT_TRUE(ZuFileLock::isLocked(path));
    EXPECT_TRUE(ZuFileLock::hasImmutableFlag(path));
    EXPECT_FALSE(ZuFileLock::hasLockAttribute(path));
    EXPECT_FALSE(QFile::remove(path));
    EXPECT_EQ(modeOf(path), mode_t(0640)); // permission bits are not touched
    ASSERT_TRUE(ZuFileLock::unlock(path));
    EXPECT_FALSE(ZuFileLock::isLocked(path));
    EXPECT_TRUE(QFile::remove(path));
}

TEST(ZuFileLockFlag, EitherMarkCountsAsLockedAndUnlockClearsBoth) {
    const QString path = makeFile("d.aif");
    if (!flagUsable(path))
        GTEST_SKIP() << "the immutable flag cannot be set here";
    {
        MethodGuard guard(ZuFileLock::Method::ExtendedAttribute);
        ASSERT_TRUE(ZuFileLock::lock(path));
    }
    {
        MethodGuard guard(ZuFileLock::Method::ImmutableFlag);
        ASSERT_TRUE(ZuFileLock::lock(path));
    }
    EXPECT_TRUE(ZuFileLock::hasImmutableFlag(path));
    EXPECT_TRUE(ZuFileLock::hasLockAttribute(path));
    ASSERT_TRUE(ZuFileLock::unlock(path));
    EXPECT_FALSE(ZuFileLock::isLocked(path));
    EXPECT_EQ(modeOf(path), mode_t(0640));
}

TEST(ZuFileLockAutomatic, WithoutTheRightToTheFlagFallsBackToTheAttribute) {
    const QString path = makeFile("e.aif");
    bool dropped = false;
    bool locked = false;
    bool flagged = true;
    std::thread worker([&] {
        dropped = dropCapability(CAP_LINUX_IMMUTABLE);
        locked = ZuFileLock::lock(path);
        flagged = ZuFileLock::hasImmutableFlag(path);
    });
    worker.join();
    ASSERT_TRUE(dropped);
    ASSERT_TRUE(locked);
    EXPECT_FALSE(flagged);
    EXPECT_TRUE(ZuFileLock::hasLockAttribute(path));
    EXPECT_TRUE(ZuFileLock::isLocked(path));
    EXPECT_TRUE(ZuFileLock::unlock(path));
}
