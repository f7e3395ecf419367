// The comm layer on Windows: the system's own calls, unchanged, except
// CancelIoEx, which Windows XP lacks.

#include "serial/comm_api.h"

#include <memory>
#include <string>
#include <utility>

namespace qmx {
namespace {

using TCancelIoEx = BOOL(WINAPI*)(HANDLE device, OVERLAPPED* overlapped);

// Looked up at run time: an import of it would keep XP from loading the
// library at all.
TCancelIoEx SystemCancelIoEx() {
    static const TCancelIoEx cancel = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel != nullptr ? reinterpret_cast<TCancelIoEx>(
                                       reinterpret_cast<void*>(GetProcAddress(kernel, "CancelIoEx")))
                                 : nullptr;
    }();
    return cancel;
}

class TWin32Comm final : public TCommApi {
public:
    // `device`: the one device every port on this backend opens; empty
    // for the COM port each port names.
    explicit TWin32Comm(TCancelIoEx cancelIoEx, std::string device = {})
        : FCancelIoEx(cancelIoEx), FDevice(std::move(device)) {}

    THandle CreateFileA(const char* name, DWORD access, DWORD share, void* security, DWORD disposition,
                        DWORD flags, THandle templateFile) override {
        return ::CreateFileA(FDevice.empty() ? name : FDevice.c_str(), access, share, static_cast<LPSECURITY_ATTRIBUTES>(security), disposition,
                             flags, templateFile);
    }
    BOOL SetupComm(THandle device, DWORD inQueue, DWORD outQueue) override {
        return ::SetupComm(device, inQueue, outQueue);
    }
    BOOL GetCommState(THandle device, TDcb* dcb) override { return ::GetCommState(device, dcb); }
    BOOL SetCommState(THandle device, TDcb* dcb) override { return ::SetCommState(device, dcb); }
    BOOL SetCommMask(THandle device, DWORD mask) override { return ::SetCommMask(device, mask); }
    BOOL SetCommTimeouts(THandle device, TCommTimeouts* timeouts) override {
        return ::SetCommTimeouts(device, timeouts);
    }
    BOOL WaitCommEvent(THandle device, DWORD* mask, TOverlapped* overlapped) override {
        return ::WaitCommEvent(device, mask, overlapped);
    }
    BOOL ReadFile(THandle device, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) override {
        return ::ReadFile(device, buffer, count, read, overlapped);
    }
    BOOL WriteFile(THandle device, const void* buffer, DWORD count, DWORD* written,
                   TOverlapped* overlapped) override {
        return ::WriteFile(device, buffer, count, written, overlapped);
    }
    BOOL GetOverlappedResult(THandle device, TOverlapped* overlapped, DWORD* transferred, BOOL wait) override {
        return ::GetOverlappedResult(device, overlapped, transferred, wait);
    }
    BOOL ClearCommError(THandle device, DWORD* errors, TComStat* stat) override {
        return ::ClearCommError(device, errors, stat);
    }
    BOOL PurgeComm(THandle device, DWORD flags) override { return ::PurgeComm(device, flags); }
    BOOL EscapeCommFunction(THandle device, DWORD function) override {
        return ::EscapeCommFunction(device, function);
    }
    BOOL CancelIoEx(THandle device, TOverlapped* overlapped) override {
        if (FCancelIoEx != nullptr) return FCancelIoEx(device, overlapped);
        // XP: CancelIo ends only the calling thread's operations on the
        // handle; PurgeComm ends every pending overlapped read and write on
        // a comm handle, whichever thread started it. (A pending
        // WaitCommEvent is ended by SetCommMask, as the port does.)
        const BOOL own = ::CancelIo(device);
        const BOOL others = ::PurgeComm(device, PURGE_TXABORT | PURGE_RXABORT);
        return own || others ? TRUE : FALSE;
    }
    BOOL CloseHandle(THandle device) override { return ::CloseHandle(device); }
    DWORD GetLastError() override { return ::GetLastError(); }
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
    // GetTickCount moves in steps of the system tick (10 to 16 ms), too
    // coarse for the quiet spans the framed port measures; the performance
    // counter is as old as XP and fine.
    DWORD Milliseconds() override {
        LARGE_INTEGER frequency{}, counter{};
        if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0) return ::GetTickCount();
        ::QueryPerformanceCounter(&counter);
        const LONGLONG perSecond = frequency.QuadPart;
        const LONGLONG count = counter.QuadPart;
        return static_cast<DWORD>((count / perSecond) * 1000 + (count % perSecond) * 1000 / perSecond);
    }

    std::string LineName(std::uint16_t portNumber) override {
        return FDevice.empty() ? TCommApi::LineName(portNumber) : FDevice;
    }

private:
    TCancelIoEx FCancelIoEx;
    const std::string FDevice;
};

}  // namespace

TCommApi& PlatformComm() {
    static TWin32Comm comm(SystemCancelIoEx());
    return comm;
}

std::unique_ptr<TCommApi> PlatformCommFor(const std::string& device) {
    return std::make_unique<TWin32Comm>(SystemCancelIoEx(), device);
}

TCommApi& Win32CommAsOnXp() {
    static TWin32Comm comm(nullptr);
    return comm;
}

}  // namespace qmx
