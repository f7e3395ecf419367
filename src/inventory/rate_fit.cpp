#include "inventory/rate_fit.h"

namespace qmx {

void TRateFit::Add(double time, double grossLitres, double netLitres) {
    if (FCount == 0) {
        FFrom = time;
        FGross0 = grossLitres;
        FNet0 = netLitres;
    }
    const double t = time - FFrom, gross = grossLitres - FGross0, net = netLitres - FNet0;
    ++FCount;
    FSumT += t;
    FSumTT += t * t;
    FSumGross += gross;
    FSumTGross += t * gross;
    FSumNet += net;
    FSumTNet += t * net;
}

std::optional<TVolumeRates> TRateFit::Rates() const {
    if (FCount < 2) return std::nullopt;
    const double n = static_cast<double>(FCount);
    const double spread = n * FSumTT - FSumT * FSumT;
    if (!(spread > 0)) return std::nullopt;
    return TVolumeRates{(n * FSumTGross - FSumT * FSumGross) / spread, (n * FSumTNet - FSumT * FSumNet) / spread};
}

}  // namespace qmx
