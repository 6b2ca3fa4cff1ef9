#include "logbook/ZuDutyLog.h"

#include "platform/ZuSettings.h"

#include <mutex>

void ZuDutyLog::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({
            {"WriteLogBook", true},
            {"TroubleTermination", false},
        });
    });
}

ZuDutyLog::ZuDutyLog() {
    initialize();
}

void ZuDutyLog::awakeFromNib() {
    write = ZuSettings::standard().boolForKey("WriteLogBook");
}

void ZuDutyLog::saveUserDefaults() {
    ZuSettings::standard().setBool(write, "WriteLogBook");
    ZuSettings::standard().setBool(false, "TroubleTermination");
    ZuSettings::standard().synchronize();
}
