#pragma once

#include "audio/AuStreamDescription.h"
#include "audio/AuVolumeInfo.h"
#include "platform/hal/AuHardwareTypes.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class AuDevice;
class AuStreamDelegate;
struct ZuNotification;

// User-info keys of "_AuStreamNotification".
inline const QString AuStreamNotification = QStringLiteral("_AuStreamNotification");
inline const QString AuStreamIDKey = QStringLiteral("StreamID");

// One stream of a device: its formats on side 0 (what the IO callback sees)
// and side 1 (the physical format), sources, controls, and its property
// changes passed on to a delegate (its own, else its device's).
class AuStream {
public:
    AuStream(AuObjectID streamID, AuDevice* owningDevice);
    virtual ~AuStream();
    AuStream(const AuStream&) = delete;
    AuStream& operator=(const AuStream&) = delete;

    AuObjectID streamID() const { return myStream; }
    AuDevice* owningDevice() const { return parentAudioDevice; }
    AuStreamDelegate* delegate() const { return myDelegate; }
    void setDelegate(AuStreamDelegate* delegate) { myDelegate = delegate; }

    uint32_t direction() const;
    QString streamName() const;
    QString description() const;
    uint32_t deviceStartingChannel() const;
    uint32_t numberChannels() const;

    QString dataSource() const;
    QStringList dataSources() const;
    bool canSetDataSource() const;
    void setDataSource(const QString& name);

    QString clockSource() const;
    // Nothing when the list cannot be read.
    std::optional<QStringList> clockSources() const;
    void setClockSource(const QString& name);

    std::optional<AuStreamDescription> streamDescriptionForSide(uint32_t side) const;
    std::vector<AuStreamDescription> streamDescriptionsForSide(uint32_t side) const;
    bool setStreamDescription(const AuStreamDescription& description, uint32_t side);
    std::optional<AuStreamDescription>
    matchStreamDescription(const AuStreamDescription& description, uint32_t side) const;

    float volumeForChannel(uint32_t channel) const;
    float volumeInDecibelsForChannel(uint32_t channel) const;
    void setVolume(float volume, uint32_t channel);
    void setVolumeDecibels(float decibels, uint32_t channel);
    float volumeInDecibelsForVolume(float volume, uint32_t channel) const;
    float volumeForVolumeInDecibels(float decibels, uint32_t channel) const;
    void setMute(bool mute, uint32_t channel);
    void setPlayThru(bool playThru, uint32_t channel);
    AuVolumeInfo volumeInfoForChannel(uint32_t channel) const;

private:
    void _dispatchStreamNotification(const ZuNotification& notification);

    AuObjectID myStream;
    AuStreamDelegate* myDelegate = nullptr;
    AuDevice* parentAudioDevice;
};
