#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

// Notices an input that stays quiet for minutes while the recorder is on duty
// (a pulled cable, a muted input, a dead microphone): one report when the
// silence has lasted "SilenceAlarmMinutes", and one more when sound returns.
// It is fed once a second on the main thread with the loudest sample the level
// meter's snapshots held in that second, so the audio thread does no work for
// it beyond the meter's own.
class ZuSilenceAlarm {
public:
    static constexpr double checkSeconds = 1.0;
    static constexpr int32_t maxMinutes = 7 * 24 * 60;
    static constexpr double minLevel = -120.0;

    static void initialize();

    ZuSilenceAlarm();

    void awakeFromNib();
    void saveUserDefaults() const;

    // 0 switches the alarm off.
    void setMinutes(int32_t value);
    // Decibels below full scale; a sample under this counts as silence.
    void setLevel(double value);
    int32_t minutes() const { return minutesValue; }
    double level() const { return levelValue; }
    bool enabled() const { return minutesValue > 0; }

    // Where the alarm and the all-clear go besides the log book (the window's
    // alert); empty when there is no window.
    void setAlertSink(std::function<void(const QString&)> sink) { alertSink = std::move(sink); }

    // One second of input: its loudest absolute sample, whether the recorder
    // was on duty (an input nobody listens to raises no alarm), and the time.
    void check(float peak, bool onDuty, const QDateTime& now);

    bool alarmed() const { return alarmedValue; }

private:
    void raise(const QDateTime& now);
    void clear(const QDateTime& now, const QString& textKey);

    int32_t minutesValue = 0;
    double levelValue = -50.0;
    QDateTime quietSince;
    bool alarmedValue = false;
    std::function<void(const QString&)> alertSink;
};
