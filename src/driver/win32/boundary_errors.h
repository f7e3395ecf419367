#pragma once

// Errors at the DLL's edge. No C++ exception crosses into the host: every
// entry point runs the core inside RunCore, which turns whatever it raised
// into a plain record, and then, from a frame holding no C++ object, raises
// it as a structured exception the host can catch.

#include <windows.h>

#include <cstdint>
#include <exception>

#include "driver/win32/seh_guard.h"

namespace qmx {

// Exception codes, one per error class. The single parameter is the address
// of the NUL-terminated code page 1251 message, valid until the next error
// raised on the same thread.
constexpr DWORD kCodeSerialIO = 0xE0515800;
constexpr DWORD kCodeNotSupported = 0xE0515801;
constexpr DWORD kCodeOpenPortFail = 0xE0515802;
constexpr DWORD kCodeOutputBufferTooSmall = 0xE0515804;
constexpr DWORD kCodeBufferIsEmpty = 0xE0515805;
constexpr DWORD kCodePortNotOpen = 0xE0515806;
constexpr DWORD kCodeAbstractError = 0xE0515810;
constexpr DWORD kCodeInternalError = 0xE05158FF;

// A host exception carried through the driver's own C++ frames: raised by
// the guard around a host call, and raised again as it was at the entry
// point, unless the core absorbed it on the way.
class EHostFault : public std::exception {
public:
    explicit EHostFault(const THostFault& fault) : FFault(fault) {}
    const THostFault& Fault() const { return FFault; }
    const char* what() const noexcept override { return "host exception"; }

private:
    THostFault FFault;
};

// What an entry point keeps of a failure until it raises it.
struct TBoundaryFailure {
    bool FromHost = false;
    THostFault Host;  // FromHost: the host's own exception
    DWORD Code = 0;   // otherwise: ours, with the message in thread storage
};

// The class's code and its message, stored for the thread.
DWORD CodeOf(const std::exception& error);

// Runs body(context); false when it raised, the failure recorded.
bool RunCoreCall(void (*body)(void*), void* context, TBoundaryFailure& failure) noexcept;

template <class F>
bool RunCore(F& body, TBoundaryFailure& failure) noexcept {
    return RunCoreCall([](void* f) { (*static_cast<F*>(f))(); }, &body, failure);
}

template <class F>
bool RunCore(F&& body, TBoundaryFailure& failure) noexcept {
    return RunCore(body, failure);
}

[[noreturn]] void RaiseFailure(const TBoundaryFailure& failure);

}  // namespace qmx
