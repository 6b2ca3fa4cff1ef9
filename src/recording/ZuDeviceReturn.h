#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class ZuDevice;
class ZuTimer;

// Waits for a record device that died while recording was switched on. It
// looks for the device on every device-list change and once a second (when
// backends that cannot report arrivals read their list afresh), finds it by
// its UID or, failing that, its name, and hands its source number to the
// recorder. A device that goes again soon after it came back is a flapping
// one: each further loss waits twice as long before the device is looked for,
// so that it is never chased in a tight loop.
class ZuDeviceReturn {
public:
    // The brake: a device lost within stableSeconds of its return is looked
    // for again after initialDelaySeconds, doubled for each further such loss
    // up to maximumDelaySeconds.
    static constexpr int64_t stableSeconds = 2;
    static constexpr int64_t initialDelaySeconds = 2;
    static constexpr int64_t maximumDelaySeconds = 60;

    // resume puts the record role on a source number and starts it; it
    // answers whether the device runs.
    ZuDeviceReturn(ZuDevice& devicer, std::function<bool(int32_t)> resume);
    ~ZuDeviceReturn();
    ZuDeviceReturn(const ZuDeviceReturn&) = delete;
    ZuDeviceReturn& operator=(const ZuDeviceReturn&) = delete;

    // The record role has a new device: who it is, for a later loss (a
    // device that has gone no longer says its name).
    void remember();
    // The role's record device has died: starts waiting for it.
    void lost();
    // Recording was switched off: no more waiting.
    void cancel();
    bool waiting() const { return waitingFlag; }
    // The source number of a device that is the lost one, or -1.
    int32_t sourceOfLostDevice() const;

private:
    void look(bool rescan);
    void returned();

    ZuDevice& devicer;
    std::function<bool(int32_t)> resume;
    std::unique_ptr<ZuTimer> timer;
    bool waitingFlag = false;
    bool looking = false;
    QString uid;
    QString name;
    QString sourceName;
    double rate = 0.0;
    QDateTime lostDate;
    QDateTime returnDate;
    QDateTime notBefore;
    int32_t strikes = 0;
};
