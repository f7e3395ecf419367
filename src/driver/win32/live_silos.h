#pragma once

// The silo objects that are alive. The host may call a method reference it
// was handed (the answer check, the line set-up) after it destroyed the silo
// behind it; the entry points ask here first and do nothing for a silo that
// is gone.

#include <vector>

#include "platform/recursive_lock.h"

namespace qmx {

class TLiveSilos {
public:
    void Add(const void* silo);
    void Remove(const void* silo);
    bool Contains(const void* silo);

private:
    TRecursiveLock FLock;
    std::vector<const void*> FLive;
};

TLiveSilos& LiveSilos();

}  // namespace qmx
