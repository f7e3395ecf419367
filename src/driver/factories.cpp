#include "driver/factories.h"

#include "driver/config_file.h"
#include "driver/connection.h"

namespace qmx {

std::unique_ptr<TSilo> GetSiloEx3(THostCommService* host, std::uint32_t number,
                                  std::uint32_t blockFlag) {
    return std::make_unique<TSilo>(ConnectionTypeFor(number, blockFlag), host);
}

std::unique_ptr<TSilo> GetSiloEx(THostCommService* host, std::uint32_t /*unused*/) {
    return std::make_unique<TSilo>(ReadConfiguredConnectionType(), host);
}

}  // namespace qmx
