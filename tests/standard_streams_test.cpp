// The reader started with a standard stream closed, as `>&-` or a careless
// service manager leaves them: the gauge's line hears requests, never a
// table row, a trace line or a note. And what the tools hold open is
// close-on-exec.

#include <gtest/gtest.h>

#include <fcntl.h>
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
    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity, std::chrono::microseconds longest) override {
        const std::size_t got = FLine.Receive(buffer, capacity, longest);
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
    std::vector<std::uint8_t> requests;
    for (const char* request : {"L01", "G01", "L02", "G02"})
        for (const auto byte : test::Frame(request)) requests.push_back(byte);
    const auto received = recorded->Received();
    EXPECT_EQ(std::string(received.begin(), received.end()), std::string(requests.begin(), requests.end()));
}

INSTANTIATE_TEST_SUITE_P(Streams, ReaderWithAClosedStream, ::testing::ValuesIn(kClosed), CaseName);

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
