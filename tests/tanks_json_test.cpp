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

TTankReading ValidReading(int tank) {
    TTankReading reading;
    reading.Tank = tank;
    reading.Level = 1850.4;
    reading.Temperature = 11.5;
    reading.SecondValue = 4;
    reading.Density = 0.745;
    reading.LinkState = 1;
    reading.Valid = true;
    reading.Time = "2027-01-15T07:59:58.250Z";
    return reading;
}

TTankFacts Stocked() {
    TTankFacts facts;
    facts.Product = TProduct::Gasoline;
    facts.CapacityLitres = 30000;
    facts.Inventory = {12000.5, 745.25, 1.00312, 12037.9, 8971.1, 17962.1, 0.4125, ""};
    facts.Deliveries = 2;
    facts.LastDelivery = TDelivery{1, {1799990000, 900, 12, 8000, 8020}, {1799991000, 1500, 11.8, 12010, 12045}, 4010,
                                   4025};
    facts.LastLeakTest = TLeakTest{1, 1799900000, 1799907200, 25, 0.125, true};
    return facts;
}

TTankFacts Unknown() {
    TTankFacts facts;
    facts.Product = TProduct::FuelOil;
    facts.CapacityLitres = 20000;
    facts.Inventory.GrossLitres = NAN;  // never a number JSON cannot hold
    facts.Inventory.Reason = "the reading is not valid";
    return facts;
}

TEST(TanksJson, EachTankIsItsRowAndWithATankFileWhatIsInIt) {
    TTankReading failed;
    failed.Tank = 4;
    failed.LinkState = 2;
    failed.Attempts = 3;
    failed.Reason = TAttemptVerdict::NoAnswer;
    struct TCase {
        const char* Name;
        TTankView View;
        bool TankFile;
        json Added;  // what the tank file adds to the row; null: nothing at all
    };
    const TCase cases[] = {
        {"no tank file", {ValidReading(1), std::nullopt}, false, nullptr},
        {"failed, no tank file", {failed, std::nullopt}, false, nullptr},
        {"stocked",
         {ValidReading(1), Stocked()},
         true,
         {{"volume_l", 12000.5}, {"volume15_l", 12037.9}, {"mass_kg", 8971.1}, {"ullage_l", 17962.1},
          {"density15", 745.25}, {"vcf", 1.00312}, {"fill", 0.4125}, {"capacity_l", 30000.0},
          {"product", "gasoline"}, {"deliveries", 2},
          {"last_delivery", json::parse(DeliveryJson(*Stocked().LastDelivery))},
          {"leak_test", json::parse(LeakTestJson(*Stocked().LastLeakTest))}}},
        {"values missing",
         {failed, Unknown()},
         true,
         {{"volume_l", nullptr}, {"fill", nullptr}, {"inventory_reason", "the reading is not valid"},
          {"product", "fuel-oil"}, {"deliveries", 0}, {"last_delivery", nullptr}, {"leak_test", nullptr}}},
        {"not in the tank file",
         {ValidReading(7), std::nullopt},
         true,
         {{"volume15_l", nullptr}, {"capacity_l", nullptr}, {"product", nullptr},
          {"inventory_reason", "tank 7 is not in the tank file"}, {"last_delivery", nullptr}}},
    };
    for (const auto& c : cases) {
        const json doc = json::parse(TanksJson({"/dev/ttyUSB0", 1800000000.0, c.TankFile, {c.View}}));
        EXPECT_EQ(doc["time"], "2027-01-15T08:00:00.000Z") << c.Name;
        EXPECT_EQ(doc["device"], "/dev/ttyUSB0") << c.Name;
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
}

TEST(TanksJson, BeforeTheFirstRoundNoTimeAndNoTanks) {
    TStationView none;
    none.Device = "socket://10.0.0.5:4001";
    const json doc = json::parse(TanksJson(none));
    EXPECT_TRUE(doc["time"].is_null()) << doc;
    EXPECT_EQ(doc["device"], "socket://10.0.0.5:4001");
    EXPECT_EQ(doc["tanks"], json::array());
    // A round's readings keep their order, each tank its own row.
    const json round = json::parse(TanksJson(
        ViewOfRound("/dev/ttyUSB0", 1800000000.0, {ValidReading(3), ValidReading(1)}, nullptr)));
    ASSERT_EQ(round["tanks"].size(), 2u) << round;
    EXPECT_EQ(round["tanks"][0]["tank"], 3);
    EXPECT_EQ(round["tanks"][1]["tank"], 1);
    EXPECT_EQ(round["tank_file"], false);
}

}  // namespace
}  // namespace qmx::tools
