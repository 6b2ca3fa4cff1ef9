#pragma once

#include "platform/hal/AuHardwareTypes.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class AuAudioBuffer;
class AuConversionBuffer;
class AuDevice;
class ZuLevelDeviceClient;
class ZuPlayDeviceClient;
class ZuRecordDeviceClient;

// The device roles (record, level, play, monitor) and their sources. Turns the
// user's source numbers into configured devices, hands them to their clients
// (recorder, level meter, player), and owns the buffers of the record and
// monitor paths.
//
// Every operation runs on the main thread. The record and monitor callbacks
// read recordBuffer, convertBuffer and monitorConverter through the accessors.
// The record device is stopped before its buffers are replaced; the monitor
// converter is replaced while the record device runs, so a replaced one is
// freed only once neither callback can still hold it.
class ZuDevice {
public:
    static void initialize();

    ZuDevice();
    ~ZuDevice();
    ZuDevice(const ZuDevice&) = delete;
    ZuDevice& operator=(const ZuDevice&) = delete;

    // The components that receive the devices; set once before awakeFromNib.
    // A role whose client is missing gets a device without an IO target.
    void setClients(ZuRecordDeviceClient* recorder, ZuLevelDeviceClient* meter,
                    ZuPlayDeviceClient* player);

    void awakeFromNib();
    // Stops and releases the role devices: no IO callback runs afterwards.
    void releaseDevices();
    // The source setters store their own keys; nothing is left to save here.
    void saveUserDefaults() {}

    // Role set-up.
    void initRecordDevice();
    void initPlayDevice();
    void initMonitorDevice();
    void renewRecordSource();
    void renewPlaySource();
    void renewMonitorSource();
    void newMonitorConverter();
    // Starts the record device, then the level device.
    void recordDeviceStart();
    int32_t checkRecordSource(int32_t number) const;
    int32_t checkPlaySource(int32_t number) const;

    // Installing the clients as IO targets and delegates.
    void setRecordIOTargetWithDevice(AuDevice* device);
    void setMonitorIOTargetWithDevice(AuDevice* device);
    void setLevelIOTargetWithDevice(AuDevice* device);
    void setPlayIOTargetWithDevice(AuDevice* device);

    // Source setters: change* saves the number, set* applies it.
    void changeRecordSource(int32_t number);
    void setRecordSource(int32_t number);
    void changePlaySource(int32_t number);
    void setPlaySource(int32_t number);
    void changeMonitorSource(int32_t number);
    void setMonitorSource(int32_t number);
    void setUseHighQuality(bool flag);
    int32_t recordSource() const { return recordSourceNumber; }
    int32_t playSource() const { return playSourceNumber; }
    int32_t monitorSource() const { return monitorSourceNumber; }
    bool useHighQuality() const { return highQuality; }

    // Pausing.
    void playDevicePause(bool flag);
    void monitorDevicePaused(bool flag);

    // Names and queries.
    static QStringList representRecordName(const QStringList& names);
    static QStringList representPlayName(const QStringList& names);
    static QString convertJapanRecordSourceName(const QString& name);
    static QString convertJapanPlaySourceName(const QString& name);
    static bool isRecordableDevice(const AuDevice& device);
    static bool isPlayableDevice(const AuDevice& device);
    QStringList usableRecordSourceNames() const;
    QStringList usablePlaySourceNames() const;
    QStringList usableJapanRecordSourceNames() const;
    QStringList usableJapanPlaySourceNames() const;
    int32_t recordSourceCount() const;
    int32_t playSourceCount() const;
    // Empty when the number is out of range.
    QString sourceNameOfRecordSource(int32_t number) const;
    QString sourceNameOfPlaySource(int32_t number) const;
    QString japanSourceNameOfRecordSource(int32_t number) const;
    // Index in AuDevice::allDevices of the device giving that entry; 0 when out of range.
    int32_t deviceNumberOfRecordSource(int32_t number) const;
    int32_t deviceNumberOfPlaySource(int32_t number) const;
    // Nothing when there is no such device.
    std::unique_ptr<AuDevice> recordDeviceWithSource(int32_t number) const;
    QString presentRecordSourceName() const;
    QString presentJapanRecordSourceName() const;
    bool isPresentInternalRecord() const;
    bool isPresentExternalRecord() const;
    bool isPresentDigitalRecord() const;
    bool isPresentInternalPlay() const;
    bool isPresentInternalMonitor() const;

    // Rates and sizes.
    double sampleRateOfDevice(const AuDevice& device) const;
    static double sampleRateWithNominal(double rate, int32_t quality);
    double recordSampleRateWithSource(int32_t number) const;
    double recordSampleRateWithSource(int32_t number, int32_t quality) const;
    static int32_t bufferSizeOfDevice(const AuDevice& device);
    static int32_t channelsOfRecordDevice(const AuDevice& device);
    static int32_t channelsOfPlayDevice(const AuDevice& device);

    // The roles. Null while a role has no device.
    AuDevice* recordDevice() const { return recordDeviceObject.get(); }
    AuDevice* levelDevice() const { return levelDeviceObject.get(); }
    AuDevice* playDevice() const { return playDeviceObject.get(); }
    AuDevice* monitorDevice() const { return monitorDeviceObject.get(); }

    // The record path: ring of recordBufferSize frames × recordChannels, and an
    // interleaved stereo list of recordBufferSize frames.
    AuAudioBuffer* recordBuffer() const { return recordRing.get(); }
    AuBufferList* convertBuffer() const { return convertList.get(); }
    double recordSampleRate() const { return recordRate; }
    int32_t recordBufferSize() const { return recordFrames; }
    int32_t recordChannels() const { return recordChannelCount; }

    // The play role.
    double playSampleRate() const { return playRate; }
    int32_t playBufferSize() const { return playFrames; }
    int32_t playChannels() const { return playChannelCount; }

    // The monitor role. The converter may be read on the record and monitor
    // IO threads while their callbacks run.
    AuConversionBuffer* monitorConverter() const {
        return monitorConverterPointer.load(std::memory_order_seq_cst);
    }
    AuAudioBuffer* monitorBuffer() const { return monitorRing.get(); }
    AuBufferList* monitorConvertBuffer() const { return monitorConvertList.get(); }
    double monitorSampleRate() const { return monitorRate; }
    int32_t monitorBufferSize() const { return monitorFrames; }
    int32_t monitorChannels() const { return monitorChannelCount; }

    // Alerts.
    void noRecordDeviceAlert();
    void noPlayDeviceAlert();
    // Set when no record source existed at start-up.
    bool awakeError() const { return startError; }

private:
    struct BufferListDisposer {
        void operator()(AuBufferList* list) const;
    };
    using BufferListPointer = std::unique_ptr<AuBufferList, BufferListDisposer>;
    struct SourceEntry;

    // The record role without a device: "no source", empty buffers, the
    // meter reset.
    void clearRecordRole();
    // The record device's latency: short while the monitor plays what it
    // takes, else as long as the backend likes.
    void renewRecordLatency();
    static constexpr uint32_t monitorLatencyBuffers = 2;
    void chooseOutputRateAndSize(const AuDevice& device, double& rate, int32_t& frames) const;
    // An output role on the record hardware whose rate or size is not the
    // record role's.
    bool outputRoleDisagreesWithRecord(const AuDevice* device, double rate, int32_t frames) const;
    static std::vector<SourceEntry> sourceEntries(uint32_t direction);
    static QStringList representNames(const QStringList& names, uint32_t direction);
    QString sourceName(uint32_t direction, int32_t number) const;
    int32_t deviceNumber(uint32_t direction, int32_t number) const;

    // The IO targets of the record and monitor devices: they call the
    // recorder's methods between two steps of a cycle counter.
    AuStatus recordIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                               const AuBufferList* inputData, const AuTimeStamp* inputTime,
                               AuBufferList* outputData, const AuTimeStamp* outputTime,
                               void* clientData);
    AuStatus monitorIOForDevice(AuDevice* device, const AuTimeStamp* timeStamp,
                                const AuBufferList* inputData, const AuTimeStamp* inputTime,
                                AuBufferList* outputData, const AuTimeStamp* outputTime,
                                void* clientData);
    // Publishes the converter and frees the one it replaces once no callback
    // holds it.
    void replaceMonitorConverter(std::unique_ptr<AuConversionBuffer> converter);
    static void waitForCycleEnd(const std::atomic<uint64_t>& cycle);

    ZuRecordDeviceClient* recorder = nullptr;
    ZuLevelDeviceClient* meter = nullptr;
    ZuPlayDeviceClient* player = nullptr;

    std::unique_ptr<AuDevice> recordDeviceObject;
    std::unique_ptr<AuDevice> levelDeviceObject;
    std::unique_ptr<AuAudioBuffer> recordRing;
    BufferListPointer convertList;
    int32_t recordSourceNumber = 0;
    double recordRate = 0.0;
    int32_t recordFrames = 0;
    int32_t recordChannelCount = 0;
    bool highQuality = false;

    std::unique_ptr<AuDevice> playDeviceObject;
    int32_t playSourceNumber = 0;
    double playRate = 0.0;
    int32_t playFrames = 0;
    int32_t playChannelCount = 0;

    std::unique_ptr<AuDevice> monitorDeviceObject;
    int32_t monitorSourceNumber = 0;
    double monitorRate = 0.0;
    int32_t monitorFrames = 0;
    std::unique_ptr<AuAudioBuffer> monitorRing;
    BufferListPointer monitorConvertList;
    int32_t monitorChannelCount = 0;
    std::atomic<AuConversionBuffer*> monitorConverterPointer{nullptr};
    // Odd while the record or monitor callback runs.
    std::atomic<uint64_t> recordCycle{0};
    std::atomic<uint64_t> monitorCycle{0};

    bool startError = false;
};
