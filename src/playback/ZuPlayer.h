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
    // Reads the list afresh from the record folder.
    void initDataSource();
    void renewListAndControl() { initDataSource(); }

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

    ZuControl controlButton{"controlButton"};
    ZuControl workButton{"workButton"};
    ZuControl addDateCheck{"addDateCheck"};
    ZuControl addNoteCheck{"addNoteCheck"};
    ZuControl endlessPlayCheck{"endlessPlayCheck"};

private:
    void observeWaveImages();
    ZuControler* controler = nullptr;
    ZuPlayList playList;
    ZuWaveView wave;
    QString waveImagePath;
    int32_t step = 10;
    bool verify = true;
    bool endless = true;
};
