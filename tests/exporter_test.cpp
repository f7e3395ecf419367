// The reader's HTTP exporter: the addresses --listen takes, and when qmx_up
// says the gauge was reached.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "listen_address.h"
#include "metrics.h"

namespace qmx::tools {
namespace {

TEST(ListenAddress, APortAloneIsLoopbackAndAnAddressIsAsNamed) {
    struct TCase {
        const char* Text;
        const char* Shown;    // the address taken; nullptr when refused
        const char* Problem;  // part of the refusal
    };
    const TCase cases[] = {
        {"9723", "127.0.0.1:9723", ""},
        {":9723", "127.0.0.1:9723", ""},
        {"0.0.0.0:9723", "0.0.0.0:9723", ""},
        {"[::1]:9723", "[::1]:9723", ""},
        {"[::]:0", "[::]:0", ""},
        {"65536", nullptr, "--listen takes [ADDRESS:]PORT"},
        {"127.0.0.1:", nullptr, "--listen takes [ADDRESS:]PORT"},
        {"[::1]", nullptr, "--listen takes [ADDRESS:]PORT"},
        {"::1:9723", nullptr, "an IPv6 address goes in brackets"},
        {"localhost:9723", nullptr, "'localhost' is not a numeric IPv4 address"},
        {"1.2.3:80", nullptr, "'1.2.3' is not a numeric IPv4 address"},
        {"[127.0.0.1]:80", nullptr, "'127.0.0.1' is not a numeric IPv6 address"},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto address = ParseListenAddress(c.Text, problem);
        EXPECT_EQ(address ? address->Text() : "refused", c.Shown ? c.Shown : "refused") << c.Text;
        EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Text << ": " << problem;
    }
}

TEST(ScrapeText, UpOnlyWhenTheRoundReachedTheGaugeAndBeforeTheFirstRoundAlmostNothing) {
    TTankReading valid;
    valid.Level = 800;
    valid.Temperature = 8;
    valid.AuxValue = 0;
    valid.Density = 0.745;
    TTankReading silent;
    silent.Reason = TAttemptVerdict::NoAnswer;
    TTankReading garbled;  // a frame came, with a wrong check byte
    garbled.Reason = TAttemptVerdict::CheckByte;
    TTankReading levelOnly = silent;  // its G request went unanswered
    levelOnly.Level = 800;
    TTankReading refused;  // the silo raised an error before any exchange
    refused.Error = "request refused";
    struct TCase {
        std::vector<TTankReading> Readings;
        bool DevicePresent;
        const char* Up;
    };
    const TCase cases[] = {
        {{valid}, true, "1"},        {{silent, silent}, true, "0"}, {{silent, garbled}, true, "1"},
        {{levelOnly}, true, "1"},    {{refused}, true, "0"},        {{valid}, false, "0"},
        {{}, true, "0"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TRoundFigures round;
        round.DevicePresent = cases[i].DevicePresent;
        const std::string text = ScrapeText("/dev/ttyUSB0", cases[i].Readings, round);
        EXPECT_EQ(text.rfind("# HELP qmx_up ", 0), 0u) << text;
        EXPECT_NE(text.find(std::string("\nqmx_up{device=\"/dev/ttyUSB0\"} ") + cases[i].Up + "\n"), std::string::npos)
            << "case " << i << ":\n" << text;
    }
    std::vector<std::string> samples;
    std::istringstream lines(ScrapeTextBeforeFirstRound("/dev/ttyUSB0"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind('#', 0) != 0) samples.push_back(line);
    EXPECT_EQ(samples, (std::vector<std::string>{"qmx_up{device=\"/dev/ttyUSB0\"} 0",
                                                 "qmx_read_build_info{device=\"/dev/ttyUSB0\",version=\"" QMX_VERSION
                                                 "\"} 1"}));
}

}  // namespace
}  // namespace qmx::tools
