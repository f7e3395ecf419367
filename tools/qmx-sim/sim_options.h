#pragma once

// qmx-sim's command line, by the tools' common conventions.

#include <string>
#include <variant>
#include <vector>

#include "gauge.h"

namespace qmx::sim {

struct TFaultRequest {
    TFault Fault = TFault::None;
    std::vector<int> Tanks;  // none: every tank
};

struct TSimOptions {
    bool Help = false;
    bool Version = false;
    std::string Device;  // a path on Linux; on Windows resolved into Com
    int Com = 0;         // COMn through the library's serial port; 0 none
    std::string Link;
    std::string Listen;   // socket://HOST:PORT or rfc2217://HOST:PORT; empty none
    bool RefuseSettings = false;  // RFC 2217: answer 8N1 whatever is asked
    std::string Config;
    std::string Replay;  // a trace qmx-read wrote, played instead of the gauge
    std::string Trace;
    std::string Tap;     // PATH or PATH,PATH: a copy of the line for a monitor; empty none
    bool Pace = true;
    std::vector<TFaultRequest> Faults;
    std::vector<std::pair<TFault, int>> FaultsNext;
};

// The options, or what is wrong with them (without the program's name).
std::variant<TSimOptions, std::string> ParseSimOptions(const std::vector<std::string>& arguments);

// The hint to print after a problem with the command line.
std::string SimOptionsHint(const std::string& problem);

}  // namespace qmx::sim
