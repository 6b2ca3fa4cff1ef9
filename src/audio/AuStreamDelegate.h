#pragma once

#include <cstdint>

class AuStream;

// Receives a stream's property changes; every method does nothing unless
// overridden. Volume, mute and play-through changes fall back to the
// volume-info event when their own method is not overridden.
class AuStreamDelegate {
public:
    virtual ~AuStreamDelegate() = default;

    virtual void audioStreamStreamDescriptionDidChange(AuStream*, uint32_t /*side*/) {}
    virtual void audioStreamSourceDidChange(AuStream*) {}
    virtual void audioStreamClockSourceDidChange(AuStream*) {}
    virtual void audioStreamVolumeDidChange(AuStream* stream, uint32_t channel) {
        audioStreamVolumeInfoDidChange(stream, channel);
    }
    virtual void audioStreamMuteDidChange(AuStream* stream, uint32_t channel) {
        audioStreamVolumeInfoDidChange(stream, channel);
    }
    virtual void audioStreamPlayThruDidChange(AuStream* stream, uint32_t channel) {
        audioStreamVolumeInfoDidChange(stream, channel);
    }
    virtual void audioStreamVolumeInfoDidChange(AuStream*, uint32_t /*channel*/) {}
};
