#include "preferences/ZuPrefer.h"

#include "platform/ZuSettings.h"

#include <mutex>

void ZuPrefer::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({{"LastSelectedTabIndex", 0}});
    });
}

ZuPrefer::ZuPrefer() {
    initialize();
}

void ZuPrefer::awakeFromNib() {
    prefTabView.setSelectedIndex(
        static_cast<int>(ZuSettings::standard().integerForKey("LastSelectedTabIndex")));
}

void ZuPrefer::saveUserDefaults() {
    ZuSettings::standard().setInteger(prefTabView.selectedIndex(), "LastSelectedTabIndex");
    ZuSettings::standard().synchronize();
}
