#include "recording/ZuLevelMeter.h"

#include "platform/ZuSettings.h"

#include <mutex>

void ZuLevelMeter::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({{"PeekLevelHoldTime", 1.0}});
    });
}

ZuLevelMeter::ZuLevelMeter() {
    initialize();
}

void ZuLevelMeter::awakeFromNib() {
    holdTime = ZuSettings::standard().floatForKey("PeekLevelHoldTime");
}

void ZuLevelMeter::saveUserDefaults() {
    ZuSettings::standard().setFloat(static_cast<float>(holdTime), "PeekLevelHoldTime");
    ZuSettings::standard().synchronize();
}
