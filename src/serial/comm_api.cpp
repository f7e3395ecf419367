#include "serial/comm_api.h"

#include <cstddef>
#include <cstring>

namespace qmx {

// The flag bitfields of a DCB occupy the 32-bit word after BaudRate.
DWORD DcbFlags(const TDcb& dcb) {
    DWORD flags;
    std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + offsetof(TDcb, BaudRate) + 4, sizeof flags);
    return flags;
}

std::string TCommApi::LineName(std::uint16_t portNumber) { return "COM" + std::to_string(portNumber); }

void SetDcbFlags(TDcb& dcb, DWORD flags) {
    std::memcpy(reinterpret_cast<char*>(&dcb) + offsetof(TDcb, BaudRate) + 4, &flags, sizeof flags);
}

}  // namespace qmx
