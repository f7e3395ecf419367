#include "options.h"

#include <optional>

#include "command_line.h"
#include "device_filter.h"
#include "netline/net_address.h"
#include "tank_list.h"
#include "platform/whole_number.h"
#include "protocol/tank_reading.h"

namespace qmx::tools {
namespace {

// The options as --help shows them, in its order.
const std::vector<TOptionSpec> kReaderOptions = {
#ifdef _WIN32
    {.Name = "--com", .TakesValue = true, .Value = "N", .Help = "COM port N (1 to 253)"},
    {.Name = "--device",
     .TakesValue = true,
     .Value = "NAME",
     .Help = "the port by its Windows name, like \\\\.\\COM12, or a device server's\n"
             "network port (below)"},
#else
    {.Name = "--com",
     .TakesValue = true,
     .Value = "N",
     .Help = "COM port N (1 to 253): the device in QMX_COMN, else /dev/ttyS<N-1>"},
    {.Name = "--device",
     .TakesValue = true,
     .Value = "PATH",
     .Help = "the serial device itself (a USB adapter, best by its\n"
             "/dev/serial/by-id name; the simulator's pty), or a device\n"
             "server's network port (below)"},
#endif
    {.Name = "--monitor",
     .TakesValue = true,
     .Value = "DEV[,DEV]",
     .Help = "listen to a station's own exchanges, sending nothing, until\n"
             "interrupted: one device that carries both ways, or the host's\n"
             "side then the gauge's; rows as --watch gives them"},
    {.Name = "--tanks",
     .TakesValue = true,
     .Value = "LIST",
     .Help = "tanks to read, like 1-4,9 (tanks 1 to 33; default: all)"},
    {.Name = "--json", .Help = "output for programs: JSON (with --list too)"},
    {.Name = "--csv", .Help = "output for programs: CSV"},
    {.Name = "--trace",
     .TakesValue = true,
     .Value = "FILE",
     .Help = "every byte on the line, with time stamps and a verdict per\n"
             "attempt (- for standard error; a FIFO needs its reader first)"},
    {.Name = "--watch",
     .TakesValue = true,
     .Value = "SECONDS",
     .Help = "read round after round, a round every SECONDS, until interrupted;\n"
             "each row carries its UTC time (JSON: one object a line)"},
    {.Name = "--metrics",
     .TakesValue = true,
     .Value = "FILE",
     .Help = "after each round, the readings in Prometheus' text format\n"
             "(replaced whole: for node exporter's textfile collector; a\n"
             "link's target is the file replaced)"},
    {.Name = "--listen",
     .TakesValue = true,
     .Value = "ADDR:PORT",
     .Help = "with --watch, the metrics over HTTP at /metrics, on Linux\n"
             "(PORT alone: 127.0.0.1 only; :PORT every IPv4 address)"},
    {.Name = "--instance",
     .TakesValue = true,
     .Value = "NAME",
     .Help = "with --metrics or --listen, an instance=\"NAME\" label on every\n"
             "sample (the service qmx-read@NAME gives its NAME)"},
    {.Name = "--inventory",
     .TakesValue = true,
     .Value = "FILE",
     .Help = "what is in each tank, from the tank file FILE: volume, volume\n"
             "at 15 C, mass, ullage; with --watch, deliveries and leak tests"},
    {.Name = "--events",
     .TakesValue = true,
     .Value = "FILE",
     .Help = "with --inventory, each delivery and leak test as a JSON line\n"
             "added to FILE (- for standard error)"},
    {.Name = "--from-rows",
     .TakesValue = true,
     .Value = "CSV",
     .Help = "with --inventory, the events in rows recorded earlier (the\n"
             "reader's own --watch --csv rows), to standard output or --events"},
    {.Name = "--fast",
     .Help = "take an answer as soon as a whole, checked frame is in, rather\n"
             "than after the protocol's full second"},
    {.Name = "--pause",
     .TakesValue = true,
     .Value = "MS",
     .Help = "with --fast, the quiet time before each request (default 70)"},
    {.Name = "--quiet", .Help = "no progress line"},
    {.Name = "--list",
     .Help = "the serial devices there are, without opening any: driver, USB\n"
             "vendor and product, maker, serial number, USB location,\n"
             "/dev/serial/by-id and /dev/serial/by-path names"},
    {.Name = "--match",
     .TakesValue = true,
     .Value = "PATTERN",
     .Help = "with --list, only the devices PATTERN matches: VID:PID in hex\n"
             "(0403:6001; 0403: for any product), else a regular expression,\n"
             "case ignored, on the path, by-id and by-path names, maker,\n"
             "product and pySerial's hardware id (USB VID:PID=... SER=...)"},
    {.Name = "--help", .Alias = "-h", .Help = "this help"},
    {.Name = "--version", .Help = "the reader's version"},
};

const TCommandLine& ReaderCommandLine() {
    static const TCommandLine line = [] {
        TCommandLine made("qmx-read", kReaderOptions);
        made.Conflicting({"--json", "--csv"});
        made.Conflicting({"--com", "--device"});
        for (const char* reading : {"--com", "--device", "--watch", "--tanks", "--fast", "--pause", "--list"})
            made.Conflicting({"--monitor", reading});
        made.Conflicting({"--monitor", "--inventory"});
        for (const char* reading : {"--com", "--device", "--watch", "--trace", "--metrics", "--listen", "--fast",
                                    "--pause", "--list", "--json", "--csv"})
            made.Conflicting({"--from-rows", reading});
        return made;
    }();
    return line;
}

// --device: a path, or a network port's name, which the command line must
// get right.
std::optional<std::string> ApplyDevice(TOptions& options, const std::string& value) {
    if (value.empty()) return "--device takes a path";
    if (std::string problem; net::IsNetworkName(value) && !net::ParseNetAddress(value, problem)) return problem;
    options.Device = value;
    return std::nullopt;
}

// Whether `name` can stand as a label value as given: printable ASCII
// without quotes, backslashes or spaces, so that the exposition never has
// to escape it and a dashboard's query names it as the service does.
bool IsPlainLabelValue(const std::string& name) {
    if (name.empty() || name.size() > 128) return false;
    for (const unsigned char c : name)
        if (c <= ' ' || c >= 0x7F || c == '"' || c == '\'' || c == '\\') return false;
    return true;
}

// --listen and --instance: where the metrics are served, and the name
// they carry.
std::optional<std::string> ApplyExporterOption(TOptions& options, const std::string& name, const std::string& value) {
    if (name == "--instance") {
        if (!IsPlainLabelValue(value))
            return "--instance takes a name of 1 to 128 printable characters without spaces or quotes, like "
                   "tank-farm, not '" + value + "'";
        options.Instance = value;
        return std::nullopt;
    }
    std::string problem;
    options.Listen = ParseListenAddress(value, problem);
    if (!options.Listen) return problem;
    return std::nullopt;
}

// One option as given, into `options`: nothing, or what is wrong with its
// value.
std::optional<std::string> ApplyOption(TOptions& options, const std::string& name, const std::string& value) {
    if (name == "--help") {
        options.Help = true;
    } else if (name == "--version") {
        options.Version = true;
    } else if (name == "--list") {
        options.List = true;
    } else if (name == "--match") {
        if (std::string problem; !TDeviceFilter::Parse(value, problem)) return problem;
        options.Match = value;
    } else if (name == "--com") {
        const auto com = ParseWholeNumber(value, 1, 253);
        if (!com) return "--com takes a port number from 1 to 253, not '" + value + "'";
        options.Com = *com;
    } else if (name == "--device") {
        return ApplyDevice(options, value);
    } else if (name == "--monitor") {
        if (value.empty() || value.front() == ',' || value.back() == ',')
            return "--monitor takes DEVICE or HOSTSIDE,GAUGESIDE";
        options.Monitor = value;
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
    } else if (name == "--listen" || name == "--instance") {
        return ApplyExporterOption(options, name, value);
    } else if (name == "--inventory" || name == "--events" || name == "--from-rows") {
        if (value.empty()) return name + " takes a file";
        (name == "--inventory" ? options.Inventory : name == "--events" ? options.Events : options.FromRows) = value;
    } else if (name == "--fast") {
        options.Fast = true;
    } else if (name == "--pause") {
        const auto pause = ParseWholeNumber(value, 0, 10000);
        if (!pause) return "--pause takes milliseconds, 0 to 10000, not '" + value + "'";
        options.PauseMs = *pause;
    }
    return std::nullopt;
}

// What the options say together: a problem, or nothing, with the default
// tanks filled in when tanks are read.
std::optional<std::string> Complete(TOptions& options, bool pauseGiven) {
    if (options.List && options.Format == TFormat::Csv) return "--list shows a table, or JSON with --json";
    if (!options.Match.empty() && !options.List) return "--match narrows --list: it goes with --list";
    if (options.Help || options.Version || options.List) return std::nullopt;
    if (!options.Instance.empty() && options.Metrics.empty() && !options.Listen)
        return "--instance names the metrics: it goes with --metrics or --listen";
    if (pauseGiven && !options.Fast)
        return "--pause goes with --fast (without it the protocol's own timing holds)";
    if (!options.Monitor.empty()) return std::nullopt;
    if (options.Inventory.empty() && (!options.Events.empty() || !options.FromRows.empty()))
        return std::string(options.Events.empty() ? "--from-rows" : "--events") + " goes with --inventory FILE";
    if (!options.FromRows.empty()) return std::nullopt;
    if (options.Listen && options.WatchSeconds == 0)
        return "--listen goes with --watch (a single round's metrics would be gone before a scrape)";
    if ((options.Com == 0) == options.Device.empty()) return "give either --com N or --device PATH";
    if (options.Tanks.empty())
        for (int tank = 1; tank <= qmx::kGaugeTanks; ++tank) options.Tanks.push_back(tank);
    return std::nullopt;
}

}  // namespace

std::string OptionsHint(const std::string& problem) { return ReaderCommandLine().Hint(problem); }

std::string OptionsHelp() { return ReaderCommandLine().OptionsHelp(kHelpColumn); }

std::variant<TOptions, std::string> ParseOptions(const std::vector<std::string>& arguments) {
    const auto parsed = ReaderCommandLine().Parse(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return *problem;
    TOptions options;
    bool pauseGiven = false;
    for (const auto& [name, value] : std::get<std::vector<TGivenOption>>(parsed)) {
        if (auto problem = ApplyOption(options, name, value)) return *problem;
        pauseGiven = pauseGiven || name == "--pause";
    }
    if (auto problem = Complete(options, pauseGiven)) return *problem;
    return options;
}

}  // namespace qmx::tools
