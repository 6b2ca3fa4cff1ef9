// The headless program under faults of its surroundings, end to end: a disk
// that fills, a record folder removed while recording, a split whose new
// file cannot be made. Small volumes are tmpfs mounts where the machine
// allows them.
#include "NightwardenProcess.h"
#include "NwHeadlessFixture.h"
#include "support/NwAiffHeader.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace {

// A tmpfs mounted on a folder for the test's life, when the machine lets it.
class SmallVolume {
public:
    SmallVolume(const QString& path, const QString& options) : path(QFile::encodeName(path)) {
        QDir().mkpath(path);
        mounted = ::mount("tmpfs", this->path.constData(), "tmpfs", 0,
                          options.toLatin1().constData()) == 0;
    }
    ~SmallVolume() {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;
    bool isMounted() const { return mounted; }

private:
    QByteArray path;
    bool mounted = false;
};

struct FaultRecordingTest : NwHeadlessFixture {
    // Recording at once, 44.1 kHz stereo, from the ramp.
    QStringList recording(const QString& clockStart) const {
        return base("file:" + ramp(), clockStart) << "--set"
                                                  << "RecordSwitch=true"
                                                  << "--set"
                                                  << "SamplingRateNumber=2"
                                                  << "--set"
                                                  << "ChannelsNumber=2";
    }
    static void waitForFile(NightwardenProcess& run, const QString& path, qint64 above) {
        QDeadlineTimer deadline(15000);
        while (QFileInfo(path).size() <= above && !deadline.hasExpired())
            run.waitForOutput("never printed", 50);
    }
};

} // namespace

TEST_F(FaultRecordingTest, AFullDiskLeavesAFileEndingAtItsLastBatchWithTheReasonAndTheLoss) {
    // One megabyte holds about six seconds of 44.1 kHz stereo.
    SmallVolume volume(folder, "size=1m");
    NightwardenProcess run(nwTestDir());
    QString reason = QString::fromLocal8Bit(strerror(ENOSPC));
    if (!volume.isMounted()) {
        run.limitFileSize(1024 * 1024);
        reason = QString::fromLocal8Bit(strerror(EFBIG));
    }
    run.start(recording("2007-03-15T10:20:00") << "--quit-after"
                                               << "10");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QString output = run.output();
    // The failure is told once, with its reason.
    EXPECT_EQ(output.count("ZuRecorder: audio file write error."), 1) << output.toStdString();
    EXPECT_TRUE(output.contains("ZuRecorder: audio file write error. " + reason + "."))
        << output.toStdString();
    EXPECT_TRUE(output.contains("ZuRecorder: data lost")) << output.toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1) << output.toStdString();
    const QString path = folder + "/" + names[0];
    nwExpectHeaderMatchesSize(path, 2);
    const NwSound sound = NwSound::read(path);
    EXPECT_GT(sound.samples.size(), size_t(deviceRate) * 2 * 3);
    expectRamp(leftOf(sound), 1);
    EXPECT_EQ(stored("RecordSwitch"), "false");
}

TEST_F(FaultRecordingTest, ARecordFolderRemovedWhileRecordingIsMadeAgainAndRecordingGoesOn) {
    NightwardenProcess run(nwTestDir());
    run.start(recording("2007-03-15T10:20:00"));
    ASSERT_TRUE(run.waitForOutput("on duty without a window"));
    const QString temp = folder + "/.NightwardenTempFile";
    waitForFile(run, temp, 4096);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(run.waitForOutput("recording goes on in a new file"));
    waitForFile(run, temp, 4096 + deviceRate * 4);
    run.terminate();
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_FALSE(run.output().contains("FileWriteError")) << run.output().toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1) << run.output().toStdString();
    expectRamp(leftOf(NwSound::read(folder + "/" + names[0])), 1);
    EXPECT_EQ(stored("RecordSwitch"), "true");
    EXPECT_TRUE(stored("ProgressSoundFileName").isEmpty());
}

TEST_F(FaultRecordingTest, ASplitWhoseSurplusCannotBeCarriedKeepsItInTheFileOfItsOwnSpan) {
    // Room for the folder, the log book, the recording and its progress
    // link, but not for the relay file that would carry the surplus.
    SmallVolume volume(folder, "size=64m,nr_inodes=4");
    if (!volume.isMounted())
        GTEST_SKIP() << "this machine does not let the test mount a tmpfs, whose few inodes "
                        "make the split's relay file fail";
    NightwardenProcess run(nwTestDir());
    // 8 s at the minute tick of 14:01:00 with a 5 s maximum: 3 s of surplus.
    run.start(recording("2007-03-15T14:00:52") << "--set"
                                               << "StartOnTheHour=false"
                                               << "--set"
                                               << "MaxRecordTime=5"
                                               << "--quit-after"
                                               << "11");
    ASSERT_TRUE(run.waitForFinished());
    EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QString output = run.output();
    EXPECT_TRUE(output.contains("ZuRecorder: cannot open over record temp file."))
        << output.toStdString();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString() << output.toStdString();
    // Each file is named by the sound it holds: the first ends at the split.
    EXPECT_EQ(names[0], "_Nightwarden_20070315_140052~140100.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_140100~1401"));
    EXPECT_FALSE(QFile::exists(folder + "/.NightwardenRelayFile"));
    std::vector<int16_t> all;
    for (const QString& name : names) {
        nwExpectHeaderMatchesSize(folder + "/" + name, 2);
        const std::vector<int16_t> left = leftOf(NwSound::read(folder + "/" + name));
        all.insert(all.end(), left.begin(), left.end());
    }
    // All of it, the surplus included: seven seconds and more.
    EXPECT_GT(double(leftOf(NwSound::read(folder + "/" + names[0])).size()) / deviceRate, 7.0);
    expectRamp(all, 1);
}
