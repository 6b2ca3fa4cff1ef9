#include "audio/ZuDevice.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuSettings.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The log book wired into the controller prints what the components hold.
TEST(DutyLogComponentsTest, TheBlocksPrintTheComponentsValues) {
    const QString folder = nwTestDir() + "/records";
    ZuSettings::standard().setString(folder, "DirectoryPath");
    ZuControler controler;
    controler.awakeFromNib();
    controler.applicationDidFinishLaunching();
    ZuRecorder* recorder = controler.recorder();
    ZuMechanic* mechanic = controler.mechanic();
    const QString path = ZuDutyLog::logBookPath(mechanic->recordFolder());
    ASSERT_TRUE(controler.dutylog()->isLogging());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("TroubleTermination"));
    const QString start = readAll(path);
    EXPECT_TRUE(start.contains("\trecord folder\t= " + folder + "\n"));
    EXPECT_TRUE(start.contains(
        "\tinput device\t= " + controler.devicer()->presentJapanRecordSourceName() + "\n"));
    EXPECT_TRUE(start.contains(QStringLiteral("\tsample rate\t= %1Hz\n")
                                   .arg(static_cast<int64_t>(recorder->sampleRate()))));

    recorder->setChannels(2);
    ZuLogEvent::post("ChannelsChange");
    recorder->setChannels(1);
    ZuLogEvent::post("ChannelsChange");
    recorder->setRecordMode(2);
    ZuLogEvent::post("RecordModeChange");
    recorder->setPreBufferSec(7);
    ZuLogEvent::post("PreTimeChange");
    recorder->setDelayTime(12);
    ZuLogEvent::post("DelayTimeChange");
    recorder->setStartOnTheHour(false);
    ZuLogEvent::post("HourSwitchChange");
    recorder->setMarkerOption(4);
    ZuLogEvent::post("MarkerPeriodChange");
    recorder->setMarkerSound("Tink");
    ZuLogEvent::post("MarkerSoundChange");
    mechanic->setMaxTotalTime(86400.0 * 35 - 1);
    ZuLogEvent::post("KeepPeriodChange");
    mechanic->setMaxRecordTime(3 * 3600.0);
    ZuLogEvent::post("MaxRecordChange");
    controler.applicationWillTerminate();

    const QString text = readAll(path);
    const QString bodies[] = {
        "\tchannels\t= stereo\n\n",           "\tchannels\t= monoral\n\n",
        "\trecord mode\t= standby\n\n",       "\tprior time\t= 7seconds\n\n",
        "\tdelay time\t= 12seconds\n\n",      "\ton the hour\t= OFF\n\n",
        "\tmarker interval\t= 30minutes\n\n", "\tmarker sound\t= Tink\n\n",
        "\tkeep period\t= 34days\n\n",        "\tmax record\t= 3hours\n\n",
    };
    qsizetype from = start.size();
    for (const QString& body : bodies) {
        const qsizetype found = text.indexOf(body, from);
        EXPECT_GT(found, 0) << body.toStdString();
        from = found > 0 ? found : from;
    }
    EXPECT_TRUE(text.contains(" DUTY FINISH\n\tduty time\t= "));
    EXPECT_FALSE(controler.dutylog()->isLogging());
    EXPECT_FALSE(ZuSettings::standard().boolForKey("TroubleTermination"));
}
