#include "audio/AuDevice.h"
#include "AuTestHardware.h"
#include "audio/AuDeviceDelegate.h"
#include "audio/AuHardwareDelegate.h"
#include "audio/AuIOProcMux.h"
#include "platform/ZuNotificationCenter.h"

namespace {

// A backend whose UID translation answers with another device.
class MisleadingHardware : public AuVirtualHardware {
public:
    using AuVirtualHardware::AuVirtualHardware;
    AuStatus getProperty(const AuPropertyAddress& address, QByteArray& value,
                         const QByteArray& qualifier) override {
        if (address.property == auFourCC("duid") && qualifier == "ghost") {
            value = auPropertyBytes(uint32_t(deviceIDs().front()));
            return kAuNoError;
        }
        return AuVirtualHardware::getProperty(address, value, qualifier);
    }
};

struct RecordingDelegate : AuDeviceDelegate {
    std::vector<QString> calls;
    void audioDeviceDidDie(AuDevice*) override { calls.push_back("died"); }
    void audioDeviceStreamsListDidChange(AuDevice*) override { calls.push_back("streams"); }
    void audioDeviceNominalSampleRateDidChange(AuDevice*) override { calls.push_back("rate"); }
    void audioDeviceBufferSizeInFramesDidChange(AuDevice*) override { calls.push_back("size"); }
    void audioDeviceSourceDidChange(AuDevice*, uint32_t direction) override {
        calls.push_back(QStringLiteral("source %1").arg(direction));
    }
    void audioDeviceStartDidFail(AuDevice*, AuStatus reason) override {
        calls.push_back(QStringLiteral("fail %1").arg(reason != 0));
    }
};

struct VolumeInfoOnly : AuDeviceDelegate {
    std::vector<uint32_t> channels;
    void audioDeviceVolumeInfoDidChange(AuDevice*, uint32_t channel, uint32_t) override {
        channels.push_back(channel);
    }
};

struct Client {
    AuStatus io(AuDevice*, const AuTimeStamp*, const AuBufferList*, const AuTimeStamp*,
                AuBufferList*, const AuTimeStamp*, void*) {
        ++cycles;
        return 0;
    }
    int cycles = 0;
};

class AuDeviceTest : public AuHardwareFixture {};

} // namespace

TEST_F(AuDeviceTest, AllDevicesSortByNameThenUID) {
    install({device("Beta", "b-2"), device("Alpha", "a"), device("Beta", "b-1")});
    const auto devices = AuDevice::allDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0]->deviceUID(), "a");
    EXPECT_EQ(devices[1]->deviceUID(), "b-1");
    EXPECT_EQ(devices[2]->deviceUID(), "b-2");
}

TEST_F(AuDeviceTest, AllDevicesPutsAnUnnamedDeviceLast) {
    install(
        {device("", "unnamed"), device("Beta", "b"), device("Alpha", ""), device("Alpha", "a")});
    const auto devices = AuDevice::allDevices();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0]->deviceUID(), "a");
    EXPECT_EQ(devices[1]->deviceName(), "Alpha"); // no UID: after the Alpha that has one
    EXPECT_EQ(devices[2]->deviceUID(), "b");
    EXPECT_EQ(devices[3]->deviceUID(), "unnamed");
    EXPECT_TRUE(devices[2]->_compare(*devices[3]));
    EXPECT_FALSE(devices[3]->_compare(*devices[0]));
    EXPECT_TRUE(devices[0]->_compare(*devices[1]));
}

TEST_F(AuDeviceTest, ADeviceGoingWhileTheListSortsKeepsTheNameItHad) {
    auto& hardware = install({device("Alpha", "a"), device("Gamma", "g"), device("Beta", "b")});
    const AuObjectID alpha = hardware.deviceWithUID("a");
    bool nameRead = false;
    // Alpha goes right after its name has been read once.
    hardware.beforeRead = [&](const AuPropertyAddress& address) {
        if (nameRead && hardware.deviceWithUID("a") == alpha)
            hardware.unplugDevice(alpha);
        if (address.object == alpha && address.property == auFourCC("lnam"))
            nameRead = true;
    };
    const auto devices = AuDevice::allDevices();
    hardware.beforeRead = nullptr;
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0]->deviceID(), alpha);
    EXPECT_EQ(devices[1]->deviceUID(), "b");
    EXPECT_EQ(devices[2]->deviceUID(), "g");
}

TEST_F(AuDeviceTest, UIDLookUpChecksTheFoundDevice) {
    auto backend = std::make_unique<MisleadingHardware>(
        std::vector<AuVirtualDeviceConfig>{device("One", "uid-1"), device("Two", "uid-2")},
        AuVirtualHardware::Pacing::Stepped);
    AuHardware::install(std::move(backend));
    const auto two = AuDevice::deviceWithUID("uid-2");
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->deviceName(), "Two");
    EXPECT_EQ(AuDevice::deviceWithUID("ghost"), nullptr);
    EXPECT_EQ(AuDevice::deviceWithUID("missing"), nullptr);
}

TEST_F(AuDeviceTest, RatesAndSizesFromTheBackend) {
    auto config = device("Dev", "dev", 1, 2);
    config.info.sampleRates = {{44100, 44100}, {48000, 48000}};
    install({config});
    const auto dev = std::move(AuDevice::allDevices().front());
    EXPECT_TRUE(dev->supportsNominalSampleRate(44100));
    EXPECT_FALSE(dev->supportsNominalSampleRate(32000));
    EXPECT_TRUE(dev->setNominalSampleRate(48000));
    EXPECT_EQ(dev->nominalSampleRate(), 48000.0);
    EXPECT_FALSE(dev->setNominalSampleRate(32000));
    EXPECT_EQ(dev->nominalSampleRate(), 48000.0);
    EXPECT_EQ(dev->channelsForDirection(1), 1u);
    EXPECT_EQ(dev->channelsForDirection(0), 2u);
    EXPECT_EQ(dev->deviceMinBufferSizeInFrames(), 64u);
    EXPECT_EQ(dev->deviceMaxBufferSizeInFrames(), 4096u);
    dev->setDeviceBufferSizeInFrames(100000); // refused by the device
    EXPECT_EQ(dev->deviceBufferSizeInFrames(), 512u);
    const auto format = dev->streamDescriptionForChannel(0, 1);
    ASSERT_TRUE(format.has_value());
    EXPECT_TRUE(format->isNativeFormat());
    EXPECT_EQ(format->channelsPerFrame(), 1u);
    EXPECT_EQ(format->sampleRate(), 48000.0f);
    // PortAudio-like devices have no volume controls: failure values.
    EXPECT_EQ(dev->volumeForChannel(0, 0), 0.0f);
    EXPECT_FALSE(dev->volumeInfoForChannel(0, 0).hasVolume);
    EXPECT_FALSE(dev->clockSourcesForChannel(0, 0).has_value());
}

TEST_F(AuDeviceTest, DataSourcesByName) {
    auto config = device("Dev", "dev");
    config.info.dataSources[1] = {"Internal microphone", "Line In"};
    install({config});
    const auto dev = std::move(AuDevice::allDevices().front());
    EXPECT_EQ(dev->dataSourcesForDirection(1), QStringList({"Internal microphone", "Line In"}));
    EXPECT_EQ(dev->dataSourceForDirection(1), "Internal microphone");
    EXPECT_TRUE(dev->canSetDataSourceForDirection(1));
    dev->setDataSource("Line In", 1);
    EXPECT_EQ(dev->dataSourceForDirection(1), "Line In");
    dev->setDataSource(QString(), 1);
    EXPECT_EQ(dev->dataSourceForDirection(1), "Line In");
    EXPECT_TRUE(dev->dataSourcesForDirection(0).isEmpty());
    EXPECT_FALSE(dev->canSetDataSourceForDirection(0));
}

TEST_F(AuDeviceTest, DelegateDispatchFollowsThePropertyTable) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    const auto other = std::move(AuDevice::allDevices().front());
    RecordingDelegate delegate;
    dev->setDelegate(&delegate);
    const AuObjectID id = dev->deviceID();
    hardware.raise({AuScope::Device, id, 0, 1, auFourCC("livn")});
    hardware.raise({AuScope::Device, id, 3, 0, auFourCC("nsrt")}); // not channel 0: nothing
    hardware.raise({AuScope::Device, id, 0, 0, auFourCC("vfsz")});
    hardware.raise({AuScope::Device, id, 0, 1, auFourCC("ssrc")});
    hardware.raise({AuScope::Device, id + 100, 0, 1, auFourCC("livn")}); // another device
    dev->setNominalSampleRate(48000); // a real change, reported by the backend
    EXPECT_EQ(delegate.calls, (std::vector<QString>{"died", "size", "source 1", "rate"}));
    other->setDelegate(nullptr);
}

TEST_F(AuDeviceTest, VolumeInfoFallbackCoversVolumeMuteAndPlayThruOnly) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    VolumeInfoOnly delegate;
    dev->setDelegate(&delegate);
    const AuObjectID id = dev->deviceID();
    hardware.raise({AuScope::Device, id, 1, 0, auFourCC("volm")});
    hardware.raise({AuScope::Device, id, 2, 0, auFourCC("mute")});
    hardware.raise({AuScope::Device, id, 3, 0, auFourCC("thru")});
    hardware.raise({AuScope::Device, id, 4, 0, auFourCC("vold")});
    EXPECT_EQ(delegate.channels, (std::vector<uint32_t>{1, 2, 3}));
}

TEST_F(AuDeviceTest, WithoutDelegateNoEventIsHandled) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    RecordingDelegate delegate;
    dev->setDelegate(&delegate);
    const auto* before = dev->streamsForDirection(1);
    ASSERT_NE(before, nullptr);
    const AuStream* firstStream = before->front().get();
    dev->setDelegate(nullptr);
    hardware.raise({AuScope::Device, dev->deviceID(), 0, 1, auFourCC("stm#")});
    EXPECT_TRUE(delegate.calls.empty());
    EXPECT_EQ(dev->streamsForDirection(1)->front().get(), firstStream);
}

TEST_F(AuDeviceTest, StreamListChangeRenewsOnlyThatDirection) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    RecordingDelegate delegate;
    dev->setDelegate(&delegate);
    const AuStream* input = dev->streamsForDirection(1)->front().get();
    const AuStream* output = dev->streamsForDirection(0)->front().get();
    EXPECT_EQ(input->direction(), 1u);
    EXPECT_EQ(output->direction(), 0u);
    hardware.raise({AuScope::Device, dev->deviceID(), 0, 1, auFourCC("stm#")});
    EXPECT_EQ(delegate.calls, std::vector<QString>{"streams"});
    EXPECT_EQ(dev->streamsForDirection(0)->front().get(), output);
    const auto* renewed = dev->streamsForDirection(1);
    ASSERT_EQ(renewed->size(), 1u);
    EXPECT_EQ(renewed->front()->numberChannels(), 2u);
}

TEST_F(AuDeviceTest, AStreamListChangeDuringItsReadIsKept) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    RecordingDelegate delegate;
    dev->setDelegate(&delegate);
    int reads = 0;
    // The first read of the list meets a change of it.
    hardware.beforeRead = [&](const AuPropertyAddress& address) {
        if (address.property != auFourCC("stm#") || address.direction != 1)
            return;
        if (++reads == 1)
            hardware.raise({AuScope::Device, dev->deviceID(), 0, 1, auFourCC("stm#")});
    };
    ASSERT_NE(dev->streamsForDirection(1), nullptr);
    ASSERT_NE(dev->streamsForDirection(1), nullptr);
    EXPECT_EQ(reads, 2); // read again for the change
    ASSERT_NE(dev->streamsForDirection(1), nullptr);
    EXPECT_EQ(reads, 2);

    // A list that cannot be read is read again next time.
    const auto gone = AuDevice::deviceWithID(12345);
    reads = 0;
    hardware.beforeRead = [&](const AuPropertyAddress& address) {
        reads += address.property == auFourCC("stm#");
    };
    EXPECT_EQ(gone->streamsForDirection(1), nullptr);
    EXPECT_EQ(gone->streamsForDirection(1), nullptr);
    EXPECT_EQ(reads, 2);
    hardware.beforeRead = nullptr;
}

TEST_F(AuDeviceTest, WritesReachTheDevicesDelegateForEveryDirectionAndEveryStream) {
    auto config = device("Dev", "dev", 1, 2);
    config.info.dataSources[1] = {"Internal microphone", "Line In"};
    install({config});
    const auto dev = std::move(AuDevice::allDevices().front());
    struct Changes : AuDeviceDelegate {
        std::vector<QString> calls;
        void audioDeviceNominalSampleRateDidChange(AuDevice*) override { calls.push_back("rate"); }
        void audioDeviceStreamDescriptionDidChange(AuDevice*, uint32_t,
                                                   uint32_t direction) override {
            calls.push_back(QStringLiteral("format %1").arg(direction));
        }
        void audioDeviceSourceDidChange(AuDevice*, uint32_t direction) override {
            calls.push_back(QStringLiteral("source %1").arg(direction));
        }
        void audioStreamStreamDescriptionDidChange(AuStream* stream, uint32_t side) override {
            calls.push_back(
                QStringLiteral("stream %1 format side %2").arg(stream->direction()).arg(side));
        }
        void audioStreamSourceDidChange(AuStream* stream) override {
            calls.push_back(QStringLiteral("stream %1 source %2")
                                .arg(stream->direction())
                                .arg(stream->dataSource()));
        }
    } delegate;
    dev->setDelegate(&delegate);
    dev->streamsForDirection(0);
    AuStream* input = dev->streamsForDirection(1)->front().get();

    // The rate, written as the input stream's physical format, is the device's.
    auto format = input->streamDescriptionForSide(1);
    ASSERT_TRUE(format.has_value());
    format->setSampleRate(48000);
    ASSERT_TRUE(input->setStreamDescription(*format, 1));
    EXPECT_EQ(delegate.calls,
              (std::vector<QString>{"rate", "format 0", "format 1", "stream 0 format side 0",
                                    "stream 0 format side 1", "stream 1 format side 0",
                                    "stream 1 format side 1"}));
    EXPECT_EQ(dev->streamsForDirection(0)->front()->streamDescriptionForSide(0)->sampleRate(),
              48000.0f);

    delegate.calls.clear();
    EXPECT_EQ(input->dataSources(), QStringList({"Internal microphone", "Line In"}));
    input->setDataSource("Line In");
    EXPECT_EQ(delegate.calls, (std::vector<QString>{"source 1", "stream 1 source Line In"}));
    EXPECT_EQ(dev->dataSourceForDirection(1), "Line In");
}

TEST_F(AuDeviceTest, StreamWithoutDelegateReportsToTheDevicesDelegate) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    struct StreamEvents : AuDeviceDelegate {
        std::vector<uint32_t> sides;
        int volumeInfo = 0;
        void audioStreamStreamDescriptionDidChange(AuStream*, uint32_t side) override {
            sides.push_back(side);
        }
        void audioStreamVolumeInfoDidChange(AuStream*, uint32_t) override { ++volumeInfo; }
    } delegate;
    dev->setDelegate(&delegate);
    AuStream* stream = dev->streamsForDirection(0)->front().get();
    hardware.raise({AuScope::Stream, stream->streamID(), 0, 0, auFourCC("pft ")});
    hardware.raise({AuScope::Stream, stream->streamID(), 0, 0, auFourCC("sfmt")});
    hardware.raise({AuScope::Stream, stream->streamID(), 0, 0, auFourCC("vold")});
    hardware.raise({AuScope::Stream, stream->streamID(), 0, 0, auFourCC("mute")});
    EXPECT_EQ(delegate.sides, (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(delegate.volumeInfo, 1);
}

TEST_F(AuDeviceTest, HardwareChangesReachDelegateThenNotification) {
    auto& hardware = install({device("Dev", "dev")});
    const auto dev = std::move(AuDevice::allDevices().front());
    std::vector<QString> order;
    struct Hardware : AuHardwareDelegate {
        std::vector<QString>* order;
        void audioHardwareDeviceListDidChange() override { order->push_back("delegate"); }
    } delegate;
    delegate.order = &order;
    AuDevice::setHardwareDelegate(&delegate);
    ZuNotificationCenter::defaultCenter().addObserver(
        AuHardwareDeviceListDidChangeNotification, &order,
        [&](const ZuNotification&) { order.push_back("notification"); });
    hardware.plugDevice(device("New", "new"));
    AuDevice::setHardwareDelegate(nullptr);
    ZuNotificationCenter::defaultCenter().removeObserver(&order);
    EXPECT_EQ(order, (std::vector<QString>{"delegate", "notification"}));
    EXPECT_EQ(AuDevice::allDevices().size(), 2u);
}

TEST_F(AuDeviceTest, IOClientStatesAndFailedStart) {
    auto config = device("Busy", "busy");
    config.failToStart = true;
    install({device("Dev", "dev"), config});
    auto dev = AuDevice::deviceWithUID("dev");
    Client client;
    EXPECT_FALSE(dev->deviceStart()); // no client yet
    dev->setIOTarget(&client, &Client::io, nullptr);
    EXPECT_TRUE(dev->deviceStart());
    EXPECT_TRUE(dev->isDeviceStarted());
    dev->setIOTarget(&client, &Client::io, nullptr); // a new target stops the device
    EXPECT_FALSE(dev->isDeviceStarted());

    auto busy = AuDevice::deviceWithUID("busy");
    RecordingDelegate delegate;
    busy->setDelegate(&delegate);
    busy->setIOTarget(&client, &Client::io, nullptr);
    EXPECT_FALSE(busy->deviceStart());
    EXPECT_EQ(delegate.calls, std::vector<QString>{"fail 1"});
    EXPECT_FALSE(AuIOProcMux::muxForDevice(busy.get()).isRunning());
    EXPECT_EQ(AuIOProcMux::muxForDevice(busy.get()).deviceCount(), 0u);
}

TEST_F(AuDeviceTest, ADefaultDeviceGoingIsReportedAsADefaultChange) {
    auto& hardware = install({device("Out", "out", 0, 2), device("In", "in", 2, 0)});
    struct Defaults : AuHardwareDelegate {
        std::vector<QString> calls;
        void audioHardwareDefaultInputDeviceDidChange() override { calls.push_back("input"); }
        void audioHardwareDefaultOutputDeviceDidChange() override { calls.push_back("output"); }
        void audioHardwareDefaultSystemOutputDeviceDidChange() override {
            calls.push_back("system output");
        }
    } delegate;
    const auto input = AuDevice::defaultInputDevice();
    const auto output = AuDevice::defaultOutputDevice();
    AuDevice::setHardwareDelegate(&delegate);
    hardware.unplugDevice(input->deviceID());
    hardware.unplugDevice(output->deviceID());
    AuDevice::setHardwareDelegate(nullptr);
    EXPECT_EQ(delegate.calls, (std::vector<QString>{"input", "output", "system output"}));
    EXPECT_EQ(AuDevice::defaultInputDevice(), nullptr);
    EXPECT_EQ(AuDevice::defaultOutputDevice(), nullptr);
}

TEST_F(AuDeviceTest, DefaultDevicesAndRelations) {
    install({device("Out", "out", 0, 2), device("In", "in", 2, 0)});
    EXPECT_EQ(AuDevice::defaultInputDevice()->deviceUID(), "in");
    EXPECT_EQ(AuDevice::defaultOutputDevice()->deviceUID(), "out");
    const auto groups = AuDevice::allDevicesByRelation();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].front()->deviceUID(), "in");
    EXPECT_EQ(AuDevice::devicesWithName("Out", 1).size(), 0u);
    EXPECT_EQ(AuDevice::devicesWithName("Out", 0).size(), 1u);
    EXPECT_TRUE(AuDevice::deviceWithID(12345)->deviceName().isNull());
}
