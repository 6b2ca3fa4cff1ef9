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

const QList<ZuSettingsTable::Entry>& ZuSettingsTable::entries() {
    static const QList<Entry> table = {
        {"AuthorizationRequired", Type::Boolean},
        {"WindowOpacity", Type::Float},
        {"MainWindow", Type::Frame},
        {"LastSelectedTabIndex", Type::Integer},
        {"RecordMode", Type::Integer},
        {"AutoStartLevel", Type::Integer},
        {"MonitorSwitch", Type::Integer},
        {"RecordSwitch", Type::Boolean},
        {"ReserveSwitch", Type::Boolean},
        {"SamplingRateNumber", Type::Integer},
        {"ChannelsNumber", Type::Integer},
        {"AutoStopDelayTime", Type::Float},
        {"StartOnTheHour", Type::Boolean},
        {"SliderAlwaysEnable", Type::Boolean},
        {"HideSoundFileFlag", Type::Boolean},
        {"PreBufferingSeconds", Type::Integer},
        {"MarkerSoundSwitch", Type::Boolean},
        {"MarkerSoundOption", Type::Integer},
        {"MarkerSoundName", Type::String},
        {"MarkerSoundMonitor", Type::Boolean},
        {"WriteStartTempFile", Type::String},
        {"DisplayTotalTime", Type::Boolean},
        {"AutoRecordStartup", Type::Boolean},
        {"PeekLevelHoldTime", Type::Double},
        {"SilenceAlarmMinutes", Type::Integer},
        {"SilenceAlarmLevel", Type::Double},
        {"DirectoryPath", Type::String},
        {"SoundFileForm", Type::Integer},
        {"MaxRecordTime", Type::Integer},
        {"MaxTotalTime", Type::Integer},
        {"BackupAdviceOperation", Type::Boolean},
        {"BackupAdviceDataSize", Type::Double},
        {"DefaultReserveValid", Type::Boolean},
        {"DefaultReserveName", Type::String},
        {"DefaultReserveMonth", Type::Integer},
        {"DefaultReserveDay", Type::Integer},
        {"DefaultReserveWeek", Type::Integer},
        {"DefaultReserveRate", Type::Integer},
        {"DefaultReserveChannel", Type::Integer},
        {"DefaultReserveDevice", Type::Integer},
        {"DefaultReserveMode", Type::Integer},
        {"ReserveAutoStartup", Type::Boolean},
        {"TimerList", Type::Array},
        {"TimerDrawerState", Type::Integer},
        {"VerifyDeleteTimer", Type::Boolean},
        {"AddDateName", Type::Boolean},
        {"AddNoteName", Type::Boolean},
        {"StepFast", Type::Double},
        {"VerifyDelete", Type::Boolean},
        {"EndressPlayMode", Type::Boolean},
        {"ProgressSoundFileName", Type::String},
        {"ControlerButtonState", Type::Boolean},
        {"WorkButtonState", Type::Boolean},
        {"WriteLogBook", Type::Boolean},
        {"TroubleTermination", Type::Boolean},
        {"LastPatrolDate", Type::String},
        {"recordSourceDevice", Type::Integer},
        {"PlaybackSourceDevice", Type::Integer},
        {"MonitorSourceDevice", Type::Integer},
        {"UseHightQualitySampling", Type::Boolean},
        {"KeepOperation", Type::Boolean},
        {"KeepFileKeepFolder", Type::String},
        {"KeepFileKeepPeriod", Type::Integer},
        {"CommandPathString", Type::String},
        {"CommandArgumentString", Type::String},
        {"MonitorCommandLine", Type::Boolean},
        {"CompressRatio", Type::Float},
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
