#pragma once

#include "audio/ZuRecordDeviceClient.h"
#include "platform/ZuControl.h"
#include "recording/ZuTimeMarker.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class AuDevice;
class ZuAudioFile;
class ZuControler;
class ZuDeviceReturn;
class ZuMechanic;
class ZuQueBuffer;
class ZuReserverElement;
class ZuTimer;

// The recording engine. The capture callback keeps the latest 80 seconds of
// input in the sound queue at all times; the condition machine, driven by the
// record switch, the record mode and the level meter's tick, starts and stops
// recordings; a write thread per recording moves the queue into the file,
// reduced to the recording rate and converted to 16-bit big-endian samples.
// Files are written under a temporary name, mirrored by a progress link, and
// moved to a name made of their start and stop times at the stop.
//
// Split by concern: ZuRecorder.cpp (settings, start-up, setters, accessors),
// ZuRecorderCapture.cpp (audio-thread callbacks, the queue),
// ZuRecorderWrite.cpp (write thread and conversion), ZuRecorderControl.cpp
// (actions, condition machine, start and stop, display, sleep and wake),
// ZuRecorderFiles.cpp (names, information block, progress link, relay, rescue),
// ZuRecorderReserve.cpp (the reservation mode).
class ZuRecorder : public ZuRecordDeviceClient {
public:
    static void initialize();

    ZuRecorder();
    ~ZuRecorder() override;
    ZuRecorder(const ZuRecorder&) = delete;
    ZuRecorder& operator=(const ZuRecorder&) = delete;

    void setControler(ZuControler* owner);

    // Start-up.
    void awakeFromNib();
    void saveUserDefaults();
    void initControlState();
    void reviveRecordCondition();
    void autoRecordStart();
    void autoReserveStart();
    void recordSourceChanged() override;
    void monitorSourceChanged() override;
    void renewDispSampleRate() override;
    // The record device stopped for good: unplugged, or its sound server
    // went away. With recording switched on the recorder waits for it.
    void audioDeviceDidDie(AuDevice* device) override;
    bool waitingForDevice() const;
    void mainTabSelected() {}
    void mainTabUnselected() {}

    // Actions.
    void actRecordButton(ZuControl& sender);
    void actMonitorButton(ZuControl& sender);
    void actLevelSlider(ZuControl& sender);
    void actHourButton(ZuControl& sender);
    void actReserveButton(ZuControl& sender);
    // The reservation mode's check, once a second while the switch is on.
    void recordTimerPeriodic();
    void startReserveRecordWithElement(const ZuReserverElement& entry);
    double recordPeriod() const { return recordPeriodValue; }
    // The waiting display's countdown: 4'05" or 45" followed by "Before".
    static QString countdownText(int32_t seconds);
    void restartRecording();
    void startRecording();
    void stopRecording();
    void emerRecordStop();
    void recordON();
    void recordOFF();

    // The condition machine and its displays.
    void setControlState();
    void controlAutoDelay();
    void autoDelayStart();
    void autoDelayStop();
    bool autoDelayState();
    void resetCondition();
    void dispCondition();
    void dispRecordMode();
    void resetRecordButtonImage();
    void resetMonitorButtonImage();
    void protectHowling();
    void countRecordTime();
    void showWriteIndicator(bool writing);
    // Whether a window shows the recorder's controls. Without one the display
    // tick gives way to a tick at each minute's second 0 for the minute work.
    void setDisplayed(bool value);
    bool displayed() const { return displayedValue; }
    // The level meter's tick is the clock of the level-triggered mode.
    bool needsLevelTick() const { return recordStateValue && !modeTimer && recordModeValue == 1; }
    void onTheMinuteTime();
    static QString timeText(double seconds);

    // System sleep and wake (the workspace notifications below).
    void willSleepHandle();
    void didWakeHandle();
    static inline const QString willSleepNotification =
        QStringLiteral("ZuWorkspaceWillSleepNotification");
    static inline const QString didWakeNotification =
        QStringLiteral("ZuWorkspaceDidWakeNotification");

    // Setters.
    void setRecordMode(int32_t value);
    void setAutoLevel(int32_t value) { autoLevelValue = value; }
    void setDelayTime(int32_t value) { delayTimeValue = value; }
    void setPreBufferSec(int32_t value) { preBufferSecValue = value; }
    void setHideSoundFile(bool value) { hideSoundFileValue = value; }
    void setAutoStartup(bool value) { autoStartupValue = value; }
    void setStartOnTheHour(bool value);
    void setSliderAlways(bool value);
    void setRateNumber(int32_t value);
    void setChannels(int32_t value);
    void setDispTotalTime(bool value);
    void setMarkerSound(const QString& value) { timeMarkerObject->setMarkerSound(value); }
    void setMarkerOption(int32_t value) { timeMarkerObject->setMarkerOption(value); }
    void setMarkerMonitor(bool value) { timeMarkerObject->setMarkerMonitor(value); }
    void initMarkerBuffer() { timeMarkerObject->initMarkerBuffer(); }
    ZuTimeMarker& timeMarker() const { return *timeMarkerObject; }

    // Accessors.
    bool recordState() const { return recordStateValue; }
    int32_t recordMode() const { return recordModeValue; }
    int32_t condition() const { return conditionValue.load(); }
    int32_t autoLevel() const { return autoLevelValue; }
    int32_t rateNumber() const { return rateNumberValue; }
    double sampleRate() const { return sampleRate(rateNumberValue); }
    double sampleRate(int32_t number) const;
    int32_t channels() const { return channelsValue; }
    static QString channels(int32_t count);
    // The format of the recording in progress, or of the last one, fixed at
    // its start (splits continue it): settings changed meanwhile apply from
    // the next recording on. Before the first recording, the settings.
    double recordingRate() const;
    int32_t recordingChannels() const;
    int32_t delayTime() const { return delayTimeValue; }
    bool startOnTheHour() const { return startOnTheHourValue; }
    bool sliderAlways() const { return sliderAlwaysValue; }
    bool hideSoundFile() const { return hideSoundFileValue; }
    int32_t preBufferSec() const { return preBufferSecValue; }
    bool dispTotalTime() const { return dispTotalTimeValue; }
    QDateTime recordStartDate() const { return recordStartDateValue; }
    QDateTime recordStopDate() const;
    double totalRecordTime() const { return totalRecordTimeValue; }
    QDateTime lastCrashDate() const { return lastCrashDateValue; }
    bool autoStartup() const { return autoStartupValue; }
    int32_t actionMethod() const;
    QString reserveName() const { return reserveNameText.text(); }
    double maxRecordTime() const;
    int32_t inputLevel() const;
    bool fileWriteing() const { return fileWriteingFlag.load(std::memory_order_acquire); }
    bool writeThread() const { return writeThreadFlag.load(std::memory_order_acquire); }
    // Ends the write thread at once and waits for it (at the end of the run).
    void endWriteThread();
    static QString headerString() { return QStringLiteral("_Nightwarden_"); }
    static QString fileExtension() { return QStringLiteral("aif"); }
    bool emergencyStopping() const { return emergency; }
    QString markerSound() const { return timeMarkerObject->markerSound(); }
    bool markerSwitch() const { return timeMarkerObject->markerSwitch(); }
    int32_t markerOption() const { return timeMarkerObject->markerOption(); }
    bool markerMonitor() const { return timeMarkerObject->markerMonitor(); }

    // The data path's figures (the log book prints them).
    double inputCount() const;
    double lastInput() const { return lastInputValue; }
    double writeCount() const { return writeCountValue.load(std::memory_order_relaxed); }
    double lastWrite() const { return lastWriteValue; }
    int64_t overflowCount() const { return overflowCountValue.load(std::memory_order_relaxed); }
    double secondCount() const { return secondCountValue; }
    int64_t writePos() const { return writePosValue; }
    int32_t overRecordBytes() const { return overRecordBytesValue; }
    double needPerSecond() const;
    // File bytes the last recording should hold: written plus lost.
    double dataSize() const;
    // The longest a file may run: the maximum record time, shortened so that
    // its sound (plus a minute's tick and the write batch) always fits the
    // 32-bit size fields of the AIFF header.
    double maxFileSeconds() const;

    // Capture (audio threads).
    AuStatus recordIOForDevice(AuDevice* device, const AuTimeStamp* now,
                               const AuBufferList* inputData, const AuTimeStamp* inputTime,
                               AuBufferList* outputData, const AuTimeStamp* outputTime,
                               void* clientData) override;
    AuStatus monitorIOForDevice(AuDevice* device, const AuTimeStamp* now,
                                const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                AuBufferList* outputData, const AuTimeStamp* outputTime,
                                void* clientData) override;
    // Appends interleaved stereo float samples to the queue as one IO cycle
    // does (after the device layer's conversion).
    void captureSamples(const float* samples, uint32_t byteSize);
    void initSoundQue();
    uint32_t preBufferSize() const;
    ZuQueBuffer* soundQue() const { return soundQueue.get(); }

    // Write.
    uint32_t writeSoundFile(uint32_t size);
    // Reduces interleaved stereo float frames in place to every ratio-th
    // frame, keeping 1 or 2 channels, as 16-bit big-endian samples (clamped
    // to full scale). Answers the bytes produced at the start of samples.
    static uint32_t convertToFileSamples(float* samples, uint32_t frames, uint32_t ratio,
                                         int32_t channels);

    // Files.
    QString whichHeaderString() const;
    void makeProgressSoundFile();
    void renewalProgressSoundFile();
    void deleteProgressSoundFile();
    // A stored progress name outside the record folder, or not a recording, is never touched.
    bool isProgressSoundFile(const QString& path) const;
    void addOverRecordData();
    void delOverRecordData();
    // A split whose new file could not be made: the surplus goes back into
    // the file it was cut from.
    void keepOverRecordData();
    bool writeInformationWithPath(const QString& path, const QDateTime& startDate,
                                  const QDateTime& stopDate, const QString& option);
    void rescueTempFile();
    // The path for a name in the record folder, with "+" before the extension
    // as often as a file of that name exists.
    QString uniquePathForName(const QString& name) const;
    static QString recordSourceLetter(const QString& sourceName);

    // Stands in for the level meter's level (tests, and a meter-less run).
    void setInputLevelSource(std::function<int32_t()> source) { levelSource = std::move(source); }

    ZuControl recordButton{"recordButton"};
    ZuControl monitorButton{"monitorButton"};
    ZuControl levelSlider{"levelSlider"};
    ZuControl modeText{"modeText"};
    ZuControl conditionText{"conditionText"};
    ZuControl channelsText{"channelsText"};
    ZuControl samplingText{"samplingText"};
    ZuControl recordTimeText{"recordTimeText"};
    ZuControl recordTimeInfoText{"recordTimeInfoText"};
    ZuControl reserveButton{"reserveButton"};
    ZuControl reserveNameText{"reserveNameText"};
    ZuControl timeInfoText{"timeInfoText"};
    ZuControl reserveTimeText{"reserveTimeText"};
    ZuControl hourButton{"hourButton"};
    ZuControl markerButton{"markerButton"};
    ZuControl writeIndicator{"writeIndicator"};

private:
    friend class ZuTimeMarker;
    void _startRecording();
    void _stopRecording();
    void _actHourButton();
    bool administratorRefuses() const;
    // The preferences' recording controls stay off while a recording or the reservation mode runs.
    void setPreferControlEnabled(bool value) const;
    // Puts the record role on the returned device's source and starts it.
    bool resumeRecordSource(int32_t source);
    void prepareSoundQue();
    void startWriteThread();
    void writeSoundFileThread();
    void finishWriting(double gapBytes);
    void noteInputTime(const AuDevice* device, const AuTimeStamp* inputTime,
                       const AuBufferList* inputData);
    void writeErrorSteps();
    void reportWriteError();
    void overRecord();
    void moveToFinalName();
    void scheduleDisplayTick();
    void countMinute();
    void checkTheMinute(const QDateTime& now);
    void answerWriteError();
    void answerVanishedFile();
    bool writeFileVanished() const;
    void switchReserveOn();
    void switchReserveOff(ZuControl& sender);
    void showNextElement();
    void useRecordSource(int32_t number);
    void dispWaitingCondition();
    bool writeInformation(const QString& path, const QDateTime& startDate,
                          const QDateTime& stopDate, const QString& option, double rate,
                          int32_t channels);

    ZuControler* controler = nullptr;
    ZuMechanic* mechanic = nullptr;

    bool recordStateValue = false;
    int32_t recordModeValue = 0;
    // Read by the capture callback for the overflow count.
    std::atomic<int32_t> conditionValue{0};
    int32_t autoLevelValue = 0;
    QDateTime recordStartDateValue;
    QDateTime recordStopDateValue;
    double totalRecordTimeValue = 0.0;
    bool dispTotalTimeValue = false;
    int32_t actionMethodValue = 0;
    bool emergency = false;
    int32_t blinkCounter = 0;
    QString recordingString;
    int32_t rateNumberValue = 1;
    int32_t channelsValue = 1;
    int32_t delayTimeValue = 5;
    QDateTime delayCount;
    std::unique_ptr<ZuTimer> dispTimer;
    bool displayedValue = false;
    std::unique_ptr<ZuTimer> writeErrorTimer;
    // A source change came while recording; the queue is sized at the stop.
    bool queNeedsSizing = false;
    bool onTheMinute = false;
    bool startOnTheHourValue = true;
    bool restarted = false;
    bool sliderAlwaysValue = false;
    bool hideSoundFileValue = false;
    bool firstRecord = false;
    QDateTime lastCrashDateValue;
    bool autoStartupValue = false;
    QDateTime sleepinDate;
    bool modeTimer = false;
    std::unique_ptr<ZuTimer> recordTimer;
    double recordPeriodValue = 0.0;
    QDateTime timerStartDate;
    std::unique_ptr<ZuTimeMarker> timeMarkerObject;
    std::function<int32_t()> levelSource;
    std::unique_ptr<ZuDeviceReturn> deviceReturn;

    // Data path.
    std::unique_ptr<ZuQueBuffer> soundQueue;
    std::atomic<bool> writeThreadError{false};
    // Why the last write failed; set before writeThreadError is raised, read
    // after it is taken down.
    QString writeErrorReason;
    std::atomic<bool> writeThreadFlag{false};
    std::atomic<bool> fileWriteingFlag{false};
    // Batches the write thread has put in the file; the display tick lights
    // the write indicator for each new one.
    std::atomic<uint32_t> writtenBatches{0};
    uint32_t shownBatches = 0;
    std::unique_ptr<ZuAudioFile> writeFileID;
    // The path the open file was made at, fixed while the write thread runs,
    // and whether the thread found the file or its folder removed.
    QByteArray writePath;
    std::atomic<bool> fileVanished{false};
    int64_t writePosValue = 0;
    int32_t preBufferSecValue = 3;
    // The recording's input: the queue's samples from this position on, plus
    // the surplus a split carried over from the previous file (queue bytes).
    uint64_t recordingFirst = 0;
    double relayInput = 0.0;
    // Where the input of the recording being stopped ends in the queue.
    uint64_t recordingEnd = 0;
    double lastInputValue = 0.0;
    // File bytes the last recording lacks: the sound the input skipped and
    // what came in but never reached the file.
    double lastLostValue = 0.0;
    // Device frames the input skipped while recording (overruns, a stream
    // restarted), found from the sample times of consecutive capture cycles.
    std::atomic<uint64_t> inputGapFrames{0};
    // The gap at the moment of a sleep: the sleep's own silence is no loss
    // of the file that ends there.
    uint64_t gapAtSleep = 0;
    // The capture callback's own: the sample time the next cycle starts at
    // (negative when unknown) and the device it comes from.
    std::atomic<double> nextSampleTime{-1.0};
    std::atomic<const AuDevice*> sampleTimeDevice{nullptr};
    std::atomic<double> writeCountValue{0.0};
    double lastWriteValue = 0.0;
    // Wide enough for a week of stall at any device rate.
    std::atomic<int64_t> overflowCountValue{0};
    double secondCountValue = 0.0;
    int32_t overRecordBytesValue = 0;
    double overRecordSeconds = 0.0;
    // The last recording moved to its final name, and its times.
    QString lastFilePath;
    QDateTime lastFileStart;
    QDateTime lastFileStop;
    // Queue geometry as the capture callback and the write thread see it.
    std::atomic<double> deviceRate{0.0};
    std::atomic<uint32_t> ratio{1};
    // Set only before the write thread starts, which reads them; channels 0
    // until the first recording.
    double recordingRateValue = 0.0;
    int32_t recordingChannelsValue = 0;
    std::vector<float> writeBuffer;
    std::thread writer;
    std::mutex napLock;
    std::condition_variable napWake;
    // Brings the write thread's failure to the main thread as a posted
    // event; one still queued when the recorder goes is dropped with it.
    class WriteErrorHandOff : public QObject {
    public:
        explicit WriteErrorHandOff(ZuRecorder* owner) : owner(owner) {}

    protected:
        void customEvent(QEvent*) override { owner->answerWriteError(); }

    private:
        ZuRecorder* owner;
    };
    WriteErrorHandOff writeErrorHandOff{this};
};
