#include "served_line.h"

#include <stdexcept>

#include "com_line.h"

#ifndef _WIN32
#include <unistd.h>

#include "fd_line.h"
#include "netline/net_address.h"
#include "serial/gauge_tty.h"
#include "socket_line.h"
#endif

namespace qmx::sim {
namespace {

std::string CannotOpen(const std::string& name, const std::string& reason) {
    return "cannot open " + name + ": " + reason;
}

}  // namespace

TServedLine::~TServedLine() {
    Line.reset();
#ifndef _WIN32
    if (DeviceFd >= 0) ::close(DeviceFd);
#endif
}

std::optional<std::string> OpenServedLine(const TSimOptions& options, [[maybe_unused]] TWireTrace* trace,
                                          TServedLine& served) {
    if (options.Com != 0) {
        served.Name = "COM" + std::to_string(options.Com);
        try {
            served.Line = std::make_unique<TComLine>(static_cast<std::uint16_t>(options.Com));
        } catch (const ESerialIO&) {
            return CannotOpen(served.Name, "no such port, or in use by another program");
        }
        return std::nullopt;
    }
#ifdef _WIN32
    return std::string("give --com N or --device \\\\.\\COMN");
#else
    try {
        if (!options.Listen.empty()) {
            std::string problem;
            auto network = std::make_unique<TSocketLine>(*net::ParseNetAddress(options.Listen, problem, true),
                                                         options.RefuseSettings, trace);
            served.Name = network->Name();
            served.Line = std::move(network);
        } else if (!options.Device.empty()) {
            served.Name = options.Device;
            std::string problem;
            served.DeviceFd = OpenGaugeTty(options.Device, problem);
            if (served.DeviceFd < 0) return CannotOpen(served.Name, problem);
            served.Line = std::make_unique<TFdLine>(served.DeviceFd);
        } else {
            served.Pty = std::make_unique<TPtyEnd>(options.Link);
            served.Name = served.Pty->Name();
            served.Line = std::make_unique<TFdLine>(served.Pty->Master());
        }
    } catch (const std::runtime_error& error) {
        return std::string(error.what());
    }
    return std::nullopt;
#endif
}

}  // namespace qmx::sim
