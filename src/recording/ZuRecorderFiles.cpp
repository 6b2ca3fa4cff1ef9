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
    return writeInformation(path, startDate, stopDate, option, sampleRate(), channelsValue);
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
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(informationOffset) ||
        file.write(block) != block.size()) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot write the information of %1.")
                              .arg(QFileInfo(path).fileName()));
        return false;
    }
    return true;
}

void ZuRecorder::moveToFinalName() {
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
    mechanic->setAIFFFileHeader(path, channelsValue);
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
        mechanic->removeFileAtPath(path);
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
    const auto bytes = static_cast<int64_t>(sampleRate() * o * channelsValue * 2.0);
    overRecordBytesValue = static_cast<int32_t>(bytes - bytes % 4);
    const qint64 back = -std::llround(o * 1000.0);
    if (sleepinDate.isValid())
        sleepinDate = sleepinDate.addMSecs(back);
    else
        recordStopDateValue = recordStopDateValue.addMSecs(back);
    secondCountValue -= o;
    lastInputValue -= overRecordBytesValue;
    writeCountValue.store(writeCountValue.load() - overRecordBytesValue);
    if (o >= 1.0)
        ZuLogEvent::report(QStringLiteral("ZuRecorder: over record %1seconds(=%2bytes)")
                               .arg(o, 0, 'f', 6)
                               .arg(overRecordBytesValue));
}

void ZuRecorder::delOverRecordData() {
    auto relay = mechanic ? mechanic->createRelayFile() : nullptr;
    if (!relay) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot open over record temp file."));
        overRecordBytesValue = 0;
        return;
    }
    auto temp = mechanic->openTempFile();
    if (!temp) {
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot open sound record temp file."));
        overRecordBytesValue = 0;
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
        ZuLogEvent::error(QStringLiteral("ZuRecorder: cannot open over record temp file."));
        overRecordBytesValue = 0;
        return;
    }
    putBig32(*temp, 4, uint32_t(cut - 8));
    putBig32(*temp, 22, uint32_t((cut - ZuAudioFile::headerLength) / 2 / channelsValue));
    putBig32(*temp, 4084, uint32_t(cut - 4088));
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
        const double rate = sampleRate();
        if (rate > 0.0)
            relayInput += bytes.size() * deviceRate.load() * 4.0 / (channelsValue * rate);
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
    if (!QFileInfo::exists(temp))
        return;
    // The file's own header names its rate and channels, kept current while
    // it was written; the settings may have changed since.
    double rate = sampleRate();
    int32_t count = channelsValue;
    if (auto file = ZuAudioFile::open(temp, ZuAudioFile::Mode::Read)) {
        rate = file->dataFormat().mSampleRate;
        count = static_cast<int32_t>(file->dataFormat().mChannelsPerFrame);
    }
    mechanic->setAIFFFileHeader(temp, count);
    const qint64 size = QFileInfo(temp).size();
    const double seconds =
        rate > 0.0 && count > 0
            ? std::floor((size - ZuAudioFile::headerLength) * 0.5 / rate / count + 0.5)
            : 0.0;
    const QString startText = store().stringForKey("WriteStartTempFile");
    QDateTime start = QDateTime::fromString(startText, startForm);
    if (!start.isValid())
        start = QFileInfo(temp).lastModified().addSecs(-qint64(seconds));
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
