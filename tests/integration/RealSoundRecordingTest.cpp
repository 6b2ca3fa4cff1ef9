#include "NightwardenProcess.h"
#include "NwPulseTestServer.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>

// A minute of real sound, end to end: a private sound server with a null
// sink at the rate under test and nothing else reading it, a tone played into
// the sink, and Nightwarden recording the sink's monitor through the server's
// own backend and through PortAudio (ALSA's pulse plugin) at the same time.
//
// An idle null sink wakes every two seconds, so a stream's first sound comes
// up to that late (a sound card's comes at once). The minute measured is the
// one after the split on the hour, a few seconds into the run.

namespace {

constexpr double kRunSeconds = 60.0;

class RealSoundRecordingTest : public ::testing::TestWithParam<int> {
protected:
    QString dir;
    QString sink;
    QProcessEnvironment server; // what the server's clients need
    std::unique_ptr<NwPulseTestServer> pulse;

    void SetUp() override {
        // The release stage of the suite runs these: the sanitizer stages
        // start no sound server, and ALSA's plugin keeps memory a leak check
        // would report.
        if (qEnvironmentVariable("NW_PULSE_SINK").isEmpty())
            GTEST_SKIP()
                << "real sound runs with a test server (eval \"$(scripts/pulse-test-server)\")";
        for (const char* tool : {"pulseaudio", "paplay", "pactl"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is missing (scripts/bootstrap installs it)";
        dir = nwTestDir();
        sink = QStringLiteral("nw_real_%1").arg(GetParam());
        pulse = std::make_unique<NwPulseTestServer>(dir, sink, GetParam());
        const QString failure = pulse->start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        server = pulse->environment();
    }

    // One recorder on one backend.
    struct Recorder {
        QString backend;
        QString folder;
        std::unique_ptr<NightwardenProcess> process;
        qint64 startedMs = -1; // when its second recording's file appeared
        qint64 stoppedMs = -1;
    };

    static QStringList recordings(const QString& folder) {
        return QDir(folder).entryList({"_Nightwarden_*.aif*"}, QDir::Files, QDir::Name);
    }
};

} // namespace

TEST_P(RealSoundRecordingTest, AMinuteFromTheSinksMonitorIsWholeOnBothBackends) {
    const double serverRate = GetParam();
    QProcess tone;
    tone.setProcessEnvironment(server);
    tone.start(
        "paplay",
        {"-d", sink, nwWriteTone(dir + "/tone.wav", serverRate, kRunSeconds + 25, 997.0, 0.5)});
    ASSERT_TRUE(tone.waitForStarted());

    std::vector<Recorder> recorders;
    for (const QString backend : {"pulse", "portaudio"}) {
        const int source = pulse->monitorSource(backend);
        ASSERT_GE(source, 0);
        Recorder r{backend, dir + "/" + backend, std::make_unique<NightwardenProcess>(dir), -1, -1};
        QDir().mkpath(r.folder);
        pulse->prepare(*r.process);
        r.process->start({"--headless", "--audio", backend, "--settings", r.folder + "/s.conf",
                          "--set", "DirectoryPath=" + r.folder, "--set", "RecordSwitch=true",
                          "--set", "RecordMode=0", "--set", "SamplingRateNumber=2", "--set",
                          "ChannelsNumber=2", "--set",
                          "recordSourceDevice=" + QString::number(source), "--clock-start",
                          "2007-03-15T10:59:56"});
        recorders.push_back(std::move(r));
    }

    // The second recording's span by the wall clock: from its file's
    // appearance at the split to the stop the test asks for a minute later.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < (kRunSeconds + 20) * 1000) {
        bool allStopped = true;
        for (Recorder& r : recorders) {
            if (r.startedMs < 0 && recordings(r.folder).size() >= 2)
                r.startedMs = clock.elapsed();
            if (r.startedMs >= 0 && r.stoppedMs < 0 &&
                clock.elapsed() - r.startedMs >= kRunSeconds * 1000) {
                r.stoppedMs = clock.elapsed();
                r.process->terminate();
            }
            allStopped = allStopped && r.stoppedMs >= 0;
        }
        if (allStopped)
            break;
        QThread::msleep(2);
    }
    tone.kill();
    tone.waitForFinished();

    for (Recorder& r : recorders) {
        SCOPED_TRACE(r.backend.toStdString());
        ASSERT_TRUE(r.process->waitForFinished(30000));
        const QString output = r.process->output();
        ASSERT_GE(r.startedMs, 0) << "no split on the hour:\n" << output.toStdString();
        EXPECT_EQ(r.process->exitCode(), 0) << output.toStdString();
        EXPECT_FALSE(output.contains("data lost")) << output.toStdString();
        EXPECT_FALSE(output.contains("is lost")) << output.toStdString();

        const QStringList names = recordings(r.folder);
        ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
        EXPECT_TRUE(names[1].contains("_20070315_110000~")) << names[1].toStdString();
        const NwSound sound = NwSound::read(r.folder + "/" + names[1]);
        // The server's backend runs at the server's rate; ALSA's plugin
        // offers its own default.
        const int rate = r.backend == "pulse" ? int(serverRate) : 44100;
        ASSERT_EQ(sound.rate, rate);
        ASSERT_EQ(sound.channels, 2);
        const double seconds = double(sound.samples.size() / 2) / rate;
        const double span = (r.stoppedMs - r.startedMs) / 1000.0;
        std::printf("%s at %d Hz: %.3f s recorded in a %.3f s span\n",
                    r.backend.toUtf8().constData(), rate, seconds, span);
        EXPECT_NEAR(seconds, span, 0.2);

        // The tone throughout: every whole second but the first and the last
        // at its level and pitch, so that no gap or glitch hides inside.
        std::vector<int16_t> left;
        for (size_t i = 0; i < sound.samples.size(); i += 2)
            left.push_back(sound.samples[i]);
        int badSeconds = 0;
        for (size_t second = 1; second + 2 < size_t(seconds); ++second) {
            const std::vector<int16_t> part(left.begin() + long(second * rate),
                                            left.begin() + long((second + 1) * rate));
            const NwToneCheck check = NwToneCheck::loudestSecond(part, part.size(), rate, 32767.0);
            if (std::abs(check.rms - 0.5 / std::sqrt(2.0)) > 0.02 ||
                std::abs(check.hz - 997.0) > 3.0)
                ++badSeconds;
        }
        EXPECT_EQ(badSeconds, 0);

        QFile log(r.folder + "/NightwardenLog.txt");
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const QString book = QString::fromUtf8(log.readAll());
        EXPECT_TRUE(book.contains("lost data\t= 0bytes")) << book.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(ServerRates, RealSoundRecordingTest, ::testing::Values(44100, 48000),
                         [](const auto& info) { return std::to_string(info.param); });
