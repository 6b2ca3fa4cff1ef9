#include "platform/hal/virtual/AuVirtualSignal.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <sndfile.h>

AuVirtualSignal::AuVirtualSignal(const AuVirtualInput& input, double sampleRate)
    : input(input), rate(sampleRate > 0 ? sampleRate : 44100.0) {
    if (input.kind != AuVirtualInput::Kind::File)
        return;
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(input.path).constData(), SFM_READ, &info);
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

std::optional<double> AuVirtualSignal::fileSampleRate(const QString& path, QString* error) {
    const auto fail = [&](const QString& reason) -> std::optional<double> {
        if (error)
            *error = QStringLiteral("cannot play \"%1\": %2").arg(path, reason);
        return std::nullopt;
    };
    const QFileInfo about(path);
    if (!about.exists())
        return fail(QStringLiteral("no such file"));
    if (about.isDir())
        return fail(QStringLiteral("it is a folder"));
    if (!about.isReadable())
        return fail(QStringLiteral("it may not be read"));
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return fail(QStringLiteral("it is not a sound file"));
    // The first frames must decode too: a header alone would play as silence.
    constexpr sf_count_t probe = 64;
    std::vector<float> samples(size_t(std::max(info.channels, 1)) * probe);
    const bool decodes = info.channels > 0 && info.frames > 0 && info.samplerate > 0 &&
                         sf_readf_float(file, samples.data(), probe) > 0;
    sf_close(file);
    if (!decodes)
        return fail(QStringLiteral("it holds no sound"));
    return double(info.samplerate);
}

float AuVirtualSignal::noise() {
    // xorshift32: cheap, deterministic, uniform in [-1, 1).
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    return float(int32_t(noiseState)) / 2147483648.0f;
}

void AuVirtualSignal::render(float* out, uint32_t frames, uint32_t channels) {
    switch (input.kind) {
    case AuVirtualInput::Kind::Silence:
        std::memset(out, 0, size_t(frames) * channels * sizeof(float));
        return;
    case AuVirtualInput::Kind::Tone: {
        const double step = input.frequency / rate;
        for (uint32_t f = 0; f < frames; ++f) {
            const float v = float(input.amplitude * std::sin(2.0 * std::numbers::pi * phase));
            for (uint32_t c = 0; c < channels; ++c)
                out[f * channels + c] = v;
            phase += step;
            if (phase >= 1.0)
                phase -= 1.0;
        }
        return;
    }
    case AuVirtualInput::Kind::Bursts: {
        const auto on = uint64_t(std::llround(input.onSeconds * rate));
        const auto period = on + uint64_t(std::llround(input.offSeconds * rate));
        for (uint32_t f = 0; f < frames; ++f, ++frame) {
            const bool sounding = period == 0 || frame % period < on;
            const float v = sounding ? float(input.amplitude) * noise() : 0.0f;
            for (uint32_t c = 0; c < channels; ++c)
                out[f * channels + c] = v;
        }
        return;
    }
    case AuVirtualInput::Kind::File:
        for (uint32_t f = 0; f < frames; ++f) {
            if (filePosition >= fileFrames && input.loop && fileFrames > 0)
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
