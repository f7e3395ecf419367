#include "network_device.h"

#include <cstdio>
#include <optional>

#include "netline/net_address.h"
#include "netline/net_framed_port.h"

namespace qmx::tools {
namespace {

// A TPortOpener is a plain function, and the reader reads one device.
std::optional<net::TNetAddress> gNetworkPort;

}  // namespace

bool ChooseNetworkDevice(const TOptions& options, TChosenDevice& device, std::string& problem) {
    device.Name = options.Device;
    const auto address = net::ParseNetAddress(options.Device, problem);
    if (!address) return false;
    gNetworkPort = *address;
    device.Com = 1;
    device.Name = address->Text();
    if (address->Kind == net::TNetAddress::TKind::Socket)
        std::fprintf(stderr,
                     "qmx-read: %s is raw TCP: the device server's own line settings hold, and 7E1 cannot be set "
                     "or checked from here (rfc2217:// can)\n",
                     device.Name.c_str());
    return true;
}

std::unique_ptr<TFramedPort> OpenReaderPort(std::uint8_t portNumber) {
    if (gNetworkPort) return net::OpenNetworkFramedPort(*gNetworkPort, portNumber);
    return OpenFramedPort(portNumber);
}

}  // namespace qmx::tools
