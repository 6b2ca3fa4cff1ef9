// Scheduled recording end to end on the headless program: the entries and
// the switch come from --set, the clock from --clock-start, and the program
// records each window on its own.
#include "NightwardenProcess.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

struct HeadlessScheduleTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QString folder = nwTestDir() + "/records";

    QStringList base(const QString& input, const QString& timerList) const {
        return {"--headless",
                "--settings",
                settings,
                "--audio",
                "virtual",
                "--virtual-input",
                input,
                "--set",
                "DirectoryPath=" + folder,
                "--clock-start",
                "2007-03-15T09:59:57",
                "--set",
                "ReserveSwitch=true",
                "--set",
                "TimerList=" + timerList};
    }
    QStringList recordings() const {
        return QDir(folder).entryList({"_Nightwarden_*.aif*"}, QDir::Files, QDir::Name);
    }
    QString stored(const QString& key) const {
        return QSettings(settings, QSettings::IniFormat).value(key).toString();
    }
    QString book() const {
        QFile file(folder + "/NightwardenLog.txt");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QByteArray information(const QString& name) const {
        QFile file(folder + "/" + name);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(256))
            return {};
        return file.read(100);
    }
};

} // namespace

TEST_F(HeadlessScheduleTest, AnEntryRecordsExactlyItsWindowWithItsOwnSettings) {
    // 10:00:02 to 10:00:06, always mode, whole rate, stereo, first source.
    NightwardenProcess run(nwTestDir());
    run.start(base("tone:440:0.5", R"([["Bells",1,36002,36006,0,2,2,0,0,0,0]])")
              << "--set"
              << "SamplingRateNumber=0"
              << "--set"
              << "ChannelsNumber=1"
              << "--quit-after"
              << "11");
    ASSERT_TRUE(run.waitForFinished(30000));
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    ASSERT_EQ(recordings(), QStringList{"_Nightwarden_20070315_100002~100006.aif"})
        << run.output().toStdString();
    const NwSound sound = NwSound::read(folder + "/" + recordings()[0]);
    EXPECT_EQ(sound.rate, 44100);
    ASSERT_EQ(sound.channels, 2);
    EXPECT_NEAR(double(sound.samples.size()) / 2 / 44100, 4.0, 0.25);
    EXPECT_TRUE(information(recordings()[0]).contains("Bells"));
    const QString text = book();
    EXPECT_EQ(text.count("timer(Bells)\n"), 2) << text.toStdString();
    // The quit ended the duty, not the schedule: the switch is kept, and the
    // user's own settings are what is stored.
    EXPECT_EQ(stored("ReserveSwitch"), "true");
    EXPECT_EQ(stored("SamplingRateNumber"), "0");
}

TEST_F(HeadlessScheduleTest, ALevelTriggeredEntryRecordsOnlyTheBurstsInsideItsWindow) {
    // One-second bursts every three seconds; the window is 10:00:03 to 10:00:09.
    NightwardenProcess run(nwTestDir());
    run.start(base("bursts:1:2:0.5", R"([["Watch",1,36003,36009,1,1,1,0,0,0,0]])")
              << "--set"
              << "AutoStartLevel=10"
              << "--set"
              << "PreBufferingSeconds=0"
              << "--set"
              << "AutoStopDelayTime=0"
              << "--quit-after"
              << "16");
    ASSERT_TRUE(run.waitForFinished(40000));
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_GE(names.size(), 1) << run.output().toStdString();
    for (const QString& name : names) {
        const QString start = name.mid(22, 6);
        const QString stop = name.mid(29, 6);
        EXPECT_GE(start, "100003") << name.toStdString();
        EXPECT_LE(stop, "100009") << name.toStdString();
    }
}

TEST_F(HeadlessScheduleTest, ATimerListThatDoesNotParseIsRefused) {
    for (const QString& list : {QStringLiteral("[[\"A\",1,0"), QStringLiteral("7")}) {
        NightwardenProcess run(nwTestDir());
        run.start({"--headless", "--settings", settings, "--audio", "virtual", "--set",
                   "TimerList=" + list, "--quit-after", "1"});
        ASSERT_TRUE(run.waitForFinished());
        EXPECT_EQ(run.exitCode(), 2) << list.toStdString() << run.output().toStdString();
    }
}
