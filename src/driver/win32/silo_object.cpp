// The silo's operation table as the host calls it: stdcall, the silo first,
// every argument 32 bits with 8-bit values in the low byte, the callee
// removing its arguments, doubles on the floating-point stack. Every entry
// runs the core inside RunCore and raises what it reported only after the
// core's frames have returned.

#include "driver/win32/silo_object.h"

#include <windows.h>

#include <cstddef>
#include <exception>
#include <stdexcept>

#include "driver/live_silos.h"
#include "driver/win32/boundary_errors.h"
#include "driver/win32/class_header.h"
#include "driver/win32/host_menu_proxy.h"
#include "driver/win32/native_menu.h"
#include "ui/application.h"

namespace qmx {
namespace {

using TWord = std::uint32_t;

std::uint8_t Low8(TWord word) { return static_cast<std::uint8_t>(word); }

TWord WordOf(const void* pointer) { return static_cast<TWord>(reinterpret_cast<std::uintptr_t>(pointer)); }

// Runs `body` on the silo's core and raises its failure at the host's edge.
template <class F>
void Run(F body) {
    TBoundaryFailure failure;
    if (!RunCore(body, failure)) RaiseFailure(failure);
}

__attribute__((regparm(3))) void DestroyEntry(TSiloObject* self, TWord /*outermost*/) {
    // The destructor raises nothing: stopping a port only waits for its
    // threads. Should anything escape all the same, the host gets it.
    Run([&] {
        RemoveNativeEntry(self);
        delete self;
    });
}

void __stdcall Abstract0Entry(TSiloObject* self) {
    Run([&] { self->Core.Abstract0(); });
}

void __stdcall Abstract1Entry(TSiloObject* self) {
    Run([&] { self->Core.Abstract1(); });
}

void __stdcall GetDescriptionEntry(std::uint8_t* result, TSiloObject* self) {
    if (result != nullptr) self->Core.GetDescription(result);
}

void __stdcall SetStateEntry(TSiloObject* self, TWord state) { self->Core.SetState(Low8(state)); }

TWord __stdcall GetStateEntry(TSiloObject* self) { return self->Core.GetState(); }

void __stdcall SetupCommBlockEntry(TSiloObject* self, TWord argument) {
    Run([&] { self->Core.SetupCommBlock(Low8(argument)); });
}

void __stdcall NoOpEntry(TSiloObject* self) { self->Core.NoOp(); }

void __stdcall NoOpWithArgumentEntry(TSiloObject* self, TWord argument) {
    self->Core.NoOpWithArgument(static_cast<std::int32_t>(argument));
}

TWord __stdcall ReturnZeroEntry(TSiloObject* self) {
    return static_cast<TWord>(self->Core.ReturnZero());
}

double __stdcall GetLevelEntry(TSiloObject* self, TWord tank) {
    double level = 0.0;
    Run([&] { level = self->Core.GetLevel(Low8(tank)); });
    return level;
}

void __stdcall GetTemperaturesEntry(TSiloObject* self, TWord tank, double* record) {
    Run([&] { self->Core.GetTemperatures(Low8(tank), record); });
}

TWord __stdcall GetAuxValueEntry(TSiloObject* self, TWord tank) {
    std::uint8_t value = 0;
    Run([&] { value = self->Core.GetAuxValue(Low8(tank)); });
    return value;
}

double __stdcall GetDensityEntry(TSiloObject* self, TWord tank) {
    double density = 0.0;
    Run([&] { density = self->Core.GetDensity(Low8(tank)); });
    return density;
}

void __stdcall ClearWordPairEntry(TSiloObject* self, TWord argument, std::uint16_t* pair) {
    self->Core.ClearWordPair(static_cast<std::int32_t>(argument), pair);
}

double __stdcall ReturnZeroRealEntry(TSiloObject* self, TWord argument) {
    return self->Core.ReturnZeroReal(static_cast<std::int32_t>(argument));
}

// Method references handed to the host: stdcall, the silo object first.
// Each runs the code of the reference the core handed out, the one that
// asks whether the silo is still alive, on the core of the object the host
// passes: its address is computed, nothing of a silo that is gone is read.

void __stdcall ConfigureLineEntry(TSiloObject* self, TWord argument) {
    Run([&] { TReachSilo<&TSilo::ConfigureLine>::Call(&self->Core, Low8(argument)); });
}

TWord __stdcall CheckAnswerEntry(TSiloObject* self, TWord address, const std::uint8_t* answer,
                                 TWord value, std::uint8_t* received, std::uint8_t* expected) {
    if (received == nullptr || expected == nullptr) return FALSE;
    bool valid = false;
    Run([&] {
        valid = TReachSilo<&TSilo::CheckAnswer>::Call(&self->Core, Low8(address), answer,
                                                      static_cast<std::int32_t>(value), *received, *expected);
    });
    // A Boolean: AL is 1 or 0.
    return valid ? TRUE : FALSE;
}

// The settings entry's click handler, handed to the host's menu item.
void __stdcall SettingsClickEntry(TSiloObject* self, void* /*sender*/) {
    Run([&] { TReachSilo<&TSilo::SettingsClick>::Call(&self->Core, nullptr); });
}

// The native entry's click, from the library's own window procedure: no
// code of the host's waits above it to catch an error, so the error is
// shown, as a toolkit shows what a click handler raised.
void NativeSettingsClick(void* silo) {
    auto* self = static_cast<TSiloObject*>(silo);
    try {
        TReachSilo<&TSilo::SettingsClick>::Call(&self->Core, nullptr);
    } catch (const std::exception& error) {
        Application().ShowMessageBox(error.what(), "Ошибка", kMbIconStop);
    } catch (...) {
        Application().ShowMessageBox("Unknown error", "Ошибка", kMbIconStop);
    }
}

template <auto Method>
const void* CodeOf() {
    return reinterpret_cast<const void*>(&TReachSilo<Method>::Call);
}

// The host's pair for a reference the core hands out: the entry point that
// runs the same code, with the silo object the host knows.
THostPair PairOf(void* siloObject, const void* code, void* object) {
    auto* self = static_cast<TSiloObject*>(siloObject);
    const struct {
        const void* Code;
        const void* Entry;
    } entries[] = {
        {CodeOf<&TSilo::CheckAnswer>(), reinterpret_cast<const void*>(&CheckAnswerEntry)},
        {CodeOf<&TSilo::ConfigureLine>(), reinterpret_cast<const void*>(&ConfigureLineEntry)},
        {CodeOf<&TSilo::SettingsClick>(), reinterpret_cast<const void*>(&SettingsClickEntry)},
    };
    for (const auto& entry : entries)
        if (entry.Code == code && object == &self->Core) return THostPair{WordOf(entry.Entry), WordOf(self)};
    throw std::logic_error("a method reference the library's edge cannot hand to the host");
}

void __stdcall InstallMenuEntry(TSiloObject* self, void* menuItem, TWord argument) {
    Run([&] {
        const auto ignored = static_cast<std::int32_t>(argument);
        if (menuItem == nullptr) {
            self->Core.InstallMenu(nullptr, ignored);
        } else if (HasMenuTableTag(menuItem)) {
            THostMenuItem item(menuItem, TSiloEntries{self, &PairOf});
            self->Core.InstallMenu(&item, ignored);
        } else if (self->Core.TakeMenuOffer()) {
            // A toolkit's menu item: its main menu is a native menu bar.
            InstallNativeEntry(self, self->Core.MenuCaption(), &NativeSettingsClick);
        }
    });
}

// The class header of the host's class library (the destructor entry is
// its last word), then slots 0 to 15.
struct TSiloClass {
    TClassHeader Header;
    const void* Slots[16];
};
static_assert(offsetof(TSiloClass, Slots) == sizeof(TClassHeader), "slot 0 follows the header");

constexpr std::uint8_t kClassName[] = {5, 'T', 'S', 'i', 'l', 'o'};

const TSiloClass kSiloClass{
    MakeClassHeader(&kSiloClass.Slots[0], kClassName, sizeof(TSiloObject),
                    reinterpret_cast<const void*>(&DestroyEntry)),
    {
        reinterpret_cast<const void*>(&Abstract0Entry),
        reinterpret_cast<const void*>(&Abstract1Entry),
        reinterpret_cast<const void*>(&GetDescriptionEntry),
        reinterpret_cast<const void*>(&SetStateEntry),
        reinterpret_cast<const void*>(&GetStateEntry),
        reinterpret_cast<const void*>(&SetupCommBlockEntry),
        reinterpret_cast<const void*>(&NoOpEntry),
        reinterpret_cast<const void*>(&NoOpWithArgumentEntry),
        reinterpret_cast<const void*>(&ReturnZeroEntry),
        reinterpret_cast<const void*>(&GetLevelEntry),
        reinterpret_cast<const void*>(&GetTemperaturesEntry),
        reinterpret_cast<const void*>(&GetAuxValueEntry),
        reinterpret_cast<const void*>(&GetDensityEntry),
        reinterpret_cast<const void*>(&ClearWordPairEntry),
        reinterpret_cast<const void*>(&ReturnZeroRealEntry),
        reinterpret_cast<const void*>(&InstallMenuEntry),
    },
};

}  // namespace

TSiloObject::TSiloObject(void* host, std::uint8_t connectionType, const std::string& tracePath)
    : Table(&kSiloClass.Slots[0]),
      Proxy(host, TSiloEntries{this, &PairOf}),
      Core(connectionType, host != nullptr ? &Proxy : nullptr,
           [tracePath](std::uint8_t portNumber) { return OpenTracedFramedPort(portNumber, tracePath); }) {}

TSiloObject::~TSiloObject() = default;

TSiloObject* NewSiloObject(void* host, std::uint8_t connectionType, const std::string& metricsDir,
                           const std::string& tracePath) {
    auto silo = std::make_unique<TSiloObject>(host, connectionType, tracePath);
    silo->Core.PublishMetrics(metricsDir);
    return silo.release();
}

}  // namespace qmx
