#include "sim_options.h"

#include <optional>

#include "command_line.h"
#include "netline/net_address.h"
#include "platform/whole_number.h"
#include "serial/com_port_name.h"
#include "tank_list.h"

namespace qmx::sim {
namespace {

// A fault of the line, not of the gauge's answers: the settings an RFC 2217
// client asks for are answered with 8N1.
constexpr char kRefuseSettings[] = "refuse-settings";

const tools::TCommandLine& SimCommandLine() {
    static const tools::TCommandLine line = [] {
        tools::TCommandLine made("qmx-sim", {{"--device", true},
                                             {"--com", true},
                                             {"--link", true},
                                             {"--listen", true},
                                             {"--config", true},
                                             {"--replay", true},
                                             {"--trace", true},
                                             {"--tap", true},
                                             {.Name = "--fault", .TakesValue = true, .Repeats = true},
                                             {.Name = "--fault-next", .TakesValue = true, .Repeats = true},
                                             {"--no-pace"},
                                             {"--help", false, "-h"},
                                             {"--version"}});
        // Each names the line to serve; --link names the simulator's own pty.
        made.Conflicting({"--device", "--com", "--link", "--listen"});
        made.Conflicting({"--tap", "--listen"});
        // A trace played back answers as it was recorded: no station file
        // or fault has a say.
        for (const char* gauge : {"--config", "--fault", "--fault-next"}) made.Conflicting({"--replay", gauge});
        return made;
    }();
    return line;
}

// --fault KIND[:TANKS], or with `next` --fault-next KIND[:COUNT]: the fault
// added to the options, or what is wrong with it.
std::optional<std::string> AddFault(TSimOptions& options, bool next, const std::string& value) {
    const auto colon = value.find(':');
    const auto fault = ParseFault(value.substr(0, colon));
    if (!fault) return "unknown fault '" + value + "' (one of " + FaultNames() + ")";
    if (next) {
        int count = 1;
        if (colon != std::string::npos) {
            const auto counted = ParseWholeNumber(value.substr(colon + 1), 1, 1000000);
            if (!counted) return "--fault-next takes KIND:COUNT with a count from 1, not '" + value + "'";
            count = *counted;
        }
        options.FaultsNext.emplace_back(*fault, count);
        return std::nullopt;
    }
    TFaultRequest request{*fault, {}};
    if (colon != std::string::npos) {
        const auto tanks = tools::ParseTankList(value.substr(colon + 1));
        if (!tanks) return "bad tank list in '" + value + "' (like 1-4,9; tanks 1 to 33)";
        request.Tanks = *tanks;
    }
    options.Faults.push_back(request);
    return std::nullopt;
}

}  // namespace

std::string SimOptionsHint(const std::string& problem) { return SimCommandLine().Hint(problem); }

std::variant<TSimOptions, std::string> ParseSimOptions(const std::vector<std::string>& arguments) {
    const auto parsed = SimCommandLine().Parse(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return *problem;
    TSimOptions options;
    for (const auto& [name, value] : std::get<std::vector<tools::TGivenOption>>(parsed)) {
        if (name == "--help") {
            options.Help = true;
        } else if (name == "--version") {
            options.Version = true;
        } else if (name == "--no-pace") {
            options.Pace = false;
        } else if (name == "--device") {
            if (value.empty()) return "--device takes a device";
            options.Device = value;
        } else if (name == "--com") {
            const auto com = ParseWholeNumber(value, 1, kHighestComPort);
            if (!com) return "--com takes a port number from 1 to 253, not '" + value + "'";
            options.Com = *com;
        } else if (name == "--link") {
            if (value.empty()) return "--link takes a path";
            options.Link = value;
        } else if (name == "--listen") {
            std::string problem;
            if (!net::ParseNetAddress(value, problem, true)) return "--listen: " + problem;
            options.Listen = value;
        } else if (name == "--config") {
            options.Config = value;
        } else if (name == "--replay") {
            if (value.empty()) return "--replay takes a trace file";
            options.Replay = value;
        } else if (name == "--tap") {
            if (value.empty() || value.front() == ',' || value.back() == ',') return "--tap takes PATH or PATH,PATH";
            options.Tap = value;
        } else if (name == "--trace") {
            if (value.empty()) return "--trace takes a file (- for standard error)";
            options.Trace = value;
        } else if (name == "--fault" && value == kRefuseSettings) {
            options.RefuseSettings = true;
        } else if (name == "--fault" || name == "--fault-next") {
            if (auto problem = AddFault(options, name == "--fault-next", value)) return *problem;
        }
    }
    if (options.RefuseSettings && options.Listen.rfind("rfc2217://", 0) != 0)
        return std::string("--fault ") + kRefuseSettings + " goes with --listen rfc2217://...";
    return options;
}

}  // namespace qmx::sim
