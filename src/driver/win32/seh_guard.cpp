#include "driver/win32/seh_guard.h"

#include <cstdlib>

extern "C" void qmxRtlUnwindPreserving(void* targetFrame, EXCEPTION_RECORD* record);

namespace qmx {
namespace {

// The first two words are the registration record the system walks: the
// previous record, then the handler.
struct TGuardFrame {
    TGuardFrame* Previous;
    void* Handler;
    void* Resume[5];  // __builtin_setjmp buffer
    THostFault* Fault;
};

// The thread information block holds the head of the exception chain; its
// own address stands at FS:[0x18].
NT_TIB* ThreadInformationBlock() {
    NT_TIB* tib;
    asm volatile("movl %%fs:0x18, %0" : "=r"(tib));
    return tib;
}

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisher,
                                                      CONTEXT* /*context*/, void* /*dispatcher*/) {
    // During an unwind that passes through us there is nothing to undo.
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
        return ExceptionContinueSearch;

    auto* volatile frame = static_cast<TGuardFrame*>(establisher);
    THostFault& fault = *frame->Fault;
    fault.Code = record->ExceptionCode;
    fault.Flags = record->ExceptionFlags;
    fault.ParameterCount = record->NumberParameters > EXCEPTION_MAXIMUM_PARAMETERS
                               ? EXCEPTION_MAXIMUM_PARAMETERS
                               : record->NumberParameters;
    for (DWORD i = 0; i < fault.ParameterCount; ++i)
        fault.Parameters[i] = record->ExceptionInformation[i];

    // Runs the unwind handlers of every frame above ours (the host's
    // finally blocks) and leaves ours at the head of the chain. RtlUnwind
    // does not keep EBX, ESI and EDI on x86, so it is called through a shim
    // that does.
    qmxRtlUnwindPreserving(frame, record);
    __builtin_longjmp(frame->Resume, 1);
}

}  // namespace

__attribute__((noinline)) bool RunGuarded(TGuardedCall call, void* context, THostFault& fault) {
    TGuardFrame frame{};
    frame.Handler = reinterpret_cast<void*>(&GuardHandler);
    frame.Fault = &fault;
    NT_TIB* tib = ThreadInformationBlock();
    frame.Previous = static_cast<TGuardFrame*>(static_cast<void*>(tib->ExceptionList));
    if (__builtin_setjmp(frame.Resume) == 0) {
        tib->ExceptionList = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(&frame);
        call(context);
        tib->ExceptionList = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(frame.Previous);
        return true;
    }
    tib = ThreadInformationBlock();
    tib->ExceptionList = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(frame.Previous);
    return false;
}

void RaiseAgain(const THostFault& fault) {
    RaiseException(fault.Code, fault.Flags & EXCEPTION_NONCONTINUABLE, fault.ParameterCount,
                   fault.ParameterCount != 0 ? fault.Parameters : nullptr);
    // A handler that resumes a non-continuable exception gets another one;
    // control never comes back here.
    std::abort();
}

}  // namespace qmx
