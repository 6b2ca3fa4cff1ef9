#include "schedule/ZuReserver.h"

#include "platform/ZuLocalized.h"
#include "platform/ZuSettings.h"
#include "schedule/ZuReserveList.h"

#include <mutex>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}

void writeInteger(int32_t value, const char* key) {
    store().setInteger(value, key);
    store().synchronize();
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
}

void ZuReserver::awakeFromNib() {
    verifyDelete = store().boolForKey("VerifyDeleteTimer");
    defReserveDevice = static_cast<int32_t>(store().integerForKey("DefaultReserveDevice"));
    autoStartup = store().boolForKey("ReserveAutoStartup");
    timerDrawerButton.setState(static_cast<int>(store().integerForKey("TimerDrawerState")));
}

void ZuReserver::saveUserDefaults() {
    store().setInteger(timerDrawerButton.state(), "TimerDrawerState");
    store().setBool(verifyDelete, "VerifyDeleteTimer");
    store().setBool(autoStartup, "ReserveAutoStartup");
    store().synchronize();
}

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

void ZuReserver::changeDefReserveDevice(int32_t value) {
    writeInteger(value, "DefaultReserveDevice");
    defReserveDevice = value;
}
