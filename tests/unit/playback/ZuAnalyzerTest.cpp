// Waveform pictures: their names, their geometry read back from the written
// TIFF file, short and empty sounds, sounds past 2 GiB, one build per file,
// failed writes, and the position line.
#include "playback/ZuAnalyzer.h"

#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"
#include "platform/ZuNotificationCenter.h"
#include "playback/ZuPageCacheKeeper.h"
#include "playback/ZuPlayer.h"
#include "playback/ZuWaveView.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"
#include "support/NwAiff.h"
#include "support/NwConsoleCapture.h"
#include "support/NwFileSizeLimit.h"
#include "support/NwTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QColor black(0, 0, 0);
const QColor white(255, 255, 255);
const QColor cyan(0, 255, 255);

struct AnalyzerTest : testing::Test {
    void SetUp() override {
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuAnalyzer::createImageFileNotification, this, [this](const ZuNotification& note) {
                finished << note.userInfo.value(ZuAnalyzer::imageFilePathKey).toString();
                onMainThread = onMainThread && zuIsMainThread();
            });
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this, [this](const ZuNotification& note) {
                if (note.object.toString() == ZuLogEvent::someErrorHappen) {
                    const std::lock_guard guard(errorsLock);
                    errors << note.userInfo.value(ZuLogEvent::messageKey).toString();
                }
            });
    }
    void TearDown() override { ZuNotificationCenter::defaultCenter().removeObserver(this); }

    ZuAnalyzer& analyzer() { return *controler.analyzer(); }
    ZuWaveView& view() { return *controler.player()->waveView(); }

    // Builds the picture of path and waits for its notification.
    QImage build(const QString& path) {
        analyzer().createImageFileWithSoundFile(path);
        analyzer().waitUntilDone();
        const QDeadlineTimer deadline(10000);
        while (!finished.contains(path) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QImageReader reader(ZuAnalyzer::imageFilePath(path));
        format = reader.format();
        return reader.read();
    }
    QStringList errorList() {
        const std::lock_guard guard(errorsLock);
        return errors;
    }

    // The rows of column x with the colour, top first.
    static std::vector<int> rowsOf(const QImage& image, int x, const QColor& colour) {
        std::vector<int> rows;
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == colour)
                rows.push_back(y);
        return rows;
    }
    static bool isGuideColumn(int x) {
        for (int guide : {60, 120, 180, 240, 300, 360, 420})
            if (x == guide)
                return true;
        return false;
    }

    ZuControler controler;
    QStringList finished;
    bool onMainThread = true;
    QByteArray format;
    std::mutex errorsLock;
    QStringList errors;
};

} // namespace

TEST(AnalyzerNames, APictureIsTheRecordingsHiddenTwinWithTheTifExtension) {
    EXPECT_EQ(ZuAnalyzer::imageFilePath("/r/_Nightwarden_20070305_140211~153000.aif"),
              "/r/.Nightwarden_20070305_140211~153000.tif");
    EXPECT_EQ(ZuAnalyzer::imageFilePath("/r/.Nightwarden_20070305_140211~153000.aif"),
              "/r/.Nightwarden_20070305_140211~153000.tif");
    EXPECT_EQ(ZuAnalyzer::imageFilePath("/r/_Nightwarden_20070305_140211~153000+.aif"),
              "/r/.Nightwarden_20070305_140211~153000+.tif");

    const QString sound = nwTestDir() + "/_Nightwarden_20070305_140211~153000.aif";
    const QString picture = nwTestDir() + "/.Nightwarden_20070305_140211~153000.tif";
    EXPECT_FALSE(ZuAnalyzer::imageFileExistAtPath(sound));
    QFile file(picture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(ZuAnalyzer::imageFileExistAtPath(sound));
    EXPECT_FALSE(ZuAnalyzer::soundFileExistAtPath(sound));
    EXPECT_EQ(ZuAnalyzer::deleteImageFile(sound), picture);
    EXPECT_FALSE(QFile::exists(picture));
}

TEST(AnalyzerColumns, AnHourOfMonoAt44100OverSixHundredColumns) {
    const int64_t bytes = 3600LL * 44100 * 2;
    EXPECT_EQ(bytes, 317520000);
    EXPECT_EQ(ZuAnalyzer::samplesPerColumn(bytes, 600), 264600);
    EXPECT_EQ(ZuAnalyzer::samplesExamined(264600), 33075);
    // Short columns look at every sample; no width divides nothing.
    EXPECT_EQ(ZuAnalyzer::samplesExamined(15), 15);
    EXPECT_EQ(ZuAnalyzer::samplesExamined(16), 2);
    EXPECT_EQ(ZuAnalyzer::samplesPerColumn(bytes, 0), 0);
    EXPECT_EQ(ZuAnalyzer::samplesPerColumn(0, 600), 0);
}

TEST_F(AnalyzerTest, TheWrittenPictureHasTheGuidesAndTheSoundsEnvelope) {
    // Silence in the left half, a full square of ±16384 in the right half.
    const QString path = nwTestDir() + "/_Nightwarden_20070305_140211~140222.aif";
    nwWriteAiff(path, 480 * 1000,
                [](int64_t i) -> int16_t { return i < 240 * 1000 ? 0 : (i % 2 ? -16384 : 16384); });
    const QImage image = build(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(format, "tiff");
    EXPECT_EQ(image.size(), QSize(480, 72));
    EXPECT_EQ(finished.count(path), 1);
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(analyzer().isCreatingImageFile(path));

    for (int x : {120, 240, 360})
        EXPECT_EQ(rowsOf(image, x, white).size(), 72u) << x;
    // Dashed guides: two on, two off, counted from the bottom.
    for (int x : {60, 180, 300, 420})
        for (int y = 0; y < 72; ++y) {
            if (71 - y == 36)
                continue;
            EXPECT_EQ(image.pixelColor(x, 71 - y) == white, y % 4 < 2) << x << "," << y;
        }
    for (int x = 0; x < 480; ++x) {
        if (isGuideColumn(x))
            continue;
        EXPECT_EQ(image.pixelColor(x, 36), white) << x;
        const std::vector<int> sound = rowsOf(image, x, cyan);
        if (x < 239) {
            EXPECT_TRUE(sound.empty()) << x;
            EXPECT_EQ(rowsOf(image, x, black).size(), 71u) << x;
        } else if (x > 240) {
            // From +16384 at row 18 to -16384 at row 54, nothing beyond.
            ASSERT_FALSE(sound.empty()) << x;
            EXPECT_NEAR(sound.front(), 18, 1) << x;
            EXPECT_NEAR(sound.back(), 54, 1) << x;
            EXPECT_NEAR(double(sound.size()), 36.0, 1.0) << x;
        }
    }
    // The file is the picture the analyzer gives back.
    EXPECT_EQ(analyzer().imageWithSoundFile(path).convertToFormat(QImage::Format_RGB32),
              image.convertToFormat(QImage::Format_RGB32));
}

TEST_F(AnalyzerTest, ShortColumnsShortSoundsAndEmptySoundsDrawFromTheirOwnSamples) {
    // Ten samples a column, the loud one seventh in each: all are looked at.
    const QString tenEach = nwTestDir() + "/_Nightwarden_20070305_140211~140212.aif";
    nwWriteAiff(tenEach, 4800, [](int64_t i) -> int16_t { return i % 10 == 7 ? 16384 : 0; });
    QImage image = build(tenEach);
    ASSERT_FALSE(image.isNull());
    for (int x = 0; x < 480; ++x) {
        if (isGuideColumn(x))
            continue;
        EXPECT_NEAR(rowsOf(image, x, cyan).front(), 18, 1) << x;
    }

    // Fewer samples than columns: every column draws the sample under it.
    const QString fewer = nwTestDir() + "/_Nightwarden_20070305_140213~140214.aif";
    nwWriteAiff(fewer, 100, [](int64_t i) -> int16_t { return i < 50 ? 16384 : -16384; });
    image = build(fewer);
    ASSERT_FALSE(image.isNull());
    for (int x = 0; x < 480; ++x) {
        if (isGuideColumn(x) || x == 239 || x == 240)
            continue;
        const std::vector<int> sound = rowsOf(image, x, cyan);
        ASSERT_EQ(sound.size(), 1u) << x;
        EXPECT_NEAR(sound.front(), x < 240 ? 18 : 54, 1) << x;
    }

    // No sound at all: the guides alone, and position lines at column 0.
    const QString empty = nwTestDir() + "/_Nightwarden_20070305_140215~140215.aif";
    nwWriteAiff(empty, 0, [](int64_t) -> int16_t { return 0; });
    image = build(empty);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(480, 72));
    for (int x = 0; x < 480; ++x)
        EXPECT_TRUE(rowsOf(image, x, cyan).empty()) << x;
    ASSERT_TRUE(controler.mechanic()->openAIFFFileWithPath(empty));
    EXPECT_EQ(analyzer().pointAtPosition(1000), 0);
    EXPECT_TRUE(errorList().isEmpty()) << errorList().join('\n').toStdString();
}

TEST_F(AnalyzerTest, ASoundPastTwoGibibytesIsDrawnToItsEnd) {
    // Three hours and twelve minutes of 48 kHz stereo, silent (a hole) but for a
    // square wave of ±8192 in the last two columns, all of it past 2 GiB.
    const int64_t samples = int64_t(3.2 * 3600 * 48000 * 2);
    const int64_t loud = samples - 2 * ZuAnalyzer::samplesPerColumn(samples * 2, 480);
    ASSERT_GT(loud * 2, int64_t(1) << 31);
    const QString path = nwTestDir() + "/_Nightwarden_20070305_100000~131200.aif";
    nwWriteAiff(
        path, samples, [](int64_t i) -> int16_t { return i / 2 % 6 < 3 ? 8192 : -8192; }, 2,
        48000.0, loud);
    const QImage image = build(path);
    ASSERT_FALSE(image.isNull()) << errorList().join('\n').toStdString();
    EXPECT_TRUE(errorList().isEmpty()) << errorList().join('\n').toStdString();
    for (int x : {10, 200, 400, 476})
        EXPECT_TRUE(rowsOf(image, x, cyan).empty()) << x;
    for (int x : {478, 479}) {
        const std::vector<int> sound = rowsOf(image, x, cyan);
        ASSERT_FALSE(sound.empty()) << x;
        EXPECT_NEAR(sound.front(), 27, 1) << x;
        EXPECT_NEAR(sound.back(), 45, 1) << x;
    }
    ASSERT_TRUE(controler.mechanic()->openAIFFFileWithPath(path));
    ASSERT_EQ(controler.mechanic()->numDatas(), samples * 2);
    EXPECT_EQ(analyzer().pointAtPosition(samples * 2 - 4), 479);
    EXPECT_EQ(analyzer().pointAtPosition(loud * 2), 478);
}

TEST_F(AnalyzerTest, ASecondRequestForAPictureBeingBuiltStartsNoSecondBuild) {
    // The builder waits on a pipe until the test lets it go on.
    const QString path = nwTestDir() + "/_Nightwarden_20070305_140211~140222.aif";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    analyzer().createImageFileWithSoundFile(path);
    EXPECT_TRUE(analyzer().isCreatingImageFile(path));
    analyzer().createImageFileWithSoundFile(path);
    analyzer().createImageFileWithSoundFile(path);
    {
        // Nothing comes through the pipe: the build fails at the open.
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY);
        ASSERT_GE(writer, 0);
        ::close(writer);
    }
    analyzer().waitUntilDone();
    EXPECT_EQ(errorList().count("ZuAnalyzer: audio file open error."), 1)
        << errorList().join('\n').toStdString();
    EXPECT_FALSE(analyzer().isCreatingImageFile(path));
    EXPECT_FALSE(ZuAnalyzer::imageFileExistAtPath(path));
    QCoreApplication::processEvents();
    EXPECT_FALSE(finished.contains(path));

    // A failed build leaves the way open for the next request.
    QFile::remove(path);
    nwWriteAiff(path, 48000, [](int64_t) -> int16_t { return 0; });
    EXPECT_FALSE(build(path).isNull());
}

TEST_F(AnalyzerTest, APictureThatCannotBeWrittenIsReportedAndLeavesNoPartOfItself) {
    const QString path = nwTestDir() + "/_Nightwarden_20070305_140211~140222.aif";
    nwWriteAiff(path, 48000, [](int64_t i) -> int16_t { return int16_t(i); });
    NwConsoleCapture console;
    {
        const NwFileSizeLimit limit(8192);
        analyzer().createImageFileWithSoundFile(path);
        analyzer().waitUntilDone();
    }
    ASSERT_EQ(errorList().size(), 1);
    EXPECT_TRUE(errorList().first().startsWith("ZuAnalyzer: image file write error, " +
                                               ZuAnalyzer::imageFilePath(path)))
        << errorList().first().toStdString();
    EXPECT_TRUE(console.lines().contains(errorList().first()));
    EXPECT_EQ(QDir(nwTestDir()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QFileInfo(path).fileName()});
    QCoreApplication::processEvents();
    EXPECT_FALSE(finished.contains(path));
}

TEST_F(AnalyzerTest, ThePositionLineIsDrawnAndErasedOnTheShownPicture) {
    QImage picture(ZuWaveView::defaultSize, QImage::Format_RGB32);
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height(); ++y)
            picture.setPixelColor(x, y, QColor(x % 256, y, 7));
    view().setImage(picture);
    auto column = [this](int x) {
        return view().image().copy(x, 0, 1, 72);
    };
    const QImage before = column(10);
    EXPECT_EQ(analyzer().savePoint(), -1);

    analyzer().drawPositionLine(10);
    EXPECT_EQ(analyzer().savePoint(), 10);
    EXPECT_EQ(rowsOf(view().image(), 10, QColor(255, 0, 0)).size(), 72u);
    EXPECT_EQ(column(11), picture.copy(11, 0, 1, 72));
    analyzer().erasePositionLine();
    EXPECT_EQ(column(10), before);
    EXPECT_EQ(analyzer().savePoint(), 10);
    // Erasing again puts the same column back once more.
    view().markSelectedRange({5, 10});
    analyzer().erasePositionLine();
    EXPECT_EQ(column(10), before);
    EXPECT_NE(column(9), picture.copy(9, 0, 1, 72));

    // After initPositionLine there is nothing to erase.
    analyzer().drawPositionLine(20);
    analyzer().initPositionLine();
    EXPECT_EQ(analyzer().savePoint(), -1);
    analyzer().erasePositionLine();
    EXPECT_EQ(rowsOf(view().image(), 20, QColor(255, 0, 0)).size(), 72u);
}

TEST_F(AnalyzerTest, ABuildLeavesThePageCacheAsItFoundIt) {
    // Twenty megabytes of sound: cached after writing, then dropped.
    const QString path = nwTestDir() + "/_Nightwarden_20070305_140211~140604.aif";
    nwWriteAiff(path, 10 << 20, [](int64_t i) -> int16_t { return int16_t(i * 7); });
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY);
    ASSERT_EQ(::fdatasync(fd), 0);
    ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
    ASSERT_LT(ZuPageCacheKeeper(path).pagesCachedBefore(), 16);
    EXPECT_FALSE(build(path).isNull());
    EXPECT_LT(ZuPageCacheKeeper(path).pagesCachedBefore(), 16);

    // A file in the cache stays there.
    char byte = 0;
    for (off_t at = 0; at < QFileInfo(path).size(); at += 4096)
        ASSERT_EQ(::pread(fd, &byte, 1, at), 1);
    ::close(fd);
    const int64_t pages = (QFileInfo(path).size() + 4095) / 4096;
    ASSERT_EQ(ZuPageCacheKeeper(path).pagesCachedBefore(), pages);
    EXPECT_FALSE(build(path).isNull());
    EXPECT_EQ(ZuPageCacheKeeper(path).pagesCachedBefore(), pages);
}
