#pragma once

#include "platform/hal/virtual/AuVirtualHardware.h"

#include <functional>
#include <gtest/gtest.h>

// Virtual hardware whose changes a test can raise by hand, which can run a
// test's step before it answers a property read (a device going between two
// reads), and whose devices can refuse to open (settings the device turns
// down only when it starts).
class AuTestHardware : public AuVirtualHardware {
public:
    using AuVirtualHardware::AuVirtualHardware;
    void raise(const AuPropertyAddress& change) { propertyChanged(change); }

    AuStatus getProperty(const AuPropertyAddress& address, QByteArray& value,
                         const QByteArray& qualifier) override {
        if (beforeRead)
            beforeRead(address);
        return AuVirtualHardware::getProperty(address, value, qualifier);
    }
    // Set before the devices run: the IO threads read properties too.
    std::function<void(const AuPropertyAddress&)> beforeRead;
    // True refuses to open a device's IO with those settings.
    std::function<bool(const AuHalDeviceInfo&)> refuseOpen;

protected:
    AuStatus openIO(const IOSetup& setup) override {
        if (refuseOpen && refuseOpen(setup.info))
            return kAuErrorCannotStart;
        return AuVirtualHardware::openIO(setup);
    }
};

// Installs a backend of the test's own for the test's duration.
class AuHardwareFixture : public ::testing::Test {
protected:
    AuTestHardware& install(const std::vector<AuVirtualDeviceConfig>& configs,
                            AuVirtualHardware::Pacing pacing = AuVirtualHardware::Pacing::Stepped) {
        auto hardware = std::make_unique<AuTestHardware>(configs, pacing);
        AuTestHardware& ref = *hardware;
        previous.push_back(AuHardware::install(std::move(hardware)));
        return ref;
    }
    void TearDown() override { AuHardware::install(nullptr); }

    static AuVirtualDeviceConfig device(const QString& name, const QString& uid,
                                        uint32_t inputs = 2, uint32_t outputs = 2) {
        return AuVirtualDeviceConfig::standard(name, uid, inputs, outputs);
    }

private:
    std::vector<std::unique_ptr<AuHardware>> previous;
};
