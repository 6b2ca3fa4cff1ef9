#pragma once

#include "platform/hal/virtual/AuVirtualInput.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

// Renders a virtual device's input. Everything it needs (a sound file's
// samples among them) is loaded at construction, so render allocates nothing
// and may run on an IO thread.
class AuVirtualSignal {
public:
    AuVirtualSignal(const AuVirtualInput& input, double sampleRate);

    // The sample rate of a sound file that opens and decodes, or nothing with
    // the reason in error.
    static std::optional<double> fileSampleRate(const QString& path, QString* error = nullptr);

    // False when a sound file could not be read; the signal is then silence.
    bool isValid() const { return valid; }
    // A file that does not loop has played to its end.
    bool ended() const { return fileEnded.load(std::memory_order_relaxed); }

    // Writes frames × channels interleaved samples; every channel carries the
    // same signal, except a multi-channel file, whose channels map one to one
    // (a mono file feeds every channel, missing channels stay silent).
    void render(float* interleaved, uint32_t frames, uint32_t channels);

private:
    float noise();

    AuVirtualInput input;
    double rate;
    bool valid = true;
    std::atomic<bool> fileEnded{false};
    double phase = 0.0; // tone, in cycles
    uint64_t frame = 0; // bursts: frames rendered
    uint32_t noiseState = 0x9e3779b9u;
    std::vector<float> fileSamples; // interleaved
    uint32_t fileChannels = 0;
    uint64_t fileFrames = 0;
    uint64_t filePosition = 0;
};
