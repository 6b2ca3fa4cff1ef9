// A stand-in application for the watchdog's tests. It writes its PID to the
// file given with --pidfile (replacing it atomically), quits normally on
// SIGUSR1, and with --crash-if-exists FILE dies at once while FILE exists.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t quitRequested = 0;

void onQuit(int) {
    quitRequested = 1;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string pidFile;
    std::string crashFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--pidfile") == 0)
            pidFile = argv[i + 1];
        else if (std::strcmp(argv[i], "--crash-if-exists") == 0)
            crashFile = argv[i + 1];
    }
    struct stat info {};
    if (!crashFile.empty() && stat(crashFile.c_str(), &info) == 0)
        return 3;
    if (!pidFile.empty()) {
        const std::string temporary = pidFile + ".tmp";
        FILE* file = std::fopen(temporary.c_str(), "w");
        if (file == nullptr)
            return 2;
        std::fprintf(file, "%d\n", static_cast<int>(getpid()));
        std::fclose(file);
        std::rename(temporary.c_str(), pidFile.c_str());
    }
    struct sigaction action {};
    action.sa_handler = onQuit;
    sigaction(SIGUSR1, &action, nullptr);
    while (quitRequested == 0)
        pause();
    return 0;
}
