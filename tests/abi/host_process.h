#pragma once

// What several of the ABI host's tests ask: how many threads the host
// process has (a silo must leave none behind), and a gauge's answer framed
// with its check byte.

#include <cstdint>
#include <string>
#include <vector>

namespace qmx::abi {

int ThreadsOfThisProcess();

// A silo on the COM port the line runner mapped to the simulated gauge
// (QMX_LINE_PORT); null, with a failed check, when there is none.
void* SiloOnLine();

// STX, `payload`, ETX and the check byte over all of them.
std::vector<std::uint8_t> Frame(const std::string& payload);

}  // namespace qmx::abi
