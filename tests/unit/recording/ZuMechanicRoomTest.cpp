#include "recording/ZuMechanic.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "support/NwTestSupport.h"
#include "unit/recording/ZuMechanicTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// A recording of one whole hour on a day of March 2007.
QString hourName(int day, int hour, char lead = '_') {
    return QString::asprintf("%cNightwarden_200703%02d_%02d0000~%02d0000.aif", lead, day, hour,
                             (hour + 1) % 24);
}

class ZuMechanicRoom : public testing::TestWithParam<ZuFileLock::Method> {
protected:
    void SetUp() override {
        mechanic.setDirPath(nwTestDir() + "/Rec");
        ZuFileLock::setMethod(GetParam());
        if (GetParam() == ZuFileLock::Method::ImmutableFlag) {
            const QString probe = inFolder("probe");
            writeBytesTo(probe, 1);
            const bool usable = ZuFileLock::lock(probe) && ZuFileLock::unlock(probe);
            QFile::remove(probe);
            if (!usable)
                GTEST_SKIP() << "the immutable flag cannot be set here";
        }
    }
    void TearDown() override {
        for (const QString& name :
             QDir(mechanic.recordFolder()).entryList(QDir::Files | QDir::Hidden))
            ZuFileLock::unlock(inFolder(name));
        ZuFileLock::setMethod(ZuFileLock::Method::Automatic);
    }
    QString inFolder(const QString& name) const { return mechanic.recordFolder() + "/" + name; }
    QStringList namesInFolder() const {
        return QDir(mechanic.recordFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    ZuMechanic mechanic;
};

} // namespace

TEST_P(ZuMechanicRoom, DeleteOlderFileTakesTheOldestUnlockedRecordingAndItsPicture) {
    const QString oldest = hourName(1, 0, '.'); // hidden names sort first
    const QString second = hourName(1, 1);
    const QString third = hourName(1, 2);
    for (const QString& name : {oldest, second, third, QString("NightwardenLog.txt"),
                                QString("_Nightwarden_20070301_000000~010000+.aif")})
        writeBytesTo(inFolder(name), 4096);
    writeBytesTo(inFolder(ZuMechanic::imageFileName(second)), 10);
    ASSERT_TRUE(mechanic.lockFile(oldest));

    EXPECT_TRUE(mechanic.deleteOlderFile());
    EXPECT_TRUE(QFileInfo::exists(inFolder(oldest)));
    EXPECT_FALSE(QFileInfo::exists(inFolder(second)));
    EXPECT_FALSE(QFileInfo::exists(inFolder(ZuMechanic::imageFileName(second))));
    EXPECT_TRUE(QFileInfo::exists(inFolder(third)));

    // The recording in progress shows under its progress name: never taken.
    ZuSettings::standard().setString(inFolder(third), "ProgressSoundFileName");
    EXPECT_FALSE(mechanic.deleteOlderFile());
    EXPECT_EQ(namesInFolder().size(), 4);
}

TEST_P(ZuMechanicRoom, RemovalPathsRefuseLockedFiles) {
    const QString name = hourName(2, 3);
    writeBytesTo(inFolder(name), 4096);
    ASSERT_TRUE(mechanic.lockFile(name));
    EXPECT_TRUE(mechanic.isLockedFile(name));
    EXPECT_TRUE(mechanic.isLockedFile(inFolder(name)));
    EXPECT_FALSE(mechanic.removeFileAtPath(inFolder(name)));
    EXPECT_FALSE(mechanic.moveFileAtPath(inFolder(name), inFolder("elsewhere.aif")));
    EXPECT_TRUE(QFileInfo::exists(inFolder(name)));
    ASSERT_TRUE(mechanic.unlockFile(name));
    EXPECT_FALSE(mechanic.isLockedFile(name));
    EXPECT_TRUE(mechanic.removeFileAtPath(inFolder(name)));
}

// MaxTotalTime 86 400 and MaxRecordTime 3 600: unlocked recordings may add up
// to 90 000 seconds; locked ones neither count nor go.
TEST_P(ZuMechanicRoom, SecureRecordSpaceDeletesOnlyWhileUnlockedTimeExceeds90000Seconds) {
    mechanic.setMaxTotalTime(86400);
    mechanic.setMaxRecordTime(3600);
    for (int i = 0; i < 27; ++i)
        writeBytesTo(inFolder(hourName(1 + i / 24, i % 24)), 4096);
    const QString lockedOldest = hourName(1, 0);
    ASSERT_TRUE(mechanic.lockFile(lockedOldest));
    // 26 unlocked hours = 93 600 s: one hour is over the allowance.
    EXPECT_EQ(mechanic.recordTotalTime(), 93600.0);
    EXPECT_TRUE(mechanic.secureRecordSpace());
    EXPECT_EQ(mechanic.recordTotalTime(), 90000.0);
    EXPECT_TRUE(QFileInfo::exists(inFolder(lockedOldest)));
    EXPECT_FALSE(QFileInfo::exists(inFolder(hourName(1, 1))));
    EXPECT_TRUE(QFileInfo::exists(inFolder(hourName(1, 2))));
    // Exactly at the allowance nothing more goes.
    EXPECT_TRUE(mechanic.secureRecordSpace());
    EXPECT_EQ(namesInFolder().size(), 26);
}

TEST_P(ZuMechanicRoom, BackupBatchLeavesTheRecordingInProgressAndLockedFilesAlone) {
    mechanic.setAdviceDataSize(10000.0 / 1048576.0); // 10 000 bytes
    const QString f = mechanic.recordFolder();
    const QStringList olds = {hourName(1, 0), hourName(1, 1), hourName(1, 2)};
    for (const QString& name : olds)
        writeBytesTo(inFolder(name), 4000);
    const QString locked = hourName(1, 0, '.');
    writeBytesTo(inFolder(locked), 100);
    ASSERT_TRUE(mechanic.lockFile(locked));
    const QString progress = hourName(2, 5);
    const QStringList stay = {".NightwardenTempFile", ".NightwardenRelayFile", "NightwardenLog.txt",
                              progress};
    for (const QString& name : stay)
        writeBytesTo(inFolder(name), 10);
    ZuSettings::standard().setString(inFolder(progress), "ProgressSoundFileName");
    // An earlier batch nobody has backed up yet.
    const QString backup = nwTestDir() + "/NightwardenBackup";
    writeBytesTo(backup + "/earlier.aif", 7);

    EXPECT_EQ(mechanic.moveBackupDataWithPath(f), 8000.0);
    EXPECT_EQ(QDir(backup).entryList(QDir::Files, QDir::Name), olds.mid(0, 2));
    EXPECT_TRUE(QFileInfo::exists(inFolder(olds[2])));
    for (const QString& name : stay + QStringList{locked})
        EXPECT_TRUE(QFileInfo::exists(inFolder(name))) << name.toStdString();
    const QStringList asides =
        QDir(nwTestDir()).entryList({"NightwardenBackup_*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(asides.size(), 1);
    EXPECT_TRUE(QFileInfo::exists(nwTestDir() + "/" + asides[0] + "/earlier.aif"));
}

INSTANTIATE_TEST_SUITE_P(LockMethods, ZuMechanicRoom,
                         testing::Values(ZuFileLock::Method::ExtendedAttribute,
                                         ZuFileLock::Method::ImmutableFlag),
                         [](const auto& info) {
                             return info.param == ZuFileLock::Method::ImmutableFlag
                                        ? "ImmutableFlag"
                                        : "ExtendedAttribute";
                         });

TEST(ZuMechanicSpace, NeedFreeSpaceIsOneLongestFileAndASpare) {
    EXPECT_EQ(ZuMechanic::maxRecordOneFor(22050, 1, 3600), 158760000.0);
    EXPECT_EQ(ZuMechanic::needFreeSpaceFor(22050, 1, 3600), 158760000.0 + 41984.0);
    EXPECT_EQ(ZuMechanic::needFreeSpaceFor(48000, 2, 600), 115200000.0 + 41984.0);
    ZuMechanic unwired; // no recorder to ask: only the spare is needed
    EXPECT_EQ(unwired.needFreeSpace(), 41984.0);
}

TEST(ZuMechanicSpace, QuantitiesOfTheFolder) {
    ZuMechanic mechanic;
    mechanic.setDirPath(nwTestDir() + "/Rec");
    writeBytesTo(nwTestDir() + "/Rec/a", 1000);
    writeBytesTo(nwTestDir() + "/Rec/.hidden", 24);
    writeBytesTo(nwTestDir() + "/Rec/sub/deeper/b", 3000);
    // The subfolders' own entries count as well as the files in them.
    const double sub = double(QFileInfo(nwTestDir() + "/Rec/sub").size());
    const double deeper = double(QFileInfo(nwTestDir() + "/Rec/sub/deeper").size());
    ASSERT_GT(sub, 0.0);
    ASSERT_GT(deeper, 0.0);
    EXPECT_EQ(mechanic.totalDataSize(), 4024.0 + sub + deeper);
    EXPECT_EQ(ZuMechanic::folderSizeWithPath(nwTestDir() + "/Rec/sub"), 3000.0 + deeper);
    EXPECT_EQ(ZuMechanic::folderSizeWithPath(nwTestDir() + "/absent"), 0.0);
    EXPECT_GT(mechanic.freeSystemSpace(), 0.0);
    EXPECT_EQ(ZuMechanic::backupFolderFor("/data/NightwardenRecord/"), "/data/NightwardenBackup");
}

TEST(ZuMechanicAdvice, OverTheAdviceSizeTheBatchIsMovedAndTheAdviceShown) {
    ZuMechanic mechanic;
    mechanic.setDirPath(nwTestDir() + "/Rec");
    mechanic.setAdviceOperation(true);
    mechanic.setAdviceDataSize(5000.0 / 1048576.0);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("BackupAdviceOperation"));
    writeBytesTo(nwTestDir() + "/Rec/" + hourName(1, 0), 3000);
    writeBytesTo(nwTestDir() + "/Rec/" + hourName(1, 1), 3000);
    auto answerer = std::dynamic_pointer_cast<ZuScriptedAnswerer>(ZuAlerts::answerer());
    ASSERT_NE(answerer, nullptr);

    EXPECT_TRUE(mechanic.makeSecureRecordSpace());
    ASSERT_EQ(answerer->shownAlerts.size(), 1);
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    EXPECT_EQ(answerer->shownAlerts[0].messageKey, "BackupAdvice");
    EXPECT_EQ(mechanic.advicePathText.text(), nwTestDir() + "/NightwardenBackup");
    EXPECT_EQ(mechanic.adviceTotalText.text(), QString::number(6000.0 / 1048576.0, 'f', 1));
    EXPECT_EQ(mechanic.adviceIndicator.state(), 1);
    EXPECT_TRUE(QFileInfo::exists(nwTestDir() + "/NightwardenBackup/" + hourName(1, 0)));
    EXPECT_TRUE(QFileInfo::exists(nwTestDir() + "/Rec/" + hourName(1, 1)));

    // Under the size now: no second advice, the indicator stops.
    EXPECT_TRUE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(answerer->shownAlerts.size(), 1);
    EXPECT_EQ(mechanic.adviceIndicator.state(), 0);
}
