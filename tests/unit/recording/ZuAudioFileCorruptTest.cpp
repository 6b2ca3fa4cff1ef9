#include "recording/ZuAudioFile.h"

#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace {

QByteArray validFile() {
    const QString path = nwTestDir() + QStringLiteral("/valid.aif");
    AuStreamBasicDescription format;
    format.mSampleRate = 22050;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mBitsPerChannel = 16;
    format.mChannelsPerFrame = 1;
    auto file = ZuAudioFile::create(path, format);
    EXPECT_NE(file, nullptr);
    const std::vector<unsigned char> data(200, 0x5A);
    file->writeBytes(0, uint32_t(data.size()), data.data());
    file->close();
    QFile in(path);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    return in.readAll();
}

void put32(QByteArray& bytes, int offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char(value >> (24 - 8 * i));
}

QString writeCase(const QByteArray& bytes, const QString& name) {
    const QString path = nwTestDir() + "/" + name;
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes);
    return path;
}

struct Corruption {
    const char* name;
    std::function<void(QByteArray&)> apply;
    const char* reason; // part of the error text
};

} // namespace

TEST(ZuAudioFileCorrupt, EachLyingOrBrokenHeaderIsRefusedWithItsReason) {
    const QByteArray valid = validFile();
    const std::vector<Corruption> cases = {
        {"empty", [](QByteArray& b) { b.clear(); }, "too short"},
        {"eleven bytes", [](QByteArray& b) { b.truncate(11); }, "too short"},
        {"wave file", [](QByteArray& b) { b.replace(0, 4, "RIFF"); }, "no FORM"},
        {"other form", [](QByteArray& b) { b.replace(8, 4, "WAVE"); }, "form type WAVE"},
        {"form past end", [](QByteArray& b) { put32(b, 4, 0x7FFFFFF0); }, "FORM size"},
        {"cut inside COMM", [](QByteArray& b) { b.truncate(30); }, "FORM size"},
        {"cut inside data",
         [](QByteArray& b) {
             b.truncate(4200);
             put32(b, 4, 4200 - 8); // the FORM size is kept honest, SSND's is not
         },
         "SSND"},
        {"COMM past end", [](QByteArray& b) { put32(b, 16, 0x00100000); }, "COMM"},
        {"COMM too short", [](QByteArray& b) { put32(b, 16, 10); }, "COMM chunk too short"},
        {"filler lies", [](QByteArray& b) { put32(b, 42, 0x00F00000); }, "FLLR"},
        {"zero channels", [](QByteArray& b) { b[20] = 0, b[21] = 0; }, "channel count 0"},
        {"absurd channels", [](QByteArray& b) { b[20] = char(0xFF); }, "channel count"},
        {"zero bits", [](QByteArray& b) { b[26] = 0, b[27] = 0; }, "bits per sample"},
        {"rate zero", [](QByteArray& b) { b.replace(28, 10, QByteArray(10, '\0')); }, "rate"},
        {"rate not a number", [](QByteArray& b) { b[28] = 0x7F, b[29] = char(0xFF); }, "rate"},
        {"rate absurd", [](QByteArray& b) { b[28] = 0x40, b[29] = 0x40; }, "rate"},
        {"rate negative", [](QByteArray& b) { b[28] = char(0xC0); }, "rate"},
        {"no COMM", [](QByteArray& b) { b.replace(12, 4, "XXXX"); }, "no COMM"},
        {"SSND past end", [](QByteArray& b) { put32(b, 4084, 0x10000000); }, "SSND"},
        {"SSND too short", [](QByteArray& b) { put32(b, 4084, 4); }, "SSND chunk too short"},
        {"SSND offset beyond", [](QByteArray& b) { put32(b, 4088, 300); }, "offset"},
        {"two COMM",
         [](QByteArray& b) {
             b.replace(38, 4, "COMM");
             put32(b, 42, 4034);
         },
         "more than one COMM"},
        {"compressed AIFC",
         [](QByteArray& b) {
             b.replace(8, 4, "AIFC");
             put32(b, 16, 22);
             b.replace(38, 4, "ima4");
             b.replace(42, 4, "FLLR");
             put32(b, 46, 4080 - 50); // the filler moves by 4 bytes
         },
         "compressed AIFF-C"},
    };
    for (const auto& corruption : cases) {
        QByteArray bytes = valid;
        corruption.apply(bytes);
        const QString path = writeCase(bytes, QStringLiteral("case.aif"));
        QString error;
        auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read, &error);
        EXPECT_EQ(file, nullptr) << corruption.name;
        EXPECT_TRUE(error.contains(QString::fromLatin1(corruption.reason)))
            << corruption.name << ": " << error.toStdString();
    }
}

TEST(ZuAudioFileCorrupt, PathsThatAreNoSoundFileAreRefused) {
    QString error;
    EXPECT_EQ(ZuAudioFile::open(nwTestDir(), ZuAudioFile::Mode::Read, &error), nullptr);
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    EXPECT_EQ(ZuAudioFile::open(nwTestDir() + "/absent.aif", ZuAudioFile::Mode::Read, &error),
              nullptr);
    EXPECT_TRUE(error.contains("absent.aif"));
}

// Random damage to the header and random truncation: every file is either
// refused with a reason, or opened with sound data that lies inside the file
// and reads back in full.
TEST(ZuAudioFileCorrupt, RandomDamageNeverLeadsOutsideTheFile) {
    const QByteArray valid = validFile();
    std::mt19937 random(20070315);
    const int hot[] = {0, 4, 8, 12, 16, 20, 22, 26, 28, 38, 42, 4080, 4084, 4088};
    int refused = 0;
    int opened = 0;
    for (int round = 0; round < 1000; ++round) {
        QByteArray bytes = valid;
        const int changes = 1 + int(random() % 4);
        for (int c = 0; c < changes; ++c) {
            const int base = hot[random() % std::size(hot)];
            bytes[base + int(random() % 4)] = char(random());
        }
        if (random() % 4 == 0)
            bytes.truncate(int(random() % bytes.size()));
        const QString path = writeCase(bytes, QStringLiteral("fuzz.aif"));
        QString error;
        auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read, &error);
        if (!file) {
            ++refused;
            ASSERT_FALSE(error.isEmpty());
            continue;
        }
        ++opened;
        ASSERT_GE(file->dataOffset(), 12);
        ASSERT_LE(file->dataOffset() + file->audioDataByteCount(), bytes.size());
        const auto& format = file->dataFormat();
        ASSERT_GT(format.mChannelsPerFrame, 0u);
        ASSERT_GT(format.mSampleRate, 0.0);
        std::vector<char> data(size_t(file->audioDataByteCount()) + 16);
        uint32_t count = uint32_t(data.size());
        EXPECT_EQ(file->readBytes(0, &count, data.data()), ZuAudioFile::Status::EndOfFile);
        ASSERT_EQ(int64_t(count), file->audioDataByteCount());
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(opened, 0);
}
