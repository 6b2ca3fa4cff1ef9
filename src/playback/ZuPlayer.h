#pragma once

#include "platform/ZuControl.h"

#include <cstdint>

class ZuControler;

// The player tab: transport, the recordings table and the file operations.
class ZuPlayer {
public:
    static void initialize();

    ZuPlayer();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();
    void mainTabSelected() {}
    void mainTabUnselected() {}

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
    ZuControler* controler = nullptr;
    int32_t step = 10;
    bool verify = true;
    bool endless = true;
};
