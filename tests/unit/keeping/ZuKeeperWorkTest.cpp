// Keeping recordings with real commands: the copy, the worker and its queue,
// the command's failures, the ratio, the trial, and stopping.
#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "support/NwFileSizeLimit.h"
#include "support/NwTestSupport.h"
#include "unit/keeping/ZuKeeperTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString first = "_Nightwarden_20240102_030405~040506.aif";
const QString second = "_Nightwarden_20240102_040506~050607.aif";
const QString third = "_Nightwarden_20240102_050607~060708.aif";

class ZuKeeperWork : public testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(records);
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuSettings::standard().setString(kept, "KeepFileKeepFolder");
        ZuSettings::standard().setBool(true, "KeepOperation");
    }
    std::unique_ptr<ZuKeeper> makeKeeper() {
        auto keeper = std::make_unique<ZuKeeper>();
        keeper->awakeFromNib();
        return keeper;
    }
    QString record(const QString& name, int size = 200000, int seed = 0) {
        writeFile(records + "/" + name, recordingBytes(size, seed));
        return records + "/" + name;
    }
    QStringList keptNames() const {
        return QDir(kept).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    static QByteArray bunzip(const QString& path) {
        QProcess unzip;
        unzip.start("/usr/bin/bunzip2", {"-c", path});
        unzip.waitForFinished();
        return unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray();
    }
    bool drained(ZuKeeper& keeper) {
        return waitUntil([&] { return !keeper.isCompressing(); });
    }

    QString records = nwTestDir() + "/records";
    QString kept = nwTestDir() + "/kept";
    std::shared_ptr<ZuScriptedAnswerer> answerer;
};

} // namespace

TEST_F(ZuKeeperWork, WithKeepingOffNothingIsCopiedAndNoWorkerStarts) {
    ZuSettings::standard().setBool(false, "KeepOperation");
    auto keeper = makeKeeper();
    EXPECT_TRUE(keeper->compressDataFile(record(first)));
    EXPECT_FALSE(keeper->isCompressing());
    EXPECT_TRUE(keptNames().isEmpty());
}

TEST_F(ZuKeeperWork, TheDefaultCommandLeavesOnlyTheCompressedRecordingAndLearnsTheRatio) {
    KeeperEvents events;
    auto keeper = makeKeeper();
    const QString path = record(first);
    const QByteArray original = readFile(path);
    ASSERT_TRUE(keeper->compressDataFile(path));
    ASSERT_TRUE(drained(*keeper));
    EXPECT_EQ(keptNames(), QStringList{first + ".bz2"});
    EXPECT_EQ(bunzip(kept + "/" + first + ".bz2"), original);
    EXPECT_EQ(events.drainCount(), 1);
    EXPECT_EQ(events.completed(), QStringList{kept + "/" + first + "|"});
    EXPECT_TRUE(events.errors().isEmpty()) << events.errors().join('\n').toStdString();
    EXPECT_TRUE(events.lines().contains("ZuKeeper: compressing " + first));
    // The command removed the copy, yet the ratio was measured (before it ran).
    const double r = double(QFileInfo(kept + "/" + first + ".bz2").size()) / original.size();
    ASSERT_TRUE(waitUntil([&] { return keeper->compressRatio() != 0.66f; }));
    EXPECT_FLOAT_EQ(keeper->compressRatio(), float((r + 0.66f) / 2.0));
    EXPECT_FLOAT_EQ(ZuSettings::standard().floatForKey("CompressRatio"), keeper->compressRatio());
    EXPECT_TRUE(waitUntil([&] { return keeper->totalFilesText.text() == "1"; }));
}

TEST_F(ZuKeeperWork, OneWorkerAtATimeDrainsTheQueueAndReportsTheDrainOnce) {
    const QString command = slowCommand(nwTestDir());
    ZuSettings::standard().setString(command, "CommandPathString");
    ZuSettings::standard().setString("%@", "CommandArgumentString");
    KeeperEvents events;
    auto keeper = makeKeeper();
    ASSERT_TRUE(keeper->compressDataFile(record(first, 1000, 1)));
    // The first command is running: two more wait in the queue.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(nwTestDir() + "/started"); }));
    EXPECT_EQ(keeper->compressIndicator.state(), 1);
    ASSERT_TRUE(keeper->compressDataFile(record(second, 1000, 2)));
    ASSERT_TRUE(keeper->compressDataFile(record(third, 1000, 3)));
    EXPECT_TRUE(keeper->isCompressing());
    EXPECT_EQ(events.drainCount(), 0);
    writeFile(nwTestDir() + "/release", {});
    ASSERT_TRUE(drained(*keeper));
    // The command fails when a second copy of it runs beside the first.
    EXPECT_TRUE(events.errors().isEmpty()) << events.errors().join('\n').toStdString();
    EXPECT_EQ(keptNames(), (QStringList{first + ".bz2", second + ".bz2", third + ".bz2"}));
    EXPECT_EQ(events.drainCount(), 1);
    EXPECT_TRUE(waitUntil([&] { return keeper->compressIndicator.state() == 0; }));

    // The next drain is reported again.
    ASSERT_TRUE(keeper->compressDataFile(record("_Nightwarden_20240102_060708~070809.aif")));
    ASSERT_TRUE(drained(*keeper));
    EXPECT_EQ(events.drainCount(), 2);
}

TEST_F(ZuKeeperWork, FailingCommandsLeaveTheCopiesUncompressed) {
    const struct {
        const char* what;
        QString command;
        QString arguments;
        QString logged;
        QString error;
    } cases[] = {
        {"missing command", "/nonexistent/bzip2", "-f %@", "File compresser not exist error.",
         "CompresserNoExistError"},
        {"failing command", "/bin/false", "%@", "File compress execute error.",
         "CompresserExecuteError"},
        {"template without the file", "/usr/bin/bzip2", "-f", "File compress execute error.",
         "CompresserExecuteError"},
        {"command that cannot start", nwTestDir() + "/not-executable", "%@",
         "File compress execute error.", "CompresserExecuteError"},
    };
    writeFile(nwTestDir() + "/not-executable", "#!/bin/sh\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(kept).removeRecursively();
        ZuSettings::standard().setString(c.command, "CommandPathString");
        ZuSettings::standard().setString(c.arguments, "CommandArgumentString");
        KeeperEvents events;
        auto keeper = makeKeeper();
        const QString path = record(first);
        ASSERT_TRUE(keeper->compressDataFile(path));
        ASSERT_TRUE(drained(*keeper));
        EXPECT_EQ(keptNames(), QStringList{first});
        EXPECT_EQ(readFile(kept + "/" + first), readFile(path));
        EXPECT_TRUE(events.errors().contains(c.logged)) << events.errors().join('\n').toStdString();
        EXPECT_EQ(events.completed(), QStringList{kept + "/" + first + "|" + c.error});
        EXPECT_EQ(events.drainCount(), 1);
        EXPECT_FLOAT_EQ(keeper->compressRatio(), 0.66f);
    }
}

TEST_F(ZuKeeperWork, ACommandThatSucceedsWithoutAResultLeavesTheCopy) {
    ZuSettings::standard().setString("/bin/true", "CommandPathString");
    KeeperEvents events;
    auto keeper = makeKeeper();
    ASSERT_TRUE(keeper->compressDataFile(record(first)));
    ASSERT_TRUE(drained(*keeper));
    EXPECT_EQ(keptNames(), QStringList{first});
    ASSERT_EQ(events.errors().size(), 1);
    EXPECT_TRUE(events.errors().first().contains("left no compressed file"));
}

TEST_F(ZuKeeperWork, AHangingCommandRaisesTheOverTimeAlertAndStoppingEndsIt) {
    ZuClock::useManual(QDateTime(QDate(2024, 1, 2), QTime(4, 10)));
    ZuSettings::standard().setString(slowCommand(nwTestDir()), "CommandPathString");
    ZuSettings::standard().setString("%@", "CommandArgumentString");
    KeeperEvents events;
    auto keeper = makeKeeper();
    // A two-second recording.
    const QString name = "_Nightwarden_20240102_040506~040508.aif";
    ASSERT_TRUE(keeper->compressDataFile(record(name)));
    ASSERT_TRUE(keeper->compressDataFile(record(second)));
    ASSERT_TRUE(waitUntil([&] { return keeper->compressIndicator.state() == 1; }));
    ZuClock::advance(1.5);
    EXPECT_TRUE(answerer->shownAlerts.isEmpty());
    ZuClock::advance(1.0);
    ASSERT_EQ(answerer->shownAlerts.size(), 1);
    EXPECT_EQ(answerer->shownAlerts.first().messageKey, "CompressOverTimeAlert");
    EXPECT_EQ(answerer->shownAlerts.first().informativeKey, "CompressOverTimeInfo");

    EXPECT_EQ(keeper->stopCompressing(), 2);
    ASSERT_TRUE(drained(*keeper));
    // Both copies stay whole and uncompressed; no drain is reported.
    EXPECT_EQ(keptNames(), (QStringList{name, second}));
    EXPECT_EQ(readFile(kept + "/" + name), readFile(records + "/" + name));
    EXPECT_EQ(events.drainCount(), 0);
    EXPECT_TRUE(events.errors().isEmpty()) << events.errors().join('\n').toStdString();
}

TEST_F(ZuKeeperWork, DestroyingTheKeeperEndsAHangingCommand) {
    ZuSettings::standard().setString(slowCommand(nwTestDir()), "CommandPathString");
    ZuSettings::standard().setString("%@", "CommandArgumentString");
    auto keeper = makeKeeper();
    ASSERT_TRUE(keeper->compressDataFile(record(first)));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(nwTestDir() + "/started"); }));
    keeper.reset();
    EXPECT_EQ(keptNames(), QStringList{first});
}

TEST_F(ZuKeeperWork, TheTrialReportsItsRatioAndRemovesOnlyItsOwnFiles) {
    KeeperEvents events;
    auto keeper = makeKeeper();
    const QString sample = ZuSettings::standard().stringForKey("SampleDataFilePath") + "/" +
                           ZuSettings::standard().stringForKey("SampleDataFileName");
    ASSERT_TRUE(QFileInfo(sample).isFile()) << sample.toStdString();
    const QString trial = records + "/" + QFileInfo(sample).fileName() + ".test";
    ASSERT_TRUE(QFile::copy(sample, trial));
    writeFile(kept + "/_Nightwarden_20240101_000000~010000.aif.bz2", "kept before");
    ASSERT_TRUE(keeper->compressDataFile(trial));
    ASSERT_TRUE(waitUntil([&] { return answerer->modalAlerts.size() == 1; }));
    EXPECT_EQ(answerer->modalAlerts.first().messageKey, "CompleteKeepAction");
    ASSERT_EQ(events.ratioPosts().size(), 1);
    EXPECT_GT(events.ratioPosts().first(), 0.0);
    EXPECT_LT(events.ratioPosts().first(), 1.0);
    EXPECT_EQ(keptNames(), QStringList{"_Nightwarden_20240101_000000~010000.aif.bz2"});
    ASSERT_TRUE(drained(*keeper));
    EXPECT_EQ(events.drainCount(), 0);

    // A command that succeeds without a result: only the trial copy goes.
    keeper->setCommandPath("/bin/true");
    ASSERT_TRUE(keeper->compressDataFile(trial));
    ASSERT_TRUE(waitUntil([&] { return answerer->modalAlerts.size() == 2; }));
    EXPECT_EQ(answerer->modalAlerts[1].messageKey, "CheckKeepActionError");
    EXPECT_EQ(answerer->modalAlerts[1].informativeKey, "NoCompressedTestInfo");
    EXPECT_EQ(keptNames(), QStringList{"_Nightwarden_20240101_000000~010000.aif.bz2"});
    EXPECT_EQ(events.ratioPosts().size(), 1);

    keeper->setCommandPath("/nonexistent");
    ASSERT_TRUE(keeper->compressDataFile(trial));
    ASSERT_TRUE(waitUntil([&] { return answerer->modalAlerts.size() == 3; }));
    EXPECT_EQ(answerer->modalAlerts[2].informativeKey, "NoCompresserExistInfo");
    ASSERT_TRUE(drained(*keeper));
    EXPECT_EQ(events.drainCount(), 0);
}

TEST_F(ZuKeeperWork, ACopyIsCompleteOrAbsentAndNeverReplacesItsSource) {
    // Across volumes the bytes are copied; a full disk leaves no copy.
    QTemporaryDir other("/dev/shm/nw-keeper-XXXXXX");
    if (!other.isValid())
        GTEST_SKIP() << "no second volume at /dev/shm";
    const QString source = other.path() + "/" + first;
    writeFile(source, recordingBytes(300000));
    QDir().mkpath(kept);
    {
        NwFileSizeLimit limit(100000);
        QString reason;
        EXPECT_FALSE(ZuKeeper::copyFileSafely(source, kept + "/" + first, false, &reason));
        EXPECT_FALSE(reason.isEmpty());
    }
    EXPECT_TRUE(keptNames().isEmpty());
    QString reason;
    ASSERT_TRUE(ZuKeeper::copyFileSafely(source, kept + "/" + first, true, &reason))
        << reason.toStdString();
    EXPECT_EQ(readFile(kept + "/" + first), readFile(source));
    EXPECT_EQ(keptNames(), QStringList{first});

    EXPECT_FALSE(ZuKeeper::copyFileSafely(source, source, true, &reason));
    EXPECT_FALSE(ZuKeeper::copyFileSafely(
        source, other.path() + "/../" + QFileInfo(other.path()).fileName() + "/" + first, true,
        &reason));
    EXPECT_EQ(readFile(source), recordingBytes(300000));
    EXPECT_FALSE(ZuKeeper::copyFileSafely(other.path() + "/missing", kept + "/x", true, &reason));
}

TEST_F(ZuKeeperWork, AKeepFolderThatCannotBeMadeFallsBackToTheDefault) {
    writeFile(nwTestDir() + "/plain", "a file, not a folder");
    ZuSettings::standard().setString(nwTestDir() + "/plain/kept", "KeepFileKeepFolder");
    KeeperEvents events;
    auto keeper = makeKeeper();
    EXPECT_EQ(keeper->keepFolder(), ZuKeeper::defaultKeepFolder());
    EXPECT_TRUE(QFileInfo(ZuKeeper::defaultKeepFolder()).isDir());
    EXPECT_TRUE(events.lines().contains("Keep folder is changed to default"));
    EXPECT_EQ(ZuSettings::standard().stringForKey("KeepFileKeepFolder"),
              ZuKeeper::defaultKeepFolder());
    // One chosen later that cannot be made gives the default as well.
    keeper->setKeepFolder(kept);
    EXPECT_EQ(keeper->keepFolder(), kept);
    keeper->setKeepFolder(nwTestDir() + "/plain/other");
    EXPECT_EQ(keeper->keepFolder(), ZuKeeper::defaultKeepFolder());
}
