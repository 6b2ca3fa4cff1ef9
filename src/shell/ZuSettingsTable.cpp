#include "shell/ZuSettingsTable.h"

#include "audio/ZuDevice.h"
#include "keeping/ZuKeeper.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuSettings.h"
#include "playback/ZuPlayer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuLevelMeter.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuControler.h"

using Type = ZuSettingsTable::Type;

// A numeric key's range is what its owner can use: the choices of a pop-up or
// a mode, a source number (-1 for none), the 80 seconds the sound queue holds
// as prior time, bounds that keep the owners' 32-bit fields from wrapping.
const QList<ZuSettingsTable::Entry>& ZuSettingsTable::entries() {
    static const QList<Entry> table = {
        {"AuthorizationRequired", Type::Boolean},
        {"WindowOpacity", Type::Float, 0, 1},
        {"MainWindow", Type::Frame},
        {"LastSelectedTabIndex", Type::Integer, 0, 9},
        {"RecordMode", Type::Integer, 0, 2},
        {"AutoStartLevel", Type::Integer, 0, 20},
        {"MonitorSwitch", Type::Integer, 0, 1},
        {"RecordSwitch", Type::Boolean},
        {"ReserveSwitch", Type::Boolean},
        {"SamplingRateNumber", Type::Integer, 0, 2},
        {"ChannelsNumber", Type::Integer, 1, 2},
        {"AutoStopDelayTime", Type::Float, 0, 3600},
        {"StartOnTheHour", Type::Boolean},
        {"SliderAlwaysEnable", Type::Boolean},
        {"HideSoundFileFlag", Type::Boolean},
        {"PreBufferingSeconds", Type::Integer, 0, 80},
        {"MarkerSoundSwitch", Type::Boolean},
        {"MarkerSoundOption", Type::Integer, 0, 4},
        {"MarkerSoundName", Type::String},
        {"MarkerSoundMonitor", Type::Boolean},
        {"WriteStartTempFile", Type::String},
        {"DisplayTotalTime", Type::Boolean},
        {"AutoRecordStartup", Type::Boolean},
        {"PeekLevelHoldTime", Type::Double, 0, 60},
        {"SilenceAlarmMinutes", Type::Integer, 0, 10080},
        {"SilenceAlarmLevel", Type::Double, -120, 0},
        {"DirectoryPath", Type::String},
        {"SoundFileForm", Type::Integer, 0, 0},
        {"MaxRecordTime", Type::Integer, 1, 86400},
        {"MaxTotalTime", Type::Integer, 0, 315360000},
        {"BackupAdviceOperation", Type::Boolean},
        {"BackupAdviceDataSize", Type::Double, 1, 1048576},
        {"DefaultReserveValid", Type::Boolean},
        {"DefaultReserveName", Type::String},
        {"DefaultReserveMonth", Type::Integer, 0, 12},
        {"DefaultReserveDay", Type::Integer, 0, 31},
        {"DefaultReserveWeek", Type::Integer, 0, 7},
        {"DefaultReserveRate", Type::Integer, 0, 2},
        {"DefaultReserveChannel", Type::Integer, 1, 2},
        {"DefaultReserveDevice", Type::Integer, -1, 999},
        {"DefaultReserveMode", Type::Integer, 0, 1},
        {"ReserveAutoStartup", Type::Boolean},
        {"TimerList", Type::Array},
        {"TimerDrawerState", Type::Integer, 0, 1},
        {"VerifyDeleteTimer", Type::Boolean},
        {"AddDateName", Type::Boolean},
        {"AddNoteName", Type::Boolean},
        {"StepFast", Type::Double, 1, 1000},
        {"VerifyDelete", Type::Boolean},
        {"EndressPlayMode", Type::Boolean},
        {"ProgressSoundFileName", Type::String},
        {"ControlerButtonState", Type::Boolean},
        {"WorkButtonState", Type::Boolean},
        {"WriteLogBook", Type::Boolean},
        {"TroubleTermination", Type::Boolean},
        {"LastPatrolDate", Type::String},
        {"recordSourceDevice", Type::Integer, -1, 999},
        {"PlaybackSourceDevice", Type::Integer, -1, 999},
        {"MonitorSourceDevice", Type::Integer, -1, 999},
        {"UseHightQualitySampling", Type::Boolean},
        {"KeepOperation", Type::Boolean},
        {"KeepFileKeepFolder", Type::String},
        {"KeepFileKeepPeriod", Type::Integer, 0, 3650},
        {"CommandPathString", Type::String},
        {"CommandArgumentString", Type::String},
        {"MonitorCommandLine", Type::Boolean},
        {"CompressRatio", Type::Float, 0.01, 2},
        {"SampleDataFilePath", Type::String},
        {"SampleDataFileName", Type::String},
        {"KeepFileExpandFolder", Type::String},
    };
    return table;
}

const ZuSettingsTable::Entry* ZuSettingsTable::find(const QString& key) {
    for (const Entry& entry : entries())
        if (key == QLatin1String(entry.key))
            return &entry;
    return nullptr;
}

void ZuSettingsTable::registerAll() {
    ZuControler::initialize();
    ZuPrefer::initialize();
    ZuRecorder::initialize();
    ZuLevelMeter::initialize();
    ZuMechanic::initialize();
    ZuReserver::initialize();
    ZuReserveList::initialize();
    ZuPlayer::initialize();
    ZuDutyLog::initialize();
    ZuDevice::initialize();
    ZuKeeper::initialize();
}

void ZuSettingsTable::registerRanges() {
    for (const Entry& entry : entries())
        if (entry.hasRange())
            ZuSettings::standard().registerRange(entry.key, entry.minimum, entry.maximum);
}

void ZuSettingsTable::checkStored() {
    const ZuSettings& store = ZuSettings::standard();
    for (const Entry& entry : entries()) {
        switch (entry.type) {
        case Type::Boolean:
            store.boolForKey(entry.key);
            break;
        case Type::Integer:
            store.integerForKey(entry.key);
            break;
        case Type::Float:
        case Type::Double:
            store.doubleForKey(entry.key);
            break;
        case Type::String:
        case Type::Frame:
            store.stringForKey(entry.key);
            break;
        case Type::Array:
            store.arrayForKey(entry.key);
            break;
        }
    }
}

bool ZuSettingsTable::storeText(const QString& key, const QString& text, QString* message) {
    const Entry* entry = find(key);
    if (!entry) {
        *message = QStringLiteral("unknown setting \"%1\"").arg(key);
        return false;
    }
    static const char* typeNames[] = {"a boolean (true/false, yes/no, 1/0)",
                                      "an integer",
                                      "a number",
                                      "a number",
                                      "a text",
                                      "a JSON array",
                                      "a frame \"X Y WIDTH HEIGHT\""};
    QVariant prototype;
    switch (entry->type) {
    case Type::Boolean:
        prototype = false;
        break;
    case Type::Integer:
        prototype = qint64(0);
        break;
    case Type::Float:
    case Type::Double:
        prototype = 0.0;
        break;
    case Type::String:
    case Type::Frame:
        prototype = QString();
        break;
    case Type::Array:
        prototype = QVariantList();
        break;
    }
    QVariant value = ZuSettings::parseTextAs(text, prototype);
    if (entry->type == Type::Frame && text.split(' ', Qt::SkipEmptyParts).size() != 4)
        value = QVariant();
    if (!value.isValid()) {
        *message = QStringLiteral("the value \"%1\" of %2 is not %3")
                       .arg(text, key, QLatin1String(typeNames[static_cast<int>(entry->type)]));
        return false;
    }
    if (entry->hasRange() &&
        !(value.toDouble() >= entry->minimum && value.toDouble() <= entry->maximum)) {
        *message = QStringLiteral("the value \"%1\" of %2 is out of range (%3)")
                       .arg(text, key, ZuSettings::rangeText(entry->minimum, entry->maximum));
        return false;
    }
    ZuSettings& store = ZuSettings::standard();
    switch (entry->type) {
    case Type::Boolean:
        store.setBool(value.toBool(), key);
        break;
    case Type::Integer:
        store.setInteger(value.toLongLong(), key);
        break;
    case Type::Float:
    case Type::Double:
        store.setDouble(value.toDouble(), key);
        break;
    case Type::String:
    case Type::Frame:
        store.setString(value.toString(), key);
        break;
    case Type::Array:
        store.setArray(value.toList(), key);
        break;
    }
    return true;
}
