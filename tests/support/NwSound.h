#pragma once

#include <QString>
#include <cstdint>
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
