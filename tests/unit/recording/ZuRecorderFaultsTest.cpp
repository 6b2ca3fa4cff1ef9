// The recorder under faults of its surroundings: a disk that fills, a record
// folder that goes away, hostile entries in the folder, a split whose new
// file cannot be made.
#include "ZuRecorderTestSupport.h"
#include "audio/AuBufferList.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuQueBuffer.h"
#include "support/NwAiffHeader.h"
#include "support/NwFileSizeLimit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

class RecorderFaultsTest : public RecorderFixture {
protected:
    QString temp() const { return folder() + "/.NightwardenTempFile"; }
    // Waits (on the write thread, not the clock) until the condition holds.
    static bool waitFor(const std::function<bool()>& condition) {
        QDeadlineTimer deadline(15000);
        while (!condition() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return condition();
    }
    // Left channel of the files, in order, against the input frame by frame.
    static void expectInputWithoutGap(const std::vector<int16_t>& interleaved, int channels,
                                      int ratio) {
        ASSERT_FALSE(interleaved.empty());
        const int64_t first = inputFrameOf(interleaved[0]);
        ASSERT_GE(first, 0);
        for (size_t k = 0; k * channels < interleaved.size(); ++k)
            ASSERT_EQ(interleaved[k * channels],
                      fileValue(rampLeft(uint64_t(first) + uint64_t(k) * ratio)))
                << "frame " << k;
    }
};

} // namespace

TEST_F(RecorderFaultsTest, AFullDiskEndsTheFileAtItsLastBatchWithoutASplice) {
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuRecorder& r = launch();
    switchRecording(1);
    run(2.0);
    ASSERT_TRUE(waitFor([this] { return QFileInfo(temp()).size() > 4096; }));
    LogCapture log;
    {
        // The next batch finds the disk full part way through.
        NwFileSizeLimit limit(QFileInfo(temp()).size() + 1001);
        run(1.0);
        ASSERT_TRUE(waitFor([&r] { return !r.fileWriteing(); }));
    }
    // Room again, and more sound, before the failure is answered.
    run(1.0);
    ASSERT_TRUE(waitFor([this] { return !answerer->modalAlerts.isEmpty(); }));
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileWriteError");
    EXPECT_EQ(r.condition(), 0);

    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1);
    const QString path = folder() + "/" + names[0];
    nwExpectHeaderMatchesSize(path, 2);
    const Sound sound = readSound(path);
    expectInputWithoutGap(sound.samples, 2, 2);
    // The failure is told once, with its reason.
    EXPECT_EQ(log.errors.filter("ZuRecorder: audio file write error").size(), 1)
        << log.errors.join('|').toStdString();
    EXPECT_TRUE(log.errors.contains("ZuRecorder: audio file write error. " +
                                    QString::fromLocal8Bit(strerror(EFBIG)) + "."))
        << log.errors.join('|').toStdString();
    EXPECT_TRUE(log.reports.filter("ZuRecorder: data lost").size() == 1)
        << log.reports.join('|').toStdString();
}

TEST_F(RecorderFaultsTest, ARemovedRecordFolderIsMadeAgainAndRecordingGoesOnInANewFile) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(2.0);
    ASSERT_TRUE(waitFor([this] { return QFileInfo(temp()).size() > 4096; }));
    LogCapture log;
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    ZuClock::advance(1.0);
    run(1.0);
    // The next batch notices, and a new file begins in the folder made again.
    ASSERT_TRUE(waitFor([this] { return QFileInfo::exists(temp()); }));
    EXPECT_EQ(r.condition(), 1);
    run(2.0);
    EXPECT_EQ(r.recordButton.state(), 1);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("RecordSwitch"));
    switchRecording(0);

    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    EXPECT_TRUE(log.errors.contains(
        "ZuRecorder: the recording file was removed; recording goes on in a new file."))
        << log.errors.join('|').toStdString();
    EXPECT_FALSE(log.errors.contains("ZuRecorder: record file rename error."));
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1) << names.join(' ').toStdString();
    // Named from the moment the removal was noticed, after the sound the
    // removed file held.
    EXPECT_GE(names[0].mid(22, 6), "143025") << names[0].toStdString();
    const Sound sound = readSound(folder() + "/" + names[0]);
    expectInputWithoutGap(sound.samples, 1, 2);
    EXPECT_GE(double(sound.samples.size()) / sound.rate, 2.0);
}

TEST_F(RecorderFaultsTest, ALinkPlantedAsTheTemporaryFileIsNeverFollowed) {
    launch();
    ZuRecorder& r = recorder();
    const QString outside = nwTestDir() + "/notes.txt";
    const QByteArray text(20000, 'n');
    QFile notes(outside);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write(text);
    notes.close();
    ASSERT_TRUE(QFile::link(outside, temp()));
    LogCapture log;
    r.rescueTempFile();
    EXPECT_TRUE(log.errors.filter("the temporary file is left alone").size() == 1)
        << log.errors.join('|').toStdString();
    EXPECT_TRUE(recordings().isEmpty());
    // A recording started now replaces the link, not what it points to.
    switchRecording(1);
    run(1.0);
    switchRecording(0);
    EXPECT_EQ(recordings().size(), 1);
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), text);
    EXPECT_FALSE(QFileInfo(temp()).isSymLink());
}

TEST_F(RecorderFaultsTest, TheRescueTakesOnlyWhatThisProgramCouldHaveWritten) {
    ZuSettings::standard().setString("20070315_143022", "WriteStartTempFile");
    launch();
    ZuRecorder& r = recorder();
    QDir().mkpath(folder());
    // Cut off in the header's first write: no sound, no recording.
    writeBytesTo(temp(), 300);
    LogCapture log;
    r.rescueTempFile();
    EXPECT_FALSE(QFile::exists(temp()));
    EXPECT_TRUE(recordings().isEmpty());
    EXPECT_TRUE(
        log.reports.contains("ZuRecorder: last recording file held no sound and is removed."));

    // A whole header and no sound: removed as well.
    {
        AuStreamBasicDescription format;
        format.mSampleRate = 22050;
        format.mChannelsPerFrame = 2;
        ASSERT_TRUE(controler->mechanic()->createAudioFileWithFormat(format, temp()));
    }
    r.rescueTempFile();
    EXPECT_FALSE(QFile::exists(temp()));
    EXPECT_TRUE(recordings().isEmpty());

    // A header claiming seven channels is no recording of this program.
    {
        AuStreamBasicDescription format;
        format.mSampleRate = 22050;
        format.mChannelsPerFrame = 7;
        format.mBitsPerChannel = 16;
        format.mFormatID = kAudioFormatLinearPCM;
        auto file = ZuAudioFile::create(temp(), format);
        ASSERT_TRUE(file);
        const QByteArray sound(7 * 2 * 22050, '\x02');
        file->writeBytes(0, uint32_t(sound.size()), sound.constData());
    }
    r.rescueTempFile();
    EXPECT_TRUE(QFile::exists(temp()));
    EXPECT_TRUE(recordings().isEmpty());
    QFile::remove(temp());

    // A recording cut in the middle of a frame keeps its whole frames.
    {
        AuStreamBasicDescription format;
        format.mSampleRate = 22050;
        format.mChannelsPerFrame = 2;
        ASSERT_TRUE(controler->mechanic()->createAudioFileWithFormat(format, temp()));
    }
    QFile grown(temp());
    ASSERT_TRUE(grown.open(QIODevice::Append));
    grown.write(QByteArray(4 * 22050 + 3, '\x01'));
    grown.close();
    r.rescueTempFile();
    const QStringList names = recordings();
    ASSERT_EQ(names, QStringList{"_Nightwarden_20070315_143022~143023.aif"});
    nwExpectHeaderMatchesSize(folder() + "/" + names[0], 2);
    EXPECT_EQ(readSound(folder() + "/" + names[0]).samples.size(), 2u * 22050);
}

TEST_F(RecorderFaultsTest, ASplitWhoseFileCannotBeMadeKeepsItsSurplusOutOfLaterRecordings) {
    ZuSettings::standard().setFloat(30.0f, "MaxRecordTime");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuRecorder& r = launch();
    // The split's new file cannot be made: something else holds its name.
    ZuNotificationCenter::defaultCenter().addObserver(
        ZuLogEvent::notificationName, this, [this](const ZuNotification& n) {
            if (n.object.toString() == "RecordingStop")
                QDir().mkpath(temp());
        });
    LogCapture log;
    switchRecording(1);
    // 14:30:22 to the minute tick of 14:31:00: 38 s, 8 s over the maximum.
    run(39.0);
    ZuNotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_EQ(r.condition(), 0);
    EXPECT_TRUE(log.errors.contains("ZuRecorder: record file create error."));
    EXPECT_FALSE(QFile::exists(folder() + "/.NightwardenRelayFile"));
    ASSERT_TRUE(QDir(temp()).removeRecursively());

    // Recording again half a minute later.
    ZuClock::advance(29.0);
    switchRecording(1);
    run(3.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    // The surplus is back in the file of its own span, named by its real stop.
    EXPECT_EQ(names[0], "_Nightwarden_20070315_143022~143100.aif");
    EXPECT_TRUE(log.reports.filter("ZuRecorder: over record 8.000000seconds are kept in").size() ==
                1)
        << log.reports.join('|').toStdString();
    const Sound first = readSound(folder() + "/" + names[0]);
    nwExpectHeaderMatchesSize(folder() + "/" + names[0], 1);
    expectInputWithoutGap(first.samples, 1, 1);
    EXPECT_NEAR(double(first.samples.size()) / 44100, 38.0, 0.15);
    // The later recording holds its own three seconds only.
    const Sound later = readSound(folder() + "/" + names[1]);
    EXPECT_NEAR(double(later.samples.size()) / 44100, 3.0, 0.15);
    expectInputWithoutGap(later.samples, 1, 1);
}

TEST_F(RecorderFaultsTest, ASplitWhoseRelayCannotBeMadeNamesBothFilesByTheSoundTheyHold) {
    ZuSettings::standard().setFloat(30.0f, "MaxRecordTime");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    launch();
    // Something else holds the relay file's name.
    QDir().mkpath(folder() + "/.NightwardenRelayFile/kept");
    LogCapture log;
    switchRecording(1);
    run(41.0);
    switchRecording(0);
    EXPECT_TRUE(log.errors.contains("ZuRecorder: cannot open over record temp file."));
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 2) << names.join(' ').toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_143022~143100.aif");
    EXPECT_TRUE(names[1].startsWith("_Nightwarden_20070315_143100~14310"));
    std::vector<int16_t> all;
    for (const QString& name : names) {
        const Sound sound = readSound(folder() + "/" + name);
        all.insert(all.end(), sound.samples.begin(), sound.samples.end());
    }
    expectInputWithoutGap(all, 1, 1);
    EXPECT_TRUE(QFileInfo::exists(folder() + "/.NightwardenRelayFile/kept"));
}

TEST_F(RecorderFaultsTest, WithTheHourSwitchEveryHourSplitsUnderATwoHourMaximum) {
    ZuSettings::standard().setFloat(7200.0f, "MaxRecordTime");
    ZuSettings::standard().setBool(true, "StartOnTheHour");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(9, 59, 50)));
    launch();
    switchRecording(1);
    run(15.0);
    // The hour passes with no input to write; the sound goes on where it was.
    ZuClock::advance(3590.0);
    run(10.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 3) << names.join(' ').toStdString();
    EXPECT_EQ(names[0], "_Nightwarden_20070315_095950~100000.aif");
    EXPECT_EQ(names[1], "_Nightwarden_20070315_100000~110000.aif");
    EXPECT_TRUE(names[2].startsWith("_Nightwarden_20070315_110000~11000"));
    std::vector<int16_t> all;
    for (const QString& name : names) {
        const Sound sound = readSound(folder() + "/" + name);
        all.insert(all.end(), sound.samples.begin(), sound.samples.end());
    }
    expectInputWithoutGap(all, 1, 1);
    EXPECT_NEAR(double(all.size()) / 44100, 25.0, 0.15);
}

TEST_F(RecorderFaultsTest, AStartOfTheUsersInsideMinuteZeroIsNotSplitInThatMinute) {
    window = &modelWindow;
    ZuSettings::standard().setBool(true, "StartOnTheHour");
    ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(12, 0, 0, 300)));
    launch();
    switchRecording(1);
    run(2.0);
    switchRecording(0);
    EXPECT_EQ(recordings(), QStringList{"_Nightwarden_20070315_120000~120002.aif"});
}

TEST_F(RecorderFaultsTest, AProgressLinkThatCannotBeRemovedStaysNamedInTheSettings) {
    ZuRecorder& r = launch();
    // Nothing can remove this entry, even for root.
    const QString stuck = folder() + "/_Nightwarden_20070315_143022~143025.aif";
    writeBytesTo(stuck + "/inside", 10);
    ZuSettings::standard().setString(stuck, "ProgressSoundFileName");
    r.deleteProgressSoundFile();
    EXPECT_EQ(ZuSettings::standard().stringForKey("ProgressSoundFileName"), stuck);
    QDir(stuck).removeRecursively();
    r.deleteProgressSoundFile();
    EXPECT_TRUE(ZuSettings::standard().stringForKey("ProgressSoundFileName").isEmpty());
}

TEST_F(RecorderFaultsTest, EachCaptureCycleQueuesExactlyTheFramesItBrought) {
    ZuRecorder& r = launch();
    AuDevice* device = controler->devicer()->recordDevice();
    ZuQueBuffer* que = r.soundQue();
    ASSERT_NE(que, nullptr);
    que->clearData();
    // Cycles of varying length, as a sound server under load delivers them.
    std::vector<float> brought;
    for (const uint32_t frames : {512u, 100u, 37u, 300u, 512u}) {
        AuBufferList* list = AuBufferListNew(2, frames, false);
        for (uint32_t f = 0; f < frames; ++f)
            for (uint32_t c = 0; c < 2; ++c) {
                const float value = float(brought.size() + 1) / 65536.0f;
                static_cast<float*>(list->mBuffers[c].mData)[f] = value;
                brought.push_back(value);
            }
        const AuTimeStamp now{};
        r.recordIOForDevice(device, &now, list, &now, nullptr, &now, nullptr);
        AuBufferListDispose(list);
    }
    ASSERT_EQ(que->remain(), brought.size() * 4);
    std::vector<float> queued(brought.size());
    que->readFloat32Data(queued.data(), uint32_t(queued.size()));
    EXPECT_EQ(queued, brought);
}

TEST_F(RecorderFaultsTest, TheOverflowCountHoldsMoreThanThirtyTwoBits) {
    ZuRecorder& r = launch();
    switchRecording(1);
    r.endWriteThread();
    // The queue stays full while nothing reads it: every cycle overflows.
    std::vector<float> cycle(size_t(1) << 20, 0.25f);
    const uint32_t bytes = uint32_t(cycle.size() * 4);
    const uint32_t fill = r.soundQue()->empty() / bytes + 1;
    for (uint32_t i = 0; i < fill; ++i)
        r.captureSamples(cycle.data(), bytes);
    const int64_t before = r.overflowCount();
    const uint32_t cycles = 600; // 2.5 GB beyond what the queue holds
    for (uint32_t i = 0; i < cycles; ++i)
        r.captureSamples(cycle.data(), bytes);
    EXPECT_EQ(r.overflowCount() - before, int64_t(cycles) * bytes);
    EXPECT_GT(r.overflowCount(), int64_t(INT32_MAX));
}
