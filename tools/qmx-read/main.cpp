// qmx-read: reads tanks from a Quelmarox gauge through the driver, exactly
// as a station's host does, and prints each tank's row as it is read; once,
// or round after round.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/whole_file.h"
#include "replaceable_file.h"
#include "exit_status.h"
#include "driver/connection.h"
#include "driver/silo.h"
#include "exit_deadline.h"
#include "device_filter.h"
#include "device_list.h"
#include "event_json.h"
#include "exporter_start.h"
#include "final_hint.h"
#include "inventory/station_inventory.h"
#include "inventory/tank_file.h"
#include "metrics.h"
#include "metrics_exporter.h"
#include "monitor.h"
#include "options.h"
#include "output.h"
#include "platform/append_file.h"
#include "platform/time_stamp.h"
#include "progress.h"
#include "reader_system.h"
#include "reading.h"
#include "recorded_rows.h"
#include "recording_port.h"
#include "round_status.h"
#include "rows_events.h"
#include "serial/serial_errors.h"
#include "serial/wire_trace.h"
#include "service_notice.h"
#include "standard_descriptors.h"
#include "tanks_json.h"
#include "text.h"

namespace {

using namespace qmx::tools;
using qmx::TTankReading;
using qmx::net::TChosenDevice;
using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;


// How long a device that has gone is given to come back: about what one
// tank's reading costs when the gauge does not answer.
constexpr auto kComeBackWindow = 3s;
constexpr auto kComeBackPoll = 250ms;

void Usage(std::FILE* out) {
    std::fputs("Usage: qmx-read [OPTION]... (--com N | --device DEVICE)\n"
               "   or: qmx-read --monitor DEVICE[,DEVICE] [OPTION]...\n"
               "   or: qmx-read --inventory FILE --from-rows CSV [--events FILE]\n"
               "   or: qmx-read --list [--match PATTERN] [--json]\n"
               "   or: qmx-read --help | --version\n"
               "\n"
               "Reads level, temperature, second value and density of each tank from a Quelmarox\n"
               "gauge (protocol v3.00) on a serial line, through the driver as a station's host does.\n"
               "The line runs at 9600 baud, 7 data bits, even parity, 1 stop bit (7E1), RTS low.\n"
               "\n"
               "Options:\n",
               out);
    std::fputs(OptionsHelp().c_str(), out);
    std::fputs("\n"
               "Network ports:\n"
               "  socket://HOST:PORT   a device server's raw TCP port: its own line settings hold,\n"
               "                       7E1 is neither set nor checked\n"
               "  rfc2217://HOST:PORT  a device server's RFC 2217 port: 7E1 set and checked\n"
               "                       (HOST a name, an IPv4 address or an [IPv6] address)\n"
               "  rfc2217://HOST:PORT?ign_set_control&timeout=SECONDS\n"
               "                       pySerial's options: line control not waited for; how long\n"
               "                       the server has to answer each setting (default 3 s)\n"
               "\n"
               "Each exchange waits one second for the gauge by design: 33 tanks take over a minute\n"
               "(a few seconds with --fast). Rows are printed as the tanks are read. A tank without\n"
               "a valid level is not asked for its other values. A failed tank shows why its last\n"
               "attempt failed (no answer, no STX, wrong length, no ETX, check byte, invalid value,\n"
               "answer to another request) and how many attempts were made. Values the driver takes\n"
               "as valid but that are in doubt (a field that is not a number) are flagged.\n"
               "\n"
               "Exit status: 0 every tank valid; 1 some not; 2 usage or configuration; 3 the device\n"
               "cannot be opened, or went and did not come back; 4 the output, trace or metrics\n"
               "cannot be written; 130 and 143 when interrupted (SIGINT, SIGTERM).\n",
               out);
}

TOutput* gOutput = nullptr;

int OutputFailed() {
    const int error = gOutput->Error();
    if (error == EPIPE) EndAsBrokenPipe();
    std::fprintf(stderr, "qmx-read: cannot write the output: %s\n", std::strerror(error));
    return kOutputFailed;
}

double UnixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// A stop ends the reader within a second whatever it was doing: a row may
// be blocked on an output nobody reads, holding the output's lock.
constexpr auto kStopGrace = 500ms;
constexpr unsigned kStopLockPatienceMs = 250;

void Stop(int status) {
    NoticeStopping();
    ExitAfter(status, kStopGrace);
    gOutput->Interrupt("qmx-read: interrupted after " + std::to_string(gOutput->Rows()) + " tanks",
                       kStopLockPatienceMs);
    std::_Exit(status);
}

struct TRound {
    std::vector<TTankReading> Readings;
    int Status = -1;  // the exit status when the reader is to stop now
};

class TReader {
public:
    // With `inventory` (the tank file's), each reading's inventory is shown
    // with it, and the events its readings complete go to `events` when it
    // is open. Each tank read tells `service` that the reader is alive.
    TReader(const TOptions& options, const TChosenDevice& device, qmx::TSilo& silo, TOutput& output,
            TRecordingPort* port, qmx::TStationInventory* inventory, qmx::TAppendFile& events,
            const TServiceNotice& service)
        : FOptions(options), FDevice(device), FSilo(silo), FOutput(output), FPort(port), FInventory(inventory),
          FEvents(events), FService(service), FProgress(!options.Quiet && IsTerminal(stderr)) {
        // The attempt under way is known only to the port.
        if (FProgress && FPort != nullptr)
            FPort->WatchAttempts([this](const qmx::TExchangeRecord& exchange) { AttemptJudged(exchange); });
    }

    TRound Round() {
        TRound round;
        const auto& tanks = FOptions.Tanks;
        FRoundStart = TClock::now();
        for (std::size_t i = 0; i < tanks.size(); ++i) {
            FIndex = i;
            FTankStart = TClock::now();
            ShowProgress(1);
            TTankReading reading = Read(tanks[i]);
            // A tank takes 12 s at most, its exchanges failing on a dead
            // line included: well within the service's watchdog time.
            FService.Alive();
            FDoneTime = TClock::now() - FRoundStart;
            NoteNoAnswerYet(reading);
            if (FPort != nullptr && !FPort->DevicePresent() && !Gone(tanks[i], reading)) {
                round.Readings.push_back(reading);
                if (!Show(reading) || !FOutput.End()) round.Status = ShowFailed();
                else
                    round.Status = GiveUp(tanks[i], i + 1);
                return round;
            }
            round.Readings.push_back(reading);
            if (!Show(reading)) {
                round.Status = ShowFailed();
                return round;
            }
        }
        NoteStillGone();
        return round;
    }

    // Whether the device was there when the round ended.
    bool DevicePresent() const { return FPort == nullptr || FPort->DevicePresent(); }
    // Per tank, since the start: when it last read valid and without doubt.
    const std::map<int, double>& LastValidAt() const { return FLastValidAt; }

    // After a round: says once that a device that went is back.
    void NoteReturn() {
        if (FGone && FPort != nullptr && FPort->DevicePresent()) {
            FOutput.Note("qmx-read: " + FDevice.Name + " is back");
            FGone = false;
        }
    }

private:
    // After each attempt: the attempt that follows, this exchange's next or
    // the next exchange's first.
    void AttemptJudged(const qmx::TExchangeRecord& exchange) {
        const std::size_t made = exchange.Attempts.Made();
        ShowProgress(exchange.Accepted() || made >= qmx::kMaxAttempts ? 1 : made + 1);
    }

    void ShowProgress(std::size_t attempt) {
        if (!FProgress) return;
        const auto now = TClock::now();
        const auto& tanks = FOptions.Tanks;
        FOutput.Progress(ProgressLine(tanks[FIndex], FIndex + 1, tanks.size(), attempt,
                                      std::chrono::duration_cast<TSeconds>(now - FRoundStart),
                                      TimeLeft(FIndex, tanks.size(), FDoneTime, now - FTankStart)));
    }

    // A watcher learns at once, not after the whole round, that the first
    // tank got nothing valid, and what to look at for it.
    void NoteNoAnswerYet(const TTankReading& reading) {
        if (reading.Level) FAnswered = true;
        if (!FProgress || FAnswered || FNotedNoAnswer || reading.Valid) return;
        FOutput.Note(NoAnswerYetNote(reading));
        FNotedNoAnswer = true;
    }

    // The reading's row, with its inventory, and the events it completes;
    // false when either cannot be written.
    bool Show(const TTankReading& reading) {
        if (FInventory == nullptr) return FOutput.Row(reading);
        std::vector<qmx::TTankEvent> events;
        // The row's own time, to the millisecond it shows: rows read back
        // later (--from-rows) then give these very events.
        const double time = ParseUtcStamp(reading.Time).value_or(UnixNow());
        const qmx::TInventory inventory = FInventory->Take(reading, time, events);
        if (!FOutput.Row(reading, &inventory)) return false;
        for (const auto& event : events)
            if (std::string problem; FEvents.IsOpen() && !FEvents.Write(EventLine(event), problem)) {
                FOutput.Note("qmx-read: cannot write the events: " + problem);
                FEventsFailed = true;
                return false;
            }
        return true;
    }

    // The exit status when a row or its events could not be written.
    int ShowFailed() const { return FEventsFailed ? kOutputFailed : OutputFailed(); }

    // Why the device is not there, as the last try to open it again found.
    std::string Absence() const {
        const auto why = FPort->WhyAbsent();
        return why ? ": " + Cp1251ToUtf8(why->what()) : std::string();
    }

    // The device did not come back while `tank` was read: a device server
    // set up for another line stays so until someone changes it.
    int GiveUp(int tank, std::size_t read) {
        const auto why = FPort->WhyAbsent();
        std::fprintf(stderr, "qmx-read: %s did not come back; stopped at tank %d (%zu of %zu read)%s\n",
                     FDevice.Name.c_str(), tank, read, FOptions.Tanks.size(), Absence().c_str());
        return why && why->Failure() == qmx::TSerialFailure::Refused ? kUsage : kDeviceFailed;
    }

    // Round after round, each says why the device is still not there.
    void NoteStillGone() {
        if (FGone && FOptions.WatchSeconds != 0 && FPort != nullptr && !FPort->DevicePresent())
            FOutput.Note("qmx-read: " + FDevice.Name + " is still gone" + Absence());
    }

    TTankReading Read(int tank) {
        TTankReading reading = ReadTank(FSilo, tank, FPort);
        if (FOptions.WatchSeconds != 0)
            reading.Time = qmx::TimeStamp(std::chrono::system_clock::now(), qmx::TTimeZone::Utc);
        if (reading.Valid && reading.Doubts == 0) FLastValidAt[tank] = UnixNow();
        return reading;
    }

    // The device went while `tank` was read. Once it has read on a whole
    // tank's time, a single reading stops; rounds go on with the tanks
    // failing, each trying to open the device again. False when it is to
    // stop.
    bool Gone(int tank, TTankReading& reading) {
        if (!FGone) FOutput.Note("qmx-read: " + FDevice.Name + " has gone; waiting for it to come back");
        FGone = true;
        if (FOptions.WatchSeconds != 0) return true;
        // Each reading tries once to open the device again.
        const auto until = TClock::now() + kComeBackWindow;
        while (!FPort->DevicePresent() && TClock::now() < until) {
            PauseFor(kComeBackPoll);
            reading = Read(tank);
        }
        if (!FPort->DevicePresent()) return false;
        FOutput.Note("qmx-read: " + FDevice.Name + " is back");
        FGone = false;
        return true;
    }

    const TOptions& FOptions;
    const TChosenDevice& FDevice;
    qmx::TSilo& FSilo;
    TOutput& FOutput;
    TRecordingPort* const FPort;
    qmx::TStationInventory* const FInventory;
    qmx::TAppendFile& FEvents;
    const TServiceNotice& FService;
    bool FEventsFailed = false;
    bool FGone = false;
    std::map<int, double> FLastValidAt;
    // The progress line, on a terminal only: where the round is, and when
    // it began, its tank began and its last tank ended.
    const bool FProgress;
    std::size_t FIndex = 0;
    TClock::time_point FRoundStart;
    TClock::time_point FTankStart;
    std::chrono::duration<double> FDoneTime{};
    bool FAnswered = false;
    bool FNotedNoAnswer = false;
};

// --help, --version and --list: answered without a device.
std::optional<int> AnswerWithoutADevice(const TOptions& options) {
    if (options.Help) {
        Usage(stdout);
        return kAllValid;
    }
    if (options.Version) {
        std::printf("qmx-read %s (Quelmarox gauge, protocol v3.00)\n", QMX_VERSION);
        return kAllValid;
    }
    if (!options.List) return std::nullopt;
    auto devices = qmx::ListSerialDevices();
    // The pattern was checked with the options.
    std::string problem;
    if (!options.Match.empty()) devices = TDeviceFilter::Parse(options.Match, problem)->Keep(devices);
    std::fputs((options.Format == TFormat::Json ? FormatDeviceListJson(devices)
                                                : FormatDeviceList(devices, !options.Match.empty()))
                   .c_str(),
               stdout);
    return kAllValid;
}

// The device the options name, checked, with the trace its port is to
// keep; false, said, when it will not do.
bool ChooseReaderDevice(const TOptions& options, TChosenDevice& device) {
    if (std::string problem; !qmx::net::ChooseDevice(options.Device, options.Com, device, problem)) {
        std::fprintf(stderr, "qmx-read: cannot open %s: %s\n",
                     device.Name.empty() ? options.Device.c_str() : device.Name.c_str(), problem.c_str());
        return false;
    }
    if (device.Network && device.Network->Kind == qmx::net::TNetAddress::TKind::Socket)
        std::fprintf(stderr,
                     "qmx-read: %s is raw TCP: the device server's own line settings hold, and 7E1 cannot be set "
                     "or checked from here (rfc2217:// can)\n",
                     device.Name.c_str());
    // --trace, else QMX_TRACE as the driver in a host takes it.
    device.Trace = options.Trace.empty() ? qmx::ConfiguredTracePath() : options.Trace;
    return true;
}

// A trace into the very file the rows go to: each would write over the
// other's lines (the trace's header first), whichever way it is named.
bool TraceSharesTheRows(const TOptions& options) {
    if (options.Trace.empty() || !SharesStandardOutput(options.Trace)) return false;
    std::fprintf(stderr,
                 "qmx-read: the trace %s is the file the rows go to, and each would write over the other's lines: "
                 "give the trace a file of its own (- for standard error)\n",
                 options.Trace.c_str());
    return true;
}

// The trace and the metrics file can be written, before anything is read.
// The trace stays open in `traceCheck` for the run: a FIFO's reader would
// take the check's close for the end of the trace.
bool OutputsWritable(const TOptions& options, qmx::TWireTrace& traceCheck, qmx::TAppendFile& events) {
    if (std::string problem; !options.Trace.empty() && !traceCheck.Open(options.Trace, &problem)) {
        std::fprintf(stderr, "qmx-read: cannot open the trace file %s: %s\n", options.Trace.c_str(),
                     problem.c_str());
        return false;
    }
    if (std::string problem; !options.Events.empty() && !events.Open(options.Events, problem)) {
        std::fprintf(stderr, "qmx-read: cannot open the events file %s: %s\n", options.Events.c_str(),
                     problem.c_str());
        return false;
    }
    if (std::string problem; !options.Metrics.empty() && !CheckReplaceable(options.Metrics, problem)) {
        std::fprintf(stderr, "qmx-read: cannot write the metrics to %s: %s\n", options.Metrics.c_str(),
                     problem.c_str());
        return false;
    }
    return true;
}

// The silo as a factory makes it, with the reader's own opener, so that the
// reader sees the exchanges and the device's state; the exit status when it
// cannot be made.
std::optional<int> MakeSilo(const TChosenDevice& device, TRecordingPort*& port, std::unique_ptr<qmx::TSilo>& silo) {
    try {
        silo = std::make_unique<qmx::TSilo>(qmx::ConnectionTypeFor(static_cast<std::uint32_t>(device.Com), 0),
                                            nullptr, RecordingOpener(device, port));
        return std::nullopt;
    } catch (const qmx::ESerialIO& error) {
        std::fprintf(stderr, "qmx-read: cannot open %s: %s\n", device.Name.c_str(),
                     Cp1251ToUtf8(error.what()).c_str());
        // A device server set up for another line stays so until someone
        // changes it; a device that is not there may come.
        return error.Failure() == qmx::TSerialFailure::Refused ? kUsage : kDeviceFailed;
    }
}

// Until `next`, saying that the reader is alive as often as a watchdog
// wants to hear it.
void PauseUntil(TClock::time_point next, const TServiceNotice& service) {
    for (auto now = TClock::now(); now < next; now = TClock::now()) {
        auto pause = std::chrono::ceil<std::chrono::milliseconds>(next - now);
        if (const auto every = service.AliveEvery()) pause = std::min(pause, *every);
        PauseFor(pause);
        service.Alive();
    }
}

// Round after round (one without --watch), each written out as it ends;
// the exit status once the reading is to stop.
int ReadRounds(const TOptions& options, const TChosenDevice& device, std::unique_ptr<qmx::TSilo>& silo,
               TOutput& output, TRecordingPort* port, TMetricsExporter* exporter, qmx::TStationInventory* inventory,
               qmx::TAppendFile& events) {
    const TServiceNotice service;
    TReader reader(options, device, *silo, output, port, inventory, events, service);
    // Ready with the device open and the first round about to start, not
    // after that round: `systemctl start` then fails for what the reader
    // cannot work without (a device missing or refused, an output or port
    // it cannot have), each said and ended before this, while a gauge that
    // does not answer, whose first round takes longer than systemd waits
    // for a start (33 tanks at 3 s each), is what the reader is there to
    // report, in each round's status, rather than a start that failed.
    service.Ready();
    qmx::TRoundFigures figures;
    const qmx::TLineLabels line{device.Name, options.Instance};
    for (;;) {
        const auto started = TClock::now();
        const TRound round = reader.Round();
        if (round.Status >= 0) return round.Status;
        reader.NoteReturn();
        figures.DurationSeconds = std::chrono::duration<double>(TClock::now() - started).count();
        figures.FailedExchanges = 0;
        for (const auto& reading : round.Readings) figures.FailedExchanges += reading.FailedAttempts;
        figures.FailedExchangesTotal += figures.FailedExchanges;
        ++figures.Rounds;
        figures.EndedAt = UnixNow();
        figures.DevicePresent = reader.DevicePresent();
        figures.LastValidAt = reader.LastValidAt();
        if (std::string problem;
            !options.Metrics.empty() &&
            !qmx::ReplaceWholeFile(options.Metrics, MetricsText(line, round.Readings, figures, inventory),
                                   problem)) {
            output.End();
            std::fprintf(stderr, "qmx-read: cannot write the metrics: %s\n", problem.c_str());
            return kOutputFailed;
        }
        if (exporter != nullptr)
            exporter->Publish({ScrapeText(line, round.Readings, figures, inventory),
                               TanksJson(ViewOfRound(device.Name, figures.EndedAt, round.Readings, inventory))});
        service.Status(RoundStatus(round.Readings, figures));
        std::size_t valid = 0;
        for (const auto& reading : round.Readings) valid += reading.Valid ? 1 : 0;
        if (options.WatchSeconds == 0) {
            if (!output.End()) return OutputFailed();
            silo.reset();
            if (const std::string hint = FinalHint(round.Readings, device.Name); !hint.empty())
                std::fprintf(stderr, "%s\n", hint.c_str());
            return valid == options.Tanks.size() ? kAllValid : kSomeInvalid;
        }
        // Rounds start every so many seconds; one that ran longer is
        // followed at once.
        PauseUntil(started + std::chrono::seconds(options.WatchSeconds), service);
    }
}

// The tank file's tanks, when --inventory names one; false, said, when it
// is refused.
bool LoadInventory(const TOptions& options, std::optional<qmx::TStationInventory>& inventory) {
    if (options.Inventory.empty()) return true;
    auto loaded = qmx::LoadTankFile(options.Inventory);
    if (const auto* problem = std::get_if<std::string>(&loaded)) {
        std::fprintf(stderr, "qmx-read: the tank file: %s\n", problem->c_str());
        return false;
    }
    inventory.emplace(std::get<std::vector<qmx::TTank>>(loaded));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!EnsureStandardDescriptors()) return kOutputFailed;
    PrepareForStops();

    const auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::fputs(OptionsHint(*problem).c_str(), stderr);
        return kUsage;
    }
    const TOptions options = std::get<TOptions>(parsed);
    if (const auto answered = AnswerWithoutADevice(options)) return *answered;

    std::optional<qmx::TStationInventory> inventory;
    if (!LoadInventory(options, inventory)) return kUsage;
    if (!options.FromRows.empty()) return FindEventsInRows(options, *inventory);

    qmx::TWireTrace traceCheck;
    qmx::TAppendFile events;
    if (TraceSharesTheRows(options)) return kUsage;
    if (!OutputsWritable(options, traceCheck, events)) return kOutputFailed;
    if (!options.Monitor.empty()) return RunMonitor(options);

    TChosenDevice device;
    if (!ChooseReaderDevice(options, device)) return kDeviceFailed;

    std::unique_ptr<TMetricsExporter> exporter;
    if (!StartExporter(options, device.Name, exporter)) return kOutputFailed;

    static TOutput output(stdout, options.Format, options.WatchSeconds != 0, inventory.has_value());
    gOutput = &output;
    WatchForStops(&Stop);

    TRecordingPort* port = nullptr;
    std::unique_ptr<qmx::TSilo> silo;
    if (const auto failed = MakeSilo(device, port, silo)) return *failed;
    if (port != nullptr && options.Fast) port->SetFastAnswers(true, std::chrono::milliseconds(options.PauseMs));
    if (!output.Begin()) return OutputFailed();
    return ReadRounds(options, device, silo, output, port, exporter.get(), inventory ? &*inventory : nullptr, events);
}
