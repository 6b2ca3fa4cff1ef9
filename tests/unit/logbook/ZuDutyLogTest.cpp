#include "logbook/ZuDutyLog.h"
#include "logbook/ZuConsoleUser.h"
#include "logbook/ZuDutyLogText.h"
#include "platform/ZuClock.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"
#include "support/NwConsoleCapture.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <memory>

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QString readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A duty log over values that the test sets, as the components would hold them.
class DutyLogTest : public testing::Test {
protected:
    void SetUp() override {
        folder = nwTestDir() + "/records";
        path = ZuDutyLog::logBookPath(folder);
        values.sampleRate = 22050.0;
        values.channels = 2;
        values.inputSource = QStringLiteral("Line In");
        values.recordFolder = folder;
        values.maxTotalTime = 86400.0;
        values.maxRecordTime = 3600.0;
        values.markerSound = QStringLiteral("Glass");
        ZuClock::useManual(at(2007, 3, 5, 9, 0, 0));
    }

    // One launch: a fresh log book object, as at interface load.
    std::unique_ptr<ZuDutyLog> launch() {
        auto log = std::make_unique<ZuDutyLog>();
        log->setValueSource([this] { return values; });
        log->awakeFromNib();
        return log;
    }

    // What the duty start writes after the title or the trouble lines.
    QString startBlock(const QDateTime& start) const {
        return ZuDutyLogText::dutyStartBlock(ZuConsoleUser::shortName(), start, values);
    }

    void record(const QDateTime& start, const QDateTime& stop, int32_t method) {
        values.actionMethod = method;
        values.recordStartDate = start;
        ZuLogEvent::post("RecordingStart");
        values.recordStopDate = stop;
        values.totalRecordTime += start.secsTo(stop);
        values.dataSize = start.secsTo(stop) * 88200.0;
        values.lastWrite = values.dataSize;
        ZuLogEvent::post("RecordingStop");
    }

    QString folder;
    QString path;
    ZuDutyLogValues values;
};

} // namespace

TEST_F(DutyLogTest, ADutyWritesEveryEventInOrderAndNothingOutsideIt) {
    ZuLogEvent::error("ZuRecorder: before the duty.");
    auto log = launch();
    const QDateTime dutyStart = at(2007, 3, 5, 9, 0, 0);
    ZuLogEvent::post("RecordingStart");
    EXPECT_FALSE(QFile::exists(path));

    ZuClock::advance(2);
    ZuLogEvent::post("DutyStart");
    ASSERT_TRUE(log->isLogging());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("TroubleTermination"));
    QString expected = ZuDutyLogText::titleLine() + startBlock(dutyStart);
    EXPECT_EQ(readAll(path), expected);

    record(at(2007, 3, 5, 9, 10, 0), at(2007, 3, 5, 9, 20, 0), 0);
    ZuDutyLogValues first = values;
    first.recordStopDate = at(2007, 3, 5, 9, 20, 0);
    expected += ZuDutyLogText::recordingStartBlock(1, first) +
                ZuDutyLogText::recordingStopBlock(1, at(2007, 3, 5, 9, 10, 0), first);

    ZuClock::advance(60);
    values.channels = 1;
    ZuLogEvent::post("ChannelsChange");
    expected += "2007.3.5 09:01:02 RECORD CHANNELS CHANGED\n\tchannels\t= monoral\n\n";

    values.reserveName = "Night watch";
    record(at(2007, 3, 5, 10, 0, 0), at(2007, 3, 5, 11, 0, 0), 2);
    expected += ZuDutyLogText::recordingStartBlock(2, values) +
                ZuDutyLogText::recordingStopBlock(2, at(2007, 3, 5, 10, 0, 0), values);

    values.originalFile = "a.aif";
    values.destinationFile = "b.aif";
    ZuLogEvent::post("SoundFileCopy");
    values.deleteFile = "c.aif";
    values.deleteImage = ".c.tif";
    ZuLogEvent::post("SoundFileDelete");
    ZuLogEvent::error("ZuMechanic: audio file open error.");
    ZuLogEvent::report("ZuRecorder: last recording file is rescued.");
    ZuLogEvent::post("SleepIn", "ZuRecorder: Sleep in.");
    ZuLogEvent::post("WakeUp", "ZuRecorder: Wake up.");
    ZuLogEvent::post("NoSuchEvent");
    ZuLogEvent::post("DutyStart");
    expected += "2007.3.5 09:01:02 SOUND FILE COPY\n\toriginal\t= a.aif\n\tcopy\t= b.aif\n\n"
                "2007.3.5 09:01:02 SOUND FILE DELETE\n\tdelete\t= c.aif\n\tdelete\t= .c.tif\n\n"
                "2007.3.5 09:01:02 ERROR HAPPEN\n\tZuMechanic: audio file open error.\t\n\n"
                "2007.3.5 09:01:02 REPORT HAPPEN\n"
                "\tZuRecorder: last recording file is rescued.\t\n\n"
                "2007.3.5 09:01:02 REPORT HAPPEN\n\tZuRecorder: Sleep in.\t\n\n"
                "2007.3.5 09:01:02 REPORT HAPPEN\n\tZuRecorder: Wake up.\t\n\n";

    ZuClock::advance(3600);
    ZuLogEvent::post("DutyFinish");
    expected += "2007.3.5 10:01:02 DUTY FINISH\n\tduty time\t= 01:01'02\"\n";
    EXPECT_FALSE(log->isLogging());
    ZuLogEvent::error("ZuRecorder: after the duty.");
    ZuLogEvent::post("ChannelsChange");

    EXPECT_EQ(readAll(path).toStdString(), expected.toStdString());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("TroubleTermination"));
    log->saveUserDefaults();
    EXPECT_FALSE(ZuSettings::standard().boolForKey("TroubleTermination"));
}

TEST_F(DutyLogTest, NumberingRestartsAtEachLaunchAndAStopWithoutAStartUsesTheRecordersStart) {
    {
        auto log = launch();
        ZuLogEvent::post("DutyStart");
        record(at(2007, 3, 5, 9, 0, 0), at(2007, 3, 5, 9, 1, 0), 0);
        log->saveUserDefaults();
    }
    auto log = launch();
    // A recording already running when the duty opened: only its stop is seen.
    values.recordStartDate = at(2007, 3, 5, 8, 30, 0);
    values.recordStopDate = at(2007, 3, 5, 9, 45, 30);
    values.actionMethod = 0;
    ZuLogEvent::post("DutyStart");
    ZuLogEvent::post("RecordingStop");
    record(at(2007, 3, 5, 10, 0, 0), at(2007, 3, 5, 10, 0, 5), 0);

    const QString text = readAll(path);
    EXPECT_TRUE(text.startsWith(ZuDutyLogText::titleLine()));
    EXPECT_TRUE(text.contains("2007.3.5 09:45:30 RECORDING STOP #000000\n"
                              "\tstop method\t= manual\n\trecord time\t= 01:15'30\"\n"));
    EXPECT_TRUE(text.contains("2007.3.5 10:00:00 RECORDING START #000001\n"));
    EXPECT_TRUE(text.contains("RECORDING STOP #000001\n\tstop method\t= manual\n"
                              "\trecord time\t= 00:00'05\"\n"));
    EXPECT_FALSE(text.contains("#000002"));
}

TEST_F(DutyLogTest, WithTheSwitchOffAtLaunchNoFileIsCreatedOrChanged) {
    ZuSettings::standard().setBool(false, "WriteLogBook");
    auto log = launch();
    EXPECT_FALSE(log->writeLog());
    ZuLogEvent::post("DutyStart");
    log->setWriteLog(true);
    ZuLogEvent::post("DutyStart");
    record(at(2007, 3, 5, 9, 0, 0), at(2007, 3, 5, 9, 1, 0), 0);
    ZuLogEvent::error("ZuRecorder: audio file write error.");
    ZuLogEvent::post("DutyFinish");
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(log->isLogging());
    EXPECT_FALSE(ZuSettings::standard().boolForKey("TroubleTermination"));

    // An old log book, even one left by an unclean end, stays as it was.
    QDir().mkpath(folder);
    writeFile(path, "old duty\n");
    ZuSettings::standard().setBool(true, "TroubleTermination");
    ZuSettings::standard().setBool(false, "WriteLogBook");
    auto again = launch();
    ZuLogEvent::post("DutyStart");
    ZuLogEvent::error("ZuRecorder: audio file write error.");
    EXPECT_EQ(readAll(path), "old duty\n");
    EXPECT_TRUE(ZuSettings::standard().boolForKey("TroubleTermination"));
}

TEST_F(DutyLogTest, AnUncleanEndAddsTroubleLinesAndACleanEndStartsAfresh) {
    const QDateTime firstStart = at(2007, 3, 5, 9, 0, 0);
    {
        auto log = launch();
        ZuLogEvent::post("DutyStart");
        EXPECT_EQ(ZuSettings::standard().stringForKey("LastPatrolDate"),
                  ZuDutyLogText::dateDescription(firstStart));
        // The patrol keeps the date fresh; the run then dies without quitting.
        ZuClock::advance(ZuDutyLog::patrolInterval * 2 + 100);
        EXPECT_EQ(ZuSettings::standard().stringForKey("LastPatrolDate"),
                  ZuDutyLogText::dateDescription(at(2007, 3, 5, 9, 10, 0)));
    }
    const QString firstDuty = readAll(path);
    ASSERT_FALSE(firstDuty.isEmpty());

    ZuClock::useManual(at(2007, 3, 5, 11, 0, 0));
    {
        auto log = launch();
        ZuLogEvent::post("DutyStart");
        EXPECT_EQ(readAll(path), firstDuty +
                                     "2007.3.5 09:10:00 TROUBLE STOP\n\n"
                                     "2007.3.5 11:00:00 TROUBLE RESTART\n\n" +
                                     startBlock(at(2007, 3, 5, 11, 0, 0)));
    }

    // A recorder that rescued a recording names the crash instead.
    const QString secondDuty = readAll(path);
    values.lastCrashDate = at(2007, 3, 5, 10, 59, 7);
    ZuClock::useManual(at(2007, 3, 5, 12, 0, 0));
    {
        auto log = launch();
        ZuLogEvent::post("DutyStart");
        EXPECT_EQ(readAll(path), secondDuty +
                                     "2007.3.5 10:59:07 CRASH TROUBLE\n\n"
                                     "2007.3.5 12:00:00 TROUBLE RESTART\n\n" +
                                     startBlock(at(2007, 3, 5, 12, 0, 0)));
        ZuLogEvent::post("DutyFinish");
        log->saveUserDefaults();
    }

    values.lastCrashDate = QDateTime();
    ZuClock::useManual(at(2007, 3, 6, 8, 0, 0));
    auto log = launch();
    ZuLogEvent::post("DutyStart");
    EXPECT_EQ(readAll(path), ZuDutyLogText::titleLine() + startBlock(at(2007, 3, 6, 8, 0, 0)));
}

TEST_F(DutyLogTest, TroubleWithoutAReadablePatrolDateUsesTheFilesLastChange) {
    QDir().mkpath(folder);
    writeFile(path, "old duty\n");
    const QDateTime changed = at(2007, 3, 4, 22, 15, 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(changed, QFileDevice::FileModificationTime));
    file.close();
    ZuSettings::standard().setBool(true, "TroubleTermination");
    ZuSettings::standard().setString("garbled", "LastPatrolDate");

    auto log = launch();
    ZuLogEvent::post("DutyStart");
    EXPECT_TRUE(readAll(path).startsWith("old duty\n2007.3.4 22:15:00 TROUBLE STOP\n\n"
                                         "2007.3.5 09:00:00 TROUBLE RESTART\n\n"));
}

TEST_F(DutyLogTest, ALogBookThatCannotBeCreatedLeavesTheRunUnlogged) {
    // The record folder's place is taken by a plain file.
    writeFile(folder, "not a folder");
    NwConsoleCapture console;
    auto log = launch();
    ZuLogEvent::post("DutyStart");
    ZuLogEvent::error("ZuRecorder: audio file write error.");
    EXPECT_FALSE(log->isLogging());
    EXPECT_TRUE(console.lines().contains("Can not create Log Book."));
    EXPECT_FALSE(ZuSettings::standard().boolForKey("TroubleTermination"));
    EXPECT_EQ(readAll(folder), "not a folder");
}
