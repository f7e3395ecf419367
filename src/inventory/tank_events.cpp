#include "inventory/tank_events.h"

#include <algorithm>
#include <cmath>

namespace qmx {
namespace {

// Sales before a delivery are judged over half an hour at least: a few
// readings of a busy pump say little about the next twenty minutes.
constexpr double kSalesWindowSeconds = 1800;
// However often the gauge reads, the window keeps about this many.
constexpr double kHistoryPoints = 240;
constexpr double kSecondsPerHour = 3600;

double SalesWindow(const TEventLimits& limits) { return std::max(limits.SettleSeconds, kSalesWindowSeconds); }

// What sales took out a second, from the rates around a delivery: the mean
// of those known. A rise is no sale.
TVolumeRates SoldPerSecond(const std::optional<TVolumeRates>& before, const std::optional<TVolumeRates>& after) {
    TVolumeRates sold;
    int known = 0;
    for (const std::optional<TVolumeRates>* rates : {&before, &after}) {
        if (!*rates) continue;
        sold.Gross += std::max(0.0, -(*rates)->Gross);
        sold.Net += std::max(0.0, -(*rates)->Net);
        ++known;
    }
    if (known > 1) {
        sold.Gross /= known;
        sold.Net /= known;
    }
    return sold;
}

}  // namespace

TTankEvents::TTankEvents(const TTank& tank) : FTank(tank.Number), FLimits(tank.Events) {}

std::vector<TTankEvent> TTankEvents::Feed(double time, const TTankReading& reading, const TInventory& inventory) {
    if (!inventory.NetLitres || !inventory.GrossLitres) return {};
    const TTankMoment now{time, reading.Level.value_or(0), reading.Temperature.value_or(0), *inventory.GrossLitres,
                          *inventory.NetLitres};
    if (!std::isfinite(now.Time) || !std::isfinite(now.GrossLitres) || !std::isfinite(now.NetLitres)) return {};

    std::vector<TTankEvent> events;
    if (!FLast || now.Time < FLast->Time) {
        // A clock set back, or rows out of order: what was gathered no longer
        // lines up with what comes, so it is let go.
        Restart(now);
    } else if (FCandidate) {
        Follow(now, events);
    } else if (now.GrossLitres - FLast->GrossLitres > FLimits.QuietStepLitres) {
        // Steps are judged on the gross volume: the volume at 15 C jumps
        // with each tenth of a degree the gauge's temperature steps by
        // (2.4 l in 20,000 l of petrol), where the level moves smoothly.
        Begin(now);
    } else {
        Remember(now);
        Quiet(now, events);
    }
    FLast = now;
    return events;
}

void TTankEvents::Restart(const TTankMoment& now) {
    FCandidate.reset();
    FHistory.assign(1, now);
    FQuiet.Clear();
    FQuiet.Add(now.Time, now.GrossLitres, now.NetLitres);
}

void TTankEvents::Remember(const TTankMoment& now) {
    const double window = SalesWindow(FLimits);
    if (FHistory.empty() || now.Time - FHistory.back().Time >= window / kHistoryPoints) FHistory.push_back(now);
    while (FHistory.front().Time < now.Time - window) FHistory.pop_front();
}

std::optional<TVolumeRates> TTankEvents::RatesBefore() const {
    TRateFit fit;
    for (const TTankMoment& moment : FHistory) fit.Add(moment.Time, moment.GrossLitres, moment.NetLitres);
    // The last reading may have been thinned out; the fit ends at it all the same.
    if (FLast && (FHistory.empty() || FLast->Time > FHistory.back().Time)) {
        fit.Add(FLast->Time, FLast->GrossLitres, FLast->NetLitres);
    }
    return fit.Rates();
}

void TTankEvents::Begin(const TTankMoment& now) {
    TCandidate candidate;
    candidate.Start = *FLast;
    candidate.End = now;
    candidate.Held = now.GrossLitres;
    candidate.HeldFrom = now.Time;
    candidate.Before = RatesBefore();
    candidate.After.Add(now.Time, now.GrossLitres, now.NetLitres);
    FCandidate = std::move(candidate);
    FQuiet.Clear();
}

void TTankEvents::Follow(const TTankMoment& now, std::vector<TTankEvent>& events) {
    TCandidate& candidate = *FCandidate;
    // Against the level it held, not the last reading: a delivery's slow
    // tail, a little at each reading, still keeps it open.
    if (now.GrossLitres - candidate.Held > FLimits.QuietStepLitres) {
        candidate.Held = now.GrossLitres;
        candidate.HeldFrom = now.Time;
    }
    if (now.NetLitres > candidate.End.NetLitres) {
        candidate.End = now;
        candidate.After.Clear();
    }
    candidate.After.Add(now.Time, now.GrossLitres, now.NetLitres);
    if (now.Time - candidate.HeldFrom >= FLimits.SettleSeconds) Finish(now, events);
}

void TTankEvents::Finish(const TTankMoment& now, std::vector<TTankEvent>& events) {
    const TCandidate& candidate = *FCandidate;
    if (candidate.End.NetLitres - candidate.Start.NetLitres > FLimits.DeliveryMinLitres) {
        // The pumps kept selling while the truck unloaded: what they sold
        // between Start and End came in too.
        const TVolumeRates sold = SoldPerSecond(candidate.Before, candidate.After.Rates());
        const double seconds = candidate.End.Time - candidate.Start.Time;
        TDelivery delivery{FTank, candidate.Start, candidate.End,
                           candidate.End.GrossLitres - candidate.Start.GrossLitres + sold.Gross * seconds,
                           candidate.End.NetLitres - candidate.Start.NetLitres + sold.Net * seconds};
        ++FDeliveries;
        FLastDelivery = delivery;
        events.emplace_back(std::move(delivery));
    }
    // The quiet time, and the sales before the next delivery, start after this one.
    Restart(now);
}

void TTankEvents::Quiet(const TTankMoment& now, std::vector<TTankEvent>& events) {
    if (std::abs(now.GrossLitres - FLast->GrossLitres) > FLimits.QuietStepLitres) {
        FQuiet.Clear();
        FQuiet.Add(now.Time, now.GrossLitres, now.NetLitres);
        return;
    }
    FQuiet.Add(now.Time, now.GrossLitres, now.NetLitres);
    if (FQuiet.Count() < 3 || now.Time - FQuiet.From() < FLimits.QuietSeconds) return;
    const std::optional<TVolumeRates> rates = FQuiet.Rates();
    if (!rates) return;
    TLeakTest test{FTank, FQuiet.From(), now.Time, FQuiet.Count(), -rates->Net * kSecondsPerHour, false};
    test.Passed = test.LossLitresPerHour <= FLimits.LeakThresholdLitresPerHour;
    FLastLeakTest = test;
    events.emplace_back(test);
    FQuiet.Clear();
    FQuiet.Add(now.Time, now.GrossLitres, now.NetLitres);
}

}  // namespace qmx
