#include "recording/ZuSilenceAlarm.h"

#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {
const QString minutesKey = QStringLiteral("SilenceAlarmMinutes");
const QString levelKey = QStringLiteral("SilenceAlarmLevel");

QString stamp(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString span(int64_t seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

void ZuSilenceAlarm::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({{minutesKey, 0}, {levelKey, -50.0}});
    });
}

ZuSilenceAlarm::ZuSilenceAlarm() {
    initialize();
}

void ZuSilenceAlarm::awakeFromNib() {
    setMinutes(static_cast<int32_t>(ZuSettings::standard().integerForKey(minutesKey)));
    setLevel(ZuSettings::standard().doubleForKey(levelKey));
}

void ZuSilenceAlarm::saveUserDefaults() const {
    ZuSettings::standard().setInteger(minutesValue, minutesKey);
    ZuSettings::standard().setDouble(levelValue, levelKey);
}

void ZuSilenceAlarm::setMinutes(int32_t value) {
    minutesValue = std::clamp(value, 0, maxMinutes);
    if (!enabled()) {
        quietSince = {};
        alarmedValue = false;
    }
}

void ZuSilenceAlarm::setLevel(double value) {
    levelValue = std::isfinite(value) ? std::clamp(value, minLevel, 0.0) : -50.0;
}

void ZuSilenceAlarm::check(float peak, bool onDuty, const QDateTime& now) {
    if (!enabled() || !onDuty) {
        // Off duty the input is nobody's concern; an alarm raised before is
        // closed, so every alarm in the log book has its end.
        if (alarmedValue)
            clear(now, QStringLiteral("SilenceAlarmOffDuty"));
        quietSince = {};
        return;
    }
    const double threshold = std::pow(10.0, levelValue / 20.0);
    const bool quiet = !(std::fabs(peak) >= threshold);
    if (!quiet) {
        if (alarmedValue)
            clear(now, QStringLiteral("SilenceAlarmCleared"));
        quietSince = {};
        return;
    }
    // The second just checked was already quiet.
    if (!quietSince.isValid())
        quietSince = now.addMSecs(-static_cast<int64_t>(checkSeconds * 1000));
    if (!alarmedValue && quietSince.secsTo(now) >= int64_t(minutesValue) * 60)
        raise(now);
}

void ZuSilenceAlarm::raise(const QDateTime& now) {
    alarmedValue = true;
    const QString text = ZuLocalized::text(QStringLiteral("SilenceAlarmRaised"))
                             .arg(levelValue, 0, 'f', 1)
                             .arg(stamp(quietSince), span(quietSince.secsTo(now)));
    ZuLogEvent::report(text);
    if (alertSink)
        alertSink(text);
}

void ZuSilenceAlarm::clear(const QDateTime& now, const QString& textKey) {
    alarmedValue = false;
    const QString text = ZuLocalized::text(textKey).arg(stamp(now), span(quietSince.secsTo(now)));
    ZuLogEvent::report(text);
    if (alertSink)
        alertSink(text);
}
