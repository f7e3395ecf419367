#include "sim_options.h"

#include <algorithm>
#include <cctype>

#include "tank_list.h"
#include "whole_number.h"

namespace qmx::sim {
namespace {

constexpr int kHighestPort = 253;

bool TakesValue(const std::string& option) {
    static const char* const kWithValue[] = {"--device", "--com", "--link", "--config", "--trace", "--fault",
                                             "--fault-next"};
    return std::any_of(std::begin(kWithValue), std::end(kWithValue),
                       [&](const char* name) { return option == name; });
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int ComPortNumberOf(const std::string& deviceName) {
    std::string name = Lower(deviceName);
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    if (name.rfind("com", 0) != 0) return 0;
    return tools::ParseWholeNumber(name.substr(3), 1, kHighestPort).value_or(0);
}

std::variant<TSimOptions, std::string> ParseSimOptions(const std::vector<std::string>& arguments) {
    TSimOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool hasValue = false;
        if (const auto equals = option.find('='); option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            hasValue = true;
        }
        if (TakesValue(option) && !hasValue) {
            if (i + 1 >= arguments.size()) return option + " needs a value";
            value = arguments[++i];
            hasValue = true;
        }
        if (!TakesValue(option) && hasValue) return option + " takes no value";

        if (option == "--help" || option == "-h") {
            options.Help = true;
        } else if (option == "--version") {
            options.Version = true;
        } else if (option == "--no-pace") {
            options.Pace = false;
        } else if (option == "--device") {
            if (value.empty()) return "--device takes a device";
            options.Device = value;
        } else if (option == "--com") {
            const auto com = tools::ParseWholeNumber(value, 1, kHighestPort);
            if (!com) return "--com takes a port number from 1 to 253, not '" + value + "'";
            options.Com = *com;
        } else if (option == "--link") {
            if (value.empty()) return "--link takes a path";
            options.Link = value;
        } else if (option == "--config") {
            options.Config = value;
        } else if (option == "--trace") {
            if (value.empty()) return "--trace takes a file (- for standard error)";
            options.Trace = value;
        } else if (option == "--fault" || option == "--fault-next") {
            const auto colon = value.find(':');
            const auto fault = ParseFault(value.substr(0, colon));
            if (!fault) return "unknown fault '" + value + "' (one of " + FaultNames() + ")";
            if (option == "--fault-next") {
                int count = 1;
                if (colon != std::string::npos) {
                    const auto parsed = tools::ParseWholeNumber(value.substr(colon + 1), 1, 1000000);
                    if (!parsed) return "--fault-next takes KIND:COUNT with a count from 1, not '" + value + "'";
                    count = *parsed;
                }
                options.FaultsNext.emplace_back(*fault, count);
                continue;
            }
            TFaultRequest request{*fault, {}};
            if (colon != std::string::npos) {
                const auto tanks = tools::ParseTankList(value.substr(colon + 1));
                if (!tanks) return "bad tank list in '" + value + "' (like 1-4,9; tanks 1 to 33)";
                request.Tanks = *tanks;
            }
            options.Faults.push_back(request);
        } else {
            return "unknown option '" + arguments[i] + "'";
        }
    }
    if (options.Help || options.Version) return options;
    if (!options.Device.empty() && options.Com != 0) return "give --com or --device, not both";
    if (!options.Link.empty() && (!options.Device.empty() || options.Com != 0))
        return "--link names the simulator's own pty: not with --device or --com";
    return options;
}

}  // namespace qmx::sim
