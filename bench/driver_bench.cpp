// What the driver adds to the protocol's own time, measured on a pty with
// the simulated gauge answering at once. Prints one table and writes
// bench/results.json.
//
//   driver_bench [RESULTS_JSON]

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "driver/connection.h"
#include "driver/silo.h"
#include "figures_json.h"
#include "gauge.h"
#include "serial/kalvor_port.h"
#include "sim_server.h"

// Every allocation in the process is counted while the count is armed.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (gCounting) ++gAllocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPort = 9;

std::vector<TFigure> gFigures;

void Record(const std::string& name, const std::string& unit, const std::string& target, std::vector<double> samples,
            bool (*passes)(double)) {
    std::sort(samples.begin(), samples.end());
    TFigure figure{name, unit, target, samples[samples.size() / 2], samples.front(), samples.back(),
                   static_cast<int>(samples.size()), false};
    figure.Pass = passes(figure.Median);
    std::printf("  %-44s %10.3f %-6s (%.3f .. %.3f, %d runs)  target %s  %s\n", name.c_str(), figure.Median,
                unit.c_str(), figure.Low, figure.High, figure.Runs, target.c_str(), figure.Pass ? "met" : "MISSED");
    std::fflush(stdout);
    gFigures.push_back(figure);
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A pty pair whose slave is COM9 for the driver.
struct TLine {
    int Master = -1;
    std::string Slave;
    TLine() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&Master, &slave, name, nullptr, nullptr) != 0) std::abort();
        ::close(slave);
        Slave = name;
        ::setenv("QMX_COM9", name, 1);
    }
    ~TLine() {
        if (Master >= 0) ::close(Master);
    }
};

// With `metricsDir`, the silo publishes the readings there, as a host's
// with MetricsDir in cnf.ini.
std::vector<double> GetLevelExcess(const std::string& metricsDir) {
    TLine line;
    qmx::sim::TGauge gauge;
    qmx::sim::TSimServer server(gauge, line.Master);
    auto silo = std::make_unique<qmx::TSilo>(qmx::ConnectionTypeFor(kPort, 0), nullptr);
    silo->PublishMetrics(metricsDir);
    silo->GetLevel(0);  // warm up
    std::vector<double> excess;
    for (int i = 0; i < 15; ++i) {
        const auto start = Clock::now();
        silo->GetLevel(static_cast<std::uint8_t>(i % 33));
        excess.push_back(Ms(Clock::now() - start) - 1000.0);
    }
    return excess;
}

void SuccessfulReading() {
    const std::vector<double> excess = GetLevelExcess("");
    Record("successful GetLevel, excess over 1000 ms", "ms", "<= 2", excess, [](double v) { return v <= 2.0; });
    std::vector<double> ratio;
    for (double e : excess) ratio.push_back((1000.0 + e) / 1000.0);
    Record("successful GetLevel, ratio to 1000 ms", "x", "(record)", ratio, [](double) { return true; });
    char directory[] = "/tmp/qmx-bench-metrics-XXXXXX";
    if (::mkdtemp(directory) == nullptr) std::abort();
    Record("GetLevel with metrics on, excess over 1000 ms", "ms", "< 1", GetLevelExcess(directory),
           [](double v) { return v < 1.0; });
    std::filesystem::remove_all(directory);
}

void FailingTransaction() {
    TLine line;
    qmx::sim::TGauge gauge;
    gauge.SetFaultAll(qmx::sim::TFault::NoAnswer);
    qmx::sim::TSimServer server(gauge, line.Master);
    auto silo = std::make_unique<qmx::TSilo>(qmx::ConnectionTypeFor(kPort, 0), nullptr);
    std::array<std::uint8_t, 256> buffer{};
    const auto failing = [&] {
        buffer = {'L', '0', '1'};
        const auto start = Clock::now();
        silo->Request(buffer.data(), 3, 43, 0);
        return Ms(Clock::now() - start);
    };
    // A host that lets the 70 ms pause pass before its next request meets
    // no wait for a quiet line.
    std::vector<double> excess;
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(100ms);
        excess.push_back(failing() - 3140.0);
    }
    Record("failing transaction, excess over 3140 ms", "ms", "<= 5", excess, [](double v) { return v <= 5.0; });
    // Right after a failed one, a transaction first waits out the 70 ms pause
    // on a silent line.
    std::vector<double> following;
    for (int i = 0; i < 5; ++i) following.push_back(failing() - 3210.0);
    Record("failing transaction after a failed one, excess over 3210 ms", "ms", "<= 5", following,
           [](double v) { return v <= 5.0; });
}

void CloseIdlePort() {
    TLine line;
    std::vector<double> times;
    for (int i = 0; i < 100; ++i) {
        auto port = std::make_unique<qmx::TKalvorComPort>(kPort);
        std::this_thread::sleep_for(2ms);
        const auto start = Clock::now();
        port.reset();
        times.push_back(Ms(Clock::now() - start));
    }
    Record("Close of an idle open port", "ms", "<= 5", times, [](double v) { return v <= 5.0; });
}

void IdleCpu() {
    std::vector<double> idle, gone;
    {
        TLine line;
        qmx::TKalvorComPort port(kPort);
        std::this_thread::sleep_for(200ms);
        const double before = CpuSeconds();
        std::this_thread::sleep_for(10s);
        idle.push_back((CpuSeconds() - before) / 10.0 * 100.0);
    }
    {
        auto line = std::make_unique<TLine>();
        qmx::TKalvorComPort port(kPort);
        ::close(line->Master);  // the far end goes
        line->Master = -1;
        std::this_thread::sleep_for(500ms);
        const double before = CpuSeconds();
        std::this_thread::sleep_for(10s);
        gone.push_back((CpuSeconds() - before) / 10.0 * 100.0);
    }
    Record("CPU of an open idle port (10 s)", "%", "< 0.1", idle, [](double v) { return v < 0.1; });
    Record("CPU of a port whose device has gone (10 s)", "%", "< 1", gone, [](double v) { return v < 1.0; });
}

// Counts arrivals and notes when the last one came.
class TTimedPort final : public qmx::TComPort {
public:
    explicit TTimedPort(std::uint16_t number) : TComPort(number) { StartArrivals(); }
    ~TTimedPort() override { Close(); }
    void DataArrived(std::uint16_t count) override {
        for (std::uint16_t i = 0; i < count; ++i) GetChar();
        const auto now = Clock::now();
        std::lock_guard lock(FMutex);
        FReceived += count;
        FLast = now;
        FChanged.notify_all();
    }
    Clock::time_point WaitFor(std::size_t total) {
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, 30s, [&] { return FReceived >= total; });
        return FLast;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::size_t FReceived = 0;
    Clock::time_point FLast;
};

void Throughput() {
    TLine line;
    TTimedPort port(kPort);
    const std::vector<std::uint8_t> megabyte(1 << 20, 0x55);
    std::vector<double> rates;
    std::size_t total = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        std::thread writer([&] {
            std::size_t done = 0;
            while (done < megabyte.size()) {
                const ssize_t put = ::write(line.Master, megabyte.data() + done, megabyte.size() - done);
                if (put > 0) done += static_cast<std::size_t>(put);
            }
        });
        total += megabyte.size();
        const auto end = port.WaitFor(total);
        writer.join();
        rates.push_back(1.0 / std::chrono::duration<double>(end - start).count());
    }
    Record("1 MB in through a pty", "MB/s", ">= 1", rates, [](double v) { return v >= 1.0; });

    std::vector<double> latency;
    for (int i = 0; i < 200; ++i) {
        const std::uint8_t byte = 0x02;
        const auto start = Clock::now();
        if (::write(line.Master, &byte, 1) != 1) std::abort();
        ++total;
        latency.push_back(Ms(port.WaitFor(total) - start));
        std::this_thread::sleep_for(2ms);
    }
    Record("byte at the far end to DataArrived", "ms", "(record)", latency, [](double) { return true; });
}

void Allocations() {
    TLine line;
    // The gauge runs in a child process, so that only the driver's
    // allocations are counted here.
    const pid_t child = ::fork();
    if (child == 0) {
        qmx::sim::TGauge gauge;
        qmx::sim::TSimServer server(gauge, line.Master);
        ::pause();
        ::_exit(0);
    }
    std::vector<double> counts;
    {
        auto silo = std::make_unique<qmx::TSilo>(qmx::ConnectionTypeFor(kPort, 0), nullptr);
        silo->GetLevel(0);
        for (int i = 0; i < 3; ++i) {
            gAllocations = 0;
            gCounting = true;
            silo->GetLevel(1);
            gCounting = false;
            counts.push_back(static_cast<double>(gAllocations.load()));
        }
        if (silo->GetState() != 1) std::printf("  (the simulated gauge did not answer)\n");
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    Record("heap allocations in a transaction after Open", "count", "0", counts, [](double v) { return v == 0.0; });
}

}  // namespace

int main(int argc, char** argv) {
    const std::string results = argc > 1 ? argv[1] : "bench/results.json";
    std::printf("Driver benchmarks (median, low .. high):\n");
    SuccessfulReading();
    FailingTransaction();
    CloseIdlePort();
    Throughput();
    Allocations();
    IdleCpu();
    WriteFigures(results, gFigures);
    int missed = 0;
    for (const auto& figure : gFigures) missed += figure.Pass ? 0 : 1;
    std::printf("%zu figures, %d targets missed; written to %s\n", gFigures.size(), missed, results.c_str());
    return 0;
}
