#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include "netline/net_address.h"
#include "serial/com_device_path.h"
#include "network_device.h"
#include "reader_system.h"

namespace qmx::tools {
namespace {

// Static: the signal thread may still use it while the process exits.
sigset_t gStops;

// Says plainly why the device cannot be used, before the driver tries.
bool CheckDevice(const std::string& path, std::string& problem) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        problem = errno == ENOENT ? "no such device" : std::strerror(errno);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == EACCES ? "permission denied (is the user in the dialout group?)" : std::strerror(errno);
        return false;
    }
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    const bool tty = ::isatty(fd) != 0;
    ::close(fd);
    if (!tty) {
        problem = "not a serial device";
        return false;
    }
    if (busy) {
        problem = "in use by another program";
        return false;
    }
    return true;
}

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

bool ChooseDevice(const TOptions& options, TChosenDevice& device, std::string& problem) {
    if (options.Network) return ChooseNetworkDevice(options, device, problem);
    // The silo opens COMn; a device given by path is its COM1.
    device.Com = options.Device.empty() ? options.Com : 1;
    device.Path = options.Device;
    const std::string path = options.Device.empty() ? ComDevicePath(device.Com) : options.Device;
    device.Name = options.Device.empty() ? "COM" + std::to_string(device.Com) + " (" + path + ")" : path;
    return CheckDevice(path, problem);
}

void PauseFor(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

}  // namespace qmx::tools
