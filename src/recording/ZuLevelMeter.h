#pragma once

class ZuControler;

// The LED level meter of the recorder tab.
class ZuLevelMeter {
public:
    static void initialize();

    ZuLevelMeter();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();

    double peekHoldTime() const { return holdTime; }
    void setPeekHoldTime(double seconds) { holdTime = seconds; }

private:
    ZuControler* controler = nullptr;
    double holdTime = 1.0;
};
