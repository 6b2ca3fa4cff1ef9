#pragma once

#include "platform/hal/AuTableHardware.h"

#include <memory>

struct pa_context;
struct pa_threaded_mainloop;

// The sound server's own devices through its native client library (which
// PipeWire serves too): every source is an input device and every sink an
// output device, with the server's names, rates and default roles. A stream
// carries the channels its role uses (one or two), never more.
//
// One thread of the client library runs every stream and the server's
// events. Device changes (added, removed, default changed, the server gone
// and back) are collected there and applied on the main thread, where
// property listeners hear them. A stream that fails while its device is
// still there is reopened and the frames it missed counted in the sample
// times; only a device that has gone is reported dead.
class AuPulseHardware : public AuTableHardware {
public:
    // Connects to the server the environment names (PULSE_SERVER, else the
    // user's). Without an answer the device list stays empty and the
    // backend keeps trying, so a server that starts later is found.
    AuPulseHardware();
    ~AuPulseHardware() override;

    QString backendName() const override { return QStringLiteral("pulse"); }

    // Whether a server answered when the backend was made or since.
    bool isConnected() const;
    // Whether a sound server answers at all (a short connection attempt).
    static bool serverAnswers();

protected:
    AuStatus openIO(const IOSetup& setup) override;
    void closeIO(AuObjectID device) override;
    bool retuneIO(const IOSetup& setup, const AuHalDeviceInfo& previous) override;

private:
    struct Server;
    struct Stream;
    struct Snapshot;

    // Main thread: makes the table match what the server has.
    void apply(const Snapshot& found, bool notify);

    std::unique_ptr<Server> server;
};
