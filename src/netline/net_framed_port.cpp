#include "netline/net_framed_port.h"

#include <utility>

#include "netline/net_comm.h"

namespace qmx::net {

std::unique_ptr<TFramedPort> OpenNetworkFramedPort(const TNetAddress& address, std::uint8_t portNumber,
                                                   const std::string& tracePath) {
    std::unique_ptr<TNetComm> comm = TNetComm::For(address);
    TNetComm& line = *comm;
    auto port = OpenFramedPortOn(std::move(comm), portNumber, tracePath);
    // The gauge's line is set now: a server that would not take it is
    // refused before anything is read.
    line.ConfirmLineTaken();
    return port;
}

}  // namespace qmx::net
