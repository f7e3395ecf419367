// The simulator's station file, read strictly: what it sets, and every
// kind of mistake refused with its line.

#include <gtest/gtest.h>

#include <string>

#include "gauge.h"
#include "platform/shown_text.h"
#include "station_config.h"
#include "support/frames.h"
#include "support/temp_dir.h"

namespace qmx::sim {
namespace {

TEST(StationConfig, MistakesAreRefusedWithTheirLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"[tank 3x]\n", "s.ini:1: tank number '3x' is not a number"},
        {"; a station\n\n[tank 0]\n", "s.ini:3: no tank 0 (tanks are 1 to 33)"},
        {"[tank 34]\n", "s.ini:1: no tank 34 (tanks are 1 to 33)"},
        {"[tank3]\n", "s.ini:1: unknown section [tank3] (sections are [station], [tank N] and [faults])"},
        {"[pumps]\n", "s.ini:1: unknown section [pumps] (sections are [station], [tank N] and [faults])"},
        {"[tank 3\n", "s.ini:1: a section header without its ]: '[tank 3'"},
        {"[faults]\nnext = no-answer:abc\n", "s.ini:2: next = KIND:COUNT: 'abc' is not a count from 1"},
        {"[faults]\nnext = no-answer:0\n", "s.ini:2: next = KIND:COUNT: '0' is not a count from 1"},
        {"[faults]\nnext = quiet:2\n", "s.ini:2: next: unknown fault 'quiet' (one of " + FaultNames() + ")"},
        {"[faults]\nnxt = late:1\n", "s.ini:2: unknown key 'nxt' in [faults] (it takes next)"},
        {"[tank 1]\nlevel = 12abc\n", "s.ini:2: level: '12abc' is not a number"},
        {"[tank 1]\nlevel = nan\n", "s.ini:2: level: 'nan' is not a number"},
        {"[tank 1]\ntemperature = -inf\n", "s.ini:2: temperature: '-inf' is not a number"},
        {"[tank 1]\ndrift = 1e999\n", "s.ini:2: drift: '1e999' is out of range"},
        {"[tank 1]\naux = 0x10\n", "s.ini:2: aux: '0x10' is not a number"},
        {"[tank 1]\nsecond-value = 0x10\n", "s.ini:2: second-value: '0x10' is not a number"},
        {"[tank 1]\naux = 1\nsecond-value = 2\n", "s.ini:3: second-value again in [tank 1] (first on line 2)"},
        {"[tank 1]\ncolour = red\n", "s.ini:2: unknown key 'colour' in [tank 1]"},
        {"[tank 1]\nfault = loud\n", "s.ini:2: fault: unknown fault 'loud' (one of " + FaultNames() + ")"},
        {"[tank 1]\nscript = none, x\n",
         "s.ini:2: script = KIND, KIND, ...: 'none, x' (each one of " + FaultNames() + ")"},
        {"[tank 1]\nlevel 12\n", "s.ini:2: not key = value: 'level 12'"},
        {"level = 12\n", "s.ini:1: level outside a section ([station], [tank N] or [faults])"},
        {"[station]\nstock = t.ini\n", "s.ini:2: unknown key 'stock' in [station] (it takes tanks)"},
        {"[station]\ntanks =\n", "s.ini:2: tanks = FILE: no file named"},
        {"[station]\ntanks = a.ini\ntanks = b.ini\n", "s.ini:3: tanks again in [station] (first on line 2)"},
        {"[station]\n[station 2]\n",
         "s.ini:2: unknown section [station 2] (sections are [station], [tank N] and [faults])"},
        {"[station]\n[tank 1]\n[station]\n", "s.ini:3: a second [station] (the first is on line 1)"},
        {"[station]\ntanks = none.ini\n", "s.ini:2: tanks: cannot read none.ini: No such file or directory"},
        {"[tank 1]\nlevel = 1\n\n[tank 2]\nvolume-drift = -1\n",
         "s.ini:5: volume-drift needs the tank file that turns litres into levels: give [station] tanks = FILE"},
        {"[tank 1]\nvolume-drift = -1 l/h\n", "s.ini:2: volume-drift: '-1 l/h' is not a number"},
        {"[tank 1]\ntemperature-drift = inf\n", "s.ini:2: temperature-drift: 'inf' is not a number"},
        {"[tank 1]\ndrift = -3\nvolume-drift = -1\n",
         "s.ini:3: volume-drift: the level cannot both follow the volume and drift by itself (drift on line 2): "
         "give one or the other"},
        {"[tank 1]\ntemperature-drift = 2\ndrift = 0\n",
         "s.ini:3: drift: the level cannot both follow the volume and drift by itself (temperature-drift on line "
         "2): give one or the other"},
        {"[tank 1]\ndelivery = 8000 after 10 over 20 min\n",
         "s.ini:2: delivery = LITRES after TIME over TIME: '8000 after 10 over 20 min' (litres at 15 C above zero, "
         "times with their unit: 8000 after 10 min over 20 min)"},
        {"[tank 1]\ndelivery = 8000 over 20 min after 1 h\n",
         "s.ini:2: delivery = LITRES after TIME over TIME: '8000 over 20 min after 1 h' (litres at 15 C above zero, "
         "times with their unit: 8000 after 10 min over 20 min)"},
        {"[tank 1]\ndelivery = 8000 after 0 s over 0 min\n",
         "s.ini:2: delivery = LITRES after TIME over TIME: '8000 after 0 s over 0 min' (litres at 15 C above zero, "
         "times with their unit: 8000 after 10 min over 20 min)"},
        {"[tank 2]\nlevel = 1\n[faults]\nlevel = 2\n", "s.ini:4: unknown key 'level' in [faults] (it takes next)"},
        {"[tank 1]\nlevel = 123456.78\n", "s.ini:2: level: '123456.78' does not fit the answer's 7 columns (-9999.99 to 99999.99)"},
        {"[tank 1]\nlevel = 99999.995\n", "s.ini:2: level: '99999.995' does not fit the answer's 7 columns (-9999.99 to 99999.99)"},
        {"[tank 1]\nlevel = 1e300\n", "s.ini:2: level: '1e300' does not fit the answer's 7 columns (-9999.99 to 99999.99)"},
        {"[tank 1]\ntemperature = -150\n", "s.ini:2: temperature: '-150' does not fit the answer's 4 columns (-99.9 to 999.9)"},
        {"[tank 1]\ndensity = 12.5\n", "s.ini:2: density: '12.5' does not fit the answer's 8 columns (-0.09999999 to 0.99999999)"},
        {"[tank 1]\naux = 1e20\n", "s.ini:2: aux: '1e20' does not fit the answer's 7 columns (-9999.99 to 99999.99)"},
        {"[tank 3]\nlevel = 1\n\n[tank 03]\n", "s.ini:4: a second [tank 3] (the first is on line 1)"},
        {"[faults]\n[tank 1]\n[faults]\n", "s.ini:3: a second [faults] (the first is on line 1)"},
        {"[tank 1]\nlevel = 1\nlevel = 2\n", "s.ini:3: level again in [tank 1] (first on line 2)"},
        {"[tank 1]\nproduct = \xD0\x94\xD0\xA2\nlevel = \x1B[2J\x07\n", "s.ini:3: level: '\\x1B[2J\\x07' is not a number"},
    };
    for (const auto& [text, problem] : cases) {
        TGauge gauge;
        EXPECT_EQ(ApplyStationConfig(text, "s.ini", gauge).value_or("taken"), problem) << text;
    }
}

// What a tank moved by volume needs of the tank file, refused with the line
// of the key that moves it.
TEST(StationConfig, ATankMovedByVolumeNeedsItsTankFile) {
    test::TWindowsDirectory directory;
    directory.Write("t3.csv", "0,0\n3000,8000\n");
    directory.Write("t.ini", "[tank 3]\nproduct = gasoline\ntable = t3.csv\n");
    directory.Write("bad.ini", "[tank 3]\nproduct = petrol\n");
    const std::string dir = directory.Path().string() + "/";
    const std::string head = "[station]\ntanks = t.ini\n[tank 3]\nlevel = 1500\ntemperature = 15\n";
    const std::pair<std::string, std::string> cases[] = {
        {head + "density = 0.745\nvolume-drift = -1\n", "taken"},
        {"[tank 3]\nlevel = 10\ndensity = 0.745\ntemperature-drift = 2\n[station]\ntanks = t.ini\n", "taken"},
        {head + "density = 0.745\n[tank 5]\nvolume-drift = -1\n",
         "s.ini:8: volume-drift: " + dir + "t.ini has no [tank 5] to turn litres into levels"},
        {"[station]\ntanks = t.ini\n[tank 3]\nlevel = 3500\ndensity = 0.745\ndelivery = 1 after 0 s over 1 s\n",
         "s.ini:6: delivery: [tank 3]'s level, temperature and density give no volume at 15 C: level 3500 is off the "
         "calibration table (0 to 3000)"},
        {head + "density = 0.6\ntemperature-drift = 1\n",
         "s.ini:7: temperature-drift: [tank 3]'s level, temperature and density give no volume at 15 C: density at "
         "15 C 600 kg/m3 is outside table 54B (653 to 1075)"},
        {"[station]\ntanks = bad.ini\n",
         "s.ini:2: tanks: " + dir + "bad.ini:2: product: 'petrol' is none of gasoline, transition, jet, fuel-oil, "
         "diesel, auto"},
    };
    for (const auto& [text, problem] : cases) {
        TGauge gauge;
        EXPECT_EQ(ApplyStationConfig(text, dir + "s.ini", gauge).value_or("taken"),
                  problem == "taken" ? problem : dir + problem)
            << text;
    }
}

TEST(StationConfig, WhatAStationFileSets) {
    TGauge gauge;
    const std::string text = "\xEF\xBB\xBF; saved by Notepad\r\n[tank 3]\r\nproduct = DT   ; inline comments go\r\n"
                             "level = 2410.5\r\ndrift = -3e0\r\naux = +4\r\ntemperature = -7.8\r\ndensity = .835\r\n"
                             "fault = bad-check\r\n[ faults ]\r\nnext = no-answer:2\r\nnext = late\r\n";
    ASSERT_EQ(ApplyStationConfig(text, "s.ini", gauge), std::nullopt);
    const TTank& tank = gauge.Tank(3);
    EXPECT_EQ(tank.Product, "DT");
    EXPECT_EQ((std::vector<double>{tank.Level, tank.LevelDrift, tank.SecondValue, tank.Temperature, tank.Density}),
              (std::vector<double>{2410.5, -3, 4, -7.8, 0.835}));
    EXPECT_EQ(tank.Fault, TFault::BadCheck);
    // The next lines queue in order: two silences, then one late answer.
    std::vector<int> delays;
    for (int i = 0; i < 4; ++i) {
        const auto reply = gauge.Answer(test::Frame("L01"), 0);
        delays.push_back(reply ? reply->DelayMs : -1);
    }
    EXPECT_EQ(delays, (std::vector<int>{-1, -1, 1200, 0}));
}

// Quoted text never reaches a terminal raw: control bytes (C1 ones in
// UTF-8 too) escaped, Cyrillic kept, a long line cut.
TEST(StationConfig, RefusalsQuoteTheFileSafely) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xD0\x94\xD0\xA2 ok", "\xD0\x94\xD0\xA2 ok"},
        {"a\x1B[2Jb\x7F", "a\\x1B[2Jb\\x7F"},
        {"\xC2\x9B" "31m \xD0", "\\xC2\\x9B31m \\xD0"},
        {std::string(121, 'x'), std::string(120, 'x') + "..."},
        {std::string(120, 'x'), std::string(120, 'x')},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(Shown(text), shown) << text;
}

// A level drifting past what its columns hold stops at their end.
TEST(StationConfig, ADriftingLevelNeverWrapsIntoAnotherValue) {
    TGauge gauge;
    ASSERT_EQ(ApplyStationConfig("[tank 1]\nlevel = 99999\ndrift = 3600\n", "s.ini", gauge), std::nullopt);
    const auto reply = gauge.Answer(test::Frame("L01"), 3600);
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::string(reply->Bytes.begin() + 8, reply->Bytes.begin() + 15), "9999999");
}

// The files shipped and used by the tests stay readable.
TEST(StationConfig, TheShippedStationFilesAreTaken) {
    for (const char* file : {"packaging/station.ini", "tests/wine_serial/line-gauge.ini",
                             "tests/wine_serial/reader-gauge.ini"}) {
        TGauge gauge;
        EXPECT_EQ(LoadStationConfig(std::string(QMX_SOURCE_DIR) + "/" + file, gauge), std::nullopt) << file;
    }
}

}  // namespace
}  // namespace qmx::sim
