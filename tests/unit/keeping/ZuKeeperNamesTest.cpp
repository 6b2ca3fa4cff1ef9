// Kept file names, their lengths, the command's argument list and the folder
// test that keeps the keep folder out of the record folder.
#include "keeping/ZuKeeper.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

TEST(ZuKeeperNames, LengthsBorrowAcrossMinutesHoursAndMidnight) {
    EXPECT_EQ(ZuKeeper::totalSecondOfFile("_Nightwarden_20240102_233000~001030.aif.bz2"), 2430);
    EXPECT_EQ(ZuKeeper::totalSecondOfFile("_Nightwarden_20240102_030405~040506.aif.bz2"), 3661);
    EXPECT_EQ(ZuKeeper::totalSecondOfFile("_Nightwarden_20240102_105959~110001.aif.bz2"), 2);
    EXPECT_EQ(ZuKeeper::totalSecondOfFile(".Nightwarden_20240102_000000~235959.aif.gz"), 86399);
    EXPECT_EQ(ZuKeeper::totalSecondOfFile("_Nightwarden_20240102_120000~120000.aif.bz2"), 0);
}

TEST(ZuKeeperNames, OnlyCompressedRecordingNamesAreKeptDataFiles) {
    EXPECT_EQ(ZuKeeper::headerLength(), 13);
    EXPECT_TRUE(ZuKeeper::isKeepDataFile("_Nightwarden_20240102_030405~040506.aif.bz2"));
    // The first character (hidden or not) is not compared.
    EXPECT_TRUE(ZuKeeper::isKeepDataFile(".Nightwarden_20240102_030405~040506.aif.bz2"));
    EXPECT_TRUE(ZuKeeper::isKeepDataFile("xNightwarden_20240102_030405~040506.aif.gz"));
    // 38 characters: one short of the form.
    const QString short38 = "_Nightwarden_20240102_030405~04050.bz2";
    ASSERT_EQ(short38.size(), 38);
    EXPECT_FALSE(ZuKeeper::isKeepDataFile(short38));
    EXPECT_FALSE(ZuKeeper::isKeepDataFile("_Nightwarden_20240102_030405~040506.aif"));
    EXPECT_FALSE(ZuKeeper::isKeepDataFile("_Daywarden__20240102_030405~040506.aif.bz2"));
    EXPECT_FALSE(ZuKeeper::isKeepDataFile(".NightwardenKeepCopy"));
    EXPECT_TRUE(ZuKeeper::isRecordingName("_Nightwarden_20240102_030405~040506.aif"));
}

TEST(ZuKeeperNames, ThePathIsOneArgumentWhateverItHolds) {
    EXPECT_EQ(ZuKeeper::argumentsFor("-f %@", "/a b/c.aif"), (QStringList{"-f", "/a b/c.aif"}));
    EXPECT_EQ(ZuKeeper::argumentsFor("-9  -k %@", "/x/it's \"q\" %@.aif"),
              (QStringList{"-9", "-k", "/x/it's \"q\" %@.aif"}));
    EXPECT_EQ(ZuKeeper::argumentsFor("--in=%@ --out=%@.z", "/p q"),
              (QStringList{"--in=/p q", "--out=/p q.z"}));
    // Four placeholders at most across the template.
    EXPECT_EQ(ZuKeeper::argumentsFor("%@%@ %@ %@ %@", "F"), (QStringList{"FF", "F", "F", "%@"}));
    EXPECT_EQ(ZuKeeper::argumentsFor("-v", "/a"), QStringList{"-v"});
}

TEST(ZuKeeperNames, AFolderIsWithinItselfItsSubfoldersAndItsLinksOnly) {
    const QString records = nwTestDir() + "/records";
    ASSERT_TRUE(QDir().mkpath(records + "/inner"));
    ASSERT_TRUE(QDir().mkpath(nwTestDir() + "/records2"));
    ASSERT_TRUE(QFile::link(records, nwTestDir() + "/link"));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(records, records));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(records + "/", records));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(records + "/inner", records));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(records + "/not/yet/made", records));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(nwTestDir() + "/link", records));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(nwTestDir() + "/link/new", records));
    EXPECT_TRUE(ZuKeeper::isWithinFolder(records + "/../records", records));
    EXPECT_FALSE(ZuKeeper::isWithinFolder(nwTestDir() + "/records2", records));
    EXPECT_FALSE(ZuKeeper::isWithinFolder(nwTestDir(), records));
    EXPECT_FALSE(ZuKeeper::isWithinFolder(records, QString()));
}
