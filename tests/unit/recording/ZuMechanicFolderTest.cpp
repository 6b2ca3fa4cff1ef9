#include "recording/ZuMechanic.h"

#include "platform/ZuFileLock.h"
#include "platform/ZuSettings.h"
#include "support/NwTestSupport.h"
#include "unit/recording/ZuMechanicTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

TEST(ZuMechanicFolder, ExistingFolderIsUsedAndStored) {
    ZuMechanic mechanic;
    const QString path = nwTestDir() + "/Record";
    mechanic.setDirPath(path);
    EXPECT_EQ(mechanic.recordFolder(), path);
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(ZuSettings::standard().stringForKey("DirectoryPath"), path);
}

TEST(ZuMechanicFolder, ARelativePathIsStoredAbsolute) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(nwTestDir()));
    const QString expected = QDir::currentPath() + "/Rec";
    ZuMechanic mechanic;
    mechanic.setDirPath("Relative/../Rec");
    QDir::setCurrent(before);
    EXPECT_EQ(mechanic.recordFolder(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(ZuSettings::standard().stringForKey("DirectoryPath"), expected);
    // Later file names do not depend on the working folder.
    EXPECT_EQ(mechanic.temporaryFilePath(), expected + "/.NightwardenTempFile");
}

TEST(ZuMechanicFolder, AnExistingFolderThatCannotBeWrittenNowIsKept) {
    const QString path = nwTestDir() + "/ReadOnly";
    ASSERT_TRUE(QDir().mkpath(path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    // The permission bits do not stop root; the immutable flag does.
    ZuFileLock::setMethod(ZuFileLock::Method::ImmutableFlag);
    const bool flagged = ZuFileLock::lock(path);
    ZuFileLock::setMethod(ZuFileLock::Method::Automatic);
    const bool writable = QFileInfo(path).isWritable();
    LogCapture log;
    ZuMechanic mechanic;
    mechanic.setDirPath(path);
    if (flagged)
        ZuFileLock::unlock(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (writable)
        GTEST_SKIP() << "no folder here can be made unwritable";
    EXPECT_EQ(mechanic.recordFolder(), path);
    EXPECT_EQ(ZuSettings::standard().stringForKey("DirectoryPath"), path);
    EXPECT_FALSE(log.lines.contains("Data folder is changed to default"));
}

TEST(ZuMechanicFolder, UnusablePathsFallBackToTheDefaultFolder) {
    writeBytesTo(nwTestDir() + "/plainfile", 10);
    const QStringList unusable = {
        nwTestDir() + "/plainfile",          // a file, not a folder
        nwTestDir() + "/plainfile/below/it", // a parent that cannot be created
        QString(),
    };
    for (const QString& path : unusable) {
        LogCapture log;
        ZuMechanic mechanic;
        mechanic.setDirPath(path);
        EXPECT_EQ(mechanic.recordFolder(), QDir::homePath() + "/Documents/NightwardenRecord")
            << path.toStdString();
        EXPECT_TRUE(QFileInfo(mechanic.recordFolder()).isDir());
        EXPECT_TRUE(log.lines.contains("Data folder is changed to default"));
        EXPECT_EQ(ZuSettings::standard().stringForKey("DirectoryPath"), mechanic.recordFolder());
    }
}

TEST(ZuMechanicFolder, AwakeLoadsSettingsExpandsTildeAndRemovesHiddenRecordings) {
    ZuSettings::standard().setString("~/Elsewhere/Rec", "DirectoryPath");
    ZuSettings::standard().setInteger(7200, "MaxRecordTime");
    const QString folder = QDir::homePath() + "/Elsewhere/Rec";
    writeBytesTo(folder + "/.Nightwarden_20070315_143022~153022.aif", 4096);
    ZuMechanic mechanic;
    mechanic.awakeFromNib();
    EXPECT_EQ(mechanic.recordFolder(), folder);
    EXPECT_EQ(mechanic.maxRecordTime(), 7200.0);
    EXPECT_EQ(mechanic.maxTotalTime(), 86400.0);
    EXPECT_FALSE(mechanic.adviceOperation());
    EXPECT_EQ(mechanic.adviceDataSize(), 4700.0);
    EXPECT_EQ(mechanic.extensionName(), "aif");
    EXPECT_FALSE(QFileInfo::exists(folder + "/.Nightwarden_20070315_143022~153022.aif"));
    QDir(QDir::homePath() + "/Elsewhere").removeRecursively();
}

TEST(ZuMechanicFolder, SaveWritesFolderFormAndTimes) {
    ZuMechanic mechanic;
    mechanic.setDirPath(nwTestDir() + "/R");
    mechanic.setMaxRecordTime(600);
    mechanic.setMaxTotalTime(7200);
    mechanic.setAdviceDataSize(650);
    mechanic.saveUserDefaults();
    ZuMechanic reloaded;
    reloaded.awakeFromNib();
    EXPECT_EQ(reloaded.recordFolder(), nwTestDir() + "/R");
    EXPECT_EQ(reloaded.maxRecordTime(), 600.0);
    EXPECT_EQ(reloaded.maxTotalTime(), 7200.0);
    EXPECT_EQ(reloaded.adviceDataSize(), 650.0);
}

TEST(ZuMechanicNames, SoundImageAndHiddenNameTests) {
    struct Case {
        const char* name;
        bool sound;
        bool image;
    };
    const Case cases[] = {
        {"_Nightwarden_20070315_143022~153022.aif", true, false},
        {".Nightwarden_20070315_143022~153022.aif", true, false},
        {"_Nightwarden_20070315_143022~153022+.aif", false, false},
        {"_Nightwarden_20070315_143022~153022.aiff", false, false},
        {"_Daywatcher_20070315_1430222~153022.aif", false, false},
        {".Nightwarden_20070315_143022~153022.tif", false, true},
        {"xNightwarden_.tif", false, true},
        {"NightwardenLog.txt", false, false},
        {".NightwardenTempFile", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZuMechanic::isSoundFile(c.name), c.sound) << c.name;
        EXPECT_EQ(ZuMechanic::isImageFile(c.name), c.image) << c.name;
    }
    EXPECT_TRUE(ZuMechanic::isHidedFile(".Nightwarden_20070315_143022~153022.aif"));
    EXPECT_FALSE(ZuMechanic::isHidedFile("_Nightwarden_20070315_143022~153022.aif"));
    EXPECT_EQ(ZuMechanic::imageFileName("_Nightwarden_20070305_140211~153000.aif"),
              ".Nightwarden_20070305_140211~153000.tif");
    EXPECT_EQ(ZuMechanic::imageFileName(".Nightwarden_20070305_140211~153000.aif"),
              ".Nightwarden_20070305_140211~153000.tif");
}

TEST(ZuMechanicDotFiles, HiddenRecordingsGoPicturesTemporaryAndLockedStay) {
    ZuMechanic mechanic;
    const QString f = nwTestDir() + "/Rec";
    mechanic.setDirPath(f);
    const QStringList gone = {".Nightwarden_20070315_143022~153022.aif",
                              "sub/.Nightwarden_20070315_150000~160000.aif", ".Nightwarden_x"};
    const QStringList kept = {".Nightwarden_20070315_143022~153022.tif",
                              ".NightwardenTempFile",
                              ".NightwardenRelayFile",
                              "_Nightwarden_20070315_143022~153022.aif",
                              ".Nightwarden_",
                              ".Nightwarden_20070316_000000~010000.aif"};
    for (const QString& name : gone + kept)
        writeBytesTo(f + "/" + name, 100);
    ZuFileLock::setMethod(ZuFileLock::Method::ExtendedAttribute);
    ASSERT_TRUE(mechanic.lockFile(kept.last()));
    ZuFileLock::setMethod(ZuFileLock::Method::Automatic);
    mechanic.deleteDotFileInFolder(f);
    for (const QString& name : gone)
        EXPECT_FALSE(QFileInfo::exists(f + "/" + name)) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(f + "/" + name)) << name.toStdString();
    mechanic.unlockFile(kept.last());
}
