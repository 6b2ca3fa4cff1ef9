#include "platform/ZuSettings.h"
#include "support/NwConsoleCapture.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// A store of its own, so registrations do not leak into other tests.
struct SettingsTest : testing::Test {
    ZuSettings store;
    QString path = nwTestDir() + "/store.conf";
    void SetUp() override { store.setFilePath(path); }
};

} // namespace

TEST_F(SettingsTest, ReadsFallBackFromStoredToRegisteredToNothing) {
    store.registerDefaults({{"Count", 7}, {"Ratio", 0.66f}, {"Name", "first"}, {"On", true}});
    EXPECT_EQ(store.integerForKey("Count"), 7);
    EXPECT_FLOAT_EQ(store.floatForKey("Ratio"), 0.66f);
    EXPECT_EQ(store.stringForKey("Name"), "first");
    EXPECT_TRUE(store.boolForKey("On"));

    store.setInteger(9, "Count");
    store.setBool(false, "On");
    EXPECT_EQ(store.integerForKey("Count"), 9);
    EXPECT_FALSE(store.boolForKey("On"));

    EXPECT_FALSE(store.boolForKey("Unknown"));
    EXPECT_EQ(store.integerForKey("Unknown"), 0);
    EXPECT_EQ(store.doubleForKey("Unknown"), 0.0);
    EXPECT_TRUE(store.stringForKey("Unknown").isEmpty());
    EXPECT_TRUE(store.arrayForKey("Unknown").isEmpty());
}

TEST_F(SettingsTest, RegisteredDefaultsNeverReachTheFile) {
    store.registerDefaults({{"Count", 7}, {"List", QVariantList{1, 2}}});
    store.setString("kept", "Stored");
    ASSERT_TRUE(store.synchronize());
    const QString text = fileText(path);
    EXPECT_TRUE(text.contains("Stored=kept"));
    EXPECT_FALSE(text.contains("Count"));
    EXPECT_FALSE(text.contains("List"));
}

TEST_F(SettingsTest, ValuesSurviveTheFileWithTheirTypes) {
    store.setBool(true, "Flag");
    store.setInteger(-42, "Number");
    store.setDouble(4700.5, "Size");
    store.setString("a, \"quoted\" = text", "Text");
    // Texts that begin like the store's own marks stay texts.
    store.setString("json:[1, 2]", "LooksLikeList");
    store.setString("text:note", "LooksMarked");
    const QVariantList entry{"Night shift", 1, 3600, 7200};
    store.setArray({QVariant(entry), QVariant(entry)}, "List");
    ASSERT_TRUE(store.synchronize());

    ZuSettings reread;
    reread.setFilePath(path);
    EXPECT_TRUE(reread.boolForKey("Flag"));
    EXPECT_EQ(reread.integerForKey("Number"), -42);
    EXPECT_DOUBLE_EQ(reread.doubleForKey("Size"), 4700.5);
    EXPECT_EQ(reread.stringForKey("Text"), "a, \"quoted\" = text");
    EXPECT_EQ(reread.stringForKey("LooksLikeList"), "json:[1, 2]");
    EXPECT_EQ(reread.stringForKey("LooksMarked"), "text:note");
    EXPECT_TRUE(reread.ignoredKeys().isEmpty());
    const QVariantList list = reread.arrayForKey("List");
    ASSERT_EQ(list.size(), 2);
    const QVariantList first = list.at(0).toList();
    ASSERT_EQ(first.size(), 4);
    EXPECT_EQ(first.at(0).toString(), "Night shift");
    EXPECT_EQ(first.at(2).toInt(), 3600);
}

TEST_F(SettingsTest, NumbersAndBooleansReadAcrossTypesAsThePlatformDoes) {
    // A boolean registered NO and read as an integer, as the monitor switch is.
    store.registerDefaults({{"Switch", false}, {"Delay", 5.0f}});
    EXPECT_EQ(store.integerForKey("Switch"), 0);
    EXPECT_EQ(store.integerForKey("Delay"), 5);
    store.setInteger(1, "Switch");
    EXPECT_TRUE(store.boolForKey("Switch"));
    store.setDouble(2.9, "Delay");
    EXPECT_EQ(store.integerForKey("Delay"), 2);
}

TEST_F(SettingsTest, GarbledStoredValuesReadAsTheFallbackWithOneWarningEach) {
    writeFile(path, "[General]\nCount=lots\nOn=perhaps\nList=\"json:[1, 2\"\nGood=3\n"
                    "Huge=1e30\nLevel=nan\n");
    store.setFilePath(path);
    store.registerDefaults(
        {{"Count", 7}, {"On", true}, {"List", QVariantList{5}}, {"Huge", 4}, {"Level", 0.5}});
    NwConsoleCapture console;
    EXPECT_EQ(store.integerForKey("Count"), 7);
    EXPECT_EQ(store.integerForKey("Count"), 7);
    EXPECT_TRUE(store.boolForKey("On"));
    EXPECT_EQ(store.arrayForKey("List"), QVariantList{5});
    EXPECT_EQ(store.integerForKey("Good"), 3);
    // Numbers no field can hold are garbage too, not a conversion to guess at.
    EXPECT_EQ(store.integerForKey("Huge"), 4);
    EXPECT_DOUBLE_EQ(store.doubleForKey("Level"), 0.5);
    EXPECT_EQ(store.ignoredKeys(), (QStringList{"Count", "Huge", "Level", "List", "On"}));
    EXPECT_EQ(console.lines().size(), 5);
    EXPECT_TRUE(console.lines().first().contains("Count"));

    // Writing a good value ends the complaint.
    store.setInteger(8, "Count");
    EXPECT_EQ(store.integerForKey("Count"), 8);
    EXPECT_FALSE(store.ignoredKeys().contains("Count"));
}

TEST_F(SettingsTest, AnUnwritableLocationIsReportedNotHidden) {
    store.setFilePath("/proc/nightwarden/settings.conf");
    EXPECT_FALSE(store.isWritable());
    NwConsoleCapture console;
    store.setBool(true, "Flag");
    EXPECT_FALSE(store.synchronize());
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines().first().contains("/proc/nightwarden/settings.conf"));
}

TEST(SettingsTextTest, CommandLineTextsParseByTheDefaultsType) {
    EXPECT_EQ(ZuSettings::parseTextAs("yes", false), QVariant(true));
    EXPECT_EQ(ZuSettings::parseTextAs("0", true), QVariant(false));
    EXPECT_FALSE(ZuSettings::parseTextAs("maybe", false).isValid());
    EXPECT_EQ(ZuSettings::parseTextAs(" 12 ", 0).toLongLong(), 12);
    EXPECT_FALSE(ZuSettings::parseTextAs("12.5", 0).isValid());
    EXPECT_DOUBLE_EQ(ZuSettings::parseTextAs("0.5", 1.0).toDouble(), 0.5);
    EXPECT_EQ(ZuSettings::parseTextAs("[1,\"a\"]", QVariantList{}).toList().size(), 2);
    EXPECT_FALSE(ZuSettings::parseTextAs("{}", QVariantList{}).isValid());
}
