// qmx-sim: a Quelmarox gauge on a serial line, for trying the driver and its
// tools without a gauge. It makes a pty and prints the path to give the
// driver, or serves a device it is given.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gauge.h"
#include "sim_server.h"
#include "serial/wire_trace.h"
#include "tank_list.h"

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: qmx-sim [--device PATH | --link PATH] [--config FILE] [--fault KIND[:TANKS]]...\n"
                 "               [--fault-next KIND:COUNT] [--trace FILE]\n"
                 "\n"
                 "Plays a Quelmarox gauge (protocol v3.00) answering L and G requests for tanks 1 to 33.\n"
                 "Without --device it makes a pty and prints the path of its other end on the first line\n"
                 "of standard output; --link also makes PATH a link to it.\n"
                 "\n"
                 "  --config FILE          tank values: [tank N] with product, level, drift (per hour),\n"
                 "                         aux, temperature, density, fault, script (faults for the\n"
                 "                         tank's successive requests, like no-answer, late, none);\n"
                 "                         [faults] next = KIND:COUNT\n"
                 "  --fault KIND[:TANKS]   a fault on every tank, or on TANKS (like 1-4,9)\n"
                 "  --fault-next KIND:N    a fault on the next N requests, whatever the tank\n"
                 "  --trace FILE           every byte both ways, with time stamps (- for stderr)\n"
                 "\n"
                 "Faults: %s\n",
                 qmx::sim::FaultNames().c_str());
}

int OpenDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B9600);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qmx::sim;
    std::string device, link, config, tracePath;
    TGauge gauge;
    struct TFaultRequest {
        TFault Fault;
        std::vector<int> Tanks;
    };
    std::vector<TFaultRequest> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qmx-sim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--device") {
            device = value();
        } else if (arg == "--link") {
            link = value();
        } else if (arg == "--config") {
            config = value();
        } else if (arg == "--trace") {
            tracePath = value();
        } else if (arg == "--fault" || arg == "--fault-next") {
            const std::string spec = value();
            const auto colon = spec.find(':');
            const auto fault = ParseFault(spec.substr(0, colon));
            if (!fault) {
                std::fprintf(stderr, "qmx-sim: unknown fault '%s' (one of %s)\n", spec.c_str(), FaultNames().c_str());
                return 2;
            }
            if (arg == "--fault-next") {
                const int count = colon == std::string::npos ? 1 : std::atoi(spec.c_str() + colon + 1);
                gauge.SetFaultNext(*fault, count);
                continue;
            }
            TFaultRequest request{*fault, {}};
            if (colon != std::string::npos) {
                const auto tanks = qmx::tools::ParseTankList(spec.substr(colon + 1));
                if (!tanks) {
                    std::fprintf(stderr, "qmx-sim: bad tank list in '%s' (like 1-4,9; tanks 1 to 33)\n", spec.c_str());
                    return 2;
                }
                request.Tanks = *tanks;
            }
            faults.push_back(request);
        } else {
            std::fprintf(stderr, "qmx-sim: unknown option '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!config.empty()) {
        std::string error;
        if (!gauge.LoadConfig(config, error)) {
            std::fprintf(stderr, "qmx-sim: %s: %s\n", config.c_str(), error.c_str());
            return 2;
        }
    }
    for (const auto& request : faults) {
        if (request.Tanks.empty()) gauge.SetFaultAll(request.Fault);
        for (int tank : request.Tanks) gauge.SetFault(tank, request.Fault);
    }

    qmx::TWireTrace trace;
    if (!tracePath.empty() && !trace.Open(tracePath)) {
        std::fprintf(stderr, "qmx-sim: cannot write the trace to %s\n", tracePath.c_str());
        return 2;
    }

    int fd = -1;
    int keepSlave = -1;
    std::string path = device;
    if (!device.empty()) {
        fd = OpenDevice(device);
        if (fd < 0) {
            std::fprintf(stderr, "qmx-sim: cannot open %s: %s\n", device.c_str(), std::strerror(errno));
            return 2;
        }
    } else {
        char name[256] = {};
        if (::openpty(&fd, &keepSlave, name, nullptr, nullptr) != 0) {
            std::fprintf(stderr, "qmx-sim: cannot make a pty: %s\n", std::strerror(errno));
            return 2;
        }
        termios settings{};
        ::tcgetattr(fd, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        // Keeping the slave open keeps the pty alive between the driver's
        // openings; the driver's own opening is what is used.
        path = name;
        if (!link.empty()) {
            ::unlink(link.c_str());
            if (::symlink(name, link.c_str()) != 0) {
                std::fprintf(stderr, "qmx-sim: cannot make the link %s: %s\n", link.c_str(), std::strerror(errno));
                return 2;
            }
        }
    }
    std::printf("%s\n", link.empty() ? path.c_str() : link.c_str());
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    {
        TSimServer server(gauge, fd, trace.IsOpen() ? &trace : nullptr);
        while (!gStop) ::pause();
        std::fprintf(stderr, "qmx-sim: %d requests served\n", server.Requests());
    }
    if (!link.empty()) ::unlink(link.c_str());
    if (keepSlave >= 0) ::close(keepSlave);
    ::close(fd);
    return 0;
}
