#pragma once

#include "audio/AuVolumeInfo.h"
#include "platform/hal/AuHardware.h"

#include <QStringList>
#include <optional>

// Reading and writing properties of the current backend by type; every read
// says "nothing" when the backend cannot answer.
namespace AuProperties {

inline AuPropertyAddress device(AuObjectID id, uint32_t channel, uint32_t direction,
                                AuPropertyID property) {
    return {AuScope::Device, id, channel, direction, property};
}
inline AuPropertyAddress stream(AuObjectID id, uint32_t channel, AuPropertyID property) {
    return {AuScope::Stream, id, channel, 0, property};
}
inline AuPropertyAddress hardware(AuPropertyID property) {
    return {AuScope::Hardware, kAuHardwareObject, 0, 0, property};
}

std::optional<QByteArray> bytes(const AuPropertyAddress& address, const QByteArray& qualifier = {});

template <typename T>
std::optional<T> value(const AuPropertyAddress& address, const QByteArray& qualifier = {}) {
    const auto raw = bytes(address, qualifier);
    T result{};
    if (!raw || !auPropertyValue(*raw, result))
        return std::nullopt;
    return result;
}

template <typename T> std::optional<std::vector<T>> values(const AuPropertyAddress& address) {
    const auto raw = bytes(address);
    if (!raw)
        return std::nullopt;
    return auPropertyValues<T>(*raw);
}

std::optional<QString> string(const AuPropertyAddress& address, const QByteArray& qualifier = {});

AuStatus set(const AuPropertyAddress& address, const QByteArray& value);
// Nothing when the property cannot be inspected.
std::optional<bool> isWritable(const AuPropertyAddress& address);

// Sources of a kind: 'ssrc'/'ssc#'/'lscn' or 'csrc'/'csc#'/'lcsn'.
struct SourceCodes {
    AuPropertyID current;
    AuPropertyID list;
    AuPropertyID name;
};
inline constexpr SourceCodes dataSourceCodes{auFourCC("ssrc"), auFourCC("ssc#"), auFourCC("lscn")};
inline constexpr SourceCodes clockSourceCodes{auFourCC("csrc"), auFourCC("csc#"), auFourCC("lcsn")};

AuPropertyAddress withProperty(AuPropertyAddress address, AuPropertyID property);
std::optional<QString> sourceName(const AuPropertyAddress& at, const SourceCodes& codes);
std::optional<QStringList> sourceNames(const AuPropertyAddress& at, const SourceCodes& codes);
void setSource(const AuPropertyAddress& at, const SourceCodes& codes, const QString& name);

// Volume, mute and play-through of the channel the address names.
AuVolumeInfo volumeInfo(const AuPropertyAddress& at);

} // namespace AuProperties
