#include "preferences/ZuPrefer.h"

#include "audio/ZuDevice.h"
#include "keeping/ZuKeeper.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuPanels.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuLevelMeter.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "recording/ZuTimeMarker.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

namespace {

ZuSettings& store() {
    return ZuSettings::standard();
}

const QString compressRatioNotification = QStringLiteral("CompressRatioNotification");
constexpr double gibibyte = 1024.0 * 1024.0 * 1024.0;
constexpr double daySeconds = 86400.0;
constexpr int maxRecordItems = 24;

// The shortest text that reads back as the same number, so that a field
// filled from a copy never differs from it.
QString numberText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString numberText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString integerText(double value) {
    return QString::number(static_cast<int64_t>(value));
}

int32_t integerOf(const ZuControl& field) {
    return static_cast<int32_t>(field.text().trimmed().toDouble());
}

double doubleOf(const ZuControl& field) {
    return field.text().trimmed().toDouble();
}

float floatOf(const ZuControl& field) {
    return field.text().trimmed().toFloat();
}

bool checked(const ZuControl& check) {
    return check.state() != 0;
}

// A pop-up with nothing chosen (its copy is none of its items) is left as it was.
bool popupDiffers(const ZuControl& popup, int32_t item) {
    return popup.selectedIndex() >= 0 && popup.selectedIndex() != item;
}

QStringList localized(std::initializer_list<const char*> keys) {
    QStringList texts;
    for (const char* key : keys)
        texts << ZuLocalized::text(QString::fromLatin1(key));
    return texts;
}

} // namespace

void ZuPrefer::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({{"LastSelectedTabIndex", 0}});
    });
}

ZuPrefer::ZuPrefer() {
    initialize();
    preferButton.setAction([this](ZuControl& c) { actExecPrefer(c); });
    okButton.setAction([this](ZuControl& c) { actChangePrefer(c); });
    cancelButton.setAction([this](ZuControl& c) { actCanceledPrefer(c); });
    opacitySlider.setAction([this](ZuControl& c) { actOpacitySlider(c); });
    opacitySlider.setRange(10, 100);
    markerSoundPopup.setAction([this](ZuControl& c) { actMarkerSound(c); });
    markerPlayButton.setAction([this](ZuControl& c) { actMarkerSound(c); });
    autoStartupCheck.setAction([this](ZuControl& c) { actAutoStartupCheck(c); });
    autoReserveCheck.setAction([this](ZuControl& c) { actAutoStartupCheck(c); });
    recordFolderButton.setAction([this](ZuControl& c) { actDirPath(c); });
    keepFolderButton.setAction([this](ZuControl& c) { actKeepFolderButton(c); });
    checkKeepActionButton.setAction([this](ZuControl& c) { actCheckKeepAction(c); });
    maxRecordPopup.setAction([this](ZuControl& c) { actMaxRecordTime(c); });
    maxTotalText.setAction([this](ZuControl& c) { actMaxTotalText(c); });
    maxTotalStepper.setAction([this](ZuControl& c) { actMaxTotalStepper(c); });
    maxTotalStepper.setRange(1, 3650);
    for (ZuControl* c : {&samplePopup,
                         &channelsPopup,
                         &recordSourcePopup,
                         &playSourcePopup,
                         &monitorSourcePopup,
                         &modePopup,
                         &sliderAlwaysCheck,
                         &dispTotalTimeCheck,
                         &markerMonitorCheck,
                         &markerOptionPopup,
                         &hideSoundFileCheck,
                         &recordFolderText,
                         &verifyCheck,
                         &verifyDeleteReserveCheck,
                         &defReserveValidCheck,
                         &defReserveNameText,
                         &defReserveMonthPopup,
                         &defReserveDayPopup,
                         &defReserveWeekPopup,
                         &defReserveRatePopup,
                         &defReserveChannelsPopup,
                         &defReserveDevicePopup,
                         &defReserveModePopup,
                         &writeLogCheck,
                         &useHighQualityCheck,
                         &keepOperationCheck,
                         &keepFolderText,
                         &commandPathText,
                         &argumentStrText,
                         &monitorCommandCheck,
                         &adviceOperationCheck,
                         &adviceDataSizeText})
        c->setAction([this](ZuControl& sender) { actUsual(sender); });
    pair(delayTimeText, delayTimeStepper, 0);
    delayTimeStepper.setRange(0, 3600);
    pair(preBufferSecText, preBufferSecStepper, 0);
    preBufferSecStepper.setRange(0, 80);
    pair(peekHoldTimeText, peekHoldTimeStepper, 1);
    peekHoldTimeStepper.setRange(0, 60);
    pair(keepPeriodText, keepPeriodStepper, 0);
    keepPeriodStepper.setRange(0, 3650);
    pair(compressRatioText, compressRatioStepper, 2);
    compressRatioStepper.setRange(0.01, 2);

    channelsPopup.setItems(localized({"ChannelMono", "ChannelStereo"}));
    modePopup.setItems(localized({"AlwaysMode", "AutoMode", "StandbyMode"}));
    QStringList intervals;
    for (int32_t option = 0; option <= 4; ++option)
        intervals << ZuLocalized::text(QStringLiteral("PrefMinutes"))
                         .arg(ZuTimeMarker::markerIntervalWithNumber(option));
    markerOptionPopup.setItems(intervals);
    QStringList hours;
    for (int item = 0; item < maxRecordItems; ++item)
        hours << ZuLocalized::text(QStringLiteral("PrefHours")).arg(item + 1);
    maxRecordPopup.setItems(hours);
    okButton.setEnabled(false);
    buildRows();
}

ZuPrefer::~ZuPrefer() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

void ZuPrefer::awakeFromNib() {
    prefTabView.setSelectedIndex(
        static_cast<int>(ZuSettings::standard().integerForKey("LastSelectedTabIndex")));
    std::weak_ptr<bool> living = alive;
    ZuNotificationCenter::defaultCenter().addObserver(
        compressRatioNotification, this, [this, living](const ZuNotification& notification) {
            zuPerformOnMainThread([this, living, notification] {
                if (living.lock())
                    compressRatioHandle(notification);
            });
        });
    if (ZuRecorder* recorder = controler ? controler->recorder() : nullptr)
        setMarkerControlEnabled(!recorder->markerSwitch());
}

void ZuPrefer::saveUserDefaults() {
    ZuSettings::standard().setInteger(prefTabView.selectedIndex(), "LastSelectedTabIndex");
    ZuSettings::standard().synchronize();
}

void ZuPrefer::tabViewDidSelectTabViewItem(int index) {
    prefTabView.setSelectedIndex(index);
    if (index == 0)
        dispDiskInfo();
    saveUserDefaults();
}

// The settings in the order OK applies them.
void ZuPrefer::buildRows() {
    auto recorder = [this] {
        return controler->recorder();
    };
    auto devicer = [this] {
        return controler->devicer();
    };
    auto mechanic = [this] {
        return controler->mechanic();
    };
    auto reserver = [this] {
        return controler->reserver();
    };
    auto keeper = [this] {
        return controler->keeper();
    };
    rows = {
        {[this] { return popupDiffers(samplePopup, copy.rateNumber); },
         [this, recorder] {
             recorder()->setRateNumber(copy.rateNumber = samplePopup.selectedIndex());
         },
         "SampleRateChange"},
        {[this] { return popupDiffers(channelsPopup, copy.channels - 1); },
         [this, recorder] {
             recorder()->setChannels(copy.channels = channelsPopup.selectedIndex() + 1);
             recorder()->initMarkerBuffer();
         },
         "ChannelsChange"},
        {[this] { return popupDiffers(recordSourcePopup, copy.recordSource); },
         [this, devicer] {
             devicer()->changeRecordSource(copy.recordSource = recordSourcePopup.selectedIndex());
         },
         "InputSourceChange"},
        {[this] { return popupDiffers(playSourcePopup, copy.playSource); },
         [this, devicer] {
             devicer()->changePlaySource(copy.playSource = playSourcePopup.selectedIndex());
         },
         "InputSourceChange"},
        {[this] { return popupDiffers(monitorSourcePopup, copy.monitorSource); },
         [this, devicer] {
             devicer()->changeMonitorSource(copy.monitorSource =
                                                monitorSourcePopup.selectedIndex());
         },
         "InputSourceChange"},
        {[this] { return popupDiffers(modePopup, copy.recordMode); },
         [this, recorder] {
             recorder()->setRecordMode(copy.recordMode = modePopup.selectedIndex());
         },
         "RecordModeChange"},
        {[this] { return checked(sliderAlwaysCheck) != copy.sliderAlways; },
         [this, recorder] {
             recorder()->setSliderAlways(copy.sliderAlways = checked(sliderAlwaysCheck));
         },
         {}},
        {[this] { return integerOf(delayTimeText) != copy.delayTime; },
         [this, recorder] { recorder()->setDelayTime(copy.delayTime = integerOf(delayTimeText)); },
         "DelayTimeChange"},
        {[this] { return integerOf(preBufferSecText) != copy.preBufferSec; },
         [this, recorder] {
             recorder()->setPreBufferSec(copy.preBufferSec = integerOf(preBufferSecText));
         },
         "PreTimeChange"},
        {[this] { return checked(dispTotalTimeCheck) != copy.dispTotalTime; },
         [this, recorder] {
             recorder()->setDispTotalTime(copy.dispTotalTime = checked(dispTotalTimeCheck));
         },
         {}},
        {[this] { return checked(autoStartupCheck) != copy.autoStartup; },
         [this, recorder] {
             recorder()->setAutoStartup(copy.autoStartup = checked(autoStartupCheck));
         },
         {}},
        {[this] {
             return markerSoundPopup.selectedIndex() >= 0 &&
                    markerSoundPopup.selectedItem() != copy.markerSound;
         },
         [this, recorder] {
             recorder()->setMarkerSound(copy.markerSound = markerSoundPopup.selectedItem());
         },
         "MarkerSoundChange"},
        {[this] { return checked(markerMonitorCheck) != copy.markerMonitor; },
         [this, recorder] {
             recorder()->setMarkerMonitor(copy.markerMonitor = checked(markerMonitorCheck));
         },
         {}},
        {[this] { return popupDiffers(markerOptionPopup, copy.markerOption); },
         [this, recorder] {
             recorder()->setMarkerOption(copy.markerOption = markerOptionPopup.selectedIndex());
         },
         "MarkerPeriodChange"},
        {[this] { return checked(hideSoundFileCheck) != copy.hideSoundFile; },
         [this, recorder, mechanic] {
             recorder()->setHideSoundFile(copy.hideSoundFile = checked(hideSoundFileCheck));
             mechanic()->changeHiddenSoundFiles(copy.hideSoundFile);
         },
         {}},
        {[this] {
             return maxRecordPopup.selectedIndex() >= 0 &&
                    recordSecondsOfItem(maxRecordPopup.selectedIndex()) != copy.maxRecordTime;
         },
         [this, mechanic] {
             mechanic()->setMaxRecordTime(copy.maxRecordTime =
                                              recordSecondsOfItem(maxRecordPopup.selectedIndex()));
         },
         "MaxRecordChange"},
        {[this] { return integerOf(maxTotalText) * daySeconds != copy.maxTotalTime; },
         [this, mechanic] {
             mechanic()->setMaxTotalTime(copy.maxTotalTime = integerOf(maxTotalText) * daySeconds);
         },
         "KeepPeriodChange"},
        {[this] { return recordFolderText.text() != copy.recordFolder; },
         [this, mechanic] { mechanic()->setDirPath(copy.recordFolder = recordFolderText.text()); },
         "RecordFolderChange"},
        {[this] { return doubleOf(peekHoldTimeText) != copy.peekHoldTime; },
         [this] {
             controler->meter()->setPeekHoldTime(copy.peekHoldTime = doubleOf(peekHoldTimeText));
         },
         {}},
        {[this] { return checked(verifyCheck) != copy.verifyDelete; },
         [this] { controler->player()->setVerifyDelete(copy.verifyDelete = checked(verifyCheck)); },
         {}},
        {[this] { return float(opacitySlider.value() / 100.0) != copy.opacity; },
         [this] { controler->setOpacity(copy.opacity = float(opacitySlider.value() / 100.0)); },
         {}},
        {[this] { return checked(autoReserveCheck) != copy.reserveAutoStartup; },
         [this, reserver] {
             reserver()->setReserveAutoStartup(copy.reserveAutoStartup = checked(autoReserveCheck));
         },
         {}},
        {[this] { return checked(verifyDeleteReserveCheck) != copy.verifyDeleteReserve; },
         [this, reserver] {
             reserver()->setVerifyDeleteReserve(copy.verifyDeleteReserve =
                                                    checked(verifyDeleteReserveCheck));
         },
         {}},
        {[this] { return checked(defReserveValidCheck) != copy.defReserveValid; },
         [this, reserver] {
             reserver()->setDefReserveValid(copy.defReserveValid = checked(defReserveValidCheck));
         },
         {}},
        {[this] { return defReserveNameText.text() != copy.defReserveName; },
         [this, reserver] {
             reserver()->setDefReserveName(copy.defReserveName = defReserveNameText.text());
         },
         {}},
        {[this] {
             return popupDiffers(defReserveMonthPopup, copy.defReserveMonth) ||
                    popupDiffers(defReserveDayPopup, copy.defReserveDay) ||
                    popupDiffers(defReserveWeekPopup, copy.defReserveWeek);
         },
         [this, reserver] {
             if (popupDiffers(defReserveMonthPopup, copy.defReserveMonth))
                 reserver()->setDefReserveMonth(copy.defReserveMonth =
                                                    defReserveMonthPopup.selectedIndex());
             if (popupDiffers(defReserveDayPopup, copy.defReserveDay))
                 reserver()->setDefReserveDay(copy.defReserveDay =
                                                  defReserveDayPopup.selectedIndex());
             if (popupDiffers(defReserveWeekPopup, copy.defReserveWeek))
                 reserver()->setDefReserveWeek(copy.defReserveWeek =
                                                   defReserveWeekPopup.selectedIndex());
         },
         {}},
        {[this] { return popupDiffers(defReserveRatePopup, copy.defReserveRate); },
         [this, reserver] {
             reserver()->setDefReserveRate(copy.defReserveRate =
                                               defReserveRatePopup.selectedIndex());
         },
         {}},
        {[this] { return popupDiffers(defReserveChannelsPopup, copy.defReserveChannels - 1); },
         [this, reserver] {
             reserver()->setDefReserveChannels(copy.defReserveChannels =
                                                   defReserveChannelsPopup.selectedIndex() + 1);
         },
         {}},
        {[this] { return popupDiffers(defReserveDevicePopup, copy.defReserveDevice); },
         [this, reserver] {
             reserver()->changeDefReserveDevice(copy.defReserveDevice =
                                                    defReserveDevicePopup.selectedIndex());
         },
         {}},
        {[this] { return popupDiffers(defReserveModePopup, copy.defReserveMode); },
         [this, reserver] {
             reserver()->setDefReserveMode(copy.defReserveMode =
                                               defReserveModePopup.selectedIndex());
         },
         {}},
        {[this] { return checked(writeLogCheck) != copy.writeLog; },
         [this] { controler->dutylog()->setWriteLog(copy.writeLog = checked(writeLogCheck)); },
         {}},
        {[this] { return checked(useHighQualityCheck) != copy.useHighQuality; },
         [this, devicer] {
             // The converters are made anew with the new quality.
             devicer()->setUseHighQuality(copy.useHighQuality = checked(useHighQualityCheck));
             devicer()->setRecordSource(copy.recordSource);
             devicer()->setMonitorSource(copy.monitorSource);
             devicer()->setPlaySource(copy.playSource);
         },
         {}},
        {[this] { return checked(keepOperationCheck) != copy.keepOperation; },
         [this, keeper] {
             keeper()->setKeepOperation(copy.keepOperation = checked(keepOperationCheck));
         },
         {}},
        {[this] { return keepFolderText.text() != copy.keepFolder; },
         [this, keeper] { keeper()->setKeepFolder(copy.keepFolder = keepFolderText.text()); },
         {}},
        {[this] { return integerOf(keepPeriodText) != copy.keepPeriod; },
         [this, keeper] { keeper()->setKeepPeriod(copy.keepPeriod = integerOf(keepPeriodText)); },
         {}},
        {[this] { return commandPathText.text() != copy.commandPath; },
         [this, keeper] { keeper()->setCommandPath(copy.commandPath = commandPathText.text()); },
         {}},
        {[this] { return argumentStrText.text() != copy.argumentStr; },
         [this, keeper] { keeper()->setArgumentStr(copy.argumentStr = argumentStrText.text()); },
         {}},
        {[this] { return floatOf(compressRatioText) != copy.compressRatio; },
         [this, keeper] {
             keeper()->setCompressRatio(copy.compressRatio = floatOf(compressRatioText));
         },
         {}},
        {[this] { return checked(monitorCommandCheck) != copy.monitorCommand; },
         [this, keeper] {
             keeper()->setMonitorCommand(copy.monitorCommand = checked(monitorCommandCheck));
         },
         {}},
        {[this] { return checked(adviceOperationCheck) != copy.adviceOperation; },
         [this, mechanic] {
             mechanic()->setAdviceOperation(copy.adviceOperation = checked(adviceOperationCheck));
         },
         {}},
        {[this] { return doubleOf(adviceDataSizeText) != copy.adviceDataSize; },
         [this, mechanic] {
             mechanic()->setAdviceDataSize(copy.adviceDataSize = doubleOf(adviceDataSizeText));
         },
         {}},
    };
}

void ZuPrefer::readCopies() {
    ZuRecorder* recorder = controler->recorder();
    ZuDevice* devicer = controler->devicer();
    ZuMechanic* mechanic = controler->mechanic();
    ZuReserver* reserver = controler->reserver();
    ZuKeeper* keeper = controler->keeper();
    copy.rateNumber = recorder->rateNumber();
    copy.channels = recorder->channels();
    copy.recordSource = devicer->recordSource();
    copy.playSource = devicer->playSource();
    copy.monitorSource = devicer->monitorSource();
    copy.recordMode = recorder->recordMode();
    copy.sliderAlways = recorder->sliderAlways();
    copy.delayTime = recorder->delayTime();
    copy.preBufferSec = recorder->preBufferSec();
    copy.dispTotalTime = recorder->dispTotalTime();
    copy.autoStartup = recorder->autoStartup();
    copy.markerSound = recorder->markerSound();
    copy.markerMonitor = recorder->markerMonitor();
    copy.markerOption = recorder->markerOption();
    copy.hideSoundFile = recorder->hideSoundFile();
    copy.maxRecordTime = mechanic->maxRecordTime();
    copy.maxTotalTime = mechanic->maxTotalTime();
    copy.recordFolder = mechanic->recordFolder();
    copy.peekHoldTime = controler->meter()->peekHoldTime();
    copy.verifyDelete = controler->player()->verifyDelete();
    copy.opacity = controler->opacity();
    copy.reserveAutoStartup = reserver->reserveAutoStartup();
    copy.verifyDeleteReserve = reserver->verifyDeleteReserve();
    copy.defReserveValid = reserver->defReserveValid();
    copy.defReserveName = reserver->defReserveName();
    copy.defReserveMonth = reserver->defReserveMonth();
    copy.defReserveDay = reserver->defReserveDay();
    copy.defReserveWeek = reserver->defReserveWeek();
    copy.defReserveRate = reserver->defReserveRate();
    copy.defReserveChannels = reserver->defReserveChannels();
    copy.defReserveDevice = reserver->defReserveDevice();
    copy.defReserveMode = reserver->defReserveMode();
    copy.writeLog = controler->dutylog()->writeLog();
    copy.useHighQuality = devicer->useHighQuality();
    copy.keepOperation = keeper->keepOperation();
    copy.keepFolder = keeper->keepFolder();
    copy.keepPeriod = keeper->keepPeriod();
    copy.commandPath = keeper->commandPath();
    copy.argumentStr = keeper->argumentStr();
    copy.compressRatio = keeper->compressRatio();
    copy.monitorCommand = keeper->monitorCommand();
    copy.adviceOperation = mechanic->adviceOperation();
    copy.adviceDataSize = mechanic->adviceDataSize();
}

void ZuPrefer::fillControls() {
    ZuDevice* devicer = controler->devicer();
    ZuReserver* reserver = controler->reserver();
    const QStringList recordSources = devicer->usableJapanRecordSourceNames();
    const QStringList playSources = devicer->usableJapanPlaySourceNames();
    recordSourcePopup.setItems(recordSources);
    recordSourcePopup.setSelectedIndex(copy.recordSource);
    renewSampleRatePopup(samplePopup, copy.recordSource, copy.rateNumber);
    channelsPopup.setSelectedIndex(copy.channels - 1);
    playSourcePopup.setItems(playSources);
    playSourcePopup.setSelectedIndex(copy.playSource);
    monitorSourcePopup.setItems(playSources);
    monitorSourcePopup.setSelectedIndex(copy.monitorSource);
    modePopup.setSelectedIndex(copy.recordMode);
    sliderAlwaysCheck.setState(copy.sliderAlways);
    delayTimeText.setText(integerText(copy.delayTime));
    delayTimeStepper.setValue(copy.delayTime);
    preBufferSecText.setText(integerText(copy.preBufferSec));
    preBufferSecStepper.setValue(copy.preBufferSec);
    dispTotalTimeCheck.setState(copy.dispTotalTime);
    autoStartupCheck.setState(copy.autoStartup);
    const QStringList sounds = markerSoundNames();
    markerSoundPopup.setItems(sounds);
    markerSoundPopup.setSelectedIndex(int(sounds.indexOf(copy.markerSound)));
    markerMonitorCheck.setState(copy.markerMonitor);
    markerOptionPopup.setSelectedIndex(copy.markerOption);
    hideSoundFileCheck.setState(copy.hideSoundFile);
    const int item = static_cast<int>(copy.maxRecordTime / 3600.0) - 1;
    maxRecordPopup.setSelectedIndex(item >= 0 && item < maxRecordItems ? item : -1);
    maxTotalText.setText(integerText(copy.maxTotalTime / daySeconds));
    maxTotalStepper.setValue(static_cast<int64_t>(copy.maxTotalTime / daySeconds));
    recordFolderText.setText(copy.recordFolder);
    recordFolderText.setToolTip(copy.recordFolder);
    peekHoldTimeText.setText(numberText(copy.peekHoldTime));
    peekHoldTimeStepper.setValue(copy.peekHoldTime);
    verifyCheck.setState(copy.verifyDelete);
    opacitySlider.setValue(double(copy.opacity) * 100.0);
    autoReserveCheck.setState(copy.reserveAutoStartup);
    verifyDeleteReserveCheck.setState(copy.verifyDeleteReserve);
    defReserveValidCheck.setState(copy.defReserveValid);
    defReserveNameText.setText(copy.defReserveName);
    // The entry editor's choices are the choices of a new entry.
    defReserveMonthPopup.setItems(reserver->timerMonthPopup.items());
    defReserveMonthPopup.setSelectedIndex(copy.defReserveMonth);
    defReserveDayPopup.setItems(reserver->timerDayPopup.items());
    defReserveDayPopup.setSelectedIndex(copy.defReserveDay);
    defReserveWeekPopup.setItems(reserver->timerWeekPopup.items());
    defReserveWeekPopup.setSelectedIndex(copy.defReserveWeek);
    defReserveDevicePopup.setItems(recordSources);
    defReserveDevicePopup.setSelectedIndex(copy.defReserveDevice);
    renewSampleRatePopup(defReserveRatePopup, copy.defReserveDevice, copy.defReserveRate);
    defReserveChannelsPopup.setItems(reserver->timerChannelsPopup.items());
    defReserveChannelsPopup.setSelectedIndex(copy.defReserveChannels - 1);
    defReserveModePopup.setItems(reserver->timerModePopup.items());
    defReserveModePopup.setSelectedIndex(copy.defReserveMode);
    writeLogCheck.setState(copy.writeLog);
    useHighQualityCheck.setState(copy.useHighQuality);
    keepOperationCheck.setState(copy.keepOperation);
    keepFolderText.setText(copy.keepFolder);
    keepFolderText.setToolTip(copy.keepFolder);
    keepPeriodText.setText(integerText(copy.keepPeriod));
    keepPeriodStepper.setValue(copy.keepPeriod);
    commandPathText.setText(copy.commandPath);
    argumentStrText.setText(copy.argumentStr);
    compressRatioText.setText(numberText(copy.compressRatio));
    compressRatioStepper.setValue(double(copy.compressRatio));
    monitorCommandCheck.setState(copy.monitorCommand);
    adviceOperationCheck.setState(copy.adviceOperation);
    adviceDataSizeText.setText(numberText(copy.adviceDataSize));
}

bool ZuPrefer::anyRowDiffers() const {
    for (const Row& row : rows)
        if (row.differs())
            return true;
    return false;
}

void ZuPrefer::actExecPrefer(ZuControl&) {
    if (!controler)
        return;
    if (isOpen()) {
        if (!okButton.isEnabled())
            exitPrefer();
        else
            execPrefer();
        return;
    }
    if (controler->authorization() && ZuAuthorization() != 0) {
        preferButton.setState(0);
        return;
    }
    readCopies();
    fillControls();
    dispDiskInfo();
    autoStartupEnabled();
    resetControlState();
    execPrefer();
}

void ZuPrefer::execPrefer() {
    controler->recorder()->recordButton.setEnabled(false);
    preferButton.setState(1);
    preferDrawer.setState(1);
}

void ZuPrefer::exitPrefer() {
    preferDrawer.setState(0);
    preferButton.setState(0);
    ZuRecorder* recorder = controler->recorder();
    if (recorder->reserveButton.state() == 0)
        recorder->recordButton.setEnabled(true);
    for (QString* text : {&copy.markerSound, &copy.recordFolder, &copy.defReserveName,
                          &copy.keepFolder, &copy.commandPath, &copy.argumentStr})
        text->clear();
}

void ZuPrefer::actChangePrefer(ZuControl&) {
    if (!isOpen())
        return;
    // The owners save their settings after the last of their rows.
    static constexpr struct {
        int row;
        void (*save)(ZuControler&);
    } saves[] = {
        {15,
         [](ZuControler& c) {
             c.recorder()->saveUserDefaults();
         }},
        {18,
         [](ZuControler& c) {
             c.recorder()->saveUserDefaults();
         }},
        {19,
         [](ZuControler& c) {
             c.meter()->saveUserDefaults();
         }},
        {20,
         [](ZuControler& c) {
             c.player()->saveUserDefaults();
         }},
        {21,
         [](ZuControler& c) {
             c.saveUserDefaults();
         }},
        {30,
         [](ZuControler& c) {
             c.reserver()->saveUserDefaults();
         }},
        {31,
         [](ZuControler& c) {
             c.dutylog()->saveUserDefaults();
         }},
    };
    for (int index = 0; index < rows.size(); ++index) {
        const Row& row = rows[index];
        if (row.differs()) {
            row.apply();
            if (!row.event.isEmpty())
                ZuLogEvent::post(row.event);
        }
        for (const auto& save : saves)
            if (save.row == index + 1)
                save.save(*controler);
    }
    exitPrefer();
}

void ZuPrefer::actCanceledPrefer(ZuControl&) {
    if (!isOpen())
        return;
    controler->setOpacity(copy.opacity);
    exitPrefer();
}

void ZuPrefer::resetControlState() {
    if (!controler)
        return;
    dispDiskInfo();
    renewSampleRatePopup(samplePopup, recordSourcePopup.selectedIndex(),
                         samplePopup.selectedIndex());
    renewSampleRatePopup(defReserveRatePopup, defReserveDevicePopup.selectedIndex(),
                         defReserveRatePopup.selectedIndex());
    const double keepDays =
        maxKeepTimeWithReserveSpace(reserveSpace(), needPerSecond(), floatOf(compressRatioText)) /
        daySeconds;
    maxKeepPeriodText.setValue(keepDays);
    maxKeepPeriodText.setText(QString::number(keepDays, 'f', 1));
    const bool keeping = checked(keepOperationCheck);
    for (ZuControl* c :
         {&keepFolderButton, &keepPeriodText, &keepPeriodStepper, &commandPathText,
          &argumentStrText, &compressRatioText, &compressRatioStepper, &monitorCommandCheck})
        c->setEnabled(keeping);
    checkKeepActionButton.setEnabled(!keepFolderText.text().isEmpty() &&
                                     !commandPathText.text().isEmpty() && keeping &&
                                     testFileExists() && !controler->keeper()->isCompressing());
    adviceDataSizeText.setEnabled(checked(adviceOperationCheck));
    okButton.setEnabled(anyRowDiffers());
}

void ZuPrefer::actUsual(ZuControl&) {
    resetControlState();
}

void ZuPrefer::pair(ZuControl& text, ZuControl& stepper, int decimals) {
    text.setAction([this, &stepper, decimals](ZuControl& sender) {
        stepper.setValue(decimals == 0 ? double(integerOf(sender)) : doubleOf(sender));
        resetControlState();
    });
    stepper.setAction([this, &text, decimals](ZuControl& sender) {
        switch (decimals) {
        case 0:
            text.setText(integerText(sender.value()));
            break;
        case 1:
            text.setText(numberText(sender.value()));
            break;
        default:
            text.setText(numberText(float(sender.value())));
            break;
        }
        resetControlState();
    });
}

void ZuPrefer::actOpacitySlider(ZuControl& sender) {
    controler->setOpacity(float(sender.value() / 100.0));
    resetControlState();
}

void ZuPrefer::actMarkerSound(ZuControl&) {
    playMarkerSound();
    resetControlState();
}

// The sound is heard where recordings are heard, on the player's device.
void ZuPrefer::playMarkerSound() {
    ZuPlayer* player = controler ? controler->player() : nullptr;
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    const QString name = markerSoundPopup.selectedItem();
    if (!player || !devicer || name.isEmpty() || player->playbacking())
        return;
    QString error;
    std::vector<float> sound =
        ZuTimeMarker::playableSound(controler->mechanic(), name, devicer->playSampleRate(), error);
    if (sound.empty()) {
        if (!error.isEmpty())
            ZuLogEvent::error(error);
        return;
    }
    player->playShortSound(std::move(sound));
}

void ZuPrefer::actAutoStartupCheck(ZuControl&) {
    autoStartupEnabled();
    resetControlState();
}

void ZuPrefer::autoStartupEnabled() {
    autoReserveCheck.setEnabled(!checked(autoStartupCheck));
    autoStartupCheck.setEnabled(!checked(autoReserveCheck));
}

void ZuPrefer::chooseFolder(ZuControl& field, const QString& titleKey, const QString& start) {
    ZuOpenPanelRequest request;
    request.title = ZuLocalized::text(titleKey);
    request.directory = start;
    request.chooseFiles = false;
    request.chooseDirectories = true;
    const QStringList chosen = ZuPanels::runOpen(request);
    if (chosen.isEmpty())
        return;
    field.setText(chosen.first());
    field.setToolTip(chosen.first());
    resetControlState();
}

void ZuPrefer::actDirPath(ZuControl&) {
    chooseFolder(recordFolderText, QStringLiteral("ChooseFolder"), copy.recordFolder);
}

void ZuPrefer::actKeepFolderButton(ZuControl&) {
    chooseFolder(keepFolderText, QStringLiteral("ChooseKeepFolder"), copy.keepFolder);
}

bool ZuPrefer::testFileExists() const {
    return QFileInfo(store().stringForKey("SampleDataFilePath") + '/' +
                     store().stringForKey("SampleDataFileName"))
        .isFile();
}

void ZuPrefer::actCheckKeepAction(ZuControl&) {
    ZuKeeper* keeper = controler->keeper();
    if (keeper->isCompressing()) {
        ZuAlerts::run({"OtherCompressing", "OtherCompressInfo", "Understand"});
        return;
    }
    if (ZuAlerts::run({"CheckKeepAction", "CheckKeepActionInfo", "Execute", "Cancel"}) !=
        ZuAlertButton::Default)
        return;
    keeper->setKeepOperation(true);
    keeper->setMonitorCommand(true);
    keeper->setCommandPath(commandPathText.text());
    keeper->setArgumentStr(argumentStrText.text());
    const QString name = store().stringForKey("SampleDataFileName");
    const QString sample = store().stringForKey("SampleDataFilePath") + '/' + name;
    const QString trial = controler->mechanic()->recordFolder() + '/' + name + ".test";
    QFile::remove(trial);
    if (QFile::copy(sample, trial))
        keeper->compressDataFile(trial);
    else
        ZuLogEvent::error(QStringLiteral("ZuPrefer: cannot copy %1 to %2.").arg(sample, trial));
    QFile::remove(trial);
    keeper->setKeepOperation(copy.keepOperation);
    keeper->setMonitorCommand(copy.monitorCommand);
    keeper->setCommandPath(copy.commandPath);
    keeper->setArgumentStr(copy.argumentStr);
    checkKeepActionButton.setEnabled(false);
}

void ZuPrefer::renewSampleRatePopup(ZuControl& popup, int32_t source, int32_t select) const {
    QStringList items;
    for (int32_t number = 0; number <= 2; ++number)
        items << QStringLiteral("%1 Hz").arg(sampleRateWithSource(source, number));
    popup.setItems(items);
    popup.setSelectedIndex(select);
}

int32_t ZuPrefer::sampleRateWithSource(int32_t source, int32_t rateNumber) const {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer)
        return 0;
    return static_cast<int32_t>(devicer->recordSampleRateWithSource(source, rateNumber));
}

void ZuPrefer::setControlEnabled(bool value) {
    for (ZuControl* c : {&samplePopup, &channelsPopup, &recordSourcePopup, &modePopup,
                         &maxRecordPopup, &useHighQualityCheck})
        c->setEnabled(value);
}

void ZuPrefer::setPlaySourceEnabled(bool value) {
    playSourcePopup.setEnabled(value);
}

void ZuPrefer::setMarkerControlEnabled(bool value) {
    markerOptionPopup.setEnabled(value);
    markerSoundPopup.setEnabled(value);
}

QStringList ZuPrefer::markerSoundNames() {
    QStringList names;
    const QStringList files =
        QDir(ZuPaths::systemSoundFolder()).entryList({"*.aiff"}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        names << QFileInfo(file).completeBaseName();
    return names;
}

// Disk planning.

// A length that is no item (none chosen) counts as the first, one hour.
double ZuPrefer::recordSecondsOfItem(int item) {
    return std::max(item, 0) * 3600.0 + 3600.0;
}

double ZuPrefer::needPerSecond() const {
    const double rate = controler->recorder()->sampleRate(samplePopup.selectedIndex());
    return rate * (channelsPopup.selectedIndex() + 1) * 2.0;
}

double ZuPrefer::recordSpacePerSecond(double seconds) const {
    return (needPerSecond() * seconds + 4096.0) / seconds;
}

double ZuPrefer::needRecordSpacePerSecond() const {
    return recordSpacePerSecond(recordSecondsOfItem(maxRecordPopup.selectedIndex()));
}

double ZuPrefer::needRecordSpace() const {
    return recordSecondsOfItem(maxRecordPopup.selectedIndex()) * needRecordSpacePerSecond();
}

double ZuPrefer::needTotalSpace() const {
    // Both products are whole numbers of 64 bits: two days of hour-long
    // files at 22 050 Hz already need more bytes than 32 bits can count.
    const int64_t totalSeconds = int64_t(integerOf(maxTotalText)) * 86400;
    const int64_t fileBytes = static_cast<int64_t>(needRecordSpace());
    return double(totalSeconds) / recordSecondsOfItem(maxRecordPopup.selectedIndex()) *
           double(fileBytes);
}

double ZuPrefer::reserveSpace() const {
    const double recorded = controler->player()->dataSource()->totalTime();
    return (controler->mechanic()->maxTotalTime() - recorded) * needPerSecond();
}

double ZuPrefer::maxKeepTimeWithReserveSpace(double reserve, double perSecond, float ratio) const {
    ZuKeeper* keeper = controler->keeper();
    return (keeper->freeSystemSpace() - reserve + keeper->totalKeepSpace()) / perSecond /
           double(ratio);
}

double ZuPrefer::recordFreeSpace() const {
    return controler->mechanic()->freeSystemSpace();
}

void ZuPrefer::dispDiskInfo() {
    if (!controler)
        return;
    const double free = recordFreeSpace();
    const double freeSpace = free / gibibyte;
    freeSpaceText.setValue(freeSpace);
    freeSpaceText.setText(QString::number(freeSpace, 'f', 2));
    const double freeHours = free / needRecordSpacePerSecond() / 3600.0 + 0.5;
    freeTimeText.setValue(freeHours);
    freeTimeText.setText(QString::number(static_cast<int64_t>(freeHours)));
    const double needTotal = needTotalSpace() / gibibyte;
    needTotalText.setValue(needTotal);
    needTotalText.setText(QString::number(needTotal, 'f', 2));
}

void ZuPrefer::compressRatioHandle(const ZuNotification& notification) {
    const float ratio = notification.object.toFloat();
    compressRatioText.setText(numberText(ratio));
    compressRatioStepper.setValue(double(ratio));
    resetControlState();
    checkKeepActionButton.setEnabled(true);
}

void ZuPrefer::actMaxRecordTime(ZuControl& sender) {
    const double seconds = recordSecondsOfItem(sender.selectedIndex());
    const auto need = static_cast<int64_t>(recordSpacePerSecond(seconds) * seconds);
    if (recordFreeSpace() * 0.5 < double(need)) {
        ZuAlerts::run({"TooBigError", "SelectSmaller", "Understand"});
        sender.setSelectedIndex(0);
    }
    resetControlState();
}

void ZuPrefer::actMaxTotalText(ZuControl& sender) {
    const auto need =
        static_cast<int64_t>(needRecordSpacePerSecond() * integerOf(sender) * daySeconds);
    if (recordFreeSpace() < double(need)) {
        ZuAlerts::run({"TooLongError", "SelectShorter", "Understand"});
        sender.setText(QStringLiteral("1"));
    }
    maxTotalStepper.setValue(integerOf(sender));
    resetControlState();
}

void ZuPrefer::actMaxTotalStepper(ZuControl& sender) {
    maxTotalText.setText(integerText(sender.value()));
    actMaxTotalText(maxTotalText);
}
