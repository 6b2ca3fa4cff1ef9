// Making room on a volume whose size the test sets: recordings are deleted for
// free space only while deleting can reach one recording of the longest length.
#include "recording/ZuMechanic.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuScriptedAnswerer.h"
#include "support/NwTestSupport.h"
#include "unit/recording/ZuMechanicTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Without a recorder the need is the spare alone.
constexpr double need = 41984.0;

QString dayName(int day) {
    return QString::asprintf("_Nightwarden_200703%02d_000000~010000.aif", day);
}

struct ZuMechanicVolume : testing::Test {
    ZuMechanic mechanic;
    double capacity = 0.0;
    LogCapture log;
    std::shared_ptr<ZuScriptedAnswerer> answerer =
        std::dynamic_pointer_cast<ZuScriptedAnswerer>(ZuAlerts::answerer());

    void SetUp() override {
        ASSERT_NE(answerer, nullptr);
        mechanic.setDirPath(nwTestDir() + "/Rec");
        // A volume of the given size that holds only the record folder.
        mechanic.setFreeSpaceProbe([this](const QString& folder) {
            return capacity - ZuMechanic::folderSizeWithPath(folder);
        });
    }
    void TearDown() override {
        for (const QString& name : names())
            ZuFileLock::unlock(inFolder(name));
    }
    QString inFolder(const QString& name) const { return mechanic.recordFolder() + "/" + name; }
    QStringList names() const {
        return QDir(mechanic.recordFolder()).entryList(QDir::Files, QDir::Name);
    }
    int warnings() const {
        int count = 0;
        for (const QString& error : log.errors)
            count += error.contains("cannot hold one recording of the longest length") ? 1 : 0;
        return count;
    }
};

} // namespace

TEST_F(ZuMechanicVolume, AVolumeSmallerThanOneRecordingKeepsEveryRecordingAndSaysSoOnce) {
    for (int day = 1; day <= 3; ++day)
        writeBytesTo(inFolder(dayName(day)), 4096);
    capacity = need - 2000.0;
    const QStringList before = names();

    EXPECT_FALSE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(names(), before);
    EXPECT_EQ(warnings(), 1);
    ASSERT_EQ(answerer->shownAlerts.size(), 1);
    EXPECT_EQ(answerer->shownAlerts[0].messageKey, "VolumeTooSmall");
    EXPECT_TRUE(answerer->shownAlerts[0].informativeText.contains(mechanic.recordFolder()));

    // The next start (a split, say) keeps quiet about what was said.
    EXPECT_FALSE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(names(), before);
    EXPECT_EQ(warnings(), 1);
    EXPECT_EQ(answerer->shownAlerts.size(), 1);

    // Room again, then too little again: said anew.
    capacity = 10.0 * need;
    EXPECT_TRUE(mechanic.makeSecureRecordSpace());
    capacity = need - 2000.0;
    EXPECT_FALSE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(warnings(), 2);
    EXPECT_EQ(names(), before);
}

TEST_F(ZuMechanicVolume, WhenDeletingCanMakeTheRoomOnlyTheOldestNeededGo) {
    for (int day = 1; day <= 3; ++day)
        writeBytesTo(inFolder(dayName(day)), 8192);
    // 35 424 bytes free; one recording gone makes 43 616, over the need.
    capacity = 60000.0;
    EXPECT_TRUE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(names(), (QStringList{dayName(2), dayName(3)}));
    EXPECT_EQ(warnings(), 0);
    EXPECT_TRUE(answerer->shownAlerts.isEmpty());
}

TEST_F(ZuMechanicVolume, LockedRecordingsDoNotCountAsRoomThatDeletingCouldMake) {
    for (int day = 1; day <= 3; ++day)
        writeBytesTo(inFolder(dayName(day)), day < 3 ? 8192 : 4096);
    ASSERT_TRUE(mechanic.lockFile(dayName(1)));
    ASSERT_TRUE(mechanic.lockFile(dayName(2)));
    // 29 520 bytes free and 4 096 deletable: short of the need either way.
    capacity = 50000.0;
    EXPECT_FALSE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(names().size(), 3);
    EXPECT_EQ(warnings(), 1);

    // With the newest one enough, it goes and the locked ones stay.
    capacity = 60000.0;
    EXPECT_TRUE(mechanic.makeSecureRecordSpace());
    EXPECT_EQ(names(), (QStringList{dayName(1), dayName(2)}));
}
