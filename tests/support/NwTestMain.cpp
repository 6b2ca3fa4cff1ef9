// The main of every recorder test program: one application object for the
// whole program, a home folder of its own, and a fresh settings file, clock
// and alert script for each test.
#include "support/NwTestSupport.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuPanels.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#ifdef NW_TEST_GUI
#include <QApplication>
using NwApplication = QApplication;
#else
#include <QGuiApplication>
using NwApplication = QGuiApplication;
#endif

namespace {

std::unique_ptr<QTemporaryDir> homeDir;
std::unique_ptr<QTemporaryDir> testDir;

class FreshEnvironment : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        testDir = std::make_unique<QTemporaryDir>(homeDir->path() + "/test-XXXXXX");
        ZuSettings::standard().setFilePath(testDir->path() + "/settings.conf");
        ZuClock::useSystemTime();
        auto answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuPanels::setAnswerer(answerer);
    }
    void OnTestEnd(const testing::TestInfo&) override { testDir.reset(); }
};

} // namespace

QString nwTestDir() {
    return testDir ? testDir->path() : homeDir->path();
}

QString nwSourceDir() {
    return QStringLiteral(NW_SOURCE_DIR);
}

QString nwBinaryDir() {
    return QStringLiteral(NW_BINARY_DIR);
}

QString nwTestHome() {
    return homeDir->path();
}

int main(int argc, char** argv) {
    homeDir = std::make_unique<QTemporaryDir>();
    qputenv("HOME", homeDir->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (homeDir->path() + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (homeDir->path() + "/.local/share").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", homeDir->path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    NwApplication app(argc, argv);
    // Tests stand on the virtual backend; a test of real sound installs
    // PortAudio itself.
    AuHardware::install(std::make_unique<AuVirtualHardware>());
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshEnvironment);
    const int result = RUN_ALL_TESTS();
    testDir.reset();
    homeDir.reset();
    return result;
}
