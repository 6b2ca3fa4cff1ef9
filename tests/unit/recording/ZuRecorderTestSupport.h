#pragma once

#include "ZuMechanicTestSupport.h"
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"
#include "shell/ZuModelWindow.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// A recorder launched as the application does, on a stepped virtual device
// (44 100 Hz, 512 frames a cycle, stereo) and the manual clock. The input is
// a file of distinct ramp values, so that any stretch of recorded sound can
// be found in it.
class RecorderFixture : public testing::Test {
protected:
    static constexpr double deviceRate = 44100.0;
    static constexpr uint32_t cycleFrames = 512;
    // Distinct stereo frames before the input repeats.
    static constexpr uint32_t rampFrames = 30000;

    void SetUp() override {
        ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(14, 30, 22)));
        ZuSettings& store = ZuSettings::standard();
        store.setString(nwTestDir() + "/records", "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        store.setBool(false, "StartOnTheHour");
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        AuVirtualDeviceConfig config =
            AuVirtualDeviceConfig::standard("Virtual Microphone", "vm", 2, 2);
        config.input.kind = AuVirtualInput::Kind::File;
        config.input.path = writeRamp();
        auto backend = std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{config}, AuVirtualHardware::Pacing::Stepped);
        hardware = backend.get();
        previous = AuHardware::install(std::move(backend));
    }

    void TearDown() override {
        controler.reset();
        AuHardware::install(std::move(previous));
        ZuClock::useSystemTime();
    }

    // The left and right value of input frame i.
    static float rampLeft(uint64_t i) { return float(int(i % rampFrames) - 15000) / 32768.0f; }
    static float rampRight(uint64_t i) { return -rampLeft(i) * 0.5f; }
    static int16_t fileValue(float x) { return int16_t(x * 32767.0f); }

    static QString writeRamp() {
        const QString path = nwTestDir() + "/ramp.wav";
        std::vector<float> samples;
        for (uint32_t i = 0; i < rampFrames; ++i) {
            samples.push_back(rampLeft(i));
            samples.push_back(rampRight(i));
        }
        SF_INFO info{};
        info.samplerate = int(deviceRate);
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
        sf_writef_float(file, samples.data(), rampFrames);
        sf_close(file);
        return path;
    }

    // Launches without a window unless a test sets one first.
    ZuRecorder& launch() {
        controler = std::make_unique<ZuControler>();
        controler->setWindow(window);
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        recorder().setInputLevelSource([this] { return level; });
        return recorder();
    }
    ZuRecorder& recorder() { return *controler->recorder(); }
    // The record button pressed as the user does.
    void switchRecording(int state) {
        recorder().recordButton.setState(state);
        recorder().recordButton.perform();
    }
    QString folder() const { return nwTestDir() + "/records"; }

    // Runs the device at its present rate for about that many seconds,
    // moving the clock along.
    void run(double seconds) {
        const double rate = controler->devicer()->recordSampleRate();
        const auto cycles = uint32_t(std::ceil(seconds * rate / cycleFrames));
        for (uint32_t done = 0; done < cycles; done += 10) {
            const uint32_t n = std::min<uint32_t>(10, cycles - done);
            hardware->step(controler->devicer()->recordDevice()->deviceID(), n);
            ZuClock::advance(n * cycleFrames / rate);
        }
    }

    QStringList recordings() const {
        return QDir(folder()).entryList({"*Nightwarden_*.aif*"}, QDir::Files | QDir::Hidden,
                                        QDir::Name);
    }

    using Sound = NwSound;
    static Sound readSound(const QString& path) { return NwSound::read(path); }

    // The input frame whose left value the first sample holds, or -1.
    static int64_t inputFrameOf(int16_t left) {
        for (uint32_t i = 0; i < rampFrames; ++i)
            if (fileValue(rampLeft(i)) == left)
                return i;
        return -1;
    }

    std::shared_ptr<ZuScriptedAnswerer> answerer;
    AuVirtualHardware* hardware = nullptr;
    std::unique_ptr<AuHardware> previous;
    std::unique_ptr<ZuControler> controler;
    ZuModelWindow modelWindow;
    ZuWindowPort* window = nullptr;
    int32_t level = 0;
};
