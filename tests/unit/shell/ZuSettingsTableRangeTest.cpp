// The range of every numeric setting: refused at the command line, replaced
// by the default when found in the file.
#include "platform/ZuSettings.h"
#include "shell/ZuSettingsTable.h"
#include "support/NwConsoleCapture.h"
#include "support/NwTestSupport.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

bool isNumeric(ZuSettingsTable::Type type) {
    using Type = ZuSettingsTable::Type;
    return type == Type::Integer || type == Type::Float || type == Type::Double;
}

QString text(double value) {
    return QString::number(value, 'g', 12);
}

// Just outside the range, in the key's own type.
QString below(const ZuSettingsTable::Entry& entry) {
    return text(entry.minimum - (entry.type == ZuSettingsTable::Type::Integer ? 1 : 0.5));
}
QString above(const ZuSettingsTable::Entry& entry) {
    return text(entry.maximum + (entry.type == ZuSettingsTable::Type::Integer ? 1 : 0.5));
}

// The ranges stay registered in the process's store: other cases in the same
// run read values that only a range would refuse.
struct SettingsTableRangeTest : testing::Test {
    void SetUp() override {
        ZuSettingsTable::registerAll();
        ZuSettingsTable::registerRanges();
    }
    void TearDown() override {
        const double unbounded = std::numeric_limits<double>::infinity();
        for (const ZuSettingsTable::Entry& entry : ZuSettingsTable::entries())
            if (entry.hasRange())
                ZuSettings::standard().registerRange(entry.key, -unbounded, unbounded);
    }
};

} // namespace

TEST_F(SettingsTableRangeTest, EveryNumericSettingHasARangeHoldingItsDefault) {
    const ZuSettings& store = ZuSettings::standard();
    for (const ZuSettingsTable::Entry& entry : ZuSettingsTable::entries()) {
        SCOPED_TRACE(entry.key);
        EXPECT_EQ(entry.hasRange(), isNumeric(entry.type));
        if (!entry.hasRange())
            continue;
        EXPECT_LE(entry.minimum, entry.maximum);
        const double fallback = store.registeredDefault(entry.key).toDouble();
        EXPECT_GE(fallback, entry.minimum);
        EXPECT_LE(fallback, entry.maximum);
    }
}

TEST_F(SettingsTableRangeTest, ValuesOutOfRangeAreRefusedAtTheCommandLineNamingTheRange) {
    ZuSettings& store = ZuSettings::standard();
    for (const ZuSettingsTable::Entry& entry : ZuSettingsTable::entries()) {
        if (!entry.hasRange())
            continue;
        const QString range = ZuSettings::rangeText(entry.minimum, entry.maximum);
        for (const QString& value : {below(entry), above(entry), QStringLiteral("nan")}) {
            SCOPED_TRACE(QStringLiteral("%1=%2").arg(entry.key, value).toStdString());
            QString message;
            EXPECT_FALSE(ZuSettingsTable::storeText(entry.key, value, &message));
            // An integer key refuses "nan" as no integer at all.
            if (value != "nan" || entry.type != ZuSettingsTable::Type::Integer) {
                EXPECT_TRUE(message.contains("out of range (" + range + ")"))
                    << message.toStdString();
            }
            EXPECT_FALSE(store.hasStoredValue(entry.key));
        }
        QString message;
        EXPECT_TRUE(ZuSettingsTable::storeText(entry.key, text(entry.maximum), &message))
            << message.toStdString();
    }
}

TEST_F(SettingsTableRangeTest, TheCheckAtLoadNamesEachValueOutOfRangeOnceAndTheDefaultsRead) {
    ZuSettings& store = ZuSettings::standard();
    int ranged = 0;
    for (const ZuSettingsTable::Entry& entry : ZuSettingsTable::entries())
        if (entry.hasRange()) {
            store.setString(below(entry), entry.key);
            ++ranged;
        }
    NwConsoleCapture console;
    ZuSettingsTable::checkStored();
    ZuSettingsTable::checkStored();
    EXPECT_EQ(console.lines().size(), ranged) << console.lines().join('\n').toStdString();
    for (const ZuSettingsTable::Entry& entry : ZuSettingsTable::entries()) {
        if (!entry.hasRange())
            continue;
        SCOPED_TRACE(entry.key);
        EXPECT_DOUBLE_EQ(store.doubleForKey(entry.key),
                         store.registeredDefault(entry.key).toDouble());
    }
    EXPECT_EQ(store.integerForKey("MaxRecordTime"), 3600);
    EXPECT_EQ(store.integerForKey("SoundFileForm"), 0);
    EXPECT_EQ(store.integerForKey("RecordMode"), 0);
}
