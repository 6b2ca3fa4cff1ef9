// The silence alarm: its decisions second by second, and the whole path from
// a stepped device's bursts through the level meter to the log book.
#include "recording/ZuSilenceAlarm.h"
#include "ZuRecorderTestSupport.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "recording/ZuLevelMeter.h"
#include "support/NwConsoleCapture.h"

namespace {

// Collects the log book's reports while it lives.
class ReportLog {
public:
    ReportLog() {
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this, [this](const ZuNotification& n) {
                if (n.object.toString() == ZuLogEvent::someReportHappen)
                    texts << n.userInfo.value(ZuLogEvent::messageKey).toString();
            });
    }
    ~ReportLog() { ZuNotificationCenter::defaultCenter().removeObserver(this); }
    QStringList texts;
};

const QDateTime start(QDate(2026, 12, 8), QTime(3, 0, 0));

struct SilenceAlarmCheckTest : testing::Test {
    // Feeds one check a second from `from` for `seconds` seconds.
    void feed(int from, int seconds, float peak, bool onDuty = true) {
        for (int s = from; s < from + seconds; ++s)
            alarm.check(peak, onDuty, start.addSecs(s + 1));
    }
    ZuSilenceAlarm alarm;
    ReportLog log;
};

} // namespace

TEST_F(SilenceAlarmCheckTest, OneAlarmAfterTheSetSilenceAndOneAllClearWhenSoundReturns) {
    alarm.setMinutes(2);
    alarm.setLevel(-50.0);
    feed(0, 30, 0.5f);
    feed(30, 119, 0.001f); // -60 dB: quiet, one second short of two minutes
    EXPECT_TRUE(log.texts.isEmpty());
    feed(149, 1, 0.0f);
    ASSERT_EQ(log.texts.size(), 1);
    EXPECT_EQ(log.texts[0], "Silence alarm: the input has stayed under -50.0 dB since "
                            "2026-12-08 03:00:30 (0:02:00).");
    feed(150, 600, 0.0f);
    EXPECT_EQ(log.texts.size(), 1) << "the alarm is raised once per silence";
    feed(750, 1, 0.01f); // -40 dB
    ASSERT_EQ(log.texts.size(), 2);
    EXPECT_EQ(log.texts[1], "Silence alarm over: sound returned at 2026-12-08 03:12:31 after "
                            "0:12:01 of silence.");
    EXPECT_FALSE(alarm.alarmed());
}

TEST_F(SilenceAlarmCheckTest, ShortSilencesAndOffDutySilenceRaiseNothing) {
    alarm.setMinutes(1);
    for (int round = 0; round < 5; ++round) {
        feed(round * 100, 59, 0.0f);
        feed(round * 100 + 59, 41, 0.2f);
    }
    feed(500, 3600, 0.0f, false);
    EXPECT_TRUE(log.texts.isEmpty());
}

TEST_F(SilenceAlarmCheckTest, TheDutyEndingClosesAnOpenAlarm) {
    alarm.setMinutes(1);
    feed(0, 61, 0.0f);
    ASSERT_EQ(log.texts.size(), 1);
    feed(61, 5, 0.0f, false);
    ASSERT_EQ(log.texts.size(), 2);
    EXPECT_EQ(log.texts[1], "Silence alarm over: the duty stopped at 2026-12-08 03:01:02 after "
                            "0:01:02 of silence.");
}

TEST_F(SilenceAlarmCheckTest, SettingsOutOfRangeAreHeldInRange) {
    alarm.setMinutes(-3);
    EXPECT_FALSE(alarm.enabled());
    alarm.setMinutes(1 << 30);
    EXPECT_EQ(alarm.minutes(), ZuSilenceAlarm::maxMinutes);
    alarm.setLevel(12.0);
    EXPECT_EQ(alarm.level(), 0.0);
    alarm.setLevel(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(alarm.level(), -50.0);
    alarm.setLevel(-500.0);
    EXPECT_EQ(alarm.level(), ZuSilenceAlarm::minLevel);
    // A broken sample is no sound.
    alarm.setMinutes(1);
    feed(0, 61, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(log.texts.size(), 1);
}

namespace {

// A recorder in standby with its switch on, listening to bursts: 5 s of
// noise, then 150 s of silence.
class SilenceAlarmDutyTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        AuVirtualDeviceConfig config =
            AuVirtualDeviceConfig::standard("Virtual Microphone", "vm", 2, 2);
        config.input.kind = AuVirtualInput::Kind::Bursts;
        config.input.amplitude = 0.5;
        config.input.onSeconds = 5.0;
        config.input.offSeconds = 150.0;
        auto backend = std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{config}, AuVirtualHardware::Pacing::Stepped);
        hardware = backend.get();
        AuHardware::install(std::move(backend));
        ZuSettings::standard().setInteger(2, "RecordMode");
        ZuSettings::standard().setInteger(1, "SilenceAlarmMinutes");
        ZuSettings::standard().setDouble(-40.0, "SilenceAlarmLevel");
    }
    ReportLog log;
};

} // namespace

TEST_F(SilenceAlarmDutyTest, BurstsThenSilenceThenSoundGiveOneAlarmAndOneAllClear) {
    launch();
    switchRecording(1);
    const QDateTime began = ZuClock::now();
    run(4.0);
    EXPECT_TRUE(log.texts.isEmpty());
    run(60.0);
    EXPECT_TRUE(log.texts.isEmpty()) << "under a minute of silence so far";
    run(4.0);
    ASSERT_EQ(log.texts.size(), 1);
    EXPECT_TRUE(log.texts[0].startsWith("Silence alarm: the input has stayed under -40.0 dB"));
    EXPECT_TRUE(controler->meter()->silenceAlarm().alarmed());
    run(90.0);
    ASSERT_EQ(log.texts.size(), 2);
    EXPECT_TRUE(log.texts[1].startsWith("Silence alarm over: sound returned at"));
    // The sound came back with the second burst, 155 s after the first began;
    // the report names the second that saw it.
    const QDateTime back = QDateTime::fromString(log.texts[1].mid(38, 19), "yyyy-MM-dd HH:mm:ss");
    ASSERT_TRUE(back.isValid()) << log.texts[1].toStdString();
    EXPECT_NEAR(began.secsTo(back), 156, 1);
    EXPECT_FALSE(controler->meter()->silenceAlarm().alarmed());
}

TEST_F(SilenceAlarmDutyTest, StaysSilentWhileTheRecordSwitchIsOff) {
    launch();
    run(200.0);
    EXPECT_TRUE(log.texts.isEmpty());
}
