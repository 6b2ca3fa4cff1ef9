// Recording control: the actions, the condition machine, the start and stop
// sequences, the split restarts, the displays, sleep and wake.
#include "recording/ZuRecorder.h"

#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"
#include "platform/ZuTimer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuDeviceReturn.h"
#include "recording/ZuLevelMeter.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuQueBuffer.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}
const QColor red(Qt::red);
const QColor black(Qt::black);
} // namespace

bool ZuRecorder::administratorRefuses() const {
    return controler && controler->authorization() && ZuAuthorization() != 0;
}

void ZuRecorder::actRecordButton(ZuControl& sender) {
    actionMethodValue = emergency ? 4 : 0;
    store().setBool(sender.state() != 0, "RecordSwitch");
    store().synchronize();
    if (sender.state() != 0) {
        reserveButton.setEnabled(false);
        setPreferControlEnabled(false);
        recordON();
        resetRecordButtonImage();
        return;
    }
    if (!emergency && administratorRefuses()) {
        sender.setState(1);
        store().setBool(true, "RecordSwitch");
        store().synchronize();
        return;
    }
    ZuReserver* reserver = controler ? controler->reserver() : nullptr;
    reserveButton.setEnabled(reserver && reserver->validReserves() > 0);
    recordOFF();
    resetRecordButtonImage();
    setPreferControlEnabled(true);
}

void ZuRecorder::setPreferControlEnabled(bool value) const {
    if (ZuPrefer* prefer = controler ? controler->prefer() : nullptr)
        prefer->setControlEnabled(value);
}

void ZuRecorder::actMonitorButton(ZuControl& sender) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (sender.state() == 0) {
        monitorButton.setState(0);
        if (devicer)
            devicer->monitorDevicePaused(true);
    } else if (administratorRefuses()) {
        sender.setState(0);
        return;
    } else {
        monitorButton.setState(1);
        if (devicer)
            devicer->monitorDevicePaused(false);
    }
    setControlState();
}

void ZuRecorder::actLevelSlider(ZuControl& sender) {
    autoLevelValue = static_cast<int32_t>(sender.value());
    store().setInteger(autoLevelValue, "AutoStartLevel");
    store().synchronize();
    setControlState();
}

void ZuRecorder::actHourButton(ZuControl& sender) {
    if (administratorRefuses()) {
        sender.setState(startOnTheHourValue ? 1 : 0);
        return;
    }
    _actHourButton();
}

void ZuRecorder::_actHourButton() {
    startOnTheHourValue = hourButton.state() != 0;
    store().setBool(startOnTheHourValue, "StartOnTheHour");
    store().synchronize();
    ZuLogEvent::post(QStringLiteral("HourSwitchChange"));
}

void ZuRecorder::restartRecording() {
    restarted = true;
    _stopRecording();
    _startRecording();
}

void ZuRecorder::startRecording() {
    restarted = false;
    _startRecording();
}

void ZuRecorder::stopRecording() {
    restarted = false;
    _stopRecording();
}

void ZuRecorder::emerRecordStop() {
    emergency = true;
    recordButton.setState(0);
    actRecordButton(recordButton);
    reserveButton.setState(0);
    actReserveButton(reserveButton);
    emergency = false;
}

// A dead device delivers no more input, so a recording left running would
// grow no longer. It is finished and named as at a stop. With recording
// switched on the switch stays on and the recorder waits for the device to
// come back; otherwise (or in the reservation mode) everything stops as in an
// emergency and the user is told to reconnect. Every backend reports the
// death on the main thread.
void ZuRecorder::audioDeviceDidDie(AuDevice* device) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    // A device already waited for may still be reported gone from the list.
    if (!devicer || device != devicer->recordDevice() || waitingForDevice())
        return;
    if (recordButton.state() != 0 && !modeTimer && deviceReturn) {
        if (conditionValue.load() == 1)
            stopRecording();
        deviceReturn->lost();
        setControlState();
        return;
    }
    const bool armed = recordButton.state() != 0 || reserveButton.state() != 0;
    if (armed)
        emerRecordStop();
    ZuLogEvent::report(armed ? QStringLiteral("ZuRecorder: record device is lost, "
                                              "recording is switched off.")
                             : QStringLiteral("ZuRecorder: record device is lost."));
    ZuAlerts::run(ZuAlert(QStringLiteral("RecordDeviceLost"), QStringLiteral("RecheckDevice"),
                          QStringLiteral("Understand")));
}

bool ZuRecorder::waitingForDevice() const {
    return deviceReturn && deviceReturn->waiting();
}

// The output roles on the lost hardware died with it: they follow the record
// role back. The new recording then starts from the condition machine, in the
// mode it had.
bool ZuRecorder::resumeRecordSource(int32_t source) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer)
        return false;
    devicer->setRecordSource(source);
    devicer->recordDeviceStart();
    AuDevice* device = devicer->recordDevice();
    if (!device || !device->isDeviceStarted())
        return false;
    if (devicer->playDevice() && devicer->playDevice()->deviceUID().isEmpty())
        devicer->setPlaySource(devicer->playSource());
    if (devicer->monitorDevice() && devicer->monitorDevice()->deviceUID().isEmpty())
        devicer->setMonitorSource(devicer->monitorSource());
    deviceReturn->cancel();
    setControlState();
    return true;
}

void ZuRecorder::recordON() {
    recordStateValue = true;
    setControlState();
}

void ZuRecorder::recordOFF() {
    recordStateValue = false;
    if (deviceReturn)
        deviceReturn->cancel();
    setControlState();
}

void ZuRecorder::setControlState() {
    if (ZuLevelMeter* meter = controler ? controler->meter() : nullptr)
        meter->renewTicking();
    resetCondition();
    levelSlider.setEnabled(recordModeValue == 2 || sliderAlwaysValue);
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    monitorButton.setEnabled(!(devicer && devicer->isPresentInternalRecord()));
    dispCondition();
}

void ZuRecorder::controlAutoDelay() {
    if (inputLevel() < autoLevelValue)
        autoDelayStart();
    else
        autoDelayStop();
    resetCondition();
    dispCondition();
    // Listening between recordings, the minute work rides on this tick.
    if (conditionValue.load() != 1)
        checkTheMinute(ZuClock::now());
}

void ZuRecorder::autoDelayStart() {
    if (!delayCount.isValid())
        delayCount = ZuClock::now();
}

void ZuRecorder::autoDelayStop() {
    delayCount = QDateTime();
}

bool ZuRecorder::autoDelayState() {
    if (!delayCount.isValid())
        return false;
    const auto t = static_cast<int64_t>(delayCount.msecsTo(ZuClock::now()) / 1000);
    if (t < delayTimeValue)
        return true;
    autoDelayStop();
    return false;
}

void ZuRecorder::resetCondition() {
    const int32_t before = conditionValue.load();
    if (modeTimer) {
        conditionValue.store(3);
        return;
    }
    if (!recordStateValue) {
        if (before == 1)
            stopRecording();
        conditionValue.store(0);
        return;
    }
    if (waitingForDevice()) {
        if (before == 1)
            stopRecording();
        conditionValue.store(0);
        return;
    }
    switch (recordModeValue) {
    case 0:
        if (before != 1)
            startRecording();
        return;
    case 1:
        if (inputLevel() >= autoLevelValue) {
            if (before != 1)
                startRecording();
            return;
        }
        if (before == 1 && !autoDelayState()) {
            stopRecording();
            conditionValue.store(2);
        }
        return;
    case 2:
        if (before == 1)
            stopRecording();
        conditionValue.store(2);
        return;
    default:
        return;
    }
}

void ZuRecorder::dispCondition() {
    switch (conditionValue.load()) {
    case 0: {
        if (waitingForDevice()) {
            conditionText.setText(ZuLocalized::text(QStringLiteral("WaitingInputDevice")));
            conditionText.setColor(red);
            break;
        }
        const bool standby = recordStateValue && recordModeValue == 1;
        conditionText.setText(
            ZuLocalized::text(standby ? QStringLiteral("Standby") : QStringLiteral("Stopped")));
        conditionText.setColor(standby ? red : black);
        break;
    }
    case 1:
        conditionText.setText(recordingString);
        conditionText.setColor(red);
        break;
    case 2:
        conditionText.setText(ZuLocalized::text(QStringLiteral("Standby")));
        conditionText.setColor(inputLevel() >= autoLevelValue || recordModeValue == 1 ? red
                                                                                      : black);
        break;
    case 3:
        dispWaitingCondition();
        break;
    default:
        break;
    }
}

void ZuRecorder::dispRecordMode() {
    static const char* const keys[] = {"AlwaysMode", "AutoMode", "StandbyMode"};
    if (modeTimer)
        modeText.setText(ZuLocalized::text(QStringLiteral("TimerMode")));
    else if (recordModeValue >= 0 && recordModeValue <= 2)
        modeText.setText(ZuLocalized::text(QString::fromLatin1(keys[recordModeValue])));
    setControlState();
}

void ZuRecorder::resetRecordButtonImage() {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    QString kind = QStringLiteral("Other");
    if (devicer && devicer->isPresentInternalRecord())
        kind.clear();
    else if (devicer && devicer->isPresentExternalRecord())
        kind = QStringLiteral("Plug");
    else if (devicer && devicer->isPresentDigitalRecord())
        kind = QStringLiteral("Digital");
    recordButton.setImageName(
        QStringLiteral("Record%1%2Button.tif")
            .arg(recordStateValue ? QStringLiteral("On") : QStringLiteral("Off"), kind));
}

void ZuRecorder::resetMonitorButtonImage() {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    monitorButton.setImageName(devicer && devicer->isPresentInternalMonitor()
                                   ? QStringLiteral("MonitorSwitch.tif")
                                   : QStringLiteral("ExternalSpeaker.png"));
}

void ZuRecorder::protectHowling() {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (devicer && devicer->isPresentInternalRecord() && devicer->isPresentInternalMonitor()) {
        monitorButton.setState(0);
        monitorButton.setEnabled(false);
        devicer->monitorDevicePaused(true);
    } else {
        monitorButton.setEnabled(true);
    }
}

QString ZuRecorder::timeText(double seconds) {
    const auto total = static_cast<int64_t>(seconds);
    return QStringLiteral("%1:%2'%3\"")
        .arg(total / 3600)
        .arg((total % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}

void ZuRecorder::setDisplayed(bool value) {
    displayedValue = value;
    if (dispTimer && dispTimer->isValid())
        scheduleDisplayTick();
}

void ZuRecorder::scheduleDisplayTick() {
    if (!dispTimer)
        dispTimer = std::make_unique<ZuTimer>();
    if (displayedValue) {
        dispTimer->start(0.2, false, [this] { countRecordTime(); });
        return;
    }
    const QTime now = ZuClock::now().time();
    const int toMinute = 60000 - (now.second() * 1000 + now.msec());
    dispTimer->start(toMinute / 1000.0, false, [this] { countMinute(); });
}

void ZuRecorder::checkTheMinute(const QDateTime& now) {
    const int second = now.time().second();
    if (second == 0 && !onTheMinute) {
        onTheMinute = true;
        onTheMinuteTime();
    } else if (second != 0) {
        onTheMinute = false;
    }
}

void ZuRecorder::countMinute() {
    // Every tick of this kind falls in a minute of its own.
    onTheMinute = false;
    checkTheMinute(ZuClock::now());
    if (conditionValue.load() == 1)
        scheduleDisplayTick();
}

// The write thread ended on a failure; its stop and alert run on the main
// thread, unless a stop has answered it meanwhile.
void ZuRecorder::answerWriteError() {
    if (conditionValue.load() != 1 || fileWriteing())
        return;
    if (fileVanished.exchange(false)) {
        answerVanishedFile();
        return;
    }
    if (!writeThreadError.exchange(false))
        return;
    writeErrorSteps();
}

// The recording's file, or the whole record folder, was removed under it.
// The duty goes on: the folder is made again and a new file begins now,
// with the sound the removed file had not yet received.
void ZuRecorder::answerVanishedFile() {
    ZuLogEvent::error(QStringLiteral("ZuRecorder: the recording file was removed; recording goes "
                                     "on in a new file."));
    if (mechanic)
        QDir().mkpath(mechanic->recordFolder());
    actionMethodValue = 1;
    restartRecording();
}

void ZuRecorder::countRecordTime() {
    const QDateTime now = ZuClock::now();
    checkTheMinute(now);
    if (conditionValue.load() != 1)
        return;
    if (++blinkCounter > 9) {
        blinkCounter = 0;
        recordingString = ZuLocalized::text(QStringLiteral("Recording"));
    }
    if (blinkCounter == 8)
        recordingString.clear();
    double elapsed = recordStartDateValue.msecsTo(now) / 1000.0;
    if (dispTotalTimeValue)
        elapsed += totalRecordTimeValue;
    recordTimeText.setText(timeText(elapsed));
    const uint32_t batches = writtenBatches.load(std::memory_order_relaxed);
    showWriteIndicator(batches != shownBatches);
    shownBatches = batches;
    dispCondition();
    scheduleDisplayTick();
}

void ZuRecorder::showWriteIndicator(bool writing) {
    writeIndicator.setState(writing ? 1 : 0);
    writeIndicator.setText(writing ? QStringLiteral("\u25CF") : QString());
}

void ZuRecorder::onTheMinuteTime() {
    const QDateTime now = ZuClock::now();
    const int minute = now.time().minute();
    // Between sleep and wake the wake's split is due, not this one.
    if (reserveButton.state() == 0 && conditionValue.load() == 1 && !sleepinDate.isValid()) {
        const double elapsed = recordStartDateValue.msecsTo(now) / 1000.0;
        // Every hour splits; only a recording begun inside this very minute 0
        // (by the user or the level) is left whole for it.
        const bool begunThisMinute =
            recordStartDateValue.time().minute() == 0 && recordStartDateValue.msecsTo(now) < 60000;
        const bool onTheHour = minute == 0 && startOnTheHourValue && !begunThisMinute;
        if (onTheHour || elapsed >= maxFileSeconds()) {
            actionMethodValue = 1;
            restartRecording();
        }
    }
    timeMarkerObject->markTheMinute(minute);
}

void ZuRecorder::_startRecording() {
    if (!restarted) {
        // The recording's format is taken here once; a split continues it.
        ZuDevice* devicer = controler ? controler->devicer() : nullptr;
        deviceRate.store(devicer ? devicer->recordSampleRate() : 0.0);
        recordingRateValue = sampleRate();
        recordingChannelsValue = channelsValue;
        ratio.store(recordingRateValue > 0.0
                        ? std::max<uint32_t>(1, uint32_t(deviceRate.load() / recordingRateValue))
                        : 1);
        hourButton.setEnabled(false);
        recordStartDateValue = ZuClock::now();
        prepareSoundQue();
        firstRecord = true;
        blinkCounter = 0;
        scheduleDisplayTick();
    } else {
        // The new file begins at the old one's stop, to the second.
        const QDateTime stop = recordStopDateValue;
        recordStartDateValue = stop.addMSecs(-stop.time().msec());
        firstRecord = false;
        // The new file takes the queue on from where the old one stopped
        // reading, so no sample is lost or counted twice between them.
        if (soundQueue)
            recordingFirst = soundQueue->consumedTotal();
    }
    const double rate = recordingRateValue;
    // A temporary file a failed rename left behind is saved under its own
    // name before this start replaces it.
    if (mechanic && QFileInfo::exists(mechanic->temporaryFilePath()))
        rescueTempFile();
    const QDateTime start = recordStartDateValue;
    store().setString(start.toString(QStringLiteral("yyyyMMdd_HHmmss")), "WriteStartTempFile");
    store().synchronize();
    if (!dispTotalTimeValue)
        recordTimeText.setText(QStringLiteral("0:00'00\""));

    AuStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mChannelsPerFrame = static_cast<uint32_t>(recordingChannelsValue);
    // A recording the rescue could not move is never replaced; a link left
    // there is replaced without being followed.
    const QFileInfo left(mechanic ? mechanic->temporaryFilePath() : QString());
    if (mechanic && rate > 0.0 && (!left.exists() || left.isSymLink()))
        writeFileID = mechanic->createAudioFileWithFormat(format, mechanic->temporaryFilePath());
    writePath = writeFileID ? QFile::encodeName(mechanic->temporaryFilePath()) : QByteArray();
    if (!writeFileID) {
        // At a split the previous file is already finished: the condition
        // says so before the switches go off, or they would stop it twice.
        conditionValue.store(0);
        if (overRecordBytesValue != 0)
            keepOverRecordData();
        emerRecordStop();
        ZuAlerts::run({"FileCreateError", "CheckAndRetry", "Understand"});
        ZuLogEvent::error(QStringLiteral("ZuRecorder: record file create error."));
        if (dispTimer)
            dispTimer->invalidate();
        hourButton.setEnabled(true);
        return;
    }
    writePosValue = 0;
    overflowCountValue.store(0);
    if (overRecordBytesValue != 0)
        addOverRecordData();
    conditionValue.store(1);
    writeThreadFlag.store(true, std::memory_order_release);
    startWriteThread();
    makeProgressSoundFile();
    ZuLogEvent::post(QStringLiteral("RecordingStart"));
    if (mechanic && !mechanic->makeSecureRecordSpace())
        ZuLogEvent::error(QStringLiteral("ZuMechanic: no enough disk space for record."));
}

void ZuRecorder::_stopRecording() {
    if (!restarted) {
        hourButton.setEnabled(true);
        if (dispTimer)
            dispTimer->invalidate();
        conditionValue.store(0);
        showWriteIndicator(false);
    }
    // The last batch of the thread is written before the input is counted,
    // so that what is due afterwards is never negative.
    endWriteThread();
    const double device = deviceRate.load();
    const double rate = recordingRateValue;
    const int32_t channelCount = recordingChannelsValue;
    ZuQueBuffer* que = soundQueue.get();
    const double counted = inputCount();
    recordingEnd = que ? que->writtenTotal() : 0;
    recordingFirst = recordingEnd;
    relayInput = 0.0;
    lastInputValue = device > 0.0 ? counted * channelCount * rate / (device * 4.0) : 0.0;
    // A removed file is neither written to nor named; what it had not yet
    // received goes on in the next file, so it counts as no loss here.
    const bool vanished = writeFileVanished();
    if (vanished)
        lastInputValue = writeCountValue.load();
    uint64_t gap = inputGapFrames.exchange(0);
    if (sleepinDate.isValid())
        gap = std::min(gap, gapAtSleep);
    const double gapBytes =
        device > 0.0 ? std::floor(double(gap) * rate / device) * channelCount * 2.0 : 0.0;

    recordStopDateValue = ZuClock::now();
    if (!dispTotalTimeValue)
        recordTimeText.setText(QString());
    secondCountValue = recordStartDateValue.msecsTo(recordStopDate()) / 1000.0;
    totalRecordTimeValue += secondCountValue;
    if (dispTotalTimeValue)
        recordTimeText.setText(timeText(totalRecordTimeValue));
    overRecordBytesValue = 0;
    if (restarted && !vanished)
        overRecord();
    finishWriting(gapBytes);
    fileVanished.store(false);
    // A write that failed in the last batch, or just before this stop, has
    // not been answered by the display tick; it is answered after the stop.
    const bool writeFailed = writeThreadError.exchange(false);
    if (overRecordBytesValue != 0 && !vanished)
        delOverRecordData();
    // The progress link goes first: a final name in the same second as the
    // link's would otherwise be taken and the recording get a hidden name.
    deleteProgressSoundFile();
    if (!vanished)
        moveToFinalName();
    ZuLogEvent::post(sleepinDate.isValid() ? QStringLiteral("RecordingSleep")
                                           : QStringLiteral("RecordingStop"));
    if (!restarted) {
        sleepinDate = QDateTime();
        if (queNeedsSizing)
            initSoundQue();
    }
    if (writeFailed && !emergency) {
        if (!writeErrorTimer)
            writeErrorTimer = std::make_unique<ZuTimer>();
        writeErrorTimer->start(0.0, false, [this] { writeErrorSteps(); });
    } else if (writeFailed) {
        // An emergency stop is under way already: only the failure is told.
        reportWriteError();
    }
}

void ZuRecorder::willSleepHandle() {
    if (conditionValue.load() == 1) {
        sleepinDate = ZuClock::now();
        gapAtSleep = inputGapFrames.load();
    }
    ZuLogEvent::post(QStringLiteral("SleepIn"), QStringLiteral("ZuRecorder: Sleep in."));
}

void ZuRecorder::didWakeHandle() {
    // A recording that ended while the system slept has nothing to split.
    const bool wasRecording = sleepinDate.isValid() && conditionValue.load() == 1;
    if (!wasRecording)
        sleepinDate = QDateTime();
    if (wasRecording) {
        restarted = true;
        _stopRecording();
    }
    ZuLogEvent::post(QStringLiteral("WakeUp"), QStringLiteral("ZuRecorder: Wake up."));
    if (wasRecording) {
        _startRecording();
        sleepinDate = QDateTime();
    }
}
