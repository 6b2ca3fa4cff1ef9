#include "audio/AuProperties.h"

namespace AuProperties {

std::optional<QByteArray> bytes(const AuPropertyAddress& address, const QByteArray& qualifier) {
    QByteArray value;
    if (AuHardware::current().getProperty(address, value, qualifier) != kAuNoError)
        return std::nullopt;
    return value;
}

std::optional<QString> string(const AuPropertyAddress& address, const QByteArray& qualifier) {
    const auto raw = bytes(address, qualifier);
    if (!raw)
        return std::nullopt;
    return QString::fromUtf8(*raw);
}

AuStatus set(const AuPropertyAddress& address, const QByteArray& value) {
    return AuHardware::current().setProperty(address, value);
}

std::optional<bool> isWritable(const AuPropertyAddress& address) {
    uint32_t size = 0;
    bool writable = false;
    if (AuHardware::current().getPropertyInfo(address, &size, &writable) != kAuNoError)
        return std::nullopt;
    return writable;
}

AuPropertyAddress withProperty(AuPropertyAddress address, AuPropertyID property) {
    address.property = property;
    return address;
}

std::optional<QString> sourceName(const AuPropertyAddress& at, const SourceCodes& codes) {
    const auto id = value<uint32_t>(withProperty(at, codes.current));
    if (!id)
        return std::nullopt;
    return string(withProperty(at, codes.name), auPropertyBytes(*id));
}

std::optional<QStringList> sourceNames(const AuPropertyAddress& at, const SourceCodes& codes) {
    const auto ids = values<uint32_t>(withProperty(at, codes.list));
    if (!ids)
        return std::nullopt;
    QStringList names;
    for (uint32_t id : *ids)
        if (const auto name = string(withProperty(at, codes.name), auPropertyBytes(id)))
            names.append(*name);
    return names;
}

void setSource(const AuPropertyAddress& at, const SourceCodes& codes, const QString& name) {
    if (name.isNull())
        return;
    const auto ids = values<uint32_t>(withProperty(at, codes.list));
    if (!ids)
        return;
    for (uint32_t id : *ids) {
        const auto found = string(withProperty(at, codes.name), auPropertyBytes(id));
        if (found && *found == name)
            set(withProperty(at, codes.current), auPropertyBytes(id));
    }
}

AuVolumeInfo volumeInfo(const AuPropertyAddress& at) {
    AuVolumeInfo info;
    if (const auto writable = isWritable(withProperty(at, auFourCC("volm")))) {
        info.hasVolume = true;
        info.canSetVolume = *writable;
        info.theVolume = value<float>(withProperty(at, auFourCC("volm"))).value_or(0.0f);
    }
    if (const auto writable = isWritable(withProperty(at, auFourCC("mute")))) {
        info.canMute = *writable;
        if (const auto muted = value<uint32_t>(withProperty(at, auFourCC("mute"))))
            info.isMuted = *muted != 0;
    }
    if (const auto writable = isWritable(withProperty(at, auFourCC("thru")))) {
        info.canPlayThru = *writable;
        if (const auto thru = value<uint32_t>(withProperty(at, auFourCC("thru"))))
            info.playThruIsSet = *thru != 0;
    }
    return info;
}

} // namespace AuProperties
