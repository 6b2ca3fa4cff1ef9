#include "logbook/ZuDutyLogText.h"

#include <QTimeZone>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

struct Golden {
    const char* name;
    std::function<QString()> make;
    const char* expected;
};

void expectGolden(const std::vector<Golden>& table) {
    for (const Golden& row : table)
        EXPECT_EQ(row.make().toStdString(), std::string(row.expected)) << row.name;
}

ZuDutyLogValues dutyValues() {
    ZuDutyLogValues v;
    v.sampleRate = 22050.0;
    v.channels = 2;
    v.inputSource = QStringLiteral("Built-in Microphone");
    v.recordMode = 1;
    v.startOnTheHour = true;
    v.preBufferSec = 3;
    v.delayTime = 5;
    v.recordFolder = QStringLiteral("/home/ann/Documents/NightwardenRecord");
    v.maxTotalTime = 86400.0 * 35;
    v.maxRecordTime = 7200.0;
    v.markerSwitch = false;
    v.markerOption = 3;
    v.markerSound = QStringLiteral("Glass");
    return v;
}

ZuDutyLogValues otherValues() {
    ZuDutyLogValues v = dutyValues();
    v.sampleRate = 44100.9;
    v.channels = 1;
    v.recordMode = 2;
    v.startOnTheHour = false;
    v.maxTotalTime = 86400.0 * 35 - 1;
    v.maxRecordTime = 3599.0;
    v.markerSwitch = true;
    v.markerOption = 0;
    return v;
}

ZuDutyLogValues recordingValues(int32_t method, const char* reserveName = "") {
    ZuDutyLogValues v = dutyValues();
    v.actionMethod = method;
    v.reserveName = QString::fromUtf8(reserveName);
    v.recordStartDate = at(2007, 3, 5, 9, 0, 0);
    v.recordStopDate = at(2007, 3, 5, 10, 15, 7);
    v.totalRecordTime = 4507.0;
    v.dataSize = 882000.0;  // ten seconds at 22050 Hz stereo
    v.lastWrite = 793800.0; // one second short
    return v;
}

} // namespace

TEST(DutyLogTextTest, FormattingOperations) {
    using T = ZuDutyLogText;
    expectGolden({
        {"stamp", [] { return T::dateString(at(2007, 3, 5, 9, 4, 2)); }, "2007.3.5 09:04:02"},
        {"stamp, two-digit fields", [] { return T::dateString(at(2007, 12, 31, 23, 59, 59)); },
         "2007.12.31 23:59:59"},
        {"period of a day and hours",
         [] { return T::periodStringFrom(at(2007, 3, 5, 9, 0, 0), at(2007, 3, 6, 12, 15, 7)); },
         "1days+03:15'07\""},
        {"period of a day and three seconds",
         [] { return T::periodStringFrom(at(2007, 3, 5, 9, 0, 0), at(2007, 3, 6, 9, 0, 3)); },
         "1days+00:00'03\""},
        {"period shorter than a day",
         [] { return T::periodStringFrom(at(2007, 3, 5, 9, 0, 0), at(2007, 3, 5, 23, 59, 59)); },
         "14:59'59\""},
        {"period of years, months and days",
         [] { return T::periodStringFrom(at(2007, 3, 5, 9, 0, 0), at(2008, 5, 6, 10, 2, 3)); },
         "1years+2months+1days+01:02'03\""},
        {"period of months without days",
         [] { return T::periodStringFrom(at(2007, 1, 15, 0, 0, 0), at(2007, 3, 15, 0, 0, 1)); },
         "2months+00:00'01\""},
        {"period from a leap day",
         [] { return T::periodStringFrom(at(2004, 2, 29, 0, 0, 0), at(2005, 2, 28, 0, 0, 0)); },
         "1years+00:00'00\""},
        {"period under a day across months",
         [] { return T::periodStringFrom(at(2007, 2, 28, 23, 0, 0), at(2007, 3, 1, 1, 0, 0)); },
         "02:00'00\""},
        {"empty period",
         [] { return T::periodStringFrom(at(2007, 3, 5, 9, 0, 0), at(2007, 3, 5, 9, 0, 0)); },
         "00:00'00\""},
        {"period without a start",
         [] { return T::periodStringFrom(QDateTime(), at(2007, 3, 5, 9, 0, 0)); }, "00:00'00\""},
        {"seconds", [] { return T::periodStringFromSeconds(0.0); }, "00:00'00\""},
        {"seconds, hours past two digits",
         [] { return T::periodStringFromSeconds(100 * 3600 + 5 * 60 + 9.7); }, "100:05'09\""},
        {"seconds truncated", [] { return T::periodStringFromSeconds(59.99); }, "00:00'59\""},
        {"mono", [] { return T::channelsString(1); }, "monoral"},
        {"stereo", [] { return T::channelsString(2); }, "stereo"},
        {"odd channel count", [] { return T::channelsString(0); }, "monoral"},
        {"mode 0", [] { return T::recordModeString(0); }, "always"},
        {"mode 1", [] { return T::recordModeString(1); }, "auto"},
        {"mode 2", [] { return T::recordModeString(2); }, "standby"},
        {"mode 3", [] { return T::recordModeString(3); }, "always"},
        {"method 0", [] { return T::methodString(0); }, "manual"},
        {"method 1", [] { return T::methodString(1); }, "internal"},
        {"method 2", [] { return T::methodString(2); }, "timer"},
        {"method 3", [] { return T::methodString(3); }, "manual"},
        {"method 4", [] { return T::methodString(4); }, "emergency"},
        {"method 5", [] { return T::methodString(5); }, "internal(sleep)"},
        {"method 6", [] { return T::methodString(6); }, "manual"},
        {"switch on", [] { return T::switchString(true); }, "ON"},
        {"switch off", [] { return T::switchString(false); }, "OFF"},
    });
    const int minutes[] = {1, 3, 5, 15, 30, 1};
    for (int option = 0; option < 6; ++option)
        EXPECT_EQ(ZuDutyLogText::markerPeriodTime(option), minutes[option]) << option;
}

TEST(DutyLogTextTest, DateDescriptionRoundTripsThroughTheStoreForm) {
    const QDateTime parsed = ZuDutyLogText::dateFromDescription("2007-03-05 14:02:11 +0900");
    EXPECT_EQ(parsed, QDateTime(QDate(2007, 3, 5), QTime(5, 2, 11), QTimeZone::utc()));
    EXPECT_EQ(ZuDutyLogText::dateFromDescription("2007-03-05 14:02:11 -0130"),
              QDateTime(QDate(2007, 3, 5), QTime(15, 32, 11), QTimeZone::utc()));

    const QDateTime local = at(2007, 7, 1, 23, 30, 59);
    const QString text = ZuDutyLogText::dateDescription(local);
    EXPECT_TRUE(text.startsWith("2007-07-01 23:30:59 ")) << text.toStdString();
    EXPECT_EQ(ZuDutyLogText::dateFromDescription(text), local);

    for (const char* garbled : {"", "2007-03-05 14:02:11", "2007-02-30 14:02:11 +0900", "yesterday",
                                "2007-03-05T14:02:11 +0900"})
        EXPECT_FALSE(ZuDutyLogText::dateFromDescription(garbled).isValid()) << garbled;
}

TEST(DutyLogTextTest, DutyStartBlocks) {
    const QDateTime start = at(2007, 3, 5, 9, 4, 2);
    expectGolden({
        {"new log book",
         [&] {
             return ZuDutyLogText::titleLine() +
                    ZuDutyLogText::dutyStartBlock("ann", start, dutyValues());
         },
         "\t=== Nightwarden Log Book ===\n"
         "\tDUTY OFFICER\t= ann\n"
         "\n"
         "2007.3.5 09:04:02 DUTY START\n"
         "\tsample rate\t= 22050Hz\n"
         "\tchannels\t= stereo\n"
         "\tinput device\t= Built-in Microphone\n"
         "\trecord mode\t= auto\n"
         "\ton the hour\t= ON\n"
         "\tprior time\t= 3seconds\n"
         "\tdelay time\t= 5seconds\n"
         "\trecord folder\t= /home/ann/Documents/NightwardenRecord\n"
         "\tkeep period\t= 35days\n"
         "\tmax record\t= 2hours\n"
         "\ttime marker\t= OFF\n"
         "\tmarker interval\t= 15minutes\n"
         "\tmarker sound\t= Glass\n"
         "\n"},
        {"other settings, periods truncated",
         [&] { return ZuDutyLogText::dutyStartBlock("bob", start, otherValues()); },
         "\tDUTY OFFICER\t= bob\n"
         "\n"
         "2007.3.5 09:04:02 DUTY START\n"
         "\tsample rate\t= 44100Hz\n"
         "\tchannels\t= monoral\n"
         "\tinput device\t= Built-in Microphone\n"
         "\trecord mode\t= standby\n"
         "\ton the hour\t= NO\n"
         "\tprior time\t= 3seconds\n"
         "\tdelay time\t= 5seconds\n"
         "\trecord folder\t= /home/ann/Documents/NightwardenRecord\n"
         "\tkeep period\t= 34days\n"
         "\tmax record\t= 0hours\n"
         "\ttime marker\t= ON\n"
         "\tmarker interval\t= 1minutes\n"
         "\tmarker sound\t= Glass\n"
         "\n"},
        {"after a stop",
         [&] { return ZuDutyLogText::troubleLines(at(2007, 3, 4, 23, 55, 1), false, start); },
         "2007.3.4 23:55:01 TROUBLE STOP\n"
         "\n"
         "2007.3.5 09:04:02 TROUBLE RESTART\n"
         "\n"},
        {"after a crash",
         [&] { return ZuDutyLogText::troubleLines(at(2007, 3, 5, 8, 0, 0), true, start); },
         "2007.3.5 08:00:00 CRASH TROUBLE\n"
         "\n"
         "2007.3.5 09:04:02 TROUBLE RESTART\n"
         "\n"},
        {"duty finish",
         [&] { return ZuDutyLogText::dutyFinishBlock(at(2007, 3, 6, 12, 19, 9), start); },
         "2007.3.6 12:19:09 DUTY FINISH\n"
         "\tduty time\t= 1days+03:15'07\"\n"},
    });
}

TEST(DutyLogTextTest, RecordingBlocks) {
    const QDateTime start = at(2007, 3, 5, 9, 0, 0);
    expectGolden({
        {"manual start", [] { return ZuDutyLogText::recordingStartBlock(1, recordingValues(0)); },
         "2007.3.5 09:00:00 RECORDING START #000001\n"
         "\tstart method\t= manual\n"
         "\tsample rate\t= 22050Hz\n"
         "\tchannels\t= stereo\n"
         "\tinput device\t= Built-in Microphone\n"
         "\trecord mode\t= auto\n"
         "\n"},
        {"reservation timer start",
         [] { return ZuDutyLogText::recordingStartBlock(12, recordingValues(2, "Night watch")); },
         "2007.3.5 09:00:00 RECORDING START #000012\n"
         "\tstart method\t= timer(Night watch)\n"
         "\tsample rate\t= 22050Hz\n"
         "\tchannels\t= stereo\n"
         "\tinput device\t= Built-in Microphone\n"
         "\trecord mode\t= auto\n"
         "\n"},
        {"reservation button start",
         [] { return ZuDutyLogText::recordingStartBlock(123456, recordingValues(3, "Dawn")); },
         "2007.3.5 09:00:00 RECORDING START #123456\n"
         "\tstart method\t= manual(Dawn)\n"
         "\tsample rate\t= 22050Hz\n"
         "\tchannels\t= stereo\n"
         "\tinput device\t= Built-in Microphone\n"
         "\trecord mode\t= auto\n"
         "\n"},
        {"split restart ignores a reservation name",
         [] { return ZuDutyLogText::recordingStartBlock(2, recordingValues(1, "Dawn")); },
         "2007.3.5 09:00:00 RECORDING START #000002\n"
         "\tstart method\t= internal\n"
         "\tsample rate\t= 22050Hz\n"
         "\tchannels\t= stereo\n"
         "\tinput device\t= Built-in Microphone\n"
         "\trecord mode\t= auto\n"
         "\n"},
        {"stop with a second lost",
         [&] { return ZuDutyLogText::recordingStopBlock(1, start, recordingValues(0)); },
         "2007.3.5 10:15:07 RECORDING STOP #000001\n"
         "\tstop method\t= manual\n"
         "\trecord time\t= 01:15'07\"\n"
         "\ttotal time\t= 01:15'07\"\n"
         "\tdata size\t= 882000bytes\n"
         "\twrite data\t= 793800bytes\n"
         "\tlost data\t= 88200bytes(1.000000seconds, 10.000000%)\n"
         "\n"},
        {"reservation stop over a day",
         [&] {
             ZuDutyLogValues v = recordingValues(2, "Night watch");
             v.recordStopDate = at(2007, 3, 6, 9, 0, 3);
             v.totalRecordTime = 86403.0;
             v.lastWrite = v.dataSize;
             return ZuDutyLogText::recordingStopBlock(7, start, v);
         },
         "2007.3.6 09:00:03 RECORDING STOP #000007\n"
         "\tstop method\t= timer(Night watch)\n"
         "\trecord time\t= 1days+00:00'03\"\n"
         "\ttotal time\t= 24:00'03\"\n"
         "\tdata size\t= 882000bytes\n"
         "\twrite data\t= 882000bytes\n"
         "\tlost data\t= 0bytes(0.000000seconds, 0.000000%)\n"
         "\n"},
        {"emergency stop with no sound data",
         [&] {
             ZuDutyLogValues v = recordingValues(4);
             v.dataSize = 0.0;
             v.lastWrite = 0.0;
             return ZuDutyLogText::recordingStopBlock(3, start, v);
         },
         "2007.3.5 10:15:07 RECORDING STOP #000003\n"
         "\tstop method\t= emergency\n"
         "\trecord time\t= 01:15'07\"\n"
         "\ttotal time\t= 01:15'07\"\n"
         "\tdata size\t= 0bytes\n"
         "\twrite data\t= 0bytes\n"
         "\tlost data\t= 0bytes(0.000000seconds, 0.000000%)\n"
         "\n"},
        {"sleep stop, more written than expected, no rate",
         [&] {
             ZuDutyLogValues v = recordingValues(5);
             v.sampleRate = 0.0;
             v.dataSize = 1000.9;
             v.lastWrite = 1100.2;
             return ZuDutyLogText::recordingStopBlock(4, start, v);
         },
         "2007.3.5 10:15:07 RECORDING STOP #000004\n"
         "\tstop method\t= internal(sleep)\n"
         "\trecord time\t= 01:15'07\"\n"
         "\ttotal time\t= 01:15'07\"\n"
         "\tdata size\t= 1000bytes\n"
         "\twrite data\t= 1100bytes\n"
         "\tlost data\t= -100bytes(0.000000seconds, -10.000000%)\n"
         "\n"},
    });
}

TEST(DutyLogTextTest, ChangeFileAndMessageBlocks) {
    const QDateTime now = at(2007, 3, 5, 9, 4, 2);
    ZuDutyLogValues v = dutyValues();
    v.originalFile = QStringLiteral("_Nightwarden_20070305_090000~101507.aif");
    v.destinationFile = QStringLiteral("Evening 2007-03-05.aif");
    v.deleteFile = QStringLiteral("_Nightwarden_20070304_090000~101507.aif");
    v.deleteImage = QStringLiteral(".Nightwarden_20070304_090000~101507.tif");
    const auto block = [now, v](const char* event) {
        return [now, v, event] {
            return ZuDutyLogText::eventBlock(event, now, v);
        };
    };
    const auto other = [now](const char* event, ZuDutyLogValues values) {
        return [now, values, event] {
            return ZuDutyLogText::eventBlock(event, now, values);
        };
    };
    expectGolden({
        {"hour switch", block("HourSwitchChange"),
         "2007.3.5 09:04:02 ON THE HOUR SWITCH CHANGED\n\ton the hour\t= ON\n\n"},
        {"hour switch off", other("HourSwitchChange", otherValues()),
         "2007.3.5 09:04:02 ON THE HOUR SWITCH CHANGED\n\ton the hour\t= OFF\n\n"},
        {"sample rate", other("SampleRateChange", otherValues()),
         "2007.3.5 09:04:02 SAMPLING RATE CHANGED\n\tsample rate\t= 44100Hz\n\n"},
        {"channels", block("ChannelsChange"),
         "2007.3.5 09:04:02 RECORD CHANNELS CHANGED\n\tchannels\t= stereo\n\n"},
        {"input source", block("InputSourceChange"),
         "2007.3.5 09:04:02 INPUT SOURCE CHANGED\n\tinput source\t= Built-in Microphone\n\n"},
        {"record mode", block("RecordModeChange"),
         "2007.3.5 09:04:02 RECORD MODE CHANGED\n\trecord mode\t= auto\n\n"},
        {"prior time", block("PreTimeChange"),
         "2007.3.5 09:04:02 PRIOR TIME CHANGED\n\tprior time\t= 3seconds\n\n"},
        {"delay time", block("DelayTimeChange"),
         "2007.3.5 09:04:02 DELAY TIME CHANGED\n\tdelay time\t= 5seconds\n\n"},
        {"marker switch", block("MarkerSwitchChange"),
         "2007.3.5 09:04:02 MARKER SWITCH CHANGED\n\ttime marker\t= OFF\n\n"},
        {"marker interval", block("MarkerPeriodChange"),
         "2007.3.5 09:04:02 MARKER INTERVAL CHANGED\n\tmarker interval\t= 15minutes\n\n"},
        {"marker sound", block("MarkerSoundChange"),
         "2007.3.5 09:04:02 MARKER SOUND CHANGED\n\tmarker sound\t= Glass\n\n"},
        {"record folder", block("RecordFolderChange"),
         "2007.3.5 09:04:02 RECORD FOLDER CHANGED\n"
         "\trecord folder\t= /home/ann/Documents/NightwardenRecord\n\n"},
        {"max record", block("MaxRecordChange"),
         "2007.3.5 09:04:02 MAX RECORD CHANGED\n\tmax record\t= 2hours\n\n"},
        {"keep period of 35 days", block("KeepPeriodChange"),
         "2007.3.5 09:04:02 KEEP PERIOD CHANGED\n\tkeep period\t= 35days\n\n"},
        {"keep period a second short", other("KeepPeriodChange", otherValues()),
         "2007.3.5 09:04:02 KEEP PERIOD CHANGED\n\tkeep period\t= 34days\n\n"},
        {"copy", block("SoundFileCopy"),
         "2007.3.5 09:04:02 SOUND FILE COPY\n"
         "\toriginal\t= _Nightwarden_20070305_090000~101507.aif\n"
         "\tcopy\t= Evening 2007-03-05.aif\n\n"},
        {"delete", block("SoundFileDelete"),
         "2007.3.5 09:04:02 SOUND FILE DELETE\n"
         "\tdelete\t= _Nightwarden_20070304_090000~101507.aif\n"
         "\tdelete\t= .Nightwarden_20070304_090000~101507.tif\n\n"},
        {"unknown event", block("SomethingElse"), ""},
        {"error",
         [now] {
             return ZuDutyLogText::messageBlock(now, "ERROR HAPPEN",
                                                "ZuRecorder: audio file write error.");
         },
         "2007.3.5 09:04:02 ERROR HAPPEN\n\tZuRecorder: audio file write error.\t\n\n"},
        {"report",
         [now] {
             return ZuDutyLogText::messageBlock(now, "REPORT HAPPEN", "ZuRecorder: Sleep in.");
         },
         "2007.3.5 09:04:02 REPORT HAPPEN\n\tZuRecorder: Sleep in.\t\n\n"},
    });
}
