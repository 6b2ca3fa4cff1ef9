#include "audio/AuStream.h"

#include "audio/AuDevice.h"
#include "audio/AuDeviceDelegate.h"
#include "audio/AuProperties.h"
#include "platform/ZuNotificationCenter.h"

#include <cstdio>

namespace {

void streamPropertyListener(const AuPropertyAddress& change, void*) {
    ZuNotificationCenter::defaultCenter().post(AuStreamNotification, {},
                                               {{AuStreamIDKey, change.object},
                                                {AuChannelKey, change.channel},
                                                {AuPropertyIDKey, change.property}});
}

// Sides: 1 is the physical format, any other the one the IO callback sees.
AuPropertyID formatCode(uint32_t side, AuPropertyID physical, AuPropertyID ioFormat) {
    return side == 1 ? physical : ioFormat;
}

} // namespace

AuStream::AuStream(AuObjectID streamID, AuDevice* owningDevice)
    : myStream(streamID), parentAudioDevice(owningDevice) {
    ZuNotificationCenter::defaultCenter().addObserver(
        AuStreamNotification, this,
        [this](const ZuNotification& n) { _dispatchStreamNotification(n); });
    AuHardware::current().addPropertyListener(
        AuProperties::stream(streamID, kAuChannelWildcard, kAuPropertyWildcard),
        streamPropertyListener, nullptr);
}

AuStream::~AuStream() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

uint32_t AuStream::direction() const {
    const auto value =
        AuProperties::value<uint32_t>(AuProperties::stream(myStream, 0, auFourCC("sdir")));
    return value && *value == 1 ? 1 : 0;
}

QString AuStream::streamName() const {
    return AuProperties::string(AuProperties::stream(myStream, 0, auFourCC("lnam")))
        .value_or(QString());
}

QString AuStream::description() const {
    return QStringLiteral("<AuStream: %1 %2 id %3> %4")
        .arg(QStringLiteral("0x%1").arg(quintptr(this), 0, 16),
             direction() == 1 ? QStringLiteral("Record") : QStringLiteral("Playback"))
        .arg(myStream)
        .arg(streamName());
}

uint32_t AuStream::deviceStartingChannel() const {
    return AuProperties::value<uint32_t>(AuProperties::stream(myStream, 0, auFourCC("schn")))
        .value_or(0);
}

uint32_t AuStream::numberChannels() const {
    const auto format = streamDescriptionForSide(0);
    return format ? format->channelsPerFrame() : 0;
}

QString AuStream::dataSource() const {
    return AuProperties::sourceName(AuProperties::stream(myStream, 0, 0),
                                    AuProperties::dataSourceCodes)
        .value_or(QString());
}

QStringList AuStream::dataSources() const {
    return AuProperties::sourceNames(AuProperties::stream(myStream, 0, 0),
                                     AuProperties::dataSourceCodes)
        .value_or(QStringList());
}

bool AuStream::canSetDataSource() const {
    return AuProperties::isWritable(AuProperties::stream(myStream, 0, auFourCC("ssrc")))
        .value_or(false);
}

void AuStream::setDataSource(const QString& name) {
    AuProperties::setSource(AuProperties::stream(myStream, 0, 0), AuProperties::dataSourceCodes,
                            name);
}

QString AuStream::clockSource() const {
    return AuProperties::sourceName(AuProperties::stream(myStream, 0, 0),
                                    AuProperties::clockSourceCodes)
        .value_or(QString());
}

std::optional<QStringList> AuStream::clockSources() const {
    return AuProperties::sourceNames(AuProperties::stream(myStream, 0, 0),
                                     AuProperties::clockSourceCodes);
}

void AuStream::setClockSource(const QString& name) {
    AuProperties::setSource(AuProperties::stream(myStream, 0, 0), AuProperties::clockSourceCodes,
                            name);
}

std::optional<AuStreamDescription> AuStream::streamDescriptionForSide(uint32_t side) const {
    const auto record = AuProperties::value<AuStreamBasicDescription>(
        AuProperties::stream(myStream, 0, formatCode(side, auFourCC("pft "), auFourCC("sfmt"))));
    if (!record)
        return std::nullopt;
    return AuStreamDescription(*record);
}

std::vector<AuStreamDescription> AuStream::streamDescriptionsForSide(uint32_t side) const {
    std::vector<AuStreamDescription> list;
    const auto records = AuProperties::values<AuStreamBasicDescription>(
        AuProperties::stream(myStream, 0, formatCode(side, auFourCC("pft#"), auFourCC("sfm#"))));
    for (const AuStreamBasicDescription& record :
         records.value_or(std::vector<AuStreamBasicDescription>{}))
        list.emplace_back(record);
    return list;
}

bool AuStream::setStreamDescription(const AuStreamDescription& description, uint32_t side) {
    const AuStatus status = AuProperties::set(
        AuProperties::stream(myStream, 0, formatCode(side, auFourCC("pft "), auFourCC("sfmt"))),
        auPropertyBytes(description.audioStreamBasicDescription()));
    if (status == kAuNoError)
        return true;
    const char code[5] = {char(uint32_t(status) >> 24), char(uint32_t(status) >> 16),
                          char(uint32_t(status) >> 8), char(status), 0};
    std::printf("AuStream setStreamDescription:forSide: failed, got %4.4s\n", code);
    std::fflush(stdout);
    return false;
}

std::optional<AuStreamDescription>
AuStream::matchStreamDescription(const AuStreamDescription& description, uint32_t side) const {
    const auto record = AuProperties::value<AuStreamBasicDescription>(
        AuProperties::stream(myStream, 0, formatCode(side, auFourCC("pftm"), auFourCC("sfmm"))),
        auPropertyBytes(description.audioStreamBasicDescription()));
    if (!record)
        return std::nullopt;
    return AuStreamDescription(*record);
}

float AuStream::volumeForChannel(uint32_t channel) const {
    return AuProperties::value<float>(AuProperties::stream(myStream, channel, auFourCC("volm")))
        .value_or(0.0f);
}

float AuStream::volumeInDecibelsForChannel(uint32_t channel) const {
    return AuProperties::value<float>(AuProperties::stream(myStream, channel, auFourCC("vold")))
        .value_or(0.0f);
}

void AuStream::setVolume(float volume, uint32_t channel) {
    AuProperties::set(AuProperties::stream(myStream, channel, auFourCC("volm")),
                      auPropertyBytes(volume));
}

void AuStream::setVolumeDecibels(float decibels, uint32_t channel) {
    AuProperties::set(AuProperties::stream(myStream, channel, auFourCC("vold")),
                      auPropertyBytes(decibels));
}

float AuStream::volumeInDecibelsForVolume(float volume, uint32_t channel) const {
    return AuProperties::value<float>(AuProperties::stream(myStream, channel, auFourCC("v2db")),
                                      auPropertyBytes(volume))
        .value_or(0.0f);
}

float AuStream::volumeForVolumeInDecibels(float decibels, uint32_t channel) const {
    return AuProperties::value<float>(AuProperties::stream(myStream, channel, auFourCC("db2v")),
                                      auPropertyBytes(decibels))
        .value_or(0.0f);
}

void AuStream::setMute(bool mute, uint32_t channel) {
    AuProperties::set(AuProperties::stream(myStream, channel, auFourCC("mute")),
                      auPropertyBytes(uint32_t(mute ? 1 : 0)));
}

void AuStream::setPlayThru(bool playThru, uint32_t channel) {
    AuProperties::set(AuProperties::stream(myStream, channel, auFourCC("thru")),
                      auPropertyBytes(uint32_t(playThru ? 1 : 0)));
}

AuVolumeInfo AuStream::volumeInfoForChannel(uint32_t channel) const {
    return AuProperties::volumeInfo(AuProperties::stream(myStream, channel, 0));
}

void AuStream::_dispatchStreamNotification(const ZuNotification& notification) {
    AuStreamDelegate* target = myDelegate;
    if (!target)
        target = parentAudioDevice->delegate();
    if (!target || notification.userInfo.value(AuStreamIDKey).toUInt() != myStream)
        return;
    const uint32_t channel = notification.userInfo.value(AuChannelKey).toUInt();
    const uint32_t property = notification.userInfo.value(AuPropertyIDKey).toUInt();
    switch (property) {
    case auFourCC("sfmt"):
        target->audioStreamStreamDescriptionDidChange(this, 0);
        break;
    case auFourCC("pft "):
        target->audioStreamStreamDescriptionDidChange(this, 1);
        break;
    case auFourCC("ssrc"):
        target->audioStreamSourceDidChange(this);
        break;
    case auFourCC("csrc"):
        target->audioStreamClockSourceDidChange(this);
        break;
    case auFourCC("volm"):
        target->audioStreamVolumeDidChange(this, channel);
        break;
    case auFourCC("mute"):
        target->audioStreamMuteDidChange(this, channel);
        break;
    case auFourCC("thru"):
        target->audioStreamPlayThruDidChange(this, channel);
        break;
    default:
        break;
    }
}
