#include "audio/AuDeviceListing.h"

#include "audio/AuDevice.h"
#include "platform/hal/AuHardware.h"

#include <QTextStream>
#include <cmath>

namespace {

QString rateText(double rate) {
    return QString::number(rate, 'f', rate == std::floor(rate) ? 0 : 2);
}

QString ratesText(const std::vector<std::array<double, 2>>& ranges) {
    QStringList parts;
    for (const auto& range : ranges)
        parts.append(range[0] == range[1]
                         ? rateText(range[0])
                         : rateText(range[0]) + QLatin1Char('-') + rateText(range[1]));
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", ")) + " Hz";
}

QString sourcesText(const QStringList& sources) {
    return sources.isEmpty() ? QStringLiteral("none") : sources.join(QStringLiteral(", "));
}

} // namespace

int auWriteDeviceListing(QTextStream& out) {
    const auto devices = AuDevice::allDevices();
    out << "Audio backend: " << AuHardware::current().backendName() << "\n";
    if (devices.empty()) {
        out << "No audio devices found.\n";
        out.flush();
        return 0;
    }
    for (const auto& device : devices) {
        out << device->deviceName() << "\n";
        out << "  UID: " << device->deviceUID() << "\n";
        out << "  Channels: " << device->channelsForDirection(kAuDirectionInput) << " in, "
            << device->channelsForDirection(kAuDirectionOutput) << " out\n";
        out << "  Nominal rate: " << rateText(device->nominalSampleRate()) << " Hz\n";
        out << "  Rates: " << ratesText(device->nominalSampleRates()) << "\n";
        out << "  Buffer size: " << device->deviceBufferSizeInFrames() << " frames ("
            << device->deviceMinBufferSizeInFrames() << "-" << device->deviceMaxBufferSizeInFrames()
            << ")\n";
        out << "  Input sources: "
            << sourcesText(device->dataSourcesForDirection(kAuDirectionInput)) << "\n";
        out << "  Output sources: "
            << sourcesText(device->dataSourcesForDirection(kAuDirectionOutput)) << "\n";
    }
    out.flush();
    return int(devices.size());
}
