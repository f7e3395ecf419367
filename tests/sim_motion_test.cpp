// Tanks the simulator moves by volume: what its gauge answers gives back,
// through the tank file and the inventory's own computation, the litres at
// 15 C the station file played; at an end a tank stops and says so once.

#include <gtest/gtest.h>

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

// A gasoline tank on a table (its density observed), a small diesel
// cylinder (its density at 15 C): at most 4 and 2 litres a millimetre, so
// the level's hundredths cost at most 0.02 litres. `moves` go to `tank`.
struct TStation {
    test::TWindowsDirectory Directory;
    TGauge Gauge;
    std::vector<qmx::TTank> Tanks;  // the tank file's: 3, then 7
    std::vector<std::string> Notes;

    TStation(int tank, const std::string& moves) {
        Directory.Write("t3.csv", "0,0\n2000,4000\n3000,8000\n");
        Directory.Write("t.ini", "[tank 3]\nproduct = gasoline\ntable = t3.csv\n[tank 7]\nproduct = diesel\n"
                                 "shape = horizontal-cylinder\ndiameter = 1000\nlength = 2000\ndensity = at15\n");
        const std::string station = "[station]\ntanks = t.ini\n[tank 3]\nlevel = 1500\ntemperature = 15\n"
                                    "density = 0.745\n" + (tank == 3 ? moves : "") +
                                    "\n[tank 7]\nlevel = 450\ntemperature = 12\ndensity = 0.835\n" +
                                    (tank == 7 ? moves : "") + "\n";
        Gauge.SetNotes([this](const std::string& note) { Notes.push_back(note); });
        EXPECT_EQ(ApplyStationConfig(station, (Directory.Path() / "s.ini").string(), Gauge), std::nullopt) << moves;
        Tanks = std::get<std::vector<qmx::TTank>>(LoadTankFile((Directory.Path() / "t.ini").string()));
    }

    // The tank's reading from its L and G answers at `hours`, decoded as
    // the driver decodes them.
    TTankReading ReadingAt(int tank, double hours) {
        const std::string number = (tank < 10 ? "0" : "") + std::to_string(tank);
        const auto level = Gauge.Answer(test::Frame("L" + number), hours * 3600);
        const auto density = Gauge.Answer(test::Frame("G" + number), hours * 3600);
        const auto index = static_cast<std::uint8_t>(tank - 1);
        TTankReading reading = DecodeAnswer(TQuery::Level, index, level->Bytes.data(), level->Bytes.size());
        reading.Density = DecodeAnswer(TQuery::Density, index, density->Bytes.data(), density->Bytes.size()).Density;
        reading.Valid = reading.Level && reading.Temperature && reading.Density;
        return reading;
    }

    TInventory InventoryOf(int tank, const TTankReading& reading) const {
        return ComputeInventory(Tanks.at(tank == 3 ? 0 : 1), reading);
    }
};

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
        {"a delivery done, sales meanwhile", 3, "delivery = 800 after 10 min over 20 min\nvolume-drift = -6", 1, 794,
         +1},
        {"a cold night in a cylinder", 7, "temperature-drift = -3", 2, 0, -1},
        {"a slow fill in a cylinder", 7, "volume-drift = 5\ntemperature-drift = 0.5", 2, 10, +1},
    };
    for (const auto& row : rows) {
        TStation station(row.Tank, row.Moves);
        const TTankReading first = station.ReadingAt(row.Tank, 0), last = station.ReadingAt(row.Tank, row.Hours);
        const TInventory before = station.InventoryOf(row.Tank, first), after = station.InventoryOf(row.Tank, last);
        ASSERT_TRUE(before.NetLitres && after.NetLitres) << row.Name << ": " << before.Reason << after.Reason;
        EXPECT_NEAR(*after.NetLitres - *before.NetLitres, row.NetChange, 0.05) << row.Name;
        const double rise = *last.Level - *first.Level;
        EXPECT_EQ((rise > 0.005) - (rise < -0.005), row.LevelMoves) << row.Name << ": " << rise;
        EXPECT_EQ(station.Notes, std::vector<std::string>{}) << row.Name;
    }
}

TEST(SimMotion, ATankStopsAtItsEndsAndSaysSoOnce) {
    const struct {
        std::string Moves;            // for tank 3, 3000 litres at 15 C at first
        std::optional<double> Gross;  // where it stops
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
        TStation station(3, row.Moves);
        for (const double hours : {1.0, 2.0}) {
            const TTankReading reading = station.ReadingAt(3, hours);
            EXPECT_EQ(*reading.Temperature, row.Temperature) << row.Moves;
            if (row.Gross) {
                EXPECT_NEAR(station.InventoryOf(3, reading).GrossLitres.value_or(-1), *row.Gross, 0.02) << row.Moves;
            }
        }
        EXPECT_EQ(station.Notes, std::vector<std::string>{row.Note});
    }
}

}  // namespace
}  // namespace qmx::sim
