#pragma once

#include <QString>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <sndfile.h>
#include <vector>

// A sound file as an independent reader (libsndfile) sees it.
struct NwSound {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;

    // Empty (rate 0) when the file cannot be read as sound.
    static NwSound read(const QString& path) {
        NwSound sound;
        SF_INFO info{};
        SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_READ, &info);
        if (!file)
            return sound;
        sound.rate = info.samplerate;
        sound.channels = info.channels;
        sound.samples.resize(size_t(info.frames) * size_t(info.channels));
        sf_readf_short(file, sound.samples.data(), info.frames);
        sf_close(file);
        return sound;
    }
};

// Interleaved stereo samples as a float WAV file; the path back.
inline QString nwWriteStereo(const QString& path, double rate, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = int(rate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    sf_writef_float(file, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(file);
    return path;
}

// A steady sine in both channels of a float WAV file; the path back.
inline QString nwWriteTone(const QString& path, double rate, double seconds, double hz,
                           double amplitude) {
    std::vector<float> samples(size_t(seconds * rate) * 2);
    for (size_t f = 0; f < samples.size() / 2; ++f)
        samples[2 * f] = samples[2 * f + 1] =
            float(amplitude * std::sin(2 * std::numbers::pi * hz * double(f) / rate));
    return nwWriteStereo(path, rate, samples);
}

// The level and pitch of the loudest second of a signal: where a tone is.
struct NwToneCheck {
    double rms = 0.0;
    double hz = 0.0;

    template <typename Sample>
    static NwToneCheck loudestSecond(const std::vector<Sample>& x, size_t frames, double rate,
                                     double fullScale = 1.0) {
        NwToneCheck check;
        const size_t window = size_t(rate);
        if (frames < window)
            return check;
        double bestEnergy = -1;
        size_t bestStart = 0;
        for (size_t start = 0; start + window <= frames; start += window / 10) {
            double energy = 0;
            for (size_t i = start; i < start + window; ++i)
                energy += double(x[i]) * double(x[i]);
            if (energy > bestEnergy) {
                bestEnergy = energy;
                bestStart = start;
            }
        }
        check.rms = std::sqrt(bestEnergy / double(window)) / fullScale;
        int crossings = 0;
        for (size_t i = bestStart + 1; i < bestStart + window; ++i)
            crossings += (x[i - 1] < 0) != (x[i] < 0);
        check.hz = crossings / 2.0;
        return check;
    }
};
