// Record files: final names with the "+" rule, the information block, the
// progress link, the over-record cut and relay, the rescue after a crash.
#include "recording/ZuRecorder.h"

#include "audio/ZuDevice.h"
#include "platform/ZuClock.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"
#include "playback/ZuAnalyzer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}
constexpr qint64 informationOffset = 256;
// The information block ends where the sound chunk's header begins.
constexpr qint64 informationEnd = 4080;
const QString startForm = QStringLiteral("yyyyMMdd_HHmmss");
const QString stopForm = QStringLiteral("HHmmss");

bool putBig32(QFile& file, qint64 offset, uint32_t value) {
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return file.seek(offset) && file.write(bytes, 4) == 4;
}

// Asks for the waveform picture of a recording; a renamed progress file's
// previous picture goes, so that renewals leave no stale pictures behind.
void makeImage(ZuControler* controler, const QString& path, const QString& previous = QString()) {
    ZuAnalyzer* analyzer = controler ? controler->analyzer() : nullptr;
    if (!analyzer)
        return;
    if (!previous.isEmpty() && previous != path)
        ZuAnalyzer::deleteImageFile(previous);
    analyzer->createImageFileWithSoundFile(path);
}
} // namespace

QString ZuRecorder::whichHeaderString() const {
    return hideSoundFileValue ? QStringLiteral(".Nightwarden_") : headerString();
}

QString ZuRecorder::uniquePathForName(const QString& name) const {
    const QString folder = mechanic ? mechanic->recordFolder() : QString();
    const int dot = name.lastIndexOf('.');
    QString stem = dot >= 0 ? name.left(dot) : name;
    const QString extension = dot >= 0 ? name.mid(dot) : QString();
    QString path = QDir(folder).filePath(stem + extension);
    while (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        stem += '+';
        path = QDir(folder).filePath(stem + extension);
    }
    return path;
}

QString ZuRecorder::recordSourceLetter(const QString& sourceName) {
    if (sourceName == QLatin1String("Internal microphone"))
        return QStringLiteral("I");
    if (sourceName == QLatin1String("Line In"))
        return QStringLiteral("L");
    if (sourceName == QLatin1String("Digital In"))
        return QStringLiteral("D");
    return QStringLiteral("X");
}

bool ZuRecorder::writeInformationWithPath(const QString& path, const QDateTime& startDate,
                                          const QDateTime& stopDate, const QString& option) {
    return writeInformation(path, startDate, stopDate, option, recordingRate(),
                            recordingChannels());
}

bool ZuRecorder::writeInformation(const QString& path, const QDateTime& startDate,
                                  const QDateTime& stopDate, const QString& option, double rate,
                                  int32_t channels) {
    QString note = reserveNameText.text();
    if (note.isEmpty()) {
        ZuDevice* devicer = controler ? controler->devicer() : nullptr;
        note =
            QStringLiteral("%1%2%3%4")
                .arg(static_cast<int>(rate))
                .arg(channels == 1 ? QStringLiteral("M") : QStringLiteral("S"))
                .arg(recordSourceLetter(devicer ? devicer->presentRecordSourceName() : QString()))
                .arg(option);
    }
    QByteArray block =
        (headerString() + startDate.toString(startForm) + '~' + stopDate.toString(stopForm) + note)
            .toLocal8Bit();
    // A long reservation name must not run into the sound chunk.
    block.truncate(int(informationEnd - informationOffset - 1));
    block.append('\0');
    // Written only into the recording itself, never through a link.
    QFile file;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    struct stat info {};
    const bool regular = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (fd >= 0 && !regular)
        ::close(fd);
    if (!regular || !file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle) ||
        !file.seek(informationOffset) || file.write(block) != block.size()) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot write the information of %1.")
                              .arg(QFileInfo(path).fileName()));
        return false;
    }
    return true;
}

void ZuRecorder::moveToFinalName() {
    lastFilePath.clear();
    if (!mechanic)
        return;
    const QDateTime stop = recordStopDate();
    const QString name = whichHeaderString() + recordStartDateValue.toString(startForm) + '~' +
                         stop.toString(stopForm) + '.' + mechanic->extensionName();
    const QString path = uniquePathForName(name);
    if (!mechanic->moveFileAtPath(mechanic->temporaryFilePath(), path)) {
        // The sound stays in the temporary file; the next start or launch
        // saves it before anything replaces it.
        ZuLogEvent::error(QStringLiteral("ZuRecorder: record file rename error."));
        return;
    }
    writeInformationWithPath(path, recordStartDateValue, stop, QString());
    lastFilePath = path;
    lastFileStart = recordStartDateValue;
    lastFileStop = stop;
    makeImage(controler, path);
}

void ZuRecorder::makeProgressSoundFile() {
    if (!mechanic)
        return;
    const QString name = whichHeaderString() + recordStartDateValue.toString(startForm) + '~' +
                         ZuClock::now().toString(stopForm) + '.' + mechanic->extensionName();
    const QString path = QDir(mechanic->recordFolder()).filePath(name);
    if (::link(QFile::encodeName(mechanic->temporaryFilePath()).constData(),
               QFile::encodeName(path).constData()) != 0) {
        ZuConsole::line(QStringLiteral("Cannot create progress sound file."));
        return;
    }
    store().setString(path, "ProgressSoundFileName");
    store().synchronize();
}

bool ZuRecorder::isProgressSoundFile(const QString& path) const {
    // The stored name is only trusted for a recording in the record folder.
    const QFileInfo info(path);
    return mechanic && !path.isEmpty() &&
           info.absolutePath() == QFileInfo(mechanic->recordFolder()).absoluteFilePath() &&
           ZuMechanic::isSoundFile(info.fileName());
}

void ZuRecorder::renewalProgressSoundFile() {
    const QString old = store().stringForKey("ProgressSoundFileName");
    if (!isProgressSoundFile(old))
        return;
    mechanic->unlockFile(old);
    const QString name = whichHeaderString() + recordStartDateValue.toString(startForm) + '~' +
                         ZuClock::now().toString(stopForm) + '.' + mechanic->extensionName();
    const QString path = QDir(mechanic->recordFolder()).filePath(name);
    if (path != old && !mechanic->moveFileAtPath(old, path)) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot renewal progress sound file."));
        return;
    }
    mechanic->setAIFFFileHeader(path, recordingChannels());
    makeImage(controler, path, old);
    store().setString(path, "ProgressSoundFileName");
    store().synchronize();
}

void ZuRecorder::deleteProgressSoundFile() {
    if (store().hasStoredValue("ProgressSoundFileName") &&
        store().stringForKey("ProgressSoundFileName").isEmpty())
        return;
    const QString path = store().stringForKey("ProgressSoundFileName");
    if (isProgressSoundFile(path) && QFileInfo(path).exists()) {
        mechanic->unlockFile(path);
        // A link that stays (a read-only folder) stays named in the settings,
        // so that the next launch removes it rather than list it as well.
        if (!mechanic->removeFileAtPath(path)) {
            ZuConsole::line(QStringLiteral("Cannot remove progress sound file."));
            return;
        }
        mechanic->deleteImageFile(QFileInfo(path).fileName());
    }
    store().setString(QString(), "ProgressSoundFileName");
    store().synchronize();
}

void ZuRecorder::overRecord() {
    overRecordBytesValue = 0;
    const double limit = maxFileSeconds();
    if (secondCountValue <= limit)
        return;
    double o = secondCountValue - limit;
    if (o < 0.1)
        return;
    if (o > 60.0) {
        ZuConsole::line(QStringLiteral("RecordTime over 60sec"));
        o = 60.0;
    }
    const auto bytes = static_cast<int64_t>(recordingRateValue * o * recordingChannelsValue * 2.0);
    overRecordBytesValue = static_cast<int32_t>(bytes - bytes % 4);
    const qint64 back = -std::llround(o * 1000.0);
    if (sleepinDate.isValid())
        sleepinDate = sleepinDate.addMSecs(back);
    else
        recordStopDateValue = recordStopDateValue.addMSecs(back);
    overRecordSeconds = o;
    secondCountValue -= o;
    lastInputValue -= overRecordBytesValue;
    writeCountValue.store(writeCountValue.load() - overRecordBytesValue);
    if (o >= 1.0)
        ZuLogEvent::report(QStringLiteral("ZuRecorder: over record %1seconds(=%2bytes)")
                               .arg(o, 0, 'f', 6)
                               .arg(overRecordBytesValue));
}

void ZuRecorder::delOverRecordData() {
    // Without a relay the surplus stays where it is, and so does the stop:
    // the file and the next one are named by the times they really hold.
    const auto keepInPlace = [this](const QString& message) {
        ZuLogEvent::error(message);
        overRecordBytesValue = 0;
        const qint64 forth = std::llround(overRecordSeconds * 1000.0);
        if (sleepinDate.isValid())
            sleepinDate = sleepinDate.addMSecs(forth);
        else
            recordStopDateValue = recordStopDateValue.addMSecs(forth);
        secondCountValue += overRecordSeconds;
        if (mechanic)
            mechanic->deleteRelayFile();
    };
    auto relay = mechanic ? mechanic->createRelayFile() : nullptr;
    if (!relay) {
        keepInPlace(QStringLiteral("ZuRecorder: cannot open over record temp file."));
        return;
    }
    auto temp = mechanic->openTempFile();
    if (!temp) {
        relay.reset();
        keepInPlace(QStringLiteral("ZuRecorder: cannot open sound record temp file."));
        return;
    }
    const qint64 end = temp->size();
    const qint64 cut = std::max<qint64>(ZuAudioFile::headerLength, end - overRecordBytesValue);
    QByteArray surplus;
    if (temp->seek(cut))
        surplus = temp->read(end - cut);
    // The surplus is safely in the relay file before the temporary file loses it.
    if (surplus.size() != end - cut || relay->write(surplus) != surplus.size() || !relay->flush() ||
        !temp->resize(cut)) {
        relay.reset();
        keepInPlace(QStringLiteral("ZuRecorder: cannot open over record temp file."));
        return;
    }
    putBig32(*temp, 4, uint32_t(cut - 8));
    putBig32(*temp, 22, uint32_t((cut - ZuAudioFile::headerLength) / 2 / recordingChannelsValue));
    putBig32(*temp, 4084, uint32_t(cut - 4088));
}

// The surplus belongs to the span it was recorded in: with no next file to
// carry it, it goes back to the end of the file it was cut from, which is
// then named by its real stop. It never waits for a later recording.
void ZuRecorder::keepOverRecordData() {
    overRecordBytesValue = 0;
    auto relay = mechanic ? mechanic->openRelayFile() : nullptr;
    const QByteArray surplus = relay ? relay->readAll() : QByteArray();
    relay.reset();
    bool kept = false;
    if (!surplus.isEmpty() && !lastFilePath.isEmpty()) {
        if (auto file = ZuAudioFile::openRecording(lastFilePath))
            kept = file->writeBytes(file->audioDataByteCount(), uint32_t(surplus.size()),
                                    surplus.constData()) == ZuAudioFile::Status::NoError &&
                   file->close() == ZuAudioFile::Status::NoError;
    }
    if (mechanic)
        mechanic->deleteRelayFile();
    if (!kept) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: over record %1seconds are lost.")
                              .arg(overRecordSeconds, 0, 'f', 6));
        return;
    }
    const QDateTime stop = lastFileStop.addMSecs(std::llround(overRecordSeconds * 1000.0));
    const QString name = whichHeaderString() + lastFileStart.toString(startForm) + '~' +
                         stop.toString(stopForm) + '.' + mechanic->extensionName();
    QString path = lastFilePath;
    if (QFileInfo(path).fileName() != name) {
        const QString renamed = uniquePathForName(name);
        if (mechanic->moveFileAtPath(path, renamed))
            path = renamed;
    }
    writeInformationWithPath(path, lastFileStart, stop, QString());
    ZuLogEvent::report(QStringLiteral("ZuRecorder: over record %1seconds are kept in %2.")
                           .arg(overRecordSeconds, 0, 'f', 6)
                           .arg(QFileInfo(path).fileName()));
}

void ZuRecorder::addOverRecordData() {
    auto relay = mechanic ? mechanic->openRelayFile() : nullptr;
    if (!relay) {
        ZuConsole::line(QStringLiteral("Cannnot open relay file."));
        return;
    }
    const QByteArray bytes = relay->readAll();
    relay->close();
    if (!bytes.isEmpty() && writeFileID &&
        writeFileID->writeBytes(writePosValue, uint32_t(bytes.size()), bytes.constData()) ==
            ZuAudioFile::Status::NoError) {
        const double rate = recordingRateValue;
        if (rate > 0.0)
            relayInput += bytes.size() * deviceRate.load() * 4.0 / (recordingChannelsValue * rate);
        writeCountValue.store(writeCountValue.load() + bytes.size());
        writePosValue += bytes.size();
        writeFileID->synchronize();
    } else if (!bytes.isEmpty()) {
        ZuConsole::line(QStringLiteral("Relay file data write error"));
    }
    mechanic->deleteRelayFile();
}

void ZuRecorder::rescueTempFile() {
    if (!mechanic)
        return;
    const QString temp = mechanic->temporaryFilePath();
    const QFileInfo info(temp);
    if (!info.exists() && !info.isSymLink())
        return;
    const auto noSound = [this, &temp] {
        mechanic->removeFileAtPath(temp);
        ZuLogEvent::report(
            QStringLiteral("ZuRecorder: last recording file held no sound and is removed."));
    };
    // A crash before the first batch leaves a header at most.
    if (info.isFile() && !info.isSymLink() && info.size() <= ZuAudioFile::headerLength) {
        noSound();
        return;
    }
    // Only a file this program wrote is repaired and named; a link is never
    // followed, and anything else stays as it is.
    QString reason;
    auto file = ZuAudioFile::openRecording(temp, &reason);
    if (!file) {
        ZuLogEvent::error(
            QStringLiteral("ZuRecorder: the temporary file is left alone: %1").arg(reason));
        return;
    }
    // The file's own header names its rate and channels, kept current while
    // it was written; the settings may have changed since.
    const double rate = file->dataFormat().mSampleRate;
    const auto count = static_cast<int32_t>(file->dataFormat().mChannelsPerFrame);
    const ZuAudioFile::Status status = file->adoptFileLength();
    const int64_t soundBytes = file->audioDataByteCount();
    if (status != ZuAudioFile::Status::NoError || file->close() != ZuAudioFile::Status::NoError) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot repair the temporary file: %1")
                              .arg(file->errorText(status)));
        return;
    }
    file.reset();
    if (soundBytes == 0) {
        noSound();
        return;
    }
    const double seconds = std::floor(double(soundBytes) * 0.5 / rate / count + 0.5);
    const QString startText = store().stringForKey("WriteStartTempFile");
    QDateTime start = QDateTime::fromString(startText, startForm);
    if (!start.isValid())
        start = info.lastModified().addSecs(-qint64(seconds));
    lastCrashDateValue = start.addSecs(qint64(seconds));
    const QString name = whichHeaderString() + start.toString(startForm) + '~' +
                         lastCrashDateValue.toString(stopForm) + '.' + mechanic->extensionName();
    const QString path = uniquePathForName(name);
    if (!mechanic->moveFileAtPath(temp, path)) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: record file rename error."));
        return;
    }
    writeInformation(path, start, lastCrashDateValue, QStringLiteral("*"), rate, count);
    makeImage(controler, path);
    ZuLogEvent::report(QStringLiteral("ZuRecorder: last recording file is rescued."));
}
