#include <gtest/gtest.h>

#include <vector>

#include "protocol/attempt_verdict.h"
#include "protocol/frame.h"
#include "support/frames.h"

namespace qmx {
namespace {

std::vector<std::uint8_t> Framed(const std::vector<std::uint8_t>& payload) {
    TFrameArea area;
    area.fill(0xEE);
    const auto length = BuildFrame(area, payload.data(), static_cast<std::uint8_t>(payload.size()));
    return {area.begin(), area.begin() + length};
}

TEST(BuildFrame, WrapsPayloadWithStxEtxAndXorCheck) {
    EXPECT_EQ(Framed({0x4C, 0x30, 0x31}), (std::vector<std::uint8_t>{0x02, 0x4C, 0x30, 0x31, 0x03, 0x4C}));
    EXPECT_EQ(Framed({0x4C, 0x31, 0x32}), (std::vector<std::uint8_t>{0x02, 0x4C, 0x31, 0x32, 0x03, 0x4E}));
    EXPECT_EQ(Framed({0x4C, 0x30, 0x35}), (std::vector<std::uint8_t>{0x02, 0x4C, 0x30, 0x35, 0x03, 0x48}));
    EXPECT_EQ(Framed({}), (std::vector<std::uint8_t>{0x02, 0x03, 0x01}));
}

TEST(BuildFrame, LongestPayloadFillsTheAreaWithoutOverrun) {
    std::vector<std::uint8_t> payload(kMaxPayload, 'A');
    const auto frame = Framed(payload);
    ASSERT_EQ(frame.size(), 255u);
    EXPECT_EQ(frame[253], kETX);
    std::uint8_t sum = 0;
    for (auto byte : frame) sum ^= byte;
    EXPECT_EQ(sum, 0);
}

struct TVerdictCase {
    const char* Name;
    std::vector<std::uint8_t> Answer;
    std::uint8_t Expected;
    int Status;  // as reported to a host's block
};

std::vector<std::uint8_t> WithByte(std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
    return bytes;
}

TEST(JudgeAnswer, FirstFailingTestDecides) {
    const auto good = test::LevelAnswer("0012345", "0001250", "0215");
    auto longer = good;
    longer.push_back(0x00);
    auto shorter = good;
    shorter.pop_back();
    const std::vector<TVerdictCase> cases = {
        {"well-formed frame of the expected length", good, 43, 0},
        {"any payload goes when the frame is sound", test::Frame(std::string(40, '?')), 43, 0},
        {"one byte longer", longer, 43, 219},
        {"one byte shorter", shorter, 43, 219},
        {"well-formed but not the expected length", good, 45, 219},
        {"no STX, and ETX and check byte wrong too", WithByte(WithByte(good, 0, 'X'), 41, 'X'), 43, 223},
        {"no ETX before the check byte", WithByte(good, 41, 0x04), 43, 209},
        {"one payload byte changed", WithByte(good, 10, '9'), 43, 222},
        {"check byte changed", WithByte(good, 42, static_cast<std::uint8_t>(good[42] ^ 1)), 43, 222},
        {"empty answer expected empty", {}, 0, 223},
        {"lone STX", {0x02}, 1, 209},
        {"lone other byte", {0x41}, 1, 223},
        {"STX ETX without check byte", {0x02, 0x03}, 2, 209},
        {"smallest frame", {0x02, 0x03, 0x01}, 3, 0},
    };
    for (const auto& c : cases) {
        // An exact-size heap copy lets the address sanitizer see any read
        // outside the received bytes.
        std::vector<std::uint8_t> exact(c.Answer);
        exact.shrink_to_fit();
        EXPECT_EQ(HostAnswerStatus(JudgeAnswer(exact.empty() ? nullptr : exact.data(),
                                               static_cast<std::uint8_t>(exact.size()), c.Expected)),
                  c.Status)
            << c.Name;
    }
}

}  // namespace
}  // namespace qmx
