#include "driver/win32/host_service_proxy.h"

#include <windows.h>

#include "driver/win32/boundary_errors.h"
#include "driver/win32/seh_guard.h"

namespace qmx {
namespace {

using TWord = std::uint32_t;

template <class TEntry>
TEntry Slot(void* host, int slot) {
    return reinterpret_cast<TEntry>((*static_cast<void***>(host))[slot]);
}

TWord Word(const void* pointer) { return static_cast<TWord>(reinterpret_cast<std::uintptr_t>(pointer)); }

// One call of a host slot with up to eight argument words after the service.
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
    if constexpr (Count == 1) {
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

}  // namespace

std::uint8_t THostServiceProxy::GetLineState(std::uint8_t lineAddress) {
    // The link state comes back in AL; the rest of EAX is undefined.
    return static_cast<std::uint8_t>(CallSlot<1>(FHost, kSlotGetLineState, {lineAddress}));
}

void THostServiceProxy::SetAnswerCheck(std::uint8_t blockIndex, std::uint8_t address,
                                       TAnswerCheck /*check*/) {
    // The only check a silo installs is its own: the host gets the entry
    // point that reaches it, bound to the silo object it knows.
    CallSlot<4>(FHost, kSlotSetAnswerCheck,
                {blockIndex, address, Word(FEntries.CheckAnswer), Word(FEntries.SiloObject)});
}

std::int32_t THostServiceProxy::Exchange(std::uint8_t blockIndex, std::uint8_t address,
                                         std::uint8_t answerAddress, const std::uint8_t* frame,
                                         std::uint8_t frameLength, std::uint8_t* answer,
                                         std::uint8_t expectedLength, std::int32_t reserved) {
    return static_cast<std::int32_t>(CallSlot<8>(
        FHost, kSlotExchange,
        {blockIndex, address, answerAddress, Word(frame), frameLength, Word(answer), expectedLength,
         static_cast<TWord>(reserved)}));
}

void THostServiceProxy::SetLineParams(std::uint8_t lineAddress, std::int32_t p1,
                                      std::int32_t baudRate, std::int32_t p3, std::int32_t p4,
                                      std::int32_t p5) {
    CallSlot<6>(FHost, kSlotSetLineParams,
                {lineAddress, static_cast<TWord>(p1), static_cast<TWord>(baudRate),
                 static_cast<TWord>(p3), static_cast<TWord>(p4), static_cast<TWord>(p5)});
}

void THostServiceProxy::RegisterLineSetup(std::uint8_t lineAddress, TLineSetup /*setup*/) {
    CallSlot<3>(FHost, kSlotRegisterLineSetup,
                {lineAddress, Word(FEntries.ConfigureLine), Word(FEntries.SiloObject)});
}

void THostServiceProxy::ReportAnswerStatus(std::uint8_t blockIndex, std::uint8_t status) {
    CallSlot<2>(FHost, kSlotReportAnswerStatus, {blockIndex, status});
}

}  // namespace qmx
