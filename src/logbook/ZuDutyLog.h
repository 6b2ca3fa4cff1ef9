#pragma once

#include "logbook/ZuDutyLogValues.h"
#include "logbook/ZuLogBookFile.h"
#include "platform/ZuTimer.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

class ZuControler;
struct ZuNotification;

// The log book of the duty: the only observer of "ZuLogEventNotification".
// It writes "NightwardenLog.txt" in the record folder, starting it afresh at
// each launch or, after a run that did not end cleanly, adding the trouble
// lines to the old one. Events are handled on the posting thread; each block
// is built whole and appended with one write.
class ZuDutyLog {
public:
    using ValueSource = std::function<ZuDutyLogValues()>;

    static void initialize();
    static inline const QString fileName = QStringLiteral("NightwardenLog.txt");
    static constexpr double patrolInterval = 300.0;

    ZuDutyLog();
    ~ZuDutyLog();
    ZuDutyLog(const ZuDutyLog&) = delete;
    ZuDutyLog& operator=(const ZuDutyLog&) = delete;

    void setControler(ZuControler* owner) { controler = owner; }

    // Reads the switch, starts observing the log events and the patrol.
    void awakeFromNib();
    // Also marks the duty as ended cleanly.
    void saveUserDefaults();

    // Takes effect at the next duty start only.
    bool writeLog() const { return write; }
    void setWriteLog(bool value) { write = value; }

    // The heartbeat: the current date into LastPatrolDate, flushed.
    void patrolTimerPeriodic();
    void logEventNotificationHandler(const ZuNotification& notification);

    // The values the blocks print, read from the components now.
    ZuDutyLogValues currentValues() const;
    // Reads the values from elsewhere than the components (an empty source
    // restores them).
    void setValueSource(ValueSource source) { valueSource = std::move(source); }

    bool isLogging() const { return logBook.isOpen(); }
    static QString logBookPath(const QString& recordFolder);

private:
    ZuDutyLogValues values() const;
    // The values with the format of the recording's own file.
    ZuDutyLogValues recordingValues() const;
    void dutyStartEvent();
    void recordingStartEvent();
    void recordingStopEvent();
    void dutyFinishEvent(const QDateTime& now);
    void append(const QString& text);

    ZuControler* controler = nullptr;
    ZuLogBookFile logBook;
    bool write = true;
    ZuTimer patrolTimer;
    QDateTime dutyStart;
    int32_t serialNum = 0;
    QDateTime startDate;
    // A run has one duty: a second "DutyStart" must not start the file again.
    bool dutyStarted = false;
    ValueSource valueSource;
};
