// The player's copy: the selected recording, whole or the range selected in
// the wave view, exported under a name that may carry its times and its note.
#include "playback/ZuPlayerCopy.h"

#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuPanels.h"
#include "platform/ZuSettings.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

const QString requiredType = QStringLiteral("aif");

// Characters of a note that cannot stand in a file name on this system, or
// would make one hard to handle: the folder separator, NUL and controls.
bool unfitForName(QChar c) {
    return c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool sameFile(const QString& a, const QString& b) {
    return QFileInfo::exists(a) && QFileInfo::exists(b) &&
           QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath();
}

} // namespace

ZuSoundRange ZuSoundRange::of(int64_t numDatas, int32_t channels, ZuRange selected, int32_t width) {
    if (selected.length == 0 || width <= 0)
        return {0, numDatas};
    const auto at = [&](int64_t column) {
        return ZuPlayer::adjustReadPosition(numDatas * column / width, channels);
    };
    return {at(selected.location), at(int64_t(selected.location) + selected.length)};
}

QString ZuExport::datePart(const QString& sourceName, bool selected, double fromSeconds,
                           double toSeconds) {
    const QString times = QFileInfo(sourceName).completeBaseName().mid(13);
    if (!selected)
        return times;
    return times.left(9) + ZuPlayList::numberStringWithSeconds(fromSeconds) + '~' +
           ZuPlayList::numberStringWithSeconds(toSeconds);
}

QString ZuExport::notePartOfName(const QString& note) {
    QString part = note;
    for (QChar& c : part)
        if (unfitForName(c))
            c = QLatin1Char('_');
    return part;
}

QString ZuExport::destinationPath(const QString& chosen, const QString& datePart,
                                  const QString& note) {
    const QFileInfo info(chosen);
    QString base = info.fileName();
    if (info.suffix() == requiredType)
        base.chop(requiredType.size() + 1);
    if (!datePart.isEmpty())
        base += '_' + datePart;
    QString notePart = notePartOfName(note);
    // A name holds at most NAME_MAX bytes: the note gives way, by whole
    // characters, to the name the user chose and the times.
    const auto fits = [&] {
        const QString name = notePart.isEmpty() ? base : base + '_' + notePart;
        return QFile::encodeName(name + '.' + requiredType).size() <= NAME_MAX;
    };
    while (!notePart.isEmpty() && !fits()) {
        notePart.chop(notePart.size() > 1 && notePart.back().isLowSurrogate() ? 2 : 1);
    }
    if (!notePart.isEmpty())
        base += '_' + notePart;
    return info.absolutePath() + '/' + base + '.' + requiredType;
}

QString ZuExport::partialPath(const QString& destination) {
    return QFileInfo(destination).absolutePath() + QStringLiteral("/.NightwardenExportCopy");
}

bool ZuExport::copyWhole(const QString& source, const QString& destination, QString* error) {
    return ZuKeeper::copyFileSafely(source, destination, false, error);
}

bool ZuExport::copyRange(ZuMechanic& mechanic, ZuAudioFile& source,
                         const AuStreamBasicDescription& format, ZuSoundRange range,
                         const QString& destination, QString* error) {
    const QString temp = partialPath(destination);
    std::unique_ptr<ZuAudioFile> out;
    const auto fail = [&](const QString& why) {
        out.reset();
        QFile::remove(temp);
        if (error)
            *error = why;
        return false;
    };
    if (ZuFileLock::isLocked(destination))
        return fail(QStringLiteral("a locked file of that name is in the way"));
    out = mechanic.createAudioFileWithFormat(format, temp);
    if (!out)
        return fail(QStringLiteral("the copy cannot be created"));
    std::vector<char> buffer(chunkBytes);
    for (int64_t done = 0; done < range.length();) {
        const auto want = uint32_t(std::min<int64_t>(chunkBytes, range.length() - done));
        uint32_t got = want;
        const ZuAudioFile::Status read = source.readBytes(range.head + done, &got, buffer.data());
        if (got < want)
            return fail(read == ZuAudioFile::Status::EndOfFile
                            ? QStringLiteral("the recording ends before the range")
                            : source.errorText(read));
        const ZuAudioFile::Status written = out->writeBytes(done, got, buffer.data());
        if (written != ZuAudioFile::Status::NoError)
            return fail(out->errorText(written));
        done += got;
    }
    const ZuAudioFile::Status closed = out->close();
    if (closed != ZuAudioFile::Status::NoError)
        return fail(out->errorText(closed));
    QFile written(temp);
    if (!written.open(QIODevice::ReadOnly) || ::fsync(written.handle()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    written.close();
    if (std::rename(QFile::encodeName(temp).constData(),
                    QFile::encodeName(destination).constData()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

void ZuPlayer::actCopy() {
    ZuMechanic* mechanic = controler ? controler->mechanic() : nullptr;
    const int row = dataView.selectedIndex();
    const QString source = selectedFilePath();
    if (!mechanic || source.isEmpty() || !copyButton.isEnabled())
        return;
    ZuSettings& settings = ZuSettings::standard();
    addDateCheck.setState(settings.boolForKey("AddDateName") ? 1 : 0);
    addNoteCheck.setState(settings.boolForKey("AddNoteName") ? 1 : 0);
    ZuSavePanelRequest request;
    request.title = ZuLocalized::text(QStringLiteral("ExportFileTitle"));
    request.prompt = ZuLocalized::text(QStringLiteral("Export"));
    request.requiredFileType = requiredType;
    request.canCreateDirectories = true;
    request.accessory = {&addDateCheck, &addNoteCheck};
    request.directory = QDir::homePath();
    request.fileName = selectedFileName();
    const QString chosen = ZuPanels::runSave(request);
    if (chosen.isEmpty())
        return;
    const bool addDate = addDateCheck.state() != 0;
    const bool addNote = addNoteCheck.state() != 0;
    settings.setBool(addDate, "AddDateName");
    settings.setBool(addNote, "AddNoteName");
    settings.synchronize();

    // The recording in progress is copied as it stands: the sound its header
    // counts, as a range of the whole picture, into a file of its own.
    const bool progress = playList.isProgressAtRow(row);
    const int32_t width = wave.bounds().width();
    const bool wholePicture = progress && wave.selectedRange().length == 0;
    if (wholePicture)
        wave.setSelectedRange({0, uint32_t(std::max(width, 1))});
    const ZuRange selected = wave.selectedRange();
    const int64_t end = int64_t(selected.location) + selected.length;
    const auto clockAt = [&](int64_t column) {
        return ZuPlayList::secondsWithTimeString(playList.startTimeStringAtRow(row)) +
               playList.spendTimeAtRow(row) * double(column) / std::max(width, 1);
    };
    const QString date = addDate ? ZuExport::datePart(selectedFileName(), end != 0,
                                                      clockAt(selected.location), clockAt(end))
                                 : QString();
    const QString target = ZuExport::destinationPath(
        chosen, date, addNote ? playList.noteStringAtRow(row) : QString());

    QString why;
    bool copied = false;
    if (sameFile(source, target)) {
        why = QStringLiteral("the copy would replace the recording itself");
    } else if (end == 0) {
        copied = ZuExport::copyWhole(source, target, &why);
    } else {
        AuStreamBasicDescription format;
        int64_t numDatas = 0;
        // Out-parameters keep the format of the file the transport has open.
        auto file = mechanic->openAIFFFileWithPath(source, &format, &numDatas);
        if (!file)
            why = QStringLiteral("the recording cannot be opened");
        else
            copied = ZuExport::copyRange(
                *mechanic, *file, format,
                ZuSoundRange::of(numDatas, int32_t(format.mChannelsPerFrame), selected, width),
                target, &why);
    }
    if (wholePicture)
        wave.clearSelectedRange();
    if (progress)
        mainTabSelected();
    if (copied) {
        copiedFrom = QFileInfo(source).fileName();
        copiedTo = QFileInfo(target).fileName();
        ZuLogEvent::post(QStringLiteral("SoundFileCopy"));
        return;
    }
    ZuConsole::line(QStringLiteral("ZuPlayer: cannot copy %1 to %2: %3; no copy is left there.")
                        .arg(source, target, why));
    ZuAlerts::run({"FileCopyError", "CheckAndRetry", "Understand"});
    ZuLogEvent::error(QStringLiteral("ZuPlayer: file copy error."));
}
