#include "audio/ZuDevice.h"

#include "platform/ZuSettings.h"

#include <mutex>

void ZuDevice::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({
            {"recordSourceDevice", 0},
            {"PlaybackSourceDevice", 0},
            {"MonitorSourceDevice", 0},
            {"UseHightQualitySampling", false},
        });
    });
}

ZuDevice::ZuDevice() {
    initialize();
}

void ZuDevice::awakeFromNib() {
    const ZuSettings& store = ZuSettings::standard();
    recordSourceNumber = static_cast<int32_t>(store.integerForKey("recordSourceDevice"));
    playSourceNumber = static_cast<int32_t>(store.integerForKey("PlaybackSourceDevice"));
    monitorSourceNumber = static_cast<int32_t>(store.integerForKey("MonitorSourceDevice"));
    highQuality = store.boolForKey("UseHightQualitySampling");
}

void ZuDevice::setUseHighQuality(bool value) {
    highQuality = value;
    ZuSettings::standard().setBool(value, "UseHightQualitySampling");
    ZuSettings::standard().synchronize();
}
