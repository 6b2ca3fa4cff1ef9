#include "platform/hal/virtual/AuVirtualDeviceConfig.h"

AuVirtualDeviceConfig AuVirtualDeviceConfig::standard(const QString& name, const QString& uid,
                                                      uint32_t inputChannels,
                                                      uint32_t outputChannels) {
    AuVirtualDeviceConfig config;
    config.info.name = name;
    config.info.uid = uid;
    config.info.manufacturer = QStringLiteral("Nightwarden");
    config.info.channels = {outputChannels, inputChannels};
    config.info.sampleRates = {{44100, 44100}, {48000, 48000}};
    config.info.nominalSampleRate = 44100;
    config.info.bufferFrameRange = {64, 4096};
    config.info.bufferFrames = 512;
    config.info.latencyFrames = {64, 64};
    config.info.safetyOffsetFrames = {32, 32};
    return config;
}

std::optional<AuVirtualDeviceConfig> AuVirtualDeviceConfig::outputToFile(const QString& text,
                                                                         QString* error) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    bool ok = false;
    const double rate = colon > 0 ? text.left(colon).toDouble(&ok) : 0.0;
    const QString path = colon > 0 ? text.mid(colon + 1) : QString();
    if (!ok || !(rate >= 8000 && rate <= 384000) || path.isEmpty()) {
        if (error)
            *error =
                QStringLiteral("\"%1\" is not HZ:PATH with a rate from 8000 to 384000").arg(text);
        return std::nullopt;
    }
    AuVirtualDeviceConfig config = standard(QStringLiteral("Nightwarden Virtual Output"),
                                            QStringLiteral("nightwarden-virtual-output"), 0, 2);
    config.info.sampleRates = {{rate, rate}};
    config.info.nominalSampleRate = rate;
    config.outputFile = path;
    return config;
}
