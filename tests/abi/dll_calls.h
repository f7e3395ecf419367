#pragma once

// Calling the DLL as a host does: by export name, by slot position, by the
// method references it hands out, with the stack checked after each call,
// and catching the structured exceptions it raises.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "driver/win32/seh_guard.h"

extern "C" {
struct TCallResult {
    std::uint32_t Eax;
    std::uint32_t Edx;
    std::int32_t StackDelta;
    double St0;
};
static_assert(offsetof(TCallResult, St0) == 16, "call_checked.S stores the double there");
void qmxCallChecked(const void* entry, const std::uint32_t* words, int count, int returnsDouble,
                    TCallResult* out);
void qmxCallRegister(const void* entry, std::uint32_t eax, std::uint32_t edx, TCallResult* out);
}

namespace qmx::abi {

using TWord = std::uint32_t;

inline TWord Word(const void* pointer) {
    return static_cast<TWord>(reinterpret_cast<std::uintptr_t>(pointer));
}

HMODULE Driver();
const void* Export(const char* name);

TCallResult CallEntry(const void* entry, std::initializer_list<TWord> words, bool returnsDouble = false);

inline const void* const* TableOf(const void* object) {
    return *static_cast<const void* const* const*>(object);
}

// Calls slot `slot` with the silo first and `arguments` after it.
TCallResult CallSlot(void* silo, int slot, std::initializer_list<TWord> arguments,
                     bool returnsDouble = false);

// The factories; the stack is checked by the caller through `call`.
void* NewSiloEx3(void* host, TWord number, TWord flag, TCallResult* call = nullptr);
void* NewSiloEx(void* host, TCallResult* call = nullptr);

// Destroys through the entry before slot 0 (object in EAX, flag in EDX).
TCallResult DestroySilo(void* silo);

// What a structured exception carried, when one was raised.
struct TRaised {
    bool Raised = false;
    THostFault Fault;
    std::string Message() const {
        return Fault.ParameterCount >= 1 ? reinterpret_cast<const char*>(Fault.Parameters[0]) : "";
    }
};

template <class F>
TRaised Catch(F body) {
    TRaised raised;
    raised.Raised = !RunGuarded([](void* f) { (*static_cast<F*>(f))(); }, &body, raised.Fault);
    return raised;
}

}  // namespace qmx::abi
