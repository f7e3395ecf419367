#pragma once

// qmx-host's command line, by the tools' common conventions.

#include <string>
#include <variant>
#include <vector>

namespace qmx::host {

struct THostOptions {
    bool Help = false;
    bool Version = false;
    std::string Log;           // every text shown, one a line; empty: none
    int QuitAfterSeconds = 0;  // 0: runs until closed
    std::string Screenshot;    // a PNG with the settings menu open, then the end; empty: none
};

// The options, or what to print on standard error when they are refused.
std::variant<THostOptions, std::string> ParseHostOptions(const std::vector<std::string>& arguments);

// What --help prints, its options' lines from the table the parser reads.
std::string HostUsage();

}  // namespace qmx::host
