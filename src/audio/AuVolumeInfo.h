#pragma once

// The volume, mute and play-through state of one channel.
struct AuVolumeInfo {
    bool hasVolume = false;
    bool canSetVolume = false;
    float theVolume = 0.0f;
    bool canMute = false;
    bool isMuted = false;
    bool canPlayThru = false;
    bool playThruIsSet = false;
};
