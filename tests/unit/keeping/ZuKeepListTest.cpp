// The keep table's rows and totals, read from the kept files' names.
#include "keeping/ZuKeepList.h"
#include "support/NwTestSupport.h"
#include "unit/keeping/ZuKeeperTestSupport.h"

#include <QDir>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {
struct ZuKeepListTest : testing::Test {
    QString folder = nwTestDir() + "/kept";
    void SetUp() override { QDir().mkpath(folder); }
    void put(const QString& name, int size) {
        QDir().mkpath(QFileInfo(folder + "/" + name).absolutePath());
        writeFile(folder + "/" + name, QByteArray(size, 'k'));
    }
};
} // namespace

TEST_F(ZuKeepListTest, ARowOverMidnightShowsDateTimesLengthAndSize) {
    put("_Nightwarden_20240102_233000~001030.aif.bz2", 1048576 / 2);
    ZuKeepList list;
    list.initWithDirPath(folder);
    ASSERT_EQ(list.totalFiles(), 1);
    EXPECT_EQ(list.tableView("RecordDate", 0).toString(), "24.01.02");
    EXPECT_EQ(list.tableView("StartTime", 0).toString(), "23:30:00");
    EXPECT_EQ(list.tableView("EndTime", 0).toString(), "00:10:30");
    EXPECT_EQ(list.spendTimeAtRow(0), 2430.0);
    EXPECT_DOUBLE_EQ(list.fileSizeAtRow(0), 0.5);
    EXPECT_EQ(list.fileNameAtRow(0), "_Nightwarden_20240102_233000~001030.aif.bz2");
    // The table shows the same values under its column identifiers.
    EXPECT_EQ(list.data(list.index(0, 0), Qt::DisplayRole).toString(), "24.01.02");
    EXPECT_EQ(list.data(list.index(0, 4), Qt::DisplayRole).toString(), "0.50");
    EXPECT_EQ(list.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Size (MB)");
}

TEST_F(ZuKeepListTest, OnlyCompressedRecordingsAreListedInTimeOrderWithTotals) {
    put("_Nightwarden_20240103_100000~110000.aif.bz2", 1048576);
    put(".Nightwarden_20240102_100000~100100.aif.bz2", 1048576);
    put("sub/_Nightwarden_20240101_100000~100010.aif.gz", 1048576 * 2);
    put("_Nightwarden_20240101_090000~100000.aif", 4096); // uncompressed
    put("_Nightwarden_0900~1000.aif.bz2", 10);            // too short
    put(".NightwardenKeepCopy", 10);
    put("notes.txt", 10);
    ZuKeepList list;
    list.initWithDirPath(folder);
    ASSERT_EQ(list.totalFiles(), 3);
    EXPECT_EQ(list.fileNameAtRow(0), "sub/_Nightwarden_20240101_100000~100010.aif.gz");
    EXPECT_EQ(list.fileNameAtRow(1), ".Nightwarden_20240102_100000~100100.aif.bz2");
    EXPECT_EQ(list.fileNameAtRow(2), "_Nightwarden_20240103_100000~110000.aif.bz2");
    EXPECT_EQ(list.totalTime(), 10.0 + 60.0 + 3600.0);
    EXPECT_DOUBLE_EQ(list.totalSize(), 4.0);
    EXPECT_EQ(list.totalPeriodString(), "1:01'10\"");
}

TEST_F(ZuKeepListTest, AnEmptyOrMissingFolderHasNoRowsAndNoSelectionNamesNothing) {
    for (const QString& path : {folder, folder + "/missing"}) {
        ZuKeepList list;
        list.initWithDirPath(path);
        EXPECT_EQ(list.totalFiles(), 0);
        EXPECT_EQ(list.totalTime(), 0.0);
        EXPECT_EQ(list.totalSize(), 0.0);
        EXPECT_EQ(list.rowCount(), 0);
        EXPECT_EQ(list.fileNameAtRow(-1), QString());
        EXPECT_EQ(list.fileNameAtRow(0), QString());
        EXPECT_TRUE(list.tableViewWriteRows({}).isEmpty());
    }
}

TEST_F(ZuKeepListTest, DraggedRowsCarryTheFirstRowsPath) {
    put("_Nightwarden_20240102_100000~100100.aif.bz2", 10);
    put("_Nightwarden_20240103_100000~100100.aif.bz2", 10);
    ZuKeepList list;
    list.initWithDirPath(folder);
    EXPECT_TRUE(list.flags(list.index(1, 2)) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> mime(list.mimeData({list.index(1, 0), list.index(0, 3)}));
    ASSERT_TRUE(mime);
    ASSERT_EQ(mime->urls().size(), 1);
    EXPECT_EQ(mime->urls().first(),
              QUrl::fromLocalFile(folder + "/_Nightwarden_20240102_100000~100100.aif.bz2"));
}
