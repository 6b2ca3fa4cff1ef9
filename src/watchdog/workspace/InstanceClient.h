#pragma once

#include "workspace/InstanceProtocol.h"

#include <QLocalSocket>
#include <optional>

class InstanceLock;

// A later start's side: it either becomes the one instance by taking the
// lock, or talks to the watchdog holding it.
class InstanceClient {
public:
    enum class Contact { Locked, Connected, Silent, Unavailable };

    static constexpr int defaultTimeoutMs = 5000;

    // Locked: this process now holds the lock. Connected: the holder answers
    // on its socket. Silent: for timeoutMs the lock stayed held and nobody
    // answered. A holder only editing the list from the command line, or a
    // watchdog just starting, lets go or answers shortly, so both are tried
    // again until then. Unavailable: the lock file cannot be made at all.
    Contact lockOrConnect(InstanceLock& lock, int timeoutMs = defaultTimeoutMs);
    // One request on the connection and its reply; nullopt when none came
    // within timeoutMs.
    std::optional<InstanceReply> ask(const InstanceRequest& request,
                                     int timeoutMs = defaultTimeoutMs);

private:
    QLocalSocket socket_;
    QByteArray buffer_;
};
