#pragma once

#include "platform/hal/AuTableHardware.h"
#include "platform/hal/virtual/AuVirtualInput.h"

#include <optional>

// One virtual device: what it reports (name, UID, channels, rates, buffer
// sizes, data sources), what its input carries, and where its output goes.
struct AuVirtualDeviceConfig {
    AuHalDeviceInfo info;
    AuVirtualInput input;
    // Output frames kept in memory per run (older runs are replaced); frames
    // past this are counted as dropped.
    uint32_t captureFrames = 48000 * 10;
    // Also written here as 32-bit float WAV when not empty: one file for all
    // runs of the device, with the rate of its first run, complete between
    // runs and closed when the device goes.
    QString outputFile;
    // Starting the device fails with kAuErrorCannotStart (a busy device).
    bool failToStart = false;

    // A duplex device with the usual rates and sizes.
    static AuVirtualDeviceConfig standard(const QString& name, const QString& uid,
                                          uint32_t inputChannels, uint32_t outputChannels);
    // A stereo output-only device at one rate whose output goes to a WAV
    // file, from "HZ:PATH"; nothing, with the reason in error, for another text.
    static std::optional<AuVirtualDeviceConfig> outputToFile(const QString& text,
                                                             QString* error = nullptr);
};
