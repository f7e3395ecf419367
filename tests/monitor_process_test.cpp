// qmx-read --monitor on qmx-sim's tap while another qmx-read polls the
// simulated gauge: what the monitor overhears, sending nothing, gives the
// poller's rows, and its trace played back gives the poller's CSV.

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"

namespace qmx {
namespace {

using namespace std::chrono_literals;
using test::TProgramProcess;
using test::TReaderProcess;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A CSV row's fields from `first` on, `count` of them.
std::string Fields(const std::string& row, std::size_t first, std::size_t count) {
    std::vector<std::string> fields;
    std::istringstream in(row);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    if (row.back() == ',') fields.emplace_back();
    std::string joined;
    for (std::size_t i = first; i < first + count && i < fields.size(); ++i) joined += fields[i] + ",";
    return joined;
}

bool WaitForRows(TProgramProcess& program, std::size_t rows, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (Lines(program.Output()).size() < rows + 1)
        if (std::chrono::steady_clock::now() > until) return false;
        else std::this_thread::sleep_for(50ms);
    return true;
}

// One tap that carries both ways, or one for each side of the line.
class MonitorProcess : public testing::TestWithParam<bool> {};

TEST_P(MonitorProcess, OverhearsThePollersRowsAndSendsNothing) {
    char dir[] = "/tmp/qmx-monitor-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string tap = GetParam() ? std::string(dir) + "/host," + dir + "/gauge" : std::string(dir) + "/tap",
                      trace = std::string(dir) + "/wire.log", metrics = std::string(dir) + "/qmx.prom";
    constexpr std::size_t kTanks = 5, kRounds = 2;
    TProgramProcess sim(QMX_SIM_PATH, {"--tap", tap, "--fault", "bad-check:2", "--fault", "wrong-tank:3", "--fault",
                                       "short:4"});
    const std::string device = sim.FirstLine(10s);
    ASSERT_FALSE(device.empty()) << sim.Errors();
    TReaderProcess monitor({"--monitor", tap, "--csv", "--trace", trace, "--metrics", metrics});
    ASSERT_TRUE(monitor.WaitFor("time,tank,", 10s)) << monitor.Errors();

    TReaderProcess poller({"--device", device, "--tanks", "1-5", "--fast", "--watch", "1", "--csv", "--quiet"});
    ASSERT_TRUE(WaitForRows(poller, kTanks * kRounds, 90s)) << poller.Output() << poller.Errors();
    poller.Signal(SIGINT);
    EXPECT_EQ(poller.Wait(), 130);
    const auto polled = Lines(poller.Output());
    // The last tank's row comes once the host has been quiet a while; the
    // metrics count the requests the trace shows.
    ASSERT_TRUE(WaitForRows(monitor, kTanks * kRounds, 15s)) << monitor.Output() << monitor.Errors();
    const auto fileText = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    std::string counted;
    for (const auto until = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(100ms)) {
        counted = "qmx_monitor_requests_total{device=\"" + tap + "\"} " +
                  std::to_string(test::CountOf(fileText(trace), " > 02 ")) + "\n";
        if (fileText(metrics).find(counted) != std::string::npos) break;
    }
    EXPECT_NE(fileText(metrics).find(counted), std::string::npos) << fileText(metrics);
    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(2s), 130) << monitor.Errors();
    const auto heard = Lines(monitor.Output());

    // Values, validity, reasons and attempts, tank by tank (the time first,
    // the delay and the requests after the reader's own columns).
    for (std::size_t row = 1; row <= kTanks * kRounds; ++row)
        EXPECT_EQ(Fields(heard[row], 1, 10), Fields(polled[row], 1, 10)) << "row " << row << "\n" << monitor.Output();
    // Tank 2's answers came within the second, to each of 3 requests.
    EXPECT_EQ(Fields(heard[2], 12, 2), "1,3,") << heard[2];
    EXPECT_LT(std::stoi(Fields(heard[2], 11, 1)), 1000) << heard[2];
    const std::string tank2 = "{device=\"" + tap + "\",tank=\"2\"} ";
    EXPECT_NE(fileText(metrics).find("qmx_monitor_answer_in_time" + tank2 + "1\n"), std::string::npos);
    EXPECT_NE(fileText(metrics).find("qmx_monitor_tank_requests" + tank2 + "3\n"), std::string::npos);

    // The simulator served what the monitor counted, and nothing came back
    // through its tap.
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(5s), 0);
    EXPECT_NE(sim.Errors().find("0 bytes written into the tap"), std::string::npos) << sim.Errors();
    const std::string requests = counted.substr(counted.rfind(' ') + 1, counted.size() - counted.rfind(' ') - 2);
    EXPECT_NE(sim.Errors().find(requests + " requests served"), std::string::npos) << sim.Errors();

    // The monitor's trace, played back, gives a reader the poller's rows.
    TProgramProcess replay(QMX_SIM_PATH, {"--replay", trace});
    const std::string replayed = replay.FirstLine(10s);
    ASSERT_FALSE(replayed.empty()) << replay.Errors();
    TReaderProcess reader({"--device", replayed, "--tanks", "1-5", "--fast", "--csv", "--quiet"});
    EXPECT_EQ(reader.Wait(), 1) << reader.Errors();
    const auto read = Lines(reader.Output());
    ASSERT_EQ(read.size(), kTanks + 1) << reader.Output();
    for (std::size_t row = 1; row <= kTanks; ++row) EXPECT_EQ(read[row] + ",", Fields(polled[row], 1, 10));
    std::filesystem::remove_all(dir);
}

// A tap that hears nothing, or only the host, says so within 15 s, in a
// log as well (standard error here is a file: no status line).
TEST(MonitorSilence, SaysWhichSideIsSilent) {
    const struct {
        const char* Case;
        bool Requests;  // the host's, written into the tap
        const char* Says;
        const char* NotSays;
    } rows[] = {
        {"silent", false, "nothing heard from either side", "gauge side"},
        {"requests only", true, "nothing from the gauge side", "nothing heard from either side"},
    };
    constexpr std::size_t kRows = std::size(rows);
    int masters[kRows];
    std::unique_ptr<TReaderProcess> monitors[kRows];
    for (std::size_t i = 0; i < kRows; ++i) {
        std::string tap;
        masters[i] = test::OpenRawPty(tap);
        monitors[i] = std::make_unique<TReaderProcess>(std::vector<std::string>{"--monitor", tap, "--csv"});
    }
    const auto request = test::Frame("L01");
    for (const auto until = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(200ms)) {
        bool all = true;
        for (std::size_t i = 0; i < kRows; ++i) {
            if (rows[i].Requests) {
                ASSERT_EQ(::write(masters[i], request.data(), request.size()), 6);
            }
            all = all && monitors[i]->Errors().find(rows[i].Says) != std::string::npos;
        }
        if (all) break;
    }
    for (std::size_t i = 0; i < kRows; ++i) {
        const std::string errors = monitors[i]->Errors();
        EXPECT_NE(errors.find(rows[i].Says), std::string::npos) << rows[i].Case << "\n" << errors;
        EXPECT_EQ(errors.find(rows[i].NotSays), std::string::npos) << rows[i].Case << "\n" << errors;
        EXPECT_EQ(errors.find("heard:"), std::string::npos) << rows[i].Case << "\n" << errors;
        monitors[i]->Signal(SIGINT);
        EXPECT_EQ(monitors[i]->Wait(2s), 130) << rows[i].Case;
        ::close(masters[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Taps, MonitorProcess, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param) { return param.param ? "TwoTaps" : "OneTap"; });

}  // namespace
}  // namespace qmx
