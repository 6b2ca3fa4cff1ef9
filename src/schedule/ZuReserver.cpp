#include "schedule/ZuReserver.h"

#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuSettings.h"
#include "recording/ZuRecorder.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserverElement.h"
#include "shell/ZuControler.h"

#include <QTimeZone>
#include <algorithm>
#include <mutex>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}

void writeInteger(int32_t value, const char* key) {
    store().setInteger(value, key);
    store().synchronize();
}

QStringList numbered(int from, int count, int step, const char* format) {
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QString::asprintf(format, from + i * step);
    return items;
}

QStringList everyAnd(QStringList items) {
    items.prepend(ZuLocalized::text(QStringLiteral("EveryDay")));
    return items;
}

constexpr int32_t daySeconds = 86400;

// The moment (seconds since the epoch) of a local time of day on a date.
// A time the clocks skip is taken with the offset in force before the
// change; a time that happens twice is its first occurrence.
int64_t localInstant(const QDate& date, int32_t seconds) {
    const QTime time =
        QTime::fromMSecsSinceStartOfDay(std::clamp(seconds, 0, daySeconds - 1) * 1000);
    // A day before, the offset in force is the one before any change near
    // this time of day.
    const auto offsetBefore = [](int64_t second) {
        return QDateTime::fromSecsSinceEpoch(second - daySeconds).offsetFromUtc();
    };
    const QDateTime local(date, time);
    if (!local.isValid()) {
        const int64_t asUtc = QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch();
        return QDateTime(date, time, QTimeZone(offsetBefore(asUtc))).toSecsSinceEpoch();
    }
    const int64_t instant = local.toSecsSinceEpoch();
    const QDateTime earlier(date, time, QTimeZone(offsetBefore(instant)));
    const QDateTime shown = earlier.toLocalTime();
    if (earlier.toSecsSinceEpoch() < instant && shown.date() == date && shown.time() == time)
        return earlier.toSecsSinceEpoch();
    return instant;
}

QDate localDate(int64_t second) {
    return QDateTime::fromSecsSinceEpoch(second).date();
}

int64_t nowSecond() {
    return ZuClock::nowMSecs() / 1000;
}
} // namespace

void ZuReserver::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({
            {"DefaultReserveValid", true},
            {"DefaultReserveName", ZuLocalized::text("NoNamedTimer")},
            {"DefaultReserveMonth", 0},
            {"DefaultReserveDay", 0},
            {"DefaultReserveWeek", 0},
            {"DefaultReserveRate", 1},
            {"DefaultReserveChannel", 1},
            {"DefaultReserveDevice", 0},
            {"DefaultReserveMode", 0},
            {"ReserveAutoStartup", false},
        });
    });
}

ZuReserver::ZuReserver() {
    initialize();
    ZuReserveList::initialize(); // its keys are loaded here too
    drawerButton.setAction([this](ZuControl& c) { actReserveButton(c); });
    dataView.setAction([this](ZuControl& c) { actDataView(c); });
    dataView.setSelectedIndex(-1);
    for (ZuControl* c :
         {&timerNameText, &timerEnabledCheck, &timerStartHourPopup, &timerStartMinutePopup,
          &timerStopHourPopup, &timerStopMinutePopup, &timerSamplePopup, &timerChannelsPopup,
          &timerModePopup, &timerMonthPopup, &timerDayPopup, &timerWeekPopup})
        c->setAction([this](ZuControl& sender) { actUsual(sender); });
    timerDevicePopup.setAction([this](ZuControl& c) { actTimerDevicePopup(c); });
    timerAddButton.setAction([this](ZuControl& c) { actInsertTimer(c); });
    timerCopyButton.setAction([this](ZuControl& c) { actCopyTimer(c); });
    timerDeleteButton.setAction([this](ZuControl& c) { actDeleteTimer(c); });
    timerStartHourPopup.setItems(numbered(0, 24, 1, "%02d"));
    timerStopHourPopup.setItems(numbered(0, 24, 1, "%02d"));
    timerStartMinutePopup.setItems(numbered(0, 12, 5, "%02d"));
    timerStopMinutePopup.setItems(numbered(0, 12, 5, "%02d"));
    timerMonthPopup.setItems(everyAnd(numbered(1, 12, 1, "%d")));
    timerDayPopup.setItems(everyAnd(numbered(1, 31, 1, "%d")));
    QStringList weekdays;
    for (const char* key :
         {"EveryDay", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
        weekdays << ZuLocalized::text(QString::fromLatin1(key));
    timerWeekPopup.setItems(weekdays);
    timerChannelsPopup.setItems(
        {ZuLocalized::text("MonoralSound"), ZuLocalized::text("StereoSound")});
    timerModePopup.setItems({ZuLocalized::text("AlwaysMode"), ZuLocalized::text("AutoMode")});
    timerAddButton.setTitle(ZuLocalized::text("AddTimer"));
    timerCopyButton.setTitle(ZuLocalized::text("CopyTimer"));
    timerDeleteButton.setTitle(ZuLocalized::text("DeleteTimer"));
    timerEnabledCheck.setTitle(ZuLocalized::text("EnabledReserve"));
    drawerButton.setTitle(ZuLocalized::text("TimerEditor"));
}

void ZuReserver::setControler(ZuControler* owner) {
    controler = owner;
}

ZuReserveList* ZuReserver::dataSource() const {
    return controler ? controler->reservelist() : nullptr;
}

void ZuReserver::awakeFromNib() {
    verifyDelete = store().boolForKey("VerifyDeleteTimer");
    defReserveDeviceValue = static_cast<int32_t>(store().integerForKey("DefaultReserveDevice"));
    autoStartup = store().boolForKey("ReserveAutoStartup");
    drawerButton.setState(static_cast<int>(store().integerForKey("TimerDrawerState")));
    // The rows are shown, and each entry's source checked, from the start:
    // the recorder may use the entries before the tab is ever opened.
    if (dataSource())
        dataSource()->initReserveList();
}

void ZuReserver::saveUserDefaults() {
    store().setInteger(drawerButton.state(), "TimerDrawerState");
    store().setBool(verifyDelete, "VerifyDeleteTimer");
    store().setBool(autoStartup, "ReserveAutoStartup");
    store().synchronize();
}

void ZuReserver::mainTabSelected() {
    renewListAndControl();
    openDrawer();
}

void ZuReserver::mainTabUnselected() {
    initControlState();
    closeDrawer();
}

void ZuReserver::renewListAndControl() {
    initDataSource();
    initControlState();
}

void ZuReserver::initDataSource() {
    if (ZuReserveList* list = dataSource())
        list->initReserveList();
    reloadTable();
}

void ZuReserver::reloadTable() {
    const int rows = dataSource() ? dataSource()->numberOfRows() : 0;
    if (dataView.selectedIndex() >= rows)
        dataView.setSelectedIndex(rows - 1);
    dataView.setValue(dataView.value() + 1);
}

int ZuReserver::selectedRow() const {
    const int row = dataView.selectedIndex();
    return row >= 0 && row < count() ? row : -1;
}

// Queries.

int32_t ZuReserver::count() const {
    ZuReserveList* list = dataSource();
    return list ? static_cast<int32_t>(list->timers().size()) : 0;
}

ZuReserverElement* ZuReserver::elementAtIndex(int32_t index) const {
    if (index < 0 || index >= count())
        return nullptr;
    return dataSource()->timers()[size_t(index)].get();
}

int32_t ZuReserver::validReserves() const {
    int32_t valid = 0;
    for (int32_t i = 0; i < count(); ++i)
        valid += elementAtIndex(i)->enabled() ? 1 : 0;
    return valid;
}

bool ZuReserver::namesDate(const ZuReserverElement& entry, const QDate& date) {
    return (entry.month() == 0 || entry.month() == date.month()) &&
           (entry.day() == 0 || entry.day() == date.day()) &&
           (entry.week() == 0 || entry.week() == date.dayOfWeek() % 7 + 1);
}

ZuReserver::Window ZuReserver::windowOf(const ZuReserverElement& entry, const QDate& date) {
    const int64_t start = localInstant(date, entry.start());
    const QDate stopDate = entry.stop() <= entry.start() ? date.addDays(1) : date;
    return {start, std::max(start, localInstant(stopDate, entry.stop()))};
}

bool ZuReserver::windowContaining(const ZuReserverElement& entry, int64_t second, Window* found) {
    // Today's window first: at a midnight both may hold the moment, and
    // today's has the time left.
    const QDate today = localDate(second);
    for (const QDate& date : {today, today.addDays(-1)}) {
        if (!namesDate(entry, date))
            continue;
        const Window window = windowOf(entry, date);
        if (window.start <= second && second <= window.stop) {
            *found = window;
            return true;
        }
    }
    return false;
}

ZuReserverElement* ZuReserver::withinElement(bool timeLeft) const {
    const int64_t now = nowSecond();
    for (int32_t i = 0; i < count(); ++i) {
        ZuReserverElement* entry = elementAtIndex(i);
        Window window{};
        if (entry->enabled() && windowContaining(*entry, now, &window) &&
            (!timeLeft || window.stop > now))
            return entry;
    }
    return nullptr;
}

ZuReserverElement* ZuReserver::startElement() const {
    const int64_t now = nowSecond();
    const QDate today = localDate(now);
    for (int32_t i = 0; i < count(); ++i) {
        ZuReserverElement* entry = elementAtIndex(i);
        if (!entry->enabled() || !namesDate(*entry, today))
            continue;
        const int64_t minute = windowOf(*entry, today).start - entry->start() % 60;
        if (minute <= now && now < minute + 60)
            return entry;
    }
    return nullptr;
}

void ZuReserver::nextElement(ZuReserverElement** element, int32_t* seconds) const {
    *element = nullptr;
    *seconds = daySeconds;
    const int64_t now = nowSecond();
    const QDate today = localDate(now);
    for (int32_t i = 0; i < count(); ++i) {
        ZuReserverElement* entry = elementAtIndex(i);
        if (!entry->enabled())
            continue;
        // Each candidate is matched against its own date.
        for (const QDate& date : {today, today.addDays(1)}) {
            if (!namesDate(*entry, date))
                continue;
            const int64_t t = windowOf(*entry, date).start - now;
            if (t >= 0 && t < *seconds) {
                *seconds = static_cast<int32_t>(t);
                *element = entry;
            }
        }
    }
}

ZuReserverElement* ZuReserver::nextElement() const {
    ZuReserverElement* entry = nullptr;
    int32_t seconds = 0;
    nextElement(&entry, &seconds);
    return entry;
}

int32_t ZuReserver::nextStartTime() const {
    ZuReserverElement* entry = nullptr;
    int32_t seconds = 0;
    nextElement(&entry, &seconds);
    return seconds;
}

int32_t ZuReserver::recordPeriodOf(const ZuReserverElement& entry) const {
    const int64_t now = nowSecond();
    Window window{};
    if (windowContaining(entry, now, &window))
        return static_cast<int32_t>(std::clamp<int64_t>(window.stop - now, 0, daySeconds));
    const QTime time = QDateTime::fromSecsSinceEpoch(now).time();
    int32_t period =
        std::clamp(entry.stop(), 0, daySeconds - 1) - time.msecsSinceStartOfDay() / 1000;
    return period < 0 ? period + daySeconds : period;
}

// The editor.

std::array<ZuControl*, 16> ZuReserver::editorControls() {
    return {
        &timerNameText,      &timerEnabledCheck,    &timerStartHourPopup, &timerStartMinutePopup,
        &timerStopHourPopup, &timerStopMinutePopup, &timerSamplePopup,    &timerChannelsPopup,
        &timerDevicePopup,   &timerModePopup,       &timerDeleteButton,   &timerAddButton,
        &timerCopyButton,    &timerMonthPopup,      &timerDayPopup,       &timerWeekPopup};
}

void ZuReserver::setEditorEnabled(bool value) {
    for (ZuControl* control : editorControls())
        control->setEnabled(value);
}

void ZuReserver::setEnabledTimerButtons() {
    timerDeleteButton.setEnabled(count() > 1);
    timerAddButton.setEnabled(count() <= 9);
}

void ZuReserver::initControlState() {
    ZuRecorder* recorder = controler ? controler->recorder() : nullptr;
    if (recorder) {
        const bool recording = recorder->recordState() && recorder->recordButton.state() == 1;
        // A switch that is on can always be switched off.
        recorder->reserveButton.setEnabled(recorder->reserveButton.state() == 1 ||
                                           (validReserves() > 0 && !recording));
    }
    const int row = selectedRow();
    if ((recorder && recorder->reserveButton.state() == 1) || row < 0) {
        setEditorEnabled(false);
    } else {
        setEditorEnabled(true);
        setEnabledTimerButtons();
    }
    if (row < 0)
        return;
    const ZuReserverElement& entry = *elementAtIndex(row);
    timerNameText.setText(entry.name());
    timerEnabledCheck.setState(entry.enabled() ? 1 : 0);
    timerStartHourPopup.setSelectedIndex(entry.startHour());
    timerStartMinutePopup.setSelectedIndex(entry.startMinute() / 5);
    timerStopHourPopup.setSelectedIndex(entry.stopHour());
    timerStopMinutePopup.setSelectedIndex(entry.stopMinute() / 5);
    timerChannelsPopup.setSelectedIndex(entry.channels() - 1);
    setSourcePopup(entry.device());
    setSamplePopup(entry.sample());
    timerModePopup.setSelectedIndex(entry.mode());
    timerMonthPopup.setSelectedIndex(entry.month());
    timerDayPopup.setSelectedIndex(entry.day());
    timerWeekPopup.setSelectedIndex(entry.week());
}

void ZuReserver::setSourcePopup(int32_t select) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    timerDevicePopup.setItems(devicer ? devicer->usableJapanRecordSourceNames() : QStringList());
    timerDevicePopup.setSelectedIndex(select);
}

// The rates the selected source offers for the three rate numbers.
void ZuReserver::setSamplePopup(int32_t select) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    QStringList items;
    for (int32_t number = 0; number < 3; ++number) {
        const double rate =
            devicer ? devicer->recordSampleRateWithSource(timerDevicePopup.selectedIndex(), number)
                    : 0.0;
        items << QStringLiteral("%1 Hz").arg(static_cast<int64_t>(rate));
    }
    timerSamplePopup.setItems(items);
    timerSamplePopup.setSelectedIndex(select);
}

void ZuReserver::resetTimerElementValue() {
    const int row = selectedRow();
    if (row < 0)
        return;
    ZuReserverElement& entry = *elementAtIndex(row);
    entry.setName(timerNameText.text());
    entry.setEnabled(timerEnabledCheck.state() != 0);
    entry.setStart(timerStartHourPopup.selectedIndex() * 3600 +
                   timerStartMinutePopup.selectedIndex() * 300);
    entry.setStop(timerStopHourPopup.selectedIndex() * 3600 +
                  timerStopMinutePopup.selectedIndex() * 300);
    entry.setSample(timerSamplePopup.selectedIndex());
    entry.setChannels(timerChannelsPopup.selectedIndex() + 1);
    entry.setDevice(timerDevicePopup.selectedIndex());
    entry.setMode(timerModePopup.selectedIndex());
    entry.setMonth(timerMonthPopup.selectedIndex());
    entry.setDay(timerDayPopup.selectedIndex());
    entry.setWeek(timerWeekPopup.selectedIndex());
}

void ZuReserver::actReserveButton(ZuControl&) {
    openDrawer();
}

void ZuReserver::actDataView(ZuControl&) {
    initControlState();
}

void ZuReserver::actUsual(ZuControl&) {
    resetTimerElementValue();
    initDataSource();
    if (ZuReserveList* list = dataSource())
        list->saveUserDefaults();
}

void ZuReserver::actTimerDevicePopup(ZuControl& sender) {
    const int row = selectedRow();
    if (row < 0)
        return;
    setSamplePopup(elementAtIndex(row)->sample());
    dataSource()->renewFlags()[size_t(row)] = true;
    actUsual(sender);
}

void ZuReserver::insertTimer(std::unique_ptr<ZuReserverElement> entry) {
    ZuReserveList* list = dataSource();
    if (!list)
        return;
    const auto at = static_cast<ptrdiff_t>(std::max(selectedRow(), 0));
    list->lastTimers().insert(list->lastTimers().begin() + at, entry->clone());
    list->timers().insert(list->timers().begin() + at, std::move(entry));
    list->renewFlags().insert(list->renewFlags().begin() + at, true);
    if (dataView.selectedIndex() < 0)
        dataView.setSelectedIndex(0);
    renewListAndControl();
}

void ZuReserver::actInsertTimer(ZuControl&) {
    auto entry = std::make_unique<ZuReserverElement>();
    entry->setName(defReserveName());
    entry->setEnabled(defReserveValid());
    entry->setMode(defReserveMode());
    entry->setSample(defReserveRate());
    entry->setChannels(defReserveChannels());
    entry->setDevice(defReserveDevice());
    entry->setMonth(defReserveMonth());
    entry->setDay(defReserveDay());
    entry->setWeek(defReserveWeek());
    const QTime now = ZuClock::now().time();
    const int32_t mark = (now.hour() * 3600 + (now.minute() / 5) * 300 + 300) % daySeconds;
    entry->setStart(mark);
    entry->setStop(mark);
    insertTimer(std::move(entry));
}

void ZuReserver::actCopyTimer(ZuControl&) {
    const int row = selectedRow();
    if (row >= 0)
        insertTimer(elementAtIndex(row)->clone());
}

void ZuReserver::actDeleteTimer(ZuControl&) {
    const int row = selectedRow();
    if (row < 0 || count() <= 1)
        return;
    if (verifyDelete && ZuAlerts::run({"RemoveTimerCaution", "RemoveTimerInfo", "ExecRemove",
                                       "Cancel"}) == ZuAlertButton::Alternate)
        return;
    ZuReserveList* list = dataSource();
    list->timers().erase(list->timers().begin() + row);
    list->lastTimers().erase(list->lastTimers().begin() + row);
    list->renewFlags().erase(list->renewFlags().begin() + row);
    renewListAndControl();
}

void ZuReserver::doubleAction(int column) {
    if (column != 0 || !timerEnabledCheck.isEnabled())
        return;
    timerEnabledCheck.setState(timerEnabledCheck.state() != 0 ? 0 : 1);
    actUsual(timerEnabledCheck);
}

void ZuReserver::editNameEnd(const QString& text) {
    if (!timerNameText.isEnabled())
        return;
    timerNameText.setText(text);
    actUsual(timerNameText);
}

void ZuReserver::openDrawer() {
    reserveDrawer.setState(drawerButton.state() == 1 ? 1 : 0);
}

void ZuReserver::closeDrawer() {
    reserveDrawer.setState(0);
}

// Defaults of new entries.

bool ZuReserver::defReserveValid() const {
    return store().boolForKey("DefaultReserveValid");
}
void ZuReserver::setDefReserveValid(bool value) {
    store().setBool(value, "DefaultReserveValid");
    store().synchronize();
}
QString ZuReserver::defReserveName() const {
    return store().stringForKey("DefaultReserveName");
}
void ZuReserver::setDefReserveName(const QString& value) {
    store().setString(value, "DefaultReserveName");
    store().synchronize();
}
int32_t ZuReserver::defReserveMonth() const {
    return static_cast<int32_t>(store().integerForKey("DefaultReserveMonth"));
}
void ZuReserver::setDefReserveMonth(int32_t value) {
    writeInteger(value, "DefaultReserveMonth");
}
int32_t ZuReserver::defReserveDay() const {
    return static_cast<int32_t>(store().integerForKey("DefaultReserveDay"));
}
void ZuReserver::setDefReserveDay(int32_t value) {
    writeInteger(value, "DefaultReserveDay");
}
int32_t ZuReserver::defReserveWeek() const {
    return static_cast<int32_t>(store().integerForKey("DefaultReserveWeek"));
}
void ZuReserver::setDefReserveWeek(int32_t value) {
    writeInteger(value, "DefaultReserveWeek");
}
int32_t ZuReserver::defReserveRate() const {
    return static_cast<int32_t>(store().integerForKey("DefaultReserveRate"));
}
void ZuReserver::setDefReserveRate(int32_t value) {
    writeInteger(value, "DefaultReserveRate");
}
int32_t ZuReserver::defReserveChannels() const {
    return static_cast<int32_t>(store().integerForKey("DefaultReserveChannel"));
}
void ZuReserver::setDefReserveChannels(int32_t value) {
    writeInteger(value, "DefaultReserveChannel");
}
int32_t ZuReserver::defReserveMode() const {
    return static_cast<int32_t>(store().integerForKey("DefaultReserveMode"));
}
void ZuReserver::setDefReserveMode(int32_t value) {
    writeInteger(value, "DefaultReserveMode");
}
int32_t ZuReserver::defReserveDevice() const {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    return devicer ? devicer->checkRecordSource(defReserveDeviceValue) : defReserveDeviceValue;
}

void ZuReserver::changeDefReserveDevice(int32_t value) {
    writeInteger(value, "DefaultReserveDevice");
    defReserveDeviceValue = value;
}
