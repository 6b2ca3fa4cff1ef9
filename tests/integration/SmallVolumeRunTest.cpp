// Recording on a volume smaller than one recording of the longest length: no
// deleting can make room for one, so the earlier recordings stay, the duty
// records what fits, and the user is told.
#include "NightwardenProcess.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace {

struct SmallVolumeRunTest : testing::Test {
    QString volume = nwTestDir() + "/volume";
    QString folder = volume + "/records";
    bool mounted = false;

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(volume));
        if (::mount("tmpfs", volume.toUtf8().constData(), "tmpfs", 0, "size=50m") != 0)
            GTEST_SKIP() << "cannot mount a 50 MB tmpfs here (" << std::strerror(errno)
                         << "): the small volume is not tried";
        mounted = true;
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    void TearDown() override {
        if (mounted)
            ::umount2(volume.toUtf8().constData(), MNT_DETACH);
    }
    // A valid recording of two megabytes under a recording's name.
    void writeRecording(const QString& name) const {
        SF_INFO info{};
        info.samplerate = 22050;
        info.channels = 1;
        info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open((folder + "/" + name).toUtf8().constData(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        std::vector<short> samples(1 << 20, 1000);
        sf_write_short(file, samples.data(), sf_count_t(samples.size()));
        sf_close(file);
    }
    QStringList recordings() const {
        return QDir(folder).entryList({"_Nightwarden_*.aif"}, QDir::Files, QDir::Name);
    }
};

} // namespace

TEST_F(SmallVolumeRunTest, TheRecordingsStayAndTheDutyRecordsWhatFitsWithAWarning) {
    const QStringList earlier = {"_Nightwarden_20070301_000000~000048.aif",
                                 "_Nightwarden_20070302_000000~000048.aif",
                                 "_Nightwarden_20070303_000000~000048.aif"};
    for (const QString& name : earlier)
        writeRecording(name);
    NightwardenProcess run(nwTestDir());
    run.start({"--headless", "--settings", nwTestDir() + "/nightwarden.conf", "--audio", "virtual",
               "--virtual-input", "tone:440:0.5", "--set", "DirectoryPath=" + folder, "--set",
               "RecordSwitch=true", "--clock-start", "2007-03-15T10:20:00", "--quit-after", "2"});
    ASSERT_TRUE(run.waitForFinished());
    ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();

    const QStringList after = recordings();
    for (const QString& name : earlier)
        EXPECT_TRUE(after.contains(name)) << name.toStdString() << " was deleted";
    ASSERT_EQ(after.size(), 4) << after.join(' ').toStdString();
    const NwSound made = NwSound::read(folder + "/" + after.last());
    EXPECT_EQ(made.rate, 22050);
    EXPECT_GT(made.samples.size(), 22050u);

    const QString warning = QStringLiteral("cannot hold one recording of the longest length");
    EXPECT_TRUE(run.output().contains(warning)) << run.output().toStdString();
    EXPECT_TRUE(
        run.output().contains("Alert: The record folder's volume is smaller than one recording"))
        << run.output().toStdString();
    QFile book(folder + "/NightwardenLog.txt");
    ASSERT_TRUE(book.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(book.readAll()).contains(warning));
}
