#include "driver_calls.h"

#include <cstdio>

#include "driver/win32/seh_guard.h"

namespace qmx::host {
namespace {

constexpr DWORD kDriverCodeMask = 0xFFFFFF00;
constexpr DWORD kDriverCodes = 0xE0515800;
// The link state as a host reads it from GetState's low byte: 1 is a valid
// answer. The host knows the contract, not the driver's headers.
constexpr TWord kValidAnswer = 1;

using TGetSiloEx = void*(__stdcall*)(void*, TWord);

template <class TEntry>
TEntry Slot(void* silo, int slot) {
    return reinterpret_cast<TEntry>((*static_cast<void* const* const*>(silo))[slot]);
}

// Runs `body`; what it raised, when it did. The message lives only until the
// driver's next error on this thread: it is copied at once. `body` holds no
// object that needs destruction (the guard abandons its frames).
template <class F>
std::optional<TDriverError> Guarded(F& body) {
    THostFault fault;
    if (RunGuarded([](void* f) { (*static_cast<F*>(f))(); }, &body, fault)) return std::nullopt;
    TDriverError error{fault.Code, {}};
    if ((fault.Code & kDriverCodeMask) == kDriverCodes && fault.ParameterCount >= 1 && fault.Parameters[0] != 0)
        error.Message = reinterpret_cast<const char*>(fault.Parameters[0]);
    return error;
}

}  // namespace

bool TDriver::Load() {
    HMODULE driver = LoadLibraryA("DriverQuelmarox.dll");
    FGetSiloEx = driver != nullptr ? reinterpret_cast<void*>(GetProcAddress(driver, "GetSiloEx")) : nullptr;
    return FGetSiloEx != nullptr;
}

TCallResult<void*> TDriver::NewSilo(void* hostService) {
    struct {
        TGetSiloEx Factory;
        void* Service;
        void* Silo;
        void operator()() { Silo = Factory(Service, 0); }
    } call{reinterpret_cast<TGetSiloEx>(FGetSiloEx), hostService, nullptr};
    TCallResult<void*> result;
    if (auto error = Guarded(call))
        result.Error = *error;
    else
        result.Value = call.Silo;
    return result;
}

std::optional<TDriverError> TDriver::InstallMenu(void* silo, void* menuItem) {
    struct {
        void* Silo;
        void* Item;
        void operator()() { Slot<void(__stdcall*)(void*, void*, TWord)>(Silo, 15)(Silo, Item, 0); }
    } call{silo, menuItem};
    return Guarded(call);
}

TCallResult<TTankReading> TDriver::ReadTank(void* silo, TWord tankIndex) {
    // Slot 9 GetLevel, 4 GetState, 10 GetTemperatures, 12 GetDensity.
    struct {
        void* Silo;
        TWord Index;
        TTankReading Values;
        void operator()() {
            const auto valid = [this] { return (Slot<TWord(__stdcall*)(void*)>(Silo, 4)(Silo) & 0xFF) == kValidAnswer; };
            const double level = Slot<double(__stdcall*)(void*, TWord)>(Silo, 9)(Silo, Index);
            if (!valid()) return;
            Values.Level = level;
            double temperatures[4] = {};
            Slot<void(__stdcall*)(void*, TWord, double*)>(Silo, 10)(Silo, Index, temperatures);
            if (valid()) Values.Temperature = temperatures[0];
            const double density = Slot<double(__stdcall*)(void*, TWord)>(Silo, 12)(Silo, Index);
            if (valid()) Values.Density = density;
        }
    } call{silo, tankIndex, {}};
    call.Values.Tank = static_cast<int>(tankIndex + 1);
    TCallResult<TTankReading> result;
    if (auto error = Guarded(call))
        result.Error = *error;
    else
        result.Value = call.Values;
    return result;
}

std::string DescribeError(const TDriverError& error) {
    if (!error.Message.empty()) return error.Message;
    char text[64];
    std::snprintf(text, sizeof text, "Исключение 0x%08lX", static_cast<unsigned long>(error.Code));
    return text;
}

}  // namespace qmx::host
