#pragma once

// A structured-exception guard for calls into the host. The host reports its
// errors as Win32 structured exceptions, which C++ cannot catch here; the
// guard registers a frame on the thread's exception chain for the span of
// one call, and when an exception reaches it, unwinds the host's frames and
// resumes after the call with the exception's record in hand.

#include <windows.h>

namespace qmx {

// What is kept of a structured exception: enough to raise it again.
struct THostFault {
    DWORD Code = 0;
    DWORD Flags = 0;
    DWORD ParameterCount = 0;
    ULONG_PTR Parameters[EXCEPTION_MAXIMUM_PARAMETERS] = {};
};

using TGuardedCall = void (*)(void* context);

// Runs call(context). True when it returned; false when a structured
// exception left it, with the exception's record in `fault`.
// The frames between the guard and the raise are abandoned, not unwound by
// C++: `call` must hold no object that needs destruction when it calls out.
bool RunGuarded(TGuardedCall call, void* context, THostFault& fault);

// Raises the same exception again.
[[noreturn]] void RaiseAgain(const THostFault& fault);

}  // namespace qmx
