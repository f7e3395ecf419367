#pragma once

// The comm layer's calls on a device, written once for every kind of line:
// each handle is a TCommDevice, and each call forwards to it and completes
// at once, its outcome left in the OVERLAPPED record. A backend adds how
// its devices are opened, and its clock.

#include "serial/comm_api.h"
#include "serial/comm_device.h"

namespace qmx {

class TDeviceComm : public TCommApi {
public:
    BOOL SetupComm(THandle device, DWORD inQueue, DWORD outQueue) override;
    BOOL GetCommState(THandle device, TDcb* dcb) override;
    BOOL SetCommState(THandle device, TDcb* dcb) override;
    BOOL SetCommMask(THandle device, DWORD mask) override;
    BOOL SetCommTimeouts(THandle device, TCommTimeouts* timeouts) override;
    BOOL WaitCommEvent(THandle device, DWORD* mask, TOverlapped* overlapped) override;
    BOOL ReadFile(THandle device, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) override;
    BOOL WriteFile(THandle device, const void* buffer, DWORD count, DWORD* written,
                   TOverlapped* overlapped) override;
    BOOL GetOverlappedResult(THandle device, TOverlapped* overlapped, DWORD* transferred, BOOL wait) override;
    BOOL ClearCommError(THandle device, DWORD* errors, TComStat* stat) override;
    BOOL PurgeComm(THandle device, DWORD flags) override;
    BOOL EscapeCommFunction(THandle device, DWORD function) override;
    BOOL CancelIoEx(THandle device, TOverlapped* overlapped) override;
    BOOL CloseHandle(THandle device) override;
    DWORD GetLastError() override;

protected:
    // The handle of a device this backend opened, and the device of a handle
    // (null for none).
    static THandle HandleOf(TCommDevice* device) { return device; }
    static TCommDevice* DeviceOf(THandle handle);
    // FALSE, with `error` as the calling thread's last error.
    static BOOL Fail(DWORD error);
};

}  // namespace qmx
