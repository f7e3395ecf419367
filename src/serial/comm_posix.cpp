// The comm layer on POSIX: COM ports are ttys (a USB serial adapter, a pty).
// Every device call completes at once; none returns ERROR_IO_PENDING.

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "serial/com_device_path.h"
#include "serial/device_comm.h"
#include "serial/posix_device.h"

namespace qmx {
namespace {

// COMn as ComDevicePath has it. Names other than \\.\COMn are taken as paths.
std::string DevicePath(const char* name) {
    const char prefix[] = "\\\\.\\COM";
    if (std::strncmp(name, prefix, sizeof prefix - 1) != 0) return name;
    const char* digits = name + sizeof prefix - 1;
    char* end = nullptr;
    const long number = std::strtol(digits, &end, 10);
    if (end == digits || *end != '\0' || number < 1) return std::string();
    return ComDevicePath(number);
}

}  // namespace

std::string ComDevicePath(long number) {
    const std::string variable = "QMX_COM" + std::to_string(number);
    if (const char* configured = std::getenv(variable.c_str()); configured != nullptr && *configured != '\0')
        return configured;
    return "/dev/ttyS" + std::to_string(number - 1);
}

namespace {

class TPosixComm final : public TDeviceComm {
public:
    // `device`: the one tty every port on this backend opens; empty for
    // the tty each COM port number stands for.
    explicit TPosixComm(std::string device = {}) : FDevice(std::move(device)) {}

    THandle CreateFileA(const char* name, DWORD, DWORD, void*, DWORD, DWORD, THandle) override {
        const std::string path = !FDevice.empty() ? FDevice : name != nullptr ? DevicePath(name) : std::string();
        if (path.empty()) {
            Fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        DWORD error = ERROR_SUCCESS;
        TPosixDevice* device = TPosixDevice::Open(path, error);
        if (device == nullptr) {
            Fail(error);
            return INVALID_HANDLE_VALUE;
        }
        return HandleOf(device);
    }

    void Sleep(DWORD milliseconds) override {
        timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (::nanosleep(&delay, &delay) != 0) {
        }
    }

    DWORD Milliseconds() override {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                  static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
    }

    std::string LineName(std::uint16_t portNumber) override {
        return FDevice.empty() ? TDeviceComm::LineName(portNumber) : FDevice;
    }

private:
    const std::string FDevice;
};

}  // namespace

TCommApi& PlatformComm() {
    static TPosixComm comm;
    return comm;
}

std::unique_ptr<TCommApi> PlatformCommFor(const std::string& device) { return std::make_unique<TPosixComm>(device); }

}  // namespace qmx
