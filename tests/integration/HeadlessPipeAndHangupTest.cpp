// The headless duty under a closed log pipe and a hang-up: it ends as a clean
// quit does, so the next start reports no crash.
#include "NightwardenProcess.h"
#include "support/NwTestSupport.h"

#include <QSettings>
#include <csignal>
#include <gtest/gtest.h>

namespace {

struct HeadlessPipeAndHangupTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QStringList base() const {
        return {"--headless", "--settings", settings,           "--audio",
                "virtual",    "--set",      "RecordSwitch=true"};
    }
    QString stored(const QString& key) const {
        return QSettings(settings, QSettings::IniFormat).value(key).toString();
    }
    void expectCleanEnd(NightwardenProcess& run) {
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0) << run.output().toStdString();
        EXPECT_EQ(stored("TroubleTermination"), "false");
        // Recording stopped for the quit, and the next start takes it up.
        EXPECT_EQ(stored("RecordSwitch"), "true");
    }
};

} // namespace

TEST_F(HeadlessPipeAndHangupTest, ConsoleLinesIntoAClosedPipeDoNotEndTheDuty) {
    NightwardenProcess run(nwTestDir());
    run.writeIntoClosedPipe(true);
    run.start(base() << "--quit-after"
                     << "1.5");
    ASSERT_TRUE(run.waitForFinished());
    expectCleanEnd(run);
}

TEST_F(HeadlessPipeAndHangupTest, AHangUpEndsTheDutyCleanlyWithItsOutputClosed) {
    NightwardenProcess run(nwTestDir());
    run.writeIntoClosedPipe(false);
    run.start(base());
    ASSERT_TRUE(run.waitForOutput("on duty without a window")) << run.output().toStdString();
    ::kill(static_cast<pid_t>(run.pid()), SIGHUP);
    ASSERT_TRUE(run.waitForFinished());
    expectCleanEnd(run);
}
