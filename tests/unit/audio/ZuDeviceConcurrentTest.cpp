// The monitor converter is replaced on the main thread while the record and
// monitor devices run on their own threads: a replaced converter must outlive
// every callback that may still hold it.
#include "AuTestHardware.h"
#include "ZuDeviceTestClients.h"
#include "audio/AuBufferList.h"
#include "platform/ZuScriptedAnswerer.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

class ZuDeviceConcurrentTest : public AuHardwareFixture {
protected:
    void SetUp() override { ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>()); }

    // Input and output on separate hardware, so that each runs on its own thread.
    AuTestHardware& installInputAndOutput() {
        AuVirtualDeviceConfig input = device("A Input", "a", 2, 0);
        input.input = *AuVirtualInput::parse("tone:440:0.5");
        return install({input, device("B Output", "b", 0, 2)});
    }
};

// Waits for a condition another thread makes true.
class Latch {
public:
    void open() {
        std::lock_guard lock(mutex);
        opened = true;
        condition.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        condition.wait(lock, [this] { return opened; });
    }

private:
    std::mutex mutex;
    std::condition_variable condition;
    bool opened = false;
};

} // namespace

TEST_F(ZuDeviceConcurrentTest, ConcurrentReplacementWaitsForTheRecordCycleHoldingTheOldConverter) {
    AuTestHardware& hardware = installInputAndOutput();
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    AuConversionBuffer* held = devicer.monitorConverter();
    ASSERT_NE(held, nullptr);

    Latch inside, release;
    clients.duringRecordCycle = [&](AuConversionBuffer*) {
        inside.open();
        release.wait();
    };
    std::thread io([&] { hardware.step(devicer.recordDevice()->deviceID(), 1); });
    inside.wait();

    std::atomic<bool> replaced{false};
    std::thread replacer([&] {
        devicer.newMonitorConverter();
        replaced = true;
    });
    // The new converter is published at once...
    while (devicer.monitorConverter() == held)
        std::this_thread::yield();
    // ...but the old one stays until the cycle holding it has ended.
    EXPECT_FALSE(replaced.load());
    AuBufferList* list = AuBufferListNew(2, 512, true);
    held->writeFromAudioBufferList(list, nullptr);
    AuBufferListDispose(list);
    release.open();
    io.join();
    replacer.join();
    EXPECT_TRUE(replaced.load());
    EXPECT_EQ(clients.recordCycles, 1u);
}

TEST_F(ZuDeviceConcurrentTest, ConcurrentRecordAndMonitorCyclesSurviveConverterReplacements) {
    AuTestHardware& hardware = installInputAndOutput();
    ZuDevice devicer;
    ZuDeviceTestClients clients(devicer);
    devicer.awakeFromNib();
    devicer.recordDeviceStart();
    devicer.monitorDevicePaused(false);
    const AuObjectID input = devicer.recordDevice()->deviceID();
    const AuObjectID output = devicer.monitorDevice()->deviceID();

    std::atomic<bool> stop{false};
    std::thread recordThread([&] {
        while (!stop)
            hardware.step(input, 1);
    });
    std::thread monitorThread([&] {
        while (!stop)
            hardware.step(output, 1);
    });
    // Each replacement must overlap running cycles: wait for both to move on.
    for (int i = 0; i < 50; ++i) {
        const uint64_t record = clients.recordCycles;
        const uint64_t monitor = clients.monitorCycles;
        while (clients.recordCycles == record || clients.monitorCycles == monitor)
            std::this_thread::yield();
        devicer.newMonitorConverter();
        ASSERT_NE(devicer.monitorConverter(), nullptr);
    }
    // A converter starts reading once it holds a few blocks, and the threads
    // run at no set pace, the monitor's possibly far ahead: the last converter
    // is given until a thousand cycles of each side to carry the tone through.
    const uint64_t record = clients.recordCycles;
    const uint64_t monitor = clients.monitorCycles;
    const uint64_t loud = clients.loudMonitorCycles;
    bool heard = false;
    while (!heard &&
           (clients.recordCycles < record + 1000 || clients.monitorCycles < monitor + 1000)) {
        heard = clients.loudMonitorCycles > loud;
        std::this_thread::yield();
    }
    stop = true;
    recordThread.join();
    monitorThread.join();
    EXPECT_GE(clients.recordCycles, 50u);
    EXPECT_GE(clients.monitorCycles, 50u);
    EXPECT_TRUE(heard);
}
