#pragma once

#include "platform/ZuControl.h"

#include <QString>
#include <cstdint>

class ZuControler;

// The reservation scheduler and editor: the defaults given to new entries and
// the switches around the reservation list.
class ZuReserver {
public:
    static void initialize();

    ZuReserver();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();
    void mainTabSelected() {}
    void mainTabUnselected() {}

    bool verifyDeleteReserve() const { return verifyDelete; }
    void setVerifyDeleteReserve(bool value) { verifyDelete = value; }
    bool reserveAutoStartup() const { return autoStartup; }
    void setReserveAutoStartup(bool value) { autoStartup = value; }

    // Defaults of new entries: read from and written to the store on every call.
    bool defReserveValid() const;
    void setDefReserveValid(bool value);
    QString defReserveName() const;
    void setDefReserveName(const QString& value);
    int32_t defReserveMonth() const;
    void setDefReserveMonth(int32_t value);
    int32_t defReserveDay() const;
    void setDefReserveDay(int32_t value);
    int32_t defReserveWeek() const;
    void setDefReserveWeek(int32_t value);
    int32_t defReserveRate() const;
    void setDefReserveRate(int32_t value);
    int32_t defReserveChannels() const;
    void setDefReserveChannels(int32_t value);
    int32_t defReserveMode() const;
    void setDefReserveMode(int32_t value);
    int32_t defReserveDeviceField() const { return defReserveDevice; }
    void setDefReserveDevice(int32_t value) { defReserveDevice = value; }
    void changeDefReserveDevice(int32_t value);

    ZuControl timerDrawerButton{"timerDrawerButton"};

private:
    ZuControler* controler = nullptr;
    bool verifyDelete = true;
    int32_t defReserveDevice = 0;
    bool autoStartup = false;
};
