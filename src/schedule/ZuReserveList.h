#pragma once

#include "schedule/ZuReserverElement.h"

#include <memory>
#include <vector>

class ZuControler;

// The reservation entries in memory, with what was loaded for each so that a
// record source replaced for display is never written back by mistake.
// timers, renewFlags and lastTimers always have the same length.
class ZuReserveList {
public:
    static void initialize();

    ZuReserveList();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();

    std::vector<std::unique_ptr<ZuReserverElement>>& timers() { return timerList; }
    std::vector<bool>& renewFlags() { return renewFlagList; }
    std::vector<std::unique_ptr<ZuReserverElement>>& lastTimers() { return lastTimerList; }

private:
    ZuControler* controler = nullptr;
    std::vector<std::unique_ptr<ZuReserverElement>> timerList;
    std::vector<bool> renewFlagList;
    std::vector<std::unique_ptr<ZuReserverElement>> lastTimerList;
};
