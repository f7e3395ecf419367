// What is in a tank from one reading: the correction to 15 C against the
// published tables, volumes from a calibration table and from a cylinder's
// shape, readings that give nothing, and the tank file's refusals.

#include "inventory/inventory.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "inventory/tank_file.h"
#include "inventory/tank_volume.h"
#include "protocol/answer_doubts.h"
#include "support/temp_dir.h"

namespace qmx {
namespace {

TTankReading Reading(double level, double temperature, double densityKgM3) {
    TTankReading reading;
    reading.Tank = 3;
    reading.Valid = true;
    reading.Level = level;
    reading.Temperature = temperature;
    reading.SecondValue = 1.0;
    reading.Density = densityKgM3 / 1000.0;  // the gauge gives g/cm3
    return reading;
}

TTank TableTank(TProduct product, TDensityKind kind) {
    TTank tank;
    tank.Number = 3;
    tank.Product = product;
    tank.Density = kind;
    tank.Calibration = TCalibrationTable{{0, 0}, {1000, 5000}, {2000, 12000}, {3000, 20000}};
    tank.CapacityLitres = 19000;
    return tank;
}

TTank CylinderTank(double headDepthMm, double mmPerLevelUnit = 1) {
    TTank tank;
    tank.Calibration = THorizontalCylinder{2000, 5000, headDepthMm};
    tank.CapacityLitres = 15000;
    tank.MmPerLevelUnit = mmPerLevelUnit;
    return tank;
}

// Density and factor against the printed tables, to the digits printed.
TEST(InventoryCorrection, MatchesThePublishedTables) {
    constexpr auto kAt15 = TDensityKind::At15, kObserved = TDensityKind::Observed;
    struct TRow {
        const char* Source;
        TProduct Product;
        TDensityKind Kind;
        double Density, Temperature;        // as the gauge gives them (kg/m3, C)
        double Density15, Density15Within;  // kg/m3
        double Factor, FactorWithin;        // no check for a factor of 0
    } rows[] = {
        // Table 54B as printed (4 decimals).
        {"54B 740 at 25 C", TProduct::Gasoline, kAt15, 740, 25, 740, 0, 0.9877, 0.00005},
        {"54B 740 at 25 C, auto", TProduct::Auto, kAt15, 740, 25, 740, 0, 0.9877, 0.00005},
        {"54B 835 at 25 C", TProduct::Jet, kAt15, 835, 25, 835, 0, 0.9915, 0.00005},
        {"54B 835 at 25 C, auto", TProduct::Auto, kAt15, 835, 25, 835, 0, 0.9915, 0.00005},
        // 53B is 54B solved for the density at 15 C: the densities the two
        // rows above give at 25 C (740 x 0.9877, 835 x 0.9915) come back to
        // 740 and 835 within the printed factor's rounding.
        {"53B from 54B 740", TProduct::Gasoline, kObserved, 730.898, 25, 740, 0.04, 0.9877, 0.00005},
        {"53B from 54B 835", TProduct::Auto, kObserved, 827.9025, 25, 835, 0.042, 0.9915, 0.00005},
        // 53B worked example (fuel oil: hydrometer 1008.0 at 4.5 C gives
        // 1001.19 at 15 C), from the "ASTM Tables Calc" sheet,
        // scribd.com/document/192833803. The printed 53B corrects a glass
        // hydrometer's reading, x (1 - 0.000023 dt - 0.00000002 dt^2) with
        // dt = -10.5: the gauge would have measured 1008.241209.
        {"53B 1008.0 at 4.5 C", TProduct::FuelOil, kObserved, 1008.241209, 4.5, 1001.19, 0.005, 0, 0},
        {"53B 1008.0 at 4.5 C, auto", TProduct::Auto, kObserved, 1008.241209, 4.5, 1001.19, 0.005, 0, 0},
        // No printed transition value to hand: by hand from 54B's equation,
        // alpha = -0.00336312 + 2680.3206 / 780^2 = 0.0010424037,
        // exp(-0.0208481 x (1 + 0.8 x 0.0208481)) = 0.9790273.
        {"54B 780 at 35 C by hand", TProduct::Transition, kAt15, 780, 35, 780, 0, 0.9790273, 0.0000001},
        {"54B 780 at 35 C by hand, auto", TProduct::Auto, kAt15, 780, 35, 780, 0, 0.9790273, 0.0000001},
        // A named diesel below the fuel oils' band keeps their constants:
        // alpha = 186.9696 / 830^2 + 0.4862 / 830 = 0.00085718.
        {"diesel at 830 by hand", TProduct::FuelOil, kAt15, 830, 25, 830, 0, 0.9914065, 0.0000001},
    };
    for (const TRow& row : rows) {
        const TInventory inventory =
            ComputeInventory(TableTank(row.Product, row.Kind), Reading(1000, row.Temperature, row.Density));
        ASSERT_TRUE(inventory.Density15 && inventory.Factor) << row.Source << ": " << inventory.Reason;
        EXPECT_NEAR(*inventory.Density15, row.Density15, row.Density15Within) << row.Source;
        if (row.Factor != 0) {
            EXPECT_NEAR(*inventory.Factor, row.Factor, row.FactorWithin) << row.Source;
        }
    }
}

// The groups' equations were fitted to meet where one ends and the next
// begins: a wrong constant shows as a step there.
TEST(InventoryCorrection, GroupsMeetAtTheirBounds) {
    for (const double bound : {770.5, 787.5, 838.5}) {
        const auto factor = [](double density) {
            return ComputeInventory(TableTank(TProduct::Auto, TDensityKind::At15), Reading(1000, 60, density)).Factor;
        };
        ASSERT_TRUE(factor(bound - 0.01) && factor(bound + 0.01)) << bound;
        EXPECT_NEAR(*factor(bound - 0.01), *factor(bound + 0.01), 0.0002) << bound;
    }
}

// Beyond the tables nothing is corrected, and the reason says which limit.
TEST(InventoryCorrection, OutsideTheTablesGivesNoCorrection) {
    const struct {
        TProduct Product;
        double Density, Temperature;
        std::string Reason;  // empty: corrected
    } rows[] = {
        {TProduct::Auto, 640, 20, "density at 15 C 640 kg/m3 is outside table 54B (653 to 1075)"},
        {TProduct::Auto, 1080, 20, "density at 15 C 1080 kg/m3 is outside table 54B (653 to 1075)"},
        {TProduct::Transition, 800, 20, "density at 15 C 800 kg/m3 is outside transition's range (770.5 to 787.5)"},
        {TProduct::Jet, 1080, 20, "density at 15 C 1080 kg/m3 is outside table 54B (653 to 1075)"},
        {TProduct::Gasoline, 740, 91, "temperature 91 C is outside table 54B for that density (-18 to 90 C)"},
        {TProduct::Auto, 800, 126, "temperature 126 C is outside table 54B for that density (-18 to 125 C)"},
        {TProduct::Auto, 900, -18.5, "temperature -18.5 C is outside table 54B (-18 to 150 C)"},
        {TProduct::FuelOil, 900, 150, ""},
        {TProduct::Auto, 800, -18, ""},
    };
    for (const auto& row : rows) {
        const TInventory inventory =
            ComputeInventory(TableTank(row.Product, TDensityKind::At15), Reading(1000, row.Temperature, row.Density));
        EXPECT_EQ(inventory.Reason, row.Reason);
        EXPECT_EQ(inventory.Factor.has_value(), row.Reason.empty()) << row.Reason;
        EXPECT_EQ(inventory.MassKg.has_value(), row.Reason.empty()) << row.Reason;
        EXPECT_EQ(inventory.GrossLitres, 5000.0) << "the volume needs no correction";
    }
}

TEST(InventoryVolume, FromTheTableOrTheShape) {
    // The cylinder (2000 mm across, 5000 mm long) by hand: the segment below
    // h is r^2 acos((r-h)/r) - (r-h) sqrt(2rh - h^2); at h = 500 that is
    // 1e6 pi/3 - 500 sqrt(750000) = 614184.85 mm2, x 5000 = 3070.924 l; half
    // full, pi 1e6 x 5000 / 2 = 7853.982 l. Two heads standing out 500 mm make
    // an ellipsoid of semi-axes 500, 1000, 1000: pi a h^2 (3r - h) / 3r up to
    // h, 327.249 l at 500, 1047.198 l at 1000, 2094.395 l full.
    const struct {
        const char* What;
        TTank Tank;
        double Level;
        double Litres;  // -1: off the tank, with the reason
        std::string Reason;
    } rows[] = {
        {"between rows", TableTank(TProduct::Jet, TDensityKind::At15), 1500, 8500, ""},
        {"on a row", TableTank(TProduct::Jet, TDensityKind::At15), 2000, 12000, ""},
        {"first row", TableTank(TProduct::Jet, TDensityKind::At15), 0, 0, ""},
        {"last row", TableTank(TProduct::Jet, TDensityKind::At15), 3000, 20000, ""},
        {"above the table", TableTank(TProduct::Jet, TDensityKind::At15), 3000.5, -1,
         "level 3000.5 is off the calibration table (0 to 3000)"},
        {"flat, a quarter up", CylinderTank(0), 500, 3070.924, ""},
        {"flat, half full", CylinderTank(0), 1000, 7853.982, ""},
        {"flat, full", CylinderTank(0), 2000, 15707.963, ""},
        {"level in cm", CylinderTank(0, 10), 50, 3070.924, ""},
        {"heads, a quarter up", CylinderTank(500), 500, 3398.173, ""},
        {"heads, half full", CylinderTank(500), 1000, 8901.179, ""},
        {"heads, full", CylinderTank(500), 2000, 17802.358, ""},
        {"above the top", CylinderTank(500), 2000.5, -1,
         "level 2000.5 mm is off the tank (0 to its diameter, 2000 mm)"},
    };
    for (const auto& row : rows) {
        const TInventory inventory = ComputeInventory(row.Tank, Reading(row.Level, 15, 835));
        EXPECT_EQ(inventory.Reason, row.Reason) << row.What;
        if (row.Litres < 0) {
            EXPECT_FALSE(inventory.GrossLitres || inventory.Fill || inventory.NetLitres) << row.What;
        } else {
            EXPECT_NEAR(inventory.GrossLitres.value_or(-1), row.Litres, 0.001) << row.What;
        }
    }
}

// Each product group, both kinds of density, a table and a cylinder, against
// figures found without the code: the published factors above, the volumes
// worked by hand above, and, for a density at the product's temperature,
// mass = gross volume x that density (what the correction to 15 C keeps).
TEST(InventoryVolume, NetMassUllageAndFill) {
    constexpr auto kAt15 = TDensityKind::At15, kObserved = TDensityKind::Observed;
    const auto tank = [](TProduct product, TDensityKind kind, bool cylinder) {
        TTank made = cylinder ? CylinderTank(500) : TableTank(product, kind);
        made.Product = product;
        made.Density = kind;
        return made;
    };
    struct TRow {
        const char* What;
        TTank Tank;
        double Level, Temperature, Density;  // as the gauge gives them (kg/m3)
        double Gross, Factor, FactorWithin, Mass, MassWithin;
    } rows[] = {
        {"gasoline, at 15, table", tank(TProduct::Gasoline, kAt15, false), 200, 25, 740, 1000, 0.9877, 0.00005,
         1000 * 0.9877 * 0.740, 0.04},
        {"jet, at 15, table", tank(TProduct::Jet, kAt15, false), 200, 25, 835, 1000, 0.9915, 0.00005,
         1000 * 0.9915 * 0.835, 0.05},
        {"gasoline, observed, cylinder", tank(TProduct::Gasoline, kObserved, true), 500, 25, 730.898, 3398.173, 0.9877,
         0.00005, 3398.173 * 0.730898, 0.01},
        {"fuel oil, observed, table", tank(TProduct::FuelOil, kObserved, false), 200, 4.5, 1008.241209, 1000,
         1008.241209 / 1001.19, 0.00001, 1008.241209, 0.01},
        {"transition, at 15, cylinder", tank(TProduct::Transition, kAt15, true), 1000, 35, 780, 8901.179, 0.9790273,
         0.0000001, 8901.179 * 0.9790273 * 0.780, 0.01},
        {"auto (jet), observed, cylinder", tank(TProduct::Auto, kObserved, true), 1000, 25, 827.9025, 8901.179, 0.9915,
         0.00005, 8901.179 * 0.8279025, 0.01},
    };
    for (const TRow& row : rows) {
        const TInventory inventory = ComputeInventory(row.Tank, Reading(row.Level, row.Temperature, row.Density));
        ASSERT_EQ(inventory.Reason, "") << row.What;
        EXPECT_NEAR(inventory.GrossLitres.value_or(0), row.Gross, 0.01) << row.What;
        EXPECT_NEAR(inventory.Factor.value_or(0), row.Factor, row.FactorWithin) << row.What;
        EXPECT_NEAR(inventory.NetLitres.value_or(0), *inventory.GrossLitres * *inventory.Factor, 1e-9) << row.What;
        EXPECT_NEAR(inventory.MassKg.value_or(0), row.Mass, row.MassWithin) << row.What;
        EXPECT_NEAR(inventory.UllageLitres.value_or(0), row.Tank.CapacityLitres - row.Gross, 0.01) << row.What;
        EXPECT_NEAR(inventory.Fill.value_or(0), row.Gross / row.Tank.CapacityLitres, 1e-6) << row.What;
    }
}

// A reading that failed, or whose answer is in doubt, gives nothing at all.
TEST(InventoryReading, NothingFromAReadingNotTrusted) {
    TTankReading failed = Reading(1500, 25, 835), broken = failed, doubted = failed;
    failed.Valid = broken.Valid = false;
    failed.Reason = TAttemptVerdict::CheckByte;
    failed.Attempts = 3;
    broken.Error = "port closed";
    doubted.Doubts = kNamesOtherTank | kLevelNotNumber;
    const std::pair<TTankReading, std::string> rows[] = {
        {failed, "no valid reading: check byte, 3 attempts"},
        {broken, "no valid reading: port closed"},
        {doubted, "reading in doubt: answer names another tank, level not a number"},
    };
    for (const auto& [reading, reason] : rows) {
        const TInventory inventory = ComputeInventory(TableTank(TProduct::Jet, TDensityKind::Observed), reading);
        EXPECT_EQ(inventory.Reason, reason);
        EXPECT_FALSE(inventory.GrossLitres || inventory.Density15 || inventory.Factor || inventory.NetLitres ||
                     inventory.MassKg || inventory.UllageLitres || inventory.Fill)
            << reason;
    }
}

// The level found for a volume is the level whose volume it is.
TEST(InventoryVolume, TheLevelForAVolumeGivesItBack) {
    const struct {
        const char* Name;
        TTank Tank;
        double Level;
    } rows[] = {
        {"table", TableTank(TProduct::Jet, TDensityKind::At15), 1234.56},
        {"table, its top", TableTank(TProduct::Jet, TDensityKind::At15), 3000},
        {"cylinder with heads", CylinderTank(500), 1500.5},
        {"cylinder in cm", CylinderTank(0, 10), 37.25},
    };
    for (const auto& row : rows) {
        const auto level = LevelForVolume(row.Tank, std::get<double>(GrossVolume(row.Tank, row.Level)));
        ASSERT_TRUE(std::holds_alternative<double>(level)) << row.Name << ": " << std::get<std::string>(level);
        EXPECT_NEAR(std::get<double>(level), row.Level, 1e-6) << row.Name;
    }
    const auto beyond = LevelForVolume(TableTank(TProduct::Jet, TDensityKind::At15), 20000.5);
    EXPECT_EQ(std::get<std::string>(beyond), "20000.5 litres is beyond the tank (0 to 20000)");
}

TEST(InventoryTankFile, WhatItSets) {
    test::TWindowsDirectory directory;
    directory.Write("t3.csv", "\xEF\xBB\xBF# level,litres\r\n0,0\r\n\r\n1000,5000\r\n3000,20000\r\n");
    directory.Write("t.ini",
                    "; station tanks\n[tank 3]\nproduct = diesel ; a fuel oil\ntable = t3.csv\n"
                    "density = at15\n[ tank 7 ]\nproduct = auto\nshape = horizontal-cylinder\n"
                    "diameter = 2000\nlength = 5e3\nends = ellipsoidal:500\ncapacity = 17000.5\nlevel-unit = cm\n"
                    "settle = 90 s\nquiet = 1.5h\ndelivery-min = 500\n");
    const auto loaded = LoadTankFile((directory.Path() / "t.ini").string());
    ASSERT_TRUE(std::holds_alternative<std::vector<TTank>>(loaded)) << std::get<std::string>(loaded);
    const auto& tanks = std::get<std::vector<TTank>>(loaded);
    ASSERT_EQ(tanks.size(), 2u);
    EXPECT_EQ(tanks[0].Number, 3);
    EXPECT_EQ(tanks[0].Product, TProduct::FuelOil);
    EXPECT_EQ(tanks[0].Density, TDensityKind::At15);
    EXPECT_EQ(tanks[0].CapacityLitres, 20000) << "the table's last volume";
    EXPECT_EQ(std::get<TCalibrationTable>(tanks[0].Calibration).size(), 3u);
    EXPECT_EQ(tanks[1].Number, 7);
    EXPECT_EQ(tanks[1].Product, TProduct::Auto);
    EXPECT_EQ(tanks[1].Density, TDensityKind::Observed);
    EXPECT_EQ(tanks[1].CapacityLitres, 17000.5);
    EXPECT_EQ(tanks[1].MmPerLevelUnit, 10);
    EXPECT_EQ((std::vector<double>{tanks[1].Events.SettleSeconds, tanks[1].Events.QuietSeconds,
                                   tanks[1].Events.DeliveryMinLitres, tanks[0].Events.SettleSeconds}),
              (std::vector<double>{90, 5400, 500, 600}));
    const auto& cylinder = std::get<THorizontalCylinder>(tanks[1].Calibration);
    EXPECT_EQ((std::vector<double>{cylinder.DiameterMm, cylinder.LengthMm, cylinder.HeadDepthMm}),
              (std::vector<double>{2000, 5000, 500}));
}

TEST(InventoryTankFile, MistakesAreRefusedWithTheirLine) {
    test::TWindowsDirectory directory;
    directory.Write("t.csv", "0,0\n3000,20000\n");
    directory.Write("same.csv", "0,0\n100,50\n100,60\n");
    directory.Write("less.csv", "0,10\n100,5\n");
    directory.Write("word.csv", "0,0\n100,1e3x\n");
    const std::string head = "[tank 3]\nproduct = jet\n", dir = directory.Path().string() + "/";
    const std::pair<std::string, std::string> rows[] = {
        {"[tank 3]\nproduct = petrol\n",
         "t.ini:2: product: 'petrol' is none of gasoline, transition, jet, fuel-oil, "
         "diesel, auto"},
        {"[tank 3]\ntable = t.csv\n", "t.ini:1: [tank 3] has no product"},
        {head, "t.ini:1: [tank 3] has neither table nor shape"},
        {head + "table = t.csv\ncolour = red\n", "t.ini:4: unknown key 'colour' in [tank 3]"},
        {head + "table = t.csv\ncapacity = 29000x\n", "t.ini:4: capacity: '29000x' is not a number"},
        {head + "table = t.csv\ncapacity = 25000\n",
         "t.ini:4: capacity: 25000 litres is more than the tank holds (20000)"},
        {head + "table = t.csv\ncapacity = -5\n", "t.ini:4: capacity: '-5' is not above zero"},
        {head + "table = t.csv\n[tank 03]\n", "t.ini:4: a second [tank 3] (the first is on line 1)"},
        {head + "product = jet\n", "t.ini:3: product again in [tank 3] (first on line 2)"},
        {head + "table = t.csv\nshape = horizontal-cylinder\n",
         "t.ini:4: shape: [tank 3] has a table already (line 3)"},
        {head + "shape = horizontal-cylinder\nlength = 5000\n", "t.ini:1: [tank 3] has no diameter"},
        {head + "shape = sphere\n", "t.ini:3: shape: 'sphere' is no shape known (horizontal-cylinder)"},
        {head + "shape = horizontal-cylinder\ndiameter = nan\nlength = 1\n",
         "t.ini:4: diameter: 'nan' is not a number"},
        {head + "shape = horizontal-cylinder\ndiameter = 1\nlength = 1\nends = ellipsoidal:0\n",
         "t.ini:6: ends: 'ellipsoidal:0' is neither flat nor ellipsoidal:DEPTH (mm, above zero)"},
        {head + "table = t.csv\ndiameter = 2000\n", "t.ini:4: diameter: only a shape takes it"},
        {head + "table = t.csv\ndensity = at20\n", "t.ini:4: density: 'at20' is none of observed or at15"},
        {head + "table = t.csv\nlevel-unit = m\n", "t.ini:4: level-unit: 'm' is none of mm or cm"},
        {head + "table = t.csv\nsettle = 10\n",
         "t.ini:4: settle: '10' is no time above zero with its unit (s, min or h)"},
        {head + "table = t.csv\nquiet = -2 h\n",
         "t.ini:4: quiet: '-2 h' is no time above zero with its unit (s, min or h)"},
        {"[tank 34]\n", "t.ini:1: no tank '34' (tanks are 1 to 33)"},
        {"[pumps]\n", "t.ini:1: unknown section [pumps] (sections are [tank N])"},
        {"product = jet\n", "t.ini:1: product outside a [tank N] section"},
        {"[tank 3]\nproduct jet\n", "t.ini:2: not key = value: 'product jet'"},
        {"; nothing\n", "t.ini: no [tank N] section"},
        {head + "table = none.csv\n", "t.ini:3: table: cannot read " + dir + "none.csv: No such file or directory"},
        {head + "table = same.csv\n",
         "t.ini:3: table: " + dir + "same.csv:3: level 100 does not rise above the row before (100)"},
        {head + "table = less.csv\n",
         "t.ini:3: table: " + dir + "less.csv:2: 5 litres is less than the row before (10)"},
        {head + "table = word.csv\n",
         "t.ini:3: table: " + dir + "word.csv:2: not level,litres (two numbers, neither below zero): '100,1e3x'"},
    };
    for (const auto& [text, problem] : rows) {
        directory.Write("t.ini", text);
        const auto loaded = LoadTankFile(dir + "t.ini");
        EXPECT_EQ(std::holds_alternative<std::string>(loaded) ? std::get<std::string>(loaded) : "taken", dir + problem)
            << text;
    }
}

}  // namespace
}  // namespace qmx
