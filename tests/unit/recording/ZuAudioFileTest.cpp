#include "recording/ZuAudioFile.h"

#include "support/NwFileSizeLimit.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

namespace {

AuStreamBasicDescription pcm16(double rate, uint32_t channels) {
    AuStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = channels;
    format.mBytesPerFrame = channels * 2;
    format.mBytesPerPacket = channels * 2;
    format.mFramesPerPacket = 1;
    return format;
}

// A sample value that differs per frame and channel, and big-endian bytes of it.
int16_t sampleAt(uint32_t frame, uint32_t channel) {
    return int16_t((frame * 37 + channel * 1000) % 65536 - 32768);
}

std::vector<unsigned char> bigEndianFrames(uint32_t frames, uint32_t channels, uint32_t first = 0) {
    std::vector<unsigned char> bytes;
    bytes.reserve(size_t(frames) * channels * 2);
    for (uint32_t f = first; f < first + frames; ++f)
        for (uint32_t c = 0; c < channels; ++c) {
            const uint16_t v = uint16_t(sampleAt(f, c));
            bytes.push_back(uint8_t(v >> 8));
            bytes.push_back(uint8_t(v));
        }
    return bytes;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

uint32_t big32At(const QByteArray& bytes, int offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + offset);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

QString soxInfo(const QString& option, const QString& path) {
    QProcess sox;
    sox.start(QStringLiteral("sox"), {QStringLiteral("--i"), option, path});
    EXPECT_TRUE(sox.waitForFinished(20000));
    EXPECT_EQ(sox.exitCode(), 0) << sox.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(sox.readAllStandardOutput()).trimmed();
}

// Writes the frames in uneven pieces, as the write thread does, and closes.
QString makeFile(double rate, uint32_t channels, uint32_t frames) {
    const QString path = nwTestDir() + QStringLiteral("/made_%1_%2.aif").arg(rate).arg(channels);
    QString error;
    auto file = ZuAudioFile::create(path, pcm16(rate, channels), &error);
    EXPECT_NE(file, nullptr) << error.toStdString();
    if (!file)
        return path;
    const auto bytes = bigEndianFrames(frames, channels);
    size_t at = 0;
    size_t piece = 1000 * channels * 2 + channels * 2;
    while (at < bytes.size()) {
        const size_t n = std::min(piece, bytes.size() - at);
        EXPECT_EQ(file->writeBytes(int64_t(at), uint32_t(n), bytes.data() + at),
                  ZuAudioFile::Status::NoError);
        at += n;
        piece += channels * 2 * 7;
    }
    EXPECT_EQ(file->close(), ZuAudioFile::Status::NoError);
    return path;
}

} // namespace

class ZuAudioFileRoundTrip : public testing::TestWithParam<std::tuple<double, uint32_t>> {};

TEST_P(ZuAudioFileRoundTrip, IndependentReadersSeeRateChannelsFramesAndSamples) {
    const auto [rate, channels] = GetParam();
    const uint32_t frames = uint32_t(rate / 4) + 3; // a quarter second and an odd tail
    const QString path = makeFile(rate, channels, frames);

    SF_INFO info{};
    SNDFILE* sound = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, int(rate));
    EXPECT_EQ(info.channels, int(channels));
    EXPECT_EQ(info.frames, sf_count_t(frames));
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    std::vector<short> samples(size_t(frames) * channels);
    EXPECT_EQ(sf_readf_short(sound, samples.data(), frames), sf_count_t(frames));
    sf_close(sound);
    size_t mismatches = 0;
    for (uint32_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c)
            mismatches += samples[size_t(f) * channels + c] != sampleAt(f, c);
    EXPECT_EQ(mismatches, 0u);

    if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
        GTEST_SKIP() << "sox is not installed";
    EXPECT_EQ(soxInfo(QStringLiteral("-r"), path), QString::number(int(rate)));
    EXPECT_EQ(soxInfo(QStringLiteral("-c"), path), QString::number(channels));
    EXPECT_EQ(soxInfo(QStringLiteral("-s"), path), QString::number(frames));
    EXPECT_EQ(soxInfo(QStringLiteral("-b"), path), QStringLiteral("16"));
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, ZuAudioFileRoundTrip,
                         testing::Combine(testing::Values(8000.0, 11025.0, 16000.0, 22050.0,
                                                          32000.0, 44100.0, 48000.0, 88200.0,
                                                          96000.0, 176400.0, 192000.0),
                                          testing::Values(1u, 2u)));

TEST(ZuAudioFileLayout, FixedHeaderFieldsAndSoundDataFrom4096) {
    const QString path = makeFile(22050, 2, 100);
    const QByteArray bytes = fileBytes(path);
    ASSERT_EQ(bytes.size(), 4096 + 400);
    EXPECT_EQ(bytes.mid(0, 4), "FORM");
    EXPECT_EQ(big32At(bytes, 4), uint32_t(bytes.size() - 8));
    EXPECT_EQ(bytes.mid(8, 8), "AIFFCOMM");
    EXPECT_EQ(big32At(bytes, 16), 18u);
    EXPECT_EQ(bytes.mid(20, 2), QByteArray("\x00\x02", 2));
    EXPECT_EQ(big32At(bytes, 22), 100u);
    EXPECT_EQ(bytes.mid(26, 2), QByteArray("\x00\x10", 2));
    EXPECT_EQ(bytes.mid(28, 10), QByteArray("\x40\x0D\xAC\x44\x00\x00\x00\x00\x00\x00", 10));
    EXPECT_EQ(big32At(bytes, 42), 4080u - 46u); // filler chunk reaches SSND exactly
    EXPECT_EQ(bytes.mid(256, 4096 - 256 - 16), QByteArray(4096 - 256 - 16, '\0'));
    EXPECT_EQ(bytes.mid(4080, 4), "SSND");
    EXPECT_EQ(big32At(bytes, 4084), uint32_t(bytes.size() - 4088));
    EXPECT_EQ(big32At(bytes, 4088), 0u);
    EXPECT_EQ(big32At(bytes, 4092), 0u);
    const auto expected = bigEndianFrames(100, 2);
    EXPECT_EQ(bytes.mid(4096), QByteArray(reinterpret_cast<const char*>(expected.data()), 400));
}

TEST(ZuAudioFileLayout, ExtendedRatesSurviveBothWays) {
    for (double rate : {1.0, 8000.0, 22050.0, 44100.0, 48000.0, 192000.0, 11025.5, 0.0}) {
        unsigned char encoded[10];
        ZuAudioFile::encodeExtended(rate, encoded);
        double decoded = -1;
        ASSERT_TRUE(ZuAudioFile::decodeExtended(encoded, &decoded));
        EXPECT_EQ(decoded, rate);
    }
    const unsigned char nan[10] = {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0};
    const unsigned char unnormal[10] = {0x40, 0x0E, 0x2C, 0x44, 0, 0, 0, 0, 0, 0};
    double value = 0;
    EXPECT_FALSE(ZuAudioFile::decodeExtended(nan, &value));
    EXPECT_FALSE(ZuAudioFile::decodeExtended(unnormal, &value));
}

TEST(ZuAudioFileCreate, RefusesFormatsTheLayoutCannotCarry) {
    QString error;
    auto zeroChannels = pcm16(44100, 0);
    EXPECT_EQ(ZuAudioFile::create(nwTestDir() + "/a.aif", zeroChannels, &error), nullptr);
    EXPECT_TRUE(error.contains("channel"));
    auto floats = pcm16(44100, 1);
    floats.mFormatFlags = kAudioFormatFlagIsFloat;
    EXPECT_EQ(ZuAudioFile::create(nwTestDir() + "/b.aif", floats, &error), nullptr);
    EXPECT_EQ(ZuAudioFile::create(nwTestDir() + "/c.aif", pcm16(0, 1), &error), nullptr);
    EXPECT_TRUE(error.contains("rate"));
    EXPECT_EQ(ZuAudioFile::create(nwTestDir() + "/missing/d.aif", pcm16(8000, 1), &error), nullptr);
    EXPECT_TRUE(error.contains("missing/d.aif"));

    // A header that cannot be written leaves no half-made file behind.
    const QString full = nwTestDir() + "/full.aif";
    {
        NwFileSizeLimit limit(1000);
        EXPECT_EQ(ZuAudioFile::create(full, pcm16(8000, 1), &error), nullptr);
    }
    EXPECT_TRUE(error.contains("header")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(full));
}

TEST(ZuAudioFileReadWrite, ReadReportsBytesReadAndEndOfData) {
    const QString path = makeFile(8000, 1, 50); // 100 bytes
    auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->audioDataByteCount(), 100);
    std::array<unsigned char, 64> buffer{};
    uint32_t count = 40;
    EXPECT_EQ(file->readBytes(80, &count, buffer.data()), ZuAudioFile::Status::EndOfFile);
    EXPECT_EQ(count, 20u);
    const auto expected = bigEndianFrames(10, 1, 40);
    EXPECT_EQ(std::memcmp(buffer.data(), expected.data(), 20), 0);
    count = 8;
    EXPECT_EQ(file->readBytes(100, &count, buffer.data()), ZuAudioFile::Status::EndOfFile);
    EXPECT_EQ(count, 0u);
    count = 8;
    EXPECT_EQ(file->readBytes(-2, &count, buffer.data()), ZuAudioFile::Status::BadOffset);
    EXPECT_EQ(file->writeBytes(0, 2, buffer.data()), ZuAudioFile::Status::NotPermitted);
}

TEST(ZuAudioFileReadWrite, OverwriteInsideTheDataKeepsTheSizes) {
    const QString path = makeFile(8000, 1, 50);
    auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::ReadWrite);
    ASSERT_NE(file, nullptr);
    const unsigned char two[2] = {0x12, 0x34};
    EXPECT_EQ(file->writeBytes(10, 2, two), ZuAudioFile::Status::NoError);
    EXPECT_EQ(file->close(), ZuAudioFile::Status::NoError);
    const QByteArray bytes = fileBytes(path);
    EXPECT_EQ(bytes.size(), 4196);
    EXPECT_EQ(big32At(bytes, 22), 50u);
    EXPECT_EQ(bytes.mid(4106, 2), QByteArray("\x12\x34", 2));
}

TEST(ZuAudioFileReadWrite, PropertiesAnswerFormatAndByteCount) {
    const QString path = makeFile(48000, 2, 10);
    auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read);
    ASSERT_NE(file, nullptr);
    AuStreamBasicDescription format;
    uint32_t size = sizeof format;
    ASSERT_EQ(file->getProperty(ZuAudioFile::dataFormatProperty, &size, &format),
              ZuAudioFile::Status::NoError);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(format.mSampleRate, 48000.0);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(format.mBytesPerFrame, 4u);
    EXPECT_EQ(format.mFormatFlags, kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger |
                                       kAudioFormatFlagIsPacked);
    int64_t count = 0;
    size = 8;
    ASSERT_EQ(file->getProperty(ZuAudioFile::audioDataByteCountProperty, &size, &count),
              ZuAudioFile::Status::NoError);
    EXPECT_EQ(count, 40);
    size = 4;
    EXPECT_EQ(file->getProperty(ZuAudioFile::audioDataByteCountProperty, &size, &count),
              ZuAudioFile::Status::BadProperty);
}

TEST(ZuAudioFileLimits, WritesBeyondWhatTheHeaderCanHoldAreRefused) {
    const QString path = nwTestDir() + QStringLiteral("/huge.aif");
    auto file = ZuAudioFile::create(path, pcm16(8000, 1));
    ASSERT_NE(file, nullptr);
    const unsigned char two[2] = {1, 2};
    const int64_t lastFitting = ZuAudioFile::maxFileSize - 4096 - 2;
    // Sparse: only the last two bytes are written.
    ASSERT_EQ(file->writeBytes(lastFitting, 2, two), ZuAudioFile::Status::NoError);
    EXPECT_EQ(file->writeBytes(lastFitting + 1, 2, two), ZuAudioFile::Status::TooLarge);
    EXPECT_EQ(file->close(), ZuAudioFile::Status::NoError);
    QFile file4g(path);
    ASSERT_TRUE(file4g.open(QIODevice::ReadOnly));
    const QByteArray header = file4g.read(4096);
    file4g.close();
    QFile::remove(path);
    EXPECT_EQ(big32At(header, 4), 0xFFFFFFFFu);
    EXPECT_EQ(big32At(header, 22), uint32_t((ZuAudioFile::maxFileSize - 4096) / 2));
    EXPECT_EQ(big32At(header, 4084), uint32_t(ZuAudioFile::maxFileSize - 4088));
}

// A full disk in the middle of a write: the file keeps its complete writes
// with a header that matches them, and takes nothing more, even when room
// comes back.
TEST(ZuAudioFileLimits, AFailedWriteEndsTheFileAtItsLastCompleteWrite) {
    const QString path = nwTestDir() + QStringLiteral("/full.aif");
    auto file = ZuAudioFile::create(path, pcm16(22050, 2));
    ASSERT_NE(file, nullptr);
    const auto first = bigEndianFrames(1000, 2);
    ASSERT_EQ(file->writeBytes(0, uint32_t(first.size()), first.data()),
              ZuAudioFile::Status::NoError);
    const auto second = bigEndianFrames(1000, 2, 1000);
    ZuAudioFile::Status status;
    {
        NwFileSizeLimit limit(4096 + first.size() + 1001);
        status = file->writeBytes(int64_t(first.size()), uint32_t(second.size()), second.data());
    }
    EXPECT_EQ(status, ZuAudioFile::Status::IOError);
    EXPECT_TRUE(file->writeFailed());
    EXPECT_EQ(file->errorText(status), QString::fromLocal8Bit(strerror(EFBIG)));
    EXPECT_EQ(file->writeBytes(int64_t(first.size()), uint32_t(second.size()), second.data()),
              ZuAudioFile::Status::IOError);
    EXPECT_EQ(file->close(), ZuAudioFile::Status::NoError);

    const QByteArray bytes = fileBytes(path);
    ASSERT_EQ(bytes.size(), qsizetype(4096 + first.size()));
    EXPECT_EQ(big32At(bytes, 4), uint32_t(bytes.size() - 8));
    EXPECT_EQ(big32At(bytes, 22), 1000u);
    EXPECT_EQ(big32At(bytes, 4084), uint32_t(bytes.size() - 4088));
    EXPECT_EQ(std::memcmp(bytes.constData() + 4096, first.data(), first.size()), 0);
}

// Files of another writer: libsndfile's AIFF, and its little-endian AIFF-C,
// both with a comment chunk before the sound.
TEST(ZuAudioFileForeign, FilesOfAnotherWriterOpenWithTheirChunks) {
    for (bool little : {false, true}) {
        const QString path = nwTestDir() + QStringLiteral("/foreign_%1.aiff").arg(little);
        SF_INFO info{};
        info.samplerate = 32000;
        info.channels = 2;
        info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | (little ? SF_ENDIAN_LITTLE : 0);
        SNDFILE* sound = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        ASSERT_NE(sound, nullptr);
        sf_set_string(sound, SF_STR_COMMENT, "a chunk to skip");
        std::vector<short> samples(2 * 300);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = short(i * 3 - 700);
        ASSERT_EQ(sf_writef_short(sound, samples.data(), 300), 300);
        sf_close(sound);

        QString error;
        auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read, &error);
        ASSERT_NE(file, nullptr) << error.toStdString();
        EXPECT_EQ(file->dataFormat().mSampleRate, 32000.0);
        EXPECT_EQ(file->dataFormat().mChannelsPerFrame, 2u);
        EXPECT_EQ(bool(file->dataFormat().mFormatFlags & kAudioFormatFlagIsBigEndian), !little);
        EXPECT_EQ(file->audioDataByteCount(), 1200);
        std::vector<unsigned char> bytes(1200);
        uint32_t count = 1200;
        EXPECT_EQ(file->readBytes(0, &count, bytes.data()), ZuAudioFile::Status::NoError);
        EXPECT_EQ(count, 1200u);
        const short last =
            little ? short(bytes[1199] << 8 | bytes[1198]) : short(bytes[1198] << 8 | bytes[1199]);
        EXPECT_EQ(last, samples[599]);
    }
}
