// Tanks the simulator moves by volume: at each time, what its gauge answers
// gives back, through the tank file and the inventory's own computation,
// the litres at 15 C the station file played; and where a tank runs empty,
// full or past the tables, it stops there and says so once.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "gauge.h"
#include "inventory/inventory.h"
#include "inventory/tank_file.h"
#include "protocol/queries.h"
#include "station_config.h"
#include "support/frames.h"
#include "support/temp_dir.h"

namespace qmx::sim {
namespace {

// A gasoline tank on a table (its gauge's density observed) and a small
// diesel cylinder (its density at 15 C): at most 4 and 2 litres a
// millimetre, so that the level's hundredths cost at most 0.02 litres.
void WriteTankFile(const test::TWindowsDirectory& directory) {
    directory.Write("t3.csv", "0,0\n2000,4000\n3000,8000\n");
    directory.Write("t.ini", "[tank 3]\nproduct = gasoline\ntable = t3.csv\n"
                             "[tank 7]\nproduct = diesel\nshape = horizontal-cylinder\ndiameter = 1000\n"
                             "length = 2000\ndensity = at15\n");
}

// The station, with `moves` in the section of `tank`.
std::string StationFile(int tank, const std::string& moves) {
    return "[station]\ntanks = t.ini\n[tank 3]\nlevel = 1500\ntemperature = 15\ndensity = 0.745\n" +
           (tank == 3 ? moves : "") + "\n[tank 7]\nlevel = 450\ntemperature = 12\ndensity = 0.835\n" +
           (tank == 7 ? moves : "") + "\n";
}

// The tank's reading from the gauge's L and G answers at `hours`, decoded
// as the driver decodes them.
TTankReading ReadingAt(TGauge& gauge, int tank, double hours) {
    const std::string number = (tank < 10 ? "0" : "") + std::to_string(tank);
    const auto level = gauge.Answer(test::Frame("L" + number), hours * 3600);
    const auto density = gauge.Answer(test::Frame("G" + number), hours * 3600);
    if (!level || !density) return {};
    const auto index = static_cast<std::uint8_t>(tank - 1);
    TTankReading reading = DecodeAnswer(TQuery::Level, index, level->Bytes.data(), level->Bytes.size());
    const TTankReading g = DecodeAnswer(TQuery::Density, index, density->Bytes.data(), density->Bytes.size());
    reading.Density = g.Density;
    reading.Doubts |= g.Doubts;
    reading.Valid = reading.Level && reading.Temperature && reading.Density;
    return reading;
}

struct TLoaded {
    TGauge Gauge;
    std::vector<qmx::TTank> Tanks;  // the tank file's, not the simulator's
    std::vector<std::string> Notes;
};

// The station with `moves` for `tank`, and the tank file it names.
void Load(const test::TWindowsDirectory& directory, int tank, const std::string& moves, TLoaded& loaded) {
    WriteTankFile(directory);
    loaded.Gauge.SetNotes([&loaded](const std::string& note) { loaded.Notes.push_back(note); });
    const std::string station = (directory.Path() / "s.ini").string();
    ASSERT_EQ(ApplyStationConfig(StationFile(tank, moves), station, loaded.Gauge), std::nullopt) << moves;
    auto tanks = LoadTankFile((directory.Path() / "t.ini").string());
    ASSERT_TRUE(std::holds_alternative<std::vector<qmx::TTank>>(tanks));
    loaded.Tanks = std::get<std::vector<qmx::TTank>>(tanks);
}

const qmx::TTank& FileTank(const TLoaded& loaded, int number) {
    return loaded.Tanks[number == 3 ? 0 : 1];
}

TEST(SimMotion, TheReaderGetsBackTheLitresPlayed) {
    const struct {
        const char* Name;
        int Tank;
        std::string Moves;
        double Hours;
        double NetChange;  // litres at 15 C since the start
        int LevelMoves;    // its sign
    } rows[] = {
        {"a leak", 3, "volume-drift = -1", 3, -3, -1},
        {"a warm afternoon", 3, "temperature-drift = 2", 3, 0, +1},
        {"a delivery half done", 3, "delivery = 800 after 10 min over 20 min", 20.0 / 60, 400, +1},
        {"a delivery done, sales meanwhile", 3, "delivery = 800 after 10 min over 20 min\nvolume-drift = -6",
         1, 794, +1},
        {"a cold night in a cylinder", 7, "temperature-drift = -3", 2, 0, -1},
        {"a slow fill in a cylinder", 7, "volume-drift = 5\ntemperature-drift = 0.5", 2, 10, +1},
    };
    for (const auto& row : rows) {
        test::TWindowsDirectory directory;
        TLoaded loaded;
        Load(directory, row.Tank, row.Moves, loaded);
        const qmx::TTank& tank = FileTank(loaded, row.Tank);
        const TTankReading first = ReadingAt(loaded.Gauge, row.Tank, 0);
        const TTankReading last = ReadingAt(loaded.Gauge, row.Tank, row.Hours);
        const TInventory before = ComputeInventory(tank, first);
        const TInventory after = ComputeInventory(tank, last);
        ASSERT_TRUE(before.NetLitres && after.NetLitres) << row.Name << ": " << before.Reason << after.Reason;
        EXPECT_NEAR(*after.NetLitres - *before.NetLitres, row.NetChange, 0.05) << row.Name;
        const double rise = *last.Level - *first.Level;
        EXPECT_EQ((rise > 0.005) - (rise < -0.005), row.LevelMoves) << row.Name << ": " << rise;
        EXPECT_TRUE(loaded.Notes.empty()) << row.Name << ": " << loaded.Notes.front();
    }
}

TEST(SimMotion, ATankStopsAtItsEndsAndSaysSoOnce) {
    const struct {
        std::string Moves;  // for tank 3, which holds 3000 litres at 15 C at first
        std::optional<double> Gross;
        double Temperature;
        std::string Note;
    } rows[] = {
        {"volume-drift = -4000", 0, 15,
         "tank 3 ran empty 1.00 h in: its level stays at the bottom while the litres played fall short"},
        {"delivery = 6000 after 0 s over 1 h", 8000, 15,
         "tank 3 ran full 1.00 h in: its level stays at the top while the litres played exceed it"},
        {"temperature-drift = 100", std::nullopt, 90,
         "tank 3's temperature stops drifting 1.00 h in: temperature 115 C is outside table 54B for that density "
         "(-18 to 90 C)"},
    };
    for (const auto& row : rows) {
        test::TWindowsDirectory directory;
        TLoaded loaded;
        Load(directory, 3, row.Moves, loaded);
        for (const double hours : {1.0, 2.0}) {
            const TTankReading reading = ReadingAt(loaded.Gauge, 3, hours);
            const TInventory inventory = ComputeInventory(FileTank(loaded, 3), reading);
            EXPECT_EQ(*reading.Temperature, row.Temperature) << row.Moves;
            if (row.Gross) {
                EXPECT_NEAR(inventory.GrossLitres.value_or(-1), *row.Gross, 0.02) << row.Moves;
            }
        }
        EXPECT_EQ(loaded.Notes, std::vector<std::string>{row.Note});
    }
}

}  // namespace
}  // namespace qmx::sim
