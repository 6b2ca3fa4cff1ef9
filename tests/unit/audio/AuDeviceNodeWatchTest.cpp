#include "platform/hal/portaudio/AuDeviceNodeWatch.h"
#include "audio/AuDevice.h"
#include "platform/ZuClock.h"
#include "platform/hal/portaudio/AuPortAudioHardware.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A temporary folder stands in for /dev/snd; the debounce runs on the manual
// clock, so only the watcher's own events need the event loop.
class DeviceNodeWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(nodes.isValid());
        ZuClock::useManual(QDateTime::currentDateTime());
    }
    void TearDown() override { ZuClock::useSystemTime(); }

    void addNode(const QString& name) {
        QFile file(nodes.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void removeNode(const QString& name) { ASSERT_TRUE(QDir(nodes.path()).remove(name)); }
    // A card's nodes arriving together, and one of an older card leaving.
    void burst() {
        addNode("controlC1");
        addNode("pcmC1D0c");
        addNode("pcmC1D0p");
        removeNode("pcmC1D0p");
    }
    // Runs the event loop until the watch has seen the changes made so far.
    static bool noticed(const std::function<bool()>& pending) {
        const QDeadlineTimer deadline(5000);
        while (!pending() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::processEvents();
        return pending();
    }

    QTemporaryDir nodes;
    bool busy = false;
    int rescans = 0;
};

// Counts the rescans the node folder asks for, and those that came while a
// device ran; each still refreshes PortAudio.
class CountingHardware : public AuPortAudioHardware {
public:
    using AuPortAudioHardware::AuPortAudioHardware;
    void rescan() override {
        ++rescans;
        for (AuObjectID id : deviceIDs())
            rescansWithStreams += isRunning(id) ? 1 : 0;
        AuPortAudioHardware::rescan();
    }
    int rescans = 0;
    int rescansWithStreams = 0;
};

// Needs the test server; runs with the other real-sound cases.
class AuPulseDeviceNodeWatch : public DeviceNodeWatchTest {};

struct Silence {
    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList*, const AuTimeStamp*,
                AuBufferList*, const AuTimeStamp*, void*) {
        return 0;
    }
};

} // namespace

TEST_F(DeviceNodeWatchTest, BurstOfChangesRescansOnceAfterQuiet) {
    AuDeviceNodeWatch watch(
        nodes.path(), [this] { return busy; }, [this] { ++rescans; });
    ASSERT_TRUE(watch.watching());
    burst();
    ASSERT_TRUE(noticed([&] { return watch.rescanPending(); }));
    ZuClock::advance(AuDeviceNodeWatch::kDebounceSeconds - 0.1);
    EXPECT_EQ(rescans, 0);
    ZuClock::advance(0.2);
    EXPECT_EQ(rescans, 1);
    ZuClock::advance(5);
    EXPECT_EQ(rescans, 1);
    EXPECT_FALSE(watch.rescanPending());

    // A later change is a burst of its own.
    removeNode("pcmC1D0c");
    ASSERT_TRUE(noticed([&] { return watch.rescanPending(); }));
    ZuClock::advance(AuDeviceNodeWatch::kDebounceSeconds);
    EXPECT_EQ(rescans, 2);
}

TEST_F(DeviceNodeWatchTest, RunningStreamsPutTheRescanOffUntilTheLastStops) {
    AuDeviceNodeWatch watch(
        nodes.path(), [this] { return busy; }, [this] { ++rescans; });
    busy = true;
    burst();
    ASSERT_TRUE(noticed([&] { return watch.rescanPending(); }));
    ZuClock::advance(10);
    EXPECT_EQ(rescans, 0);
    EXPECT_TRUE(watch.rescanPending());

    busy = false;
    watch.streamsStopped();
    EXPECT_EQ(rescans, 0) << "the rescan waits a debounce period after the stop";
    ZuClock::advance(AuDeviceNodeWatch::kDebounceSeconds);
    EXPECT_EQ(rescans, 1);

    // Streams that start and stop with nothing changed ask for nothing.
    watch.streamsStopped();
    ZuClock::advance(10);
    EXPECT_EQ(rescans, 1);
}

TEST_F(DeviceNodeWatchTest, MissingFolderIsNotWatched) {
    const QString missing = nodes.filePath("snd");
    AuDeviceNodeWatch watch(
        missing, [this] { return busy; }, [this] { ++rescans; });
    EXPECT_FALSE(watch.watching());
    ASSERT_TRUE(QDir().mkdir(missing));
    QCoreApplication::processEvents();
    ZuClock::advance(10);
    EXPECT_EQ(rescans, 0);
}

// The real PortAudio backend loads ALSA's plugins, whose memory LeakSanitizer
// reports: it runs with the other real-sound cases, in the release stage.
TEST_F(AuPulseDeviceNodeWatch, PortAudioBackendRescansWhenNodesChange) {
    if (qEnvironmentVariable("NW_PULSE_SINK").isEmpty())
        GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                        "(eval \"$(scripts/pulse-test-server)\" starts one)";
    CountingHardware hardware(nodes.path());
    burst();
    // The rescan comes a debounce period after the last change.
    const QDeadlineTimer deadline(5000);
    while (hardware.rescans == 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ZuClock::advance(0.1);
    }
    EXPECT_EQ(hardware.rescans, 1);
    ZuClock::advance(5);
    EXPECT_EQ(hardware.rescans, 1);
}

// Against the server scripts/pulse-test-server starts: while the sink's
// monitor records through the PortAudio backend, node changes leave the
// stream alone; the rescan comes once the stream stops, and finds the
// monitor again.
TEST_F(AuPulseDeviceNodeWatch, ARecordingStreamPutsTheBackendRescanOff) {
    if (qEnvironmentVariable("NW_PULSE_SINK").isEmpty())
        GTEST_SKIP() << "no PulseAudio test server: NW_PULSE_SINK is not set "
                        "(eval \"$(scripts/pulse-test-server)\" starts one)";
    const QString pcm = qEnvironmentVariable("NW_PULSE_PCM", "nw_monitor");
    auto owned = std::make_unique<CountingHardware>(nodes.path());
    CountingHardware& hardware = *owned;
    AuHardware::install(std::move(owned));
    std::unique_ptr<AuDevice> monitor;
    for (auto& device : AuDevice::allDevices())
        if (device->deviceName() == pcm && device->channelsForDirection(1) > 0)
            monitor = std::move(device);
    ASSERT_NE(monitor, nullptr) << "no input device named " << pcm.toStdString();
    Silence silence;
    monitor->setIOTarget(&silence, &Silence::io, nullptr);
    ASSERT_TRUE(monitor->deviceStart());

    burst();
    EXPECT_TRUE(noticed([&] { return hardware.deviceRescanPending(); }));
    ZuClock::advance(10);
    EXPECT_EQ(hardware.rescans, 0);
    EXPECT_TRUE(hardware.isRunning(monitor->deviceID()));

    monitor->deviceStop();
    ZuClock::advance(AuDeviceNodeWatch::kDebounceSeconds);
    EXPECT_EQ(hardware.rescans, 1);
    EXPECT_EQ(hardware.rescansWithStreams, 0);
    EXPECT_NE(hardware.deviceWithUID("ALSA:" + pcm), kAuUnknownObject);
    monitor.reset();
    AuHardware::install(nullptr);
}
