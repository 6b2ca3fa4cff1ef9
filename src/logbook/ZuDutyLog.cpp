#include "logbook/ZuDutyLog.h"

#include "audio/ZuDevice.h"
#include "logbook/ZuConsoleUser.h"
#include "logbook/ZuDutyLogText.h"
#include "platform/ZuClock.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuSettings.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QFileInfo>
#include <mutex>

namespace {
const QString troubleKey = QStringLiteral("TroubleTermination");
const QString patrolKey = QStringLiteral("LastPatrolDate");
} // namespace

void ZuDutyLog::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({
            {"WriteLogBook", true},
            {"TroubleTermination", false},
        });
    });
}

ZuDutyLog::ZuDutyLog() : dutyStart(ZuClock::now()) {
    initialize();
}

ZuDutyLog::~ZuDutyLog() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

void ZuDutyLog::awakeFromNib() {
    write = ZuSettings::standard().boolForKey("WriteLogBook");
    ZuNotificationCenter& center = ZuNotificationCenter::defaultCenter();
    center.removeObserver(this);
    center.addObserver(ZuLogEvent::notificationName, this,
                       [this](const ZuNotification& n) { logEventNotificationHandler(n); });
    patrolTimer.start(patrolInterval, true, [this] { patrolTimerPeriodic(); });
}

void ZuDutyLog::saveUserDefaults() {
    ZuSettings::standard().setBool(write, "WriteLogBook");
    ZuSettings::standard().setBool(false, troubleKey);
    ZuSettings::standard().synchronize();
}

void ZuDutyLog::patrolTimerPeriodic() {
    ZuSettings::standard().setString(ZuDutyLogText::dateDescription(ZuClock::now()), patrolKey);
    ZuSettings::standard().synchronize();
}

QString ZuDutyLog::logBookPath(const QString& recordFolder) {
    return QDir(recordFolder).filePath(fileName);
}

ZuDutyLogValues ZuDutyLog::currentValues() const {
    ZuDutyLogValues v;
    if (!controler)
        return v;
    const ZuRecorder* recorder = controler->recorder();
    v.sampleRate = recorder->sampleRate();
    v.channels = recorder->channels();
    v.recordMode = recorder->recordMode();
    v.startOnTheHour = recorder->startOnTheHour();
    v.preBufferSec = recorder->preBufferSec();
    v.delayTime = recorder->delayTime();
    v.markerSwitch = recorder->markerSwitch();
    v.markerOption = recorder->markerOption();
    v.markerSound = recorder->markerSound();
    v.inputSource = controler->devicer()->presentJapanRecordSourceName();
    v.recordStartDate = recorder->recordStartDate();
    v.recordStopDate = recorder->recordStopDate();
    v.actionMethod = recorder->actionMethod();
    v.reserveName = recorder->reserveName();
    v.totalRecordTime = recorder->totalRecordTime();
    v.dataSize = recorder->dataSize();
    v.lastWrite = recorder->lastWrite();
    v.lastCrashDate = recorder->lastCrashDate();
    const ZuMechanic* mechanic = controler->mechanic();
    v.recordFolder = mechanic->recordFolder();
    v.maxRecordTime = mechanic->maxRecordTime();
    v.maxTotalTime = mechanic->maxTotalTime();
    v.deleteFile = controler->player()->deleteFile();
    v.deleteImage = controler->player()->deleteImage();
    v.originalFile = controler->player()->originalFile();
    v.destinationFile = controler->player()->destinationFile();
    return v;
}

ZuDutyLogValues ZuDutyLog::values() const {
    return valueSource ? valueSource() : currentValues();
}

// A recording keeps the format it started with while the settings change.
ZuDutyLogValues ZuDutyLog::recordingValues() const {
    ZuDutyLogValues v = values();
    if (!valueSource && controler) {
        v.sampleRate = controler->recorder()->recordingRate();
        v.channels = controler->recorder()->recordingChannels();
    }
    return v;
}

void ZuDutyLog::append(const QString& text) {
    logBook.append(text.toUtf8());
}

void ZuDutyLog::logEventNotificationHandler(const ZuNotification& notification) {
    const QString event = notification.object.toString();
    const QDateTime now = ZuClock::now();
    if (event == QLatin1String("DutyStart")) {
        dutyStartEvent();
        return;
    }
    // Errors and reports come from other threads too: they touch nothing but
    // the file, whose append does nothing while no log book is open.
    const QString message = notification.userInfo.value(ZuLogEvent::messageKey).toString();
    if (event == ZuLogEvent::someErrorHappen) {
        append(ZuDutyLogText::messageBlock(now, QStringLiteral("ERROR HAPPEN"), message));
        return;
    }
    if (event == ZuLogEvent::someReportHappen || event == QLatin1String("SleepIn") ||
        event == QLatin1String("WakeUp")) {
        append(ZuDutyLogText::messageBlock(now, QStringLiteral("REPORT HAPPEN"), message));
        return;
    }
    if (!logBook.isOpen())
        return;
    if (event == QLatin1String("RecordingStart"))
        recordingStartEvent();
    else if (event == QLatin1String("RecordingStop") || event == QLatin1String("RecordingSleep"))
        recordingStopEvent();
    else if (event == QLatin1String("DutyFinish"))
        dutyFinishEvent(now);
    else
        append(ZuDutyLogText::eventBlock(event, now, values()));
}

void ZuDutyLog::dutyStartEvent() {
    // Only the first "DutyStart" of a run counts, and only with the switch
    // on at that moment.
    if (dutyStarted)
        return;
    dutyStarted = true;
    if (!write)
        return;
    ZuSettings& store = ZuSettings::standard();
    const ZuDutyLogValues v = values();
    if (v.recordFolder.isEmpty()) {
        ZuConsole::line(QStringLiteral("Can not create Log Book."));
        return;
    }
    QDir().mkpath(v.recordFolder);
    const QString path = logBookPath(v.recordFolder);
    QString text;
    if (store.boolForKey(troubleKey) && logBook.openForUpdate(path)) {
        const bool crash = v.lastCrashDate.isValid();
        QDateTime trouble = crash
                                ? v.lastCrashDate
                                : ZuDutyLogText::dateFromDescription(store.stringForKey(patrolKey));
        // Without a readable patrol date the file's last change is the
        // latest sign of the old duty.
        if (!trouble.isValid())
            trouble = QFileInfo(path).lastModified();
        text = ZuDutyLogText::troubleLines(trouble, crash, dutyStart);
    } else {
        if (!logBook.create(path)) {
            ZuConsole::line(QStringLiteral("Can not create Log Book."));
            return;
        }
        text = ZuDutyLogText::titleLine();
    }
    store.setBool(true, troubleKey);
    store.synchronize();
    text += ZuDutyLogText::dutyStartBlock(ZuConsoleUser::shortName(), dutyStart, v);
    patrolTimerPeriodic();
    append(text);
}

void ZuDutyLog::recordingStartEvent() {
    const ZuDutyLogValues v = recordingValues();
    startDate = v.recordStartDate;
    ++serialNum;
    append(ZuDutyLogText::recordingStartBlock(serialNum, v));
}

void ZuDutyLog::recordingStopEvent() {
    const ZuDutyLogValues v = recordingValues();
    // A stop whose start was not logged in this run (the recording began
    // before the log book opened) is timed from the recorder's own start.
    const QDateTime start = startDate.isValid() ? startDate : v.recordStartDate;
    append(ZuDutyLogText::recordingStopBlock(serialNum, start, v));
}

void ZuDutyLog::dutyFinishEvent(const QDateTime& now) {
    logBook.appendAndClose(ZuDutyLogText::dutyFinishBlock(now, dutyStart).toUtf8());
}
