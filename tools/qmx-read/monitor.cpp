#include "monitor.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/whole_file.h"
#include "replaceable_file.h"
#include "exit_deadline.h"
#include "exit_status.h"
#include "exporter_start.h"
#include "metrics.h"
#include "metrics_exporter.h"
#include "monitor_rows.h"
#include "netline/monitor_open.h"
#include "platform/time_stamp.h"
#include "protocol/gauge_line.h"
#include "protocol/overheard_exchanges.h"
#include "reader_system.h"
#include "serial/wire_trace.h"
#include "tanks_json.h"
#include "tap_watch.h"

namespace qmx::tools {
namespace {

using TClock = std::chrono::steady_clock;

// How often the metrics are written while the line is quiet, so that a
// host that stopped polling shows as a last request that grows old.
constexpr double kQuietMetricsSeconds = 10.0;
// And at most this often as requests come between rows.
constexpr double kRequestMetricsSeconds = 1.0;
constexpr int kPollMs = 100;

constexpr std::chrono::milliseconds kStopGrace{500};

std::atomic<long long> gRows{0};
std::atomic<int> gStopStatus{0};

// The loop writes the rows still held back and ends the program; the grace
// ends it should the loop be blocked on its output.
void StopMonitor(int status) {
    ExitAfter(status, kStopGrace);
    gStopStatus = status;
    for (;;) PauseFor(kStopGrace);
}

double SteadyNow() { return std::chrono::duration<double>(TClock::now().time_since_epoch()).count(); }

double UnixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::vector<std::string> DeviceNames(const std::string& monitor) {
    const auto comma = monitor.find(',');
    if (comma == std::string::npos) return {monitor};
    return {monitor.substr(0, comma), monitor.substr(comma + 1)};
}

class TMonitor {
public:
    TMonitor(const TOptions& options, bool merged, TWireTrace* trace, TMetricsExporter* exporter)
        : FOptions(options), FTrace(trace), FExporter(exporter),
          FWatch(SteadyNow(), merged, !options.Quiet && IsTerminal(stderr)),
          FSplitter([this, trace](bool fromHost, const std::uint8_t* data, std::size_t count) {
              FWatch.Heard(fromHost, data, count, SteadyNow());
              if (trace != nullptr)
                  trace->Log(fromHost ? TWireTrace::TDirection::Sent : TWireTrace::TDirection::Received, data, count);
          }) {}

    // False when the output or the metrics could not be written.
    bool Begin() {
        if (FOptions.Format == TFormat::Table) return Write(MonitorTableHeader());
        if (FOptions.Format == TFormat::Csv) return Write(MonitorCsvHeader());
        return true;
    }

    bool Feed(TLineSide side, const std::uint8_t* data, std::size_t count) {
        return Take(FSplitter.Feed(side, data, count, SteadyNow()));
    }

    bool Tick() {
        const double now = SteadyNow();
        // The monitor hears no verdict after an answer: its line is written
        // once the line has fallen quiet, not when the next bytes come.
        if (FTrace != nullptr) FTrace->FlushEnded();
        if (!Take(FSplitter.Tick(now))) return false;
        FWatch.Tick(now);
        if (!FSplitter.Open() && !Put(FRows.Flush())) return false;
        const bool due = now - FMetricsAt >= kQuietMetricsSeconds ||
                         (FSplitter.Requests() != FPublishedRequests && now - FMetricsAt >= kRequestMetricsSeconds);
        return !due || Publish();
    }

    // The rows of exchanges held back and of an L awaiting its G, for a
    // monitor that ends.
    bool Flush() { return Take(FSplitter.Finish()) && Put(FRows.Flush()); }

    int Status() const { return FStatus; }
    void ClearStatus() { FWatch.Clear(); }

private:
    bool Take(const std::vector<TOverheardExchange>& exchanges) {
        for (const auto& exchange : exchanges) {
            if (FTrace != nullptr) FTrace->Note(ExchangeNote(exchange));
            if (!Put(FRows.Take(exchange))) return false;
        }
        return true;
    }

    static std::string ExchangeNote(const TOverheardExchange& x) {
        TMonitorRow row;
        row.DelaySeconds = x.DelaySeconds;
        row.InTime = !x.Late;
        row.Requests = static_cast<int>(x.Record.Attempts.size());
        return x.Record.Request.Text() + ": " + VerdictText(x.Record.Verdict()) + ", " + MonitorNote(row);
    }

    bool Put(const std::vector<TMonitorRow>& rows) {
        for (auto row : rows) {
            row.Reading.Time = TimeStamp(std::chrono::system_clock::now(), TTimeZone::Utc);
            const bool written = Write(FOptions.Format == TFormat::Json  ? MonitorJsonLine(row)
                                       : FOptions.Format == TFormat::Csv ? MonitorCsvRow(row)
                                                                          : MonitorTableRow(row));
            if (!written) return false;
            ++gRows;
            FFailedTotal += row.Reading.FailedAttempts;
            FLastFailed = row.Reading.FailedAttempts;
            if (row.Reading.Valid && row.Reading.Doubts == 0) FLastValidAt[row.Reading.Tank] = UnixNow();
            FLatest[row.Reading.Tank] = row;
            if (!Publish()) return false;
        }
        return true;
    }

    bool Write(const std::string& text) {
        FWatch.Clear();
        if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return true;
        const int error = errno;
        if (error == EPIPE) EndAsBrokenPipe();
        std::fprintf(stderr, "qmx-read: cannot write the output: %s\n", std::strerror(error));
        FStatus = kOutputFailed;
        return false;
    }

    // The latest row of each tank, as the reader's metrics of a round.
    bool Publish() {
        FMetricsAt = SteadyNow();
        FPublishedRequests = FSplitter.Requests();
        if (FOptions.Metrics.empty() && FExporter == nullptr) return true;
        std::vector<TTankReading> readings;
        for (const auto& [tank, row] : FLatest) readings.push_back(row.Reading);
        TRoundFigures figures;
        figures.FailedExchanges = FLastFailed;
        figures.FailedExchangesTotal = FFailedTotal;
        figures.Rounds = gRows;
        figures.EndedAt = UnixNow();
        figures.LastValidAt = FLastValidAt;
        std::optional<double> lastRequest;
        if (const auto at = FSplitter.LastRequestAt()) lastRequest = figures.EndedAt - (FMetricsAt - *at);
        const TLineLabels line{FOptions.Monitor, FOptions.Instance};
        const std::string own = MonitorMetricsText(line, FSplitter.Requests(), lastRequest, FLatest);
        if (FExporter != nullptr)
            FExporter->Publish({ScrapeText(line, readings, figures) + own,
                                TanksJson(ViewOfRound(FOptions.Monitor, figures.EndedAt, readings, nullptr))});
        std::string problem;
        if (FOptions.Metrics.empty() ||
            ReplaceWholeFile(FOptions.Metrics, MetricsText(line, readings, figures) + own, problem))
            return true;
        std::fprintf(stderr, "qmx-read: cannot write the metrics: %s\n", problem.c_str());
        FStatus = kOutputFailed;
        return false;
    }

    const TOptions& FOptions;
    TWireTrace* const FTrace;
    TMetricsExporter* const FExporter;
    TTapWatch FWatch;
    TExchangeSplitter FSplitter;
    TMonitorRows FRows;
    std::map<int, TMonitorRow> FLatest;
    std::map<int, double> FLastValidAt;
    long long FFailedTotal = 0;
    int FLastFailed = 0;
    double FMetricsAt = 0;
    long long FPublishedRequests = 0;
    int FStatus = kAllValid;
};

}  // namespace

int RunMonitor(const TOptions& options) {
    const auto names = DeviceNames(options.Monitor);
    TMonitorLines lines;
    for (const auto& name : names) {
        std::string problem;
        lines.push_back(net::OpenMonitorLine(name, problem));
        if (!lines.back()) {
            std::fprintf(stderr, "qmx-read: cannot open %s: %s\n", name.c_str(), problem.c_str());
            return kDeviceFailed;
        }
    }
    TWireTrace trace;
    if (!options.Trace.empty() && trace.Open(options.Trace))
        trace.Section(options.Monitor + ", " + qmx::FrameText(qmx::kGaugeLine) +
                      ", listened to only; > sent by the host, < by the gauge");
    std::unique_ptr<TMetricsExporter> exporter;
    if (!StartExporter(options, options.Monitor, exporter)) return kOutputFailed;
    TMonitor monitor(options, lines.size() == 1, trace.IsOpen() ? &trace : nullptr, exporter.get());
    WatchForStops(&StopMonitor);
    if (!monitor.Begin()) return monitor.Status();
    for (;;) {
        if (const int stop = gStopStatus) {
            monitor.Flush();
            monitor.ClearStatus();
            std::fprintf(stderr, "qmx-read: interrupted after %lld rows\n", gRows.load());
            return stop;
        }
        const std::vector<bool> ready = AwaitBytes(lines, kPollMs);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!ready[i]) continue;
            std::uint8_t buffer[512];
            std::string problem;
            const long got = lines[i]->Read(buffer, sizeof buffer, problem);
            if (got < 0) {
                monitor.ClearStatus();
                std::fprintf(stderr, "qmx-read: %s has gone: %s\n", names[i].c_str(), problem.c_str());
                monitor.Flush();
                return kDeviceFailed;
            }
            if (got == 0) continue;
            const TLineSide side = lines.size() == 1 ? TLineSide::Both : i == 0 ? TLineSide::Host : TLineSide::Gauge;
            if (!monitor.Feed(side, buffer, static_cast<std::size_t>(got))) return monitor.Status();
        }
        if (!monitor.Tick()) return monitor.Status();
    }
}

}  // namespace qmx::tools
