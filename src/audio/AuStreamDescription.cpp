#include "audio/AuStreamDescription.h"

#include "platform/ZuLocalized.h"

#include <cstring>

namespace {

constexpr uint32_t kCanonicalFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;

// The unit and flag words: a translation under "StreamDescription.<key>" when
// the string table has one, otherwise the key itself.
QString word(const char* key) {
    const QString qualified = QStringLiteral("StreamDescription.") + QLatin1String(key);
    return ZuLocalized::has(qualified) ? ZuLocalized::text(qualified) : QString::fromLatin1(key);
}

} // namespace

AuStreamDescription::AuStreamDescription() {
    myASBasicDescription.mFormatID = kAudioFormatLinearPCM;
}

AuStreamDescription::AuStreamDescription(const AuStreamBasicDescription& record)
    : myASBasicDescription(record) {}

AuStreamDescription AuStreamDescription::nativeStreamDescription() {
    AuStreamDescription d;
    d.setNativeFormat();
    return d;
}

AuStreamDescription& AuStreamDescription::setNativeFormat() {
    myASBasicDescription.mFormatID = kAudioFormatLinearPCM;
    myASBasicDescription.mFormatFlags = kCanonicalFlags;
    myASBasicDescription.mBitsPerChannel = 32;
    myASBasicDescription.mFramesPerPacket = 1;
    normalizeBytesForChannels();
    return *this;
}

void AuStreamDescription::normalizeBytesForChannels() {
    const uint32_t bytes = isInterleaved() ? 4 * myASBasicDescription.mChannelsPerFrame : 4;
    myASBasicDescription.mBytesPerPacket = bytes;
    myASBasicDescription.mBytesPerFrame = bytes;
}

bool AuStreamDescription::isLinearPCMFormat() const {
    return myASBasicDescription.mFormatID == kAudioFormatLinearPCM;
}

bool AuStreamDescription::isCanonicalFormat() const {
    const uint32_t flags = myASBasicDescription.mFormatFlags;
    return isLinearPCMFormat() &&
           (flags == kCanonicalFlags ||
            flags == (kCanonicalFlags | kAudioFormatFlagIsNonInterleaved)) &&
           myASBasicDescription.mBitsPerChannel == 32 && myASBasicDescription.mFramesPerPacket == 1;
}

bool AuStreamDescription::isNativeFormat() const {
    return isCanonicalFormat() && isInterleaved();
}

bool AuStreamDescription::isInterleaved() const {
    return !(myASBasicDescription.mFormatFlags & kAudioFormatFlagIsNonInterleaved);
}

AuStreamDescription& AuStreamDescription::setSampleRate(float rate) {
    myASBasicDescription.mSampleRate = double(rate);
    return *this;
}

AuStreamDescription& AuStreamDescription::setFormatID(uint32_t value) {
    myASBasicDescription.mFormatID = value;
    return *this;
}

AuStreamDescription& AuStreamDescription::setFormatFlags(uint32_t value) {
    myASBasicDescription.mFormatFlags = value;
    return *this;
}

AuStreamDescription& AuStreamDescription::setBytesPerPacket(uint32_t value) {
    myASBasicDescription.mBytesPerPacket = value;
    return *this;
}

AuStreamDescription& AuStreamDescription::setFramesPerPacket(uint32_t value) {
    myASBasicDescription.mFramesPerPacket = value;
    return *this;
}

AuStreamDescription& AuStreamDescription::setBytesPerFrame(uint32_t value) {
    myASBasicDescription.mBytesPerFrame = value;
    return *this;
}

AuStreamDescription& AuStreamDescription::setChannelsPerFrame(uint32_t value) {
    myASBasicDescription.mChannelsPerFrame = value;
    if (isCanonicalFormat())
        normalizeBytesForChannels();
    return *this;
}

AuStreamDescription& AuStreamDescription::setBitsPerChannel(uint32_t value) {
    myASBasicDescription.mBitsPerChannel = value;
    return *this;
}

AuStreamDescription& AuStreamDescription::setIsInterleaved(bool interleaved) {
    if (!isLinearPCMFormat())
        return *this;
    if (interleaved)
        myASBasicDescription.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
    else
        myASBasicDescription.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    if (isCanonicalFormat())
        normalizeBytesForChannels();
    return *this;
}

QString AuStreamDescription::description() const {
    const uint32_t id = myASBasicDescription.mFormatID;
    const char code[5] = {char(id >> 24), char(id >> 16), char(id >> 8), char(id), 0};
    QString suffix;
    const uint32_t flags = myASBasicDescription.mFormatFlags;
    if (isLinearPCMFormat() && flags != kCanonicalFlags) {
        const char* kind = (flags & kAudioFormatFlagIsFloat)           ? "floating-point"
                           : (flags & kAudioFormatFlagIsSignedInteger) ? "signed-integer"
                                                                       : "unsigned-integer";
        const char* order = (flags & kAudioFormatFlagIsBigEndian) ? "big-endian" : "little-endian";
        const char* packing = (flags & kAudioFormatFlagIsPacked)        ? "packed"
                              : (flags & kAudioFormatFlagIsAlignedHigh) ? "aligned-high"
                                                                        : "aligned-low";
        suffix = QStringLiteral(" %1 %2 %3").arg(word(kind), word(order), word(packing));
    }
    return QStringLiteral("%1%2-%3%4-%5%6-'%7'%8")
        .arg(myASBasicDescription.mChannelsPerFrame)
        .arg(word("ch"))
        .arg(myASBasicDescription.mSampleRate, 0, 'f', 2)
        .arg(word("hz"))
        .arg(myASBasicDescription.mBitsPerChannel)
        .arg(word("bit"))
        .arg(QString::fromLatin1(code))
        .arg(suffix);
}

bool AuStreamDescription::operator==(const AuStreamDescription& other) const {
    return std::memcmp(&myASBasicDescription, &other.myASBasicDescription,
                       sizeof(AuStreamBasicDescription)) == 0;
}
