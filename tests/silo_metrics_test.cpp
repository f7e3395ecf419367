// The metrics file a silo writes from the readings its host makes: the
// same values, link states and reasons the host got, written on the silo's
// own thread, the last state before the silo is gone.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "driver/silo.h"
#include "support/frames.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace qmx {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SiloMetrics, TheFileSaysWhatTheHostGotTankByTank) {
    struct TCase {
        const char* Name;
        std::vector<std::uint8_t> Answer;
        std::uint8_t LineState;
        std::int32_t ExchangeResult;
        std::vector<std::string> Lines;
    };
    const TCase cases[] = {
        {"valid", test::LevelAnswer("0012345", "0000100", "-125"), 1, 0,
         {"qmx_tank_level{device=\"block1\",tank=\"1\"} 123.45\n",
          "qmx_tank_link_state{device=\"block1\",tank=\"1\"} 1\n",
          "qmx_tank_failure_info{device=\"block1\",tank=\"1\",reason=\"none\"} 1\n",
          "qmx_tank_valid{device=\"block1\",tank=\"1\"} 1\n", "qmx_tank_last_valid_timestamp_seconds{"}},
        {"silent", {}, 2, 0,
         {"qmx_tank_link_state{device=\"block1\",tank=\"1\"} 3\n",
          "qmx_tank_failure_info{device=\"block1\",tank=\"1\",reason=\"no_answer\"} 1\n",
          "qmx_tank_attempts{device=\"block1\",tank=\"1\"} 1\n", "qmx_round_failed_exchanges{device=\"block1\"} 1\n"}},
        {"check byte", [] { auto f = test::LevelAnswer("0012345", "0000100", "-125"); f.back() ^= 1; return f; }(),
         3, 0, {"qmx_tank_failure_info{device=\"block1\",tank=\"1\",reason=\"check_byte\"} 1\n"}},
        {"negative level", test::LevelAnswer("-000150", "0000100", "-125"), 1, 0,
         {"qmx_tank_failure_info{device=\"block1\",tank=\"1\",reason=\"invalid_value\"} 1\n",
          "qmx_tank_valid{device=\"block1\",tank=\"1\"} 0\n"}},
        {"another tank's answer", test::LevelAnswer("0012345", "0000100", "-125", "L07"), 1, 0,
         {"qmx_tank_doubt_info{device=\"block1\",tank=\"1\",doubt=\"other_tank\"} 1\n",
          "qmx_driver_build_info{device=\"block1\",version=\""}},
        {"host refused", {}, 2, -1,
         {"qmx_tank_failure_info{device=\"block1\",tank=\"1\",reason=\"not_asked\"} 1\n"}},
    };
    for (const auto& c : cases) {
        test::TWindowsDirectory dir;
        {
            test::TRecordingHost host;
            host.Answer = c.Answer;
            host.LineState = c.LineState;
            host.JudgeWithCheck = true;
            host.ExchangeResult = c.ExchangeResult;
            TSilo silo(0, &host);
            silo.PublishMetrics(dir.Path().string());
            try {
                silo.GetLevel(0);
            } catch (const std::exception&) {
                // a refused exchange raises the request error
            }
        }
        const std::string text = Read(dir.Path() / "qmx-block1.prom");
        for (const auto& line : c.Lines) EXPECT_NE(text.find(line), std::string::npos) << c.Name << ": " << line << "\nin\n" << text;
        EXPECT_FALSE(fs::exists(dir.Path() / "qmx-block1.prom.tmp")) << c.Name;
        // Prometheus' own checker takes each.
        const std::string check = "promtool check metrics < " + (dir.Path() / "qmx-block1.prom").string() + " > " +
                                  (dir.Path() / "out").string() + " 2>&1";
        EXPECT_EQ(std::system(check.c_str()), 0) << c.Name << ": " << Read(dir.Path() / "out");
    }
}

TEST(SiloMetrics, ASwitchedSiloWritesItsNewNameAndRemovesTheOld) {
    test::TWindowsDirectory dir;
    test::TRecordingHost host;
    host.Answer = test::LevelAnswer("0012345", "0000100", "-125");
    {
        TSilo silo(0, &host);
        silo.PublishMetrics(dir.Path().string());
        silo.GetLevel(0);
        for (int i = 0; i < 500 && !fs::exists(dir.Path() / "qmx-block1.prom"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(dir.Path() / "qmx-block1.prom"));
        silo.SetConnectionType(1);
        silo.GetLevel(0);
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "qmx-block1.prom"));
    EXPECT_NE(Read(dir.Path() / "qmx-block2.prom").find("qmx_tank_level{device=\"block2\",tank=\"1\"} 123.45"),
              std::string::npos);
}

}  // namespace
}  // namespace qmx
