#pragma once

#include "platform/hal/AuStreamBasicDescription.h"

#include <QString>

// A value around the platform's stream record, with the layer's canonical
// format (32-bit float, packed, one frame a packet, interleaved or not) and
// its native one (canonical and interleaved). Setters return the description
// so that calls chain.
class AuStreamDescription {
public:
    // Linear PCM with every other field zero.
    AuStreamDescription();
    explicit AuStreamDescription(const AuStreamBasicDescription& record);

    static AuStreamDescription streamDescription() { return AuStreamDescription(); }
    static AuStreamDescription nativeStreamDescription();
    static AuStreamDescription
    streamDescriptionWithAudioStreamBasicDescription(const AuStreamBasicDescription& record) {
        return AuStreamDescription(record);
    }

    const AuStreamBasicDescription& audioStreamBasicDescription() const {
        return myASBasicDescription;
    }

    AuStreamDescription& setNativeFormat();

    bool isLinearPCMFormat() const;
    bool isCanonicalFormat() const;
    bool isNativeFormat() const;
    bool isInterleaved() const;

    float sampleRate() const { return float(myASBasicDescription.mSampleRate); }
    uint32_t formatID() const { return myASBasicDescription.mFormatID; }
    uint32_t formatFlags() const { return myASBasicDescription.mFormatFlags; }
    uint32_t bytesPerPacket() const { return myASBasicDescription.mBytesPerPacket; }
    uint32_t framesPerPacket() const { return myASBasicDescription.mFramesPerPacket; }
    uint32_t bytesPerFrame() const { return myASBasicDescription.mBytesPerFrame; }
    uint32_t channelsPerFrame() const { return myASBasicDescription.mChannelsPerFrame; }
    uint32_t bitsPerChannel() const { return myASBasicDescription.mBitsPerChannel; }

    AuStreamDescription& setSampleRate(float rate);
    AuStreamDescription& setFormatID(uint32_t value);
    AuStreamDescription& setFormatFlags(uint32_t value);
    AuStreamDescription& setBytesPerPacket(uint32_t value);
    AuStreamDescription& setFramesPerPacket(uint32_t value);
    AuStreamDescription& setBytesPerFrame(uint32_t value);
    // Keeps the byte counts right for a canonical format.
    AuStreamDescription& setChannelsPerFrame(uint32_t value);
    AuStreamDescription& setBitsPerChannel(uint32_t value);
    // Linear PCM only; keeps the byte counts right for a canonical format.
    AuStreamDescription& setIsInterleaved(bool interleaved);

    // "2ch-44100.00hz-32bit-'lpcm'", with the words of the flags after it
    // when they differ from the native ones.
    QString description() const;

    bool operator==(const AuStreamDescription& other) const;

private:
    void normalizeBytesForChannels();

    AuStreamBasicDescription myASBasicDescription;
};
