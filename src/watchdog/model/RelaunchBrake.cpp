#include "model/RelaunchBrake.h"

#include <algorithm>

qint64 RelaunchBrake::delayBeforeRelaunch(const QString& name, qint64 nowMs) {
    State& state = states_[name];
    if (state.lastLaunchMs < 0 || nowMs - state.lastLaunchMs >= delays_.stableMs) {
        state.strikes = 0;
        return 0;
    }
    ++state.strikes;
    qint64 delay = delays_.initialMs;
    for (int i = 1; i < state.strikes && delay < delays_.maximumMs; ++i)
        delay *= 2;
    return std::min(delay, delays_.maximumMs);
}

void RelaunchBrake::relaunched(const QString& name, qint64 nowMs) {
    states_[name].lastLaunchMs = nowMs;
}

bool RelaunchBrake::ranStably(const QString& name) {
    auto found = states_.find(name);
    if (found == states_.end() || found->strikes == 0)
        return false;
    found->strikes = 0;
    return true;
}
