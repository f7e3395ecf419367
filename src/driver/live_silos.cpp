#include "driver/live_silos.h"

#include <algorithm>

namespace qmx {

void TLiveSilos::Add(const void* silo) {
    TLockGuard guard(FLock);
    FLive.push_back(silo);
}

void TLiveSilos::Remove(const void* silo) {
    TLockGuard guard(FLock);
    std::erase(FLive, silo);
}

bool TLiveSilos::Contains(const void* silo) {
    TLockGuard guard(FLock);
    return std::find(FLive.begin(), FLive.end(), silo) != FLive.end();
}

TLiveSilos& LiveSilos() {
    static TLiveSilos registry;
    return registry;
}

}  // namespace qmx
