#pragma once

// Calls into the host's objects by position: the object's first word points
// to its table of stdcall entry points; every argument is 32 bits. Each call
// runs under the structured-exception guard, and a host exception comes back
// as EHostFault.

#include <windows.h>

#include <cstdint>
#include <initializer_list>

#include "driver/win32/boundary_errors.h"
#include "driver/win32/seh_guard.h"

namespace qmx {

using TWord = std::uint32_t;

template <class TEntry>
inline TEntry Slot(void* host, int slot) {
    return reinterpret_cast<TEntry>((*static_cast<void***>(host))[slot]);
}

inline TWord Word(const void* pointer) { return static_cast<TWord>(reinterpret_cast<std::uintptr_t>(pointer)); }

// One call of a host slot with up to eight argument words after the object.
struct TSlotCall {
    void* Host;
    int Slot;
    TWord Words[8];
    TWord Result;
};

template <int Count>
void InvokeSlot(void* context) {
    auto& call = *static_cast<TSlotCall*>(context);
    const TWord* w = call.Words;
    if constexpr (Count == 0) {
        call.Result = Slot<TWord(__stdcall*)(void*)>(call.Host, call.Slot)(call.Host);
    } else if constexpr (Count == 1) {
        call.Result = Slot<TWord(__stdcall*)(void*, TWord)>(call.Host, call.Slot)(call.Host, w[0]);
    } else if constexpr (Count == 2) {
        call.Result = Slot<TWord(__stdcall*)(void*, TWord, TWord)>(call.Host, call.Slot)(call.Host, w[0], w[1]);
    } else if constexpr (Count == 3) {
        call.Result = Slot<TWord(__stdcall*)(void*, TWord, TWord, TWord)>(call.Host, call.Slot)(
            call.Host, w[0], w[1], w[2]);
    } else if constexpr (Count == 4) {
        call.Result = Slot<TWord(__stdcall*)(void*, TWord, TWord, TWord, TWord)>(call.Host, call.Slot)(
            call.Host, w[0], w[1], w[2], w[3]);
    } else if constexpr (Count == 6) {
        call.Result = Slot<TWord(__stdcall*)(void*, TWord, TWord, TWord, TWord, TWord, TWord)>(
            call.Host, call.Slot)(call.Host, w[0], w[1], w[2], w[3], w[4], w[5]);
    } else if constexpr (Count == 8) {
        call.Result = Slot<TWord(__stdcall*)(void*, TWord, TWord, TWord, TWord, TWord, TWord, TWord, TWord)>(
            call.Host, call.Slot)(call.Host, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    }
}

// Calls the slot under the guard; a host exception continues as EHostFault.
template <int Count>
TWord CallSlot(void* host, int slot, std::initializer_list<TWord> words) {
    TSlotCall call{host, slot, {}, 0};
    int i = 0;
    for (TWord word : words) call.Words[i++] = word;
    THostFault fault;
    if (!RunGuarded(&InvokeSlot<Count>, &call, fault)) throw EHostFault(fault);
    return call.Result;
}


}  // namespace qmx
