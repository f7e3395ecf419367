#pragma once

// What the connection dialog edits: the connection of a running silo and the
// choice kept for the next start. The dialog knows nothing else of the silo.

#include <cstdint>

namespace qmx {

class TConnectionSetting {
public:
    virtual std::uint8_t ConnectionType() const = 0;
    // Keeps `type` where the next start reads it, when there is such a
    // place; raises when it cannot be written.
    virtual void StoreConnectionType(std::int32_t type) = 0;
    // Switches the running connection; never raises.
    virtual void SetConnectionType(std::int32_t type) = 0;

protected:
    ~TConnectionSetting() = default;
};

}  // namespace qmx
