#pragma once

#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

// The headless program on the paced virtual backend, fed a ramp of distinct
// values so that any recorded stretch can be found in the input, with a
// settings file and a record folder of the test's own.
struct NwHeadlessFixture : testing::Test {
    static constexpr int deviceRate = 44100;
    static constexpr int rampFrames = 40000;

    static float rampLeft(int64_t i) { return float(int(i % rampFrames) - 20000) / 32768.0f; }
    static int16_t fileValue(float x) { return int16_t(x * 32767.0f); }
    // The ramp frame the value belongs to, or -1.
    static int64_t rampFrameOf(int16_t left) {
        for (int i = 0; i < rampFrames; ++i)
            if (fileValue(rampLeft(i)) == left)
                return i;
        return -1;
    }

    QString settings = nwTestDir() + "/nightwarden.conf";
    QString folder = nwTestDir() + "/records";

    // The ramp in the left channel and its mirror in the right one.
    QString ramp() const {
        const QString path = nwTestDir() + "/ramp.wav";
        std::vector<float> samples;
        for (int i = 0; i < rampFrames; ++i) {
            samples.push_back(rampLeft(i));
            samples.push_back(-rampLeft(i));
        }
        SF_INFO info{};
        info.samplerate = deviceRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
        sf_writef_float(file, samples.data(), rampFrames);
        sf_close(file);
        return path;
    }
    // The clock starts mid-hour unless a test says otherwise, so that no run
    // meets a split on the hour or midnight by the wall clock's chance.
    QStringList base(const QString& input,
                     const QString& clockStart = QStringLiteral("2007-03-15T10:20:00")) const {
        return {"--headless",    "--settings", settings,
                "--audio",       "virtual",    "--virtual-input",
                input,           "--set",      "DirectoryPath=" + folder,
                "--clock-start", clockStart};
    }
    QStringList recordings() const {
        return QDir(folder).entryList({"_Nightwarden_*.aif*"}, QDir::Files, QDir::Name);
    }
    QString stored(const QString& key) const {
        return QSettings(settings, QSettings::IniFormat).value(key).toString();
    }
    // The recordings' left channel, concatenated, checked to follow the ramp
    // without a gap or a repeat, every ratio-th frame.
    static void expectRamp(const std::vector<int16_t>& left, int ratio) {
        ASSERT_FALSE(left.empty());
        const int64_t first = rampFrameOf(left[0]);
        ASSERT_GE(first, 0);
        for (size_t k = 0; k < left.size(); ++k)
            ASSERT_EQ(left[k], fileValue(rampLeft(first + int64_t(k) * ratio))) << "sample " << k;
    }
    static std::vector<int16_t> leftOf(const NwSound& sound) {
        std::vector<int16_t> left;
        for (size_t i = 0; i < sound.samples.size(); i += size_t(sound.channels))
            left.push_back(sound.samples[i]);
        return left;
    }
};
