// The reader's command line and its output as it goes.

#include <gtest/gtest.h>

#include "protocol/answer_doubts.h"

#include <cstdio>
#include <string>

#include "options.h"
#include "output.h"
#include "tank_list.h"
#include "platform/whole_number.h"

namespace qmx::tools {
namespace {

std::variant<TOptions, std::string> Parse(std::initializer_list<std::string> arguments) {
    return ParseOptions(std::vector<std::string>(arguments));
}

TEST(ReaderOptions, OnlyWhatTheUsageShowsIsTaken) {
    struct TCase {
        std::vector<std::string> Arguments;
        bool Taken;
    };
    const TCase cases[] = {
        {{"--com", "3"}, true},
        {{"--com", "253", "--json"}, true},
        {{"--device", "/dev/ttyUSB0", "--tanks", "1-4,9", "--csv", "--trace", "-", "--quiet"}, true},
        {{"--com", "3x"}, false},
        {{"--com", "0"}, false},
        {{"--com", "254"}, false},
        {{"--com", "+3"}, false},
        {{"--com", " 3"}, false},
        {{"--com", "-3"}, false},
        {{"--com", ""}, false},
        {{"--com"}, false},
        {{"--device", ""}, false},
        {{"--com", "3", "--device", "/dev/ttyUSB0"}, false},
        {{}, false},
        {{"--com", "3", "--tanks", " 1"}, false},
        {{"--com", "3", "--tanks", "1-+4"}, false},
        {{"--com", "3", "--trace", ""}, false},
        {{"--com", "3", "--speed", "9600"}, false},
        {{"--com", "3", "--inventory", "t.ini", "--events", "e.jsonl", "--watch", "60", "--csv"}, true},
        {{"--inventory", "t.ini", "--from-rows", "rows.csv", "--events", "-"}, true},
        {{"--from-rows", "rows.csv"}, false},
        {{"--com", "3", "--events", "e.jsonl"}, false},
        {{"--inventory", "t.ini", "--from-rows", "rows.csv", "--com", "3"}, false},
        {{"--inventory", "t.ini", "--from-rows", "rows.csv", "--csv"}, false},
        {{"--inventory", "t.ini", "--from-rows", ""}, false},
        {{"--monitor", "/dev/pts/9", "--inventory", "t.ini"}, false},
        {{"--com", "3", "--metrics", "m.prom", "--instance", "tank-farm"}, true},
        {{"--com", "3", "--watch", "60", "--listen", ":9723", "--instance", "a.b_c@1"}, true},
        {{"--monitor", "/dev/pts/9", "--metrics", "m.prom", "--instance", "tap"}, true},
        {{"--com", "3", "--instance", "tank-farm"}, false},  // nothing it would name
        {{"--com", "3", "--metrics", "m.prom", "--instance", ""}, false},
        {{"--com", "3", "--metrics", "m.prom", "--instance", "tank farm"}, false},
        {{"--com", "3", "--metrics", "m.prom", "--instance", "tank\"farm"}, false},
        {{"--com", "3", "--metrics", "m.prom", "--instance", "tank\\x2dfarm"}, false},
        {{"--com", "3", "--metrics", "m.prom", "--instance", "r\xC3\xA9servoir"}, false},
        {{"--com", "3", "--metrics", "m.prom", "--instance", std::string(129, 'a')}, false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& argument : c.Arguments) shown += "[" + argument + "]";
        EXPECT_EQ(std::holds_alternative<TOptions>(ParseOptions(c.Arguments)), c.Taken) << shown;
    }
}

TEST(ReaderOptions, ValuesLandWhereTheyBelong) {
    const auto parsed = Parse({"--device", "/tmp/gauge", "--tanks", "2,5-6", "--csv", "--trace", "wire.log"});
    ASSERT_TRUE(std::holds_alternative<TOptions>(parsed));
    const auto& options = std::get<TOptions>(parsed);
    EXPECT_EQ(options.Com, 0);
    EXPECT_EQ(options.Device, "/tmp/gauge");
    EXPECT_EQ(options.Tanks, (std::vector<int>{2, 5, 6}));
    EXPECT_EQ(options.Format, TFormat::Csv);
    EXPECT_EQ(options.Trace, "wire.log");
    EXPECT_EQ(options.Instance, "");
    EXPECT_EQ(std::get<TOptions>(Parse({"--com", "3", "--metrics", "m", "--instance", "tank-farm"})).Instance,
              "tank-farm");
    const auto all = std::get<TOptions>(Parse({"--com", "07"}));
    EXPECT_EQ(all.Com, 7);
    EXPECT_EQ(all.Tanks.size(), 33u);
}

TEST(TankList, DigitsOnly) {
    for (const char* bad : {" 1", "1 ", "+1", "1- 4", "1-+4", "0x1", "1,,2", "1e1"})
        EXPECT_FALSE(ParseTankList(bad).has_value()) << '"' << bad << '"';
    EXPECT_EQ(ParseTankList("09-10"), (std::vector<int>{9, 10}));
    EXPECT_EQ(ParseWholeNumber("0000000033", 1, 33), std::nullopt) << "ten digits are refused, not wrapped";
}

TTankReading Row(int tank, double level) {
    TTankReading reading;
    reading.Tank = tank;
    reading.Level = level;
    reading.Temperature = 15.5;
    reading.SecondValue = 3;
    reading.Density = 0.75;
    reading.LinkState = 1;
    reading.Valid = true;
    return reading;
}

// What stands in the output file after the steps so far.
std::string Written(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char chunk[256];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, got);
    return text;
}

TEST(ReaderOutput, EveryRowStandsAsSoonAsItIsReadAndAnInterruptClosesTheOutput) {
    struct TCase {
        TFormat Format;
        const char* AfterOneRow;
        const char* Interrupted;
    };
    const std::string json1 = "[\n  {\"tank\": 4, \"level\": 123.45, \"temperature\": 15.5, \"second\": 3, "
                              "\"density\": 0.75000000, \"link\": 1, \"valid\": true, \"doubts\": []}";
    const std::string table1 = "Tank       Level  Temperature  Second     Density  Link\n"
                               "   4      123.45         15.5       3  0.75000000  valid\n";
    const std::string csv1 = "tank,level,temperature,second,density,link,valid,doubts,reason,attempts\n"
                             "4,123.45,15.5,3,0.75000000,1,1,,,\n";
    const TCase cases[] = {
        {TFormat::Json, json1.c_str(), "\n]\n"},
        {TFormat::Table, table1.c_str(), ""},
        {TFormat::Csv, csv1.c_str(), ""},
    };
    for (const auto& c : cases) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        TOutput output(file, c.Format);
        ASSERT_TRUE(output.Begin());
        ASSERT_TRUE(output.Row(Row(4, 123.45)));
        EXPECT_EQ(Written(file), c.AfterOneRow);
        std::fseek(file, 0, SEEK_END);
        output.Interrupt("test: interrupted");
        EXPECT_TRUE(output.Row(Row(5, 1.0))) << "rows after the close are dropped";
        EXPECT_TRUE(output.End());
        EXPECT_EQ(Written(file), std::string(c.AfterOneRow) + c.Interrupted);
        EXPECT_EQ(output.Rows(), 1u);
        std::fclose(file);
    }
}

TEST(ReaderOutput, JsonWithoutRowsIsAnEmptyArrayAndDoubtsAreListed) {
    std::FILE* file = std::tmpfile();
    TOutput output(file, TFormat::Json);
    output.Interrupt("test: interrupted before any tank");
    EXPECT_EQ(Written(file), "[\n]\n");
    std::fclose(file);

    TTankReading doubtful = Row(2, 10.0);
    doubtful.Doubts = kLevelNotNumber | kNamesOtherTank;
    EXPECT_NE(FormatJson({doubtful}).find("\"doubts\": [\"answer names another tank\", \"level not a number\"]"),
              std::string::npos);
    EXPECT_NE(FormatCsv({doubtful}).find(",1,1,answer names another tank; level not a number,,\n"), std::string::npos);
    EXPECT_NE(FormatTable({doubtful}).find("valid, doubtful: answer names another tank; level not a number"),
              std::string::npos);
}

TEST(ReaderOutput, AFullDiskIsReported) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    TOutput output(full, TFormat::Csv);
    EXPECT_FALSE(output.Begin());
    EXPECT_FALSE(output.Row(Row(1, 1.0)));
    std::fclose(full);
}

}  // namespace
}  // namespace qmx::tools
