// Values the recorder cannot use, given on the command line or found in the
// settings file: refused with their range, or replaced by the default with one
// console line; the program never hangs or crashes on them.
#include "NightwardenProcess.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace {

// Every numeric setting with a value just below and just above its range.
struct Range {
    const char* key;
    const char* below;
    const char* above;
    const char* range;
};

const Range ranges[] = {
    {"WindowOpacity", "-0.5", "1.5", "0 to 1"},
    {"LastSelectedTabIndex", "-1", "10", "0 to 9"},
    {"RecordMode", "-1", "3", "0 to 2"},
    {"AutoStartLevel", "-1", "21", "0 to 20"},
    {"MonitorSwitch", "-1", "2", "0 to 1"},
    {"SamplingRateNumber", "-1", "3", "0 to 2"},
    {"ChannelsNumber", "0", "3", "1 to 2"},
    {"AutoStopDelayTime", "-1", "3601", "0 to 3600"},
    {"PreBufferingSeconds", "-1", "81", "0 to 80"},
    {"MarkerSoundOption", "-1", "5", "0 to 4"},
    {"PeekLevelHoldTime", "-0.5", "61", "0 to 60"},
    {"SoundFileForm", "-1", "1", "0 to 0"},
    {"MaxRecordTime", "-5", "86401", "1 to 86400"},
    {"MaxTotalTime", "-1", "315360001", "0 to 315360000"},
    {"BackupAdviceDataSize", "0.5", "1048577", "1 to 1048576"},
    {"DefaultReserveMonth", "-1", "13", "0 to 12"},
    {"DefaultReserveDay", "-1", "32", "0 to 31"},
    {"DefaultReserveWeek", "-1", "8", "0 to 7"},
    {"DefaultReserveRate", "-1", "3", "0 to 2"},
    {"DefaultReserveChannel", "0", "3", "1 to 2"},
    {"DefaultReserveDevice", "-2", "1000", "-1 to 999"},
    {"DefaultReserveMode", "-1", "2", "0 to 1"},
    {"TimerDrawerState", "-1", "2", "0 to 1"},
    {"StepFast", "0", "1001", "1 to 1000"},
    {"recordSourceDevice", "-2", "1000", "-1 to 999"},
    {"PlaybackSourceDevice", "-2", "1000", "-1 to 999"},
    {"MonitorSourceDevice", "-2", "1000", "-1 to 999"},
    {"KeepFileKeepPeriod", "-1", "3651", "0 to 3650"},
    {"CompressRatio", "0", "2.5", "0.01 to 2"},
};

struct SettingsRangeRunTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QStringList base() const {
        return {"--headless",
                "--settings",
                settings,
                "--audio",
                "virtual",
                "--set",
                "DirectoryPath=" + nwTestDir() + "/records"};
    }
    QString stored(const QString& key) const {
        return QSettings(settings, QSettings::IniFormat).value(key).toString();
    }
    void writeSettings(const QByteArray& bytes) const {
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
};

int linesContaining(const QString& output, const QString& text) {
    int count = 0;
    for (const QString& line : output.split('\n'))
        if (line.contains(text))
            ++count;
    return count;
}

} // namespace

TEST_F(SettingsRangeRunTest, AValueOutOfRangeAtSetEndsWithStatusTwoNamingTheRange) {
    for (const Range& r : ranges) {
        for (const char* value : {r.below, r.above}) {
            const QString assignment = QStringLiteral("%1=%2").arg(r.key, value);
            SCOPED_TRACE(assignment.toStdString());
            NightwardenProcess run(nwTestDir());
            run.start(base() << "--set" << assignment << "--quit-after"
                             << "0");
            ASSERT_TRUE(run.waitForFinished(10000));
            EXPECT_EQ(run.exitCode(), 2) << run.output().toStdString();
            EXPECT_TRUE(run.output().contains(QStringLiteral("out of range (%1)").arg(r.range)))
                << run.output().toStdString();
        }
    }
    // Nothing refused reached the file.
    EXPECT_NE(stored("MaxRecordTime"), "-5");
}

TEST_F(SettingsRangeRunTest, ValuesOutOfRangeInTheFileStartOnTheDefaultsWithOneLineEach) {
    for (const bool below : {true, false}) {
        SCOPED_TRACE(below ? "below" : "above");
        QByteArray text = "[General]\n";
        for (const Range& r : ranges)
            text += QByteArray(r.key) + "=" + (below ? r.below : r.above) + "\n";
        writeSettings(text);
        NightwardenProcess run(nwTestDir());
        run.start(base() << "--quit-after"
                         << "0.5");
        ASSERT_TRUE(run.waitForFinished());
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
        const QString output = run.output();
        for (const Range& r : ranges) {
            const QString said = QStringLiteral("%1=%2").arg(r.key, below ? r.below : r.above);
            EXPECT_EQ(linesContaining(output, said), 1) << said.toStdString();
            EXPECT_TRUE(output.contains(
                said + QStringLiteral(" in %1 is out of range (%2)").arg(settings, r.range)))
                << output.toStdString();
        }
        // The owners saved what they used.
        EXPECT_EQ(stored("MaxRecordTime"), "3600");
        EXPECT_EQ(stored("SoundFileForm"), "0");
        EXPECT_EQ(stored("RecordMode"), "0");
        EXPECT_EQ(stored("ChannelsNumber"), "1");
    }
}

TEST_F(SettingsRangeRunTest, QuitAfterAndVirtualInputThatCouldNeverWorkAreRefusedAtOnce) {
    const QString fifo = nwTestDir() + "/input.fifo";
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"--quit-after", "nan"}, "is not a number of seconds"},
        {{"--quit-after", "inf"}, "--quit-after"},
        {{"--quit-after", "-1"}, "is not a number of seconds"},
        {{"--virtual-input", "file:" + fifo}, "is not a regular file"},
        {{"--virtual-input", "file:" + nwTestDir()}, "is not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        NightwardenProcess run(nwTestDir());
        run.start(base() << c.arguments);
        ASSERT_TRUE(run.waitForFinished(10000));
        EXPECT_EQ(run.exitCode(), 2) << run.output().toStdString();
        EXPECT_TRUE(run.output().contains(c.message)) << run.output().toStdString();
    }
}

TEST_F(SettingsRangeRunTest, ASettingsFileOfRandomBytesIsKeptAsideOnceAndTheRunStartsOnDefaults) {
    std::mt19937 generator(11);
    QByteArray noise;
    for (int i = 0; i < 8192; ++i)
        noise.append(char(generator() & 0xff));
    writeSettings(noise);
    NightwardenProcess run(nwTestDir());
    run.start(base() << "--quit-after"
                     << "0.5");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QString output = run.output();
    EXPECT_EQ(linesContaining(output, "could not be read"), 1) << output.toStdString();
    EXPECT_EQ(linesContaining(output, "cannot write"), 0) << output.toStdString();
    QFile copy(settings + ".corrupt");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), noise);
    EXPECT_EQ(stored("MaxRecordTime"), "3600");
    EXPECT_EQ(stored("TroubleTermination"), "false");
}
