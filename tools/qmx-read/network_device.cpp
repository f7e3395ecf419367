#include "network_device.h"

#include <cstdio>

#include "netline/net_address.h"
#include "netline/net_framed_port.h"
#include "serial/kalvor_port.h"

namespace qmx::tools {

bool ChooseNetworkDevice(const TOptions& options, TChosenDevice& device, std::string& problem) {
    device.Name = options.Device;
    const auto& address = options.Network;
    if (!address) {
        problem = "'" + options.Device + "' is no network port";
        return false;
    }
    device.Network = *address;
    device.Com = 1;
    device.Name = address->Text();
    if (address->Kind == net::TNetAddress::TKind::Socket)
        std::fprintf(stderr,
                     "qmx-read: %s is raw TCP: the device server's own line settings hold, and 7E1 cannot be set "
                     "or checked from here (rfc2217:// can)\n",
                     device.Name.c_str());
    return true;
}

std::unique_ptr<TFramedPort> OpenReaderPort(const TChosenDevice& device, std::uint8_t portNumber) {
    if (device.Network) return net::OpenNetworkFramedPort(*device.Network, portNumber, device.Trace);
    if (!device.Path.empty()) return OpenFramedPortOn(PlatformCommFor(device.Path), portNumber, device.Trace);
    return std::make_unique<TKalvorComPort>(portNumber, PlatformComm(), device.Trace);
}

}  // namespace qmx::tools
