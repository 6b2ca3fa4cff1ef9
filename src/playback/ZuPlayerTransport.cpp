// The player's transport: opening the selected recording, the feed that
// converts and queues its sound, the play device's callback, and the moves
// of the play position.
#include "playback/ZuPlayer.h"

#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"
#include "playback/ZuAnalyzer.h"
#include "playback/ZuPlayerCopy.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuQueBuffer.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <new>

namespace {
constexpr double secondsOfDay = 86400.0;

double reducedToDay(double seconds) {
    return seconds >= secondsOfDay ? seconds - secondsOfDay : seconds;
}

// Fills an output buffer with stereo frames spread over its channels (a mono
// output takes their mean) and silence after them; answers the floats taken.
uint32_t writeStereo(const float* stereo, size_t floats, AuChannelBuffer& buffer) {
    auto* data = static_cast<float*>(buffer.mData);
    const uint32_t total = buffer.mDataByteSize / 4;
    const uint32_t channels = std::max<uint32_t>(buffer.mNumberChannels, 1);
    const auto frames = uint32_t(std::min<size_t>(total / channels, floats / 2));
    std::fill(data, data + total, 0.0f);
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const float left = stereo[frame * 2];
        const float right = stereo[frame * 2 + 1];
        if (channels == 1) {
            data[frame] = (left + right) * 0.5f;
        } else {
            data[frame * channels] = left;
            data[frame * channels + 1] = right;
        }
    }
    return frames * 2;
}
} // namespace

// Positions and sizes.

int64_t ZuPlayer::adjustReadPosition(int64_t bytes, int32_t frameChannels) {
    const int64_t frame = frameChannels == 1 ? 2 : 4;
    return bytes / frame * frame;
}

int64_t ZuPlayer::fileBytesOfPlayed(uint64_t played, int32_t frameChannels, double rate,
                                    double playSampleRate) {
    if (playSampleRate <= 0.0)
        return 0;
    // A double holds every byte count of a sound file exactly.
    return int64_t(double(played) * frameChannels * rate / (playSampleRate * 4.0));
}

int64_t ZuPlayer::headPosition() const {
    return ZuSoundRange::of(dataBytes, channels, wave.selectedRange(),
                            int32_t(wave.bounds().width()))
        .head;
}

int64_t ZuPlayer::tailPosition() const {
    return ZuSoundRange::of(dataBytes, channels, wave.selectedRange(),
                            int32_t(wave.bounds().width()))
        .tail;
}

double ZuPlayer::rowStartSeconds() const {
    return ZuPlayList::secondsWithTimeString(
        playList.startTimeStringAtRow(dataView.selectedIndex()));
}

double ZuPlayer::rowSpendSeconds() const {
    return playList.spendTimeAtRow(dataView.selectedIndex());
}

double ZuPlayer::secondsAtPoint(double x) const {
    const int width = wave.bounds().width();
    return rowStartSeconds() + (width > 0 ? rowSpendSeconds() * x / width : 0.0);
}

AuDevice* ZuPlayer::playDevice() const {
    return controler && controler->devicer() ? controler->devicer()->playDevice() : nullptr;
}

double ZuPlayer::playSampleRate() const {
    return controler && controler->devicer() ? controler->devicer()->playSampleRate() : 0.0;
}

ZuPlayer::FeedSizes ZuPlayer::feedSizes() const {
    FeedSizes sizes;
    if (playRate <= 0.0 || sampleRate <= 0.0 || channels < 1)
        return sizes;
    const double ratio = sampleRate / playRate;
    const auto queueBytes = [&](double read) {
        return uint32_t(2.0 * read * (2 / channels) / ratio);
    };
    double read = std::trunc(sampleRate * channels * 4.0);
    const double step = 2.0 / channels / ratio;
    if (step < 1.0)
        read = std::floor(std::trunc(read / step) / 2.0) * 2.0;
    // Whole frames, so every read converts whole frames.
    const uint32_t frame = channels == 1 ? 2 : 4;
    sizes.readBytes = uint32_t(read) / frame * frame;
    sizes.queueBytes = queueBytes(sizes.readBytes);
    return sizes;
}

// Conversion.

uint32_t ZuPlayer::transformSoundData(const int16_t* samples, float* output, uint32_t size,
                                      double ratio, int32_t frameChannels) {
    if (ratio <= 0.0 || frameChannels < 1)
        return 0;
    const uint64_t count = uint64_t(2.0 * size * (2 / frameChannels) / ratio) / 4 / 2 * 2;
    const uint64_t sourceFrames = size / (2u * uint32_t(frameChannels));
    if (sourceFrames == 0)
        return 0;
    constexpr float scale = 1.0f / 32768.0f;
    double p = 0.0;
    uint64_t n = 0;
    // Each output frame takes one source frame whole, so left and right
    // stay apart at any ratio.
    while (n < count) {
        const uint64_t frame = std::min(uint64_t(p), sourceFrames - 1);
        if (frameChannels == 1) {
            const float value = float(qFromBigEndian(samples[frame])) * scale;
            output[n] = value;
            output[n + 1] = value;
        } else {
            output[n] = float(qFromBigEndian(samples[frame * uint32_t(frameChannels)])) * scale;
            output[n + 1] =
                float(qFromBigEndian(samples[frame * uint32_t(frameChannels) + 1])) * scale;
        }
        n += 2;
        p += ratio;
    }
    return uint32_t(n);
}

// Opening the selected recording.

void ZuPlayer::startPlayback(const QString& path) {
    closePlaybackFile();
    ZuMechanic* mechanic = controler ? controler->mechanic() : nullptr;
    if (!mechanic)
        return;
    playbackFile = mechanic->openAIFFFileWithPath(path);
    if (!playbackFile) {
        ZuAlerts::run({"FileOpenError", "CheckAndRetry", "Understand"});
        ZuLogEvent::error(QStringLiteral("ZuPlayer: file open error."));
        return;
    }
    const AuStreamBasicDescription format = mechanic->audioFormatInput();
    sampleRate = format.mSampleRate;
    channels = int32_t(format.mChannelsPerFrame);
    dataBytes = mechanic->numDatas();
    playRate = playSampleRate();
    const int32_t bufferFrames = controler->devicer() ? controler->devicer()->playBufferSize() : 0;
    fastBytes = playRate > 0.0 ? int32_t(2.0 * bufferFrames * channels * sampleRate / playRate) : 0;
    if (!allocateBuffers()) {
        closePlaybackFile();
        return;
    }
    resetReadPosition(headPosition());
    pointSlider.setRange(0.0, double(dataBytes));
    pointSlider.setValue(0.0);
    lastPoint = -1.0;
}

bool ZuPlayer::allocateBuffers() {
    const FeedSizes sizes = feedSizes();
    if (sizes.readBytes == 0)
        return false;
    // Paused, the device calls nothing more: the queue may be replaced.
    pauseDevice();
    const auto allocate = [](auto& buffer, size_t count, const char* message) {
        try {
            buffer.assign(count, 0);
            return true;
        } catch (const std::bad_alloc&) {
            ZuLogEvent::error(QString::fromLatin1(message));
            return false;
        }
    };
    const uint32_t floats = sizes.queueBytes / 4 + 2;
    const auto deviceFrames =
        size_t(controler->devicer() ? controler->devicer()->playBufferSize() : 0);
    if (!allocate(readFileBuffer, sizes.readBytes / 2,
                  "ZuPlayer: no enough memory for read buffer.") ||
        !allocate(transformBuffer, floats, "ZuPlayer: no enought memory for transform buffer.") ||
        !allocate(spreadBuffer, std::max<size_t>(deviceFrames, 4096) * 2,
                  "ZuPlayer: no enough memory for spread buffer."))
        return false;
    // Twice a feed's worth, so that a feed finds room while a second plays.
    const uint32_t length = std::max(uint32_t(32.0 * playRate), sizes.queueBytes * 2);
    if (!playbackQue)
        playbackQue = ZuQueBuffer::initQueWithLength(length);
    else if (!playbackQue->setQueLength(length))
        playbackQue.reset();
    if (!playbackQue) {
        ZuLogEvent::error(QStringLiteral("ZuPlayer: no enough memory for playbackQue."));
        return false;
    }
    callbackQue.store(playbackQue.get());
    callbackRatio.store(channels * sampleRate / (playRate * 4.0));
    return true;
}

void ZuPlayer::closePlaybackFile() {
    stopPlayback();
    playbackFile.reset();
}

// The feed.

void ZuPlayer::readSoundFileTimer() {
    if (stopReadFile || !playbackFile || !playbackQue || endOfSoundFile.load())
        return;
    const FeedSizes sizes = feedSizes();
    if (playbackQue->empty() < sizes.queueBytes)
        return;
    const double ratio = sampleRate / playRate;
    const int64_t head = headPosition();
    const int64_t tail = tailPosition();
    int64_t wanted = sizes.readBytes;
    bool readSinceLoop = true;
    while (wanted > 0) {
        if (fileReadPos >= tail) {
            // A loop that read nothing would spin: the range is empty.
            if (!endless || tail <= head || !readSinceLoop) {
                endOfSoundFile.store(true);
                break;
            }
            fileReadPos = head;
            loopsQueued.fetch_add(1);
            readSinceLoop = false;
            continue;
        }
        auto bytes = uint32_t(std::min<int64_t>(wanted, tail - fileReadPos));
        const ZuAudioFile::Status status =
            playbackFile->readBytes(fileReadPos, &bytes, readFileBuffer.data());
        bytes = uint32_t(adjustReadPosition(bytes, channels));
        fileReadPos += bytes;
        wanted -= bytes;
        if (bytes > 0)
            readSinceLoop = true;
        const uint32_t floats = transformSoundData(readFileBuffer.data(), transformBuffer.data(),
                                                   bytes, ratio, channels);
        playbackQue->writeFloat32Data(transformBuffer.data(), floats);
        if (status != ZuAudioFile::Status::NoError) {
            // The data end before the header says: that is where the tail is.
            if (endless && fileReadPos > head) {
                fileReadPos = tail;
                continue;
            }
            endOfSoundFile.store(true);
            break;
        }
    }
}

// The IO callback.

AuStatus ZuPlayer::playbackIOForDevice(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                                       const AuTimeStamp*, AuBufferList* outputData,
                                       const AuTimeStamp*, void*) {
    if (!outputData || outputData->mNumberBuffers == 0)
        return 0;
    AuChannelBuffer& buffer = outputData->mBuffers[0];
    if (shortSoundActive.load(std::memory_order_acquire)) {
        shortSoundPosition += writeStereo(shortSound.data() + shortSoundPosition,
                                          shortSound.size() - shortSoundPosition, buffer);
        return 0;
    }
    ZuQueBuffer* que = callbackQue.load(std::memory_order_acquire);
    if (!playing.load(std::memory_order_acquire) || !que)
        return 0;
    auto* data = static_cast<float*>(buffer.mData);
    const uint32_t floats = buffer.mDataByteSize / 4;
    const uint32_t outputChannels = std::max<uint32_t>(buffer.mNumberChannels, 1);
    uint32_t played = 0;
    if (outputChannels == 2) {
        played = que->readFloat32Data(data, floats);
        // Whatever the device left there is old sound: silence instead.
        std::fill(data + played / 4, data + floats, 0.0f);
    } else {
        const uint32_t frames =
            std::min<uint32_t>(floats / outputChannels, uint32_t(spreadBuffer.size() / 2));
        played = que->readFloat32Data(spreadBuffer.data(), frames * 2);
        writeStereo(spreadBuffer.data(), played / 4, buffer);
    }
    if (played > 0) {
        const uint64_t total = playedBytes.fetch_add(played, std::memory_order_relaxed) + played;
        const int64_t head = headCopy.load(std::memory_order_relaxed);
        const int64_t tail = tailCopy.load(std::memory_order_relaxed);
        int64_t base = playedBase.load(std::memory_order_relaxed);
        int64_t now = base + int64_t(double(total) * callbackRatio.load(std::memory_order_relaxed));
        // Past the tail the queue holds the head again, once per loop the feed made.
        while (now >= tail && tail > head &&
               loopsPlayed.load(std::memory_order_relaxed) <
                   loopsQueued.load(std::memory_order_acquire)) {
            base -= tail - head;
            now -= tail - head;
            loopsPlayed.fetch_add(1, std::memory_order_relaxed);
        }
        playedBase.store(base, std::memory_order_relaxed);
        position.store(std::min(now, tail), std::memory_order_release);
    }
    if (played / 4 < floats && endOfSoundFile.load(std::memory_order_acquire) && que->remain() == 0)
        playbackEnded.store(true, std::memory_order_release);
    return 0;
}

void ZuPlayer::willSetPlayIOTarget(AuDevice*) {
    // The old device is gone, and with it the callback that played a sound.
    endShortSound();
    playing.store(false);
    callbackQue.store(nullptr);
    // The new device may run at another rate: the buffers follow at the
    // next selection.
    playbackQue.reset();
    closePlaybackFile();
}

void ZuPlayer::playSourceChanged() {
    resetPlaySourceImage();
    // The buffers are sized for the play device's rate.
    if (!selectedFileName().isEmpty())
        startPlayback(selectedFilePath());
}

void ZuPlayer::resetPlaySourceImage() {
    const bool internal =
        controler && controler->devicer() && controler->devicer()->isPresentInternalPlay();
    playDeviceView.setImageName(internal ? QStringLiteral("MonitorSwitch.tif")
                                         : QStringLiteral("ExternalSpeaker.png"));
}

// Positions.

void ZuPlayer::resetReadPosition(int64_t newPosition) {
    // The callback reads the queue and the positions: it is held off while
    // they change.
    AuDevice* device = playDevice();
    const bool running = device && !device->isDevicePaused();
    if (running)
        device->setDevicePaused(true);
    stopReadFile = true;
    if (playbackQue)
        playbackQue->clearData();
    fileReadPos = newPosition;
    position.store(newPosition);
    playedBase.store(newPosition);
    playedBytes.store(0);
    loopsQueued.store(0);
    loopsPlayed.store(0);
    endOfSoundFile.store(false);
    playbackEnded.store(false);
    headCopy.store(headPosition());
    tailCopy.store(tailPosition());
    drawPositionLine();
    stopReadFile = false;
    if (running)
        device->setDevicePaused(false);
}

void ZuPlayer::resetPlaybackPoint(bool keepPaused) {
    const bool wasPlaying = playing.load();
    if (wasPlaying)
        pausePlayback(true);
    resetReadPosition(std::clamp(adjustReadPosition(int64_t(pointSlider.value()), channels),
                                 headPosition(), tailPosition()));
    dispRecordTime();
    if (wasPlaying && !keepPaused)
        pausePlayback(false);
}

// Starting and stopping.

void ZuPlayer::actPlayButton() {
    if (playButton.state() != 0 && (!playbackFile || !playbackQue || !playDevice())) {
        playButton.setState(0);
        return;
    }
    if (playButton.state() != 0) {
        if (shortSoundActive.load())
            pauseDevice();
        playButton.setImageName(QStringLiteral("StopButton.png"));
        const int64_t now = position.load();
        if (now >= tailPosition() || now < headPosition())
            resetReadPosition(headPosition());
        headCopy.store(headPosition());
        tailCopy.store(tailPosition());
        wave.setSelectEnabled(false);
        playing.store(true);
        pausePlayback(false);
        setPlaySourceChoiceEnabled(false);
        return;
    }
    playButton.setImageName(QStringLiteral("PlayButton.png"));
    wave.setSelectEnabled(true);
    setPlaySourceChoiceEnabled(true);
    const bool wasPlaying = playing.exchange(false);
    readTimerStop();
    // The sound server still holds the last buffers: the device pauses (and
    // its stream closes) once they have been heard.
    if (!wasPlaying)
        return;
    pauseTimer.start(2.0, false, [this] {
        if (!playing.load())
            pauseDevice();
    });
}

void ZuPlayer::pauseDevice() {
    pauseTimer.invalidate();
    if (AuDevice* device = playDevice())
        device->setDevicePaused(true);
    endShortSound();
}

void ZuPlayer::endShortSound() {
    shortSoundActive.store(false);
    shortSound = {};
}

bool ZuPlayer::playShortSound(std::vector<float> sound) {
    const double rate = playSampleRate();
    if (playing.load() || !playDevice() || rate <= 0.0 || sound.size() < 2)
        return false;
    // Paused, the device calls nothing more: the sound may be handed over.
    pauseDevice();
    shortSound = std::move(sound);
    shortSoundPosition = 0;
    shortSoundActive.store(true, std::memory_order_release);
    controler->devicer()->playDevicePause(false);
    // As after a recording, the device runs on until a sound server has
    // played the last buffers.
    pauseTimer.start(double(shortSound.size() / 2) / rate + 2.0, false, [this] {
        if (!playing.load())
            pauseDevice();
    });
    return true;
}

// The play device stays as it is while it plays.
void ZuPlayer::setPlaySourceChoiceEnabled(bool enabled) {
    if (ZuPrefer* prefer = controler ? controler->prefer() : nullptr)
        prefer->setPlaySourceEnabled(enabled);
}

void ZuPlayer::actPlayback() {
    playButton.setState(1);
    actPlayButton();
}

void ZuPlayer::stopPlayback() {
    playButton.setState(0);
    actPlayButton();
}

void ZuPlayer::pausePlayback(bool pause) {
    if (pause) {
        readTimerStop();
        pauseDevice();
        return;
    }
    if (position.load() >= tailPosition())
        resetReadPosition(headPosition());
    readTimerStart();
    pauseTimer.invalidate();
    if (controler && controler->devicer())
        controler->devicer()->playDevicePause(false);
}

void ZuPlayer::readTimerStart() {
    readSoundFileTimer();
    readTimer.start(1.0, true, [this] { readSoundFileTimer(); });
    dispTimer.start(0.2, true, [this] { dispPositionTimer(); });
}

void ZuPlayer::readTimerStop() {
    readTimer.invalidate();
    dispTimer.invalidate();
}

void ZuPlayer::playbackDidEnd() {
    position.store(tailPosition());
    pointSlider.setValue(double(tailPosition()));
    endOfSoundFile.store(false);
    stopPlayback();
    dispRecordTime();
    drawPositionLine();
}

// The display.

void ZuPlayer::dispPositionTimer() {
    if (playbackEnded.exchange(false)) {
        playbackDidEnd();
        return;
    }
    drawPositionLine();
    pointSlider.setValue(double(position.load()));
    dispRecordTime();
}

void ZuPlayer::drawPositionLine() {
    ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr;
    if (!analyzer || !playbackFile || !waveShown)
        return;
    const int32_t x = analyzer->pointAtPosition(position.load());
    if (x == analyzer->savePoint())
        return;
    analyzer->erasePositionLine();
    analyzer->drawPositionLine(x);
}

void ZuPlayer::dispRecordTime() {
    if (dataBytes <= 0)
        return;
    currentTimeText.setText(ZuPlayList::timeStringWithMiliSeconds(reducedToDay(
        rowStartSeconds() + rowSpendSeconds() * pointSlider.value() / double(dataBytes))));
}

// Moving the position.

void ZuPlayer::actHeadButton() {
    if (!playbackFile || int64_t(pointSlider.value()) == headPosition())
        return;
    headButton.setState(0);
    pointSlider.setValue(double(headPosition()));
    resetPlaybackPoint(false);
}

void ZuPlayer::actTailButton() {
    if (!playbackFile || int64_t(pointSlider.value()) == tailPosition())
        return;
    tailButton.setState(0);
    pointSlider.setValue(double(tailPosition()));
    resetPlaybackPoint(false);
}

void ZuPlayer::actBackButton() {
    if (!playbackFile)
        return;
    const int64_t step = int64_t(fastBytes) * stepFast() + fastBytes;
    pointSlider.setValue(double(std::max(int64_t(pointSlider.value()) - step, headPosition())));
    resetPlaybackPoint(false);
}

void ZuPlayer::actFastButton() {
    if (!playbackFile)
        return;
    const int64_t step = int64_t(fastBytes) * stepFast();
    pointSlider.setValue(double(std::min(int64_t(pointSlider.value()) + step, tailPosition())));
    resetPlaybackPoint(false);
}

void ZuPlayer::actPointSlider() {
    if (!playbackFile)
        return;
    const int64_t at = std::clamp(adjustReadPosition(int64_t(pointSlider.value()), channels),
                                  headPosition(), tailPosition());
    pointSlider.setValue(double(at));
    // Each step of a drag keeps playback paused; the last action, at the
    // same place, resumes it.
    resetPlaybackPoint(double(at) != lastPoint);
    lastPoint = double(at);
}

void ZuPlayer::actStepFastText() {
    const int32_t value = std::clamp(stepFastText.text().toInt(), 1, 1000);
    setStepFast(value);
    stepFastText.setText(QString::number(value));
    stepFastStepper.setValue(value);
    saveUserDefaults();
}

void ZuPlayer::actStepFastStepper() {
    stepFastText.setText(QString::number(int32_t(stepFastStepper.value())));
    actStepFastText();
}

void ZuPlayer::actEndlessPlayCheck() {
    setEndlessPlay(endlessPlayCheck.state() != 0);
}

// The tab.

void ZuPlayer::mainTabSelected() {
    if (controler && controler->recorder())
        controler->recorder()->renewalProgressSoundFile();
    renewListAndControl();
    clearSelectRangeText();
    openDrawer();
}

void ZuPlayer::mainTabUnselected() {
    stopPlayback();
    closeDrawer();
}

void ZuPlayer::openDrawer() {
    if (controlButton.state() == 0) {
        closeDrawer();
        return;
    }
    controlDrawer.setValue(workButton.state() != 0 ? 249.0 : 201.0);
    controlDrawer.setState(1);
}

void ZuPlayer::closeDrawer() {
    controlDrawer.setState(0);
}

void ZuPlayer::setPlayerButtonEnabled(bool enabled) {
    for (ZuControl* control :
         {&playButton, &headButton, &tailButton, &backButton, &fastButton, &pointSlider})
        control->setEnabled(enabled);
}

// Range texts.

void ZuPlayer::dispSelectedRangeText(ZuRange range) {
    const double head = secondsAtPoint(range.location);
    const double tail = secondsAtPoint(range.location + range.length);
    selectHeadText.setText(ZuPlayList::timeStringWithSeconds(reducedToDay(head)));
    selectTailText.setText(ZuPlayList::timeStringWithSeconds(reducedToDay(tail)));
    selectTimeText.setText(ZuPlayList::periodStringWithSeconds(tail - head));
}

void ZuPlayer::clearSelectRangeText() {
    const int row = dataView.selectedIndex();
    if (selectedFileName().isEmpty()) {
        for (ZuControl* text : {&selectHeadText, &selectTailText, &selectTimeText})
            text->setText(QString());
        return;
    }
    selectHeadText.setText(playList.startTimeStringAtRow(row));
    selectTailText.setText(playList.endTimeStringAtRow(row));
    selectTimeText.setText(ZuLocalized::text(QStringLiteral("RecordTime")));
}
