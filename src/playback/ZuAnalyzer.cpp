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

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QPolygon>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The longest single read: a column of a very wide sound is read in pieces of
// this many samples (a multiple of 8, so the every-eighth pattern runs on).
constexpr int64_t readChunkSamples = 1 << 19;

// The builder yields to everything else: the weakest CPU share (nice 19, for
// this thread alone) and the lowest best-effort disk priority, so that a
// picture started every minute never delays the capture or the write thread.
void lowerPriority() {
    const pid_t tid = ::gettid();
    ::setpriority(PRIO_PROCESS, id_t(tid), 19);
    constexpr int whoProcess = 1;
    constexpr int bestEffortLowest = (2 << 13) | 7;
    ::syscall(SYS_ioprio_set, whoProcess, tid, bestEffortLowest);
}

int16_t sampleAt(const std::vector<int16_t>& buffer, int64_t i) {
    return qFromBigEndian(buffer[size_t(i)]);
}

// Guides: a centre line, solid lines at the quarters and dashed ones (2 on,
// 2 off from the bottom) at the eighths between them. Coordinates count from
// the bottom as the picture's own; the image's rows count from the top.
void drawGuides(QImage& image) {
    const int w = image.width();
    const int h = image.height();
    QPainter painter(&image);
    const QColor white(255, 255, 255);
    painter.fillRect(0, h - h / 2, w, 1, white);
    for (const double q : {0.25, 0.5, 0.75})
        painter.fillRect(int(w * q), 0, 1, h, white);
    for (const double q : {0.125, 0.375, 0.625, 0.875}) {
        const int x = int(w * q);
        for (int y = 0; y < h; y += 4)
            painter.fillRect(x, std::max(0, h - y - 2), 1, std::min(2, h - y), white);
    }
}

} // namespace

ZuAnalyzer::ZuAnalyzer() = default;

ZuAnalyzer::~ZuAnalyzer() {
    waitUntilDone();
}

void ZuAnalyzer::setControler(ZuControler* owner) {
    controler = owner;
    mechanic = owner ? owner->mechanic() : nullptr;
}

void ZuAnalyzer::awakeFromNib() {
    {
        const std::lock_guard guard(listLock);
        creatingImageList.clear();
    }
    initPositionLine();
}

ZuWaveView* ZuAnalyzer::waveView() const {
    return controler && controler->player() ? controler->player()->waveView() : nullptr;
}

QString ZuAnalyzer::imageFilePath(const QString& soundPath) {
    const QFileInfo info(soundPath);
    return info.dir().filePath(ZuMechanic::imageFileName(info.fileName()));
}

bool ZuAnalyzer::imageFileExistAtPath(const QString& soundPath) {
    return QFileInfo::exists(imageFilePath(soundPath));
}

QString ZuAnalyzer::deleteImageFile(const QString& soundPath) {
    const QString path = imageFilePath(soundPath);
    QFile::remove(path);
    return path;
}

bool ZuAnalyzer::soundFileExistAtPath(const QString& path) {
    return QFileInfo::exists(path);
}

void ZuAnalyzer::createImageFileWithSoundFile(const QString& path) {
    {
        const std::lock_guard guard(listLock);
        if (creatingImageList.contains(path))
            return;
        creatingImageList.append(path);
    }
    // The size is taken here, on the main thread, where the view lives.
    QSize size = waveView() ? waveView()->bounds() : ZuWaveView::defaultSize;
    if (size.isEmpty())
        size = ZuWaveView::defaultSize;
    const std::lock_guard guard(buildersLock);
    for (auto it = builders.begin(); it != builders.end();) {
        if ((*it)->finished.load()) {
            (*it)->thread.join();
            it = builders.erase(it);
        } else {
            ++it;
        }
    }
    auto builder = std::make_unique<Builder>();
    Builder* own = builder.get();
    builder->thread =
        std::thread([this, path, size, own] { createImageFileThread(path, size, own); });
    builders.push_back(std::move(builder));
}

bool ZuAnalyzer::isCreatingImageFile(const QString& path) const {
    const std::lock_guard guard(listLock);
    return creatingImageList.contains(path);
}

void ZuAnalyzer::removeCreatingImageList(const QString& path) {
    const std::lock_guard guard(listLock);
    creatingImageList.removeOne(path);
}

void ZuAnalyzer::waitUntilDone() {
    std::vector<std::unique_ptr<Builder>> running;
    {
        const std::lock_guard guard(buildersLock);
        running.swap(builders);
    }
    for (auto& builder : running)
        builder->thread.join();
}

QImage ZuAnalyzer::imageWithSoundFile(const QString& path) const {
    return QImage(imageFilePath(path));
}

void ZuAnalyzer::createImageFileThread(const QString& path, QSize size, Builder* builder) {
    lowerPriority();
    AuStreamBasicDescription format;
    int64_t dataBytes = 0;
    auto file = mechanic ? mechanic->openAIFFFileWithPath(path, &format, &dataBytes) : nullptr;
    if (!file) {
        ZuLogEvent::error(QStringLiteral("ZuAnalyzer: audio file open error."));
    } else {
        ReadFailure failure;
        QImage image;
        {
            ZuPageCacheKeeper keeper(path);
            image = drawImage(*file, dataBytes, size, &failure, &keeper);
        }
        file->close();
        QString reason;
        if (image.isNull()) {
            ZuLogEvent::error(
                QStringLiteral("ZuAnalyzer: audio file read error, readPos=%1, readSize=%2.")
                    .arg(failure.readPos)
                    .arg(failure.readSize));
        } else if (!writeImageFile(image, imageFilePath(path), &reason)) {
            ZuLogEvent::error(QStringLiteral("ZuAnalyzer: image file write error, %1: %2.")
                                  .arg(imageFilePath(path), reason));
        } else {
            zuPerformOnMainThread([path] {
                ZuNotificationCenter::defaultCenter().post(createImageFileNotification, {},
                                                           {{imageFilePathKey, path}});
            });
        }
    }
    removeCreatingImageList(path);
    builder->finished.store(true);
}

int64_t ZuAnalyzer::samplesPerColumn(int64_t dataBytes, int32_t width) {
    return width > 0 ? std::max<int64_t>(dataBytes, 0) / 2 / width : 0;
}

int64_t ZuAnalyzer::samplesExamined(int64_t samplesPerColumn) {
    return samplesPerColumn < 16 ? samplesPerColumn : samplesPerColumn / 8;
}

QImage ZuAnalyzer::drawImage(ZuAudioFile& file, int64_t dataBytes, QSize size, ReadFailure* failure,
                             ZuPageCacheKeeper* keeper) {
    const int32_t width = size.width();
    const int32_t height = size.height();
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 0));
    const int64_t samples = std::max<int64_t>(dataBytes, 0) / 2;
    const int64_t n = samplesPerColumn(dataBytes, width);
    // The pixel row of a sample value, full scale up to the top row.
    auto row = [height](int v) {
        return std::clamp(int((1.0 - v / 32768.0) * height * 0.5), 0, height - 1);
    };
    QPolygon path;
    path.reserve(2 * width);
    std::vector<int16_t> buffer;
    int64_t readPos = 0;
    // Reads count samples from readPos into the buffer; false (and failure
    // filled in) when the file does not give them.
    auto read = [&](int64_t count) {
        buffer.resize(size_t(count));
        uint32_t bytes = uint32_t(count * 2);
        const ZuAudioFile::Status status = file.readBytes(readPos, &bytes, buffer.data());
        if (status != ZuAudioFile::Status::NoError || bytes != uint32_t(count * 2)) {
            if (failure)
                *failure = {readPos, int32_t(count * 2)};
            return false;
        }
        readPos += bytes;
        if (keeper)
            keeper->consumedUpTo(file.dataOffset() + readPos);
        return true;
    };
    if (n >= 16) {
        // Every eighth sample of each column: the first, then 1, 9, 17, ...
        const int64_t last = 1 + 8 * (samplesExamined(n) - 2);
        for (int32_t x = 0; x < width; ++x) {
            int16_t low = 0;
            int16_t high = 0;
            for (int64_t begin = 0; begin < n; begin += readChunkSamples) {
                const int64_t count = std::min(readChunkSamples, n - begin);
                if (!read(count))
                    return {};
                int64_t i = 1;
                if (begin == 0)
                    low = high = sampleAt(buffer, 0);
                else
                    i = begin + 1;
                for (; i <= last && i < begin + count; i += 8) {
                    const int16_t v = sampleAt(buffer, i - begin);
                    if (v > high)
                        high = v;
                    else if (v < low)
                        low = v;
                }
            }
            path << QPoint(x, row(low)) << QPoint(x, row(high));
        }
    } else if (samples > 0) {
        // Fewer than 16 samples a column: each column takes its own share of
        // the sound, at least one sample, and looks at all of it.
        if (!read(samples))
            return {};
        for (int32_t x = 0; x < width; ++x) {
            const int64_t begin = std::min(x * samples / width, samples - 1);
            const int64_t end = std::max((x + 1) * samples / width, begin + 1);
            int16_t low = sampleAt(buffer, begin);
            int16_t high = low;
            for (int64_t i = begin + 1; i < end; ++i) {
                low = std::min(low, sampleAt(buffer, i));
                high = std::max(high, sampleAt(buffer, i));
            }
            path << QPoint(x, row(low)) << QPoint(x, row(high));
        }
    }
    // The path joins the columns; each column also gets its own span in full,
    // which the path's line ends alone would leave short by a pixel.
    QPainter painter(&image);
    const QColor cyan(0, 255, 255);
    painter.setPen(QPen(cyan, 0));
    painter.drawPolyline(path);
    for (qsizetype i = 0; i + 1 < path.size(); i += 2)
        painter.fillRect(path[i].x(), path[i + 1].y(), 1, path[i].y() - path[i + 1].y() + 1, cyan);
    painter.end();
    drawGuides(image);
    return image;
}

bool ZuAnalyzer::writeImageFile(const QImage& image, const QString& path, QString* error) {
    // The TIFF is made in memory and written in one piece: Qt's TIFF writer
    // and its file classes let a short write pass unnoticed, which would
    // leave a truncated picture under the final name.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image)) {
        *error = writer.errorString();
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void ZuAnalyzer::initPositionLine() {
    savedPoint = -1;
    saveImage = QImage();
}

int32_t ZuAnalyzer::pointAtPosition(int64_t position) const {
    const int64_t total = mechanic ? mechanic->numDatas() : 0;
    const int32_t width = waveView() ? waveView()->bounds().width() : 0;
    if (total <= 0)
        return 0;
    return int32_t(double(position) * width / double(total));
}

void ZuAnalyzer::drawPositionLine(int32_t x) {
    ZuWaveView* view = waveView();
    if (!view || x < 0 || x >= view->image().width())
        return;
    QImage& picture = view->editableImage();
    saveImage = picture.copy(x, 0, 1, picture.height());
    savedPoint = x;
    QPainter painter(&picture);
    painter.fillRect(x, 0, 1, picture.height(), QColor(255, 0, 0));
    painter.end();
    view->setNeedsDisplay();
}

void ZuAnalyzer::erasePositionLine() {
    ZuWaveView* view = waveView();
    if (!view || saveImage.isNull() || view->image().isNull())
        return;
    QPainter painter(&view->editableImage());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(savedPoint, 0, saveImage);
    painter.end();
    view->setNeedsDisplay();
}
