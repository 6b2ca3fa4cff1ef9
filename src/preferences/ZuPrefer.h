#pragma once

#include "platform/ZuControl.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class ZuControler;
struct ZuNotification;

// The preferences drawer. It edits the settings of the other components on
// copies taken when it opens: OK hands every changed value to its owner's
// setter, cancel drops the edits. It also shows what the chosen recording
// and keeping settings cost on disk.
class ZuPrefer {
public:
    static void initialize();

    ZuPrefer();
    ~ZuPrefer();
    ZuPrefer(const ZuPrefer&) = delete;
    ZuPrefer& operator=(const ZuPrefer&) = delete;
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();
    // The user selected a tab of the drawer.
    void tabViewDidSelectTabViewItem(int index);

    // Opening, closing and applying.
    void actExecPrefer(ZuControl& sender);
    void execPrefer();
    void exitPrefer();
    void actChangePrefer(ZuControl& sender);
    void actCanceledPrefer(ZuControl& sender);
    void resetControlState();
    bool isOpen() const { return preferDrawer.state() != 0; }

    // Control actions.
    void actUsual(ZuControl& sender);
    void actOpacitySlider(ZuControl& sender);
    // Plays the chosen marker sound on the play device, unless a recording
    // plays there.
    void actMarkerSound(ZuControl& sender);
    void actAutoStartupCheck(ZuControl& sender);
    void autoStartupEnabled();
    void actDirPath(ZuControl& sender);
    void actKeepFolderButton(ZuControl& sender);
    void actCheckKeepAction(ZuControl& sender);
    bool testFileExists() const;
    void actMaxRecordTime(ZuControl& sender);
    void actMaxTotalText(ZuControl& sender);
    void actMaxTotalStepper(ZuControl& sender);

    // The three recording rates of a record source, "%d Hz", with one selected.
    void renewSampleRatePopup(ZuControl& popup, int32_t source, int32_t select) const;
    int32_t sampleRateWithSource(int32_t source, int32_t rateNumber) const;

    // Other components switch groups of controls while they work.
    void setControlEnabled(bool value);
    void setPlaySourceEnabled(bool value);
    void setMarkerControlEnabled(bool value);

    // Disk planning, from the controls' current values.
    double needPerSecond() const;
    double needRecordSpacePerSecond() const;
    double needRecordSpace() const;
    double needTotalSpace() const;
    double reserveSpace() const;
    double maxKeepTimeWithReserveSpace(double reserve, double perSecond, float ratio) const;
    void dispDiskInfo();
    void compressRatioHandle(const ZuNotification& notification);

    // The names of the marker sounds, in the order the folder lists them.
    static QStringList markerSoundNames();

    ZuControl prefTabView{"prefTabView"};
    // State 1 while the drawer is open.
    ZuControl preferDrawer{"preferDrawer"};
    ZuControl preferButton{"preferButton"};
    ZuControl okButton{"okButton"};
    ZuControl cancelButton{"cancelButton"};
    ZuControl freeSpaceText{"freeSpaceText"};
    ZuControl freeTimeText{"freeTimeText"};
    ZuControl needTotalText{"needTotalText"};
    ZuControl maxKeepPeriodText{"maxKeepPeriodText"};
    ZuControl checkKeepActionButton{"checkKeepActionButton"};
    ZuControl markerPlayButton{"markerPlayButton"};

    ZuControl samplePopup{"samplePopup"};
    ZuControl channelsPopup{"channelsPopup"};
    ZuControl recordSourcePopup{"recordSourcePopup"};
    ZuControl playSourcePopup{"playSourcePopup"};
    ZuControl monitorSourcePopup{"monitorSourcePopup"};
    ZuControl modePopup{"modePopup"};
    ZuControl sliderAlwaysCheck{"sliderAlwaysCheck"};
    ZuControl delayTimeText{"delayTimeText"};
    ZuControl delayTimeStepper{"delayTimeStepper"};
    ZuControl preBufferSecText{"preBufferSecText"};
    ZuControl preBufferSecStepper{"preBufferSecStepper"};
    ZuControl dispTotalTimeCheck{"dispTotalTimeCheck"};
    ZuControl autoStartupCheck{"autoStartupCheck"};
    ZuControl markerSoundPopup{"markerSoundPopup"};
    ZuControl markerMonitorCheck{"markerMonitorCheck"};
    ZuControl markerOptionPopup{"markerOptionPopup"};
    ZuControl hideSoundFileCheck{"hideSoundFileCheck"};
    ZuControl maxRecordPopup{"maxRecordPopup"};
    ZuControl maxTotalText{"maxTotalText"};
    ZuControl maxTotalStepper{"maxTotalStepper"};
    ZuControl recordFolderText{"recordFolderText"};
    ZuControl recordFolderButton{"recordFolderButton"};
    ZuControl peekHoldTimeText{"peekHoldTimeText"};
    ZuControl peekHoldTimeStepper{"peekHoldTimeStepper"};
    ZuControl verifyCheck{"verifyCheck"};
    // Its value is the opacity in percent.
    ZuControl opacitySlider{"opacitySlider"};
    ZuControl autoReserveCheck{"autoReserveCheck"};
    ZuControl verifyDeleteReserveCheck{"verifyDeleteReserveCheck"};
    ZuControl defReserveValidCheck{"defReserveValidCheck"};
    ZuControl defReserveNameText{"defReserveNameText"};
    ZuControl defReserveMonthPopup{"defReserveMonthPopup"};
    ZuControl defReserveDayPopup{"defReserveDayPopup"};
    ZuControl defReserveWeekPopup{"defReserveWeekPopup"};
    ZuControl defReserveRatePopup{"defReserveRatePopup"};
    ZuControl defReserveChannelsPopup{"defReserveChannelsPopup"};
    ZuControl defReserveDevicePopup{"defReserveDevicePopup"};
    ZuControl defReserveModePopup{"defReserveModePopup"};
    ZuControl writeLogCheck{"writeLogCheck"};
    ZuControl useHighQualityCheck{"useHighQualityCheck"};
    ZuControl keepOperationCheck{"keepOperationCheck"};
    ZuControl keepFolderText{"keepFolderText"};
    ZuControl keepFolderButton{"keepFolderButton"};
    ZuControl keepPeriodText{"keepPeriodText"};
    ZuControl keepPeriodStepper{"keepPeriodStepper"};
    ZuControl commandPathText{"commandPathText"};
    ZuControl argumentStrText{"argumentStrText"};
    ZuControl compressRatioText{"compressRatioText"};
    ZuControl compressRatioStepper{"compressRatioStepper"};
    ZuControl monitorCommandCheck{"monitorCommandCheck"};
    ZuControl adviceOperationCheck{"adviceOperationCheck"};
    ZuControl adviceDataSizeText{"adviceDataSizeText"};

private:
    void playMarkerSound();

    // The working copies: the owners' values when the drawer opened, and
    // each applied value from then on.
    struct Copies {
        int32_t rateNumber = 0;
        int32_t channels = 1;
        int32_t recordSource = 0;
        int32_t playSource = 0;
        int32_t monitorSource = 0;
        int32_t recordMode = 0;
        bool sliderAlways = false;
        int32_t delayTime = 0;
        int32_t preBufferSec = 0;
        bool dispTotalTime = false;
        bool autoStartup = false;
        QString markerSound;
        bool markerMonitor = false;
        int32_t markerOption = 0;
        bool hideSoundFile = false;
        double maxRecordTime = 0.0;
        double maxTotalTime = 0.0;
        QString recordFolder;
        double peekHoldTime = 0.0;
        bool verifyDelete = false;
        float opacity = 1.0f;
        bool reserveAutoStartup = false;
        bool verifyDeleteReserve = false;
        bool defReserveValid = false;
        QString defReserveName;
        int32_t defReserveMonth = 0;
        int32_t defReserveDay = 0;
        int32_t defReserveWeek = 0;
        int32_t defReserveRate = 0;
        int32_t defReserveChannels = 1;
        int32_t defReserveDevice = 0;
        int32_t defReserveMode = 0;
        bool writeLog = false;
        bool useHighQuality = false;
        bool keepOperation = false;
        QString keepFolder;
        int32_t keepPeriod = 0;
        QString commandPath;
        QString argumentStr;
        float compressRatio = 0.0f;
        bool monitorCommand = false;
        bool adviceOperation = false;
        double adviceDataSize = 0.0;
    };
    // One setting: whether its control differs from its copy, and how the
    // owner takes the control's value (the copy follows).
    struct Row {
        std::function<bool()> differs;
        std::function<void()> apply;
        QString event;
    };

    void buildRows();
    void readCopies();
    void fillControls();
    bool anyRowDiffers() const;
    void pair(ZuControl& text, ZuControl& stepper, int decimals);
    void chooseFolder(ZuControl& field, const QString& titleKey, const QString& start);
    // T of the disk figures for an item of the maximum-length pop-up.
    static double recordSecondsOfItem(int item);
    double recordSpacePerSecond(double seconds) const;
    double recordFreeSpace() const;

    ZuControler* controler = nullptr;
    Copies copy;
    QList<Row> rows;
    // Learned ratios arrive from the keeper's thread; they are shown on the
    // main thread only while this object lives (while this pointer does).
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
