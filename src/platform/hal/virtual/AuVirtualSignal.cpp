#include "platform/hal/virtual/AuVirtualSignal.h"

#include <QFile>
#include <cmath>
#include <cstring>
#include <numbers>
#include <sndfile.h>

AuVirtualSignal::AuVirtualSignal(const AuVirtualInputSpec& spec, double sampleRate)
    : spec(spec), rate(sampleRate > 0 ? sampleRate : 44100.0) {
    if (spec.kind != AuVirtualInputSpec::Kind::File)
        return;
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(spec.path).constData(), SFM_READ, &info);
    if (!file || info.channels <= 0 || info.frames <= 0) {
        if (file)
            sf_close(file);
        valid = false;
        fileEnded.store(true, std::memory_order_relaxed);
        return;
    }
    fileChannels = uint32_t(info.channels);
    fileSamples.resize(size_t(info.frames) * fileChannels);
    fileFrames = uint64_t(sf_readf_float(file, fileSamples.data(), info.frames));
    sf_close(file);
    if (fileFrames == 0) {
        valid = false;
        fileEnded.store(true, std::memory_order_relaxed);
    }
}

float AuVirtualSignal::noise() {
    // xorshift32: cheap, deterministic, uniform in [-1, 1).
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    return float(int32_t(noiseState)) / 2147483648.0f;
}

void AuVirtualSignal::render(float* out, uint32_t frames, uint32_t channels) {
    switch (spec.kind) {
    case AuVirtualInputSpec::Kind::Silence:
        std::memset(out, 0, size_t(frames) * channels * sizeof(float));
        return;
    case AuVirtualInputSpec::Kind::Tone: {
        const double step = spec.frequency / rate;
        for (uint32_t f = 0; f < frames; ++f) {
            const float v = float(spec.amplitude * std::sin(2.0 * std::numbers::pi * phase));
            for (uint32_t c = 0; c < channels; ++c)
                out[f * channels + c] = v;
            phase += step;
            if (phase >= 1.0)
                phase -= 1.0;
        }
        return;
    }
    case AuVirtualInputSpec::Kind::Bursts: {
        const auto on = uint64_t(std::llround(spec.onSeconds * rate));
        const auto period = on + uint64_t(std::llround(spec.offSeconds * rate));
        for (uint32_t f = 0; f < frames; ++f, ++frame) {
            const bool sounding = period == 0 || frame % period < on;
            const float v = sounding ? float(spec.amplitude) * noise() : 0.0f;
            for (uint32_t c = 0; c < channels; ++c)
                out[f * channels + c] = v;
        }
        return;
    }
    case AuVirtualInputSpec::Kind::File:
        for (uint32_t f = 0; f < frames; ++f) {
            if (filePosition >= fileFrames && spec.loop && fileFrames > 0)
                filePosition = 0;
            if (filePosition >= fileFrames) {
                fileEnded.store(true, std::memory_order_relaxed);
                std::memset(out + size_t(f) * channels, 0,
                            size_t(frames - f) * channels * sizeof(float));
                return;
            }
            const float* src = fileSamples.data() + filePosition * fileChannels;
            for (uint32_t c = 0; c < channels; ++c)
                out[f * channels + c] =
                    fileChannels == 1 ? src[0] : (c < fileChannels ? src[c] : 0.0f);
            ++filePosition;
        }
        return;
    }
}
