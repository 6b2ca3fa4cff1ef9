// The log book file under a record folder that is removed while the duty runs,
// and under a link planted in its place.
#include "logbook/ZuLogBookFile.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(ZuLogBookFileTest, AFileRemovedWithItsFolderIsMadeAgainOnceTheFolderIsBack) {
    const QString folder = nwTestDir() + "/records";
    const QString path = folder + "/NightwardenLog.txt";
    ASSERT_TRUE(QDir().mkpath(folder));
    ZuLogBookFile book;
    ASSERT_TRUE(book.create(path));
    ASSERT_TRUE(book.append("one\n"));
    ASSERT_TRUE(QDir(folder).removeRecursively());

    // While the folder is missing the block cannot be kept anywhere.
    EXPECT_TRUE(book.append("two\n"));
    EXPECT_FALSE(QFile::exists(path));

    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(book.append("three\n"));
    EXPECT_TRUE(book.appendAndClose("four\n"));
    EXPECT_EQ(contents(path), "three\nfour\n");
}

TEST(ZuLogBookFileTest, ALinkPlantedAtItsPathIsNeverFollowed) {
    const QString outside = nwTestDir() + "/outside.txt";
    const QString path = nwTestDir() + "/NightwardenLog.txt";
    QFile target(outside);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("precious\n");
    target.close();
    ASSERT_TRUE(QFile::link(outside, path));

    ZuLogBookFile book;
    EXPECT_FALSE(book.openForUpdate(path));
    EXPECT_FALSE(book.append("block\n"));
    EXPECT_EQ(contents(outside), "precious\n");

    // A removed log book whose path became a link is not made again through it.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(book.create(path));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(outside, path));
    book.append("block\n");
    EXPECT_EQ(contents(outside), "precious\n");
}
