#include "driver/win32/boundary_errors.h"

#include <cstdlib>
#include <cstring>

#include "driver/abstract_error.h"
#include "serial/serial_errors.h"

namespace qmx {
namespace {

// The message of the last error raised on this thread.
thread_local char tMessage[512];

void StoreMessage(const char* message) {
    std::strncpy(tMessage, message != nullptr ? message : "", sizeof tMessage - 1);
    tMessage[sizeof tMessage - 1] = '\0';
}

}  // namespace

DWORD CodeOf(const std::exception& error) {
    // Most derived classes first.
    if (dynamic_cast<const EPortNotOpen*>(&error)) return kCodePortNotOpen;
    if (dynamic_cast<const EBufferIsEmpty*>(&error)) return kCodeBufferIsEmpty;
    if (dynamic_cast<const EOutputBufferTooSmall*>(&error)) return kCodeOutputBufferTooSmall;
    if (dynamic_cast<const EOpenPortFail*>(&error)) return kCodeOpenPortFail;
    if (dynamic_cast<const ENotSupported*>(&error)) return kCodeNotSupported;
    if (dynamic_cast<const ESerialIO*>(&error)) return kCodeSerialIO;
    if (dynamic_cast<const EAbstractError*>(&error)) return kCodeAbstractError;
    return kCodeInternalError;
}

bool RunCoreCall(void (*body)(void*), void* context, TBoundaryFailure& failure) noexcept {
    try {
        body(context);
        return true;
    } catch (const EHostFault& fault) {
        failure.FromHost = true;
        failure.Host = fault.Fault();
    } catch (const std::exception& error) {
        failure.Code = CodeOf(error);
        StoreMessage(error.what());
    } catch (...) {
        failure.Code = kCodeInternalError;
        StoreMessage("Unknown error");
    }
    return false;
}

void RaiseFailure(const TBoundaryFailure& failure) {
    if (failure.FromHost) RaiseAgain(failure.Host);
    const ULONG_PTR message = reinterpret_cast<ULONG_PTR>(&tMessage[0]);
    RaiseException(failure.Code, EXCEPTION_NONCONTINUABLE, 1, &message);
    std::abort();
}

}  // namespace qmx
