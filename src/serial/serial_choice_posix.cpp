#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/com_device_path.h"
#include "serial/serial_choice.h"

namespace qmx {
namespace {

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

bool ChooseSerialDevice(const std::string& device, int com, TSerialChoice& choice, std::string& problem) {
    // The silo opens COMn; a device given by path is its COM1.
    choice.Com = device.empty() ? com : 1;
    choice.Path = device;
    const std::string path = device.empty() ? ComDevicePath(choice.Com) : device;
    choice.Name = device.empty() ? "COM" + std::to_string(choice.Com) + " (" + path + ")" : path;
    return CheckDevice(path, problem);
}

}  // namespace qmx
