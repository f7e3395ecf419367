// How close a replayed trace keeps the field's timing: each recorded answer
// part's arrival on the line against its recorded delay after its request,
// idle and beside `stress-ng --cpu 2 --io 2`. The worst drift is what can
// turn a field failure into a valid reading (an answer that was just late
// arriving just in time); the target is 5 ms. Each part is timed where a
// reader meets it, on the pty's far end, from the request's write to the
// read that brings the part's first byte; the reading thread runs at the
// simulator's priority (real-time where permitted, and it says which), as
// a reader that keeps time must. The figures go into bench/results.json
// beside the other benches'.
//
//   replay_drift_bench [RESULTS_JSON]

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "figures_json.h"
#include "gauge.h"
#include "raw_pty.h"
#include "sim_server.h"
#include "timing_priority.h"
#include "trace_replay.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;
using qmx::sim::TTraceEvent;

constexpr int kExchanges = 60;
constexpr double kTargetMs = 5.0;

std::string Request(int exchange) {
    const int tank = exchange % 33 + 1;
    return std::string(exchange % 2 == 0 ? "L" : "G") + (tank < 10 ? "0" : "") + std::to_string(tank);
}

// A field's worth of answers: delays from a few ms to most of the wait,
// some answers in two reads, some requests met mid-answer by the next.
std::vector<qmx::sim::TReplyPart> Recorded(int exchange) {
    const int at = 3 + (exchange * 37) % 140;
    const TBytes bytes(43, static_cast<std::uint8_t>('0' + exchange % 10));
    if (exchange % 3 != 0) return {{at, bytes}};
    return {{at, TBytes(bytes.begin(), bytes.begin() + 12)}, {at + 25, TBytes(bytes.begin() + 12, bytes.end())}};
}

std::vector<TTraceEvent> Trace() {
    std::vector<TTraceEvent> events{{TTraceEvent::TKind::Section, 0, {}}};
    long long at = 1000;
    for (int exchange = 0; exchange < kExchanges; ++exchange) {
        events.push_back({TTraceEvent::TKind::Sent, at, qmx::sim::MakeFrame(Request(exchange))});
        for (const auto& part : Recorded(exchange)) events.push_back({TTraceEvent::TKind::Received, at + part.AtMs, part.Bytes});
        at += 1000;
    }
    return events;
}

// Drifts in ms of every part, read on `fd` as the requests are written.
std::vector<double> Drifts(int fd) {
    std::vector<double> drifts;
    for (int exchange = 0; exchange < kExchanges; ++exchange) {
        const TBytes request = qmx::sim::MakeFrame(Request(exchange));
        const auto parts = Recorded(exchange);
        std::size_t expected = 0;
        std::vector<std::size_t> partStarts;
        for (const auto& part : parts) {
            partStarts.push_back(expected);
            expected += part.Bytes.size();
        }
        const auto asked = Clock::now();
        if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return {};
        std::size_t got = 0, nextPart = 0;
        while (got < expected && Clock::now() < asked + 3s) {
            pollfd ready{fd, POLLIN, 0};
            std::uint8_t chunk[256];
            const ssize_t read = ::poll(&ready, 1, 100) > 0 ? ::read(fd, chunk, sizeof chunk) : 0;
            if (read <= 0) continue;
            const double since = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
            for (; nextPart < parts.size() && partStarts[nextPart] < got + static_cast<std::size_t>(read); ++nextPart)
                drifts.push_back(since - parts[nextPart].AtMs);
            got += static_cast<std::size_t>(read);
        }
        std::this_thread::sleep_for(20ms);
    }
    return drifts;
}

// The worst drift and the 95th percentile, for the record; false when the
// worst is over the target.
bool Record(const std::string& beside, std::vector<double> magnitudes, std::vector<TFigure>& figures) {
    std::sort(magnitudes.begin(), magnitudes.end());
    const double worst = magnitudes.back(), usual = magnitudes[magnitudes.size() * 95 / 100];
    std::printf("  %-32s %3zu parts  median %5.2f ms  95%% %5.2f ms  worst %5.2f ms  %s\n", beside.c_str(),
                magnitudes.size(), magnitudes[magnitudes.size() / 2], usual, worst,
                worst <= kTargetMs ? "within 5 ms" : "OVER 5 ms");
    const std::string name = "replayed answer part against its recorded delay, ";
    const int parts = static_cast<int>(magnitudes.size());
    figures.push_back({name + "worst, " + beside, "ms", "<= 5", worst, magnitudes.front(), worst, parts, worst <= kTargetMs});
    figures.push_back({name + "95%, " + beside, "ms", "(record)", usual, magnitudes.front(), worst, parts, true});
    return worst <= kTargetMs;
}

// Replays the trace on a fresh pty and records its drifts; false when the
// worst is over the target or nothing could be measured.
bool Measure(const std::string& beside, std::vector<TFigure>& figures) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (!OpenRawPty(master, slave, name)) return false;
    qmx::sim::TTraceReplay replay;
    if (replay.Take(Trace(), "bench")) return false;
    std::vector<double> drifts;
    {
        qmx::sim::TSimServer server(replay, master);
        drifts = Drifts(slave);
    }
    ::close(slave);
    ::close(master);
    if (drifts.empty()) return false;
    for (double& drift : drifts) drift = std::abs(drift);
    return Record(beside, drifts, figures);
}

// stress-ng started beside the bench; 0 when it cannot be.
pid_t StartLoad() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::execlp("stress-ng", "stress-ng", "--cpu", "2", "--io", "2", "--timeout", "120s", "--quiet", nullptr);
        ::_exit(127);
    }
    std::this_thread::sleep_for(1s);  // its workers running
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, WNOHANG) != 0) return 0;
    return child;
}

void StopLoad(pid_t load) {
    ::kill(load, SIGTERM);
    int status = 0;
    ::waitpid(load, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string results = argc > 1 ? argv[1] : "bench/results.json";
    // The simulator's thread, started by this one, takes its priority on;
    // stress-ng does not.
    const bool raised = qmx::sim::RaiseTimingPriority();
    std::printf("Replayed answers against their recorded delays (%d exchanges, target %.0f ms), read on the pty's\n"
                "far end; reader and simulator at %s:\n",
                kExchanges, kTargetMs, raised ? "real-time priority (SCHED_FIFO)" : "normal priority (real-time not permitted)");
    std::vector<TFigure> figures;
    bool within = Measure("idle", figures);
    const pid_t load = StartLoad();
    if (load == 0) {
        std::printf("  stress-ng cannot be started: scripts/setup bench\n");
        return 1;
    }
    within = Measure("beside stress-ng --cpu 2 --io 2", figures) && within;
    StopLoad(load);
    WriteFigures(results, figures);
    std::printf("written to %s\n", results.c_str());
    return within ? 0 : 1;
}
