#pragma once

#include "platform/ZuLocalized.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserver.h"
#include "schedule/ZuReserverElement.h"
#include "unit/recording/ZuRecorderTestSupport.h"

#include <QTimeZone>
#include <cstdlib>
#include <ctime>

// A recorder launched on the manual clock with two record sources: the ramp
// device at 44 100 Hz and a second one at 48 000 Hz (sources sort by name).
class ScheduleFixture : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        AuVirtualDeviceConfig first =
            AuVirtualDeviceConfig::standard("Virtual Microphone", "vm", 2, 2);
        first.input.kind = AuVirtualInput::Kind::File;
        first.input.path = nwTestDir() + "/ramp.wav";
        AuVirtualDeviceConfig second = AuVirtualDeviceConfig::standard("Zone Input", "zi", 2, 0);
        second.info.sampleRates = {{48000, 48000}};
        second.info.nominalSampleRate = 48000;
        auto backend = std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{first, second}, AuVirtualHardware::Pacing::Stepped);
        hardware = backend.get();
        AuHardware::install(std::move(backend));
    }

    // Entries as stored value arrays: name, enabled, start, stop, mode,
    // rate number, channels, source, month, day, weekday.
    static void store(const QList<QVariantList>& entries) {
        QVariantList list;
        for (const QVariantList& e : entries)
            list.append(QVariant(e));
        ZuSettings::standard().setArray(list, "TimerList");
    }
    static int32_t at(int h, int m, int s = 0) { return h * 3600 + m * 60 + s; }
    static void setNow(const QDate& date, int h, int m, int s = 0) {
        ZuClock::useManual(QDateTime(date, QTime(h, m, s)));
    }

    ZuReserver& reserver() { return *controler->reserver(); }
    ZuReserveList& list() { return *controler->reservelist(); }
    QString nameOf(const ZuReserverElement* e) const { return e ? e->name() : QString("none"); }
    void switchReservation(int state) {
        recorder().reserveButton.setState(state);
        recorder().reserveButton.perform();
    }
};

// Runs a test in a time zone with daylight-saving changes, put back after.
class BerlinTime {
public:
    BerlinTime() {
        const char* tz = std::getenv("TZ");
        hadZone = tz != nullptr;
        if (hadZone)
            previous = tz;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    ~BerlinTime() {
        if (hadZone)
            setenv("TZ", previous.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadZone = false;
    std::string previous;
};
