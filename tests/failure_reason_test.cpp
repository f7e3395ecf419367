// Why a tank failed, as the reader tells it, for the line behaviours a
// technician meets: the simulated gauge's faults, its scripts for
// successive attempts, and a line that carries bytes but no frame.

#include <gtest/gtest.h>

#include "driver/silo.h"
#include "gauge.h"
#include "reading.h"
#include "sim_server.h"
#include "support/far_end.h"
#include "support/pty_pair.h"

namespace qmx::tools {
namespace {

constexpr int kPort = 9;
constexpr std::uint32_t kConnectionType = kPort + 2;

struct TLineCase {
    const char* Name;
    std::vector<sim::TFault> Script;  // the tank's successive attempts
    double Level;
    bool Valid;
    std::string Reason;  // in the table's words
    const char* Json;    // what JSON says of it
};

void PrintTo(const TLineCase& line, std::ostream* out) { *out << line.Name; }

class FailureReason : public ::testing::TestWithParam<TLineCase> {};

TEST_P(FailureReason, TheLastAttemptsReasonAndTheAttemptsMade) {
    const TLineCase& c = GetParam();
    test::TPtyPair pty(kPort);
    sim::TGauge gauge;
    gauge.Tank(3) = sim::TTank{"DT", c.Level, 0, 3.5, 14.2, 0.835, sim::TFault::None};
    gauge.SetScript(3, c.Script);
    sim::TSimServer server(gauge, pty.Master());
    TRecordingPort* port = nullptr;
    TSilo silo(kConnectionType, nullptr, RecordingOpener({}, port));
    const TTankReading reading = ReadTank(silo, 3, port);
    EXPECT_EQ(reading.Valid, c.Valid);
    EXPECT_NE(TableRow(reading).find(c.Reason), std::string::npos) << TableRow(reading);
    EXPECT_NE(JsonRow(reading).find(c.Json), std::string::npos) << JsonRow(reading);
    if (c.Valid) {
        EXPECT_EQ(JsonRow(reading).find("\"reason\""), std::string::npos) << JsonRow(reading);
    }
}

using F = sim::TFault;
INSTANTIATE_TEST_SUITE_P(
    Lines, FailureReason,
    ::testing::Values(
        TLineCase{"Good", {F::None}, 1500.25, true, "valid", "\"valid\": true"},
        TLineCase{"GoodOnTheSecondAttempt", {F::BadCheck, F::None}, 1500.25, true, "valid", "\"valid\": true"},
        TLineCase{"Silent", {F::NoAnswer}, 1500.25, false, "no valid answer: no answer, 3 attempts",
                  "\"reason\": \"no answer\", \"attempts\": 3"},
        TLineCase{"CheckByte", {F::BadCheck}, 1500.25, false, "check byte, 3 attempts",
                  "\"reason\": \"check byte\", \"attempts\": 3"},
        TLineCase{"SilentThenCheckByte", {F::NoAnswer, F::NoAnswer, F::BadCheck}, 1500.25, false,
                  "check byte, 3 attempts", "\"reason\": \"check byte\""},
        TLineCase{"NoEtx", {F::NoEtx}, 1500.25, false, "no ETX, 3 attempts", "\"reason\": \"no ETX\""},
        TLineCase{"CutShort", {F::Short}, 1500.25, false, "wrong length, 3 attempts",
                  "\"reason\": \"wrong length\""},
        TLineCase{"BytesAfterTheFrame", {F::ExtraBytes}, 1500.25, false, "wrong length, 3 attempts",
                  "\"reason\": \"wrong length\""},
        // The gauge answers for tank 4: the port drops it as another
        // request's answer, never taking it for tank 3's.
        TLineCase{"AnswersForAnotherTank", {F::WrongTank}, 1500.25, false,
                  "answer to another request (L04), 3 attempts",
                  "\"reason\": \"answer to another request\", \"reason_detail\": \"L04\", \"attempts\": 3"},
        TLineCase{"NegativeLevel", {F::None}, -1.5, false, "invalid value (negative level), 1 attempt",
                  "\"reason\": \"invalid value\", \"reason_detail\": \"negative level\", \"attempts\": 1"}),
    [](const ::testing::TestParamInfo<TLineCase>& line) { return std::string(line.param.Name); });

TEST(FailureReasonOnTheLine, BytesWithoutAnStxAreNotSilence) {
    test::TPtyPair pty(kPort);
    test::TFarEnd line(pty.Master(), [](test::TFarEnd& far, int, const std::vector<std::uint8_t>&) {
        far.Put({'L', '0', '1', ' ', '1', '2', 0x03, 0x41});
    });
    TRecordingPort* port = nullptr;
    TSilo silo(kConnectionType, nullptr, RecordingOpener({}, port));
    const TTankReading reading = ReadTank(silo, 1, port);
    EXPECT_FALSE(reading.Valid);
    EXPECT_EQ(reading.Reason, TAttemptVerdict::NoStx);
    EXPECT_EQ(reading.Attempts, 3);
    EXPECT_EQ(reading.FailedAttempts, 3);
    EXPECT_EQ(CsvRow(reading), "1,,,,,3,0,,no STX,3\n");
}

}  // namespace
}  // namespace qmx::tools
