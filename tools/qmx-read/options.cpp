#include "options.h"

#include "command_line.h"
#include "netline/net_address.h"
#include "tank_list.h"
#include "whole_number.h"

namespace qmx::tools {
namespace {

const TCommandLine& ReaderCommandLine() {
    static const TCommandLine line = [] {
        TCommandLine made("qmx-read", {{"--com", true},
                                       {"--device", true},
                                       {"--tanks", true},
                                       {"--json"},
                                       {"--csv"},
                                       {"--trace", true},
                                       {"--quiet"},
                                       {"--watch", true},
                                       {"--metrics", true},
                                       {"--listen", true},
                                       {"--fast"},
                                       {"--pause", true},
                                       {"--list"},
                                       {"--help", false, "-h"},
                                       {"--version"}});
        made.Conflicting({"--json", "--csv"});
        made.Conflicting({"--com", "--device"});
        return made;
    }();
    return line;
}

}  // namespace

std::string OptionsHint(const std::string& problem) { return ReaderCommandLine().Hint(problem); }

std::variant<TOptions, std::string> ParseOptions(const std::vector<std::string>& arguments) {
    const auto parsed = ReaderCommandLine().Parse(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return *problem;
    TOptions options;
    bool pauseGiven = false;
    for (const auto& [name, value] : std::get<std::vector<TGivenOption>>(parsed)) {
        if (name == "--help") {
            options.Help = true;
        } else if (name == "--version") {
            options.Version = true;
        } else if (name == "--list") {
            options.List = true;
        } else if (name == "--com") {
            const auto com = ParseWholeNumber(value, 1, 253);
            if (!com) return "--com takes a port number from 1 to 253, not '" + value + "'";
            options.Com = *com;
        } else if (name == "--device") {
            if (value.empty()) return "--device takes a path";
            // A network port's name is the command line's to get right.
            if (std::string problem; net::IsNetworkName(value) && !net::ParseNetAddress(value, problem))
                return problem;
            options.Device = value;
        } else if (name == "--tanks") {
            const auto tanks = ParseTankList(value);
            if (!tanks) return "--tanks takes a list like 1-4,9 of tanks 1 to 33, not '" + value + "'";
            options.Tanks = *tanks;
        } else if (name == "--json" || name == "--csv") {
            options.Format = name == "--json" ? TFormat::Json : TFormat::Csv;
        } else if (name == "--trace") {
            if (value.empty()) return "--trace takes a file (- for standard error)";
            options.Trace = value;
        } else if (name == "--quiet") {
            options.Quiet = true;
        } else if (name == "--watch") {
            const auto seconds = ParseWholeNumber(value, 1, 86400);
            if (!seconds) return "--watch takes the seconds between rounds, 1 to 86400, not '" + value + "'";
            options.WatchSeconds = *seconds;
        } else if (name == "--metrics") {
            if (value.empty()) return "--metrics takes a file";
            options.Metrics = value;
        } else if (name == "--listen") {
            std::string problem;
            options.Listen = ParseListenAddress(value, problem);
            if (!options.Listen) return problem;
        } else if (name == "--fast") {
            options.Fast = true;
        } else if (name == "--pause") {
            const auto pause = ParseWholeNumber(value, 0, 10000);
            if (!pause) return "--pause takes milliseconds, 0 to 10000, not '" + value + "'";
            options.PauseMs = *pause;
            pauseGiven = true;
        }
    }
    if (options.List && options.Format == TFormat::Csv) return "--list shows a table, or JSON with --json";
    if (options.Help || options.Version || options.List) return options;
    if (pauseGiven && !options.Fast)
        return "--pause goes with --fast (without it the protocol's own timing holds)";
    if (options.Listen && options.WatchSeconds == 0)
        return "--listen goes with --watch (a single round's metrics would be gone before a scrape)";
    if ((options.Com == 0) == options.Device.empty()) return "give either --com N or --device PATH";
    if (options.Tanks.empty())
        for (int tank = 1; tank <= 33; ++tank) options.Tanks.push_back(tank);
    return options;
}

}  // namespace qmx::tools
