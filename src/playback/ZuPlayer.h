#pragma once

#include "platform/ZuControl.h"
#include "playback/ZuPlayList.h"
#include "playback/ZuWaveView.h"

#include <cstdint>

class ZuControler;
struct ZuNotification;

// The player tab: transport, the recordings table and the file operations.
class ZuPlayer {
public:
    static void initialize();

    ZuPlayer();
    ~ZuPlayer();
    ZuPlayer(const ZuPlayer&) = delete;
    ZuPlayer& operator=(const ZuPlayer&) = delete;
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();
    void mainTabSelected() {}
    void mainTabUnselected() {}

    // The list of recordings the player's table shows.
    ZuPlayList* dataSource() { return &playList; }
    // Reads the list afresh from the record folder; the selected recording
    // stays selected (by name) while it is listed.
    void initDataSource();
    // Reads the list afresh and brings the totals and buttons up to date.
    void renewListAndControl();

    // The table's selection moved (to dataView's selected index): the buttons,
    // the lock button's title and the picture follow it.
    void changeSelectRow();
    QString selectedFileName() const;
    QString selectedFilePath() const;

    // File operations on the selected recording. actNote answers whether its
    // note may be edited now (a locked one is refused with an alert); the
    // edited text comes back through editNoteEnd.
    void actLock();
    bool actNote();
    void editNoteEnd(int row, const QString& note);
    void actDelete();
    // Copies the selected recording, or the range selected in the wave view,
    // to a path chosen in the save panel.
    void actCopy();
    // Writes a note into a sound file's note area, cut to 127 bytes at a
    // character boundary and ended by a zero byte; false when the file is
    // missing or shorter than its header.
    static bool writeNoteWithPath(const QString& path, const QString& note);
    static QByteArray noteBytes(const QString& note);

    // The lock, note and delete buttons off, copy alone offered (the
    // recording in progress).
    void onlyCopyButtonSetEnable();

    // Names (without folder) the log book prints after a delete.
    QString deleteFile() const { return deletedFile; }
    QString deleteImage() const { return deletedImage; }
    // Names (without folder) the log book prints after a copy.
    QString originalFile() const { return copiedFrom; }
    QString destinationFile() const { return copiedTo; }

    // The wave view under the table. showWaveImage shows the picture of a
    // recording, or the progress image while its picture is built.
    ZuWaveView* waveView() { return &wave; }
    void showWaveImage(const QString& path);
    void imageFileNotificationHandler(const ZuNotification& notification);

    int32_t stepFast() const { return step; }
    void setStepFast(int32_t value) { step = value; }
    bool verifyDelete() const { return verify; }
    void setVerifyDelete(bool value) { verify = value; }
    bool endlessPlay() const { return endless; }
    void setEndlessPlay(bool value) { endless = value; }

    ZuControl dataView{"dataView"};
    ZuControl playButton{"playButton"};
    ZuControl lockButton{"lockButton"};
    ZuControl noteButton{"noteButton"};
    ZuControl deleteButton{"deleteButton"};
    ZuControl copyButton{"copyButton"};
    ZuControl totalFilesText{"totalFilesText"};
    ZuControl totalTimeText{"totalTimeText"};
    ZuControl totalSizeText{"totalSizeText"};
    ZuControl controlButton{"controlButton"};
    ZuControl workButton{"workButton"};
    ZuControl addDateCheck{"addDateCheck"};
    ZuControl addNoteCheck{"addNoteCheck"};
    ZuControl endlessPlayCheck{"endlessPlayCheck"};

private:
    void observeWaveImages();
    void setWorkerButtonEnabled(bool enabled);
    ZuControler* controler = nullptr;
    ZuPlayList playList;
    ZuWaveView wave;
    QString waveImagePath;
    QString deletedFile;
    QString deletedImage;
    QString copiedFrom;
    QString copiedTo;
    int32_t step = 10;
    bool verify = true;
    bool endless = true;
};
