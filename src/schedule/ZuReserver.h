#pragma once

#include "platform/ZuControl.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class ZuControler;
class ZuReserveList;
class ZuReserverElement;

// The reservation scheduler and editor. It answers the recorder which entry
// is due and which comes next, and edits the list through its controls.
//
// Times of day are local. A window is a stretch of real time: it begins at
// its start on a date the entry names and ends at its stop, on the next day
// when the stop is not after the start. A time of day that the clocks skip
// is taken with the offset before the change (02:30 on the spring night is
// 03:30 summer time); one that happens twice is its first occurrence. So a
// window is never skipped, never opened twice, and its length never goes
// negative or past a day and an hour.
class ZuReserver {
public:
    static void initialize();

    ZuReserver();
    void setControler(ZuControler* owner);

    void awakeFromNib();
    void saveUserDefaults();
    void mainTabSelected();
    void mainTabUnselected();
    void renewListAndControl();
    void initDataSource();
    void initControlState();

    // Queries.
    int32_t count() const;
    ZuReserverElement* elementAtIndex(int32_t index) const;
    int32_t validReserves() const;
    // The first enabled entry whose window contains now (both ends
    // inclusive) on a date it names; with timeLeft only a window that does
    // not end at this second.
    ZuReserverElement* withinElement(bool timeLeft = false) const;
    // The first enabled entry whose window opens in this minute, on a date it
    // names, at or before now.
    ZuReserverElement* startElement() const;
    ZuReserverElement* nextElement() const;
    int32_t nextStartTime() const;
    // The entry whose window opens next within a day, and the seconds until
    // then (86400 and none when nothing opens within a day).
    void nextElement(ZuReserverElement** element, int32_t* seconds) const;
    // Seconds from now to the end of the entry's window that contains now
    // (whole seconds of now), within 0 ... 86400.
    int32_t recordPeriodOf(const ZuReserverElement& entry) const;

    // Editor actions.
    void actReserveButton(ZuControl& sender);
    void actDataView(ZuControl& sender);
    void actUsual(ZuControl& sender);
    void actTimerDevicePopup(ZuControl& sender);
    void actInsertTimer(ZuControl& sender);
    void actCopyTimer(ZuControl& sender);
    void actDeleteTimer(ZuControl& sender);
    // A double click in a column of the selected row: 0 toggles the enabled
    // check; 1 asks the table to edit the name in place.
    void doubleAction(int column);
    // The in-place edit of the name ended with this text.
    void editNameEnd(const QString& text);

    bool verifyDeleteReserve() const { return verifyDelete; }
    void setVerifyDeleteReserve(bool value) { verifyDelete = value; }
    bool reserveAutoStartup() const { return autoStartup; }
    void setReserveAutoStartup(bool value) { autoStartup = value; }

    // Defaults of new entries: read from and written to the store on every call.
    bool defReserveValid() const;
    void setDefReserveValid(bool value);
    QString defReserveName() const;
    void setDefReserveName(const QString& value);
    int32_t defReserveMonth() const;
    void setDefReserveMonth(int32_t value);
    int32_t defReserveDay() const;
    void setDefReserveDay(int32_t value);
    int32_t defReserveWeek() const;
    void setDefReserveWeek(int32_t value);
    int32_t defReserveRate() const;
    void setDefReserveRate(int32_t value);
    int32_t defReserveChannels() const;
    void setDefReserveChannels(int32_t value);
    int32_t defReserveMode() const;
    void setDefReserveMode(int32_t value);
    int32_t defReserveDevice() const;
    int32_t defReserveDeviceField() const { return defReserveDeviceValue; }
    void setDefReserveDevice(int32_t value) { defReserveDeviceValue = value; }
    void changeDefReserveDevice(int32_t value);

    ZuReserveList* dataSource() const;

    ZuControl drawerButton{"drawerButton"};
    // The drawer: its state is 1 while it is open.
    ZuControl reserveDrawer{"reserveDrawer"};
    // The table: its selected index is the selected row (-1 for none); its
    // value counts the reloads the table is asked for.
    ZuControl dataView{"dataView"};
    ZuControl timerNameText{"timerNameText"};
    ZuControl timerEnabledCheck{"timerEnabledCheck"};
    ZuControl timerStartHourPopup{"timerStartHourPopup"};
    ZuControl timerStartMinutePopup{"timerStartMinutePopup"};
    ZuControl timerStopHourPopup{"timerStopHourPopup"};
    ZuControl timerStopMinutePopup{"timerStopMinutePopup"};
    ZuControl timerSamplePopup{"timerSamplePopup"};
    ZuControl timerChannelsPopup{"timerChannelsPopup"};
    ZuControl timerDevicePopup{"timerDevicePopup"};
    ZuControl timerModePopup{"timerModePopup"};
    ZuControl timerDeleteButton{"timerDeleteButton"};
    ZuControl timerAddButton{"timerAddButton"};
    ZuControl timerCopyButton{"timerCopyButton"};
    ZuControl timerMonthPopup{"timerMonthPopup"};
    ZuControl timerDayPopup{"timerDayPopup"};
    ZuControl timerWeekPopup{"timerWeekPopup"};

private:
    // Start and end (seconds since the epoch) of the entry's window that
    // begins on that date.
    struct Window {
        int64_t start;
        int64_t stop;
    };
    static Window windowOf(const ZuReserverElement& entry, const QDate& date);
    static bool namesDate(const ZuReserverElement& entry, const QDate& date);
    // The window of the entry that contains that second, on a date it names.
    static bool windowContaining(const ZuReserverElement& entry, int64_t second, Window* found);
    std::array<ZuControl*, 16> editorControls();
    void setEditorEnabled(bool value);
    void setEnabledTimerButtons();
    void setSourcePopup(int32_t select);
    void setSamplePopup(int32_t select);
    void resetTimerElementValue();
    void insertTimer(std::unique_ptr<ZuReserverElement> entry);
    void openDrawer();
    void closeDrawer();
    int selectedRow() const;
    void reloadTable();

    ZuControler* controler = nullptr;
    bool verifyDelete = true;
    int32_t defReserveDeviceValue = 0;
    bool autoStartup = false;
};
