// The player's wave view: the picture of the selected recording, replaced by
// the finished picture when its builder reports.
#include "playback/ZuPlayer.h"

#include "platform/ZuImages.h"
#include "platform/ZuNotificationCenter.h"
#include "playback/ZuAnalyzer.h"
#include "shell/ZuControler.h"

ZuPlayer::~ZuPlayer() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

void ZuPlayer::observeWaveImages() {
    ZuNotificationCenter::defaultCenter().addObserver(
        ZuAnalyzer::createImageFileNotification, this,
        [this](const ZuNotification& notification) { imageFileNotificationHandler(notification); });
}

void ZuPlayer::showWaveImage(const QString& path) {
    ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr;
    if (!analyzer)
        return;
    wave.clearSelectedRange();
    waveImagePath = path;
    analyzer->initPositionLine();
    if (ZuAnalyzer::imageFileExistAtPath(path)) {
        wave.setImage(analyzer->imageWithSoundFile(path));
        return;
    }
    wave.setImage(ZuImages::image(QStringLiteral("ProgressImage.tif")));
    analyzer->createImageFileWithSoundFile(path);
}

void ZuPlayer::imageFileNotificationHandler(const ZuNotification& notification) {
    ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr;
    const QString path = notification.userInfo.value(ZuAnalyzer::imageFilePathKey).toString();
    if (!analyzer || waveImagePath.isEmpty() || path != waveImagePath)
        return;
    wave.setImage(analyzer->imageWithSoundFile(path));
    analyzer->initPositionLine();
}
