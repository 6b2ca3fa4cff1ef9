#include "platform/hal/pulse/AuPulseHardware.h"

#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

namespace {

constexpr uint32_t minBufferFrames = 32;
constexpr uint32_t maxBufferFrames = 8192;
constexpr uint32_t defaultBufferFrames = 512;
// A failed stream whose device is still listed is reopened this often in a
// row, half a second apart, before its device counts as gone.
constexpr int reopenAttempts = 5;
constexpr pa_usec_t reopenDelay = 500 * PA_USEC_PER_MSEC;
// A server that has gone is looked for this often, so that a recorder waiting
// for its devices has them back well within two seconds of its return.
constexpr pa_usec_t reconnectDelay = 500 * PA_USEC_PER_MSEC;
constexpr pa_usec_t connectTimeout = 3 * PA_USEC_PER_SEC;

uint64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

// A one-shot timer of the client library's thread, that far from now.
pa_time_event* timeEventAfter(pa_threaded_mainloop* loop, pa_usec_t delay,
                              pa_time_event_cb_t callback, void* userData) {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, delay);
    return api->time_new(api, &when, callback, userData);
}

QString contextError(pa_context* context) {
    return QString::fromUtf8(pa_strerror(context ? pa_context_errno(context) : PA_ERR_UNKNOWN));
}

} // namespace

// The server as one snapshot: its devices, which of them are the defaults,
// and whether it answered at all.
struct AuPulseHardware::Snapshot {
    struct Entry {
        AuHalDeviceInfo info;
        QByteArray serverName;
    };
    std::vector<Entry> devices;
    QByteArray defaultSource;
    QByteArray defaultSink;
    bool connected = false;
};

// The connection: the client library's thread, the context, the device
// list requests and the reconnection. Everything here runs on that thread or
// under its lock.
struct AuPulseHardware::Server {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    // Read on the main thread by posted work; cleared when the backend goes.
    std::shared_ptr<AuPulseHardware*> owner;

    // The device list request in progress.
    int pending = 0;
    bool refreshAgain = false;
    Snapshot collecting;
    // Set while the constructor waits for the first list.
    bool waitingForFirst = false;
    bool firstDone = false;
    Snapshot first;
    bool everConnected = false;
    pa_time_event* reconnectEvent = nullptr;
    bool connectTimedOut = false;

    // Which server object each device of the table stands for.
    std::mutex namesMutex;
    std::map<AuObjectID, QByteArray> names;

    std::map<AuObjectID, std::unique_ptr<Stream>> streams; // under the loop lock

    void connect();
    void requestDeviceList();
    void listDone();
    void scheduleReconnect();
    // Hands work to the main thread for as long as the backend lives.
    void post(std::function<void(AuPulseHardware&)> work) {
        zuPerformOnMainThread([owner = owner, work = std::move(work)] {
            if (*owner)
                work(**owner);
        });
    }

    static void contextState(pa_context* context, void* userData);
    static void serverInfo(pa_context*, const pa_server_info* info, void* userData);
    // A sink or source of the list in progress (sinks and sources have the
    // same fields by name).
    template <typename Info, uint32_t direction>
    static void deviceListed(pa_context*, const Info* info, int eol, void* userData);
    static void subscription(pa_context*, pa_subscription_event_type_t, uint32_t, void* userData);
};

// One running stream of one device, with its staging buffer and lists made
// before it starts. The library's thread calls the IO proc once per
// bufferFrames frames.
struct AuPulseHardware::Stream {
    Server* server = nullptr;
    IOSetup setup;
    QByteArray serverName;
    uint32_t direction = 0;
    uint32_t channels = 0;
    pa_stream* stream = nullptr;
    std::vector<float> staging;
    uint32_t stagedFrames = 0;
    AuBufferList* list = nullptr;
    double sampleTime = 0.0;
    // Frames the server skipped (holes) or a reopening missed, added to the
    // sample time after the buffer being filled.
    double pendingGap = 0.0;
    uint64_t failedAt = 0;
    int failures = 0;
    // Failures count only once the stream has run: a refused first open
    // fails the start instead.
    bool wasReady = false;
    pa_time_event* reopenEvent = nullptr;

    ~Stream() { std::free(list); }

    uint32_t frameBytes() const { return channels * uint32_t(sizeof(float)); }
    uint32_t latencyFrames() const {
        const uint32_t wanted =
            setup.info.ioLatencyFrames
                ? setup.info.ioLatencyFrames
                : uint32_t(setup.info.nominalSampleRate * kAuUnhurriedLatencySeconds);
        return std::max(wanted, setup.info.bufferFrames);
    }
    pa_buffer_attr bufferAttr() const {
        const uint32_t bytes = latencyFrames() * frameBytes();
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = direction == kAuDirectionInput ? uint32_t(-1) : bytes / 4;
        attr.tlength = direction == kAuDirectionInput ? uint32_t(-1) : bytes;
        attr.fragsize = direction == kAuDirectionInput ? bytes : uint32_t(-1);
        return attr;
    }

    bool open();
    void close();
    void failed();
    void call(AuBufferList* input, AuBufferList* output);

    static void state(pa_stream* stream, void* userData);
    static void read(pa_stream* stream, size_t bytes, void* userData);
    static void write(pa_stream* stream, size_t bytes, void* userData);
    static void reopen(pa_mainloop_api*, pa_time_event* event, const timeval*, void* userData);
};

void AuPulseHardware::Server::connect() {
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Nightwarden");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.nightwarden.Nightwarden");
    context =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop), "Nightwarden", properties);
    pa_proplist_free(properties);
    if (!context) {
        scheduleReconnect();
        return;
    }
    pa_context_set_state_callback(context, contextState, this);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        scheduleReconnect();
}

void AuPulseHardware::Server::scheduleReconnect() {
    if (reconnectEvent)
        return;
    reconnectEvent = timeEventAfter(
        loop, reconnectDelay,
        [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* userData) {
            auto* self = static_cast<Server*>(userData);
            api->time_free(event);
            self->reconnectEvent = nullptr;
            self->connect();
        },
        this);
}

void AuPulseHardware::Server::contextState(pa_context* context, void* userData) {
    auto* self = static_cast<Server*>(userData);
    pa_threaded_mainloop_signal(self->loop, 0);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        if (!self->everConnected && !self->waitingForFirst)
            self->post([](AuPulseHardware&) {
                ZuLogEvent::report(QStringLiteral("pulse: the sound server answers."));
            });
        self->everConnected = true;
        pa_context_set_subscribe_callback(context, subscription, self);
        pa_operation_unref(pa_context_subscribe(context,
                                                pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK |
                                                                       PA_SUBSCRIPTION_MASK_SOURCE |
                                                                       PA_SUBSCRIPTION_MASK_SERVER),
                                                nullptr, nullptr));
        self->requestDeviceList();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
        // The server has gone (or never answered): its devices go with it,
        // and it is looked for again.
        if (self->everConnected) {
            const QString reason = contextError(context);
            self->post([reason](AuPulseHardware& hardware) {
                ZuLogEvent::report(
                    QStringLiteral("pulse: the sound server has gone (%1).").arg(reason));
                hardware.apply(Snapshot{}, true);
            });
            self->everConnected = false;
        }
        self->pending = 0;
        self->scheduleReconnect();
        break;
    }
    default:
        break;
    }
}

void AuPulseHardware::Server::requestDeviceList() {
    if (pending > 0) {
        refreshAgain = true;
        return;
    }
    collecting = Snapshot{};
    collecting.connected = true;
    pending = 3;
    pa_operation_unref(pa_context_get_server_info(context, serverInfo, this));
    pa_operation_unref(pa_context_get_sink_info_list(
        context, deviceListed<pa_sink_info, kAuDirectionOutput>, this));
    pa_operation_unref(pa_context_get_source_info_list(
        context, deviceListed<pa_source_info, kAuDirectionInput>, this));
}

void AuPulseHardware::Server::listDone() {
    if (--pending > 0)
        return;
    if (refreshAgain) {
        refreshAgain = false;
        requestDeviceList();
        return;
    }
    if (waitingForFirst) {
        first = std::move(collecting);
        firstDone = true;
        pa_threaded_mainloop_signal(loop, 0);
        return;
    }
    post([found = std::move(collecting)](AuPulseHardware& hardware) {
        hardware.apply(found, true);
    });
}

void AuPulseHardware::Server::serverInfo(pa_context*, const pa_server_info* info, void* userData) {
    auto* self = static_cast<Server*>(userData);
    if (info) {
        self->collecting.defaultSink = info->default_sink_name;
        self->collecting.defaultSource = info->default_source_name;
    }
    self->listDone();
}

namespace {

AuHalDeviceInfo deviceInfo(uint32_t direction, const char* name, const char* description,
                           const pa_sample_spec& spec, const pa_proplist* properties,
                           pa_usec_t latency) {
    AuHalDeviceInfo info;
    info.name = QString::fromUtf8(description && *description ? description : name);
    info.uid = QString::fromUtf8(direction == kAuDirectionInput ? "source:" : "sink:") +
               QString::fromUtf8(name);
    const char* vendor =
        properties ? pa_proplist_gets(properties, PA_PROP_DEVICE_VENDOR_NAME) : nullptr;
    info.manufacturer = QString::fromUtf8(vendor ? vendor : "");
    // Only the channels a role can use: the server mixes a device's others in.
    info.channels[direction] = std::min<uint32_t>(spec.channels, 2);
    // The server would convert any rate, at a cost of its own on every
    // second of a duty: the device offers the rate it runs at.
    info.sampleRates = {{double(spec.rate), double(spec.rate)}};
    info.nominalSampleRate = spec.rate;
    info.bufferFrameRange = {double(minBufferFrames), double(maxBufferFrames)};
    info.bufferFrames = defaultBufferFrames;
    info.latencyFrames[direction] = uint32_t(double(latency) * spec.rate / PA_USEC_PER_SEC);
    return info;
}

} // namespace

template <typename Info, uint32_t direction>
void AuPulseHardware::Server::deviceListed(pa_context*, const Info* info, int eol, void* userData) {
    auto* self = static_cast<Server*>(userData);
    if (eol != 0) {
        self->listDone();
        return;
    }
    self->collecting.devices.push_back(
        {deviceInfo(direction, info->name, info->description, info->sample_spec, info->proplist,
                    info->latency),
         info->name});
}

void AuPulseHardware::Server::subscription(pa_context*, pa_subscription_event_type_t type, uint32_t,
                                           void* userData) {
    auto* self = static_cast<Server*>(userData);
    // New and removed devices, and the server's defaults; a device's own
    // changes (volume, state) leave the list as it is.
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER || kind != PA_SUBSCRIPTION_EVENT_CHANGE)
        self->requestDeviceList();
}

AuPulseHardware::AuPulseHardware() : server(std::make_unique<Server>()) {
    server->owner = std::make_shared<AuPulseHardware*>(this);
    server->loop = pa_threaded_mainloop_new();
    if (!server->loop)
        return;
    pa_threaded_mainloop_set_name(server->loop, "nw-pulse");
    if (pa_threaded_mainloop_start(server->loop) < 0) {
        pa_threaded_mainloop_free(server->loop);
        server->loop = nullptr;
        return;
    }
    pa_threaded_mainloop_lock(server->loop);
    server->waitingForFirst = true;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(server->loop);
    pa_time_event* timeout = timeEventAfter(
        server->loop, connectTimeout,
        [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* userData) {
            auto* self = static_cast<Server*>(userData);
            api->time_free(event);
            self->connectTimedOut = true;
            pa_threaded_mainloop_signal(self->loop, 0);
        },
        server.get());
    server->connect();
    // The first list is there before the constructor returns, so that the
    // roles find their devices at launch; a server that does not answer in
    // time is looked for again in the background.
    while (!server->firstDone && !server->connectTimedOut && !server->reconnectEvent)
        pa_threaded_mainloop_wait(server->loop);
    if (!server->connectTimedOut)
        api->time_free(timeout);
    server->waitingForFirst = false;
    Snapshot found = std::move(server->first);
    pa_threaded_mainloop_unlock(server->loop);
    if (found.connected)
        apply(found, false);
}

AuPulseHardware::~AuPulseHardware() {
    *server->owner = nullptr;
    stopAll();
    if (!server->loop)
        return;
    pa_threaded_mainloop_lock(server->loop);
    if (server->reconnectEvent)
        pa_threaded_mainloop_get_api(server->loop)->time_free(server->reconnectEvent);
    if (server->context) {
        pa_context_set_state_callback(server->context, nullptr, nullptr);
        pa_context_set_subscribe_callback(server->context, nullptr, nullptr);
        pa_context_disconnect(server->context);
        pa_context_unref(server->context);
        server->context = nullptr;
    }
    pa_threaded_mainloop_unlock(server->loop);
    pa_threaded_mainloop_stop(server->loop);
    pa_threaded_mainloop_free(server->loop);
}

bool AuPulseHardware::isConnected() const {
    if (!server->loop)
        return false;
    pa_threaded_mainloop_lock(server->loop);
    const bool ready = server->context && pa_context_get_state(server->context) == PA_CONTEXT_READY;
    pa_threaded_mainloop_unlock(server->loop);
    return ready;
}

void AuPulseHardware::apply(const Snapshot& found, bool notify) {
    bool changed = false;
    std::set<QString> present;
    AuObjectID defaultIn = kAuUnknownObject;
    AuObjectID defaultOut = kAuUnknownObject;
    for (const Snapshot::Entry& entry : found.devices) {
        present.insert(entry.info.uid);
        AuObjectID id = deviceWithUID(entry.info.uid);
        if (id == kAuUnknownObject) {
            id = addDevice(entry.info, false);
            std::lock_guard guard(server->namesMutex);
            server->names[id] = entry.serverName;
            changed = true;
        }
        const bool input = entry.info.channels[kAuDirectionInput] > 0;
        if (input && entry.serverName == found.defaultSource)
            defaultIn = id;
        if (!input && entry.serverName == found.defaultSink)
            defaultOut = id;
    }
    for (AuObjectID id : deviceIDs()) {
        QByteArray uid;
        getProperty({AuScope::Device, id, 0, 0, auFourCC("uid ")}, uid);
        if (!present.count(QString::fromUtf8(uid))) {
            removeDevice(id);
            std::lock_guard guard(server->namesMutex);
            server->names.erase(id);
            changed = true;
        }
    }
    setDefaultDevices(defaultIn, defaultOut);
    if (notify && changed)
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dev#")});
}

AuStatus AuPulseHardware::openIO(const IOSetup& setup) {
    if (!server->loop)
        return kAuErrorCannotStart;
    auto stream = std::make_unique<Stream>();
    stream->server = server.get();
    stream->setup = setup;
    {
        std::lock_guard guard(server->namesMutex);
        auto it = server->names.find(setup.device);
        if (it == server->names.end())
            return kAuErrorBadObject;
        stream->serverName = it->second;
    }
    // A device here has one direction, which every client of it uses.
    stream->direction =
        setup.info.channels[kAuDirectionInput] > 0 ? kAuDirectionInput : kAuDirectionOutput;
    stream->channels = setup.info.channels[stream->direction];
    const uint32_t frames = setup.info.bufferFrames;
    if (stream->channels == 0 || frames == 0)
        return kAuErrorCannotStart;
    stream->staging.assign(size_t(frames) * stream->channels, 0.0f);
    stream->list = static_cast<AuBufferList*>(std::calloc(1, auBufferListSize(1)));
    if (!stream->list)
        return kAuErrorCannotStart;
    stream->list->mNumberBuffers = 1;
    stream->list->mBuffers[0] = {stream->channels, frames * stream->frameBytes(),
                                 stream->staging.data()};

    pa_threaded_mainloop_lock(server->loop);
    const bool opened = stream->open();
    if (opened) {
        // Waits for the server's answer, so that a refused stream fails the start.
        while (pa_stream_get_state(stream->stream) == PA_STREAM_CREATING)
            pa_threaded_mainloop_wait(server->loop);
    }
    const bool ready = opened && pa_stream_get_state(stream->stream) == PA_STREAM_READY;
    if (ready)
        server->streams[setup.device] = std::move(stream);
    else
        stream->close();
    pa_threaded_mainloop_unlock(server->loop);
    return ready ? kAuNoError : kAuErrorCannotStart;
}

void AuPulseHardware::closeIO(AuObjectID device) {
    if (!server->loop)
        return;
    std::unique_ptr<Stream> stream;
    pa_threaded_mainloop_lock(server->loop);
    auto it = server->streams.find(device);
    if (it != server->streams.end()) {
        stream = std::move(it->second);
        server->streams.erase(it);
        stream->close();
    }
    pa_threaded_mainloop_unlock(server->loop);
}

bool AuPulseHardware::retuneIO(const IOSetup& setup, const AuHalDeviceInfo& previous) {
    // A device here has one direction: only the latency can change.
    if (setup.info.ioLatencyFrames == previous.ioLatencyFrames)
        return true;
    if (!server->loop)
        return false;
    pa_threaded_mainloop_lock(server->loop);
    auto it = server->streams.find(setup.device);
    bool done = false;
    if (it != server->streams.end() && it->second->stream &&
        pa_stream_get_state(it->second->stream) == PA_STREAM_READY) {
        Stream& stream = *it->second;
        stream.setup.info.ioLatencyFrames = setup.info.ioLatencyFrames;
        const pa_buffer_attr attr = stream.bufferAttr();
        if (pa_operation* op = pa_stream_set_buffer_attr(stream.stream, &attr, nullptr, nullptr)) {
            pa_operation_unref(op);
            done = true;
        }
    }
    pa_threaded_mainloop_unlock(server->loop);
    return done;
}

bool AuPulseHardware::Stream::open() {
    pa_context* context = server->context;
    if (!context || pa_context_get_state(context) != PA_CONTEXT_READY)
        return false;
    pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, uint32_t(setup.info.nominalSampleRate),
                        uint8_t(channels)};
    pa_channel_map map;
    pa_channel_map_init_auto(&map, channels, PA_CHANNEL_MAP_DEFAULT);
    stream =
        pa_stream_new(context, direction == kAuDirectionInput ? "Record" : "Playback", &spec, &map);
    if (!stream)
        return false;
    pa_stream_set_state_callback(stream, state, this);
    const pa_buffer_attr attr = bufferAttr();
    // A stream stays on its device: when the device goes, the stream fails
    // and the device is reported gone, rather than carrying on elsewhere.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    int result;
    if (direction == kAuDirectionInput) {
        pa_stream_set_read_callback(stream, read, this);
        result = pa_stream_connect_record(stream, serverName.constData(), &attr, flags);
    } else {
        pa_stream_set_write_callback(stream, write, this);
        result = pa_stream_connect_playback(stream, serverName.constData(), &attr, flags, nullptr,
                                            nullptr);
    }
    return result == 0;
}

void AuPulseHardware::Stream::close() {
    if (reopenEvent) {
        pa_threaded_mainloop_get_api(server->loop)->time_free(reopenEvent);
        reopenEvent = nullptr;
    }
    if (!stream)
        return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_READY ||
        pa_stream_get_state(stream) == PA_STREAM_CREATING)
        pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

void AuPulseHardware::Stream::call(AuBufferList* input, AuBufferList* output) {
    AuTimeStamp now;
    now.mHostTime = monotonicNanoseconds();
    now.mSampleTime = sampleTime;
    now.mFlags = kAuTimeStampSampleTimeValid | kAuTimeStampHostTimeValid;
    const AuTimeStamp ioTime = now;
    list->mBuffers[0].mDataByteSize = setup.info.bufferFrames * frameBytes();
    setup.proc(setup.device, &now, input, &ioTime, output, &ioTime, setup.clientData);
    sampleTime += setup.info.bufferFrames + pendingGap;
    pendingGap = 0.0;
}

void AuPulseHardware::Stream::read(pa_stream* stream, size_t, void* userData) {
    auto* self = static_cast<Stream*>(userData);
    const uint32_t frameBytes = self->frameBytes();
    const uint32_t frames = self->setup.info.bufferFrames;
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 &&
           bytes > 0) {
        if (!data) {
            // A hole: sound the server never delivered.
            self->pendingGap += double(bytes / frameBytes);
        } else {
            const auto* from = static_cast<const float*>(data);
            size_t left = bytes / frameBytes;
            while (left > 0) {
                const size_t take = std::min<size_t>(left, frames - self->stagedFrames);
                std::memcpy(self->staging.data() + size_t(self->stagedFrames) * self->channels,
                            from, take * frameBytes);
                from += take * self->channels;
                left -= take;
                self->stagedFrames += uint32_t(take);
                if (self->stagedFrames == frames) {
                    self->call(self->list, nullptr);
                    self->stagedFrames = 0;
                }
            }
        }
        pa_stream_drop(stream);
        if (self->failedAt) {
            // The first sound after a reopening: what the pause missed is a gap.
            const double missed = double(monotonicNanoseconds() - self->failedAt) * 1e-9 *
                                  self->setup.info.nominalSampleRate;
            self->pendingGap += std::max(0.0, missed);
            self->failedAt = 0;
            const QString name = self->setup.info.name;
            const double seconds = missed / self->setup.info.nominalSampleRate;
            self->server->post([name, seconds](AuPulseHardware&) {
                ZuLogEvent::report(QStringLiteral("pulse: the stream of %1 runs again; %2 "
                                                  "seconds of input were lost.")
                                       .arg(name)
                                       .arg(seconds, 0, 'f', 3));
            });
        }
    }
}

void AuPulseHardware::Stream::write(pa_stream* stream, size_t bytes, void* userData) {
    auto* self = static_cast<Stream*>(userData);
    const size_t chunk = size_t(self->setup.info.bufferFrames) * self->frameBytes();
    while (bytes > 0) {
        std::fill(self->staging.begin(), self->staging.end(), 0.0f);
        self->call(nullptr, self->list);
        if (pa_stream_write(stream, self->staging.data(), chunk, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= std::min(bytes, chunk);
    }
}

void AuPulseHardware::Stream::state(pa_stream* stream, void* userData) {
    auto* self = static_cast<Stream*>(userData);
    pa_threaded_mainloop_signal(self->server->loop, 0);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        self->failures = 0;
        self->wasReady = true;
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        if (self->wasReady)
            self->failed();
        break;
    default:
        break;
    }
}

void AuPulseHardware::Stream::failed() {
    // While the server itself is gone its devices go too (the context's
    // state says so); a stream on a server that still answers is reopened.
    pa_context* context = server->context;
    if (!context || pa_context_get_state(context) != PA_CONTEXT_READY)
        return;
    const QString reason = contextError(context);
    if (!failedAt)
        failedAt = monotonicNanoseconds();
    if (++failures > reopenAttempts) {
        const AuObjectID device = setup.device;
        server->post([device, reason](AuPulseHardware& hardware) {
            ZuLogEvent::error(QStringLiteral("pulse: device %1 cannot be reopened (%2).")
                                  .arg(device)
                                  .arg(reason));
            hardware.deviceChanged(device, auFourCC("livn"));
        });
        return;
    }
    if (failures == 1) {
        const QString name = setup.info.name;
        server->post([name, reason](AuPulseHardware&) {
            ZuLogEvent::report(QStringLiteral("pulse: the stream of %1 failed (%2); reopening it.")
                                   .arg(name, reason));
        });
    }
    reopenEvent = timeEventAfter(server->loop, reopenDelay, reopen, this);
}

void AuPulseHardware::Stream::reopen(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                     void* userData) {
    auto* self = static_cast<Stream*>(userData);
    api->time_free(event);
    self->reopenEvent = nullptr;
    self->close();
    if (!self->open())
        self->failed();
}
