// Keeping end to end with the headless program: the oldest recordings leave
// the record folder for the keep folder, compressed by the real command, and
// come back whole; failures and quits leave nothing lost.
#include "NightwardenProcess.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

namespace {

// Three ten-minute recordings of the night before.
const QStringList oldRecordings = {"_Nightwarden_20070315_010000~011000.aif",
                                   "_Nightwarden_20070315_020000~021000.aif",
                                   "_Nightwarden_20070315_030000~031000.aif"};

struct HeadlessKeepingTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QString records = nwTestDir() + "/records";
    QString kept = nwTestDir() + "/kept";
    QMap<QString, QByteArray> originals;

    void SetUp() override {
        QDir().mkpath(records);
        for (int n = 0; n < oldRecordings.size(); ++n) {
            const QString path = records + "/" + oldRecordings[n];
            SF_INFO info{};
            info.samplerate = 11025;
            info.channels = 1;
            info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
            SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
            ASSERT_TRUE(file);
            std::vector<short> samples(11025 * 4);
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = short((int(i) * (n + 3)) % 2000 - 1000);
            sf_write_short(file, samples.data(), sf_count_t(samples.size()));
            sf_close(file);
            QFile read(path);
            ASSERT_TRUE(read.open(QIODevice::ReadOnly));
            originals[oldRecordings[n]] = read.readAll();
        }
    }
    // Keeping on; 30 minutes of recordings against 10 allowed (plus one
    // minute): the recording started at launch makes room by keeping the two
    // oldest.
    QStringList arguments(const QString& keepFolder = {}) const {
        return {"--headless",
                "--settings",
                settings,
                "--audio",
                "virtual",
                "--virtual-input",
                "tone:440:0.3",
                "--clock-start",
                "2007-03-15T10:20:00",
                "--set",
                "DirectoryPath=" + records,
                "--set",
                "KeepFileKeepFolder=" + (keepFolder.isEmpty() ? kept : keepFolder),
                "--set",
                "KeepOperation=true",
                "--set",
                "MaxRecordTime=60",
                "--set",
                "MaxTotalTime=600",
                "--set",
                "RecordSwitch=true"};
    }
    QStringList namesIn(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    static QByteArray bunzip(const QString& path) {
        QProcess unzip;
        unzip.start("/usr/bin/bunzip2", {"-c", path});
        unzip.waitForFinished();
        return unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray();
    }
    // A command that runs bzip2 once the file "release" exists.
    QString slowCommand() const {
        const QString path = nwTestDir() + "/slow-compress";
        QFile script(path);
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\n"
                                    "touch '%1/started'\n"
                                    "while [ ! -e '%1/release' ]; do sleep 0.02; done\n"
                                    "exec /usr/bin/bzip2 -f \"$1\"\n")
                         .arg(nwTestDir())
                         .toUtf8());
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    // Starts the program with a command that waits, and signals it once the
    // command runs.
    void signalWhileCompressing(NightwardenProcess& run) const {
        run.start(arguments() << "--set"
                              << "CommandPathString=" + slowCommand() << "--set"
                              << "CommandArgumentString=%@");
        ASSERT_TRUE(run.waitForOutput("ZuKeeper: compressing")) << run.output().toStdString();
        run.terminate();
        ASSERT_TRUE(run.waitForOutput("quitting when keeping is complete"))
            << run.output().toStdString();
    }
    // The two oldest recordings are in the keep folder, whole and uncompressed.
    void expectUncompressedCopies() const {
        ASSERT_EQ(namesIn(kept), (QStringList{oldRecordings[0], oldRecordings[1]}));
        for (const QString& name : {oldRecordings[0], oldRecordings[1]}) {
            QFile copy(kept + "/" + name);
            ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
            EXPECT_EQ(copy.readAll(), originals[name]);
        }
    }
    QString logBook() const {
        QFile file(records + "/NightwardenLog.txt");
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }
};

} // namespace

TEST_F(HeadlessKeepingTest, TheOldestRecordingsAreKeptCompressedAndComeBackWhole) {
    NightwardenProcess run(nwTestDir());
    run.start(arguments() << "--quit-after"
                          << "3");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_EQ(namesIn(kept), (QStringList{oldRecordings[0] + ".bz2", oldRecordings[1] + ".bz2"}))
        << run.output().toStdString();
    const QStringList left = namesIn(records).filter(".aif");
    EXPECT_FALSE(left.contains(oldRecordings[0]));
    EXPECT_FALSE(left.contains(oldRecordings[1]));
    EXPECT_TRUE(left.contains(oldRecordings[2]));
    for (const QString& name : {oldRecordings[0], oldRecordings[1]}) {
        const QByteArray back = bunzip(kept + "/" + name + ".bz2");
        EXPECT_EQ(back, originals[name]) << name.toStdString();
        // The same name and the same sound, read by an independent reader.
        const QString restored = nwTestDir() + "/" + name;
        QFile out(restored);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(back);
        out.close();
        const NwSound sound = NwSound::read(restored);
        EXPECT_EQ(sound.rate, 11025);
        EXPECT_EQ(sound.samples.size(), size_t(11025 * 4));
    }
    const int drains = int(run.output().count("Notification to DateKeepComplete"));
    EXPECT_GE(drains, 1);
    EXPECT_LE(drains, 2);
}

TEST_F(HeadlessKeepingTest, WithoutTheCommandTheCopiesStayUncompressed) {
    NightwardenProcess run(nwTestDir());
    run.start(arguments() << "--set"
                          << "CommandPathString=/nonexistent/bzip2"
                          << "--quit-after"
                          << "3");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    ASSERT_NO_FATAL_FAILURE(expectUncompressedCopies()) << run.output().toStdString();
    EXPECT_EQ(logBook().count("File compresser not exist error."), 2) << logBook().toStdString();
}

TEST_F(HeadlessKeepingTest, AKeepFolderThatIsTheRecordFolderLosesNoRecording) {
    for (const QString& keepFolder : {records, records + "/keep"}) {
        SCOPED_TRACE(keepFolder.toStdString());
        NightwardenProcess run(nwTestDir());
        run.start(arguments(keepFolder) << "--quit-after"
                                        << "3");
        ASSERT_TRUE(run.waitForFinished());
        EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
        EXPECT_TRUE(run.output().contains("is the record folder")) << run.output().toStdString();
        // Every recording is where it was, or kept in the default folder.
        const QString fallback = nwTestDir() + "/Documents/NightwardenPreserve";
        for (const QString& name : oldRecordings) {
            QFile still(records + "/" + name);
            if (still.open(QIODevice::ReadOnly))
                EXPECT_EQ(still.readAll(), originals[name]) << name.toStdString();
            else
                EXPECT_EQ(bunzip(fallback + "/" + name + ".bz2"), originals[name])
                    << name.toStdString() << run.output().toStdString();
        }
    }
}

TEST_F(HeadlessKeepingTest, QuittingDuringASlowCommandWaitsThenEndsByItself) {
    NightwardenProcess run(nwTestDir());
    ASSERT_NO_FATAL_FAILURE(signalWhileCompressing(run));
    EXPECT_FALSE(run.output().contains("DutyFinish"));
    QFile(nwTestDir() + "/release").open(QIODevice::WriteOnly);
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("---dataKeepCompletedHandler---"));
    EXPECT_EQ(namesIn(kept), (QStringList{oldRecordings[0] + ".bz2", oldRecordings[1] + ".bz2"}));
    EXPECT_TRUE(logBook().contains("DUTY FINISH")) << logBook().toStdString();
}

TEST_F(HeadlessKeepingTest, ASecondSignalQuitsAtOnceLeavingTheCopiesUncompressed) {
    NightwardenProcess run(nwTestDir());
    ASSERT_NO_FATAL_FAILURE(signalWhileCompressing(run));
    run.terminate();
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("quitting without waiting for compression"));
    EXPECT_TRUE(run.output().contains("2 copies stay uncompressed")) << run.output().toStdString();
    ASSERT_NO_FATAL_FAILURE(expectUncompressedCopies()) << run.output().toStdString();
}
