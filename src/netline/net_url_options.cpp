#include "netline/net_url_options.h"

#include <set>

#include "platform/whole_number.h"

namespace qmx::net {
namespace {

constexpr int kLongestTimeout = 60;

// pySerial's options that have no place here, and why.
struct TRefused {
    const char* Name;
    const char* Reason;
};

constexpr TRefused kRefused[] = {
    {"logging", "logging is pySerial's own; use --trace for every byte and each answer of the server"},
    {"poll_modem", "poll_modem is not taken: the gauge's line has no modem lines to read"},
};

// One rfc2217:// option, `value` empty when there is no '='.
bool ApplyRfc2217Option(TNetAddress& address, const std::string& name, const std::string& value, bool hasValue,
                        std::string& problem) {
    if (name == "ign_set_control") {
        if (hasValue) problem = "ign_set_control takes no value";
        address.IgnoreSetControl = true;
    } else if (name == "timeout") {
        const auto seconds = ParseWholeNumber(value, 1, kLongestTimeout);
        if (!seconds)
            problem = "timeout takes the seconds the server has to answer, 1 to " + std::to_string(kLongestTimeout) +
                      ", not '" + value + "'";
        else
            address.AnswerTimeout = std::chrono::seconds(*seconds);
    } else {
        problem = "unknown option '" + name + "' (rfc2217:// takes ign_set_control and timeout=SECONDS)";
    }
    return problem.empty();
}

}  // namespace

bool ApplyUrlOptions(TNetAddress& address, std::string& problem) {
    std::set<std::string> seen;
    const std::string& options = address.Options;
    for (std::size_t start = 0; start <= options.size();) {
        std::size_t end = options.find('&', start);
        if (end == std::string::npos) end = options.size();
        const std::string option = options.substr(start, end - start);
        start = end + 1;
        const auto equals = option.find('=');
        const std::string name = option.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : option.substr(equals + 1);
        if (name.empty()) {
            problem = "an empty option (options go after '?', joined by '&')";
            return false;
        }
        if (!seen.insert(name).second) {
            problem = "option '" + name + "' is given twice";
            return false;
        }
        for (const auto& refused : kRefused)
            if (name == refused.Name) {
                problem = refused.Reason;
                return false;
            }
        if (address.Kind == TNetAddress::TKind::Socket) {
            problem = "unknown option '" + name + "' (socket:// takes none)";
            return false;
        }
        if (!ApplyRfc2217Option(address, name, value, equals != std::string::npos, problem)) return false;
    }
    return true;
}

}  // namespace qmx::net
