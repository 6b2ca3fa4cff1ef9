#pragma once

#include "audio/ZuPlayDeviceClient.h"
#include "platform/ZuControl.h"
#include "platform/ZuTimer.h"
#include "playback/ZuPlayList.h"
#include "playback/ZuWaveView.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class ZuAudioFile;
class ZuControler;
class ZuQueBuffer;
struct ZuNotification;

// The player tab: transport, the recordings table and the file operations.
//
// Playback: a one-second feed timer reads two seconds of the selected
// recording, converts them to float stereo at the play device's rate and
// queues them; the play device's callback copies from the queue and moves the
// play position. The feed reads only between the head and the tail of the
// selection, and with endless play starts again at the head itself, so the
// loop reaches the device without a gap. Everything that replaces what the
// callback reads (the queue, the positions) happens with the device paused.
class ZuPlayer : public ZuPlayDeviceClient {
public:
    static void initialize();

    ZuPlayer();
    ~ZuPlayer() override;
    ZuPlayer(const ZuPlayer&) = delete;
    ZuPlayer& operator=(const ZuPlayer&) = delete;
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();
    void mainTabSelected();
    void mainTabUnselected();

    // The list of recordings the player's table shows.
    ZuPlayList* dataSource() { return &playList; }
    // Reads the list afresh from the record folder; the selected recording
    // stays selected (by name) while it is listed.
    void initDataSource();
    // Reads the list afresh and brings the totals and buttons up to date.
    void renewListAndControl();

    // The table's selection moved (to dataView's selected index): the buttons,
    // the lock button's title and the picture follow it.
    void changeSelectRow();
    QString selectedFileName() const;
    QString selectedFilePath() const;

    // File operations on the selected recording. actNote answers whether its
    // note may be edited now (a locked one is refused with an alert); the
    // edited text comes back through editNoteEnd.
    void actLock();
    bool actNote();
    void editNoteEnd(int row, const QString& note);
    void actDelete();
    // Copies the selected recording, or the range selected in the wave view,
    // to a path chosen in the save panel.
    void actCopy();
    // Writes a note into a sound file's note area, cut to 127 bytes at a
    // character boundary and ended by a zero byte; false when the file is
    // missing or shorter than its header.
    static bool writeNoteWithPath(const QString& path, const QString& note);
    static QByteArray noteBytes(const QString& note);

    // The lock, note and delete buttons off, copy alone offered (the
    // recording in progress).
    void onlyCopyButtonSetEnable();

    // Names (without folder) the log book prints after a delete.
    QString deleteFile() const { return deletedFile; }
    QString deleteImage() const { return deletedImage; }
    // Names (without folder) the log book prints after a copy.
    QString originalFile() const { return copiedFrom; }
    QString destinationFile() const { return copiedTo; }

    // The wave view under the table. showWaveImage shows the picture of a
    // recording, or the progress image while its picture is built.
    ZuWaveView* waveView() { return &wave; }
    void showWaveImage(const QString& path);
    void imageFileNotificationHandler(const ZuNotification& notification);

    // The play device.
    AuStatus playbackIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                 const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                 AuBufferList* outputData, const AuTimeStamp* outputTime,
                                 void* clientData) override;
    void willSetPlayIOTarget(AuDevice* device) override;
    void playSourceChanged() override;
    void resetPlaySourceImage();
    // Plays a short sound once on the play device: float stereo at the play
    // device's rate. A sound still playing gives way to it; while a recording
    // plays it is refused (false), and a recording started meanwhile ends it.
    bool playShortSound(std::vector<float> sound);
    bool shortSoundPlaying() const { return shortSoundActive.load(); }

    // Transport actions, as the controls run them.
    void actPlayButton();
    void actPlayback();
    void actHeadButton();
    void actTailButton();
    void actBackButton();
    void actFastButton();
    void actPointSlider();
    void actStepFastText();
    void actStepFastStepper();
    void actEndlessPlayCheck();
    void stopPlayback();
    bool playbacking() const { return playing.load(); }
    // The feed and the display, as their timers run them.
    void readSoundFileTimer();
    void dispPositionTimer();

    // Positions are byte offsets into the sound data, whole frames.
    int64_t readPos() const { return position.load(); }
    int64_t numDatas() const { return dataBytes; }
    int64_t headPosition() const;
    int64_t tailPosition() const;
    int64_t selectedLength() const { return tailPosition() - headPosition(); }
    int32_t fastSize() const { return fastBytes; }
    static int64_t adjustReadPosition(int64_t position, int32_t channels);
    // The file bytes that g bytes of float stereo at the play rate stand for.
    static int64_t fileBytesOfPlayed(uint64_t played, int32_t channels, double sampleRate,
                                     double playSampleRate);
    // 16-bit big-endian samples (size bytes) to float stereo at ratio r =
    // file rate / play rate, each output frame taking the nearest earlier
    // source frame; answers the floats written.
    static uint32_t transformSoundData(const int16_t* samples, float* output, uint32_t size,
                                       double ratio, int32_t channels);
    // Clock time (seconds of the day, not reduced) of a wave view column.
    double secondsAtPoint(double x) const;
    void clearSelectRangeText();

    int32_t stepFast() const { return step; }
    void setStepFast(int32_t value) { step = value; }
    bool verifyDelete() const { return verify; }
    void setVerifyDelete(bool value) { verify = value; }
    bool endlessPlay() const { return endless; }
    void setEndlessPlay(bool value) { endless = value; }

    ZuControl dataView{"dataView"};
    ZuControl playButton{"playButton"};
    ZuControl lockButton{"lockButton"};
    ZuControl noteButton{"noteButton"};
    ZuControl deleteButton{"deleteButton"};
    ZuControl copyButton{"copyButton"};
    ZuControl totalFilesText{"totalFilesText"};
    ZuControl totalTimeText{"totalTimeText"};
    ZuControl totalSizeText{"totalSizeText"};
    ZuControl controlButton{"controlButton"};
    ZuControl workButton{"workButton"};
    ZuControl addDateCheck{"addDateCheck"};
    ZuControl addNoteCheck{"addNoteCheck"};
    ZuControl endlessPlayCheck{"endlessPlayCheck"};
    ZuControl headButton{"headButton"};
    ZuControl tailButton{"tailButton"};
    ZuControl backButton{"backButton"};
    ZuControl fastButton{"fastButton"};
    ZuControl pointSlider{"pointSlider"};
    ZuControl headTimeText{"headTimeText"};
    ZuControl tailTimeText{"tailTimeText"};
    ZuControl currentTimeText{"currentTimeText"};
    ZuControl quarterTimeText{"quarterTimeText"};
    ZuControl halfTimeText{"halfTimeText"};
    ZuControl threeQuarterTimeText{"threeQuarterTimeText"};
    ZuControl stepFastText{"stepFastText"};
    ZuControl stepFastStepper{"stepFastStepper"};
    ZuControl playDeviceView{"playDeviceView"};
    ZuControl selectHeadText{"selectHeadText"};
    ZuControl selectTailText{"selectTailText"};
    ZuControl selectTimeText{"selectTimeText"};
    // The panel under the table: state 1 when open, value its height.
    ZuControl controlDrawer{"controlDrawer"};

private:
    void setPlaySourceChoiceEnabled(bool enabled);
    void observeWaveImages();
    void observeSelectRange();
    void setWorkerButtonEnabled(bool enabled);
    void setPlayerButtonEnabled(bool enabled);
    void openDrawer();
    void closeDrawer();
    void startPlayback(const QString& path);
    void showRowTimes();
    void closePlaybackFile();
    bool allocateBuffers();
    void resetReadPosition(int64_t newPosition);
    void resetPlaybackPoint(bool keepPaused);
    void pausePlayback(bool pause);
    void readTimerStart();
    void readTimerStop();
    // Pauses the play device; a short sound it played is let go.
    void pauseDevice();
    void endShortSound();
    void drawPositionLine();
    // Draws the line again on a picture that no longer holds it.
    void redrawPositionLine();
    void dispRecordTime();
    void dispSelectedRangeText(ZuRange range);
    void playbackDidEnd();
    double rowStartSeconds() const;
    double rowSpendSeconds() const;
    AuDevice* playDevice() const;
    double playSampleRate() const;
    // Bytes read per feed and the float bytes they make.
    struct FeedSizes {
        uint32_t readBytes = 0;
        uint32_t queueBytes = 0;
    };
    FeedSizes feedSizes() const;
    ZuControler* controler = nullptr;
    ZuPlayList playList;
    ZuWaveView wave;
    QString waveImagePath;
    // The picture of waveImagePath is shown (not the progress image).
    bool waveShown = false;
    QString deletedFile;
    QString deletedImage;
    QString copiedFrom;
    QString copiedTo;
    int32_t step = 10;
    bool verify = true;
    bool endless = true;

    std::unique_ptr<ZuAudioFile> playbackFile;
    double sampleRate = 0.0;
    int32_t channels = 0;
    int64_t dataBytes = 0;
    int32_t fastBytes = 0;
    double lastPoint = -1.0;
    double playRate = 0.0;
    std::vector<int16_t> readFileBuffer;
    std::vector<float> transformBuffer;
    std::unique_ptr<ZuQueBuffer> playbackQue;
    // Frames for a play device of other than two channels.
    std::vector<float> spreadBuffer;
    int64_t fileReadPos = 0;
    bool stopReadFile = false;
    ZuTimer readTimer;
    ZuTimer dispTimer;
    ZuTimer pauseTimer;

    // Shared with the callback.
    std::atomic<bool> playing{false};
    std::atomic<bool> endOfSoundFile{false};
    std::atomic<bool> playbackEnded{false};
    std::atomic<int64_t> position{0};
    std::atomic<int64_t> headCopy{0};
    std::atomic<int64_t> tailCopy{0};
    // Where the callback counts from, the stereo float bytes it has played
    // since, and the loops the feed has queued and the callback has passed.
    std::atomic<int64_t> playedBase{0};
    std::atomic<uint64_t> playedBytes{0};
    std::atomic<uint32_t> loopsQueued{0};
    std::atomic<uint32_t> loopsPlayed{0};
    std::atomic<ZuQueBuffer*> callbackQue{nullptr};
    // A short sound, handed to the callback while the device is paused; the
    // position is the callback's until the device pauses again.
    std::vector<float> shortSound;
    size_t shortSoundPosition = 0;
    std::atomic<bool> shortSoundActive{false};
    // File bytes per played float byte.
    std::atomic<double> callbackRatio{0.0};
};
