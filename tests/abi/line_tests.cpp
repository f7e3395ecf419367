// The DLL on a line to the simulated gauge, as a station's host drives it:
// what a host sees when the gauge answers after the one-second wait.

#include <windows.h>

#include <cstdlib>

#include "dll_calls.h"
#include "harness.h"
#include "host_process.h"

namespace qmx::abi {
namespace {

// Slot positions of the silo's operation table.
constexpr int kGetState = 4;
constexpr int kGetLevel = 9;

// What line-gauge.ini gives tanks 20 and 21: tank 20 leaves its first two
// attempts unanswered and answers the third 35 ms after the driver's
// one-second wait; tank 21 leaves its first attempt unanswered.
constexpr TWord kLateTank = 19;  // tank 20
constexpr TWord kNextTank = 20;  // tank 21
constexpr double kLateTankLevel = 2000.20;
constexpr double kNextTankLevel = 2100.21;

// Run only by the line runner, which maps COM<QMX_LINE_PORT> to the gauge
// simulator with line-gauge.ini.
ABI_TEST(LineLateAnswerIsNeverTheNextTanksReading) {
    void* silo = SiloOnLine();
    if (silo == nullptr) return;
    // A round counts when the late answer did miss its wait (the timing of
    // a loaded machine may let it in); one such round is needed.
    int missedWaits = 0;
    for (int round = 0; round < 3 && missedWaits == 0; ++round) {
        const double late = CallSlot(silo, kGetLevel, {kLateTank}, true).St0;
        const TWord lateState = CallSlot(silo, kGetState, {}).Eax & 0xFF;
        const double next = CallSlot(silo, kGetLevel, {kNextTank}, true).St0;
        const TWord nextState = CallSlot(silo, kGetState, {}).Eax & 0xFF;
        std::printf("  round %d: tank 20 %.2f (link %u), tank 21 %.2f (link %u)\n", round + 1, late,
                    static_cast<unsigned>(lateState), next, static_cast<unsigned>(nextState));
        CHECK(next != kLateTankLevel);
        if (nextState == 1) CHECK_EQ(next, kNextTankLevel);
        if (lateState == 1) CHECK_EQ(late, kLateTankLevel);
        if (lateState == 3) {
            ++missedWaits;
            // Its own answer, at its second attempt.
            CHECK_EQ(nextState, 1u);
        }
    }
    CHECK(missedWaits > 0);
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
}

// Tanks 2 to 7 of line-gauge.ini answer every request 1.2 s after it:
// each answer arrives while the driver awaits the next request's, and the
// driver takes it for no request but its own.
ABI_TEST(LineLateGaugeGivesEachTankItsOwnLevel) {
    void* silo = SiloOnLine();
    if (silo == nullptr) return;
    int valid = 0;
    for (TWord index = 1; index <= 6; ++index) {
        const double level = CallSlot(silo, kGetLevel, {index}, true).St0;
        const TWord state = CallSlot(silo, kGetState, {}).Eax & 0xFF;
        const double own = (index + 1) * 100.01;
        std::printf("  tank %u: %.2f (link %u)\n", static_cast<unsigned>(index + 1), level,
                    static_cast<unsigned>(state));
        if (state != 1) continue;
        ++valid;
        CHECK(level > own - 0.005 && level < own + 0.005);
    }
    // Each tank's answer lands in its own second attempt.
    CHECK(valid > 0);
    // The gauge answers its backlog of late answers one by one; tank 1,
    // which answers at once, reads again once it is through.
    TWord state = 0;
    for (int attempt = 0; attempt < 6 && state != 1; ++attempt) {
        const double level = CallSlot(silo, kGetLevel, {0}, true).St0;
        state = CallSlot(silo, kGetState, {}).Eax & 0xFF;
        if (state == 1) CHECK(level > 1234.555 && level < 1234.565);
    }
    CHECK_EQ(state, 1u);
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
}

// Tank 10 of line-gauge.ini answers with 299 bytes that end in tank 11's
// whole answer: past the longest frame, so invalid, never tank 11's level.
ABI_TEST(LineOverLongAnswerIsNoTanksReading) {
    void* silo = SiloOnLine();
    if (silo == nullptr) return;
    const double flooded = CallSlot(silo, kGetLevel, {9}, true).St0;
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 3u);
    CHECK(flooded < 1100.105 || flooded > 1100.115);
    const double next = CallSlot(silo, kGetLevel, {10}, true).St0;
    CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);
    CHECK(next > 1100.105 && next < 1100.115);
    CHECK_EQ(DestroySilo(silo).StackDelta, 0);
}

// A station host reconfiguring its lines frees the library and loads it
// again. Each cycle: load, a silo on the line, a valid reading, destroy,
// unload. The first cycle lets the system start what it starts once.
ABI_TEST(ReloadOnLineLeavesNoThreadAndNoHandle) {
    const char* port = std::getenv("QMX_LINE_PORT");
    CHECK(port != nullptr);
    if (port == nullptr) return;
    int threadsBefore = 0;
    DWORD handlesBefore = 0, handles = 0;
    for (int cycle = 1; cycle <= 20; ++cycle) {
        HMODULE module = LoadLibraryA("DriverQuelmarox.dll");
        CHECK(module != nullptr);
        if (module == nullptr) return;
        const void* factory = reinterpret_cast<const void*>(GetProcAddress(module, "GetSiloEx3"));
        void* silo = reinterpret_cast<void*>(
            static_cast<std::uintptr_t>(CallEntry(factory, {0, static_cast<TWord>(std::atoi(port)), 0}).Eax));
        const double level = CallSlot(silo, kGetLevel, {0}, true).St0;
        CHECK_EQ(CallSlot(silo, kGetState, {}).Eax & 0xFF, 1u);
        CHECK(level > 1234.555 && level < 1234.565);
        DestroySilo(silo);
        for (int i = 0; i < 4 && GetModuleHandleA("DriverQuelmarox.dll") != nullptr; ++i) FreeLibrary(module);
        CHECK(GetModuleHandleA("DriverQuelmarox.dll") == nullptr);
        if (cycle == 1) {
            threadsBefore = ThreadsOfThisProcess();
            GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
        }
    }
    // An ended thread may linger in the system's list for a moment.
    for (int wait = 0; wait < 40 && ThreadsOfThisProcess() != threadsBefore; ++wait) Sleep(50);
    CHECK_EQ(ThreadsOfThisProcess(), threadsBefore);
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    CHECK(handles <= handlesBefore + 4);
}

}  // namespace
}  // namespace qmx::abi
