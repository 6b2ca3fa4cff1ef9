// The reservation mode: the switch, the once-a-second check that starts and
// stops an entry's recording with its own settings, and the waiting display.
#include "recording/ZuRecorder.h"

#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuSettings.h"
#include "platform/ZuTimer.h"
#include "preferences/ZuPrefer.h"
#include "schedule/ZuReserver.h"
#include "schedule/ZuReserverElement.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"

#include <QTime>
#include <algorithm>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}

void writeReserveSwitch(bool on) {
    store().setBool(on, "ReserveSwitch");
    store().synchronize();
}

QString timeOfDay(int32_t seconds) {
    return QString::asprintf("%02d:%02d", seconds / 3600, (seconds % 3600) / 60);
}
} // namespace

QString ZuRecorder::countdownText(int32_t seconds) {
    const int32_t minutes = seconds / 60;
    const int32_t rest = seconds - 60 * minutes;
    const QString figure = minutes > 0 ? QString::asprintf("%d'%02d\"", minutes, rest)
                                       : QString::asprintf("%d\"", rest);
    return figure + ZuLocalized::text(QStringLiteral("Before"));
}

void ZuRecorder::actReserveButton(ZuControl& sender) {
    if (sender.state() != 0)
        switchReserveOn();
    else
        switchReserveOff(sender);
}

void ZuRecorder::switchReserveOn() {
    writeReserveSwitch(true);
    recordButton.setEnabled(false);
    setPreferControlEnabled(false);
    setStartOnTheHour(false);
    // The check runs from here on, so that an emergency stop of the start
    // below finds the mode on and switches it off.
    if (!recordTimer)
        recordTimer = std::make_unique<ZuTimer>();
    recordTimer->start(1.0, true, [this] { recordTimerPeriodic(); });
    ZuReserver* reserver = controler ? controler->reserver() : nullptr;
    if (ZuReserverElement* entry = reserver ? reserver->withinElement(true) : nullptr) {
        actionMethodValue = 3;
        startReserveRecordWithElement(*entry);
    } else {
        showNextElement();
    }
    if (recordTimer->isValid())
        recordTimerPeriodic();
}

void ZuRecorder::switchReserveOff(ZuControl& sender) {
    writeReserveSwitch(false);
    // Off already: nothing of the mode is left to undo.
    if (!recordTimer || !recordTimer->isValid())
        return;
    const auto refuse = [&sender] {
        sender.setState(1);
        writeReserveSwitch(true);
    };
    if (!emergency && administratorRefuses())
        return refuse();
    if (!emergency) {
        ZuReserver* reserver = controler ? controler->reserver() : nullptr;
        if (reserver && reserver->nextStartTime() <= 300 &&
            ZuAlerts::run({"TimerStopCaution", "ReserveCancelInfo", "RecordStop", "Cancel"}) ==
                ZuAlertButton::Alternate)
            return refuse();
        if (recordStateValue && ZuAlerts::run({"TimerStopCaution", "TimerStopInfo", "RecordStop",
                                               "Cancel"}) == ZuAlertButton::Alternate)
            return refuse();
    }
    ZuPrefer* prefer = controler ? controler->prefer() : nullptr;
    if (!prefer || prefer->preferButton.state() == 0)
        recordButton.setEnabled(true);
    actionMethodValue = emergency ? 4 : 3;
    recordOFF();
    setPreferControlEnabled(true);
    recordTimer->invalidate();
    // The user's own settings come back.
    setRecordMode(static_cast<int32_t>(store().integerForKey("RecordMode")));
    setStartOnTheHour(store().boolForKey("StartOnTheHour"));
    useRecordSource(static_cast<int32_t>(store().floatForKey("recordSourceDevice")));
    setChannels(static_cast<int32_t>(store().integerForKey("ChannelsNumber")));
    setRateNumber(static_cast<int32_t>(store().floatForKey("SamplingRateNumber")));
    reserveNameText.setText(QString());
    reserveNameText.setToolTip(ZuLocalized::text(QStringLiteral("ReserveName")));
    timeInfoText.setText(ZuLocalized::text(QStringLiteral("ReserveStartTime")));
    reserveTimeText.setText(QString());
}

void ZuRecorder::useRecordSource(int32_t number) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    if (!devicer)
        return;
    // Setting a source restarts its device: only a change is applied.
    const int32_t checked = devicer->checkRecordSource(number);
    if (checked >= 0 && checked != devicer->recordSource())
        devicer->setRecordSource(checked);
}

// Shows the next entry and prepares its source, rate and channels. With none
// within a day the display is empty and the present settings stay.
void ZuRecorder::showNextElement() {
    ZuReserver* reserver = controler ? controler->reserver() : nullptr;
    const ZuReserverElement* entry = reserver ? reserver->nextElement() : nullptr;
    if (entry) {
        useRecordSource(entry->device());
        setRateNumber(std::clamp(entry->sample(), 0, 2));
        setChannels(entry->channels());
    }
    reserveNameText.setText(entry ? entry->name() : QString());
    reserveNameText.setToolTip(entry ? entry->name()
                                     : ZuLocalized::text(QStringLiteral("ReserveName")));
    timeInfoText.setText(ZuLocalized::text(QStringLiteral("ReserveStartTime")));
    reserveTimeText.setText(entry ? timeOfDay(std::clamp(entry->start(), 0, 86399)) : QString());
    modeTimer = true;
    dispRecordMode();
}

void ZuRecorder::recordTimerPeriodic() {
    ZuReserver* reserver = controler ? controler->reserver() : nullptr;
    if (!reserver)
        return;
    if (!recordStateValue) {
        // A window that ends at this very second has nothing left to record;
        // the next window, opening at the same moment, takes over.
        ZuReserverElement* entry = reserver->withinElement(true);
        if (!entry) {
            dispCondition();
            return;
        }
        actionMethodValue = 2;
        startReserveRecordWithElement(*entry);
        return;
    }
    // Whole seconds, as the period was counted: a check that comes a little
    // early or late still stops at the window's last second.
    const int64_t elapsed = ZuClock::nowMSecs() / 1000 - timerStartDate.toMSecsSinceEpoch() / 1000;
    if (double(elapsed) < recordPeriodValue)
        return;
    actionMethodValue = 2;
    recordOFF();
    showNextElement();
    recordTimerPeriodic();
}

void ZuRecorder::startReserveRecordWithElement(const ZuReserverElement& entry) {
    ZuReserver* reserver = controler ? controler->reserver() : nullptr;
    reserveNameText.setText(entry.name());
    reserveNameText.setToolTip(entry.name());
    timeInfoText.setText(ZuLocalized::text(QStringLiteral("ReserveStopTime")));
    reserveTimeText.setText(timeOfDay(std::clamp(entry.stop(), 0, 86399)));
    // Out-of-range stored values are taken the way the entry's row shows them.
    setRecordMode(entry.mode() == 0 ? 0 : 1);
    useRecordSource(entry.device());
    setRateNumber(std::clamp(entry.sample(), 0, 2));
    setChannels(entry.channels());
    protectHowling();
    const QDateTime start = ZuClock::now();
    recordPeriodValue = reserver ? reserver->recordPeriodOf(entry) : 0.0;
    recordON();
    timerStartDate = start;
}

void ZuRecorder::dispWaitingCondition() {
    ZuReserver* reserver = controler ? controler->reserver() : nullptr;
    const int32_t t = reserver ? reserver->nextStartTime() : 86400;
    if (t < 300) {
        conditionText.setText(countdownText(t));
        conditionText.setColor(Qt::red);
    } else {
        conditionText.setText(ZuLocalized::text(QStringLiteral("Standby")));
        conditionText.setColor(Qt::black);
    }
}
