#pragma once

#include "recording/ZuAudioFile.h"

#include <QString>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

// Writes a sound file in the recorder's own layout whose interleaved sample i
// is value(i), for i from `from` on (the samples before it are left a hole).
inline void nwWriteAiff(const QString& path, int64_t samples,
                        const std::function<int16_t(int64_t)>& value, int channels = 1,
                        double rate = 44100.0, int64_t from = 0) {
    AuStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = uint32_t(channels);
    auto file = ZuAudioFile::create(path, format);
    ASSERT_TRUE(file);
    std::vector<int16_t> chunk;
    for (int64_t begin = from; begin < samples; begin += 1 << 16) {
        chunk.clear();
        for (int64_t i = begin; i < std::min(samples, begin + (1 << 16)); ++i)
            chunk.push_back(qToBigEndian(value(i)));
        ASSERT_EQ(file->writeBytes(begin * 2, uint32_t(chunk.size() * 2), chunk.data()),
                  ZuAudioFile::Status::NoError);
    }
    ASSERT_EQ(file->close(), ZuAudioFile::Status::NoError);
}
