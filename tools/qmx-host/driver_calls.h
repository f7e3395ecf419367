#pragma once

// qmx-host's calls into the driver, each one guarded: the driver reports
// its errors as structured exceptions (codes 0xE05158xx, the message's
// address as the one parameter), which a host must catch around the
// factory and every measurement, or the first port that cannot be opened
// ends the host.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/tank_reading.h"

namespace qmx::host {

using qmx::TTankReading;

using TWord = std::uint32_t;

// What the driver raised: its code and its message (code page 1251), or a
// description of a structured exception that is not the driver's own.
struct TDriverError {
    DWORD Code = 0;
    std::string Message;
};

// A value, or why the driver gave none.
template <class T>
struct TCallResult {
    std::optional<T> Value;
    TDriverError Error;
    bool Failed() const { return !Value.has_value(); }
};

class TDriver {
public:
    // Loads DriverQuelmarox.dll from the program's own directory first,
    // as Windows looks for a DLL; false when it or its factory is missing.
    bool Load();
    // GetSiloEx with the host's service: the connection comes from cnf.ini.
    TCallResult<void*> NewSilo(void* hostService);
    // InstallMenu with the toolkit's menu item.
    std::optional<TDriverError> InstallMenu(void* silo, void* menuItem);
    // Level, temperature and density of tank index 0 to 32, each when the
    // link state after it was valid; the temperature and density only after
    // a valid level.
    TCallResult<TTankReading> ReadTank(void* silo, TWord tankIndex);

private:
    void* FGetSiloEx = nullptr;
};

// The message to show for an error: the driver's own text, or the code of
// an exception that is not the driver's.
std::string DescribeError(const TDriverError& error);

}  // namespace qmx::host
