#pragma once

// The host's communication service, played by position: an object whose
// first word points to a table of stdcall entry points, slots 23 to 27 and
// 31 implemented. It records every call, answers as scripted and raises a
// structured exception of its own on demand, as a host's code would.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dll_calls.h"

namespace qmx::abi {

constexpr DWORD kHostExceptionCode = 0xE0001234;
constexpr ULONG_PTR kHostExceptionParameter = 0x12345678;

struct TFakeHost {
    TFakeHost();
    ~TFakeHost();
    TFakeHost(const TFakeHost&) = delete;
    TFakeHost& operator=(const TFakeHost&) = delete;

    void* const* Table;  // must stay the first word

    // Script.
    std::int32_t ExchangeResult = 0;
    std::vector<std::uint8_t> Answer;  // written into the answer buffer by Exchange
    std::uint8_t LineState = 1;
    bool JudgeWithCheck = false;  // Exchange calls the silo's check on the answer
    int RaiseInSlot = -1;
    DWORD ExchangeSleepMs = 0;

    // What the silo handed over.
    TWord CheckEntry = 0, CheckObject = 0, SetupEntry = 0, SetupObject = 0;
    std::vector<std::uint8_t> LastFrame;
    int CheckStackDelta = 0;
    TWord CheckResult = 0;
    volatile LONG Inside = 0, MaxInside = 0;

    void Record(const std::string& call);
    std::vector<std::string> TakeCalls();
    // Raises the host's exception when the script says `slot` fails.
    void MaybeRaise(int slot) const;

private:
    CRITICAL_SECTION FLock;
    std::vector<std::string> FCalls;
};

std::string Joined(std::initializer_list<long long> values);

}  // namespace qmx::abi
