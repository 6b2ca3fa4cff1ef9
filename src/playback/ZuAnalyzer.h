#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ZuAudioFile;
class ZuControler;
class ZuMechanic;
class ZuPageCacheKeeper;
class ZuWaveView;

// Draws the waveform picture of a recording on a thread of its own and keeps
// it as a hidden TIFF file beside the recording, so that the player shows it
// at once next time; announces each finished picture with
// "ZuCreateImageFile_Notification" on the main thread. Also draws and erases
// the red play-position line on the picture the wave view shows.
class ZuAnalyzer {
public:
    static inline const QString createImageFileNotification =
        QStringLiteral("ZuCreateImageFile_Notification");
    static inline const QString imageFilePathKey = QStringLiteral("ImageFilePath");

    ZuAnalyzer();
    // Waits for the pictures being built.
    ~ZuAnalyzer();
    ZuAnalyzer(const ZuAnalyzer&) = delete;
    ZuAnalyzer& operator=(const ZuAnalyzer&) = delete;

    void setControler(ZuControler* owner);
    void awakeFromNib();

    // The picture of a sound file: "." + its name from the second character,
    // with the extension "tif", in the same folder.
    static QString imageFilePath(const QString& soundPath);
    static bool imageFileExistAtPath(const QString& soundPath);
    // Removes the picture of a sound file; answers the picture's path.
    static QString deleteImageFile(const QString& soundPath);
    static bool soundFileExistAtPath(const QString& path);

    // Starts building the picture at the wave view's size, unless it is being
    // built already.
    void createImageFileWithSoundFile(const QString& path);
    bool isCreatingImageFile(const QString& path) const;
    void removeCreatingImageList(const QString& path);
    QImage imageWithSoundFile(const QString& path) const;
    // Waits until no picture is being built.
    void waitUntilDone();

    void initPositionLine();
    int32_t pointAtPosition(int64_t position) const;
    void drawPositionLine(int32_t x);
    void erasePositionLine();
    int32_t savePoint() const { return savedPoint; }

    // Samples per column, and the samples of a column examined, for a sound of
    // dataBytes bytes drawn width columns wide. Columns of fewer than 16
    // samples are split evenly over the sound and every sample is examined.
    static int64_t samplesPerColumn(int64_t dataBytes, int32_t width);
    static int64_t samplesExamined(int64_t samplesPerColumn);

    // Where a build failed: the read position and size of a failed read.
    struct ReadFailure {
        int64_t readPos = 0;
        int32_t readSize = 0;
    };
    // The picture of the first dataBytes bytes of a file's sound; none when a
    // read fails (failure says where). The keeper, if any, hears of each read.
    static QImage drawImage(ZuAudioFile& file, int64_t dataBytes, QSize size, ReadFailure* failure,
                            ZuPageCacheKeeper* keeper = nullptr);
    // Writes the picture under a temporary name beside path and renames it
    // there, so that no half-written picture is ever found; the reason on failure.
    static bool writeImageFile(const QImage& image, const QString& path, QString* error);

private:
    struct Builder {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void createImageFileThread(const QString& path, QSize size, Builder* builder);
    void reapBuilders(bool all);
    ZuWaveView* waveView() const;

    ZuControler* controler = nullptr;
    ZuMechanic* mechanic = nullptr;
    mutable std::mutex listLock;
    QStringList creatingImageList;
    std::mutex buildersLock;
    std::vector<std::unique_ptr<Builder>> builders;
    QImage saveImage;
    int32_t savedPoint = -1;
};
