// The reader's parts that a technician relies on: the tank list, the
// reading of a tank through the silo, and the machine-readable output.

#include <gtest/gtest.h>

#include "protocol/answer_doubts.h"

#include "driver/connection.h"
#include "driver/silo.h"
#include "gauge.h"
#include "reading.h"
#include "sim_server.h"
#include "support/pty_pair.h"
#include "tank_list.h"

namespace qmx::tools {
namespace {

TEST(TankList, RangesAndSinglesInOrder) {
    EXPECT_EQ(ParseTankList("1-4,9"), (std::vector<int>{1, 2, 3, 4, 9}));
    EXPECT_EQ(ParseTankList("33"), (std::vector<int>{33}));
    EXPECT_EQ(ParseTankList("1-33")->size(), 33u);
    for (const char* bad : {"", "0", "34", "4-1", "1,", ",1", "a", "1-", "-3", "1--2", "1-4x"})
        EXPECT_FALSE(ParseTankList(bad).has_value()) << bad;
}

TEST(Reading, ValidTankGivesAllFourValuesAndMachineFormats) {
    test::TPtyPair pty(9);
    sim::TGauge gauge;
    gauge.Tank(2) = sim::TTank{"DT", 1500.25, 0, 3.5, 14.2, 0.835, sim::TFault::None};
    sim::TSimServer server(gauge, pty.Master());
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(9, 0), nullptr);
    const TTankReading reading = ReadTank(*silo, 2);
    EXPECT_TRUE(reading.Valid);
    EXPECT_DOUBLE_EQ(*reading.Level, 1500.25);
    EXPECT_DOUBLE_EQ(*reading.Temperature, 14.2);
    EXPECT_EQ(*reading.SecondValue, 4);  // 3.5 rounds to the even 4
    EXPECT_DOUBLE_EQ(*reading.Density, 0.835);
    EXPECT_EQ(FormatCsv({reading}), "tank,level,temperature,second,density,link,valid,doubts,reason,attempts\n"
                                    "2,1500.25,14.2,4,0.83500000,1,1,,,\n");
    EXPECT_EQ(FormatJson({reading}), "[\n  {\"tank\": 2, \"level\": 1500.25, \"temperature\": 14.2, \"second\": 4, "
                                     "\"density\": 0.83500000, \"link\": 1, \"valid\": true, \"doubts\": []}\n]\n");
}

TEST(Reading, TankWithoutAValidLevelIsNotAskedFurther) {
    test::TPtyPair pty(9);
    sim::TGauge gauge;
    gauge.SetFault(1, sim::TFault::BadCheck);
    sim::TSimServer server(gauge, pty.Master());
    auto silo = std::make_unique<TSilo>(ConnectionTypeFor(9, 0), nullptr);
    const TTankReading reading = ReadTank(*silo, 1);
    EXPECT_FALSE(reading.Valid);
    EXPECT_FALSE(reading.Level.has_value());
    EXPECT_FALSE(reading.Density.has_value());
    EXPECT_EQ(reading.LinkState, 3);
    EXPECT_EQ(server.Requests(), 3) << "one failed transaction, not four";
    EXPECT_EQ(FormatCsv({reading}), "tank,level,temperature,second,density,link,valid,doubts,reason,attempts\n"
                                    "1,,,,,3,0,,,\n");
}

// The reader gives its silo the recording opener and flags what the driver
// reports as valid but is in doubt.
TEST(Reading, DoubtfulAnswersAreFlaggedAndTheDriverStillReportsThemValid) {
    struct TCase {
        sim::TFault Fault;
        std::vector<std::string> Doubts;
    };
    const TCase cases[] = {
        {sim::TFault::None, {}},
        {sim::TFault::Junk,
         {"level not a number", "second value not a number", "temperature not a number", "density not a number"}},
    };
    TRecordingPort* port = nullptr;
    for (const auto& c : cases) {
        test::TPtyPair pty(9);
        sim::TGauge gauge;
        gauge.SetFault(2, c.Fault);
        sim::TSimServer server(gauge, pty.Master());
        TSilo silo(11, nullptr, RecordingOpener({}, port));
        ASSERT_NE(port, nullptr);
        const TTankReading reading = ReadTank(silo, 2, port);
        EXPECT_TRUE(reading.Valid) << sim::FaultName(c.Fault);
        EXPECT_EQ(DoubtTexts(reading.Doubts), c.Doubts) << sim::FaultName(c.Fault);
    }
    EXPECT_EQ(port, nullptr) << "the port went with its silo";
}

}  // namespace
}  // namespace qmx::tools
