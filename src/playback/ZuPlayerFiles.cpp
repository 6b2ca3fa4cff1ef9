// The player's operations on the selected recording: lock, note, delete, and
// the table's selection and totals they keep current.
#include "playback/ZuPlayer.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "playback/ZuAnalyzer.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"

#include <QFile>
#include <QFileInfo>

namespace {
// The audio data start here; the note area lies inside the header before it.
constexpr qint64 headerSize = 4096;
} // namespace

QString ZuPlayer::selectedFileName() const {
    return playList.fileNameAtRow(dataView.selectedIndex());
}

QString ZuPlayer::selectedFilePath() const {
    const QString name = selectedFileName();
    return name.isEmpty() ? QString() : playList.folderPath() + '/' + name;
}

void ZuPlayer::setWorkerButtonEnabled(bool enabled) {
    for (ZuControl* control : {&lockButton, &noteButton, &deleteButton, &copyButton})
        control->setEnabled(enabled);
}

void ZuPlayer::onlyCopyButtonSetEnable() {
    setWorkerButtonEnabled(false);
    copyButton.setEnabled(true);
}

void ZuPlayer::renewListAndControl() {
    initDataSource();
    totalFilesText.setText(QString::number(playList.totalFiles()));
    totalTimeText.setText(playList.totalPeriodString());
    totalSizeText.setText(QString::number(playList.totalSize(), 'f', 1));
    changeSelectRow();
}

void ZuPlayer::changeSelectRow() {
    const int row = dataView.selectedIndex();
    if (selectedFileName().isEmpty()) {
        closePlaybackFile();
        setWorkerButtonEnabled(false);
        setPlayerButtonEnabled(false);
        lockButton.setTitle(ZuLocalized::text(QStringLiteral("SetLock")));
        return;
    }
    setPlayerButtonEnabled(true);
    if (playList.isProgressAtRow(row)) {
        onlyCopyButtonSetEnable();
    } else {
        setWorkerButtonEnabled(true);
        // A locked recording keeps its note and cannot be deleted.
        noteButton.setEnabled(!playList.isLockedAtRow(row));
        deleteButton.setEnabled(!playList.isLockedAtRow(row));
    }
    lockButton.setTitle(ZuLocalized::text(playList.isLockedAtRow(row) ? QStringLiteral("SetUnlock")
                                                                      : QStringLiteral("SetLock")));
    const QString path = selectedFilePath();
    // A renewed list keeps the selection: the recording being played goes on.
    if (path == waveImagePath && playbackFile)
        return;
    stopPlayback();
    showRowTimes();
    showWaveImage(path);
    startPlayback(path);
}

void ZuPlayer::showRowTimes() {
    const int row = dataView.selectedIndex();
    const double start = rowStartSeconds();
    const double spend = rowSpendSeconds();
    const double end = ZuPlayList::secondsWithTimeString(playList.endTimeStringAtRow(row));
    currentTimeText.setText(ZuPlayList::timeStringWithMiliSeconds(start));
    headTimeText.setText(ZuPlayList::timeStringWithSeconds(start));
    tailTimeText.setText(ZuPlayList::timeStringWithSeconds(end));
    const struct {
        ZuControl* text;
        double part;
    } marks[] = {{&quarterTimeText, 0.25}, {&halfTimeText, 0.5}, {&threeQuarterTimeText, 0.75}};
    for (const auto& mark : marks) {
        const double at = start + spend * mark.part;
        mark.text->setText(ZuPlayList::timeStringWithSeconds(at >= 86400.0 ? at - 86400.0 : at));
    }
}

void ZuPlayer::actLock() {
    ZuMechanic* mechanic = controler ? controler->mechanic() : nullptr;
    const QString path = selectedFilePath();
    if (!mechanic || path.isEmpty() || !lockButton.isEnabled())
        return;
    if (mechanic->isLockedFile(path))
        mechanic->unlockFile(path);
    else
        mechanic->lockFile(path);
    renewListAndControl();
}

bool ZuPlayer::actNote() {
    ZuMechanic* mechanic = controler ? controler->mechanic() : nullptr;
    const QString path = selectedFilePath();
    if (!mechanic || path.isEmpty() || playList.isProgressAtRow(dataView.selectedIndex()))
        return false;
    if (mechanic->isLockedFile(path)) {
        ZuAlerts::run({"FileLockedError", "UnlockAndRetry", "Understand"});
        return false;
    }
    return true;
}

void ZuPlayer::editNoteEnd(int row, const QString& note) {
    const QString name = playList.fileNameAtRow(row);
    ZuMechanic* mechanic = controler ? controler->mechanic() : nullptr;
    if (name.isEmpty() || !mechanic)
        return;
    const QString path = playList.folderPath() + '/' + name;
    // The lock may have come while the note was being typed.
    if (mechanic->isLockedFile(path))
        ZuAlerts::run({"FileLockedError", "UnlockAndRetry", "Understand"});
    else
        writeNoteWithPath(path, note);
    renewListAndControl();
}

QByteArray ZuPlayer::noteBytes(const QString& note) {
    // A zero character would end the note in the file anyway.
    const QString text =
        note.left(note.indexOf(QChar(0)) < 0 ? note.size() : note.indexOf(QChar(0)));
    const qsizetype most = ZuPlayList::noteLength - 1;
    // Each character takes at least one byte, so the longest fitting prefix
    // has at most `most` characters; shorten by whole characters from there,
    // never keeping half of a surrogate pair.
    qsizetype characters = std::min(text.size(), most);
    const auto wholeCharacters = [&text](qsizetype count) {
        return count > 0 && text[count - 1].isHighSurrogate() ? count - 1 : count;
    };
    characters = wholeCharacters(characters);
    QByteArray bytes = text.left(characters).toLocal8Bit();
    while (bytes.size() > most) {
        characters = wholeCharacters(characters - 1);
        bytes = text.left(characters).toLocal8Bit();
    }
    return bytes;
}

bool ZuPlayer::writeNoteWithPath(const QString& path, const QString& note) {
    QFile file(path);
    if (file.size() < headerSize || !file.open(QIODevice::ReadWrite) ||
        !file.seek(ZuPlayList::noteOffset))
        return false;
    return file.write(noteBytes(note) + '\0') > 0;
}

void ZuPlayer::actDelete() {
    ZuMechanic* mechanic = controler ? controler->mechanic() : nullptr;
    const QString path = selectedFilePath();
    if (!mechanic || path.isEmpty() || playList.isProgressAtRow(dataView.selectedIndex()))
        return;
    if (verify && ZuAlerts::run({"RemoveCaution", "RemoveInfo", "ExecRemove", "Cancel"}) !=
                      ZuAlertButton::Default)
        return;
    // The lock is checked here: the file system lets a marked file go.
    if (mechanic->isLockedFile(path) || !mechanic->removeFileAtPath(path)) {
        ZuAlerts::run({"FileRemoveError", "CheckAndRetry", "Understand"});
        renewListAndControl();
        return;
    }
    deletedImage = QFileInfo(ZuAnalyzer::deleteImageFile(path)).fileName();
    deletedFile = QFileInfo(path).fileName();
    if (waveImagePath == path) {
        closePlaybackFile();
        waveImagePath.clear();
        waveShown = false;
        wave.setImage({});
    }
    renewListAndControl();
    ZuLogEvent::post(QStringLiteral("SoundFileDelete"));
}
