// What a recording lost, as the log book and the console tell it: only sound
// that never reached the file counts, whatever the wall clock did meanwhile.
#include "ZuRecorderTestSupport.h"
#include "audio/AuBufferList.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuNotificationCenter.h"
#include "recording/ZuAudioFile.h"
#include "support/NwConsoleCapture.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

namespace {

class RecorderLossTest : public RecorderFixture {
protected:
    void TearDown() override {
        AuBufferListDispose(input);
        RecorderFixture::TearDown();
    }

    // Plays the device's part: cycles of a constant stereo signal whose input
    // times count on from sampleTime, which a test moves to make a gap or a
    // new stream.
    void feed(double seconds, uint32_t frames = cycleFrames) {
        AuBufferListDispose(input);
        input = AuBufferListNew(2, frames, true);
        auto* samples = static_cast<float*>(input->mBuffers[0].mData);
        std::fill(samples, samples + 2 * frames, 0.25f);
        AuDevice* device = controler->devicer()->recordDevice();
        const auto cycles = uint32_t(std::ceil(seconds * deviceRate / frames));
        for (uint32_t i = 0; i < cycles; ++i) {
            AuTimeStamp inputTime;
            inputTime.mSampleTime = sampleTime;
            inputTime.mRateScalar = 1.0;
            inputTime.mFlags = kAuTimeStampSampleTimeValid | kAuTimeStampRateScalarValid;
            AuTimeStamp now = inputTime;
            now.mSampleTime += frames;
            recorder().recordIOForDevice(device, &now, input, &inputTime, nullptr, nullptr,
                                         nullptr);
            sampleTime += frames;
            ZuClock::advance(frames / deviceRate);
        }
    }

    QString stopBlock(int serial) const {
        QFile file(ZuDutyLog::logBookPath(folder()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QString book = QString::fromUtf8(file.readAll());
        const QString header = QStringLiteral("RECORDING STOP #%1").arg(serial, 6, 10, QChar('0'));
        const qsizetype at = book.indexOf(header);
        return at < 0 ? QString() : book.mid(at, book.indexOf("\n\n", at) - at);
    }
    static QStringList lossLines(const NwConsoleCapture& console) {
        return console.lines().filter(QStringLiteral("data lost"));
    }
    qint64 soundBytes(const QString& name) const {
        return QFileInfo(folder() + "/" + name).size() - ZuAudioFile::headerLength;
    }

    AuBufferList* input = nullptr;
    double sampleTime = 1000.0;
};

} // namespace

TEST_F(RecorderLossTest, ACleanRecordingLosesNothingWhenTheClockRunsAheadOfTheSound) {
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuRecorder& r = launch();
    NwConsoleCapture console;
    switchRecording(1);
    run(3.0);
    // The sound of the last 2.5 seconds is still in the device's buffers
    // when the stop comes.
    ZuClock::advance(2.5);
    switchRecording(0);
    QString block = stopBlock(1);
    EXPECT_TRUE(block.contains("\trecord time\t= 00:00'05\"\n")) << block.toStdString();
    EXPECT_TRUE(block.contains("\tlost data\t= 0bytes(0.000000seconds, 0.000000%)"))
        << block.toStdString();
    EXPECT_EQ(r.dataSize(), r.lastWrite());
    EXPECT_EQ(r.lastWrite(), double(soundBytes(recordings().value(0))));

    // A quarter of the device rate from cycles of odd length: the frames
    // left over from the decimation are no loss either.
    r.setRateNumber(0);
    r.setChannels(1);
    switchRecording(1);
    feed(1.99, 441);
    switchRecording(0);
    block = stopBlock(2);
    EXPECT_TRUE(block.contains("\tlost data\t= 0bytes(0.000000seconds, 0.000000%)"))
        << block.toStdString();
    EXPECT_TRUE(lossLines(console).isEmpty()) << lossLines(console).join('\n').toStdString();
}

TEST_F(RecorderLossTest, SoundTheInputSkippedIsLostAndAStreamOpenedAnewIsNot) {
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuSettings::standard().setInteger(2, "ChannelsNumber");
    ZuRecorder& r = launch();
    NwConsoleCapture console;
    // Gaps while nothing records are nobody's loss.
    feed(0.5);
    sampleTime += 44100;
    feed(0.1);
    switchRecording(1);
    feed(2.0);
    // An overrun: a second and a half of sound never arrived.
    sampleTime += 66150;
    ZuClock::advance(1.5);
    feed(1.0);
    // The stream restarts from zero, then a cycle without a valid time.
    sampleTime = 0.0;
    feed(1.0);
    input->mBuffers[0].mDataByteSize = cycleFrames * 8;
    AuTimeStamp invalid;
    recorder().recordIOForDevice(controler->devicer()->recordDevice(), &invalid, input, &invalid,
                                 nullptr, nullptr, nullptr);
    sampleTime = 5000.0;
    feed(0.5);
    switchRecording(0);

    const double gapBytes = 66150.0 * 2 * 2;
    EXPECT_EQ(r.dataSize() - r.lastWrite(), gapBytes);
    EXPECT_EQ(r.lastWrite(), double(soundBytes(recordings().value(0))));
    const QString block = stopBlock(1);
    static const QRegularExpression lost(
        R"(\tlost data\t= 264600bytes\(1\.500000seconds, (\d+\.\d{6})%\))");
    const QRegularExpressionMatch m = lost.match(block);
    ASSERT_TRUE(m.hasMatch()) << block.toStdString();
    EXPECT_NEAR(m.captured(1).toDouble(), gapBytes / r.dataSize() * 100.0, 1e-6);
    EXPECT_EQ(lossLines(console),
              QStringList("ZuRecorder: data lost input=1.500000seconds, write=0.000000seconds"));
}

TEST_F(RecorderLossTest, AQueueOverflowIsLostAsUnwrittenSound) {
    ZuSettings::standard().setInteger(1, "RecordMode");
    ZuSettings::standard().setInteger(10, "AutoStartLevel");
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuRecorder& r = launch();
    NwConsoleCapture console;
    switchRecording(1);
    run(4.0);
    level = 15;
    r.controlAutoDelay();
    ASSERT_EQ(r.condition(), 1);
    // The write thread takes the prior time at once, then naps for its batch
    // interval; meanwhile 81 seconds come in one go.
    const QString temp = folder() + "/.NightwardenTempFile";
    QDeadlineTimer deadline(10000);
    while (QFileInfo(temp).size() <= ZuAudioFile::headerLength && !deadline.hasExpired())
        QThread::yieldCurrentThread();
    ASSERT_GT(QFileInfo(temp).size(), ZuAudioFile::headerLength);
    const std::vector<float> burst(size_t(81 * deviceRate) * 2, 0.5f);
    r.captureSamples(burst.data(), uint32_t(burst.size() * 4));
    switchRecording(0);

    static const QRegularExpression overflow(
        R"(^ZuRecorder: sound que buffer overflow (\d+) bytes\.$)");
    const QStringList reports = console.lines().filter(overflow);
    ASSERT_EQ(reports.size(), 1) << console.lines().join('\n').toStdString();
    const double overflowed = overflow.match(reports[0]).captured(1).toDouble();
    EXPECT_EQ(overflowed, deviceRate * 8);
    // Mono at the device rate: a quarter of the queue's bytes.
    EXPECT_EQ(r.dataSize() - r.lastWrite(), overflowed / 4);
    EXPECT_TRUE(stopBlock(1).contains("\tlost data\t= 88200bytes(1.000000seconds, "))
        << stopBlock(1).toStdString();
    EXPECT_EQ(lossLines(console),
              QStringList("ZuRecorder: data lost input=0.000000seconds, write=1.000000seconds"));
}

TEST_F(RecorderLossTest, TheTimeAsleepIsNoLossOfEitherFile) {
    ZuSettings::standard().setInteger(2, "SamplingRateNumber");
    ZuRecorder& r = launch();
    NwConsoleCapture console;
    switchRecording(1);
    feed(2.0);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::willSleepNotification);
    // The stream comes back after an hour, its input time an hour on.
    sampleTime += 3600 * deviceRate;
    ZuClock::advance(3600.0);
    feed(0.5);
    ZuNotificationCenter::defaultCenter().post(ZuRecorder::didWakeNotification);
    ASSERT_EQ(r.condition(), 1);
    EXPECT_EQ(r.dataSize(), r.lastWrite());
    feed(1.0);
    switchRecording(0);
    EXPECT_EQ(r.dataSize(), r.lastWrite());
    for (int serial : {1, 2})
        EXPECT_TRUE(stopBlock(serial).contains("\tlost data\t= 0bytes(0.000000seconds, 0.000000%)"))
            << stopBlock(serial).toStdString();
    EXPECT_TRUE(lossLines(console).isEmpty()) << lossLines(console).join('\n').toStdString();
}
