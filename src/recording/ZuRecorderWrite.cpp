// The write side of the recorder: the write thread, one write with its
// decimation and 16-bit conversion, preparing the queue at a start and
// finishing the file at a stop.
#include "recording/ZuRecorder.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuQueBuffer.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace {
// A crash loses at most one batch of sound.
constexpr std::chrono::seconds batchInterval{1};
} // namespace

uint32_t ZuRecorder::convertToFileSamples(float* samples, uint32_t frames, uint32_t ratio,
                                          int32_t channels) {
    if (ratio == 0 || channels <= 0)
        return 0;
    const uint32_t outFrames = frames / ratio;
    const uint32_t kept = channels == 1 ? 1 : 2;
    auto* out = reinterpret_cast<unsigned char*>(samples);
    for (uint32_t k = 0; k < outFrames; ++k) {
        // Read the frame before writing: the output trails the input in the
        // same storage.
        const float* frame = samples + size_t(k) * ratio * 2;
        const float pair[2] = {frame[0], frame[1]};
        for (uint32_t c = 0; c < kept; ++c) {
            float x = pair[c];
            if (x > 1.0f)
                x = 1.0f;
            else if (x < -1.0f)
                x = -1.0f;
            else if (x != x)
                x = 0.0f;
            const auto value = static_cast<uint16_t>(static_cast<int16_t>(x * 32767.0f));
            *out++ = static_cast<unsigned char>(value >> 8);
            *out++ = static_cast<unsigned char>(value & 0xff);
        }
    }
    return outFrames * kept * 2;
}

uint32_t ZuRecorder::writeSoundFile(uint32_t size) {
    ZuQueBuffer* que = soundQueue.get();
    // Nothing more goes into a file once a write to it failed.
    if (!que || !writeFileID || writeFileID->writeFailed())
        return 0;
    // Sound for a file that was removed stays queued for the next one.
    if (writeFileVanished()) {
        fileVanished.store(true);
        return 0;
    }
    uint32_t s = size != 0 ? size : que->remain();
    if (s > preBufferSize()) {
        if (size == 0)
            ZuLogEvent::report(QStringLiteral("ZuRecorder: readSize(=%1) too big, change "
                                              "readSize(=%2).")
                                   .arg(s)
                                   .arg(preBufferSize()));
        s = preBufferSize();
    }
    // Whole groups of ratio frames only, so that the frames taken stay every
    // ratio-th of the input from one batch to the next.
    const uint32_t r = ratio.load(std::memory_order_relaxed);
    const uint32_t group = 8 * r;
    s -= s % group;
    if (s == 0)
        return 0;
    try {
        if (writeBuffer.size() < s / 4)
            writeBuffer.resize(s / 4);
    } catch (const std::bad_alloc&) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: no enough memory for write buffer."));
        writeThreadError.store(true);
        return 0;
    }
    const uint32_t got = que->readFloat32Data(writeBuffer.data(), s / 4);
    const uint32_t bytes =
        convertToFileSamples(writeBuffer.data(), got / 8, r, recordingChannelsValue);
    if (bytes == 0)
        return 0;
    ZuAudioFile::Status status = writeFileID->writeBytes(writePosValue, bytes, writeBuffer.data());
    if (status == ZuAudioFile::Status::NoError) {
        writeCountValue.store(writeCountValue.load() + bytes);
        writePosValue += bytes;
        // The size fields follow every batch, so the file is valid AIFF even
        // if the program dies before the stop.
        status = writeFileID->synchronize();
    }
    if (status != ZuAudioFile::Status::NoError) {
        // Told once, with its reason, by whoever answers the failure.
        writeErrorReason = writeFileID->errorText(status);
        writeThreadError.store(true);
        return 0;
    }
    return bytes;
}

void ZuRecorder::startWriteThread() {
    if (writer.joinable())
        writer.join();
    writeThreadError.store(false);
    fileVanished.store(false);
    // Marked running before the thread exists, so a stop right after the
    // start waits for it.
    fileWriteingFlag.store(true, std::memory_order_release);
    writer = std::thread([this] { writeSoundFileThread(); });
}

void ZuRecorder::writeSoundFileThread() {
    writeThreadError.store(false);
    fileWriteingFlag.store(true, std::memory_order_release);
    while (writeThreadFlag.load(std::memory_order_acquire)) {
        if (writeSoundFile(0) > 0)
            writtenBatches.fetch_add(1, std::memory_order_relaxed);
        if (writeThreadError.load() || fileVanished.load())
            break;
        // One wait per batch; a stop ends it at once.
        std::unique_lock lock(napLock);
        if (napWake.wait_for(lock, batchInterval,
                             [this] { return !writeThreadFlag.load(std::memory_order_acquire); }))
            break;
    }
    fileWriteingFlag.store(false, std::memory_order_release);
    if (writeThreadError.load() || fileVanished.load())
        QCoreApplication::postEvent(&writeErrorHandOff, new QEvent(QEvent::User));
}

bool ZuRecorder::writeFileVanished() const {
    return writeFileID && !writePath.isEmpty() && !writeFileID->isLinkedAt(writePath);
}

void ZuRecorder::writeErrorSteps() {
    // The thread has ended; the recording ends like any other and is named.
    emerRecordStop();
    ZuAlerts::run({"FileWriteError", "CheckAndRetry", "Understand"});
    reportWriteError();
}

void ZuRecorder::reportWriteError() {
    const QString reason = std::exchange(writeErrorReason, QString());
    ZuLogEvent::error(reason.isEmpty()
                          ? QStringLiteral("ZuRecorder: audio file write error.")
                          : QStringLiteral("ZuRecorder: audio file write error. %1.").arg(reason));
}

void ZuRecorder::prepareSoundQue() {
    relayInput = 0.0;
    ZuQueBuffer* que = soundQueue.get();
    if (!que) {
        recordingFirst = 0;
        return;
    }
    if (recordModeValue == 1) {
        const double rate = deviceRate.load(std::memory_order_relaxed);
        const auto samples = static_cast<uint32_t>(preBufferSecValue * rate * 2.0);
        const uint32_t held = que->clearDataWithLeftLengthFloat32(samples);
        // The start moves back by the prior time the queue really holds.
        const double seconds = rate > 0.0 ? held / (rate * 8.0) : 0.0;
        recordStartDateValue = recordStartDateValue.addMSecs(-qint64(std::llround(seconds * 1000)));
    } else {
        // The reader's way of emptying: the capture callback may be writing.
        que->clearDataWithLeftLengthFloat32(0);
    }
    // The recording's input is everything from the oldest sample kept on,
    // including cycles that came during the cut. A queue this short never
    // drops samples on its own, so the position holds until the first read.
    recordingFirst = que->consumedTotal();
}

void ZuRecorder::finishWriting(double gapBytes) {
    napWake.notify_all();
    if (writer.joinable())
        writer.join();
    fileWriteingFlag.store(false, std::memory_order_release);
    const double rate = recordingRateValue;
    const double frameBytes = recordingChannelsValue * 2.0;
    ZuQueBuffer* que = soundQueue.get();
    const bool fileFailed = writeFileID && writeFileID->writeFailed();
    if (writeFileID && rate > 0.0 && !fileFailed) {
        const double due = lastInputValue - writeCountValue.load();
        if (due < 0.0)
            ZuLogEvent::report(QStringLiteral("ZuRecorder: over input %1bytes(=%2seconds)")
                                   .arg(qint64(-due))
                                   .arg(-due / (rate * frameBytes), 0, 'f', 6));
        // Only the recording's own samples: what came after its end belongs
        // to the next one, and what overflowed is gone.
        const uint64_t read = que ? que->consumedTotal() : recordingEnd;
        if (recordingEnd > read)
            writeSoundFile(static_cast<uint32_t>(
                std::min<uint64_t>((recordingEnd - read) * 4, preBufferSize())));
    }
    const int64_t overflow = overflowCountValue.load();
    if (overflow != 0)
        ZuLogEvent::error(
            QStringLiteral("ZuRecorder: sound que buffer overflow %1 bytes.").arg(overflow));
    // What the file lacks: the sound the input skipped, and what came in but
    // never reached it (an overflow, a failed write). Less than one file
    // frame left over is the decimation's remainder, not a loss.
    const double unwritten =
        std::max(0.0, std::floor((lastInputValue - writeCountValue.load()) / frameBytes)) *
        frameBytes;
    lastLostValue = gapBytes + unwritten;
    if (rate > 0.0) {
        const double inputLoss = gapBytes / (rate * frameBytes);
        const double writeLoss = unwritten / (rate * frameBytes);
        // After a failed write every lost moment is told, however short.
        if (inputLoss >= 1.0 || writeLoss >= 1.0 || (fileFailed && unwritten > 0.0))
            ZuLogEvent::report(
                QStringLiteral("ZuRecorder: data lost input=%1seconds, write=%2seconds")
                    .arg(inputLoss, 0, 'f', 6)
                    .arg(writeLoss, 0, 'f', 6));
    }
    if (writeFileID) {
        if (writeFileID->close() != ZuAudioFile::Status::NoError)
            ZuLogEvent::error(QStringLiteral("ZuRecorder: audio file write error."));
        writeFileID.reset();
    }
    lastWriteValue = writeCountValue.load();
    writeCountValue.store(0.0);
}
