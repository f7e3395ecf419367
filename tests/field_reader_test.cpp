#include <gtest/gtest.h>

#include <string>

#include "protocol/field_reader.h"

namespace qmx {
namespace {

std::int32_t ReadText(const std::string& field, std::int32_t fallback = -7) {
    // Surround the field with digits so that a reader straying outside it
    // would change the result.
    const std::string answer = "99" + field + "99";
    return ReadField(reinterpret_cast<const std::uint8_t*>(answer.data()), 2, field.size(), fallback);
}

TEST(ReadField, SignedDecimalWithLeadingSpaces) {
    struct TCase {
        std::string Field;
        std::int32_t Value;
    };
    const TCase cases[] = {
        {"0012345", 12345},
        {"-000150", -150},
        {"+000150", 150},
        {"   -125", -125},
        {"      7", 7},
        {"0000000", 0},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {std::string("01234\0\0", 7), 1234},
        {std::string("12\0" "3456", 7), 12},
        {std::string("  -9\0zz", 7), -9},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadText(c.Field), c.Value) << '"' << c.Field << '"';
}

TEST(ReadField, AnythingElseGivesTheFallback) {
    const std::string cases[] = {
        "       ",       // only spaces
        "12 3456",       // a space inside
        "12345  ",       // trailing spaces
        "-      ",       // a sign without digits
        "+-12345",       // two signs
        "0x1F000",       // hexadecimal
        "$1F0000",       // hexadecimal, object-model style
        "1.5",           // a decimal point
        "2147483648",    // one past the largest
        "-2147483649",   // one past the smallest
        "99999999999999",
        std::string("\0" "123456", 7),  // NUL first: an empty field
        "\t123456",      // a tab is not a space
        "12345\xB0" "6",
    };
    for (const auto& field : cases) EXPECT_EQ(ReadText(field), -7) << '"' << field << '"';
}

TEST(RoundToLowByte, HalvesGoToTheEvenNeighbourAndOnlyTheLowByteIsKept) {
    struct TCase {
        double Value;
        std::uint8_t Result;
    };
    const TCase cases[] = {
        {12.50, 12}, {13.50, 14}, {255.50, 0}, {254.50, 254}, {0.50, 0}, {1.50, 2},
        {-0.40, 0},  {-0.60, 255}, {-0.50, 0}, {-1.50, 254}, {12.49, 12}, {12.51, 13},
        {256.0, 0},  {300.0, 44},  {21474836.47, 20},
    };
    for (const auto& c : cases) EXPECT_EQ(RoundToLowByte(c.Value), c.Result) << c.Value;
}

}  // namespace
}  // namespace qmx
