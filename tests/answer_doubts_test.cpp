// The doubts a reader raises about answers the driver accepts as valid.

#include <gtest/gtest.h>

#include <string>

#include "protocol/answer_doubts.h"
#include "protocol/queries.h"
#include "support/frames.h"

namespace qmx {
namespace {

// An L answer as the gauge sends it: letter and tank at 1 to 3.
std::vector<std::uint8_t> Level(const std::string& echo3, const std::string& level7, const std::string& aux7,
                                const std::string& temperature4) {
    return test::Frame(echo3 + " 0A0" + level7 + aux7 + "00000000000000" + temperature4 + "0");
}

std::vector<std::uint8_t> Density(const std::string& echo3, const std::string& density8) {
    return test::Frame(echo3 + std::string(20, '0') + density8 + std::string(11, '0'));
}

TEST(AnswerDoubts, NameTheEchoAndTheFieldsThatAreNoNumbers) {
    struct TCase {
        const char* Name;
        TQuery Query;
        std::uint8_t Tank;  // index
        std::vector<std::uint8_t> Answer;
        unsigned Doubts;
    };
    const TCase cases[] = {
        {"clean L", TQuery::Level, 0, Level("L01", "0012345", "0000100", "0215"), 0},
        {"clean G of tank 33", TQuery::Density, 32, Density("G33", "00812345"), 0},
        {"another tank", TQuery::Level, 4, Level("L04", "0012345", "0000100", "0215"), kNamesOtherTank},
        {"another query", TQuery::Level, 0, Level("G01", "0012345", "0000100", "0215"), kNamesOtherQuery},
        {"both", TQuery::Density, 1, Density("L03", "00812345"), kNamesOtherQuery | kNamesOtherTank},
        // A gauge whose echo is no letter and digits names nothing.
        {"no echo", TQuery::Level, 0, Level("x?!", "0012345", "0000100", "0215"), 0},
        {"lower-case echo", TQuery::Level, 0, Level("g0z", "0012345", "0000100", "0215"), 0},
        {"level of spaces", TQuery::Level, 0, Level("L01", "       ", "0000100", "0215"), kLevelNotNumber},
        {"level with a blank inside", TQuery::Level, 0, Level("L01", "12 3456", "0000100", "0215"), kLevelNotNumber},
        {"the default's own digits are a number", TQuery::Level, 0, Level("L01", "0001000", "0000100", "0010"), 0},
        {"level ended early by NULs", TQuery::Level, 0, Level("L01", std::string("01234\0\0", 7), "0000100", "0215"), 0},
        {"every L field", TQuery::Level, 0, Level("L01", "LEVEL??", "AUX ???", "T??C"),
         kLevelNotNumber | kSecondValueNotNumber | kTemperatureNotNumber},
        {"density", TQuery::Density, 0, Density("G01", "DENSITY?"), kDensityNotNumber},
        // An L answer judged as a G one reads no L fields.
        {"density position of an L answer", TQuery::Density, 0, Level("G01", "0012345", "0000100", "0215"), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeAnswer(c.Query, c.Tank, c.Answer.data(), c.Answer.size()).Doubts, c.Doubts) << c.Name;
}

TEST(AnswerDoubts, ReadNothingBeyondTheAnswer) {
    // Followed by bytes a stray reader would find wrong.
    std::vector<std::uint8_t> answer = Level("L01", "0012345", "0000100", "0215");
    for (std::size_t length : {0u, 1u, 2u, 3u, 20u, 39u}) {
        std::vector<std::uint8_t> cut(answer.begin(), answer.begin() + static_cast<long>(length));
        cut.resize(64, 'X');
        EXPECT_EQ(DecodeAnswer(TQuery::Level, 0, cut.data(), length).Doubts, 0u) << length;
    }
}

}  // namespace
}  // namespace qmx
