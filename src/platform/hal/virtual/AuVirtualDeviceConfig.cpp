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
