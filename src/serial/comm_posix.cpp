// The comm layer on POSIX: COM ports are ttys (a USB serial adapter, a pty).
// Every device call completes at once; none returns ERROR_IO_PENDING.

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "serial/comm_api.h"
#include "serial/posix_device.h"

namespace qmx {
namespace {

thread_local DWORD tLastError = ERROR_SUCCESS;

BOOL Fail(DWORD error) {
    tLastError = error;
    return FALSE;
}

// Every handle this layer gives out is a device.
TPosixDevice* Device(THandle handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<TPosixDevice*>(handle);
}

// COMn: the path in QMX_COMn when set, else /dev/ttyS(n-1). Names other than
// \\.\COMn are taken as paths.
std::string DevicePath(const char* name) {
    const char prefix[] = "\\\\.\\COM";
    if (std::strncmp(name, prefix, sizeof prefix - 1) != 0) return name;
    const char* digits = name + sizeof prefix - 1;
    char* end = nullptr;
    const long number = std::strtol(digits, &end, 10);
    if (end == digits || *end != '\0' || number < 1) return std::string();
    const std::string variable = "QMX_COM" + std::to_string(number);
    if (const char* configured = std::getenv(variable.c_str()); configured != nullptr && *configured != '\0')
        return configured;
    return "/dev/ttyS" + std::to_string(number - 1);
}

void Complete(TOverlapped* overlapped, DWORD error, DWORD transferred) {
    if (overlapped == nullptr) return;
    overlapped->Internal = error;
    overlapped->InternalHigh = transferred;
}

class TPosixComm final : public TCommApi {
public:
    THandle CreateFileA(const char* name, DWORD, DWORD, void*, DWORD, DWORD, THandle) override {
        const std::string path = name != nullptr ? DevicePath(name) : std::string();
        if (path.empty()) {
            tLastError = ERROR_FILE_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        DWORD error = ERROR_SUCCESS;
        TPosixDevice* device = TPosixDevice::Open(path, error);
        if (device == nullptr) {
            tLastError = error;
            return INVALID_HANDLE_VALUE;
        }
        return device;
    }

    BOOL SetupComm(THandle handle, DWORD inQueue, DWORD) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD error = ERROR_SUCCESS;
        return device->Setup(inQueue, error) ? TRUE : Fail(error);
    }

    BOOL GetCommState(THandle handle, TDcb* dcb) override {
        auto* device = Device(handle);
        if (device == nullptr || dcb == nullptr) return Fail(ERROR_INVALID_HANDLE);
        device->GetState(*dcb);
        return TRUE;
    }

    BOOL SetCommState(THandle handle, TDcb* dcb) override {
        auto* device = Device(handle);
        if (device == nullptr || dcb == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD error = ERROR_SUCCESS;
        return device->SetState(*dcb, error) ? TRUE : Fail(error);
    }

    BOOL SetCommMask(THandle handle, DWORD mask) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        device->SetMask(mask);
        return TRUE;
    }

    BOOL SetCommTimeouts(THandle handle, TCommTimeouts* timeouts) override {
        auto* device = Device(handle);
        if (device == nullptr || timeouts == nullptr) return Fail(ERROR_INVALID_HANDLE);
        device->SetTimeouts(*timeouts);
        return TRUE;
    }

    BOOL WaitCommEvent(THandle handle, DWORD* mask, TOverlapped* overlapped) override {
        auto* device = Device(handle);
        if (device == nullptr || mask == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD error = ERROR_SUCCESS;
        const bool ok = device->WaitEvent(*mask, overlapped, error);
        Complete(overlapped, ok ? ERROR_SUCCESS : error, 0);
        return ok ? TRUE : Fail(error);
    }

    BOOL ReadFile(THandle handle, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD got = 0, error = ERROR_SUCCESS;
        const bool ok = device->Read(buffer, count, got, error);
        if (read != nullptr) *read = got;
        Complete(overlapped, ok ? ERROR_SUCCESS : error, got);
        return ok ? TRUE : Fail(error);
    }

    BOOL WriteFile(THandle handle, const void* buffer, DWORD count, DWORD* written,
                   TOverlapped* overlapped) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD put = 0, error = ERROR_SUCCESS;
        const bool ok = device->Write(buffer, count, overlapped, put, error);
        if (written != nullptr) *written = put;
        Complete(overlapped, ok ? ERROR_SUCCESS : error, put);
        return ok ? TRUE : Fail(error);
    }

    BOOL GetOverlappedResult(THandle handle, TOverlapped* overlapped, DWORD* transferred, BOOL) override {
        // Every operation has completed already; its outcome stands in the record.
        if (Device(handle) == nullptr || overlapped == nullptr) return Fail(ERROR_INVALID_HANDLE);
        if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
        const auto error = static_cast<DWORD>(overlapped->Internal);
        return error == ERROR_SUCCESS ? TRUE : Fail(error);
    }

    BOOL ClearCommError(THandle handle, DWORD* errors, TComStat* stat) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD bits = 0;
        TComStat status{};
        device->ClearErrors(bits, status);
        if (errors != nullptr) *errors = bits;
        if (stat != nullptr) *stat = status;
        return TRUE;
    }

    BOOL PurgeComm(THandle handle, DWORD flags) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        device->Purge(flags);
        return TRUE;
    }

    BOOL EscapeCommFunction(THandle handle, DWORD function) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        DWORD error = ERROR_SUCCESS;
        return device->Escape(function, error) ? TRUE : Fail(error);
    }

    BOOL CancelIoEx(THandle handle, TOverlapped* overlapped) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        return device->Cancel(overlapped) ? TRUE : Fail(ERROR_NOT_FOUND);
    }

    BOOL CloseHandle(THandle handle) override {
        auto* device = Device(handle);
        if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
        delete device;
        return TRUE;
    }

    DWORD GetLastError() override { return tLastError; }

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
};

}  // namespace

TCommApi& PlatformComm() {
    static TPosixComm comm;
    return comm;
}

}  // namespace qmx
