// Record files: names and the "+" rule, the information block, the split
// with the over-record carried through the relay file, and the rescues.
#include "ZuRecorderTestSupport.h"
#include "playback/ZuAnalyzer.h"
#include "playback/ZuWaveView.h"
#include "recording/ZuAudioFile.h"
#include "support/NwFileSizeLimit.h"

namespace {

class RecorderFilesTest : public RecorderFixture {
protected:
    static QByteArray information(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        file.seek(256);
        return file.read(64).split('\0').first();
    }
    void makeTemp(qint64 soundBytes, double rate, int channels) {
        AuStreamBasicDescription format;
        format.mSampleRate = rate;
        format.mChannelsPerFrame = uint32_t(channels);
        QDir().mkpath(folder());
        auto file = controler->mechanic()->createAudioFileWithFormat(
            format, folder() + "/.NightwardenTempFile");
        ASSERT_TRUE(file);
        const QByteArray sound(int(soundBytes), '\x01');
        ASSERT_EQ(file->writeBytes(0, uint32_t(sound.size()), sound.constData()),
                  ZuAudioFile::Status::NoError);
        file->close();
    }
};

} // namespace

TEST_F(RecorderFilesTest, NamesCarryStartAndStopAndTakeAPlusWhenTaken) {
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuRecorder& r = launch();
    // Armed in always mode, as the record button does; the meter's tick keeps
    // deciding meanwhile.
    auto record = [this](double seconds) {
        switchRecording(1);
        run(seconds);
        switchRecording(0);
    };
    for (int i = 0; i < 2; ++i) {
        ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(14, 30, 22)));
        record(1.0);
    }
    EXPECT_EQ(recordings(), (QStringList{"_Nightwarden_20070315_143022~143023+.aif",
                                         "_Nightwarden_20070315_143022~143023.aif"}));
    EXPECT_EQ(information(folder() + "/_Nightwarden_20070315_143022~143023.aif"),
              "_Nightwarden_20070315_143022~14302322050SX");
    r.setHideSoundFile(true);
    ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(23, 59, 59)));
    record(2.0);
    const QString hidden = folder() + "/.Nightwarden_20070315_235959~000001.aif";
    ASSERT_TRUE(QFile::exists(hidden)) << recordings().join(' ').toStdString();
    EXPECT_EQ(information(hidden), "_Nightwarden_20070315_235959~00000122050SX");
    EXPECT_TRUE(ZuMechanic::isSoundFile(QFileInfo(hidden).fileName()));
}

TEST_F(RecorderFilesTest, ASplitAtTheMaximumCarriesTheSurplusWithoutGapOrRepeat) {
    ZuSettings::standard().setFloat(30.0f, "MaxRecordTime");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    launch();
    switchRecording(1);
    // 14:30:22 to the minute tick of 14:31:00: 38 s, of which 8 s go on.
    run(48.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_143022~143052.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_143052~1431"));
    EXPECT_FALSE(QFile::exists(folder() + "/.NightwardenRelayFile"));
    const Sound a = readSound(folder() + "/" + names[0]);
    const Sound b = readSound(folder() + "/" + names[1]);
    // Cut at 30 s of the clock, which the stepped input leads by at most a
    // run's chunk.
    EXPECT_NEAR(double(a.samples.size()), 30.0 * 44100, 0.12 * 44100);
    std::vector<int16_t> all = a.samples;
    all.insert(all.end(), b.samples.begin(), b.samples.end());
    const int64_t first = inputFrameOf(all[0]);
    ASSERT_GE(first, 0);
    for (size_t k = 0; k < all.size(); ++k)
        ASSERT_EQ(all[k], fileValue(rampLeft(uint64_t(first) + k))) << k;
    EXPECT_NEAR(double(all.size()), 48.0 * 44100, 1100);
}

TEST_F(RecorderFilesTest, ACrashedRecordingIsRescuedWithItsStarNote) {
    ZuSettings::standard().setString("20070315_143022", "WriteStartTempFile");
    launch();
    makeTemp(2646000, 22050, 2);
    ZuRecorder& r = recorder();
    r.rescueTempFile();
    const QString rescued = folder() + "/_Nightwarden_20070315_143022~143052.aif";
    ASSERT_TRUE(QFile::exists(rescued)) << recordings().join(' ').toStdString();
    EXPECT_EQ(information(rescued), "_Nightwarden_20070315_143022~14305222050SX*");
    EXPECT_EQ(r.lastCrashDate(), QDateTime(QDate(2007, 3, 15), QTime(14, 30, 52)));
    EXPECT_EQ(readSound(rescued).samples.size(), 2646000u / 2);
    // The same name again: the second rescue takes a "+".
    makeTemp(2646000, 22050, 2);
    LogCapture log;
    r.rescueTempFile();
    EXPECT_TRUE(QFile::exists(folder() + "/_Nightwarden_20070315_143022~143052+.aif"));
    EXPECT_TRUE(log.reports.contains("ZuRecorder: last recording file is rescued."));
}

TEST_F(RecorderFilesTest, ATemporaryFileLeftByAFailedRenameIsSavedBeforeTheNextStart) {
    ZuSettings::standard().setString("20070315_141000", "WriteStartTempFile");
    launch();
    makeTemp(441000, 22050, 1);
    ZuRecorder& r = recorder();
    r.setChannels(1);
    r.startRecording();
    run(1.0);
    r.stopRecording();
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_141000~141010.aif");
    EXPECT_EQ(readSound(folder() + "/" + names[0]).samples.size(), 441000u / 2);
}

TEST_F(RecorderFilesTest, AnUnwritableFolderEndsInTheEmergencyStopWithTheAlert) {
    ZuRecorder& r = launch();
    // A file where the folder was: no file can be made there, even by root.
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    writeBytesTo(folder(), 10);
    LogCapture log;
    switchRecording(1);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_EQ(r.recordButton.state(), 0);
    EXPECT_EQ(r.actionMethod(), 4);
    ASSERT_FALSE(answerer->modalAlerts.isEmpty());
    EXPECT_EQ(answerer->modalAlerts.last().messageKey, "FileCreateError");
    EXPECT_TRUE(log.errors.contains("ZuRecorder: record file create error."));
}

TEST_F(RecorderFilesTest, SleepEndsTheFileAtTheSleepMomentAndWakeBeginsAnother) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(3.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::willSleepNotification);
    EXPECT_EQ(r.actionMethod(), 5);
    ZuClock::advance(20.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::didWakeNotification);
    EXPECT_EQ(r.condition(), 1);
    run(2.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0], "_Nightwarden_20070315_143022~143025.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_143045~14304"));
}

TEST_F(RecorderFilesTest, AStopInTheSecondOfTheProgressLinkKeepsTheRecordingsOwnName) {
    launch();
    switchRecording(1);
    run(0.3);
    switchRecording(0);
    EXPECT_EQ(recordings(), QStringList{"_Nightwarden_20070315_143022~143022.aif"});
}

TEST_F(RecorderFilesTest, BetweenSleepAndWakeNoSplitRunsAndAnEndedRecordingStaysEnded) {
    ZuSettings::standard().setFloat(30.0f, "MaxRecordTime");
    ZuRecorder& r = launch();
    switchRecording(1);
    run(3.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::willSleepNotification);
    // The minute tick at 14:31:00 finds the file past its maximum, but the
    // wake's split is the one due.
    run(40.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::didWakeNotification);
    // The file that ended at the sleep, and the progress link of the one
    // the wake began.
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_143022~143025.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_14310")) << names[1].toStdString();
    EXPECT_EQ(r.condition(), 1);

    // Asleep again, the recording is switched off before the wake comes.
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::willSleepNotification);
    switchRecording(0);
    LogCapture log;
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::didWakeNotification);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_TRUE(log.errors.isEmpty()) << log.errors.join(' ').toStdString();
    EXPECT_EQ(recordings().size(), 2);
}

TEST_F(RecorderFilesTest, AWriteThatFailsAtTheStopIsStillAnsweredWithTheAlert) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(1.0);
    LogCapture log;
    {
        // The last batch, written by the stop, finds the disk full.
        NwFileSizeLimit limit(ZuAudioFile::headerLength);
        switchRecording(0);
    }
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    ZuClock::advance(0.1);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(log.errors.filter("ZuRecorder: audio file write error").size(), 1)
        << log.errors.join('|').toStdString();
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileWriteError");
    EXPECT_EQ(r.actionMethod(), 4);
    EXPECT_FALSE(ZuSettings::standard().boolForKey("RecordSwitch"));
    // What was written is kept under its name.
    EXPECT_EQ(recordings().size(), 1);
}

TEST_F(RecorderFilesTest, EveryFinishedRescuedOrRenewedRecordingGetsItsPicture) {
    ZuSettings::standard().setString("20070315_141000", "WriteStartTempFile");
    launch();
    makeTemp(441000, 22050, 1);
    ZuRecorder& r = recorder();
    ZuAnalyzer& analyzer = *controler->analyzer();
    r.rescueTempFile();
    const QString rescued = folder() + "/_Nightwarden_20070315_141000~141010.aif";
    analyzer.waitUntilDone();
    EXPECT_EQ(QImage(ZuAnalyzer::imageFilePath(rescued)).size(), ZuWaveView::defaultSize);

    // The progress file's picture follows its renewals, one at a time.
    switchRecording(1);
    run(2.0);
    const QString first = ZuSettings::standard().stringForKey("ProgressSoundFileName");
    r.renewalProgressSoundFile();
    const QString second = ZuSettings::standard().stringForKey("ProgressSoundFileName");
    ASSERT_NE(first, second);
    analyzer.waitUntilDone();
    EXPECT_TRUE(ZuAnalyzer::imageFileExistAtPath(second));
    run(2.0);
    r.renewalProgressSoundFile();
    const QString third = ZuSettings::standard().stringForKey("ProgressSoundFileName");
    analyzer.waitUntilDone();
    EXPECT_FALSE(ZuAnalyzer::imageFileExistAtPath(second));
    EXPECT_TRUE(ZuAnalyzer::imageFileExistAtPath(third));

    // The stop names the recording and draws it; the progress picture goes.
    run(1.0);
    switchRecording(0);
    analyzer.waitUntilDone();
    EXPECT_FALSE(ZuAnalyzer::imageFileExistAtPath(third));
    const QStringList pictures =
        QDir(folder()).entryList({"*.tif"}, QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(pictures, (QStringList{".Nightwarden_20070315_141000~141010.tif",
                                     ".Nightwarden_20070315_143022~143027.tif"}));
}
