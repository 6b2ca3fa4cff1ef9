#include "recording/ZuMechanic.h"

#include "platform/ZuFileLock.h"
#include "recording/ZuAudioFile.h"
#include "support/NwTestSupport.h"
#include "unit/recording/ZuMechanicTestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <thread>

namespace {

uint32_t big32At(const QString& path, qint64 offset) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(offset);
    const QByteArray b = file.read(4);
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData());
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

AuStreamBasicDescription recordingFormat(double rate, uint32_t channels) {
    AuStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mChannelsPerFrame = channels;
    return format;
}

class ZuMechanicFiles : public testing::Test {
protected:
    void SetUp() override { mechanic.setDirPath(nwTestDir() + "/Rec"); }
    QString inFolder(const QString& name) const { return mechanic.recordFolder() + "/" + name; }
    ZuMechanic mechanic;
};

} // namespace

TEST_F(ZuMechanicFiles, CreateMakesTheRecordingFormatAndReplacesAnOldFile) {
    const QString path = mechanic.temporaryFilePath();
    writeBytesTo(path, 99999);
    auto file = mechanic.createAudioFileWithFormat(recordingFormat(22050, 2), path);
    ASSERT_NE(file, nullptr);
    const AuStreamBasicDescription out = mechanic.audioFormatOutput();
    EXPECT_EQ(out.mSampleRate, 22050.0);
    EXPECT_EQ(out.mFormatID, kAudioFormatLinearPCM);
    EXPECT_EQ(out.mFormatFlags, kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger |
                                    kAudioFormatFlagIsPacked);
    EXPECT_EQ(out.mBitsPerChannel, 16u);
    EXPECT_EQ(out.mBytesPerFrame, 4u);
    EXPECT_EQ(out.mBytesPerPacket, 4u);
    EXPECT_EQ(out.mFramesPerPacket, 1u);
    file->close();
    EXPECT_EQ(QFileInfo(path).size(), 4096);
    EXPECT_EQ(path, nwTestDir() + "/Rec/.NightwardenTempFile");
}

TEST_F(ZuMechanicFiles, CreateFailuresAreReported) {
    {
        LogCapture log;
        EXPECT_EQ(mechanic.createAudioFileWithFormat(recordingFormat(22050, 1),
                                                     nwTestDir() + "/NoFolder/x.aif"),
                  nullptr);
        EXPECT_EQ(log.errors, QStringList{"ZuMechanic: FSPathMakeRef error."});
    }
    {
        LogCapture log;
        EXPECT_EQ(mechanic.createAudioFileWithFormat(recordingFormat(22050, 0), inFolder("y.aif")),
                  nullptr);
        EXPECT_EQ(log.errors, QStringList{"ZuMechanic: audio file create error."});
    }
    {
        // A locked file at the path is never replaced.
        const QString locked = inFolder("_Nightwarden_20070315_143022~153022.aif");
        writeBytesTo(locked, 5000);
        ZuFileLock::setMethod(ZuFileLock::Method::ExtendedAttribute);
        ASSERT_TRUE(mechanic.lockFile(QFileInfo(locked).fileName()));
        ZuFileLock::setMethod(ZuFileLock::Method::Automatic);
        LogCapture log;
        EXPECT_EQ(mechanic.createAudioFileWithFormat(recordingFormat(22050, 1), locked), nullptr);
        EXPECT_EQ(log.errors, QStringList{"ZuMechanic: audio file create error."});
        EXPECT_EQ(QFileInfo(locked).size(), 5000);
        mechanic.unlockFile(locked);
    }
}

TEST_F(ZuMechanicFiles, OpenKeepsTheFormatAndByteCountOfTheLastFile) {
    const QString path = inFolder("a.aif");
    auto made = mechanic.createAudioFileWithFormat(recordingFormat(11025, 1), path);
    const unsigned char data[6] = {1, 2, 3, 4, 5, 6};
    made->writeBytes(0, 6, data);
    made->close();
    auto file = mechanic.openAIFFFileWithPath(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(mechanic.audioFormatInput().mSampleRate, 11025.0);
    EXPECT_EQ(mechanic.audioFormatInput().mChannelsPerFrame, 1u);
    EXPECT_EQ(mechanic.numDatas(), 6);
    EXPECT_EQ(ZuMechanic::audioDataByteCount(*file), 6);
    EXPECT_EQ(file->writeBytes(0, 2, data), ZuAudioFile::Status::NotPermitted);
}

TEST_F(ZuMechanicFiles, AnOpenWithOutParametersLeavesTheKeptValuesAlone) {
    const QString mine = inFolder("mine.aif");
    const QString theirs = inFolder("theirs.aif");
    const unsigned char data[8] = {};
    auto made = mechanic.createAudioFileWithFormat(recordingFormat(11025, 1), mine);
    made->writeBytes(0, 6, data);
    made->close();
    made = mechanic.createAudioFileWithFormat(recordingFormat(48000, 2), theirs);
    made->writeBytes(0, 8, data);
    made->close();

    ASSERT_NE(mechanic.openAIFFFileWithPath(mine), nullptr);
    // The analyzer's thread opens another file in between.
    AuStreamBasicDescription format;
    int64_t count = 0;
    std::thread analyzer([&] { mechanic.openAIFFFileWithPath(theirs, &format, &count); });
    analyzer.join();
    EXPECT_EQ(format.mSampleRate, 48000.0);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(mechanic.audioFormatInput().mSampleRate, 11025.0);
    EXPECT_EQ(mechanic.audioFormatInput().mChannelsPerFrame, 1u);
    EXPECT_EQ(mechanic.numDatas(), 6);
}

// Damaged files through the mechanic: each is refused with the open error,
// the reason on the console, and the last good description kept.
TEST_F(ZuMechanicFiles, OpenRefusesDamagedFilesWithTheOpenError) {
    const QString good = inFolder("good.aif");
    mechanic.createAudioFileWithFormat(recordingFormat(8000, 2), good)->close();
    ASSERT_NE(mechanic.openAIFFFileWithPath(good), nullptr);
    const QList<QByteArray> damaged = {
        QByteArray(),
        QByteArray("FORM"),
        QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16),
        QByteArray("FORM\x00\x00\x00\x04"
                   "AIFF",
                   12),
        QByteArray("FORM\x00\x00\x00\x1e"
                   "AIFFCOMM\x00\x00\x00\x12\x00\x00",
                   22),
        QByteArray("FORM\x7f\xff\xff\xff"
                   "AIFF",
                   12),
    };
    for (const QByteArray& bytes : damaged) {
        QFile out(inFolder("bad.aif"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        LogCapture log;
        EXPECT_EQ(mechanic.openAIFFFileWithPath(inFolder("bad.aif")), nullptr);
        EXPECT_EQ(log.errors, QStringList{"ZuMechanic: audio file open error."});
        EXPECT_EQ(log.lines.size(), 2); // the reason, then the error
        EXPECT_EQ(mechanic.audioFormatInput().mChannelsPerFrame, 2u);
    }
    LogCapture log;
    EXPECT_EQ(mechanic.openAIFFFileWithPath(inFolder("absent.aif")), nullptr);
    EXPECT_EQ(log.lines, QStringList{"FSPathMakeRef error."});
    EXPECT_TRUE(log.errors.isEmpty());
}

TEST_F(ZuMechanicFiles, HeaderRepairWritesTheThreeSizeFields) {
    const QString mono = inFolder("mono.aif");
    mechanic.createAudioFileWithFormat(recordingFormat(44100, 1), mono)->close();
    QFile::resize(mono, 44100 + 4096);
    ASSERT_TRUE(mechanic.setAIFFFileHeader(mono, 1));
    EXPECT_EQ(big32At(mono, 4), 48188u);
    EXPECT_EQ(big32At(mono, 22), 22050u);
    EXPECT_EQ(big32At(mono, 4084), 44108u);

    const QString stereo = inFolder("stereo.aif");
    mechanic.createAudioFileWithFormat(recordingFormat(44100, 2), stereo)->close();
    QFile::resize(stereo, 4096 + 4 * 1000 + 2); // a torn last frame is not counted
    ASSERT_TRUE(mechanic.setAIFFFileHeader(stereo, 2));
    EXPECT_EQ(big32At(stereo, 22), 1000u);
    auto reopened = mechanic.openAIFFFileWithPath(stereo);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(mechanic.numDatas(), 4002);
}

TEST_F(ZuMechanicFiles, HeaderRepairRefusesWhatTheFieldsCannotHold) {
    const QString small = inFolder("small.aif");
    writeBytesTo(small, 100);
    {
        LogCapture log;
        EXPECT_FALSE(mechanic.setAIFFFileHeader(small, 1));
        EXPECT_EQ(log.errors.size(), 1);
        EXPECT_EQ(QFileInfo(small).size(), 100);
    }
    const QString huge = inFolder("huge.aif");
    mechanic.createAudioFileWithFormat(recordingFormat(48000, 2), huge)->close();
    // Sparse, one byte past what a 32-bit FORM size can describe.
    ASSERT_TRUE(QFile::resize(huge, ZuAudioFile::maxFileSize + 1));
    LogCapture log;
    EXPECT_FALSE(mechanic.setAIFFFileHeader(huge, 2));
    ASSERT_EQ(log.errors.size(), 1);
    EXPECT_TRUE(log.errors[0].contains("too large")) << log.errors[0].toStdString();
    EXPECT_EQ(big32At(huge, 4), 4088u); // untouched, not wrapped
    EXPECT_EQ(big32At(huge, 4084), 8u);
    QFile::remove(huge);
}

TEST_F(ZuMechanicFiles, TemporaryAndRelayFiles) {
    EXPECT_EQ(mechanic.openTempFile(), nullptr);
    EXPECT_EQ(mechanic.openRelayFile(), nullptr);
    writeBytesTo(mechanic.relayFilePath(), 500);
    {
        auto relay = mechanic.createRelayFile();
        ASSERT_NE(relay, nullptr);
        EXPECT_EQ(relay->size(), 0); // the old relay is gone
        relay->write("surplus");
    }
    {
        auto relay = mechanic.openRelayFile();
        ASSERT_NE(relay, nullptr);
        EXPECT_EQ(relay->readAll(), "surplus");
    }
    EXPECT_TRUE(mechanic.deleteRelayFile());
    EXPECT_FALSE(QFileInfo::exists(mechanic.relayFilePath()));

    writeBytesTo(mechanic.temporaryFilePath(), 5000);
    auto temp = mechanic.openTempFile();
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->size(), 5000); // opened for updating, not truncated
    EXPECT_TRUE(temp->isWritable());
}
