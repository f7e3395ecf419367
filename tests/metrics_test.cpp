// The reader's metrics file: what it holds, that Prometheus' own checker
// takes it, and that it is replaced whole.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "atomic_file.h"
#include "metrics.h"
#include "support/temp_dir.h"

namespace qmx::tools {
namespace {

namespace fs = std::filesystem;

std::vector<TTankReading> Readings() {
    TTankReading good;
    good.Tank = 1;
    good.Level = 1500.25;
    good.Temperature = -12.5;
    good.AuxValue = 4;
    good.Density = 0.835;
    good.LinkState = 1;
    TTankReading silent;
    silent.Tank = 2;
    silent.LinkState = 3;
    silent.Reason = TAttemptVerdict::NoAnswer;
    silent.Attempts = 3;
    silent.FailedAttempts = 3;
    TTankReading cold = good;
    cold.Tank = 3;
    cold.Temperature.reset();
    cold.LinkState = 3;
    cold.Reason = TAttemptVerdict::InvalidValue;
    cold.Attempts = 1;
    return {good, silent, cold};
}

std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Metrics, ValuesOnlyWhereValidAndAReasonForEveryTank) {
    TRoundFigures round;
    round.DurationSeconds = 3.5;
    round.FailedExchanges = 3;
    round.FailedExchangesTotal = 10;
    round.Rounds = 4;
    round.EndedAt = 1765190000.25;
    const std::string text = MetricsText("\\\\.\\COM12", Readings(), round);
    const std::string device = "device=\"\\\\\\\\.\\\\COM12\"";  // backslashes escaped
    const char* expected[] = {
        "qmx_tank_level{DEV,tank=\"1\"} 1500.25\n",
        "qmx_tank_level{DEV,tank=\"3\"} 1500.25\n",
        "qmx_tank_temperature{DEV,tank=\"1\"} -12.5\n",
        "qmx_tank_second_value{DEV,tank=\"1\"} 4\n",
        "qmx_tank_density{DEV,tank=\"1\"} 0.835\n",
        "qmx_tank_valid{DEV,tank=\"1\"} 1\n",
        "qmx_tank_valid{DEV,tank=\"2\"} 0\n",
        "qmx_tank_failure_info{DEV,tank=\"1\",reason=\"none\"} 1\n",
        "qmx_tank_failure_info{DEV,tank=\"2\",reason=\"no_answer\"} 1\n",
        "qmx_tank_failure_info{DEV,tank=\"3\",reason=\"invalid_value\"} 1\n",
        "qmx_tank_attempts{DEV,tank=\"2\"} 3\n",
        "qmx_round_duration_seconds{DEV} 3.5\n",
        "qmx_round_failed_exchanges{DEV} 3\n",
        "qmx_failed_exchanges_total{DEV} 10\n",
        "qmx_rounds_total{DEV} 4\n",
        "# TYPE qmx_rounds_total counter\n",
    };
    for (std::string line : expected) {
        if (const auto at = line.find("DEV"); at != std::string::npos) line.replace(at, 3, device);
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
    for (const char* absent : {"qmx_tank_level{" , "qmx_tank_temperature{"})
        EXPECT_EQ(text.find(std::string(absent) + device + ",tank=\"2\""), std::string::npos) << absent;
    EXPECT_EQ(text.find("qmx_tank_temperature{" + device + ",tank=\"3\""), std::string::npos);
}

TEST(Metrics, PromtoolTakesTheFile) {
    if (std::system("promtool --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus; scripts/setup installs it)";
    test::TWindowsDirectory dir;
    const fs::path file = dir.Path() / "qmx.prom";
    std::string problem;
    ASSERT_TRUE(ReplaceFileContents(file.string(), MetricsText("/dev/ttyUSB0", Readings(), TRoundFigures{}), problem))
        << problem;
    const std::string command = "promtool check metrics < " + file.string() + " > " + (dir.Path() / "out").string() + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << Read(dir.Path() / "out");
    // And the checker is not one that takes anything.
    std::ofstream(file) << "qmx_tank_level{tank=1} x\n";
    EXPECT_NE(std::system(command.c_str()), 0);
}

TEST(AtomicFile, ReplacedWholeReadableAndNoTemporaryLeft) {
    test::TWindowsDirectory dir;
    const fs::path file = dir.Path() / "qmx.prom";
    std::string problem;
    ASSERT_TRUE(ReplaceFileContents(file.string(), "first\n", problem)) << problem;
    ASSERT_TRUE(ReplaceFileContents(file.string(), "second\n", problem)) << problem;
    EXPECT_EQ(Read(file), "second\n");
    EXPECT_EQ((fs::status(file).permissions() & fs::perms::others_read), fs::perms::others_read);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_FALSE(ReplaceFileContents((dir.Path() / "no-such-dir" / "m.prom").string(), "x", problem));
    EXPECT_NE(problem.find("no-such-dir"), std::string::npos) << problem;
}

}  // namespace
}  // namespace qmx::tools
