#include "schedule/ZuReserveList.h"

#include "platform/ZuSettings.h"

#include <mutex>

void ZuReserveList::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({
            {"TimerList", QVariantList{QVariant(ZuReserverElement().valueArray())}},
            {"TimerDrawerState", 0},
            {"VerifyDeleteTimer", true},
        });
    });
}

ZuReserveList::ZuReserveList() {
    initialize();
}

void ZuReserveList::awakeFromNib() {
    timerList.clear();
    renewFlagList.clear();
    lastTimerList.clear();
    for (const QVariant& stored : ZuSettings::standard().arrayForKey("TimerList")) {
        const QVariantList values = stored.toList();
        timerList.push_back(std::make_unique<ZuReserverElement>(values));
        lastTimerList.push_back(std::make_unique<ZuReserverElement>(values));
        renewFlagList.push_back(false);
    }
}

void ZuReserveList::saveUserDefaults() {
    QVariantList list;
    for (size_t i = 0; i < timerList.size(); ++i) {
        QVariantList values = timerList[i]->valueArray();
        // A source the row rebuild replaced because the stored one is missing
        // on this machine keeps its stored value.
        if (!renewFlagList[i])
            values[ZuReserverElement::deviceIndex] = lastTimerList[i]->device();
        list.append(QVariant(values));
    }
    ZuSettings::standard().setArray(list, "TimerList");
    ZuSettings::standard().synchronize();
}
