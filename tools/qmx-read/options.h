#pragma once

// qmx-read's command line, taken strictly: what the usage does not show is
// refused, so that a typing error cannot read another port or other tanks.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "listen_address.h"
#include "output.h"

namespace qmx::tools {

// The pause between requests the protocol keeps after a failed attempt.
constexpr int kDefaultPauseMs = 70;

struct TOptions {
    int Com = 0;          // COMn, 0 when a device path is given
    std::string Device;   // the device path or network port, empty with --com
    std::string Monitor;  // DEVICE or HOSTSIDE,GAUGESIDE to listen to; empty: read
    std::vector<int> Tanks;
    TFormat Format = TFormat::Table;
    std::string Trace;    // empty: no trace
    bool Quiet = false;
    int WatchSeconds = 0;  // 0: one round
    std::string Metrics;   // empty: none
    std::optional<TListenAddress> Listen;  // the exporter's, with --watch
    std::string Instance;  // the metrics' instance label; empty: none
    bool Fast = false;
    int PauseMs = kDefaultPauseMs;
    bool Help = false;
    bool Version = false;
    bool List = false;
    std::string Match;      // with --list, the devices to show; empty: all
    std::string Inventory;  // the tank file; empty: none
    std::string FromRows;   // the reader's CSV rows to find events in, rather than a device
    std::string Events;     // where deliveries and leak tests are appended; empty: nowhere
};

// The options, or what is wrong with them (a line for the user).
std::variant<TOptions, std::string> ParseOptions(const std::vector<std::string>& arguments);

// The hint to print after a problem ParseOptions found.
std::string OptionsHint(const std::string& problem);

// The options' lines of --help, from the table the parser reads.
constexpr std::size_t kHelpColumn = 19;
std::string OptionsHelp();

}  // namespace qmx::tools
