#include "serial/device_comm.h"

namespace qmx {
namespace {

// As the Win32 calls keep it: each thread its own.
thread_local DWORD tLastError = ERROR_SUCCESS;

void Complete(TOverlapped* overlapped, DWORD error, DWORD transferred) {
    if (overlapped == nullptr) return;
    overlapped->Internal = error;
    overlapped->InternalHigh = transferred;
}

}  // namespace

TCommDevice* TDeviceComm::DeviceOf(THandle handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<TCommDevice*>(handle);
}

BOOL TDeviceComm::Fail(DWORD error) {
    tLastError = error;
    return FALSE;
}

DWORD TDeviceComm::GetLastError() { return tLastError; }

BOOL TDeviceComm::SetupComm(THandle handle, DWORD inQueue, DWORD) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    return device->Setup(inQueue, error) ? TRUE : Fail(error);
}

BOOL TDeviceComm::GetCommState(THandle handle, TDcb* dcb) {
    auto* device = DeviceOf(handle);
    if (device == nullptr || dcb == nullptr) return Fail(ERROR_INVALID_HANDLE);
    device->GetState(*dcb);
    return TRUE;
}

BOOL TDeviceComm::SetCommState(THandle handle, TDcb* dcb) {
    auto* device = DeviceOf(handle);
    if (device == nullptr || dcb == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    return device->SetState(*dcb, error) ? TRUE : Fail(error);
}

BOOL TDeviceComm::SetCommMask(THandle handle, DWORD mask) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    device->SetMask(mask);
    return TRUE;
}

BOOL TDeviceComm::SetCommTimeouts(THandle handle, TCommTimeouts* timeouts) {
    auto* device = DeviceOf(handle);
    if (device == nullptr || timeouts == nullptr) return Fail(ERROR_INVALID_HANDLE);
    device->SetTimeouts(*timeouts);
    return TRUE;
}

BOOL TDeviceComm::WaitCommEvent(THandle handle, DWORD* mask, TOverlapped* overlapped) {
    auto* device = DeviceOf(handle);
    if (device == nullptr || mask == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    const bool ok = device->WaitEvent(*mask, overlapped, error);
    Complete(overlapped, ok ? ERROR_SUCCESS : error, 0);
    return ok ? TRUE : Fail(error);
}

BOOL TDeviceComm::ReadFile(THandle handle, void* buffer, DWORD count, DWORD* read, TOverlapped* overlapped) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD got = 0, error = ERROR_SUCCESS;
    const bool ok = device->Read(buffer, count, got, error);
    if (read != nullptr) *read = got;
    Complete(overlapped, ok ? ERROR_SUCCESS : error, got);
    return ok ? TRUE : Fail(error);
}

BOOL TDeviceComm::WriteFile(THandle handle, const void* buffer, DWORD count, DWORD* written,
                            TOverlapped* overlapped) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD put = 0, error = ERROR_SUCCESS;
    const bool ok = device->Write(buffer, count, overlapped, put, error);
    if (written != nullptr) *written = put;
    Complete(overlapped, ok ? ERROR_SUCCESS : error, put);
    return ok ? TRUE : Fail(error);
}

BOOL TDeviceComm::GetOverlappedResult(THandle handle, TOverlapped* overlapped, DWORD* transferred, BOOL) {
    // Every operation has completed already; its outcome stands in the record.
    if (DeviceOf(handle) == nullptr || overlapped == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    const auto error = static_cast<DWORD>(overlapped->Internal);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL TDeviceComm::ClearCommError(THandle handle, DWORD* errors, TComStat* stat) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD bits = 0;
    TComStat status{};
    device->Status(bits, status);
    if (errors != nullptr) *errors = bits;
    if (stat != nullptr) *stat = status;
    return TRUE;
}

BOOL TDeviceComm::PurgeComm(THandle handle, DWORD flags) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    device->Purge(flags);
    return TRUE;
}

BOOL TDeviceComm::EscapeCommFunction(THandle handle, DWORD function) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DWORD error = ERROR_SUCCESS;
    return device->Escape(function, error) ? TRUE : Fail(error);
}

BOOL TDeviceComm::CancelIoEx(THandle handle, TOverlapped* overlapped) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    return device->Cancel(overlapped) ? TRUE : Fail(ERROR_NOT_FOUND);
}

BOOL TDeviceComm::CloseHandle(THandle handle) {
    auto* device = DeviceOf(handle);
    if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
    delete device;
    return TRUE;
}

}  // namespace qmx
