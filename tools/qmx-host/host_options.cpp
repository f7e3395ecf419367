#include "host_options.h"

#include <cstdlib>

#include "command_line.h"

namespace qmx::host {
namespace {

constexpr std::size_t kHelpColumn = 24;

// The options as --help shows them, in its order; --help itself is not shown.
const std::vector<tools::TOptionSpec> kHostOptions = {
    {.Name = "--log", .TakesValue = true, .Value = "FILE", .Help = "every text shown, one a line (code page 1251)"},
    {.Name = "--quit-after",
     .TakesValue = true,
     .Value = "SECONDS",
     .Help = "closes any message box and ends after SECONDS"},
    {.Name = "--screenshot",
     .TakesValue = true,
     .Value = "FILE",
     .Help = "a PNG of the window with the settings menu open, then ends"},
    {.Name = "--version", .Help = "the version"},
    {.Name = "--help", .Alias = "-h"},
};

const tools::TCommandLine& HostCommandLine() {
    static const tools::TCommandLine line("qmx-host", kHostOptions);
    return line;
}

}  // namespace

std::variant<THostOptions, std::string> ParseHostOptions(const std::vector<std::string>& arguments) {
    const auto parsed = HostCommandLine().Parse(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return HostCommandLine().Hint(*problem);
    THostOptions options;
    for (const auto& [name, value] : std::get<std::vector<tools::TGivenOption>>(parsed)) {
        if (name == "--help") {
            options.Help = true;
        } else if (name == "--version") {
            options.Version = true;
        } else if (name == "--log") {
            options.Log = value;
        } else if (name == "--screenshot") {
            options.Screenshot = value;
        } else if (name == "--quit-after") {
            // atoi, as the host has always read it: "3s" is 3 seconds.
            options.QuitAfterSeconds = std::atoi(value.c_str());
            if (options.QuitAfterSeconds <= 0) return "qmx-host: --quit-after takes a number of seconds\n";
        }
    }
    return options;
}

std::string HostUsage() {
    return "usage: qmx-host [--log FILE] [--quit-after SECONDS] [--screenshot FILE]\n"
           "\n"
           "A small station host for DriverQuelmarox.dll, which it loads from its own directory.\n"
           "It creates a silo with GetSiloEx (the connection comes from cnf.ini in the Windows\n"
           "directory), puts the driver's entry in its \"Настройка\" menu and shows tanks 1 to 4.\n"
           "The driver's errors are shown in a message box; the host runs on.\n"
           "\n" +
           HostCommandLine().OptionsHelp(kHelpColumn);
}

}  // namespace qmx::host
