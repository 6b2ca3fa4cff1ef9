#include "recording/ZuDeviceReturn.h"

#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuClock.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuTimer.h"
#include "platform/hal/AuHardware.h"
#include "recording/ZuRecorder.h"

#include <algorithm>

namespace {
QString dateText(const QDateTime& date) {
    return date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
} // namespace

ZuDeviceReturn::ZuDeviceReturn(ZuDevice& devicer, std::function<bool(int32_t)> resume)
    : devicer(devicer), resume(std::move(resume)), timer(std::make_unique<ZuTimer>()) {}

ZuDeviceReturn::~ZuDeviceReturn() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

void ZuDeviceReturn::remember() {
    const AuDevice* device = devicer.recordDevice();
    if (waitingFlag || !device)
        return;
    uid = device->deviceUID();
    name = device->deviceName();
    sourceName = devicer.presentRecordSourceName();
    rate = devicer.recordSampleRate();
}

void ZuDeviceReturn::lost() {
    lostDate = ZuClock::now();
    const QString shown = name.isEmpty() ? sourceName : name;
    ZuLogEvent::report(QStringLiteral("ZuRecorder: record device \"%1\" is lost at %2; "
                                      "waiting for the input device.")
                           .arg(shown, dateText(lostDate)));
    int64_t delay = 0;
    if (returnDate.isValid() && returnDate.secsTo(lostDate) < stableSeconds) {
        ++strikes;
        delay = initialDelaySeconds;
        for (int32_t i = 1; i < strikes && delay < maximumDelaySeconds; ++i)
            delay *= 2;
        delay = std::min(delay, maximumDelaySeconds);
        ZuLogEvent::report(QStringLiteral("ZuRecorder: record device \"%1\" comes and goes; "
                                          "it is looked for again in %2 seconds.")
                               .arg(shown)
                               .arg(delay));
    } else {
        strikes = 0;
    }
    notBefore = lostDate.addSecs(delay);
    waitingFlag = true;
    ZuNotificationCenter::defaultCenter().removeObserver(this);
    ZuNotificationCenter::defaultCenter().addObserver(
        AuHardwareDeviceListDidChangeNotification, this,
        [this](const ZuNotification&) { look(false); });
    timer->start(1.0, true, [this] { look(true); });
}

void ZuDeviceReturn::cancel() {
    waitingFlag = false;
    timer->invalidate();
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

int32_t ZuDeviceReturn::sourceOfLostDevice() const {
    const int32_t count = devicer.recordSourceCount();
    int32_t byUID = -1;
    int32_t byName = -1;
    for (int32_t n = 0; n < count; ++n) {
        const std::unique_ptr<AuDevice> device = devicer.recordDeviceWithSource(n);
        if (!device)
            continue;
        const bool sameSource = devicer.sourceNameOfRecordSource(n) == sourceName;
        if (!uid.isEmpty() && device->deviceUID() == uid) {
            if (sameSource)
                return n;
            if (byUID < 0)
                byUID = n;
        } else if (!name.isEmpty() && device->deviceName() == name) {
            if (byName < 0 ||
                (sameSource && devicer.sourceNameOfRecordSource(byName) != sourceName))
                byName = n;
        }
    }
    return byUID >= 0 ? byUID : byName;
}

// A device still listed is tried again as it stands: a backend that keeps a
// dead device listed (PortAudio, which cannot tell) opens it once it answers.
// Only a device listed nowhere makes the timer's look read the list afresh,
// which a device-list change has already done. A list change that the
// refresh itself reports must not start a second look.
void ZuDeviceReturn::look(bool rescan) {
    if (!waitingFlag || looking || ZuClock::now() < notBefore)
        return;
    looking = true;
    int32_t source = sourceOfLostDevice();
    if (source < 0 && rescan) {
        AuHardware::current().rescan();
        source = sourceOfLostDevice();
    }
    if (source >= 0 && resume(source))
        returned();
    looking = false;
}

void ZuDeviceReturn::returned() {
    cancel();
    returnDate = ZuClock::now();
    const QString shown = name.isEmpty() ? sourceName : name;
    const double lostSeconds = double(lostDate.msecsTo(returnDate)) / 1000.0;
    ZuLogEvent::report(QStringLiteral("ZuRecorder: record device \"%1\" is back at %2, lost "
                                      "since %3 (%4 without recording); recording resumes.")
                           .arg(shown, dateText(returnDate), dateText(lostDate),
                                ZuRecorder::timeText(lostSeconds)));
    // The role chose the rate by its rules; a device that no longer offers
    // the rate it had is worth a word.
    const AuDevice* device = devicer.recordDevice();
    if (device && rate > 0.0 && !device->supportsNominalSampleRate(rate))
        ZuLogEvent::report(QStringLiteral("ZuRecorder: record device \"%1\" no longer offers "
                                          "%2 Hz; by the rate rules it records at %3 Hz.")
                               .arg(shown)
                               .arg(rate)
                               .arg(devicer.recordSampleRate()));
    remember();
}
