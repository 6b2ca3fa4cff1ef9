#pragma once

#include <csignal>
#include <sys/resource.h>

// While it lives, no file of this process may grow past the given size: a
// write beyond it fails with EFBIG, as on a full disk, instead of raising
// SIGXFSZ.
class NwFileSizeLimit {
public:
    explicit NwFileSizeLimit(rlim_t bytes) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~NwFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    NwFileSizeLimit(const NwFileSizeLimit&) = delete;
    NwFileSizeLimit& operator=(const NwFileSizeLimit&) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};
