// The player's wave view: the picture of the selected recording, replaced by
// the finished picture when its builder reports.
#include "playback/ZuPlayer.h"

#include "platform/ZuImages.h"
#include "platform/ZuNotificationCenter.h"
#include "playback/ZuAnalyzer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuQueBuffer.h"
#include "shell/ZuControler.h"

ZuPlayer::~ZuPlayer() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

void ZuPlayer::observeWaveImages() {
    ZuNotificationCenter::defaultCenter().addObserver(
        ZuAnalyzer::createImageFileNotification, this,
        [this](const ZuNotification& notification) { imageFileNotificationHandler(notification); });
}

void ZuPlayer::observeSelectRange() {
    ZuNotificationCenter& center = ZuNotificationCenter::defaultCenter();
    const auto rangeOf = [](const ZuNotification& notification) {
        return ZuWaveView::rangeFromString(
            notification.userInfo.value(ZuWaveView::selectedRangeKey).toString());
    };
    center.addObserver(ZuWaveView::selectRangeStart, this,
                       [this, rangeOf](const ZuNotification& notification) {
                           if (ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr)
                               analyzer->erasePositionLine();
                           dispSelectedRangeText(rangeOf(notification));
                       });
    center.addObserver(ZuWaveView::selectRangeDrag, this,
                       [this, rangeOf](const ZuNotification& notification) {
                           dispSelectedRangeText(rangeOf(notification));
                       });
    // The picture under the line changed with the selection: the line is
    // drawn afresh over it.
    center.addObserver(ZuWaveView::selectRangeEnd, this,
                       [this, rangeOf](const ZuNotification& notification) {
                           redrawPositionLine();
                           dispSelectedRangeText(rangeOf(notification));
                       });
    center.addObserver(ZuWaveView::selectRangeRelease, this, [this](const ZuNotification&) {
        redrawPositionLine();
        clearSelectRangeText();
    });
}

void ZuPlayer::redrawPositionLine() {
    if (ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr)
        analyzer->initPositionLine();
    drawPositionLine();
}

void ZuPlayer::showWaveImage(const QString& path) {
    ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr;
    if (!analyzer)
        return;
    wave.clearSelectedRange();
    waveImagePath = path;
    analyzer->initPositionLine();
    waveShown = ZuAnalyzer::imageFileExistAtPath(path);
    if (waveShown) {
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
    waveShown = true;
    redrawPositionLine();
}
