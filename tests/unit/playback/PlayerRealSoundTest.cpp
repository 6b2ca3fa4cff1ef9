// Playback through a real sound server: the test server's null sink is the
// play device, a recording at the sink's rate or a marker sound is played,
// and the sink's monitor, read back with pacat, carries their samples.
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/pulse/AuPulseHardware.h"
#include "playback/ZuPlayer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuTimeMarker.h"
#include "shell/ZuControler.h"
#include "support/NwAiff.h"
#include "support/NwTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Frame k of the recording: left and right together tell k.
int16_t frameSample(int64_t i) {
    const int64_t k = i / 2;
    return int16_t(i % 2 == 0 ? k % 30000 + 1 : -(k / 30000 + 1));
}

// The test server's sink as the play device of a launched controller, and
// pacat recording the sink's monitor.
class PlayerRealSound : public testing::Test {
protected:
    void SetUp() override {
        sink = qEnvironmentVariable("NW_PULSE_SINK");
        if (sink.isEmpty())
            GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                            "(eval \"$(scripts/pulse-test-server)\" starts one)";
        if (QStandardPaths::findExecutable("pacat").isEmpty())
            GTEST_SKIP() << "pacat is missing (scripts/bootstrap installs it)";
        rate = qEnvironmentVariable("NW_PULSE_RATE", "48000").toDouble();
        QDir().mkpath(records());
        ZuSettings& store = ZuSettings::standard();
        store.setString(records(), "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        store.setBool(false, "EndressPlayMode");
        ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
    }
    void TearDown() override {
        controler.reset();
        AuHardware::install(nullptr);
    }

    static QString records() { return nwTestDir() + "/records"; }

    // Launches with the sink as the play source and starts listening.
    void launch() {
        auto backend = std::make_unique<AuPulseHardware>();
        ASSERT_TRUE(backend->isConnected());
        AuHardware::install(std::move(backend));
        controler = std::make_unique<ZuControler>();
        controler->awakeFromNib();
        ZuDevice& devicer = *controler->devicer();
        const QStringList sources = devicer.usablePlaySourceNames();
        int source = -1;
        for (int i = 0; i < sources.size(); ++i)
            if (sources[i].contains(sink))
                source = i;
        ASSERT_GE(source, 0) << sources.join(", ").toStdString();
        devicer.changePlaySource(source);
        ASSERT_EQ(devicer.playSampleRate(), rate);
        controler->applicationDidFinishLaunching();
        reader.start("pacat", {"-r", "-d", sink + ".monitor", "--format=float32le",
                               "--rate=" + QString::number(int(rate)), "--channels=2", "--raw",
                               heardPath()});
        ASSERT_TRUE(reader.waitForStarted(10000));
    }

    // Waits while the condition holds, then for the sink's last buffers to
    // reach the monitor; answers the float stereo heard.
    template <typename While> std::vector<float> heard(While playing) {
        const QDeadlineTimer deadline(30000);
        while (playing()) {
            EXPECT_FALSE(deadline.hasExpired());
            if (deadline.hasExpired())
                break;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        const QDeadlineTimer drain(4000);
        while (!drain.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        reader.terminate();
        reader.waitForFinished(10000);
        controler->applicationWillTerminate();
        QFile file(heardPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        return std::vector<float>(samples, samples + bytes.size() / 4);
    }

    static QString heardPath() { return nwTestDir() + "/heard.raw"; }

    QString sink;
    double rate = 0.0;
    std::unique_ptr<ZuControler> controler;
    QProcess reader;
};

} // namespace

TEST_F(PlayerRealSound, ARecordingPlaysIntoARealSinkSampleForSample) {
    const int64_t frames = int64_t(rate) * 2;
    nwWriteAiff(records() + "/_Nightwarden_20070315_120000~120002.aif", frames * 2, frameSample, 2,
                rate);
    launch();
    ZuPlayer& player = *controler->player();
    player.renewListAndControl();
    player.dataView.setSelectedIndex(0);
    player.changeSelectRow();
    player.actPlayback();
    ASSERT_TRUE(player.playbacking());
    const std::vector<float> heardSamples = heard([&] { return player.playbacking(); });
    const auto count = heardSamples.size();
    // Every heard frame of the recording is exact and comes after the
    // one before it: nothing repeated or out of order.
    int64_t heardFrames = 0;
    int64_t last = -1;
    for (size_t i = 0; i + 1 < count; i += 2) {
        const int left = int(std::lround(heardSamples[i] * 32768.0f));
        const int right = int(std::lround(heardSamples[i + 1] * 32768.0f));
        if (left < 1 || right > -1)
            continue;
        const int64_t k = int64_t(-right - 1) * 30000 + left - 1;
        ASSERT_EQ(heardSamples[i], frameSample(k * 2) / 32768.0f) << i;
        ASSERT_EQ(heardSamples[i + 1], frameSample(k * 2 + 1) / 32768.0f) << i;
        ASSERT_GT(k, last) << i;
        last = k;
        ++heardFrames;
    }
    // A fresh server stream may lose some milliseconds while it settles.
    EXPECT_GE(heardFrames, frames * 9 / 10);
    EXPECT_EQ(last, frames - 1);
}

TEST_F(PlayerRealSound, TheMarkerPreviewIsHeardOnTheSinkInOrder) {
    launch();
    ZuPrefer& prefer = *controler->prefer();
    prefer.preferButton.setState(1);
    prefer.preferButton.perform();
    const int item = int(prefer.markerSoundPopup.items().indexOf("Chime"));
    ASSERT_GE(item, 0);
    prefer.markerSoundPopup.setSelectedIndex(item);
    prefer.markerPlayButton.perform();
    ZuPlayer& player = *controler->player();
    ASSERT_TRUE(player.shortSoundPlaying());
    QString error;
    const std::vector<float> sound =
        ZuTimeMarker::playableSound(controler->mechanic(), "Chime", rate, error);
    ASSERT_FALSE(sound.empty()) << error.toStdString();
    const std::vector<float> heardSamples = heard([&] { return player.shortSoundPlaying(); });
    // Each heard sounding frame is a frame of the sound, none before the one
    // heard last: the sound plays once, in order, and nothing else is heard.
    size_t at = 0;
    int64_t sounding = 0;
    int64_t matched = 0;
    for (size_t i = 0; i + 1 < heardSamples.size(); i += 2) {
        if (heardSamples[i] == 0.0f && heardSamples[i + 1] == 0.0f)
            continue;
        ++sounding;
        size_t k = at;
        while (k + 1 < sound.size() &&
               (sound[k] != heardSamples[i] || sound[k + 1] != heardSamples[i + 1]))
            k += 2;
        ASSERT_LT(k + 1, sound.size()) << "heard frame " << i / 2 << " is not in the sound";
        at = k;
        ++matched;
    }
    int64_t soundingFrames = 0;
    for (size_t k = 0; k + 1 < sound.size(); k += 2)
        if (sound[k] != 0.0f || sound[k + 1] != 0.0f)
            ++soundingFrames;
    // A fresh server stream may lose some milliseconds while it settles.
    EXPECT_EQ(matched, sounding);
    EXPECT_GE(sounding, soundingFrames * 8 / 10);
}
