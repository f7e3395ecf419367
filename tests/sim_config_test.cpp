// The simulator's station file, read strictly: what it sets, and every
// kind of mistake refused with its line.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "gauge.h"
#include "station_config.h"
#include "support/frames.h"
#include "support/reader_process.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;

TEST(StationConfig, MistakesAreRefusedWithTheirLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"[tank 3x]\n", "s.ini:1: tank number '3x' is not a number"},
        {"; a station\n\n[tank 0]\n", "s.ini:3: no tank 0 (tanks are 1 to 33)"},
        {"[tank 34]\n", "s.ini:1: no tank 34 (tanks are 1 to 33)"},
        {"[tank -1]\n", "s.ini:1: tank number '-1' is not a number"},
        {"[tank]\n", "s.ini:1: unknown section [tank] (sections are [tank N] and [faults])"},
        {"[tank3]\n", "s.ini:1: unknown section [tank3] (sections are [tank N] and [faults])"},
        {"[tank 3 4]\n", "s.ini:1: unknown section [tank 3 4] (sections are [tank N] and [faults])"},
        {"[pumps]\n", "s.ini:1: unknown section [pumps] (sections are [tank N] and [faults])"},
        {"[tank 3\n", "s.ini:1: a section header without its ]: '[tank 3'"},
        {"[tank 3] x\n", "s.ini:1: text after the section header: '[tank 3] x'"},
        {"[faults]\nnext = no-answer:abc\n", "s.ini:2: next = KIND:COUNT: 'abc' is not a count from 1"},
        {"[faults]\nnext = no-answer:0\n", "s.ini:2: next = KIND:COUNT: '0' is not a count from 1"},
        {"[faults]\nnext = no-answer:\n", "s.ini:2: next = KIND:COUNT: '' is not a count from 1"},
        {"[faults]\nnext = quiet:2\n", "s.ini:2: next: unknown fault 'quiet' (one of " + FaultNames() + ")"},
        {"[faults]\nnxt = late:1\n", "s.ini:2: unknown key 'nxt' in [faults] (it takes next)"},
        {"[tank 1]\nlevel = 12abc\n", "s.ini:2: level: '12abc' is not a number"},
        {"[tank 1]\nlevel = nan\n", "s.ini:2: level: 'nan' is not a number"},
        {"[tank 1]\ntemperature = -inf\n", "s.ini:2: temperature: '-inf' is not a number"},
        {"[tank 1]\ndensity = infinity\n", "s.ini:2: density: 'infinity' is not a number"},
        {"[tank 1]\ndrift = 1e999\n", "s.ini:2: drift: '1e999' is out of range"},
        {"[tank 1]\naux = 0x10\n", "s.ini:2: aux: '0x10' is not a number"},
        {"[tank 1]\nlevel =\n", "s.ini:2: level: '' is not a number"},
        {"[tank 1]\ncolour = red\n", "s.ini:2: unknown key 'colour' in [tank 1]"},
        {"[tank 1]\nfault = loud\n", "s.ini:2: fault: unknown fault 'loud' (one of " + FaultNames() + ")"},
        {"[tank 1]\nscript = none, x\n",
         "s.ini:2: script = KIND, KIND, ...: 'none, x' (each one of " + FaultNames() + ")"},
        {"[tank 1]\nlevel 12\n", "s.ini:2: not key = value: 'level 12'"},
        {"[tank 1]\n= 12\n", "s.ini:2: not key = value: '= 12'"},
        {"level = 12\n", "s.ini:1: level outside a section ([tank N] or [faults])"},
        {"[tank 2]\nlevel = 1\n[faults]\nlevel = 2\n", "s.ini:4: unknown key 'level' in [faults] (it takes next)"},
    };
    for (const auto& [text, problem] : cases) {
        TGauge gauge;
        EXPECT_EQ(ApplyStationConfig(text, "s.ini", gauge).value_or("taken"), problem) << text;
    }
}

TEST(StationConfig, WhatAStationFileSets) {
    TGauge gauge;
    const std::string text =
        "\xEF\xBB\xBF; saved by Notepad, with CR LF\r\n"
        "[tank 3]\r\n"
        "product = DT   ; inline comments go\r\n"
        "level = 2410.5\r\n"
        "drift = -3e0\r\n"
        "aux = +4\r\n"
        "temperature = -7.8\r\n"
        "density = .835\r\n"
        "fault = bad-check\r\n"
        "[ faults ]\r\n"
        "next = no-answer:2\r\n"
        "next = late\r\n";
    ASSERT_EQ(ApplyStationConfig(text, "s.ini", gauge), std::nullopt);
    const TTank& tank = gauge.Tank(3);
    EXPECT_EQ(tank.Product, "DT");
    EXPECT_DOUBLE_EQ(tank.Level, 2410.5);
    EXPECT_DOUBLE_EQ(tank.LevelDrift, -3);
    EXPECT_DOUBLE_EQ(tank.AuxValue, 4);
    EXPECT_DOUBLE_EQ(tank.Temperature, -7.8);
    EXPECT_DOUBLE_EQ(tank.Density, 0.835);
    EXPECT_EQ(tank.Fault, TFault::BadCheck);
    // The next lines queue in order: two silences, then one late answer.
    EXPECT_FALSE(gauge.Answer(test::Frame("L01"), 0));
    EXPECT_FALSE(gauge.Answer(test::Frame("L02"), 0));
    const auto late = gauge.Answer(test::Frame("L01"), 0);
    ASSERT_TRUE(late);
    EXPECT_GT(late->DelayMs, 1000);
    const auto own = gauge.Answer(test::Frame("L01"), 0);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->DelayMs, 0);
}

// The files shipped and used by the tests stay readable.
TEST(StationConfig, TheShippedStationFilesAreTaken) {
    for (const char* file : {"packaging/station.ini", "tests/wine_serial/line-gauge.ini",
                             "tests/wine_serial/reader-gauge.ini"}) {
        TGauge gauge;
        EXPECT_EQ(LoadStationConfig(std::string(QMX_SOURCE_DIR) + "/" + file, gauge), std::nullopt) << file;
    }
}

TEST(StationConfig, TheProgramRefusesABadFileWithStatusTwo) {
    const std::string path = "/tmp/qmx-sim-config-" + std::to_string(::getpid()) + ".ini";
    std::ofstream(path) << "[tank 1]\nlevel = 1200\n\n[tank 3x]\n";
    test::TProgramProcess sim(QMX_SIM_PATH, {"--config", path});
    EXPECT_EQ(sim.Wait(10s), 2);
    EXPECT_EQ(sim.Errors(), "qmx-sim: " + path + ":4: tank number '3x' is not a number\n");
    EXPECT_EQ(sim.Output(), "") << "refused before the line is made";
    ::unlink(path.c_str());

    test::TProgramProcess missing(QMX_SIM_PATH, {"--config", path});
    EXPECT_EQ(missing.Wait(10s), 2);
    EXPECT_EQ(missing.Errors(), "qmx-sim: cannot read " + path + "\n");
}

}  // namespace
}  // namespace qmx::sim
