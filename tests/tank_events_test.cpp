// A tank's events from series of readings as its gauge would give them:
// deliveries during sales, a rise too small to be one, a leak, a warming tank
// that loses nothing, sales that keep a tank from being quiet, readings with
// no volume at 15 C, and a clock set back.

#include "inventory/tank_events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <variant>

#include "event_json.h"
#include "inventory/station_inventory.h"
#include "inventory/volume_correction.h"
#include "reading.h"
#include "recorded_rows.h"

namespace qmx {
namespace {

constexpr double kRho15 = 740, kFrom = 1.8e9;

double Factor(double temperature) {
    return std::get<TBaseCorrection>(CorrectTo15(TProduct::Gasoline, TDensityKind::At15, kRho15, temperature)).Factor;
}

// A tank's stock over time (litres at 15 C from 15000, seconds from the
// first reading), and the events it should give.
struct TSeries {
    const char* Name;
    double Hours = 3, Every = 60, SoldPerHour = 0;  // steady sales, or a leak
    double Stock = 15000;                           // litres at 15 C at first
    double StepLitres = 0;                          // sold at each half hour
    double DeliveryAt = 0, DeliveryMinutes = 1, DeliveryLitres = 0;
    double WarmingPerHour = 0;  // C, from 12 C
    int NoValuesEvery = 0;      // every n-th reading has no volume at 15 C
    double RewindAt = 1e9;      // from here the clock reads half an hour behind
    double LevelStep = 0;       // mm the gauge reads to; 0: exactly
    double Delivered = 0, Start = 0, End = 0;  // no delivery when 0
    std::size_t TestReadings = 0;              // no leak test when 0
    double TestFrom = 0, Loss = 0;             // of the first
};

TTankReading ReadingAt(const TSeries& s, int i) {
    const double t = i * s.Every, temperature = 12 + s.WarmingPerHour * t / 3600;
    const double net = s.Stock - s.SoldPerHour * t / 3600 - s.StepLitres * std::floor(t / 1800) +
                       s.DeliveryLitres * std::clamp((t - s.DeliveryAt) / (s.DeliveryMinutes * 60), 0.0, 1.0);
    const double level = 1000 + (net / Factor(temperature) - 5000) / 12.5;  // the table's upper row
    TTankReading reading;
    reading.Tank = 4;
    reading.Valid = true;
    reading.Level = s.LevelStep > 0 ? std::round(level / s.LevelStep) * s.LevelStep : level;
    reading.Temperature = temperature;
    reading.SecondValue = 1.0;
    // In g/cm3; off the tables every n-th reading: a gross volume, none at 15 C.
    reading.Density = (s.NoValuesEvery == 0 || i % s.NoValuesEvery == 0 ? kRho15 : 500) / 1000;
    return reading;
}

// The series as the reader's CSV rows, read back: the events come from
// rows recorded earlier as they come live, at the rows' resolution (a
// hundredth of a millimetre, a tenth of a degree).
std::string RecordedRows(const TSeries& s) {
    std::string csv = tools::CsvHeader(true);
    for (int i = 0; i * s.Every <= s.Hours * 3600; ++i) {
        TTankReading reading = ReadingAt(s, i);
        reading.Time = tools::UtcStamp(kFrom + i * s.Every - (i * s.Every >= s.RewindAt ? 1800 : 0));
        csv += tools::CsvRow(reading);
    }
    return csv;
}

const TSeries kSeries[] = {
    {.Name = "8000 l in 20 min during sales of 600 l/h", .SoldPerHour = 600, .DeliveryAt = 3600,
     .DeliveryMinutes = 20, .DeliveryLitres = 8000, .Delivered = 8000, .Start = 3600, .End = 4800},
    {.Name = "the same from between two readings", .SoldPerHour = 600, .DeliveryAt = 3630, .DeliveryMinutes = 20,
     .DeliveryLitres = 8000, .Delivered = 8000, .Start = 3600, .End = 4860},
    {.Name = "the same, levels read to 1 mm", .SoldPerHour = 600, .DeliveryAt = 3600, .DeliveryMinutes = 20,
     .DeliveryLitres = 8000, .LevelStep = 1, .Delivered = 8000, .Start = 3600, .End = 4800},
    {.Name = "the same read every 2 s", .Every = 2, .SoldPerHour = 600, .DeliveryAt = 3600, .DeliveryMinutes = 20,
     .DeliveryLitres = 8000, .Delivered = 8000, .Start = 3600, .End = 4800},
    {.Name = "5000 l, then quiet hours", .Hours = 4, .DeliveryAt = 1800, .DeliveryMinutes = 15,
     .DeliveryLitres = 5000, .Delivered = 5000, .Start = 1800, .End = 2700, .TestReadings = 121, .TestFrom = 3300},
    {.Name = "a rise of 150 l", .DeliveryAt = 3600, .DeliveryMinutes = 5, .DeliveryLitres = 150},
    {.Name = "a leak of 1 l/h", .SoldPerHour = 1, .TestReadings = 121, .Loss = 1},
    {.Name = "warming 6 C, nothing lost", .WarmingPerHour = 2, .TestReadings = 121},
    // Each tenth of a degree the rows step by moves 28000 l at 15 C by 3.4 l.
    {.Name = "28000 l warming 6 C, nothing lost", .Stock = 28000, .WarmingPerHour = 2, .TestReadings = 121},
    {.Name = "sales of 20 l each half hour", .StepLitres = 20},
    {.Name = "a leak, every other reading with no volume at 15 C", .SoldPerHour = 1, .NoValuesEvery = 2,
     .TestReadings = 61, .Loss = 1},
    {.Name = "a leak, the clock set back", .Hours = 4, .SoldPerHour = 1, .RewindAt = 3600, .TestReadings = 121,
     .TestFrom = 1800, .Loss = 1},
};

TEST(TankEvents, FromSeriesOfReadings) {
    const TTank tank{.Number = 4, .Product = TProduct::Gasoline,
                     .Calibration = TCalibrationTable{{0, 0}, {1000, 5000}, {3000, 30000}},
                     .CapacityLitres = 29000, .Density = TDensityKind::At15, .Events = {}};
    for (const TSeries& s : kSeries) {
        TStationInventory station({tank});
        const TTankEvents& events = station.Stock().at(tank.Number).Events;
        std::vector<TDelivery> deliveries;
        std::vector<TLeakTest> tests;
        std::istringstream rows(RecordedRows(s));
        tools::TRecordedRows recorded(rows, s.Name);
        tools::TRecordedRow row;
        for (std::string problem; recorded.Next(row, problem) || !problem.empty();) {
            ASSERT_EQ(problem, "");
            std::vector<TTankEvent> completed;
            const TInventory inventory = station.Take(row.Reading, row.Time, completed);
            for (const TTankEvent& event : completed) {
                EXPECT_TRUE(inventory.NetLitres) << s.Name << ": an event from a reading with no values";
                if (std::holds_alternative<TDelivery>(event)) deliveries.push_back(std::get<TDelivery>(event));
                if (std::holds_alternative<TLeakTest>(event)) tests.push_back(std::get<TLeakTest>(event));
            }
        }
        ASSERT_EQ(deliveries.size(), s.Delivered > 0 ? 1u : 0u) << s.Name;
        EXPECT_EQ(events.Deliveries(), deliveries.size()) << s.Name;
        for (const TDelivery& delivery : deliveries) {
            EXPECT_NEAR(delivery.NetLitres, s.Delivered, s.Delivered * 0.005) << s.Name;
            // At 12 C all along, the gross volume delivered is the net's at 12 C.
            EXPECT_NEAR(delivery.GrossLitres, s.Delivered / Factor(12), s.Delivered * 0.005) << s.Name;
            EXPECT_EQ(delivery.Start.Time, kFrom + s.Start) << s.Name;
            EXPECT_EQ(delivery.End.Time, kFrom + s.End) << s.Name;
            EXPECT_EQ(events.LastDelivery()->End.Time, delivery.End.Time) << s.Name;
        }
        // Each series is too short for two quiet times.
        ASSERT_EQ(tests.size(), s.TestReadings > 0 ? 1u : 0u) << s.Name;
        for (const TLeakTest& test : tests) {
            EXPECT_EQ(test.From, kFrom + s.TestFrom) << s.Name;
            EXPECT_EQ(test.Readings, s.TestReadings) << s.Name;
            EXPECT_NEAR(test.LossLitresPerHour, s.Loss, 0.05) << s.Name;
            EXPECT_EQ(test.Passed, s.Loss < tank.Events.LeakThresholdLitresPerHour) << s.Name;
            EXPECT_EQ(events.LastLeakTest()->To, test.To) << s.Name;
        }
    }
}

}  // namespace
}  // namespace qmx
