#pragma once

// A straight line through a tank's volumes over time by least squares, kept
// as running sums: hours of readings a second apart cost a few numbers.
// Times and volumes count from the first point, so that squares of seconds
// since 1970 lose none of the digits the slope is made of.

#include <cstddef>
#include <optional>

namespace qmx {

// How fast the gross volume and the volume at 15 C changed, in litres a
// second; below zero while they fell.
struct TVolumeRates {
    double Gross = 0;
    double Net = 0;
};

class TRateFit {
public:
    void Add(double time, double grossLitres, double netLitres);
    void Clear() { *this = TRateFit(); }

    std::size_t Count() const { return FCount; }
    // The first point's time; 0 while there is none.
    double From() const { return FFrom; }
    // None below two points, or while all were at one time.
    std::optional<TVolumeRates> Rates() const;

private:
    std::size_t FCount = 0;
    double FFrom = 0, FGross0 = 0, FNet0 = 0;
    double FSumT = 0, FSumTT = 0;
    double FSumGross = 0, FSumTGross = 0;
    double FSumNet = 0, FSumTNet = 0;
};

}  // namespace qmx
