#include "serial/framed_port.h"
#include "serial/kalvor_port.h"

namespace qmx {

std::unique_ptr<TFramedPort> OpenFramedPort(std::uint8_t portNumber) {
    return std::make_unique<TKalvorComPort>(portNumber);
}

}  // namespace qmx
