// The tools started with a standard stream closed, as `>&-` or a careless
// service manager leaves them: the gauge's line hears requests and answers,
// never a table row, a trace line or a note.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fd_line.h"
#include "gauge.h"
#include "sim_server.h"
#include "support/child_process.h"
#include "support/frames.h"
#include "support/pty_pair.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// The simulator's end of a pty that keeps every byte the gauge received.
class TRecordingLine : public sim::TSimLine {
public:
    explicit TRecordingLine(int fd) : FLine(fd) {}
    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity) override {
        const std::size_t got = FLine.Receive(buffer, capacity);
        std::lock_guard lock(FMutex);
        FReceived.insert(FReceived.end(), buffer, buffer + got);
        return got;
    }
    std::size_t Send(const std::uint8_t* data, std::size_t count) override { return FLine.Send(data, count); }
    bool Rest(std::chrono::microseconds duration) override { return FLine.Rest(duration); }
    void Interrupt() override { FLine.Interrupt(); }
    std::vector<std::uint8_t> Received() {
        std::lock_guard lock(FMutex);
        return FReceived;
    }

private:
    sim::TFdLine FLine;
    std::mutex FMutex;
    std::vector<std::uint8_t> FReceived;
};

// What is not a whole L or G request for tanks 1 to 33; empty when all is.
std::string NotRequests(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 6) {
        const std::string text(bytes.begin() + static_cast<long>(at),
                               bytes.begin() + static_cast<long>(std::min(at + 6, bytes.size())));
        bool request = false;
        for (const char* letter : {"L", "G"})
            for (int tank = 1; tank <= 33; ++tank) {
                char payload[8];
                std::snprintf(payload, sizeof payload, "%s%02d", letter, tank);
                const auto frame = test::Frame(payload);
                request = request || text == std::string(frame.begin(), frame.end());
            }
        if (!request) return std::string(bytes.begin() + static_cast<long>(at), bytes.end());
    }
    return {};
}

struct TClosedCase {
    const char* Name;
    int Descriptor;
};

constexpr TClosedCase kClosed[] = {{"Input", 0}, {"Output", 1}, {"Error", 2}};

std::string CaseName(const ::testing::TestParamInfo<TClosedCase>& info) { return info.param.Name; }

class ReaderWithAClosedStream : public ::testing::TestWithParam<TClosedCase> {};

TEST_P(ReaderWithAClosedStream, TheGaugeHearsOnlyRequests) {
    test::TPtyPair pty(9);
    sim::TGauge gauge;
    auto line = std::make_unique<TRecordingLine>(pty.Master());
    TRecordingLine* recorded = line.get();
    sim::TSimServer server(gauge, std::move(line));
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    // The trace to standard error, the rows to standard output: whichever
    // is closed, neither may reach the line.
    const pid_t reader = test::StartProgram(
        QMX_READ_PATH, {"--device", pty.SlavePath(), "--tanks", "1-2", "--csv", "--trace", "-"}, null, null,
        GetParam().Descriptor);
    ::close(null);
    const int status = test::WaitForExit(reader, 60s);
    if (status < 0) test::KillChild(reader);
    EXPECT_EQ(status, 0);
    const auto received = recorded->Received();
    EXPECT_EQ(received.size(), 4u * 6) << "an L and a G request for each tank";
    EXPECT_EQ(NotRequests(received), "");
}

INSTANTIATE_TEST_SUITE_P(Streams, ReaderWithAClosedStream, ::testing::ValuesIn(kClosed), CaseName);

class SimulatorWithAClosedStream : public ::testing::TestWithParam<TClosedCase> {};

TEST_P(SimulatorWithAClosedStream, TheLineCarriesOnlyAnswers) {
    char pattern[] = "/tmp/qmx-closed-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const std::string link = (dir / "gauge").string();
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    // It prints the pty's name on standard output and traces to standard
    // error.
    const pid_t sim = test::StartProgram(QMX_SIM_PATH, {"--link", link, "--no-pace", "--trace", "-"}, null, null,
                                         GetParam().Descriptor);
    ::close(null);
    int driverEnd = -1;
    for (const auto until = TClock::now() + 20s; driverEnd < 0 && TClock::now() < until;) {
        driverEnd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (driverEnd < 0) std::this_thread::sleep_for(10ms);
    }
    ASSERT_GE(driverEnd, 0) << "no link " << link;
    const auto request = test::Frame("L01");
    ASSERT_EQ(::write(driverEnd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    // The answer, then a quiet line: anything else would come with it or
    // right after it.
    std::vector<std::uint8_t> got;
    for (auto until = TClock::now() + 10s; TClock::now() < until;) {
        pollfd wait{driverEnd, POLLIN, 0};
        if (::poll(&wait, 1, 200) <= 0) {
            if (got.size() >= 43) break;
            continue;
        }
        std::uint8_t chunk[256];
        const ssize_t n = ::read(driverEnd, chunk, sizeof chunk);
        if (n > 0) got.insert(got.end(), chunk, chunk + n);
    }
    ::close(driverEnd);
    ::kill(sim, SIGTERM);
    const int status = test::WaitForExit(sim, 10s);
    if (status < 0) test::KillChild(sim);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(got.size(), 43u) << std::string(got.begin(), got.end());
    EXPECT_EQ(std::string(got.begin(), got.begin() + 4), "\x02L01");
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Streams, SimulatorWithAClosedStream, ::testing::ValuesIn(kClosed), CaseName);

// The descriptors `pid` holds beyond the standard three that a program it
// started would inherit, by their targets; but for those in `inherited`.
std::vector<std::string> Inheritable(pid_t pid, const std::vector<std::string>& inherited = {}) {
    std::vector<std::string> open;
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        const int fd = std::stoi(entry.path().filename().string());
        if (fd <= 2) continue;
        std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd));
        std::string key;
        std::string flags;
        while (info >> key && key != "flags:") {
        }
        info >> flags;
        const std::string held = std::to_string(fd) + " " + std::filesystem::read_symlink(entry.path(), error).string();
        if ((std::stoul(flags, nullptr, 8) & O_CLOEXEC) == 0 &&
            std::find(inherited.begin(), inherited.end(), held) == inherited.end())
            open.push_back(held);
    }
    return open;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each device and file, as the tools hold them while they run: the
// reader's device and trace, the simulator's pty, link, config and trace.
TEST(ToolDescriptors, AllCloseOnExec) {
    char pattern[] = "/tmp/qmx-cloexec-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    std::ofstream(dir / "station.ini") << "[tank 1]\nlevel = 1200\n";
    test::TPtyPair pty(9);
    sim::TGauge gauge;
    sim::TSimServer server(gauge, pty.Master());
    struct TCase {
        const char* Program;
        std::vector<std::string> Arguments;
        std::filesystem::path Ready;  // holds `Holding` once the program holds its files
        const char* Holding;
    };
    const TCase cases[] = {
        {QMX_READ_PATH,
         {"--device", pty.SlavePath(), "--tanks", "1", "--watch", "1", "--trace", (dir / "read.log").string()},
         dir / "read.log", "accepted"},
        {QMX_SIM_PATH,
         {"--link", (dir / "gauge").string(), "--config", (dir / "station.ini").string(), "--trace",
          (dir / "sim.log").string()},
         dir / "gauge", ""},
    };
    for (const auto& c : cases) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t child = test::StartProgram(c.Program, c.Arguments, null, null);
        ::close(null);
        const auto until = TClock::now() + 20s;
        const auto ready = [&] {
            // (The simulator's link is its pty: there, not read.)
            return std::filesystem::exists(c.Ready) &&
                   (*c.Holding == '\0' || ReadAll(c.Ready).find(c.Holding) != std::string::npos);
        };
        while (!ready() && TClock::now() < until) std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(ready()) << c.Program;
        // What this test itself passes on is not the tool's doing.
        EXPECT_EQ(Inheritable(child, Inheritable(::getpid())), std::vector<std::string>{}) << c.Program;
        ::kill(child, SIGTERM);
        if (test::WaitForExit(child, 10s) < 0) test::KillChild(child);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qmx
