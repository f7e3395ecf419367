#pragma once

// What happened in a tank over time, from its readings and their times
// alone: deliveries, and leak tests over its quiet hours. Nothing here reads
// a clock, so that readings recorded earlier give the events that watching
// them live gave.

#include <cstddef>
#include <deque>
#include <optional>
#include <variant>
#include <vector>

#include "inventory/inventory.h"
#include "inventory/rate_fit.h"
#include "inventory/tank.h"
#include "protocol/tank_reading.h"

namespace qmx {

// A tank at one reading, as an event tells it.
struct TTankMoment {
    double Time = 0;  // seconds since 1970, UTC
    double Level = 0;  // in the gauge's units
    double Temperature = 0;
    double GrossLitres = 0;
    double NetLitres = 0;  // at 15 C
};

// The volume at 15 C rose by more than the tank's delivery-min and then held
// for its settle time. Start is the last reading before the rise, End the
// highest after it. What was delivered counts back in what was sold while
// it came, at the rate the tank was sold from around it.
struct TDelivery {
    int Tank = 0;
    TTankMoment Start, End;
    double GrossLitres = 0;  // delivered, at the product's temperature
    double NetLitres = 0;    // delivered, at 15 C
};

// A quiet time (no delivery, no step larger than quiet-step) as long as the
// tank's quiet setting, and the rate its volume at 15 C changed over it by
// least squares. Loss is positive; the test fails above leak-threshold.
struct TLeakTest {
    int Tank = 0;
    double From = 0, To = 0;  // seconds since 1970, UTC
    std::size_t Readings = 0;
    double LossLitresPerHour = 0;
    bool Passed = false;
};

using TTankEvent = std::variant<TDelivery, TLeakTest>;

// One tank's events, fed its readings in the order they were taken.
class TTankEvents {
public:
    explicit TTankEvents(const TTank& tank);

    // The next reading, taken at `time` (not before the one fed before it),
    // with the inventory computed from it; the events it completes, oldest
    // first. A reading with no volume at 15 C is passed over.
    std::vector<TTankEvent> Feed(double time, const TTankReading& reading, const TInventory& inventory);

    std::size_t Deliveries() const { return FDeliveries; }
    const std::optional<TDelivery>& LastDelivery() const { return FLastDelivery; }
    const std::optional<TLeakTest>& LastLeakTest() const { return FLastLeakTest; }

private:
    const int FTank;
    const TEventLimits FLimits;
    std::size_t FDeliveries = 0;
    std::optional<TDelivery> FLastDelivery;
    std::optional<TLeakTest> FLastLeakTest;

    // A rise followed until it holds for the settle time.
    struct TCandidate {
        TTankMoment Start, End;
        double Held = 0;      // the gross volume the settle time holds against
        double HeldFrom = 0;  // since when: the last rise above it by more than quiet-step
        std::optional<TVolumeRates> Before;  // the rates before Start
        TRateFit After;                      // from End on
    };

    void Restart(const TTankMoment& now);
    void Remember(const TTankMoment& now);
    std::optional<TVolumeRates> RatesBefore() const;
    void Begin(const TTankMoment& now);
    void Follow(const TTankMoment& now, std::vector<TTankEvent>& events);
    void Finish(const TTankMoment& now, std::vector<TTankEvent>& events);
    void Quiet(const TTankMoment& now, std::vector<TTankEvent>& events);

    std::optional<TTankMoment> FLast;  // the last reading taken
    // The readings before any rise, for the rate sales took the tank down
    // at: a window thinned to a few hundred, however often the gauge reads.
    std::deque<TTankMoment> FHistory;
    std::optional<TCandidate> FCandidate;
    TRateFit FQuiet;  // since the quiet time began
};

}  // namespace qmx
