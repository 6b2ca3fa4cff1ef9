#include "platform/hal/AuHardware.h"

#include "platform/hal/portaudio/AuPortAudioHardware.h"
#include "platform/hal/pulse/AuPulseHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"

#include <algorithm>

namespace {
std::mutex currentMutex;
std::unique_ptr<AuHardware> currentBackend;
uint64_t installs = 0;

bool sameFilter(const AuPropertyAddress& a, const AuPropertyAddress& b) {
    return a.scope == b.scope && a.object == b.object && a.channel == b.channel &&
           a.direction == b.direction && a.property == b.property;
}
} // namespace

AuHardware::~AuHardware() = default;

AuHardware& AuHardware::current() {
    std::lock_guard guard(currentMutex);
    if (!currentBackend) {
        currentBackend = createDefault();
        ++installs;
    }
    return *currentBackend;
}

std::unique_ptr<AuHardware> AuHardware::install(std::unique_ptr<AuHardware> backend) {
    std::lock_guard guard(currentMutex);
    std::swap(backend, currentBackend);
    ++installs;
    return backend;
}

uint64_t AuHardware::installCount() {
    std::lock_guard guard(currentMutex);
    return installs;
}

std::unique_ptr<AuHardware> AuHardware::createDefault() {
    auto pulse = std::make_unique<AuPulseHardware>();
    if (pulse->isConnected())
        return pulse;
    pulse.reset();
    return std::make_unique<AuPortAudioHardware>();
}

std::unique_ptr<AuHardware> AuHardware::create(const QString& name) {
    if (name == QLatin1String("pulse"))
        return std::make_unique<AuPulseHardware>();
    if (name == QLatin1String("portaudio"))
        return std::make_unique<AuPortAudioHardware>();
    if (name == QLatin1String("virtual"))
        return std::make_unique<AuVirtualHardware>();
    return nullptr;
}

void AuHardware::addPropertyListener(const AuPropertyAddress& filter, AuPropertyListenerProc proc,
                                     void* clientData) {
    std::lock_guard guard(listenerMutex);
    for (const Listener& l : listeners)
        if (l.proc == proc && l.clientData == clientData && sameFilter(l.filter, filter))
            return;
    listeners.push_back({filter, proc, clientData});
}

void AuHardware::removePropertyListener(const AuPropertyAddress& filter,
                                        AuPropertyListenerProc proc, void* clientData) {
    std::lock_guard guard(listenerMutex);
    std::erase_if(listeners, [&](const Listener& l) {
        return l.proc == proc && l.clientData == clientData && sameFilter(l.filter, filter);
    });
}

void AuHardware::propertyChanged(const AuPropertyAddress& change) {
    std::vector<Listener> matching;
    {
        std::lock_guard guard(listenerMutex);
        for (const Listener& l : listeners)
            if (l.filter.matches(change))
                matching.push_back(l);
    }
    for (const Listener& l : matching)
        l.proc(change, l.clientData);
}
