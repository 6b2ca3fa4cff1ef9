#pragma once

class ZuControler;

// The log book of the duty.
class ZuDutyLog {
public:
    static void initialize();

    ZuDutyLog();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    // Also marks the duty as ended cleanly.
    void saveUserDefaults();

    bool writeLog() const { return write; }
    void setWriteLog(bool value) { write = value; }

private:
    ZuControler* controler = nullptr;
    bool write = true;
};
