#pragma once

#include "audio/AuStream.h"
#include "audio/AuStreamDescription.h"
#include "audio/AuVolumeInfo.h"
#include "platform/hal/AuHardwareTypes.h"

#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AuDeviceDelegate;
class AuHardwareDelegate;
struct ZuNotification;

// Notification names and user-info keys of the device layer.
inline const QString AuDeviceNotification = QStringLiteral("_AuDeviceNotification");
inline const QString AuDeviceIDKey = QStringLiteral("DeviceID");
inline const QString AuChannelKey = QStringLiteral("Channel");
inline const QString AuDirectionKey = QStringLiteral("Direction");
inline const QString AuPropertyIDKey = QStringLiteral("PropertyID");
inline const QString AuHardwareDefaultInputDeviceDidChangeNotification =
    QStringLiteral("AuHardwareDefaultInputDeviceDidChangeNotification");
inline const QString AuHardwareDefaultOutputDeviceDidChangeNotification =
    QStringLiteral("AuHardwareDefaultOutputDeviceDidChangeNotification");
inline const QString AuHardwareDefaultSystemOutputDeviceDidChangeNotification =
    QStringLiteral("AuHardwareDefaultSystemOutputDeviceDidChangeNotification");
inline const QString AuHardwareDeviceListDidChangeNotification =
    QStringLiteral("AuHardwareDeviceListDidChangeNotification");

// One audio device of the current backend: its properties, streams, formats
// and rates, and one IO client (a plain IO function or a target object's
// method) that it starts and stops through the device's multiplexer. Getters
// never fail: an unreadable property gives 0, false, nothing or an empty list.
class AuDevice {
public:
    // The IO client as a callable: (device, now, input, input time, output,
    // output time, client data).
    using IOInvocation =
        std::function<AuStatus(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                               const AuTimeStamp*, AuBufferList*, const AuTimeStamp*, void*)>;

    explicit AuDevice(AuObjectID deviceID);
    virtual ~AuDevice();
    AuDevice(const AuDevice&) = delete;
    AuDevice& operator=(const AuDevice&) = delete;

    // Finding devices.
    static std::vector<std::unique_ptr<AuDevice>> allDevices();
    static std::vector<std::vector<std::unique_ptr<AuDevice>>> allDevicesByRelation();
    static std::vector<std::unique_ptr<AuDevice>> devicesWithName(const QString& name,
                                                                  uint32_t direction);
    static std::unique_ptr<AuDevice> deviceWithID(AuObjectID deviceID);
    static std::unique_ptr<AuDevice> deviceWithUID(const QString& uid);
    static std::unique_ptr<AuDevice> defaultInputDevice();
    static std::unique_ptr<AuDevice> defaultOutputDevice();
    static std::unique_ptr<AuDevice> defaultSystemOutputDevice();
    static void setHardwareDelegate(AuHardwareDelegate* delegate);
    static AuHardwareDelegate* hardwareDelegate();
    static void attachNotificationsToThisThread();

    // Identity. _compare orders by name, then UID; a device missing the one
    // that decides (unreadable or empty) sorts after the other.
    bool _compare(const AuDevice& other) const;
    std::unique_ptr<AuDevice> clone() const;
    bool isEqual(const AuDevice& other) const { return other.deviceID() == myDevice; }
    uint32_t hash() const { return myDevice; }
    AuObjectID deviceID() const { return myDevice; }
    QString deviceName() const;
    QString deviceUID() const;
    QString deviceManufacturer() const;
    QString description() const;
    std::vector<std::unique_ptr<AuDevice>> relatedDevices() const;

    // Delegate: with one set, property changes of this device reach it.
    void setDelegate(AuDeviceDelegate* delegate);
    AuDeviceDelegate* delegate() const { return myDelegate; }

    // Streams, cached per direction; null when the list cannot be read.
    const std::vector<std::unique_ptr<AuStream>>* streamsForDirection(uint32_t direction);

    // Sources.
    QString dataSourceForDirection(uint32_t direction) const;
    QStringList dataSourcesForDirection(uint32_t direction) const;
    bool canSetDataSourceForDirection(uint32_t direction) const;
    void setDataSource(const QString& name, uint32_t direction);
    QString dataSourceForChannel(uint32_t channel, uint32_t direction) const;
    QStringList dataSourcesForChannel(uint32_t channel, uint32_t direction) const;
    void setDataSource(const QString& name, uint32_t channel, uint32_t direction);
    QString clockSourceForChannel(uint32_t channel, uint32_t direction) const;
    std::optional<QStringList> clockSourcesForChannel(uint32_t channel, uint32_t direction) const;
    void setClockSource(const QString& name, uint32_t channel, uint32_t direction);

    // Buffer size and timing.
    uint32_t deviceBufferSizeInFrames() const;
    void setDeviceBufferSizeInFrames(uint32_t frames);
    uint32_t deviceMaxVariableBufferSizeInFrames() const;
    uint32_t deviceMinBufferSizeInFrames() const;
    uint32_t deviceMaxBufferSizeInFrames() const;
    uint32_t deviceLatencyFramesForDirection(uint32_t direction) const;
    uint32_t deviceSafetyOffsetFramesForDirection(uint32_t direction) const;

    // Channels.
    std::vector<uint32_t> channelsByStreamForDirection(uint32_t direction) const;
    uint32_t channelsForDirection(uint32_t direction) const;

    // Volume, mute and play-through.
    float volumeForChannel(uint32_t channel, uint32_t direction) const;
    float volumeInDecibelsForChannel(uint32_t channel, uint32_t direction) const;
    void setVolume(float volume, uint32_t channel, uint32_t direction);
    void setVolumeDecibels(float decibels, uint32_t channel, uint32_t direction);
    float volumeInDecibelsForVolume(float volume, uint32_t channel, uint32_t direction) const;
    float volumeForVolumeInDecibels(float decibels, uint32_t channel, uint32_t direction) const;
    void setMute(bool mute, uint32_t channel, uint32_t direction);
    void setPlayThru(bool playThru, uint32_t channel);
    void setPlayThru(bool playThru, uint32_t channel, uint32_t direction);
    AuVolumeInfo volumeInfoForChannel(uint32_t channel, uint32_t direction) const;

    // Formats and sample rates.
    std::optional<AuStreamDescription> streamDescriptionForChannel(uint32_t channel,
                                                                   uint32_t direction) const;
    std::vector<AuStreamDescription> streamDescriptionsForChannel(uint32_t channel,
                                                                  uint32_t direction) const;
    bool setStreamDescription(const AuStreamDescription& description, uint32_t channel,
                              uint32_t direction);
    std::optional<AuStreamDescription>
    matchStreamDescription(const AuStreamDescription& description, uint32_t channel,
                           uint32_t direction) const;
    double nominalSampleRate() const;
    // Each range as [minimum, maximum].
    std::vector<std::array<double, 2>> nominalSampleRates() const;
    bool supportsNominalSampleRate(double rate) const;
    bool setNominalSampleRate(double rate);
    double actualSampleRate() const;

    // The IO client. Setting or removing one always leaves the device stopped.
    void setIOProc(AuDeviceIOProc proc, void* clientData);
    template <typename T>
    void setIOTarget(T* target,
                     AuStatus (T::*selector)(AuDevice*, const AuTimeStamp*, const AuBufferList*,
                                             const AuTimeStamp*, AuBufferList*, const AuTimeStamp*,
                                             void*),
                     void* clientData) {
        setIOInvocation(
            [target, selector](AuDevice* device, const AuTimeStamp* now, const AuBufferList* in,
                               const AuTimeStamp* inTime, AuBufferList* out,
                               const AuTimeStamp* outTime, void* data) {
                return (target->*selector)(device, now, in, inTime, out, outTime, data);
            },
            clientData);
    }
    void removeIOProc();
    void removeIOTarget() { removeIOProc(); }
    bool deviceStart();
    void deviceStop();
    bool isDeviceStarted() const { return deviceIOStarted; }
    // Pausing skips the client but keeps the device running. Once a pause
    // returns, no IO call of this device is in progress.
    void setDevicePaused(bool paused);
    bool isDevicePaused() const { return isPaused.load(std::memory_order_acquire); }
    // What this device's IO client uses: the directions as bits
    // (1 << direction) and the latency in frames it can bear (0 when it only
    // records and any latency will do). The hardware runs with what its
    // unpaused clients use together, and not at all while all are paused.
    void setIOUsage(uint32_t directions, uint32_t latencyFrames);
    uint32_t ioDirections() const { return usedDirections; }
    uint32_t ioLatencyFrames() const { return usedLatencyFrames; }

    // Called by the multiplexer; dispatchIOProc runs on the IO thread.
    void dispatchIOProc(const AuTimeStamp* now, const AuBufferList* inputData,
                        const AuTimeStamp* inputTime, AuBufferList* outputData,
                        const AuTimeStamp* outputTime);
    void dispatchIOStartDidFailForReason(AuStatus reason);
    // Sequentially consistent with the multiplexer's cycle counter: a pause
    // that sees no cycle running is seen by every later cycle.
    void doSetPause(bool paused) { isPaused.store(paused); }

protected:
    // The stream objects this device makes; subclasses may make others.
    virtual std::unique_ptr<AuStream> makeStream(AuObjectID streamID);

private:
    void setIOInvocation(IOInvocation invocation, void* clientData);
    void _dispatchDeviceNotification(const ZuNotification& notification);
    static std::unique_ptr<AuDevice> _defaultDevice(AuPropertyID property);
    struct SortKeys {
        QString name;
        QString uid;
    };
    static void sortDevices(std::vector<std::unique_ptr<AuDevice>>& devices);
    SortKeys sortKeys() const;
    // The order of _compare on keys read beforehand.
    static bool sortsBefore(const SortKeys& a, const SortKeys& b);

    AuObjectID myDevice;
    AuDeviceDelegate* myDelegate = nullptr;
    AuDeviceIOProc myIOProc = nullptr;
    bool deviceIOStarted = false;
    std::array<std::vector<std::unique_ptr<AuStream>>, 2> myStreams;
    std::array<std::atomic<bool>, 2> streamsDirty{true, true};
    void* myIOProcClientData = nullptr;
    IOInvocation myIOInvocation;
    std::atomic<bool> isPaused{false};
    uint32_t usedDirections = 3;
    uint32_t usedLatencyFrames = 0;
};
