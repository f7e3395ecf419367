#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "driver/silo.h"
#include "serial/serial_errors.h"
#include "support/frames.h"
#include "support/recording_host.h"

namespace qmx {
namespace {

using test::TRecordingHost;

class Measurements : public ::testing::Test {
protected:
    // A block whose line reports a valid answer unless told otherwise.
    TRecordingHost FHost;
    TSilo FSilo{0, &FHost};

    void Answer(std::vector<std::uint8_t> frame, std::uint8_t lineState = 1) {
        FHost.Answer = std::move(frame);
        FHost.LineState = lineState;
    }
    void Silent() { Answer({}, 2); }

    int Exchanges() const {
        const auto calls = FHost.Calls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
            return call.rfind("Exchange(", 0) == 0;
        }));
    }
    std::string SentPayload() const {
        const auto frame = FHost.LastFrame();
        return std::string(frame.begin() + 1, frame.end() - 2);
    }
};

TEST_F(Measurements, TankNumberIsIndexPlusOneInTwoDigits) {
    Answer(test::LevelAnswer("0000100", "0000100", "0100"));
    const std::pair<std::uint8_t, const char*> cases[] = {{0, "01"}, {9, "10"}, {32, "33"}};
    for (const auto& [tank, digits] : cases) {
        FSilo.GetLevel(tank);
        EXPECT_EQ(SentPayload(), std::string("L") + digits);
        EXPECT_NE(FHost.Calls().end(), std::find(FHost.Calls().begin(), FHost.Calls().end(),
                                                 "Exchange(0,17,17,6,43,0)"));
        FSilo.GetDensity(tank);
        EXPECT_EQ(SentPayload(), std::string("G") + digits);
    }
    EXPECT_EQ(FHost.Calls().back(), "GetLineState(17)");
}

TEST_F(Measurements, OneLevelExchangeServesTemperatureAndSecondValue) {
    Answer(test::LevelAnswer("0012345", "0001250", "-125"));
    EXPECT_DOUBLE_EQ(FSilo.GetLevel(4), 123.45);
    EXPECT_EQ(FSilo.GetState(), 1);
    double record[4] = {};
    FSilo.GetTemperatures(4, record);
    for (double value : record) EXPECT_DOUBLE_EQ(value, -12.5);
    EXPECT_EQ(FSilo.GetAuxValue(4), 12);  // 12.50 rounds to the even 12
    EXPECT_EQ(Exchanges(), 1);
    EXPECT_EQ(FSilo.GetState(), 1);
}

TEST_F(Measurements, NewSiloAnswersTemperatureAndSecondValueFromItsZeroedTables) {
    double record[4] = {9, 9, 9, 9};
    FSilo.GetTemperatures(0, record);
    for (double value : record) EXPECT_EQ(value, 0.0);
    EXPECT_EQ(FSilo.GetAuxValue(0), 0);
    EXPECT_EQ(Exchanges(), 0);
    EXPECT_EQ(FSilo.GetState(), 1);
}

TEST_F(Measurements, LevelValidityAndFieldDefaults) {
    struct TCase {
        std::string Field;
        double Level;
        std::uint8_t State;
    };
    const TCase cases[] = {
        {"0012345", 123.45, 1},
        {"0000000", 0.0, 1},  // exactly zero is a level
        {"-000150", -1.50, 3},
        {"       ", 10.00, 1},  // not a number: the default
        {"12 3456", 10.00, 1},
        {std::string("01234\0\0", 7), 12.34, 1},
    };
    for (const auto& c : cases) {
        Answer(test::LevelAnswer(c.Field, "0000100", "0100"));
        EXPECT_DOUBLE_EQ(FSilo.GetLevel(1), c.State == 1 ? c.Level : -1.0) << c.Field;
        EXPECT_EQ(FSilo.GetState(), c.State) << c.Field;
    }
}

TEST_F(Measurements, DensityMustBeAboveZero) {
    struct TCase {
        std::string Field;
        double Density;
        std::uint8_t State;
    };
    const TCase cases[] = {
        {"00500000", 0.005, 1},
        {"12345678", 0.12345678, 1},
        {"00000000", 0.0, 3},
        {"-0000001", -0.00000001, 3},
        {"xxxxxxxx", 0.005, 1},
    };
    for (const auto& c : cases) {
        Answer(test::DensityAnswer(c.Field));
        EXPECT_DOUBLE_EQ(FSilo.GetDensity(32), c.State == 1 ? c.Density : -1.0) << c.Field;
        EXPECT_EQ(FSilo.GetState(), c.State) << c.Field;
    }
}

TEST_F(Measurements, SecondValueRoundsHalfToEvenIntoEightBits) {
    struct TCase {
        std::string Field;
        std::uint8_t Value;
    };
    const TCase cases[] = {
        {"0001250", 12}, {"0001350", 14}, {"0025550", 0}, {"-000040", 0}, {"-000060", 255},
    };
    for (const auto& c : cases) {
        Answer(test::LevelAnswer("0000100", c.Field, "0100"));
        FSilo.GetLevel(2);
        EXPECT_EQ(FSilo.GetAuxValue(2), c.Value) << c.Field;
        EXPECT_EQ(FSilo.GetState(), 1) << c.Field;
    }
}

TEST_F(Measurements, NegativeSecondValueIsQueriedAgainEachTime) {
    Answer(test::LevelAnswer("0000100", "-000040", "0100"));
    FSilo.GetLevel(2);
    const int before = Exchanges();
    EXPECT_EQ(FSilo.GetAuxValue(2), 0);
    EXPECT_EQ(FSilo.GetAuxValue(2), 0);
    EXPECT_EQ(Exchanges(), before + 2);
}

TEST_F(Measurements, SecondValueOfMinusOneIsNotValid) {
    Answer(test::LevelAnswer("0000100", "-000100", "0100"));
    FSilo.GetLevel(5);
    EXPECT_EQ(FSilo.GetState(), 1);
    FSilo.GetAuxValue(5);
    EXPECT_EQ(FSilo.GetState(), 3);
}

TEST_F(Measurements, LowestTemperatureTheFieldCarriesIsValid) {
    Answer(test::LevelAnswer("0000100", "0000100", "-999"));
    double record[4] = {};
    FSilo.GetLevel(3);
    FSilo.GetTemperatures(3, record);
    EXPECT_DOUBLE_EQ(record[0], -99.9);
    EXPECT_EQ(FSilo.GetState(), 1);
}

TEST_F(Measurements, FailedExchangeStoresFailureValuesAndEndsInvalid) {
    Answer(test::LevelAnswer("0012345", "0000100", "0215"));
    FSilo.GetLevel(6);
    Silent();
    EXPECT_EQ(FSilo.GetLevel(6), -1.0);
    EXPECT_EQ(FSilo.GetState(), 3) << "no answer ends as an invalid value, not 2";
    // The stored second value is below 0: it is asked for again at once.
    FSilo.SetState(1);
    int before = Exchanges();
    EXPECT_EQ(FSilo.GetAuxValue(6), 0);
    EXPECT_EQ(Exchanges(), before + 1);

    // -111 is below -100: the temperature is queried again at once.
    Answer(test::LevelAnswer("0012345", "0000100", "0215"));
    FSilo.SetState(1);
    before = Exchanges();
    double record[4] = {};
    FSilo.GetTemperatures(6, record);
    EXPECT_EQ(Exchanges(), before + 1);
    EXPECT_DOUBLE_EQ(record[3], 21.5);
}

TEST_F(Measurements, LinkStateOtherThanOneForcesAQuery) {
    Answer(test::LevelAnswer("0012345", "0000700", "0215"));
    FSilo.GetLevel(0);
    FSilo.SetState(3);
    const int before = Exchanges();
    double record[4] = {};
    FSilo.GetTemperatures(0, record);
    EXPECT_EQ(FSilo.GetAuxValue(0), 7);
    EXPECT_EQ(Exchanges(), before + 1);
}

TEST_F(Measurements, FailedRequestRaisesAndChangesNoTable) {
    Answer(test::LevelAnswer("0012345", "0000100", "0215"));
    FSilo.GetLevel(8);
    FHost.ExchangeResult = 5;
    FHost.LineState = 2;
    for (int operation = 0; operation < 2; ++operation) {
        try {
            operation == 0 ? FSilo.GetLevel(8) : FSilo.GetDensity(8);
            ADD_FAILURE() << "no error raised";
        } catch (const ESerialIO& error) {
            // "Ошибка запроса уровня" in code page 1251.
            EXPECT_STREQ(error.what(),
                         "\xCE\xF8\xE8\xE1\xEA\xE0 \xE7\xE0\xEF\xF0\xEE\xF1\xE0 "
                         "\xF3\xF0\xEE\xE2\xED\xFF");
        }
    }
    EXPECT_EQ(FSilo.GetState(), 2) << "the state is what the exchange left";
    // The tables kept the last valid answer: read from them without an
    // exchange once the link state is 1 again.
    FSilo.SetState(1);
    const int before = Exchanges();
    double record[4] = {};
    FSilo.GetTemperatures(8, record);
    EXPECT_DOUBLE_EQ(record[0], 21.5);
    EXPECT_EQ(FSilo.GetAuxValue(8), 1);
    EXPECT_EQ(Exchanges(), before);
}

TEST_F(Measurements, TankBeyondTheTablesIsRefusedWithoutExchange) {
    double record[4] = {5, 5, 5, 5};
    for (std::uint8_t tank : {std::uint8_t{33}, std::uint8_t{100}, std::uint8_t{255}}) {
        FSilo.SetState(1);
        FSilo.GetLevel(tank);
        EXPECT_EQ(FSilo.GetState(), 3);
        FSilo.SetState(1);
        FSilo.GetTemperatures(tank, record);
        EXPECT_EQ(FSilo.GetState(), 3);
        FSilo.SetState(1);
        FSilo.GetAuxValue(tank);
        EXPECT_EQ(FSilo.GetState(), 3);
        FSilo.SetState(1);
        FSilo.GetDensity(tank);
        EXPECT_EQ(FSilo.GetState(), 3);
    }
    EXPECT_EQ(Exchanges(), 0);
    for (double value : record) EXPECT_EQ(value, 5.0);
}

}  // namespace
}  // namespace qmx
