#pragma once

// The two ways a host obtains a silo. The silo belongs to the caller.

#include <cstdint>
#include <memory>

#include "driver/silo.h"

namespace qmx {

// The connection from the arguments: `number` is a block number 1 to 3 when
// the low byte of `blockFlag` is non-zero, else a COM port number.
std::unique_ptr<TSilo> GetSiloEx3(THostCommService* host, std::uint32_t number,
                                  std::uint32_t blockFlag);

// The connection from cnf.ini; the second argument is not used.
std::unique_ptr<TSilo> GetSiloEx(THostCommService* host, std::uint32_t unused);

}  // namespace qmx
