#include "playback/ZuPlayer.h"

#include "platform/ZuLocalized.h"
#include "platform/ZuSettings.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuQueBuffer.h"
#include "shell/ZuControler.h"

#include <QFileInfo>

#include <mutex>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}
} // namespace

void ZuPlayer::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({
            {"AddDateName", false},
            {"AddNoteName", false},
            {"StepFast", 10.0},
            {"VerifyDelete", true},
            {"EndressPlayMode", true},
            {"ProgressSoundFileName", QString()},
        });
    });
}

ZuPlayer::ZuPlayer() {
    initialize();
    observeWaveImages();
    observeSelectRange();
    setWorkerButtonEnabled(false);
    setPlayerButtonEnabled(false);
    playButton.setImageName(QStringLiteral("PlayButton.png"));
    stepFastStepper.setRange(1.0, 1000.0);
    lockButton.setAction([this](ZuControl&) { actLock(); });
    deleteButton.setAction([this](ZuControl&) { actDelete(); });
    copyButton.setAction([this](ZuControl&) { actCopy(); });
    addDateCheck.setTitle(ZuLocalized::text(QStringLiteral("ExportAddDate")));
    addNoteCheck.setTitle(ZuLocalized::text(QStringLiteral("ExportAddNote")));
    playButton.setAction([this](ZuControl&) { actPlayButton(); });
    headButton.setAction([this](ZuControl&) { actHeadButton(); });
    tailButton.setAction([this](ZuControl&) { actTailButton(); });
    backButton.setAction([this](ZuControl&) { actBackButton(); });
    fastButton.setAction([this](ZuControl&) { actFastButton(); });
    pointSlider.setAction([this](ZuControl&) { actPointSlider(); });
    stepFastText.setAction([this](ZuControl&) { actStepFastText(); });
    stepFastStepper.setAction([this](ZuControl&) { actStepFastStepper(); });
    endlessPlayCheck.setAction([this](ZuControl&) { actEndlessPlayCheck(); });
    controlButton.setAction([this](ZuControl&) { openDrawer(); });
    workButton.setAction([this](ZuControl&) { openDrawer(); });
}

void ZuPlayer::awakeFromNib() {
    step = static_cast<int32_t>(store().floatForKey("StepFast"));
    verify = store().boolForKey("VerifyDelete");
    endless = store().boolForKey("EndressPlayMode");
    endlessPlayCheck.setState(endless ? 1 : 0);
    stepFastText.setText(QString::number(step));
    stepFastStepper.setValue(step);
    resetPlaySourceImage();
    controlButton.setState(store().boolForKey("ControlerButtonState") ? 1 : 0);
    workButton.setState(store().boolForKey("WorkButtonState") ? 1 : 0);
    addDateCheck.setState(store().boolForKey("AddDateName") ? 1 : 0);
    addNoteCheck.setState(store().boolForKey("AddNoteName") ? 1 : 0);
}

void ZuPlayer::saveUserDefaults() {
    store().setFloat(static_cast<float>(step), "StepFast");
    store().setBool(verify, "VerifyDelete");
    store().setBool(endless, "EndressPlayMode");
    store().setBool(controlButton.state() != 0, "ControlerButtonState");
    store().setBool(workButton.state() != 0, "WorkButtonState");
    store().synchronize();
}

void ZuPlayer::initDataSource() {
    if (!controler || !controler->mechanic())
        return;
    // The mechanic reads the list too while recording: the selection stays
    // with its recording however the rows move.
    const QString selected = selectedFileName();
    dataView.setSelectedIndex(-1);
    playList.initWithDirPath(controler->mechanic()->recordFolder(),
                             QFileInfo(store().stringForKey("ProgressSoundFileName")).fileName());
    dataView.setSelectedIndex(selected.isEmpty() ? -1
                                                 : int(playList.fileNames().indexOf(selected)));
}
