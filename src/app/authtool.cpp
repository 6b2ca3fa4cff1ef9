// nightwarden-authtool: run by polkit with the administrator right. Reads the
// record the recorder sends on standard input: a 32-byte token, then the
// command code (1) and a 1024-byte field holding a NUL-terminated path.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

bool readAll(int fd, unsigned char* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main() {
    unsigned char token[32];
    unsigned char record[4 + 1024];
    if (!readAll(STDIN_FILENO, token, sizeof token) ||
        !readAll(STDIN_FILENO, record, sizeof record)) {
        std::fprintf(stderr, "nightwarden-authtool: short command record.\n");
        return 2;
    }
    int32_t code = 0;
    std::memcpy(&code, record, sizeof code);
    const char* path = reinterpret_cast<const char*>(record + 4);
    if (code != 1 || ::memchr(path, '\0', 1024) == nullptr) {
        std::fprintf(stderr, "nightwarden-authtool: unknown command %d.\n", code);
        return 2;
    }
    return 0;
}
