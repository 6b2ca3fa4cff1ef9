#include "logbook/ZuDutyLogText.h"

#include "platform/ZuLocalized.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace {

QString label(const char* key) {
    return ZuLocalized::text(QString::fromLatin1(key));
}

// A body line: tab, label, tab, "= ", value.
QString line(const char* key, const QString& value) {
    return QStringLiteral("\t") + label(key) + QStringLiteral("\t= ") + value +
           QStringLiteral("\n");
}

QString header(const QString& stamp, const char* key) {
    return stamp + QLatin1Char(' ') + label(key) + QStringLiteral("\n");
}

QString number(int64_t value) {
    return QString::number(value);
}

int64_t truncated(double value) {
    return static_cast<int64_t>(value);
}

struct CalendarDifference {
    int years = 0;
    int months = 0;
    int days = 0;
    int64_t seconds = 0;
};

CalendarDifference calendarDifference(QDateTime from, QDateTime to) {
    CalendarDifference d;
    int years = to.date().year() - from.date().year();
    if (from.addYears(years) > to)
        --years;
    QDateTime at = from.addYears(years);
    int months = (to.date().year() - at.date().year()) * 12 + to.date().month() - at.date().month();
    if (at.addMonths(months) > to)
        --months;
    at = at.addMonths(months);
    qint64 days = at.date().daysTo(to.date());
    if (at.addDays(days) > to)
        --days;
    at = at.addDays(days);
    d.years = years;
    d.months = months;
    d.days = static_cast<int>(days);
    d.seconds = at.secsTo(to);
    return d;
}

} // namespace

QString ZuDutyLogText::dateString(const QDateTime& date) {
    const QDateTime local = date.toLocalTime();
    const QDate day = local.date();
    const QTime time = local.time();
    return QString::asprintf("%d.%d.%d %02d:%02d:%02d", day.year(), day.month(), day.day(),
                             time.hour(), time.minute(), time.second());
}

QString ZuDutyLogText::periodStringFrom(const QDateTime& from, const QDateTime& to) {
    CalendarDifference d;
    if (from.isValid() && to.isValid()) {
        const bool backwards = to < from;
        d = backwards ? calendarDifference(to.toLocalTime(), from.toLocalTime())
                      : calendarDifference(from.toLocalTime(), to.toLocalTime());
        if (backwards) {
            d.years = -d.years;
            d.months = -d.months;
            d.days = -d.days;
            d.seconds = -d.seconds;
        }
    }
    QString text;
    if (d.years != 0)
        text += QString::asprintf("%dyears+", d.years);
    if (d.months != 0)
        text += QString::asprintf("%dmonths+", d.months);
    if (d.days != 0)
        text += QString::asprintf("%ddays+", d.days);
    return text + QString::asprintf("%02d:%02d'%02d\"", static_cast<int>(d.seconds / 3600),
                                    static_cast<int>(d.seconds % 3600 / 60),
                                    static_cast<int>(d.seconds % 60));
}

QString ZuDutyLogText::periodStringFromSeconds(double seconds) {
    const long long total = static_cast<long long>(seconds);
    return QString::asprintf("%02lld:%02d'%02d\"", total / 3600,
                             static_cast<int>(total % 3600 / 60), static_cast<int>(total % 60));
}

QString ZuDutyLogText::channelsString(int32_t channels) {
    return channels == 2 ? QStringLiteral("stereo") : QStringLiteral("monoral");
}

QString ZuDutyLogText::recordModeString(int32_t mode) {
    switch (mode) {
    case 1:
        return QStringLiteral("auto");
    case 2:
        return QStringLiteral("standby");
    default:
        return QStringLiteral("always");
    }
}

QString ZuDutyLogText::methodString(int32_t method) {
    switch (method) {
    case 1:
        return QStringLiteral("internal");
    case 2:
        return QStringLiteral("timer");
    case 4:
        return QStringLiteral("emergency");
    case 5:
        return QStringLiteral("internal(sleep)");
    default:
        return QStringLiteral("manual");
    }
}

int32_t ZuDutyLogText::markerPeriodTime(int32_t option) {
    switch (option) {
    case 1:
        return 3;
    case 2:
        return 5;
    case 3:
        return 15;
    case 4:
        return 30;
    default:
        return 1;
    }
}

QString ZuDutyLogText::switchString(bool on) {
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

QString ZuDutyLogText::dateDescription(const QDateTime& date) {
    const QDateTime local = date.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

QDateTime ZuDutyLogText::dateFromDescription(const QString& text) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2}) ([+-])(\d{2})(\d{2})$)"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    const auto at = [&m](int i) {
        return m.captured(i).toInt();
    };
    const QDate day(at(1), at(2), at(3));
    const QTime time(at(4), at(5), at(6));
    const int offset = (at(8) * 3600 + at(9) * 60) * (m.captured(7) == QLatin1String("-") ? -1 : 1);
    if (!day.isValid() || !time.isValid())
        return {};
    return QDateTime(day, time, QTimeZone(offset)).toLocalTime();
}

QString ZuDutyLogText::troubleLines(const QDateTime& troubleDate, bool crash,
                                    const QDateTime& dutyStart) {
    return dateString(troubleDate) + QLatin1Char(' ') +
           label(crash ? "CRASH TROUBLE" : "TROUBLE STOP") + QStringLiteral("\n\n") +
           dateString(dutyStart) + QLatin1Char(' ') + label("TROUBLE RESTART") +
           QStringLiteral("\n\n");
}

QString ZuDutyLogText::titleLine() {
    return QStringLiteral("\t=== ") + label("Log title") + QStringLiteral(" ===\n");
}

QString ZuDutyLogText::settingsLines(const ZuDutyLogValues& values) {
    return line("sample rate", number(truncated(values.sampleRate)) + QStringLiteral("Hz")) +
           line("channels", channelsString(values.channels)) +
           line("input device", values.inputSource) +
           line("record mode", recordModeString(values.recordMode));
}

QString ZuDutyLogText::dutyStartBlock(const QString& officer, const QDateTime& dutyStart,
                                      const ZuDutyLogValues& values) {
    return line("DUTY OFFICER", officer) + QStringLiteral("\n") +
           header(dateString(dutyStart), "DUTY START") + settingsLines(values) +
           line("on the hour",
                values.startOnTheHour ? QStringLiteral("ON") : QStringLiteral("NO")) +
           line("prior time", number(values.preBufferSec) + QStringLiteral("seconds")) +
           line("delay time", number(values.delayTime) + QStringLiteral("seconds")) +
           line("record folder", values.recordFolder) +
           line("keep period",
                number(truncated(values.maxTotalTime) / 86400) + QStringLiteral("days")) +
           line("max record",
                number(truncated(values.maxRecordTime) / 3600) + QStringLiteral("hours")) +
           line("time marker", switchString(values.markerSwitch)) +
           line("marker interval",
                number(markerPeriodTime(values.markerOption)) + QStringLiteral("minutes")) +
           line("marker sound", values.markerSound) + QStringLiteral("\n");
}

QString ZuDutyLogText::reserveSuffix(const ZuDutyLogValues& values) {
    if (values.actionMethod == 2 || values.actionMethod == 3)
        return QStringLiteral("(") + values.reserveName + QStringLiteral(")\n");
    return QStringLiteral("\n");
}

QString ZuDutyLogText::recordingStartBlock(int32_t serialNum, const ZuDutyLogValues& values) {
    return dateString(values.recordStartDate) + QLatin1Char(' ') + label("RECORDING START") +
           QString::asprintf(" #%06d\n", serialNum) + QStringLiteral("\t") + label("start method") +
           QStringLiteral("\t= ") + methodString(values.actionMethod) + reserveSuffix(values) +
           settingsLines(values) + QStringLiteral("\n");
}

QString ZuDutyLogText::recordingStopBlock(int32_t serialNum, const QDateTime& start,
                                          const ZuDutyLogValues& values) {
    const int64_t data = truncated(values.dataSize);
    const int64_t written = truncated(values.lastWrite);
    const int64_t lost = data - written;
    // A recording with no sound data or no rate has lost nothing measurable.
    const double bytesPerSecond = values.channels * values.sampleRate * 2.0;
    const double lostSeconds = bytesPerSecond > 0.0 ? lost / bytesPerSecond : 0.0;
    const double lostPercent = data != 0 ? static_cast<double>(lost) / data * 100.0 : 0.0;
    return dateString(values.recordStopDate) + QLatin1Char(' ') + label("RECORDING STOP") +
           QString::asprintf(" #%06d\n", serialNum) + QStringLiteral("\t") + label("stop method") +
           QStringLiteral("\t= ") + methodString(values.actionMethod) + reserveSuffix(values) +
           line("record time", periodStringFrom(start, values.recordStopDate)) +
           line("total time", periodStringFromSeconds(values.totalRecordTime)) +
           line("data size", number(data) + QStringLiteral("bytes")) +
           line("write data", number(written) + QStringLiteral("bytes")) +
           line("lost data", number(lost) + QString::asprintf("bytes(%fseconds, %f%c)", lostSeconds,
                                                              lostPercent, '%')) +
           QStringLiteral("\n");
}

QString ZuDutyLogText::dutyFinishBlock(const QDateTime& now, const QDateTime& dutyStart) {
    return header(dateString(now), "DUTY FINISH") +
           line("duty time", periodStringFrom(dutyStart, now));
}

QString ZuDutyLogText::messageBlock(const QDateTime& now, const QString& headerKey,
                                    const QString& message) {
    return dateString(now) + QLatin1Char(' ') + ZuLocalized::text(headerKey) +
           QStringLiteral("\n\t") + message + QStringLiteral("\t\n\n");
}

QString ZuDutyLogText::eventBlock(const QString& event, const QDateTime& now,
                                  const ZuDutyLogValues& v) {
    const auto block = [&now](const char* headerKey, const QString& body) {
        return header(dateString(now), headerKey) + body + QStringLiteral("\n");
    };
    if (event == QLatin1String("HourSwitchChange"))
        return block("ON THE HOUR SWITCH CHANGED",
                     line("on the hour", switchString(v.startOnTheHour)));
    if (event == QLatin1String("SampleRateChange"))
        return block("SAMPLING RATE CHANGED",
                     line("sample rate", number(truncated(v.sampleRate)) + QStringLiteral("Hz")));
    if (event == QLatin1String("ChannelsChange"))
        return block("RECORD CHANNELS CHANGED", line("channels", channelsString(v.channels)));
    if (event == QLatin1String("InputSourceChange"))
        return block("INPUT SOURCE CHANGED", line("input source", v.inputSource));
    if (event == QLatin1String("RecordModeChange"))
        return block("RECORD MODE CHANGED", line("record mode", recordModeString(v.recordMode)));
    if (event == QLatin1String("PreTimeChange"))
        return block("PRIOR TIME CHANGED",
                     line("prior time", number(v.preBufferSec) + QStringLiteral("seconds")));
    if (event == QLatin1String("DelayTimeChange"))
        return block("DELAY TIME CHANGED",
                     line("delay time", number(v.delayTime) + QStringLiteral("seconds")));
    if (event == QLatin1String("MarkerSwitchChange"))
        return block("MARKER SWITCH CHANGED", line("time marker", switchString(v.markerSwitch)));
    if (event == QLatin1String("MarkerPeriodChange"))
        return block("MARKER INTERVAL CHANGED",
                     line("marker interval",
                          number(markerPeriodTime(v.markerOption)) + QStringLiteral("minutes")));
    if (event == QLatin1String("MarkerSoundChange"))
        return block("MARKER SOUND CHANGED", line("marker sound", v.markerSound));
    if (event == QLatin1String("RecordFolderChange"))
        return block("RECORD FOLDER CHANGED", line("record folder", v.recordFolder));
    if (event == QLatin1String("MaxRecordChange"))
        return block("MAX RECORD CHANGED",
                     line("max record",
                          number(truncated(v.maxRecordTime) / 3600) + QStringLiteral("hours")));
    if (event == QLatin1String("KeepPeriodChange"))
        return block("KEEP PERIOD CHANGED",
                     line("keep period",
                          number(truncated(v.maxTotalTime) / 86400) + QStringLiteral("days")));
    if (event == QLatin1String("SoundFileCopy"))
        return block("SOUND FILE COPY",
                     line("original", v.originalFile) + line("copy", v.destinationFile));
    if (event == QLatin1String("SoundFileDelete"))
        return block("SOUND FILE DELETE",
                     line("delete", v.deleteFile) + line("delete", v.deleteImage));
    return {};
}
