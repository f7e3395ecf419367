#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "reader_system.h"

namespace qmx::tools {
namespace {

// Static: the signal thread may still use it while the process exits.
sigset_t gStops;

}  // namespace

void PrepareForStops() {
    // SIGINT and SIGTERM are taken by a thread of their own. They are
    // blocked before any other thread starts, so that every thread, the
    // driver's workers too, inherits the block.
    sigemptyset(&gStops);
    sigaddset(&gStops, SIGINT);
    sigaddset(&gStops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &gStops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void EndAsBrokenPipe() {
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    std::raise(SIGPIPE);
}

void WatchForStops(void (*stop)(int status)) {
    std::thread([stop] {
        int signal = 0;
        if (sigwait(&gStops, &signal) != 0) return;
        stop(128 + signal);
    }).detach();
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

bool SharesStandardOutput(const std::string& path) {
    struct stat named {}, out {};
    if (::stat(path.c_str(), &named) != 0 || ::fstat(STDOUT_FILENO, &out) != 0) return false;
    return S_ISREG(out.st_mode) && named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

void PauseFor(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

}  // namespace qmx::tools
