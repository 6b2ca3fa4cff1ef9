#include "platform/hal/portaudio/AuPortAudioHardware.h"

#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"

#include <alsa/asoundlib.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace {

// ALSA reports every probe of an unusable plugin on standard error; the
// failures reach us as PortAudio results anyway.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

const double commonRates[] = {8000,  11025, 16000, 22050,  32000, 44100,
                              48000, 88200, 96000, 176400, 192000};

// Host APIs (the JACK client library, PortAudio's own ALSA checks) write
// their probing failures to standard error; the results reach us anyway.
// Standard error goes to /dev/null while PortAudio initialises and probes,
// which happens only while no device runs (at start-up and in a rescan).
class QuietStandardError {
public:
    QuietStandardError() {
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            close(saved);
        }
    }

private:
    int saved = -1;
};

bool supported(const PaStreamParameters* in, const PaStreamParameters* out, double rate) {
    return Pa_IsFormatSupported(in, out, rate) == paFormatIsSupported;
}

// The channels a role can use (two at most) that a stream in that direction
// opens with: plugins often claim 32 or 128, and opening them all costs a
// core for nothing.
int usableChannels(int device, int max, bool input, PaTime latency, double rate) {
    for (int channels : {2, 1}) {
        if (channels <= 0 || channels > max)
            continue;
        PaStreamParameters p{device, channels, paFloat32, latency, nullptr};
        if (supported(input ? &p : nullptr, input ? nullptr : &p, rate))
            return channels;
    }
    return 0;
}

// A stream the backend lost is reopened at most this often in a row.
constexpr int reopenAttempts = 3;
constexpr uint32_t minBufferFrames = 32;
constexpr uint32_t maxBufferFrames = 8192;
constexpr uint32_t defaultBufferFrames = 512;
// A running stream whose callback has not come for this many checks, one a
// second, has stalled.
constexpr int stalledChecks = 3;

} // namespace

// One running PortAudio stream and the lists its callback hands on; all made
// before the stream starts.
struct AuPortAudioHardware::Stream {
    AuPortAudioHardware* owner = nullptr;
    AuObjectID device = 0;
    AuDeviceIOProc proc = nullptr;
    void* clientData = nullptr;
    uint32_t inputChannels = 0;
    uint32_t outputChannels = 0;
    double rate = 0;
    AuBufferList* input = nullptr;
    AuBufferList* output = nullptr;
    PaStream* stream = nullptr;
    std::atomic<bool> stopping{false};
    // Counted by the callback; the stall check reads it on the main thread.
    std::atomic<uint64_t> cycles{0};
    uint64_t cyclesSeen = 0; // main thread
    int checksWithout = 0;   // main thread
    bool aborted = false;    // main thread
    // Frames since the device first opened, with those lost to overruns and
    // reopenings; the time the last buffer was taken, for an overrun's size.
    double sampleTime = 0.0;
    PaTime lastInputTime = 0.0;
    unsigned long lastFrames = 0;

    ~Stream() {
        std::free(input);
        std::free(output);
    }

    static int callback(const void* in, void* out, unsigned long frames,
                        const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags flags,
                        void* userData) {
        auto* self = static_cast<Stream*>(userData);
        if ((flags & paInputOverflow) && self->lastInputTime > 0.0) {
            // The input the overrun dropped: the time since the last buffer
            // beyond what that buffer held.
            const double elapsed =
                (timeInfo->inputBufferAdcTime - self->lastInputTime) * self->rate;
            if (elapsed > double(self->lastFrames))
                self->sampleTime += std::round(elapsed - double(self->lastFrames));
        }
        self->lastInputTime = timeInfo->inputBufferAdcTime;
        self->lastFrames = frames;
        AuTimeStamp now;
        now.mHostTime = uint64_t(timeInfo->currentTime * 1e9);
        now.mSampleTime = self->sampleTime;
        now.mFlags = kAuTimeStampHostTimeValid | kAuTimeStampSampleTimeValid;
        self->sampleTime += double(frames);
        AuTimeStamp inputTime = now;
        inputTime.mHostTime = uint64_t(timeInfo->inputBufferAdcTime * 1e9);
        AuTimeStamp outputTime = now;
        outputTime.mHostTime = uint64_t(timeInfo->outputBufferDacTime * 1e9);
        const AuBufferList* inputList = nullptr;
        if (self->input && in) {
            self->input->mBuffers[0].mData = const_cast<void*>(in);
            self->input->mBuffers[0].mDataByteSize =
                uint32_t(frames * self->inputChannels * sizeof(float));
            inputList = self->input;
        }
        AuBufferList* outputList = nullptr;
        if (self->output && out) {
            const size_t bytes = frames * self->outputChannels * sizeof(float);
            std::memset(out, 0, bytes);
            self->output->mBuffers[0].mData = out;
            self->output->mBuffers[0].mDataByteSize = uint32_t(bytes);
            outputList = self->output;
        }
        self->proc(self->device, &now, inputList, &inputTime, outputList, &outputTime,
                   self->clientData);
        self->cycles.fetch_add(1, std::memory_order_relaxed);
        return paContinue;
    }
};

AuPortAudioHardware::AuPortAudioHardware(const QString& nodeFolder) {
    snd_lib_error_set_handler(quietAlsa);
    // Never start a JACK server just to look at its devices.
    setenv("JACK_NO_START_SERVER", "1", 0);
    QuietStandardError quiet;
    initialized = Pa_Initialize() == paNoError;
    if (initialized)
        apply(probe(), false);
    nodeWatch = std::make_unique<AuDeviceNodeWatch>(
        nodeFolder,
        [this] {
            std::lock_guard guard(streamsMutex);
            return !streams.empty();
        },
        [this] { rescan(); });
    QObject::connect(&stallCheck, &QTimer::timeout, [this] { checkStalledStreams(); });
    stallCheck.start(1000);
}

// ALSA's pulse plugin can wait for good when its server dies at an unlucky
// moment: the stream neither calls back nor ends. A stream silent for a few
// seconds is aborted, which cancels its thread and ends it as a failure does,
// so it is reopened or reported dead like any lost stream.
void AuPortAudioHardware::checkStalledStreams() {
    // Streams are closed only on this thread, so those found stay open here.
    std::vector<std::pair<AuObjectID, PaStream*>> stalled;
    {
        std::lock_guard guard(streamsMutex);
        for (auto& [device, stream] : streams) {
            const uint64_t cycles = stream->cycles.load(std::memory_order_relaxed);
            if (stream->stopping || stream->aborted || cycles != stream->cyclesSeen) {
                stream->cyclesSeen = cycles;
                stream->checksWithout = 0;
                continue;
            }
            // One PortAudio ended itself is on its way to the reopening.
            if (++stream->checksWithout < stalledChecks || Pa_IsStreamActive(stream->stream) != 1)
                continue;
            stream->aborted = true;
            stalled.emplace_back(device, stream->stream);
        }
    }
    for (const auto& [device, stream] : stalled) {
        QByteArray name;
        getProperty({AuScope::Device, device, 0, 0, auFourCC("lnam")}, name);
        ZuLogEvent::report(QStringLiteral("portaudio: the stream of %1 stalled and was aborted.")
                               .arg(QString::fromUtf8(name)));
        Pa_AbortStream(stream);
    }
}

AuPortAudioHardware::~AuPortAudioHardware() {
    nodeWatch.reset();
    stopAll();
    if (initialized)
        Pa_Terminate();
}

std::vector<AuPortAudioHardware::Probe> AuPortAudioHardware::probe() {
    std::vector<Probe> found;
    const int count = Pa_GetDeviceCount();
    const PaDeviceIndex defaultIn = Pa_GetDefaultInputDevice();
    const PaDeviceIndex defaultOut = Pa_GetDefaultOutputDevice();
    std::set<QString> uids;
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(i);
        if (!device || (device->maxInputChannels <= 0 && device->maxOutputChannels <= 0))
            continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(device->hostApi);
        Probe p{{}, i, i == defaultIn, i == defaultOut};
        AuHalDeviceInfo& info = p.info;
        info.name = QString::fromUtf8(device->name);
        info.manufacturer = api ? QString::fromUtf8(api->name) : QString();
        // PortAudio has no stable identifier; host API and name are stable
        // across runs, with a counter for devices sharing a name.
        QString uid = info.manufacturer + QLatin1Char(':') + info.name;
        for (int n = 2; uids.count(uid); ++n)
            uid = info.manufacturer + QLatin1Char(':') + info.name + QLatin1Char('#') +
                  QString::number(n);
        uids.insert(uid);
        info.uid = uid;
        const int inputs =
            usableChannels(i, device->maxInputChannels, true, device->defaultLowInputLatency,
                           device->defaultSampleRate);
        const int outputs =
            usableChannels(i, device->maxOutputChannels, false, device->defaultLowOutputLatency,
                           device->defaultSampleRate);
        if (inputs == 0 && outputs == 0)
            continue;
        info.channels = {uint32_t(outputs), uint32_t(inputs)};
        PaStreamParameters in{i, inputs, paFloat32, device->defaultLowInputLatency, nullptr};
        PaStreamParameters out{i, outputs, paFloat32, device->defaultLowOutputLatency, nullptr};
        // A rate counts when every direction the device has takes it.
        for (double rate : commonRates) {
            if ((!inputs || supported(&in, nullptr, rate)) &&
                (!outputs || supported(nullptr, &out, rate)))
                info.sampleRates.push_back({rate, rate});
        }
        info.nominalSampleRate = device->defaultSampleRate;
        bool nominalListed = false;
        for (const AuValueRange& r : info.sampleRates)
            nominalListed = nominalListed || r.mMinimum == info.nominalSampleRate;
        if (!nominalListed && !info.sampleRates.empty())
            info.nominalSampleRate = info.sampleRates.front().mMinimum;
        info.bufferFrameRange = {double(minBufferFrames), double(maxBufferFrames)};
        info.bufferFrames = defaultBufferFrames;
        const double rate = info.nominalSampleRate;
        info.latencyFrames = {uint32_t(device->defaultLowOutputLatency * rate),
                              uint32_t(device->defaultLowInputLatency * rate)};
        found.push_back(p);
    }
    return found;
}

void AuPortAudioHardware::apply(const std::vector<Probe>& found, bool notify) {
    bool changed = false;
    std::set<QString> present;
    AuObjectID defaultIn = kAuUnknownObject;
    AuObjectID defaultOut = kAuUnknownObject;
    for (const Probe& p : found) {
        present.insert(p.info.uid);
        AuObjectID id = deviceWithUID(p.info.uid);
        if (id == kAuUnknownObject) {
            id = addDevice(p.info, false);
            changed = true;
        }
        paIndex[id] = p.index;
        if (p.isDefaultInput)
            defaultIn = id;
        if (p.isDefaultOutput)
            defaultOut = id;
    }
    for (AuObjectID id : deviceIDs()) {
        QByteArray uid;
        getProperty({AuScope::Device, id, 0, 0, auFourCC("uid ")}, uid);
        if (!present.count(QString::fromUtf8(uid))) {
            paIndex.erase(id);
            removeDevice(id);
            changed = true;
        }
    }
    setDefaultDevices(defaultIn, defaultOut);
    if (notify && changed)
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dev#")});
}

void AuPortAudioHardware::rescan() {
    std::vector<AuObjectID> running;
    for (AuObjectID id : deviceIDs()) {
        if (isRunning(id)) {
            running.push_back(id);
            closeIO(id);
        }
    }
    std::vector<Probe> found;
    {
        QuietStandardError quiet;
        if (initialized)
            Pa_Terminate();
        initialized = Pa_Initialize() == paNoError;
        if (initialized)
            found = probe();
    }
    apply(found, true);
    for (AuObjectID id : running)
        if (isRunning(id) && reopenIO(id, 1) != kAuNoError)
            deviceChanged(id, auFourCC("livn"));
}

AuStatus AuPortAudioHardware::openIO(const IOSetup& setup) {
    auto index = paIndex.find(setup.device);
    if (!initialized || index == paIndex.end())
        return kAuErrorCannotStart;
    const PaDeviceInfo* device = Pa_GetDeviceInfo(index->second);
    if (!device)
        return kAuErrorCannotStart;
    auto stream = std::make_unique<Stream>();
    stream->owner = this;
    stream->device = setup.device;
    stream->proc = setup.proc;
    stream->clientData = setup.clientData;
    // Only the directions the clients use, when they use one the device has.
    const uint32_t has = (setup.info.channels[0] ? 1u : 0u) | (setup.info.channels[1] ? 2u : 0u);
    const uint32_t used = (setup.info.ioDirections & has) ? setup.info.ioDirections & has : has;
    stream->inputChannels = (used & 2) ? setup.info.channels[1] : 0;
    stream->outputChannels = (used & 1) ? setup.info.channels[0] : 0;
    stream->rate = setup.info.nominalSampleRate;
    {
        // A stream reopened after the backend lost it goes on counting
        // frames, with the time it was away as lost input.
        std::lock_guard guard(streamsMutex);
        if (auto lost = lostStreams.find(setup.device); lost != lostStreams.end()) {
            const double away =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - lost->second.at)
                    .count();
            stream->sampleTime = lost->second.sampleTime + std::round(away * stream->rate);
            lostStreams.erase(lost);
        }
    }
    for (uint32_t direction = 0; direction < 2; ++direction) {
        const uint32_t channels = direction ? stream->inputChannels : stream->outputChannels;
        if (channels == 0)
            continue;
        auto* list = static_cast<AuBufferList*>(std::malloc(auBufferListSize(1)));
        list->mNumberBuffers = 1;
        list->mBuffers[0] = {channels, 0, nullptr};
        (direction ? stream->input : stream->output) = list;
    }
    const auto latency = [&](PaTime low) {
        const double wanted = setup.info.ioLatencyFrames ? setup.info.ioLatencyFrames / stream->rate
                                                         : kAuUnhurriedLatencySeconds;
        return std::max(low, wanted);
    };
    PaStreamParameters in{index->second, int(stream->inputChannels), paFloat32,
                          latency(device->defaultLowInputLatency), nullptr};
    PaStreamParameters out{index->second, int(stream->outputChannels), paFloat32,
                           latency(device->defaultLowOutputLatency), nullptr};
    // Duplex when the device takes it; a device that cannot run both
    // directions at once (a monitor source) runs the one it can, and the
    // other stays silent. A second stream for the other direction would call
    // the device's one IO callback from a second thread on a clock of its
    // own, which the clients of that callback cannot take.
    PaError error = paInvalidDevice;
    const bool both = stream->inputChannels && stream->outputChannels;
    const PaStreamParameters* tries[3][2] = {
        {stream->inputChannels ? &in : nullptr, stream->outputChannels ? &out : nullptr},
        {stream->inputChannels ? &in : nullptr, nullptr},
        {nullptr, stream->outputChannels ? &out : nullptr}};
    const PaStreamParameters* const* opened = nullptr;
    for (const auto& t : tries) {
        if (!t[0] && !t[1])
            continue;
        // No standard error redirect here: other threads may be writing to
        // it. ALSA's messages go to the quiet handler, and JACK is never started.
        error = openStream(&stream->stream, t[0], t[1], stream->rate, setup.info.bufferFrames,
                           Stream::callback, stream.get());
        if (error == paNoError) {
            opened = t;
            break;
        }
    }
    if (error != paNoError)
        return AuStatus(error);
    if (both && (!opened[0] || !opened[1]))
        reportOneDirection(setup.device, setup.info.name, opened[0] != nullptr);
    Pa_SetStreamFinishedCallback(stream->stream, streamFinished);
    error = Pa_StartStream(stream->stream);
    if (error != paNoError) {
        Pa_CloseStream(stream->stream);
        return AuStatus(error);
    }
    std::lock_guard guard(streamsMutex);
    streams[setup.device] = std::move(stream);
    return kAuNoError;
}

PaError AuPortAudioHardware::openStream(PaStream** stream, const PaStreamParameters* input,
                                        const PaStreamParameters* output, double rate,
                                        unsigned long frames, PaStreamCallback* callback,
                                        void* userData) {
    return Pa_OpenStream(stream, input, output, rate, frames, paNoFlag, callback, userData);
}

void AuPortAudioHardware::closeIO(AuObjectID device) {
    std::unique_ptr<Stream> stream;
    bool lastStopped = false;
    {
        std::lock_guard guard(streamsMutex);
        auto it = streams.find(device);
        if (it == streams.end())
            return;
        stream = std::move(it->second);
        streams.erase(it);
        lastStopped = streams.empty();
    }
    stream->stopping = true;
    Pa_StopStream(stream->stream);
    Pa_CloseStream(stream->stream);
    if (lastStopped && nodeWatch)
        nodeWatch->streamsStopped();
}

void AuPortAudioHardware::reportOneDirection(AuObjectID device, const QString& name, bool input) {
    {
        std::lock_guard guard(streamsMutex);
        if (!oneDirectionReported.insert(device).second)
            return;
    }
    const QString line = input
                             ? QStringLiteral("%1: %2 opens for input only; its output is silent.")
                             : QStringLiteral("%1: %2 opens for output only; its input is silent.");
    zuPerformOnMainThread([text = line.arg(backendName(), name)] { ZuConsole::line(text); });
}

bool AuPortAudioHardware::retuneIO(const IOSetup& setup, const AuHalDeviceInfo& previous) {
    // PortAudio fixes directions and latency when a stream opens.
    const uint32_t has = (setup.info.channels[0] ? 1u : 0u) | (setup.info.channels[1] ? 2u : 0u);
    return (setup.info.ioDirections & has) == (previous.ioDirections & has) &&
           setup.info.ioLatencyFrames == previous.ioLatencyFrames;
}

// PortAudio ends a stream on its own when the device fails or goes away. A
// device still listed is reopened (a poll failure or an overrun the host API
// could not recover passes); only one that cannot open again is reported
// dead, on the main thread.
void AuPortAudioHardware::streamFinished(void* userData) {
    auto* stream = static_cast<Stream*>(userData);
    if (stream->stopping)
        return;
    AuPortAudioHardware* owner = stream->owner;
    const AuObjectID device = stream->device;
    {
        std::lock_guard guard(owner->streamsMutex);
        owner->lostStreams[device] = {stream->sampleTime, std::chrono::steady_clock::now()};
    }
    zuPerformOnMainThread([owner, device] {
        if (AuHardware::current().backendName() != QLatin1String("portaudio") ||
            &AuHardware::current() != owner)
            return;
        if (!owner->isRunning(device)) {
            // Stopped by its clients meanwhile: nothing to reopen.
            std::lock_guard guard(owner->streamsMutex);
            owner->lostStreams.erase(device);
            return;
        }
        QByteArray name;
        owner->getProperty({AuScope::Device, device, 0, 0, auFourCC("lnam")}, name);
        const AuStatus status = owner->reopenIO(device, reopenAttempts);
        {
            std::lock_guard guard(owner->streamsMutex);
            owner->lostStreams.erase(device);
        }
        if (status == kAuNoError)
            ZuLogEvent::report(
                QStringLiteral("portaudio: the stream of %1 stopped and was reopened.")
                    .arg(QString::fromUtf8(name)));
        else
            owner->deviceChanged(device, auFourCC("livn"));
    });
}
