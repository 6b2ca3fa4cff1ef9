// The monitor heard through a real sound server: a private server with two
// null sinks, a tone played into the first, Nightwarden recording that sink's
// monitor at 44.1 kHz and monitoring into the second sink at 48 kHz, and the
// second sink's monitor read back with pacat.
#include "NightwardenProcess.h"
#include "NwPulseTestServer.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

class RealSoundMonitorTest : public testing::Test {
protected:
    QString dir;
    QProcessEnvironment server;
    std::unique_ptr<NwPulseTestServer> pulse;

    void SetUp() override {
        if (qEnvironmentVariable("NW_PULSE_SINK").isEmpty())
            GTEST_SKIP()
                << "real sound runs with a test server (eval \"$(scripts/pulse-test-server)\")";
        for (const char* tool : {"pulseaudio", "paplay", "pactl", "pacat"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is missing (scripts/bootstrap installs it)";
        dir = nwTestDir();
        pulse = std::make_unique<NwPulseTestServer>(dir, "nw_monitor_out", 48000, true);
        const QString failure = pulse->start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        server = pulse->environment();
        ASSERT_EQ(tool("pactl",
                       {"load-module", "module-null-sink", "sink_name=nw_monitor_in", "rate=44100",
                        "channels=2", "sink_properties=device.description=nw_monitor_in"}),
                  0);
    }
    int tool(const QString& program, const QStringList& arguments) const {
        QProcess process;
        process.setProcessEnvironment(server);
        process.start(program, arguments);
        process.waitForFinished(30000);
        return process.exitCode();
    }

    // The number a source has in the listing's section of that title.
    int sourceNumber(const QString& section, const QString& name) const {
        NightwardenProcess list(dir);
        list.setEnvironmentValue("PULSE_SERVER", server.value("PULSE_SERVER"));
        list.start({"--audio", "pulse", "--settings", dir + "/list.conf", "--list-devices"});
        list.waitForFinished(30000);
        bool inSection = false;
        for (const QString& line : list.output().split('\n')) {
            if (line.startsWith(section))
                inSection = true;
            else if (line.isEmpty())
                inSection = false;
            else if (inSection && line.simplified().section(' ', 1) == name)
                return line.simplified().section(' ', 0, 0).toInt();
        }
        ADD_FAILURE() << "no " << name.toStdString() << " in:\n" << list.output().toStdString();
        return -1;
    }
};

} // namespace

TEST_F(RealSoundMonitorTest, TheMonitorOutputReachesARealSinkAtItsRate) {
    const int record = sourceNumber("Record sources", "Monitor of nw_monitor_in");
    const int monitor = sourceNumber("Playback and monitor sources", "nw_monitor_out");
    ASSERT_GE(record, 0);
    ASSERT_GE(monitor, 0);

    QProcess tone;
    tone.setProcessEnvironment(server);
    tone.start("paplay",
               {"-d", "nw_monitor_in", nwWriteTone(dir + "/tone.wav", 44100, 30, 1000, 0.5)});
    NightwardenProcess run(dir);
    run.setEnvironmentValue("PULSE_SERVER", server.value("PULSE_SERVER"));
    run.start({"--headless", "--audio", "pulse", "--settings", dir + "/nightwarden.conf", "--set",
               "DirectoryPath=" + dir + "/records", "--set",
               QStringLiteral("recordSourceDevice=%1").arg(record), "--set",
               QStringLiteral("MonitorSourceDevice=%1").arg(monitor), "--set", "MonitorSwitch=1",
               "--quit-after", "20"});
    QProcess reader;
    reader.setProcessEnvironment(server);
    const QString heard = dir + "/heard.raw";
    reader.start("pacat", {"-r", "-d", "nw_monitor_out.monitor", "--format=float32le",
                           "--rate=48000", "--channels=2", "--raw", heard});
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    reader.terminate();
    reader.waitForFinished(10000);
    tone.kill();
    tone.waitForFinished(10000);

    QFile file(heard);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<float> left;
    const auto* samples = reinterpret_cast<const float*>(bytes.constData());
    for (qsizetype i = 0; i + 1 < bytes.size() / 4; i += 2)
        left.push_back(samples[i]);
    const NwToneCheck check = NwToneCheck::loudestSecond(left, left.size(), 48000);
    EXPECT_NEAR(check.hz, 1000.0, 5.0);
    EXPECT_NEAR(check.rms, 0.5 / std::sqrt(2.0), 0.05);
}
