// qmx-sim: a Quelmarox gauge on a serial line, for trying the driver and its
// tools without a gauge. On Linux it makes a pty and prints the path to give
// the driver, or serves a device it is given; on Windows it serves a COM
// port through the library's own serial code.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "fd_line.h"
#include "gauge_tty.h"
#include "netline/net_address.h"
#include "pty_end.h"
#include "socket_line.h"
#endif

#include "com_line.h"
#include "exit_deadline.h"
#include "gauge.h"
#include "serial/wire_trace.h"
#include "sim_options.h"
#include "sim_server.h"
#include "standard_descriptors.h"

namespace {

constexpr int kServed = 0;
constexpr int kUsage = 2;

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

void Usage(std::FILE* out) {
    std::fprintf(out,
#ifdef _WIN32
                 "usage: qmx-sim (--com N | --device \\\\.\\COMN) [--config FILE] [--fault KIND[:TANKS]]...\n"
#else
                 "usage: qmx-sim [--device PATH | --com N | --link PATH | --listen URL] [--config FILE]\n"
                 "               [--fault KIND[:TANKS]]...\n"
#endif
                 "               [--fault-next KIND:COUNT] [--trace FILE] [--no-pace]\n"
                 "\n"
                 "Plays a Quelmarox gauge (protocol v3.00) answering L and G requests for tanks 1 to 33,\n"
                 "on a line of 9600 baud, 7 data bits, even parity, 1 stop bit. It prints the device to\n"
                 "give the reader on the first line of standard output and serves until interrupted.\n"
                 "\n"
#ifdef _WIN32
                 "  --com N                COM port N (1 to 253)\n"
                 "  --device NAME          the COM port by name, like \\\\.\\COM12\n"
#else
                 "  (none of these)        a pty of its own, whose other end's path it prints\n"
                 "  --link PATH            the same, and PATH a link to it (only a link it made\n"
                 "                         before is ever replaced)\n"
                 "  --device PATH          a serial device or pty end, set to 9600 baud 7E1, RTS low\n"
                 "  --com N                COM port N as the driver opens it: $QMX_COMN, else /dev/ttyS<N-1>\n"
                 "  --listen URL           a device server's network port, one client at a time (a new\n"
                 "                         one replaces the last): socket://HOST:PORT raw TCP, or\n"
                 "                         rfc2217://HOST:PORT with the settings answered; on loopback\n"
                 "                         unless HOST is given (rfc2217://:2217); port 0: any free one\n"
#endif
                 "  --config FILE          tank values: [tank N] with product, level, drift (per hour),\n"
                 "                         aux, temperature, density, fault, script (faults for the\n"
                 "                         tank's successive requests, like no-answer, late, none);\n"
                 "                         [faults] next = KIND:COUNT\n"
                 "  --fault KIND[:TANKS]   a fault on every tank, or on TANKS (like 1-4,9)\n"
                 "  --fault-next KIND:N    a fault on the next N requests, whatever the tank\n"
                 "  --trace FILE           every byte both ways, with time stamps (- for stderr)\n"
                 "  --no-pace              answer at once; by default every answer takes the time a\n"
                 "                         real line needs (about 1.04 ms a character)\n"
                 "  --version              the version\n"
                 "\n"
                 "Faults: %s\n"
#ifndef _WIN32
                 "  and, with --listen rfc2217://, refuse-settings: 8N1 answered, whatever is asked\n"
#endif
                 "Exit status: 0 stopped by SIGINT or SIGTERM (Ctrl+C), 2 usage, config or open error.\n",
                 qmx::sim::FaultNames().c_str());
}

int UsageError(const std::string& problem) {
    std::fputs(qmx::sim::SimOptionsHint(problem).c_str(), stderr);
    return kUsage;
}

int OpenFailed(const std::string& name, const std::string& reason) {
    std::fprintf(stderr, "qmx-sim: cannot open %s: %s\n", name.c_str(), reason.c_str());
    return kUsage;
}

// Before anything is written: a write blocked on an output nobody reads
// (the pty's name, a trace on standard error) is then broken off by the
// signal rather than taken up again, and a trace FIFO whose reader has
// gone fails its write instead of ending the simulator.
void WatchForStops() {
#ifdef _WIN32
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#else
    struct sigaction stop {};
    stop.sa_handler = OnSignal;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = 0;  // no SA_RESTART
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void AwaitStop() {
    while (!gStop) {
#ifdef _WIN32
        Sleep(100);
#else
        ::pause();
#endif
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qmx::sim;
    if (!qmx::tools::EnsureStandardDescriptors()) return kUsage;
    WatchForStops();
    const auto parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* problem = std::get_if<std::string>(&parsed)) return UsageError(*problem);
    TSimOptions options = std::get<TSimOptions>(parsed);
    if (options.Help) {
        Usage(stdout);
        return kServed;
    }
    if (options.Version) {
        std::printf("qmx-sim %s\n", QMX_VERSION);
        return kServed;
    }
#ifdef _WIN32
    if (!options.Link.empty()) return UsageError("--link needs a pty, and Windows has none: give --com N");
    if (!options.Device.empty()) {
        options.Com = ComPortNumberOf(options.Device);
        if (options.Com == 0) return UsageError("--device takes a COM port like \\\\.\\COM12, not '" + options.Device + "'");
    }
    if (!options.Listen.empty()) return UsageError("--listen works on Linux only");
    if (options.Com == 0) return UsageError("give --com N or --device \\\\.\\COMN");
#endif

    TGauge gauge;
    if (!options.Config.empty()) {
        std::string error;
        if (!gauge.LoadConfig(options.Config, error)) {
            std::fprintf(stderr, "qmx-sim: %s: %s\n", options.Config.c_str(), error.c_str());
            return kUsage;
        }
    }
    for (const auto& request : options.Faults) {
        if (request.Tanks.empty()) gauge.SetFaultAll(request.Fault);
        for (int tank : request.Tanks) gauge.SetFault(tank, request.Fault);
    }
    for (const auto& [fault, count] : options.FaultsNext) gauge.SetFaultNext(fault, count);

    qmx::TWireTrace trace;
    if (std::string problem; !options.Trace.empty() && !trace.Open(options.Trace, &problem)) {
        std::fprintf(stderr, "qmx-sim: cannot write the trace to %s: %s\n", options.Trace.c_str(), problem.c_str());
        return kUsage;
    }

    std::unique_ptr<TSimLine> line;
    std::string name;
#ifndef _WIN32
    std::unique_ptr<TPtyEnd> pty;
    struct TFd {
        int Value = -1;
        ~TFd() {
            if (Value >= 0) ::close(Value);
        }
    } device;
#endif
    if (options.Com != 0) {
        name = "COM" + std::to_string(options.Com);
        try {
            line = std::make_unique<TComLine>(static_cast<std::uint16_t>(options.Com));
        } catch (const qmx::ESerialIO&) {
            return OpenFailed(name, "no such port, or in use by another program");
        }
    }
#ifndef _WIN32
    else if (!options.Listen.empty()) {
        std::string problem;
        try {
            auto network = std::make_unique<TSocketLine>(*qmx::net::ParseNetAddress(options.Listen, problem, true),
                                                         options.RefuseSettings, trace.IsOpen() ? &trace : nullptr);
            name = network->Name();
            line = std::move(network);
        } catch (const std::runtime_error& error) {
            std::fprintf(stderr, "qmx-sim: %s\n", error.what());
            return kUsage;
        }
    } else if (!options.Device.empty()) {
        name = options.Device;
        std::string problem;
        device.Value = OpenGaugeTty(options.Device, problem);
        if (device.Value < 0) return OpenFailed(name, problem);
        line = std::make_unique<TFdLine>(device.Value);
    } else {
        try {
            pty = std::make_unique<TPtyEnd>(options.Link);
        } catch (const std::runtime_error& error) {
            std::fprintf(stderr, "qmx-sim: %s\n", error.what());
            return kUsage;
        }
        name = pty->Name();
        line = std::make_unique<TFdLine>(pty->Master());
    }
#endif
    std::printf("%s\n", name.c_str());
    std::fflush(stdout);

    TSimServer server(gauge, std::move(line), trace.IsOpen() ? &trace : nullptr);
    if (options.Pace) server.SetPacing(kLineCharacterTime);
    AwaitStop();
    // The closing words may meet an output nobody reads: they get this
    // long, and the simulator ends regardless.
    qmx::tools::ExitAfter(kServed, std::chrono::milliseconds(500));
    server.Stop();
    std::fprintf(stderr, "qmx-sim: %d requests served\n", server.Requests());
    return kServed;
}
