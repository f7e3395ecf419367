// A whole station read with the reader's fast mode, against the simulated
// gauge paced at the line's real character rate: how close the scan comes
// to the time the bytes need on the wire, beside the protocol's default;
// and the same through ser2net on loopback, a device server's RFC 2217
// port in front of the simulator's pty.
//
//   fast_scan_bench [RESULTS_JSON]

#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "driver/silo.h"
#include "gauge.h"
#include "netline/chosen_device.h"
#include "protocol/answer_layout.h"
#include "raw_pty.h"
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
    if (!OpenRawPty(master, slave, name)) return -1;
    ::setenv(("QMX_COM" + std::to_string(kPort)).c_str(), name, 1);
    qmx::sim::TGauge gauge;
    double seconds = -1;
    {
        qmx::sim::TSimServer server(gauge, master);
        server.SetPacing(qmx::sim::kLineCharacterTime);
        qmx::tools::TRecordingPort* port = nullptr;
        qmx::TSilo silo(kPort + 2, nullptr, qmx::tools::RecordingOpener({}, port));
        if (fast) port->SetFastAnswers(true, std::chrono::milliseconds(pauseMs));
        int valid = 0;
        const auto start = Clock::now();
        for (int tank = 1; tank <= tanks; ++tank) valid += qmx::tools::ReadTank(silo, tank, port).Valid ? 1 : 0;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (valid != tanks) std::printf("  (only %d of %d tanks valid)\n", valid, tanks);
    }
    ::close(slave);
    ::close(master);
    return seconds;
}

// A free loopback port: one the system gives and lets go again.
std::uint16_t FreePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

bool Accepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// ser2net in the foreground on `port` for the pty `device`, with the
// settings a station's would have (the defaults, kickolduser); its id, or
// -1 when it did not listen within five seconds.
pid_t StartSer2net(const std::string& config, const std::string& device, std::uint16_t port) {
    std::ofstream(config) << "connection: &gauge\n    accepter: telnet(rfc2217),tcp,127.0.0.1," << port
                          << "\n    connector: serialdev," << device
                          << ",9600e71,local\n    options:\n      kickolduser: true\n      mdns: false\n";
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execlp("ser2net", "ser2net", "-n", "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int tries = 0; tries < 100; ++tries) {
        if (Accepts(port)) return child;
        if (::waitpid(child, nullptr, WNOHANG) == child) return -1;
        ::usleep(50000);
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    return -1;
}

// Seconds to read `tanks` tanks in the fast mode with no pause, through
// ser2net's RFC 2217 port on loopback; the connection and its settings are
// made before the clock starts, as the pty's opening is above.
double ScanSecondsThroughSer2net(int tanks) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (!OpenRawPty(master, slave, name)) return -1;
    char dir[] = "/tmp/qmx-bench-XXXXXX";
    if (::mkdtemp(dir) == nullptr) return -1;
    const std::string config = std::string(dir) + "/ser2net.yaml";
    double seconds = -1;
    const std::uint16_t port = FreePort();
    const pid_t server = StartSer2net(config, name, port);
    if (server > 0) {
        qmx::sim::TGauge gauge;
        qmx::sim::TSimServer simulator(gauge, master);
        simulator.SetPacing(qmx::sim::kLineCharacterTime);
        std::string problem;
        qmx::net::TChosenDevice device;
        if (qmx::net::ChooseDevice("rfc2217://127.0.0.1:" + std::to_string(port), 0, device, problem)) {
            qmx::tools::TRecordingPort* recorder = nullptr;
            qmx::TSilo silo(static_cast<std::uint8_t>(device.Com + 2), nullptr,
                            qmx::tools::RecordingOpener(device, recorder));
            recorder->SetFastAnswers(true, std::chrono::milliseconds(0));
            int valid = 0;
            const auto start = Clock::now();
            for (int tank = 1; tank <= tanks; ++tank)
                valid += qmx::tools::ReadTank(silo, tank, recorder).Valid ? 1 : 0;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (valid != tanks) std::printf("  (only %d of %d tanks valid through ser2net)\n", valid, tanks);
        }
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    } else {
        std::printf("  (ser2net did not start: scripts/setup installs it)\n");
    }
    ::unlink(config.c_str());
    ::rmdir(dir);
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
    const double throughSer2net = ScanSecondsThroughSer2net(kTanks);
    const double ser2netRatio = throughSer2net / lineSeconds;
    const double ratio = fastPause0 / lineSeconds;
    const bool met = ratio <= kTarget;
    std::printf("  --fast --pause 0       %7.3f s   %.2f x the line time   target <= %.1f x  %s\n", fastPause0, ratio,
                kTarget, met ? "met" : "MISSED");
    std::printf("  --fast (pause 70 ms)   %7.3f s   %.2f x the line time\n", fastDefaultPause,
                fastDefaultPause / lineSeconds);
    std::printf("  default mode           %7.3f s   (%d tanks read, scaled to %d)\n", defaultMode, kDefaultModeTanks,
                kTanks);
    std::printf("  --fast --pause 0 through ser2net (RFC 2217, loopback)  %7.3f s   %.2f x the line time   target <= "
                "%.1f x  %s\n",
                throughSer2net, ser2netRatio, kTarget, throughSer2net > 0 && ser2netRatio <= kTarget ? "met" : "MISSED");

    std::ofstream out(results);
    out << "{\n  \"line_seconds\": " << lineSeconds << ",\n  \"fast_pause0_seconds\": " << fastPause0
        << ",\n  \"fast_ratio\": " << ratio << ",\n  \"fast_ratio_target\": " << kTarget
        << ",\n  \"fast_default_pause_seconds\": " << fastDefaultPause
        << ",\n  \"default_mode_seconds_scaled\": " << defaultMode << ",\n  \"default_mode_tanks_read\": "
        << kDefaultModeTanks << ",\n  \"ser2net_fast_pause0_seconds\": " << throughSer2net
        << ",\n  \"ser2net_fast_ratio\": " << ser2netRatio << "\n}\n";
    return 0;
}
