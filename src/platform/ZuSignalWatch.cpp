#include "platform/ZuSignalWatch.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end for each signal, plus one so that zero means none; read by
// the handler, so lock-free atomics.
std::atomic<int> writeEnds[NSIG];

void onSignal(int number) {
    const int fd = writeEnds[number].load(std::memory_order_relaxed) - 1;
    if (fd < 0)
        return;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

void onIgnoredSignal(int) {}

} // namespace

ZuSignalWatch::ZuSignalWatch(std::initializer_list<int> signalNumbers, Handler onSignalOnLoop,
                             QObject* parent)
    : QObject(parent), handler(std::move(onSignalOnLoop)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(pair[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(pair[0], &byte, 1) == 1)
            handler(static_cast<unsigned char>(byte));
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : signalNumbers) {
        writeEnds[number].store(pair[1] + 1);
        sigaction(number, &action, nullptr);
    }
}

ZuSignalWatch::~ZuSignalWatch() {
    // Signals still routed here fall back to their default handling.
    for (int number = 1; number < NSIG; ++number) {
        int mine = pair[1] + 1;
        if (pair[1] >= 0 && writeEnds[number].compare_exchange_strong(mine, 0))
            std::signal(number, SIG_DFL);
    }
    notifier.reset();
    for (int fd : pair)
        if (fd >= 0)
            ::close(fd);
}

void ZuSignalWatch::ignore(int signalNumber) {
    struct sigaction action = {};
    action.sa_handler = onIgnoredSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}
