#include "shell/ZuSettingsTable.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "schedule/ZuReserverElement.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

// The settings of a fresh user store, as each owner registers them.
struct Default {
    const char* key;
    QVariant value;
};

const QList<Default>& expectedDefaults() {
    static const QList<Default> table = {
        {"AuthorizationRequired", false},
        {"WindowOpacity", 1.0},
        {"LastSelectedTabIndex", 0},
        {"RecordMode", 0},
        {"AutoStartLevel", 0},
        {"MonitorSwitch", 0},
        {"RecordSwitch", false},
        {"ReserveSwitch", false},
        {"SamplingRateNumber", 1},
        {"ChannelsNumber", 1},
        {"AutoStopDelayTime", 5.0},
        {"StartOnTheHour", true},
        {"SliderAlwaysEnable", false},
        {"HideSoundFileFlag", false},
        {"PreBufferingSeconds", 3},
        {"MarkerSoundSwitch", false},
        {"MarkerSoundOption", 0},
        {"MarkerSoundName", ""},
        {"MarkerSoundMonitor", false},
        {"WriteStartTempFile", ""},
        {"DisplayTotalTime", false},
        {"AutoRecordStartup", false},
        {"PeekLevelHoldTime", 1.0},
        {"SilenceAlarmMinutes", 0},
        {"SilenceAlarmLevel", -50.0},
        {"DirectoryPath", "~/Documents/NightwardenRecord"},
        {"SoundFileForm", 0},
        {"MaxRecordTime", 3600},
        {"MaxTotalTime", 86400},
        {"BackupAdviceOperation", false},
        {"BackupAdviceDataSize", 4700.0},
        {"DefaultReserveValid", true},
        {"DefaultReserveMonth", 0},
        {"DefaultReserveDay", 0},
        {"DefaultReserveWeek", 0},
        {"DefaultReserveRate", 1},
        {"DefaultReserveChannel", 1},
        {"DefaultReserveDevice", 0},
        {"DefaultReserveMode", 0},
        {"ReserveAutoStartup", false},
        {"TimerDrawerState", 0},
        {"VerifyDeleteTimer", true},
        {"AddDateName", false},
        {"AddNoteName", false},
        {"StepFast", 10.0},
        {"VerifyDelete", true},
        {"EndressPlayMode", true},
        {"ProgressSoundFileName", ""},
        {"ControlerButtonState", false},
        {"WorkButtonState", false},
        {"WriteLogBook", true},
        {"TroubleTermination", false},
        {"LastPatrolDate", ""},
        {"recordSourceDevice", 0},
        {"PlaybackSourceDevice", 0},
        {"MonitorSourceDevice", 0},
        {"UseHightQualitySampling", false},
        {"KeepOperation", false},
        {"KeepFileKeepFolder", "~/Documents/NightwardenPreserve"},
        {"KeepFileKeepPeriod", 10},
        {"CommandPathString", "/usr/bin/bzip2"},
        {"CommandArgumentString", "-f %@"},
        {"MonitorCommandLine", true},
        {"CompressRatio", 0.66},
        {"KeepFileExpandFolder", "~/DeskTop"},
    };
    return table;
}

QVariant readAsItsType(const ZuSettingsTable::Entry& entry) {
    const ZuSettings& store = ZuSettings::standard();
    switch (entry.type) {
    case ZuSettingsTable::Type::Boolean:
        return store.boolForKey(entry.key);
    case ZuSettingsTable::Type::Integer:
        return QVariant::fromValue<qint64>(store.integerForKey(entry.key));
    case ZuSettingsTable::Type::Float:
        return static_cast<double>(store.floatForKey(entry.key));
    case ZuSettingsTable::Type::Double:
        return store.doubleForKey(entry.key);
    case ZuSettingsTable::Type::String:
    case ZuSettingsTable::Type::Frame:
        return store.stringForKey(entry.key);
    case ZuSettingsTable::Type::Array:
        return store.arrayForKey(entry.key);
    }
    return {};
}

} // namespace

TEST(SettingsTableTest, AFreshStoreReadsEveryKeyAtItsDefault) {
    ZuSettingsTable::registerAll();
    for (const Default& expected : expectedDefaults()) {
        SCOPED_TRACE(expected.key);
        const ZuSettingsTable::Entry* entry = ZuSettingsTable::find(expected.key);
        ASSERT_NE(entry, nullptr);
        const QVariant value = readAsItsType(*entry);
        if (expected.value.typeId() == QMetaType::Double)
            EXPECT_NEAR(value.toDouble(), expected.value.toDouble(), 1e-6);
        else if (expected.value.typeId() == QMetaType::Bool)
            EXPECT_EQ(value.toBool(), expected.value.toBool());
        else if (expected.value.typeId() == QMetaType::Int)
            EXPECT_EQ(value.toLongLong(), expected.value.toLongLong());
        else
            EXPECT_EQ(value.toString(), expected.value.toString());
    }
    // The table and the expectations cover the same keys, the platform's
    // sample sound, the reservation defaults and the window frame aside.
    EXPECT_EQ(ZuSettingsTable::entries().size(), expectedDefaults().size() + 5);
}

TEST(SettingsTableTest, DefaultsThatNameThisSystemsFiles) {
    ZuSettingsTable::registerAll();
    const ZuSettings& store = ZuSettings::standard();
    EXPECT_EQ(store.stringForKey("SampleDataFilePath"), ZuPaths::systemSoundFolder());
    EXPECT_EQ(store.stringForKey("SampleDataFileName"), "Blow.aiff");
    EXPECT_EQ(store.stringForKey("DefaultReserveName"), ZuLocalized::text("NoNamedTimer"));
    EXPECT_TRUE(store.stringForKey("MainWindow").isEmpty());
    EXPECT_EQ(store.registeredDefault("MonitorSwitch").typeId(), QMetaType::Bool);
    EXPECT_FALSE(store.isRegistered("ControlerButtonState"));
    EXPECT_FALSE(store.isRegistered("LastPatrolDate"));
}

TEST(SettingsTableTest, TheTimerListHoldsOneFreshReservation) {
    ZuSettingsTable::registerAll();
    const QVariantList list = ZuSettings::standard().arrayForKey("TimerList");
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.first().toList(), ZuReserverElement().valueArray());
}

TEST(SettingsTableTest, RegisteringWritesNothingToTheFile) {
    ZuSettingsTable::registerAll();
    ZuSettings::standard().synchronize();
    QFile file(ZuSettings::standard().filePath());
    if (file.open(QIODevice::ReadOnly)) {
        EXPECT_FALSE(file.readAll().contains("TimerList"));
    }
}

TEST(SettingsTableTest, CommandLineValuesAreCheckedAgainstTheKeysType) {
    ZuSettingsTable::registerAll();
    QString message;
    EXPECT_TRUE(ZuSettingsTable::storeText("RecordMode", "1", &message));
    EXPECT_EQ(ZuSettings::standard().integerForKey("RecordMode"), 1);
    EXPECT_TRUE(ZuSettingsTable::storeText("RecordSwitch", "yes", &message));
    EXPECT_TRUE(ZuSettings::standard().boolForKey("RecordSwitch"));
    EXPECT_TRUE(ZuSettingsTable::storeText("DirectoryPath", "/tmp/rec", &message));
    EXPECT_TRUE(ZuSettingsTable::storeText("MainWindow", "10 20 352 262", &message));

    EXPECT_FALSE(ZuSettingsTable::storeText("RecordMood", "1", &message));
    EXPECT_TRUE(message.contains("unknown setting \"RecordMood\""));
    EXPECT_FALSE(ZuSettingsTable::storeText("RecordMode", "always", &message));
    EXPECT_TRUE(message.contains("not an integer"));
    EXPECT_FALSE(ZuSettingsTable::storeText("RecordSwitch", "2", &message));
    EXPECT_FALSE(ZuSettingsTable::storeText("TimerList", "[1,", &message));
    EXPECT_FALSE(ZuSettingsTable::storeText("MainWindow", "10 20", &message));
    EXPECT_EQ(ZuSettings::standard().integerForKey("RecordMode"), 1);
}
