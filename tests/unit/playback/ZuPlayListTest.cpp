#include "playback/ZuPlayList.h"

#include "platform/ZuFileLock.h"
#include "platform/ZuLocalized.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// A file with a header area holding the note at 291.
void makeRecording(const QString& path, const QByteArray& note = {}, qint64 size = 4096) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray bytes(size, '\0');
    bytes.replace(291, note.size(), note);
    file.write(bytes.left(size));
}

} // namespace

TEST(ZuPlayListRows, NameGivesDateTimesAndLengthAcrossMidnight) {
    const QString dir = nwTestDir();
    makeRecording(dir + "/_Nightwarden_20070305_235950~000510.aif", "22050ML", 4096 + 1048576);
    ZuPlayList list;
    list.initWithDirPath(dir);
    ASSERT_EQ(list.totalFiles(), 1);
    EXPECT_EQ(list.tableView(ZuPlayList::recordDateKey, 0).toString(), "07.03.05");
    EXPECT_EQ(list.startTimeStringAtRow(0), "23:59:50");
    EXPECT_EQ(list.endTimeStringAtRow(0), "00:05:10");
    EXPECT_EQ(list.spendTimeStringAtRow(0), "5'20\"");
    EXPECT_EQ(list.spendTimeAtRow(0), 320.0);
    EXPECT_EQ(list.noteStringAtRow(0), "22050ML");
    EXPECT_DOUBLE_EQ(list.fileSizeAtRow(0), 1.00390625);
    EXPECT_FALSE(list.isLockedAtRow(0));
    EXPECT_EQ(list.fileNameAtRow(0), "_Nightwarden_20070305_235950~000510.aif");
    EXPECT_EQ(list.fileNameAtRow(1), "");
    EXPECT_EQ(list.fileNameAtRow(-1), "");
}

TEST(ZuPlayListRows, OnlyRecordingNamesAreListedInNameOrder) {
    const QString dir = nwTestDir();
    const QStringList listed = {".Nightwarden_20070306_010000~020000.aif",
                                "_Nightwarden_20070305_120000~130000.aif",
                                "_Nightwarden_20070306_000000~003000.aif"};
    for (const QString& name : listed)
        makeRecording(dir + "/" + name);
    for (const char* other :
         {"_Nightwarden_20070305_120000~130000+.aif", "_Nightwarden_20070305_120000~130000.aiff",
          "_Daywatcher_20070305_1200000~130000.aif", "NightwardenLog.txt",
          ".Nightwarden_20070305_120000~130000.tif", ".NightwardenTempFile"})
        makeRecording(dir + "/" + other);
    QDir(dir).mkpath("sub");
    makeRecording(dir + "/sub/_Nightwarden_20070301_120000~130000.aif");
    ZuPlayList list;
    list.initWithDirPath(dir);
    ASSERT_EQ(list.totalFiles(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(list.fileNameAtRow(row), listed[row]);
    // Rebuilding the same object replaces the rows rather than adding to them.
    list.initWithDirPath(dir);
    EXPECT_EQ(list.totalFiles(), 3);
}

TEST(ZuPlayListRows, NonDigitTimesReadAsZeroAndShortFilesHaveNoNote) {
    const QString dir = nwTestDir();
    makeRecording(dir + "/_Nightwarden_20070305_1a0000~1b0030.aif", {}, 100);
    // Signs and spaces are not digits either: start "-1" " 5" "+5", end 01 " 7" 30.
    makeRecording(dir + "/_Nightwarden_20070305_-1 5+5~01 730.aif");
    ZuPlayList list;
    list.initWithDirPath(dir);
    ASSERT_EQ(list.totalFiles(), 2);
    EXPECT_EQ(list.startTimeStringAtRow(1), "00:00:00");
    EXPECT_EQ(list.endTimeStringAtRow(1), "00:00:30");
    EXPECT_EQ(list.noteStringAtRow(1), "");
    EXPECT_EQ(list.startTimeStringAtRow(0), "00:00:00");
    EXPECT_EQ(list.endTimeStringAtRow(0), "01:00:30");
    EXPECT_EQ(list.spendTimeStringAtRow(0), "1:00'30\"");
}

TEST(ZuPlayListRows, NoteStopsAtZeroOrAfter128Bytes) {
    const QString dir = nwTestDir();
    makeRecording(dir + "/_Nightwarden_20070305_120000~130000.aif", QByteArray(200, 'n'));
    makeRecording(dir + "/_Nightwarden_20070305_140000~150000.aif",
                  QByteArray("PROGRESS\0xyz", 12));
    ZuPlayList list;
    list.initWithDirPath(dir);
    EXPECT_EQ(list.noteStringAtRow(0), QString(128, 'n'));
    EXPECT_EQ(list.noteStringAtRow(1), "PROGRESS");
}

TEST(ZuPlayListTotals, LockedRowsCountInTotalsButNotInTheDeletableTime) {
    const QString dir = nwTestDir();
    makeRecording(dir + "/_Nightwarden_20070305_120000~130000.aif"); // 1 h
    makeRecording(dir + "/_Nightwarden_20070305_140000~140203.aif"); // 2'03"
    ZuFileLock::setMethod(ZuFileLock::Method::ExtendedAttribute);
    ASSERT_TRUE(ZuFileLock::lock(dir + "/_Nightwarden_20070305_120000~130000.aif"));
    ZuFileLock::setMethod(ZuFileLock::Method::Automatic);
    ZuPlayList list;
    list.initWithDirPath(dir);
    EXPECT_TRUE(list.isLockedAtRow(0));
    EXPECT_EQ(list.tableView(ZuPlayList::lockFlagKey, 0).toString(),
              ZuLocalized::text("CheckMark"));
    EXPECT_FALSE(list.isLockedAtRow(1));
    EXPECT_EQ(list.spendTimeStringAtRow(0), "1:00'00\"");
    EXPECT_EQ(list.totalTime(), 3723.0);
    EXPECT_EQ(list.totalTimeExceptLocked(), 123.0);
    EXPECT_EQ(list.totalPeriodString(), "1:02'03\"");
    EXPECT_DOUBLE_EQ(list.totalSize(), 2 * 4096 / 1048576.0);
    ZuFileLock::unlock(dir + "/_Nightwarden_20070305_120000~130000.aif");
}

TEST(ZuPlayListTotals, EmptyOrMissingFolderHasNoRows) {
    ZuPlayList list;
    list.initWithDirPath(nwTestDir() + "/absent");
    EXPECT_EQ(list.totalFiles(), 0);
    EXPECT_EQ(list.numberOfRowsInTableView(), 0);
    EXPECT_EQ(list.totalTime(), 0.0);
    EXPECT_EQ(list.totalSize(), 0.0);
    EXPECT_EQ(list.totalPeriodString(), "0'00\"");
    EXPECT_FALSE(list.tableView(ZuPlayList::remarkKey, 0).isValid());
}

TEST(ZuPlayListTable, SetObjectValueChangesTheRowNotTheFile) {
    const QString dir = nwTestDir();
    makeRecording(dir + "/_Nightwarden_20070305_120000~130000.aif", "old");
    ZuPlayList list;
    list.initWithDirPath(dir);
    list.tableView(QVariant("new"), ZuPlayList::remarkKey, 0);
    list.tableView(QVariant("ignored"), ZuPlayList::remarkKey, 5);
    EXPECT_EQ(list.noteStringAtRow(0), "new");
    EXPECT_EQ(ZuPlayList::noteOfFile(dir + "/_Nightwarden_20070305_120000~130000.aif"), "old");
}

TEST(ZuPlayListTimeTexts, FormatsTruncateAndDropZeroHours) {
    EXPECT_EQ(ZuPlayList::periodStringWithHour(0, 5, 20), "5'20\"");
    EXPECT_EQ(ZuPlayList::periodStringWithHour(1, 2, 3), "1:02'03\"");
    EXPECT_EQ(ZuPlayList::periodStringWithHour(0, 5, 20, 7), "5'20\"07");
    EXPECT_EQ(ZuPlayList::periodStringWithHour(12, 0, 1, 99), "12:00'01\"99");
    EXPECT_EQ(ZuPlayList::numberStringWithHour(1, 2, 3), "010203");
    EXPECT_EQ(ZuPlayList::timeStringWithHour(1, 2, 3), "01:02:03");
    EXPECT_EQ(ZuPlayList::timeStringWithHour(1, 2, 3, 4), "01:02:03.04");
    EXPECT_EQ(ZuPlayList::numberStringWithSeconds(3723.9), "010203");
    EXPECT_EQ(ZuPlayList::periodStringWithSeconds(3723.9), "1:02'03\"");
    EXPECT_EQ(ZuPlayList::periodStringWithSeconds(59.99), "0'59\"");
    EXPECT_EQ(ZuPlayList::timeStringWithSeconds(86399), "23:59:59");
    EXPECT_EQ(ZuPlayList::periodStringWithMiliSeconds(62.257), "1'02\"25");
    EXPECT_EQ(ZuPlayList::timeStringWithMiliSeconds(3600.5), "01:00:00.50");
    EXPECT_EQ(ZuPlayList::periodStringWithSeconds(90000), "25:00'00\"");
}

TEST(ZuPlayListTimeTexts, ParsersReadBothLengthFormsAndClockTimes) {
    EXPECT_EQ(ZuPlayList::secondsWithSpendString("1:02'03\""), 3723.0);
    EXPECT_EQ(ZuPlayList::secondsWithSpendString("2'03\""), 123.0);
    EXPECT_EQ(ZuPlayList::secondsWithSpendString("0'00\""), 0.0);
    EXPECT_EQ(ZuPlayList::secondsWithSpendString(""), 0.0);
    EXPECT_EQ(ZuPlayList::secondsWithTimeString("23:59:50"), 86390.0);
    EXPECT_EQ(ZuPlayList::secondsWithTimeString("01:02:03.45"), 3723.0);
    EXPECT_EQ(ZuPlayList::secondsWithTimeString("07"), 25200.0);
    for (double seconds : {0.0, 59.0, 61.0, 3599.0, 3600.0, 86399.0})
        EXPECT_EQ(ZuPlayList::secondsWithSpendString(ZuPlayList::periodStringWithSeconds(seconds)),
                  seconds);
}
