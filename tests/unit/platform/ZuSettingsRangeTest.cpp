// Stored values a component cannot use: out of their range, or a whole file
// that cannot be read.
#include "platform/ZuSettings.h"
#include "support/NwConsoleCapture.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

int linesContaining(const QStringList& lines, const QString& text) {
    int count = 0;
    for (const QString& line : lines)
        count += line.contains(text) ? 1 : 0;
    return count;
}

struct SettingsRangeTest : testing::Test {
    ZuSettings store;
    QString path = nwTestDir() + "/store.conf";
    void SetUp() override {
        store.registerDefaults({{"Mode", 0}, {"Longest", 3600}, {"Hold", 1.0}, {"Monitor", false}});
        store.registerRange("Mode", 0, 2);
        store.registerRange("Longest", 1, 86400);
        store.registerRange("Hold", 0, 60);
        store.registerRange("Monitor", 0, 1);
    }
};

} // namespace

TEST_F(SettingsRangeTest, AStoredValueOutOfRangeReadsAsTheDefaultWithOneLineInAnyKind) {
    writeFile(path, "[General]\nMode=7\nLongest=-5\nHold=0.25\nMonitor=2\n");
    store.setFilePath(path);
    NwConsoleCapture console;
    EXPECT_EQ(store.integerForKey("Mode"), 0);
    EXPECT_DOUBLE_EQ(store.doubleForKey("Mode"), 0.0);
    EXPECT_EQ(store.integerForKey("Longest"), 3600);
    EXPECT_FLOAT_EQ(store.floatForKey("Longest"), 3600.0f);
    EXPECT_DOUBLE_EQ(store.doubleForKey("Hold"), 0.25);
    // Read as a boolean, 2 would be YES: it is still out of range.
    EXPECT_FALSE(store.boolForKey("Monitor"));
    EXPECT_EQ(store.ignoredKeys(), (QStringList{"Longest", "Mode", "Monitor"}));
    EXPECT_EQ(console.lines().size(), 3);
    EXPECT_EQ(linesContaining(console.lines(), "Longest=-5 in " + path +
                                                   " is out of range (1 to 86400); the default "
                                                   "3600 is used."),
              1);
    EXPECT_EQ(linesContaining(console.lines(), "Mode=7"), 1);

    // A value in range written later is read as it is.
    store.setInteger(2, "Mode");
    EXPECT_EQ(store.integerForKey("Mode"), 2);
    EXPECT_EQ(ZuSettings::rangeText(0.01, 315360000), "0.01 to 315360000");
}

TEST_F(SettingsRangeTest, AFileOfRandomBytesIsKeptAsCorruptOnceAndTheStoreStartsEmpty) {
    std::mt19937 generator(9);
    QByteArray noise;
    for (int i = 0; i < 4096; ++i)
        noise.append(char(generator() & 0xff));
    writeFile(path, noise);
    NwConsoleCapture console;
    store.setFilePath(path);
    ASSERT_EQ(linesContaining(console.lines(), "could not be read"), 1)
        << console.lines().join('\n').toStdString();
    EXPECT_EQ(fileBytes(path + ".corrupt"), noise);
    EXPECT_EQ(store.integerForKey("Longest"), 3600);
    EXPECT_TRUE(store.ignoredKeys().isEmpty());

    // The saves that follow meet a clean file.
    for (int i = 0; i < 20; ++i) {
        store.setInteger(i % 3, "Mode");
        EXPECT_TRUE(store.synchronize());
    }
    EXPECT_EQ(console.lines().size(), 1);
    ZuSettings reread;
    reread.setFilePath(path);
    EXPECT_EQ(reread.integerForKey("Mode"), 19 % 3);
}

TEST_F(SettingsRangeTest, AFileThatCannotBeWrittenIsSaidOnceUntilAWriteSucceeds) {
    store.setFilePath("/proc/nightwarden/settings.conf");
    NwConsoleCapture console;
    for (int i = 0; i < 20; ++i) {
        store.setInteger(i, "Count");
        EXPECT_FALSE(store.synchronize());
    }
    EXPECT_EQ(console.lines().size(), 1);
}

TEST_F(SettingsRangeTest, AStrayLineSetsTheFileAsideButCostsNoMoreThanItself) {
    const QByteArray text = "[General]\nMode=2\nLongest=7200\nstray line without a value\n";
    writeFile(path, text);
    NwConsoleCapture console;
    store.setFilePath(path);
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines().first().contains("could not be read"));
    EXPECT_TRUE(console.lines().first().contains("keeps the 2 settings read from it"));
    EXPECT_EQ(fileBytes(path + ".corrupt"), text);
    EXPECT_EQ(store.integerForKey("Mode"), 2);
    EXPECT_EQ(store.integerForKey("Longest"), 7200);
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(console.lines().size(), 1);
}
