#include "serial/framed_port.h"

namespace qmx {

// The direct-line port is not part of this build yet: a silo on a COM type
// gets no port, and its exchanges end as with a silent line (link state 2).
std::unique_ptr<TFramedPort> OpenFramedPort(std::uint8_t /*portNumber*/) { return nullptr; }

}  // namespace qmx
