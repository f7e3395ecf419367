#include "netline/chosen_device.h"

#include "netline/net_framed_port.h"
#include "serial/kalvor_port.h"
#include "serial/serial_choice.h"

namespace qmx::net {

bool ChooseDevice(const std::string& device, int com, TChosenDevice& chosen, std::string& problem) {
    if (IsNetworkName(device)) {
        chosen.Network = ParseNetAddress(device, problem);
        if (!chosen.Network) return false;
        chosen.Com = 1;
        chosen.Name = chosen.Network->Text();
        return true;
    }
    TSerialChoice serial;
    const bool usable = ChooseSerialDevice(device, com, serial, problem);
    chosen.Com = serial.Com;
    chosen.Path = serial.Path;
    chosen.Name = serial.Name;
    return usable;
}

std::unique_ptr<TFramedPort> OpenChosenDevice(const TChosenDevice& device, std::uint8_t portNumber) {
    if (device.Network) return OpenNetworkFramedPort(*device.Network, portNumber, device.Trace);
    if (!device.Path.empty()) return OpenFramedPortOn(PlatformCommFor(device.Path), portNumber, device.Trace);
    return std::make_unique<TKalvorComPort>(portNumber, PlatformComm(), device.Trace);
}

}  // namespace qmx::net
