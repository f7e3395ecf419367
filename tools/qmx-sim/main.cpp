// qmx-sim: a Quelmarox gauge on a serial line, for trying the driver and its
// tools without a gauge. On Linux it makes a pty and prints the path to give
// the driver, or serves a device it is given; on Windows it serves a COM
// port through the library's own serial code.

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "exit_deadline.h"
#include "gauge.h"
#include "serial/com_port_name.h"
#include "serial/wire_trace.h"
#include "served_line.h"
#include "sim_options.h"
#include "sim_server.h"
#include "standard_descriptors.h"
#include "station_config.h"
#include "stop_signals.h"
#include "tap.h"
#include "timing_priority.h"
#include "trace_replay.h"

namespace {

constexpr int kServed = 0;
constexpr int kUsage = 2;

void Usage(std::FILE* out) {
    std::fprintf(out,
#ifdef _WIN32
                 "Usage: qmx-sim [OPTION]... (--com N | --device \\\\.\\COMN)\n"
#else
                 "Usage: qmx-sim [OPTION]... [--device PATH | --com N | --link PATH | --listen URL]\n"
#endif
                 "   or: qmx-sim --help | --version\n"
                 "\n"
                 "Plays a Quelmarox gauge (protocol v3.00) answering L and G requests for tanks 1 to 33,\n"
                 "on a line of 9600 baud, 7 data bits, even parity, 1 stop bit. It prints the device to\n"
                 "give the reader on the first line of standard output and serves until interrupted.\n"
                 "\n"
                 "Options:\n"
#ifdef _WIN32
                 "  --com N                COM port N (1 to 253)\n"
                 "  --device NAME          the COM port by name, like \\\\.\\COM12\n"
#else
                 "  (none of these)        a pty of its own, whose other end's path it prints\n"
                 "  --link PATH            the same, and PATH a link to it (only a link it made\n"
                 "                         before is ever replaced,\n"
                 "                         and none another simulator serves on)\n"
                 "  --device PATH          a serial device or pty end, set to 9600 baud 7E1, RTS low\n"
                 "  --com N                COM port N as the driver opens it: $QMX_COMN, else /dev/ttyS<N-1>\n"
                 "  --listen URL           a device server's network port, one client at a time (a new\n"
                 "                         one replaces the last): socket://HOST:PORT raw TCP, or\n"
                 "                         rfc2217://HOST:PORT with the settings answered; on loopback\n"
                 "                         unless HOST is given (rfc2217://:2217); port 0: any free one\n"
#endif
                 "  --config FILE          tank values: [tank N] with product, level, drift (per hour),\n"
                 "                         second-value, temperature, density, fault, script (faults for\n"
                 "                         the tank's successive requests, like no-answer, late, none);\n"
                 "                         or the tank moved by volume through [station] tanks = FILE:\n"
                 "                         volume-drift (l/h at 15 C), temperature-drift (C/h),\n"
                 "                         delivery = LITRES after TIME over TIME;\n"
                 "                         [faults] next = KIND:COUNT\n"
                 "  --replay TRACE         answer as a trace of qmx-read --trace recorded the gauge\n"
                 "  --fault KIND[:TANKS]   a fault on every tank, or on TANKS (like 1-4,9)\n"
                 "  --fault-next KIND:N    a fault on the next N requests, whatever the tank; after those before\n"
                 "  --trace FILE           every byte both ways, with time stamps (- for stderr)\n"
                 "  --tap PATH[,PATH]      a pty (link PATH) with a copy of every byte on the line, for\n"
                 "                         qmx-read --monitor; two: the host's bytes, then the gauge's\n"
                 "  --no-pace              answer at once; by default every answer takes the time a\n"
                 "                         real line needs (about 1.04 ms a character)\n"
                 "  --version              the version\n"
                 "\n"
                 "Faults: %s\n"
#ifndef _WIN32
                 "  and, with --listen rfc2217://, refuse-settings: 8N1 answered, whatever is asked\n"
                 "Answers are sent from a thread of real-time priority (SCHED_FIFO) where that is\n"
                 "permitted (root, CAP_SYS_NICE or ulimit -r), so that other work on a busy machine\n"
                 "holds them up less; else of normal priority.\n"
#endif
                 "Exit status: 0 stopped by SIGINT, SIGTERM or SIGHUP (Ctrl+C), 2 usage, config or open error.\n",
                 qmx::sim::FaultNames().c_str());
}

int UsageError(const std::string& problem) {
    std::fputs(qmx::sim::SimOptionsHint(problem).c_str(), stderr);
    return kUsage;
}

int Refused(const std::string& problem) {
    std::fprintf(stderr, "qmx-sim: %s\n", problem.c_str());
    return kUsage;
}

// What the options ask that this system cannot give; sets the COM port a
// device names.
std::optional<std::string> PlatformRefusal([[maybe_unused]] qmx::sim::TSimOptions& options) {
#ifdef _WIN32
    if (!options.Link.empty()) return "--link needs a pty, and Windows has none: give --com N";
    if (!options.Device.empty()) {
        options.Com = qmx::ComPortNumberOf(options.Device);
        if (options.Com == 0) return "--device takes a COM port like \\\\.\\COM12, not '" + options.Device + "'";
    }
    if (!options.Listen.empty()) return "--listen works on Linux only";
    if (options.Com == 0) return "give --com N or --device \\\\.\\COMN";
#endif
    return std::nullopt;
}

// The gauge set up as the options say, or the replay loaded in its place;
// what is wrong with the files otherwise.
std::optional<std::string> PrepareAnswerer(const qmx::sim::TSimOptions& options, qmx::sim::TGauge& gauge,
                                           qmx::sim::TTraceReplay& replay, qmx::sim::TAnswerer*& answerer) {
    using namespace qmx::sim;
    answerer = &gauge;
    if (!options.Replay.empty()) {
        if (auto problem = replay.Load(options.Replay, StopRequested)) return problem;
        std::fprintf(stderr, "qmx-sim: replaying %s: %zu exchanges, %zu different requests\n",
                     options.Replay.c_str(), replay.Exchanges(), replay.Requests());
        answerer = &replay;
    }
    if (!options.Config.empty()) {
        if (auto problem = LoadStationConfig(options.Config, gauge)) return problem;
    }
    for (const auto& request : options.Faults) {
        if (request.Tanks.empty()) gauge.SetFaultAll(request.Fault);
        for (int tank : request.Tanks) gauge.SetFault(tank, request.Fault);
    }
    for (const auto& [fault, count] : options.FaultsNext) gauge.AddFaultNext(fault, count);
    return std::nullopt;
}

#ifndef _WIN32
// Standard output carries the device's name first: a trace appended to the
// same file (--trace /dev/stdout > FILE) would write over it, and the name
// under the trace's lines. A terminal shows both as they come.
bool IsStandardOutput(const std::string& path) {
    struct stat named {}, output {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
           named.st_dev == output.st_dev && named.st_ino == output.st_ino && !::isatty(STDOUT_FILENO);
}
#endif

std::optional<std::string> OpenTrace(const std::string& path, qmx::TWireTrace& trace) {
    if (path.empty()) return std::nullopt;
#ifndef _WIN32
    if (path != "-" && IsStandardOutput(path))
        return "will not trace to " + path + ": it is the standard output, which says the device (give - for standard error)";
#endif
    if (std::string problem; !trace.Open(path, &problem)) return "cannot write the trace to " + path + ": " + problem;
    return std::nullopt;
}

// Opens the line, says its name and serves until a stop; the exit status.
int Serve(const qmx::sim::TSimOptions& options, qmx::sim::TAnswerer& answerer, qmx::TWireTrace& trace) {
    using namespace qmx::sim;
    qmx::TWireTrace* traced = trace.IsOpen() ? &trace : nullptr;
    TServedLine served;
    std::optional<std::string> problem;
    std::unique_ptr<TTap> tap;
    {
        // The line's threads (a COM port's workers) never take a stop.
        TStopsHeldOff held;
        problem = OpenServedLine(options, traced, served);
        if (!problem) problem = AddTap(options.Tap, served, tap);
    }
    if (problem) return Refused(*problem);
    // A stop that comes before the path is out ends the simulator as well as
    // one that comes later: the link is removed all the same.
    if (!SayUnlessStopped(served.Name)) return kServed;

    std::optional<TSimServer> server;
    {
        TStopsHeldOff held;
        // The server's thread takes it on.
        qmx::sim::RaiseTimingPriority();
        server.emplace(answerer, std::move(served.Line), traced);
    }
    if (options.Pace) server->SetPacing(kLineCharacterTime);
    AwaitStop();
#ifndef _WIN32
    // Before the server's thread is stopped, which a trace on an output
    // nobody reads may hold up.
    if (served.Pty) served.Pty->RemoveLink();
#endif
    // The closing words may meet an output nobody reads: they get this
    // long, and the simulator ends regardless.
    qmx::tools::ExitAfter(kServed, std::chrono::milliseconds(500));
    server->Stop();
    std::fprintf(stderr, "qmx-sim: %d requests served\n", server->Requests());
    if (tap) std::fprintf(stderr, "qmx-sim: %lld bytes written into the tap\n", tap->BytesWritten());
    return kServed;
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
    if (const auto problem = PlatformRefusal(options)) return UsageError(*problem);

    TGauge gauge;
    gauge.SetNotes([](const std::string& note) { std::fprintf(stderr, "qmx-sim: %s\n", note.c_str()); });
    TTraceReplay replay([](const std::string& note) { std::fprintf(stderr, "qmx-sim: %s\n", note.c_str()); });
    TAnswerer* answerer = nullptr;
    if (const auto problem = PrepareAnswerer(options, gauge, replay, answerer)) {
        // A stop while a FIFO was read is a stop, not a refusal.
        return StopRequested() ? kServed : Refused(*problem);
    }
    qmx::TWireTrace trace;
    if (const auto problem = OpenTrace(options.Trace, trace)) return Refused(*problem);
    return Serve(options, *answerer, trace);
}
