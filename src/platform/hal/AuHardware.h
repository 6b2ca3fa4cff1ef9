#pragma once

#include "platform/hal/AuHardwareTypes.h"

#include <QByteArray>
#include <QString>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

// The audio hardware backend: hardware, device and stream properties by
// four-character code, property listeners (with wildcards for the channel,
// the direction and the property), and one IO callback per device.
//
// Property values travel as bytes in the layout of their type: 32-bit ids and
// counts as uint32_t, rates as double, ranges as AuValueRange, formats as
// AuStreamBasicDescription, id lists as arrays of uint32_t, names as UTF-8.
// Translations ('duid', 'lscn', 'lcsn', 'sfmm', 'pftm') take their input as
// the qualifier.
//
// Two device properties say what the IO clients use, so that a backend opens
// no more than that: 'iodr' the directions as bits (1 << direction), and
// 'iolt' the latency in frames they can bear (0: the backend's unhurried
// default, for clients that only record).
//
// The IO callback runs on a backend thread with the output list handed in
// zero-filled, never on two threads at once for one device. Each call hands
// in the frames of one buffer ('fsiz'); the input time's sample time advances
// by the frames of the previous call, and by more when the backend lost
// input. Start fails with a non-zero status when the device cannot run.
class AuHardware {
public:
    virtual ~AuHardware();

    // The process-wide backend. The first use without an installed backend
    // installs the default one.
    static AuHardware& current();
    // Replaces the process-wide backend (at start-up, or between tests when no
    // device runs) and hands back the previous one.
    static std::unique_ptr<AuHardware> install(std::unique_ptr<AuHardware> backend);
    // The sound server's backend when a server answers, else PortAudio.
    static std::unique_ptr<AuHardware> createDefault();
    // "pulse", "portaudio" or "virtual"; nothing for another name.
    static std::unique_ptr<AuHardware> create(const QString& name);
    // Counts installs, so that users can tell a backend they set up from a new one.
    static uint64_t installCount();

    virtual QString backendName() const = 0;

    virtual AuStatus getPropertyInfo(const AuPropertyAddress& address, uint32_t* size,
                                     bool* writable) = 0;
    virtual AuStatus getProperty(const AuPropertyAddress& address, QByteArray& value,
                                 const QByteArray& qualifier = {}) = 0;
    virtual AuStatus setProperty(const AuPropertyAddress& address, const QByteArray& value) = 0;

    // Adding the same (filter, proc, client data) twice keeps one listener.
    void addPropertyListener(const AuPropertyAddress& filter, AuPropertyListenerProc proc,
                             void* clientData);
    void removePropertyListener(const AuPropertyAddress& filter, AuPropertyListenerProc proc,
                                void* clientData);

    // Reads the device list afresh where the backend cannot report devices
    // coming and going by itself; changes are reported as 'dev#'. Main thread.
    virtual void rescan() {}

    virtual AuStatus addIOProc(AuObjectID device, AuDeviceIOProc proc, void* clientData) = 0;
    virtual AuStatus removeIOProc(AuObjectID device, AuDeviceIOProc proc) = 0;
    virtual AuStatus startDevice(AuObjectID device, AuDeviceIOProc proc) = 0;
    virtual AuStatus stopDevice(AuObjectID device, AuDeviceIOProc proc) = 0;

protected:
    // Calls every listener whose filter matches, on the calling thread, with no
    // lock of this class held.
    void propertyChanged(const AuPropertyAddress& change);

private:
    struct Listener {
        AuPropertyAddress filter;
        AuPropertyListenerProc proc;
        void* clientData;
    };
    std::mutex listenerMutex;
    std::vector<Listener> listeners;
};

// Byte-level helpers for property values.
template <typename T> QByteArray auPropertyBytes(const T& value) {
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof(T));
}
template <typename T> QByteArray auPropertyBytes(const std::vector<T>& values) {
    return QByteArray(reinterpret_cast<const char*>(values.data()),
                      qsizetype(values.size() * sizeof(T)));
}
template <typename T> bool auPropertyValue(const QByteArray& bytes, T& value) {
    if (size_t(bytes.size()) != sizeof(T))
        return false;
    std::memcpy(&value, bytes.constData(), sizeof(T));
    return true;
}
template <typename T> std::vector<T> auPropertyValues(const QByteArray& bytes) {
    std::vector<T> values(size_t(bytes.size()) / sizeof(T));
    if (!values.empty())
        std::memcpy(values.data(), bytes.constData(), values.size() * sizeof(T));
    return values;
}
