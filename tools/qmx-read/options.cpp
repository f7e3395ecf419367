#include "options.h"

#include "tank_list.h"
#include "whole_number.h"

namespace qmx::tools {

std::variant<TOptions, std::string> ParseOptions(const std::vector<std::string>& arguments) {
    TOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        const bool takesValue = arg == "--com" || arg == "--device" || arg == "--tanks" || arg == "--trace";
        if (takesValue && i + 1 >= arguments.size()) return arg + " needs a value";
        const std::string value = takesValue ? arguments[++i] : std::string();
        if (arg == "--help" || arg == "-h") {
            options.Help = true;
        } else if (arg == "--com") {
            const auto com = ParseWholeNumber(value, 1, 253);
            if (!com) return "--com takes a port number from 1 to 253, not '" + value + "'";
            options.Com = *com;
        } else if (arg == "--device") {
            if (value.empty()) return "--device takes a path";
            options.Device = value;
        } else if (arg == "--tanks") {
            const auto tanks = ParseTankList(value);
            if (!tanks) return "--tanks takes a list like 1-4,9 of tanks 1 to 33, not '" + value + "'";
            options.Tanks = *tanks;
        } else if (arg == "--json" || arg == "--csv") {
            options.Format = arg == "--json" ? TFormat::Json : TFormat::Csv;
        } else if (arg == "--trace") {
            if (value.empty()) return "--trace takes a file (- for standard error)";
            options.Trace = value;
        } else if (arg == "--quiet") {
            options.Quiet = true;
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    if (options.Help) return options;
    if ((options.Com == 0) == options.Device.empty()) return "give either --com N or --device PATH";
    if (options.Tanks.empty())
        for (int tank = 1; tank <= 33; ++tank) options.Tanks.push_back(tank);
    return options;
}

}  // namespace qmx::tools
