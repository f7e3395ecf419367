// A whole station read with the reader's fast mode, against the simulated
// gauge paced at the line's real character rate: how close the scan comes
// to the time the bytes need on the wire, beside the protocol's default.
//
//   fast_scan_bench [RESULTS_JSON]

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "driver/silo.h"
#include "gauge.h"
#include "protocol/answer_layout.h"
#include "reading.h"
#include "recording_port.h"
#include "sim_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPort = 9;
constexpr int kTanks = 33;
constexpr double kTarget = 1.3;
// Tanks read in the default mode, whose time is then scaled to the station:
// every exchange there costs the same fixed second.
constexpr int kDefaultModeTanks = 3;

// The request is STX, letter, two digits, ETX, check byte.
constexpr int kRequestLength = 6;

double LineMs(int characters) {
    return characters * std::chrono::duration<double, std::milli>(qmx::sim::kLineCharacterTime).count();
}

// Seconds to read `tanks` tanks, level and density, on a fresh line.
double ScanSeconds(int tanks, bool fast, int pauseMs) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return -1;
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    ::setenv(("QMX_COM" + std::to_string(kPort)).c_str(), name, 1);
    qmx::sim::TGauge gauge;
    double seconds = -1;
    {
        qmx::sim::TSimServer server(gauge, master);
        server.SetPacing(qmx::sim::kLineCharacterTime);
        qmx::TSilo silo(kPort + 2, nullptr, &qmx::tools::OpenRecordingPort);
        auto* port = qmx::tools::TRecordingPort::Current();
        if (fast) port->SetFastAnswers(true, std::chrono::milliseconds(pauseMs));
        int valid = 0;
        const auto start = Clock::now();
        for (int tank = 1; tank <= tanks; ++tank) valid += qmx::tools::ReadTank(silo, tank, port).Valid() ? 1 : 0;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (valid != tanks) std::printf("  (only %d of %d tanks valid)\n", valid, tanks);
    }
    ::close(slave);
    ::close(master);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string results = argc > 1 ? argv[1] : "bench/fast_scan.json";
    const double levelMs = LineMs(kRequestLength + qmx::kLevelAnswerLength);
    const double densityMs = LineMs(kRequestLength + qmx::kDensityAnswerLength);
    const double lineSeconds = kTanks * (levelMs + densityMs) / 1000.0;
    std::printf("Fast scan, %d tanks, level and density, simulated gauge paced at %.3f ms a character:\n", kTanks,
                LineMs(1));
    std::printf("  line time: L %.1f ms + G %.1f ms a tank, %.3f s the station\n", levelMs, densityMs, lineSeconds);

    const double fastPause0 = ScanSeconds(kTanks, true, 0);
    const double fastDefaultPause = ScanSeconds(kTanks, true, 70);
    const double defaultMode = ScanSeconds(kDefaultModeTanks, false, 0) * kTanks / kDefaultModeTanks;
    const double ratio = fastPause0 / lineSeconds;
    const bool met = ratio <= kTarget;
    std::printf("  --fast --pause 0       %7.3f s   %.2f x the line time   target <= %.1f x  %s\n", fastPause0, ratio,
                kTarget, met ? "met" : "MISSED");
    std::printf("  --fast (pause 70 ms)   %7.3f s   %.2f x the line time\n", fastDefaultPause,
                fastDefaultPause / lineSeconds);
    std::printf("  default mode           %7.3f s   (%d tanks read, scaled to %d)\n", defaultMode, kDefaultModeTanks,
                kTanks);

    std::ofstream out(results);
    out << "{\n  \"line_seconds\": " << lineSeconds << ",\n  \"fast_pause0_seconds\": " << fastPause0
        << ",\n  \"fast_ratio\": " << ratio << ",\n  \"fast_ratio_target\": " << kTarget
        << ",\n  \"fast_default_pause_seconds\": " << fastDefaultPause
        << ",\n  \"default_mode_seconds_scaled\": " << defaultMode << ",\n  \"default_mode_tanks_read\": "
        << kDefaultModeTanks << "\n}\n";
    return 0;
}
