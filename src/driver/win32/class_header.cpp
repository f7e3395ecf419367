#include "driver/win32/class_header.h"

#include <windows.h>

namespace qmx {
namespace {

// GCC's regparm(3) is the class library's register convention for up to
// three arguments: EAX, EDX, ECX, nothing on the stack, the same registers
// kept. None of these reads or writes memory.

__attribute__((regparm(3))) HRESULT SafeCallException(void* /*self*/, void* /*exception*/, void* /*address*/) {
    return E_UNEXPECTED;
}

__attribute__((regparm(3))) void AfterConstruction(void* /*self*/) {}

__attribute__((regparm(3))) void BeforeDestruction(void* /*self*/) {}

__attribute__((regparm(3))) void Dispatch(void* /*self*/, void* /*message*/) {}

__attribute__((regparm(3))) void DefaultHandler(void* /*self*/, void* /*message*/) {}

__attribute__((regparm(3))) void* NewInstance(const void* /*classTable*/) { return nullptr; }

__attribute__((regparm(3))) void FreeInstance(void* /*self*/) {}

template <class F>
const void* Entry(F* function) {
    return reinterpret_cast<const void*>(function);
}

}  // namespace

TClassHeader MakeClassHeader(const void* slotZero, const std::uint8_t* shortName, std::size_t instanceSize,
                             const void* destroy) {
    TClassHeader header{};
    header.SelfPointer = slotZero;
    header.ClassName = shortName;
    header.InstanceSize = instanceSize;
    header.SafeCallException = Entry(&SafeCallException);
    header.AfterConstruction = Entry(&AfterConstruction);
    header.BeforeDestruction = Entry(&BeforeDestruction);
    header.Dispatch = Entry(&Dispatch);
    header.DefaultHandler = Entry(&DefaultHandler);
    header.NewInstance = Entry(&NewInstance);
    header.FreeInstance = Entry(&FreeInstance);
    header.Destroy = destroy;
    return header;
}

}  // namespace qmx
