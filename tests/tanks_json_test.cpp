// The live page's data: each tank's row as the reader writes it, and with a
// tank file what is in the tank, null where a value is missing and why.

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "event_json.h"
#include "reading.h"
#include "tanks_json.h"

namespace qmx::tools {
namespace {

using nlohmann::json;

TEST(TanksJson, EachTankIsItsRowAndWithATankFileWhatIsInIt) {
    TTankReading valid;
    valid.Tank = 1;
    valid.Level = 1850.4;
    valid.Temperature = 11.5;
    valid.SecondValue = 4;
    valid.Density = 0.745;
    valid.Valid = true;
    valid.Time = "2027-01-15T07:59:58.250Z";
    TTankReading failed;
    failed.Tank = 4;
    failed.Attempts = 3;
    failed.Reason = TAttemptVerdict::NoAnswer;
    TTankReading notInFile = valid;
    notInFile.Tank = 7;
    const TDelivery delivery{1, {1799990000, 900, 12, 8000, 8020}, {1799991000, 1500, 11.8, 12010, 12045}, 4010, 4025};
    const TLeakTest test{1, 1799900000, 1799907200, 25, 0.125, true};
    const TTankFacts stocked{
        TProduct::Gasoline, 30000, {12000.5, 745.25, 1.00312, 12037.9, 8971.1, 17962.1, 0.4125, ""}, 2, delivery, test};
    // A value no JSON number can hold is null too.
    const TTankFacts unknown{TProduct::FuelOil, 20000, {NAN, {}, {}, {}, {}, {}, {}, "the reading is not valid"}, 0, {},
                             {}};
    struct TCase {
        const char* Name;
        TTankView View;
        bool TankFile;
        json Added;  // what the tank file adds to the row; null: nothing at all
    };
    const TCase cases[] = {
        {"no tank file", {valid, std::nullopt}, false, nullptr},
        {"failed, no tank file", {failed, std::nullopt}, false, nullptr},
        {"stocked", {valid, stocked}, true,
         {{"volume_l", 12000.5}, {"volume15_l", 12037.9}, {"mass_kg", 8971.1}, {"ullage_l", 17962.1},
          {"density15", 745.25}, {"vcf", 1.00312}, {"fill", 0.4125}, {"capacity_l", 30000.0}, {"product", "gasoline"},
          {"deliveries", 2}, {"last_delivery", json::parse(DeliveryJson(delivery))},
          {"leak_test", json::parse(LeakTestJson(test))}}},
        {"values missing", {failed, unknown}, true,
         {{"volume_l", nullptr}, {"fill", nullptr}, {"inventory_reason", "the reading is not valid"},
          {"product", "fuel-oil"}, {"deliveries", 0}, {"last_delivery", nullptr}, {"leak_test", nullptr}}},
        {"not in the tank file", {notInFile, std::nullopt}, true,
         {{"volume15_l", nullptr}, {"capacity_l", nullptr}, {"product", nullptr},
          {"inventory_reason", "tank 7 is not in the tank file"}, {"last_delivery", nullptr}}},
    };
    for (const auto& c : cases) {
        const json doc = json::parse(TanksJson({"/dev/ttyUSB0", 1800000000.0, c.TankFile, {c.View}}));
        EXPECT_EQ(doc["time"], "2027-01-15T08:00:00.000Z") << c.Name;
        EXPECT_EQ(doc["tank_file"], c.TankFile) << c.Name;
        ASSERT_EQ(doc["tanks"].size(), 1u) << c.Name;
        const json& tank = doc["tanks"][0];
        const auto at = [&tank](const std::string& key) { return tank.contains(key) ? tank[key] : json("(none)"); };
        EXPECT_EQ(tank.value("time", ""), c.View.Reading.Time) << c.Name;
        const json row = json::parse("{" + JsonFields(c.View.Reading) + "}");
        for (const auto& [key, value] : row.items()) EXPECT_EQ(at(key), value) << c.Name << ": " << key;
        EXPECT_EQ(tank.contains("volume_l"), c.TankFile) << c.Name;
        EXPECT_EQ(tank.contains("inventory_reason"), c.Added.contains("inventory_reason")) << c.Name;
        if (!c.Added.is_object()) continue;
        for (const auto& [key, value] : c.Added.items()) EXPECT_EQ(at(key), value) << c.Name << ": " << key;
    }
    // Before the first round: no time and no tanks.
    EXPECT_EQ(json::parse(TanksJson({"/dev/ttyUSB0", std::nullopt, false, {}})),
              json::parse(R"({"time": null, "device": "/dev/ttyUSB0", "tank_file": false, "tanks": []})"));
}

}  // namespace
}  // namespace qmx::tools
