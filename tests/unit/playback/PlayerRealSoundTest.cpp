// Playback through a real sound server: the test server's null sink is the
// play device, a recording at the sink's rate is played, and the sink's
// monitor, read back with pacat, carries the recording's samples.
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/pulse/AuPulseHardware.h"
#include "playback/ZuPlayer.h"
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

namespace {

// Frame k of the recording: left and right together tell k.
int16_t frameSample(int64_t i) {
    const int64_t k = i / 2;
    return int16_t(i % 2 == 0 ? k % 30000 + 1 : -(k / 30000 + 1));
}

} // namespace

TEST(PlayerRealSound, ARecordingPlaysIntoARealSinkSampleForSample) {
    const QString sink = qEnvironmentVariable("NW_PULSE_SINK");
    if (sink.isEmpty())
        GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                        "(eval \"$(scripts/pulse-test-server)\" starts one)";
    if (QStandardPaths::findExecutable("pacat").isEmpty())
        GTEST_SKIP() << "pacat is missing (scripts/bootstrap installs it)";
    const double rate = qEnvironmentVariable("NW_PULSE_RATE", "48000").toDouble();
    const QString records = nwTestDir() + "/records";
    QDir().mkpath(records);
    const int64_t frames = int64_t(rate) * 2;
    nwWriteAiff(records + "/_Nightwarden_20070315_120000~120002.aif", frames * 2, frameSample, 2,
                rate);

    auto backend = std::make_unique<AuPulseHardware>();
    ASSERT_TRUE(backend->isConnected());
    AuHardware::install(std::move(backend));
    ZuSettings& store = ZuSettings::standard();
    store.setString(records, "DirectoryPath");
    store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
    store.setBool(false, "EndressPlayMode");
    ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
    {
        ZuControler controler;
        controler.awakeFromNib();
        ZuDevice& devicer = *controler.devicer();
        const QStringList sources = devicer.usablePlaySourceNames();
        int source = -1;
        for (int i = 0; i < sources.size(); ++i)
            if (sources[i].contains(sink))
                source = i;
        ASSERT_GE(source, 0) << sources.join(", ").toStdString();
        devicer.changePlaySource(source);
        ASSERT_EQ(devicer.playSampleRate(), rate);
        controler.applicationDidFinishLaunching();

        QProcess reader;
        const QString heard = nwTestDir() + "/heard.raw";
        reader.start("pacat",
                     {"-r", "-d", sink + ".monitor", "--format=float32le",
                      "--rate=" + QString::number(int(rate)), "--channels=2", "--raw", heard});
        ASSERT_TRUE(reader.waitForStarted(10000));
        ZuPlayer& player = *controler.player();
        player.renewListAndControl();
        player.dataView.setSelectedIndex(0);
        player.changeSelectRow();
        player.actPlayback();
        ASSERT_TRUE(player.playbacking());
        const QDeadlineTimer deadline(30000);
        while (player.playbacking()) {
            ASSERT_FALSE(deadline.hasExpired());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        // The sink's last buffers reach the monitor after the end is seen.
        const QDeadlineTimer drain(4000);
        while (!drain.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        reader.terminate();
        reader.waitForFinished(10000);
        controler.applicationWillTerminate();

        QFile file(heard);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto* heardSamples = reinterpret_cast<const float*>(bytes.constData());
        const qsizetype count = bytes.size() / 4;
        // Every heard frame of the recording is exact and comes after the
        // one before it: nothing repeated or out of order.
        int64_t heardFrames = 0;
        int64_t last = -1;
        for (qsizetype i = 0; i + 1 < count; i += 2) {
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
    AuHardware::install(nullptr);
}
